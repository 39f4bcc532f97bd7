#pragma once

#include "platform/archiver/ArchiveFormat.h"
#include "platform/archiver/EntryName.h"

#include <QString>
#include <variant>

namespace pellora::arc {

// What a command line asks of an extraction run.
struct ExtractCommand {
    QString archive;
    QString outputFolder;
    QString filter = QStringLiteral("*.*");
    bool replaceAlways = false; // replace existing files whatever their dates
    bool skipDamaged = false; // carry on past damaged entries and headers
    bool filterIsFullPath = true; // the filter names entries by their path inside the archive
    bool noProgress = false; // show no progress window
    NameOptions names; // --names=ENCODING and --strip-top, in every switch language
    bool noLinks = false; // make no symbolic link, safe or not
    // Not from the command line: how the run may decode. Threads: 0 as many
    // as the cores this process may use (at most 4), 1 one thread only.
    int threads = 0;
    bool fastPaths = true; // false: every entry through libarchive
};

struct CommandLineError {
    QString message; // for the report, in the UI language
};

// Parses "switches "archive" "output folder" "filter"" in the switch language
// of one library. Quoted texts take no escapes: none of them can hold a quote.
std::variant<ExtractCommand, CommandLineError> parseCommandLine(ArchiveFormat format, const QString &commandLine);

// True when an entry's path (separators "/" or "\") is selected by the filter.
// "*.*" and "*" select everything; "*" and "?" work as wildcards otherwise.
bool filterSelects(const ExtractCommand &command, const QString &entryPath);

} // namespace pellora::arc
