#pragma once

#include "platform/archiver/EntryName.h"

#include <QString>

namespace pellora::extract {

// What Melt hands to a library: which one and the command line.
struct MeltCall {
    QString library; // empty when the kind is not supported
    QString commandLine;
    QString refusal; // why no command line can be made (for a message)
};

// Composes the library call for an archive of a kind: the fixed switches of
// the kind, the user's stored switches (or command instead of both, unless it
// is "Missing"), " -p" for a single LZH entry, the item's name options, then
// the archive, the output folder and the file filter in double quotes.
MeltCall composeMeltCall(const QString &archiveType, const QString &archivePath, const QString &outputFolder,
    const QString &file, const QString &command, const arc::NameOptions &names = {});

// The result window's text: the target folder line, then the report with
// CR LF line ends and native separators.
QString resultText(const QString &outputFolder, const QString &report);

} // namespace pellora::extract
