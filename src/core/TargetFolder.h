#pragma once

#include <QString>

namespace pellora::core {

// True when a target folder names one place whatever the current folder is.
// A relative text (soft/, ~/, or a Windows path such as C:\Program Files\Foo\
// from an item list written on Windows) would be resolved against wherever
// the program happened to start: the archive would be spilled into a folder
// literally named so there, and then moved after it.
bool IsAbsoluteFolder(const QString &folder);

// The refusal where a folder is typed (item editor, unmatched-archive dialog).
QString NotAbsoluteFolderMessage(const QString &folder);

// The refusal at extraction: names the item as well, since the folder may
// come from an item list the user did not just type.
QString NotAbsoluteTargetMessage(const QString &item, const QString &folder);

} // namespace pellora::core
