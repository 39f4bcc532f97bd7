#include "support/ArchiverRun.h"

#include "platform/archiver/ArchiverRegistry.h"

#include <vector>

namespace pellora::test {

QString libraryFor(const QString &kind)
{
    if (kind == u"LZH")
        return QStringLiteral("UNLHA32.DLL");
    if (kind == u"ZIP")
        return QStringLiteral("UNZIP32.DLL");
    if (kind == u"TAR")
        return QStringLiteral("LIBARCHIVE.DLL");
    return QStringLiteral("CAB32.DLL");
}

QString fixedSwitches(const QString &kind)
{
    if (kind == u"LZH")
        return QStringLiteral("x -a1 -jp1 -n");
    if (kind == u"ZIP" || kind == u"TAR")
        return QStringLiteral("-x -i --i");
    return QStringLiteral("-x -k -n -i");
}

CommandRun runCommand(const QString &library, const QString &commandLine)
{
    const auto lib = arc::ArchiverRegistry::find(library);
    if (!lib)
        return {};
    std::vector<char> buffer(64000, '\x7f');
    CommandRun run;
    run.code = lib->Command(nullptr, commandLine, buffer.data(), qsizetype(buffer.size()));
    run.report = QString::fromUtf8(buffer.data());
    return run;
}

CommandRun extractAll(const QString &kind, const QString &archive, const QString &output, const QString &extra)
{
    const QString line = QStringLiteral("%1%2 \"%3\" \"%4\" \"*.*\"").arg(fixedSwitches(kind), extra, archive, output);
    return runCommand(libraryFor(kind), line);
}

} // namespace pellora::test
