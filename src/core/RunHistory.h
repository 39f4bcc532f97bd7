#pragma once

#include "platform/archiver/RunRecorder.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

namespace pellora::core {

// The history keeps, for every extraction run, what it created and the old
// version of every file it replaced, so the run can be undone. One folder per
// run below the history folder: manifest.json and the kept files.

struct HistoryEntry {
    enum Kind { File, Folder, Replaced, Link };
    QString path; // below the target folder, "/" separated; empty: the target itself
    Kind kind = File;
    // The file as the run left it, to tell whether the user changed it since.
    qint64 size = 0;
    qint64 mtimeNs = 0;
    quint32 crc = 0;
    // The replaced version: its copy in the run's folder, mode and times.
    QString kept;
    qint64 oldSize = 0;
    qint64 oldMtimeNs = 0;
    qint64 oldAtimeNs = 0;
    int oldMode = 0;
    // A link the run made: its target text, as it was made.
    QString linkTarget;
};

struct HistoryRun {
    QString id; // sorts in the order the runs were made
    QDateTime when;
    QString item; // empty for a run without an item
    QString archive;
    QString target;
    bool undone = false;
    QList<HistoryEntry> entries;
    QString folder; // the run's own folder
    qint64 keptBytes = 0;

    // What runs of the same item (or, without one, the same folder) share.
    QString key() const;
    int count(HistoryEntry::Kind kind) const;
};

// "history" beside the item list (a portable copy's, or the one in
// $XDG_DATA_HOME/Pellora), or in $XDG_DATA_HOME/Pellora when that folder is read-only.
QString historyFolder();

// Every readable run, newest first.
QList<HistoryRun> listRuns(const QString &historyFolder);

// Writes a run's manifest (atomically) into run.folder.
bool writeManifest(const HistoryRun &run);

// Removes the oldest runs beyond runsPerKey of each item and beyond maxBytes
// of kept files in all; the newest run always stays.
void applyRetention(const QString &historyFolder, int runsPerKey, qint64 maxBytes);
// The same with the "HistoryRuns" and "HistoryMegabytes" settings.
void applyRetention(const QString &historyFolder);

// Records one extraction run. Nothing is written to the history until the
// run changes something.
class Recording final : public arc::RunRecorder {
public:
    Recording(const QString &historyFolder, const QString &item, const QString &archive, const QString &target);
    ~Recording() override;

    // Keep replaced files by copying even where a hard link would do.
    void setCopyOnly(bool copyOnly) { m_copyOnly = copyOnly; }

    void folderCreated(const QStringList &components) override;
    bool keepReplaced(const QStringList &components, int dirFd, const QByteArray &name) override;
    void fileWritten(
        const QStringList &components, int dirFd, const QByteArray &name, quint32 crc, bool crcKnown) override;
    void linkCreated(const QStringList &components, const QByteArray &target) override;

    // Writes the manifest; the run's id, or empty when nothing was changed
    // or the manifest could not be written.
    QString finish();

private:
    bool ensureFolder();
    HistoryEntry *find(const QString &path);
    void append(const HistoryEntry &entry);

    QString m_history;
    HistoryRun m_run;
    bool m_copyOnly = false;
    bool m_folderMade = false;
    int m_keptCount = 0;
    QElapsedTimer m_lastSave;
    QHash<QString, qsizetype> m_index; // path -> its entry, for archives of many files
};

// Installs a recording as the extraction runs' recorder for its lifetime.
class RecordingScope final {
public:
    // None: the runs in the scope are not recorded.
    explicit RecordingScope(Recording *recording) { arc::setRunRecorder(recording); }
    ~RecordingScope() { arc::setRunRecorder(nullptr); }
    RecordingScope(const RecordingScope &) = delete;
    RecordingScope &operator=(const RecordingScope &) = delete;
};

// The contentCrc of a regular file read through dirFd/name without following a
// link; false when it cannot be read.
bool fileCrc(int dirFd, const QByteArray &name, quint32 *crc);

} // namespace pellora::core
