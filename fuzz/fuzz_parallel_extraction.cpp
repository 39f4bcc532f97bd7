// Decoding ahead on worker threads and through the fast decoders may change
// the time a run takes and nothing else: whatever the bytes, the run gives the
// same files, the same report and the same result as one thread through
// libarchive alone, or both refuse alike.
//
// Input: a byte choosing the library (value % 3: LZH, ZIP, CAB) and the
// switches, then the archive's bytes.

#include "ArchiveInput.h"

#include "platform/archiver/Extraction.h"

#include <QCryptographicHash>
#include <QFile>
#include <QStringList>

#include <ftw.h>
#include <sys/stat.h>

using namespace pellora::arc;
using pellora::fuzz::check;
using pellora::fuzz::fail;

namespace {

QByteArray g_root;
QStringList *g_lines = nullptr;
qsizetype g_prefix = 0;
time_t g_startedAt = 0;

int describe(const char *path, const struct stat *st, int, FTW *)
{
    const QByteArray p(path);
    if (p.size() <= g_prefix)
        return 0;
    // Times the archive did not give are the clock's, alike only as "now".
    const bool clock = st->st_mtim.tv_sec >= g_startedAt;
    QString line
        = QStringLiteral("%1 %2 %3 %4")
              .arg(QFile::decodeName(p.mid(g_prefix)))
              .arg(st->st_mode, 0, 8)
              .arg(S_ISDIR(st->st_mode) ? 0 : qint64(st->st_size))
              .arg(S_ISDIR(st->st_mode) || clock ? QStringLiteral("-") : QString::number(qint64(st->st_mtim.tv_sec)));
    if (S_ISREG(st->st_mode)) {
        // A header may declare gigabytes (a sparse file): its head is enough.
        QFile file(QFile::decodeName(p));
        check(file.open(QIODevice::ReadOnly), "cannot read an extracted file");
        QCryptographicHash hash(QCryptographicHash::Md5);
        hash.addData(file.read(16 << 20));
        line += u' ' + QString::fromLatin1(hash.result().toHex());
    }
    g_lines->append(line);
    return 0;
}

// Code, report and tree of the runs the switches ask for, one way.
QStringList runs(
    ArchiveFormat format, ExtractCommand command, int threads, bool fastPaths, const QByteArray &output, int switches)
{
    command.outputFolder = QFile::decodeName(output) + u'/';
    command.threads = threads;
    command.fastPaths = fastPaths;
    QStringList seen;
    for (int pass = 0; pass < ((switches & 16) ? 2 : 1); ++pass) {
        const ExtractionResult result = runExtraction(format, command, nullptr);
        seen.append(QString::number(result.code));
        seen.append(QString::fromUtf8(result.report).replace(command.outputFolder, QStringLiteral("<out>/")));
        g_lines = &seen;
        g_prefix = output.size();
        check(::nftw(output.constData(), describe, 16, FTW_PHYS) == 0, "cannot walk the output");
        command.replaceAlways = !command.replaceAlways;
    }
    pellora::fuzz::clearFolder(output);
    return seen;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    pellora::fuzz::quietQt();
    ::umask(022);
    g_root = QFile::encodeName(pellora::fuzz::scratch().filePath(QStringLiteral("root")));
    check(::mkdir(g_root.constData(), 0700) == 0, "cannot make the private root");
    check(::mkdir((g_root + "/one").constData(), 0700) == 0, "cannot make an output folder");
    check(::mkdir((g_root + "/many").constData(), 0700) == 0, "cannot make an output folder");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t choice = data[0];
    const ArchiveFormat format = pellora::fuzz::formatOf(choice);
    const int switches = choice / 3;

    // Carrying on past damaged headers is for one reader only: both ways
    // would take the same road.
    ExtractCommand command = pellora::fuzz::extractCommand(choice, data + 1, size - 1);
    command.skipDamaged = false;

    g_startedAt = ::time(nullptr) - 2;
    const QStringList one = runs(format, command, 1, false, g_root + "/one", switches);
    const QStringList many = runs(format, command, 3, true, g_root + "/many", switches);
    if (one != many) {
        for (qsizetype i = 0; i < qMax(one.size(), many.size()); ++i) {
            if (one.value(i) != many.value(i))
                fail("workers and fast paths changed the outcome",
                    QStringLiteral("one thread: %1\nworkers:    %2").arg(one.value(i), many.value(i)));
        }
    }
    return 0;
}
