#pragma once

#include <QString>
#include <QStringList>

namespace pellora::core {

struct HistoryRun;

struct UndoResult {
    enum Status {
        Restored, // the folder is back as it was before the run
        Partly, // something was left; lines say what
        Nothing, // nothing could be undone (refused, or the run is unreadable)
    };
    Status status = Nothing;
    QStringList lines; // what was done and what was left, in the UI language
    int exitCode() const { return status == Restored ? 0 : status == Partly ? 1 : 2; }
};

// Undoes a run: replaced files return with their content, mode and times,
// created files go, created folders go when empty. A file changed since the
// run is never destroyed: a created one stays, a replaced one is kept beside
// the restored version under a new name. Nothing is followed through a link.
// Refused while a newer run of the same item (or folder) is not undone.
UndoResult undoRun(const QString &historyFolder, const QString &runId);

// Undoes the newest run not yet undone.
UndoResult undoLastRun(const QString &historyFolder);

} // namespace pellora::core
