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

// How runs that leave it open (ExtractCommand::threads 0) decode, for the
// whole process: pellora-arc's --threads and --no-fast-paths, for measuring
// one way against the other.
void setDecodingDefaults(int threads, bool fastPaths);

// How the entries of this process's runs so far were decoded, for pellora-arc
// and the tests: by workers ahead of the run, by which of them through a fast
// path, and how many runs went back to one reader part way.
struct DecodingCounts {
    qint64 decodedAhead = 0;
    qint64 fastPath = 0;
    qint64 handedBack = 0;
};
DecodingCounts decodingCounts();

} // namespace pellora::arc
