#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace pellora::platform {

// The entry that starts the download watch when the user logs in, where
// every desktop following the autostart convention looks for it:
// $XDG_CONFIG_HOME/autostart/pellora-watch.desktop (~/.config by default).
QString watchAutostartPath();

// The value of an Exec key that starts arguments exactly as given: each
// argument quoted when it holds a blank or another character a desktop would
// split or interpret, with the escapes a quoted argument needs, the escapes
// of a string value on top of those, and every '%' doubled so that none reads
// as a field code. Nothing when no desktop entry can carry an argument: one
// holding a control character other than tab, newline and carriage return.
std::optional<QString> execValue(const QStringList &arguments);

// The whole entry that runs program with --watch, and folder when one is
// given (none: the watch's own default, the download folder). It carries a
// marker line by which Pellora knows the file as its own. Nothing when the
// program or the folder cannot be written into an Exec line.
std::optional<QByteArray> watchAutostartEntry(const QString &program, const QString &folder);

// Whether a file's contents carry the marker of an entry Pellora wrote.
bool isWatchAutostartEntry(const QByteArray &contents);

// Whether Pellora's own entry is there now: the watch starts at login.
bool watchAutostartIsPellora();

// What became of the entry when it was set.
struct AutostartChange {
    enum Outcome {
        Written, // the entry is there, as asked
        Removed, // Pellora's entry was there and is gone
        Absent, // no entry to remove
        Foreign, // a file of that name that is not Pellora's: left as it is
        Unwritable, // the program or folder cannot be put in an entry
        Failed, // the file system refused; reason says why
    };
    Outcome outcome;
    QString reason;
};

// Writes (on) or removes (off) the entry at watchAutostartPath. The entry is
// written through a temporary file and a rename, so a failed write leaves
// the previous file whole. Only a regular file carrying the marker is
// replaced or removed: anything else of that name is the user's.
AutostartChange setWatchAtLogin(bool on, const QString &program, const QString &folder);

} // namespace pellora::platform
