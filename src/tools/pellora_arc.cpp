// pellora-arc: the archiver layer from the command line, for diagnosis,
// scripts and benchmarks. No window is ever shown.

#include "core/ArchiveKind.h"
#include "core/RunHistory.h"
#include "platform/Locale.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "platform/archiver/Extraction.h"
#include "platform/archiver/Report.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <vector>

namespace {

using namespace pellora;

// The program's own defaults for what the history keeps.
constexpr int kHistoryRuns = 5;
constexpr qint64 kHistoryBytes = qint64(2048) * 1024 * 1024;

bool g_printCounts = false;

void print(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
}

int usage()
{
    std::fputs("usage: pellora-arc check FILE\n"
               "       pellora-arc list FILE\n"
               "       pellora-arc run [--threads N] [--no-fast-paths] [--history FOLDER TARGET] LIBRARY COMMANDLINE\n"
               "LIBRARY is one of",
        stderr);
    for (const arc::ArchiveKindInfo &kind : arc::kArchiveKinds)
        std::fprintf(stderr, " %s", kind.library);
    std::fputs("; COMMANDLINE is one argument, e.g.\n"
               "  pellora-arc run UNLHA32.DLL 'x -a1 -jp1 -n \"a.lzh\" \"out/\" \"*.*\"'\n"
               "--history records the run into TARGET (the output folder) in FOLDER, as the program does\n"
               "--threads N decodes on N threads (1: one; default: the cores, at most 4)\n"
               "--no-fast-paths decodes every entry through libarchive\n"
               "--counts prints to stderr how the entries were decoded\n",
        stderr);
    return 2;
}

int check(const QString &file)
{
    const QString kind = core::detectArchiveKind(file);
    if (kind.isEmpty())
        return 1;
    print(kind + u'\n');
    return 0;
}

int list(const QString &file)
{
    const QString kind = core::detectArchiveKind(file);
    if (kind.isEmpty()) {
        std::fprintf(stderr, "pellora-arc: no library accepts %s\n", file.toUtf8().constData());
        return 1;
    }
    const auto library = arc::ArchiverRegistry::find(QString::fromLatin1(arc::archiveKindOfType(kind)->library));
    const arc::HARC handle = library->OpenArchive(nullptr, file, 0);
    if (!handle) {
        std::fprintf(stderr, "pellora-arc: cannot open %s\n", file.toUtf8().constData());
        return 1;
    }
    arc::INDIVIDUALINFO info;
    for (int r = library->FindFirst(handle, QStringLiteral("*.*"), &info); r == 0;
         r = library->FindNext(handle, &info)) {
        // A name is the archive's text: escaped, so it can neither add a line nor drive the terminal.
        print(QStringLiteral("%1\t%2\n")
                  .arg(QString::number(info.dwOriginalSize), arc::escapeControls(QString::fromUtf8(info.szFileName))));
    }
    library->CloseArchive(handle);
    return 0;
}

// Runs the library; with a history folder the run is recorded and kept as
// the program does it, so the cost of recording can be measured on its own.
int run(const QString &libraryName, const QString &commandLine, const QString &history, const QString &target)
{
    const auto library = arc::ArchiverRegistry::find(libraryName);
    if (!library) {
        std::fprintf(stderr, "pellora-arc: no library named %s\n", libraryName.toUtf8().constData());
        return 2;
    }
    constexpr qsizetype kOutputSize = 64000; // what the program itself passes
    std::vector<char> output(kOutputSize);
    std::optional<core::Recording> recording;
    if (!history.isEmpty())
        recording.emplace(history, QStringLiteral("pellora-arc"), QString(), target);
    int code = 0;
    {
        const core::RecordingScope scope(recording ? &*recording : nullptr);
        code = library->Command(nullptr, commandLine, output.data(), kOutputSize);
    }
    if (recording && !recording->finish().isEmpty())
        core::applyRetention(history, kHistoryRuns, kHistoryBytes);
    std::fputs(output.data(), stdout);
    if (g_printCounts) {
        const arc::DecodingCounts counts = arc::decodingCounts();
        std::fprintf(stderr, "decoded ahead %lld, through a fast path %lld, handed back %lld\n",
            static_cast<long long>(counts.decodedAhead), static_cast<long long>(counts.fastPath),
            static_cast<long long>(counts.handedBack));
    }
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    platform::ensureUtf8Ctype();
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args.at(0) == u"run") {
        // Options that say how to decode, before the others.
        int threads = 0;
        bool fastPaths = true;
        for (;;) {
            if (args.size() > 1 && args.at(1) == u"--counts") {
                g_printCounts = true;
                args.remove(1);
                continue;
            }
            if (args.size() > 2 && args.at(1) == u"--threads") {
                bool ok = false;
                threads = args.at(2).toInt(&ok);
                if (!ok || threads < 1 || threads > 64)
                    return usage();
                args.remove(1, 2);
            } else if (args.size() > 1 && args.at(1) == u"--no-fast-paths") {
                fastPaths = false;
                args.remove(1);
            } else {
                break;
            }
        }
        arc::setDecodingDefaults(threads, fastPaths);
    }
    if (args.size() == 2 && args.at(0) == u"check")
        return check(args.at(1));
    if (args.size() == 2 && args.at(0) == u"list")
        return list(args.at(1));
    if (args.size() == 3 && args.at(0) == u"run")
        return run(args.at(1), args.at(2), QString(), QString());
    if (args.size() == 6 && args.at(0) == u"run" && args.at(1) == u"--history")
        return run(args.at(4), args.at(5), args.at(2), QDir(args.at(3)).absolutePath());
    return usage();
}
