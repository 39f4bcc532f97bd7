#pragma once

#include "platform/archiver/ArchiveFormat.h"
#include "platform/archiver/CommandLine.h"

#include <QByteArray>

namespace pellora::arc {

class ProgressState;

struct ExtractionResult {
    int code = 0; // an ArchiverResult
    QByteArray report; // UTF-8, LF line ends
};

// Extracts the entries the command selects. Runs on whichever thread calls
// it; progress (optional) is written as it goes and asked whether to stop
// after each entry. The report is made to fit reportLimit bytes when that is
// not negative.
ExtractionResult runExtraction(
    ArchiveFormat format, const ExtractCommand &command, ProgressState *progress, qsizetype reportLimit = -1);

} // namespace pellora::arc
