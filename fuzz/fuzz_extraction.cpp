// Extraction writes what an untrusted archive says under the user's folder.
// Whatever the bytes, nothing may appear outside the output folder, no
// symbolic link, device or FIFO may appear inside it, and no temporary file
// of a damaged entry may be left behind.
//
// Input: a byte choosing the library (value % 3: LZH, ZIP, CAB) and the
// switches, then the archive's bytes.

#include "ArchiveInput.h"

#include "platform/TextCodec.h"
#include "platform/archiver/ArchiverLibrary.h"
#include "platform/archiver/Extraction.h"

#include <QFile>

#include <ftw.h>
#include <sys/stat.h>

using namespace pellora::arc;
using pellora::fuzz::check;
using pellora::fuzz::fail;

namespace {

// Holds only the output folder; anything else in it was written outside.
QByteArray g_root;
QByteArray g_output;
QByteArrayView g_archive; // this run's archive bytes

int inspect(const char *path, const struct stat *st, int, FTW *)
{
    const QByteArray p(path);
    if (p == g_root)
        return 0;
    if (p != g_output && !p.startsWith(g_output + '/'))
        fail("extraction wrote outside the output folder", QFile::decodeName(p));
    if (S_ISLNK(st->st_mode))
        fail("extraction left a symbolic link", QFile::decodeName(p));
    if (!S_ISREG(st->st_mode) && !S_ISDIR(st->st_mode))
        fail("extraction left a special file", QFile::decodeName(p));
    // A file named like the extractor's temporary files is one the extractor
    // left behind, unless the archive itself holds that name (names are
    // stored as they are in all three formats).
    const QByteArray name = p.mid(p.lastIndexOf('/') + 1);
    if (name.startsWith(".~pellora-") && !g_archive.contains(name))
        fail("extraction left a temporary file", QFile::decodeName(p));
    return 0;
}

void extract(ArchiveFormat format, const ExtractCommand &command)
{
    const ExtractionResult result = runExtraction(format, command, nullptr);
    check(result.code >= kResultOk && result.code <= kResultOutputFolder, "an unknown result code");
    check(pellora::platform::isValidUtf8(result.report), "the report is not UTF-8");
    check(::nftw(g_root.constData(), inspect, 16, FTW_PHYS) == 0, "cannot walk the output");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    pellora::fuzz::quietQt();
    // Extracted folders and files must be removable for the next run.
    ::umask(022);
    const QString root = pellora::fuzz::scratch().filePath(QStringLiteral("root"));
    g_root = QFile::encodeName(root);
    g_output = g_root + "/out";
    check(::mkdir(g_root.constData(), 0700) == 0, "cannot make the private root");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t choice = data[0];
    const ArchiveFormat format = pellora::fuzz::formatOf(choice);
    const int switches = choice / 3;

    g_archive = QByteArrayView(data + 1, qsizetype(size - 1));
    ExtractCommand command = pellora::fuzz::extractCommand(choice, data + 1, size - 1);
    command.outputFolder = QFile::decodeName(g_output);

    extract(format, command);
    // Again into what the first run left: files kept or replaced in place.
    if (switches & 16) {
        command.replaceAlways = !command.replaceAlways;
        extract(format, command);
    }
    pellora::fuzz::clearFolder(g_root);
    return 0;
}
