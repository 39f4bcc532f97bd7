#pragma once

#include <QString>

namespace pellora::platform {

// The long-name form of a path as the command line gives it: blanks
// trimmed, made absolute against the current folder, "." and ".." resolved,
// every component checked to exist (links are not followed), without a
// trailing separator except for the root itself. Empty when a component
// does not exist or the text is empty.
QString ToLongPath(const QString &path);

// The folder of the running executable, with a trailing separator.
QString executableFolder();

// The temporary folder, with a trailing separator.
QString temporaryFolder();

// A folder text with the separator appended when it lacks one.
QString withTrailingSeparator(const QString &folder);

} // namespace pellora::platform
