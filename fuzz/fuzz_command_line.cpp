// The command line reaches the archiver libraries from the program, from
// pellora-arc and from a user's own switches: any text must parse or be
// refused, and what parses must say what the text said.
//
// Input: a UTF-8 command line, then optionally a tab and an entry path to
// test the parsed filter against.

#include "FuzzSupport.h"

#include "platform/archiver/CommandLine.h"

#include <QStringList>

using namespace pellora::arc;
using pellora::fuzz::check;

namespace {

// The command line the program would compose for cmd: the round trip
// through it must give cmd again.
QString compose(ArchiveFormat format, const ExtractCommand &cmd)
{
    QStringList words;
    switch (format) {
    case ArchiveFormat::Lzh:
        words << QStringLiteral("x");
        if (cmd.replaceAlways)
            words << QStringLiteral("-c");
        if (cmd.skipDamaged)
            words << QStringLiteral("-jc");
        if (cmd.filterIsFullPath)
            words << QStringLiteral("-p");
        if (cmd.noProgress)
            words << QStringLiteral("-n");
        break;
    case ArchiveFormat::Zip:
        words << QStringLiteral("-x");
        if (cmd.replaceAlways)
            words << QStringLiteral("-o");
        if (cmd.noProgress)
            words << QStringLiteral("--i");
        break;
    case ArchiveFormat::Cab:
        words << QStringLiteral("-x");
        if (cmd.replaceAlways)
            words << QStringLiteral("-o");
        if (cmd.noProgress)
            words << QStringLiteral("-i");
        break;
    }
    for (const QString &text : { cmd.archive, cmd.outputFolder, cmd.filter })
        words << u'"' + text + u'"';
    return words.join(u' ');
}

bool same(const ExtractCommand &a, const ExtractCommand &b)
{
    return a.archive == b.archive && a.outputFolder == b.outputFolder && a.filter == b.filter
        && a.replaceAlways == b.replaceAlways && a.skipDamaged == b.skipDamaged
        && a.filterIsFullPath == b.filterIsFullPath && a.noProgress == b.noProgress;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    pellora::fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype tab = bytes.indexOf('\t');
    const QString line = QString::fromUtf8(tab < 0 ? bytes : bytes.left(tab));
    const QString entry = tab < 0 ? QStringLiteral("doc/readme.txt") : QString::fromUtf8(bytes.mid(tab + 1));

    for (const ArchiveFormat format : { ArchiveFormat::Lzh, ArchiveFormat::Zip, ArchiveFormat::Cab }) {
        const auto parsed = parseCommandLine(format, line);
        if (const auto *error = std::get_if<CommandLineError>(&parsed)) {
            check(!error->message.isEmpty(), "a refused command line has no message", line);
            continue;
        }
        const ExtractCommand &cmd = std::get<ExtractCommand>(parsed);
        check(!cmd.archive.isEmpty() && !cmd.outputFolder.isEmpty() && !cmd.filter.isEmpty(),
            "a command line parsed with an empty text", line);
        check(!cmd.archive.contains(u'"') && !cmd.outputFolder.contains(u'"') && !cmd.filter.contains(u'"'),
            "a parsed text holds a double quote", line);

        const QString again = compose(format, cmd);
        const auto reparsed = parseCommandLine(format, again);
        const auto *cmd2 = std::get_if<ExtractCommand>(&reparsed);
        check(cmd2 && same(cmd, *cmd2), "a composed command line does not parse back to the same command", again);

        // The filter's wildcards against an entry name: must end, and quickly.
        filterSelects(cmd, entry);
    }
    return 0;
}
