#pragma once

#include <QString>

namespace pellora::platform {

// The long-name form of a path as the command line gives it: blanks
// trimmed, made absolute against the current folder, "." and ".." resolved,
// every component checked to exist (links are not followed), without a
// trailing separator except for the root itself. Empty when a component
// does not exist, the text holds a NUL or the text is empty.
QString ToLongPath(const QString &path);

// The folder of the running executable, with a trailing separator.
QString executableFolder();

// Whether the executable in executableFolder is an installed copy rather than
// a portable one: `cmake --install` puts the program in <prefix>/bin and its
// data in <prefix>/share/pellora, so a folder "../share/pellora" beside the
// executable's folder marks an installed copy. A portable copy (the build
// folder, or the program copied anywhere with its help) has no such folder.
bool isInstalledCopy(const QString &executableFolder);

// The installed copy's data folder, <prefix>/share/pellora/, found from the
// executable's folder (with a trailing separator; whether it exists is not
// checked).
QString installedDataFolder(const QString &executableFolder);

// The folder of the help pages, with a trailing separator: "help/" beside the
// executable when it holds the contents page (a portable copy, the build
// folder), else the installed copy's help folder when that holds it, else
// "help/" beside the executable all the same, so that a missing help is
// reported under the name a portable copy would use.
QString helpFolder(const QString &executableFolder);

// The same for this process. Needs a QCoreApplication.
QString helpFolder();

// The temporary folder, with a trailing separator.
QString temporaryFolder();

// A folder text with the separator appended when it lacks one.
QString withTrailingSeparator(const QString &folder);

} // namespace pellora::platform
