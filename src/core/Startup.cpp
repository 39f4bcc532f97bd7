#include "core/Startup.h"

#include "core/Pattern.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pellora::core {

QList<ItemRecord> matchingItems(const QString &archiveName, const QList<ItemRecord> &records)
{
    QList<ItemRecord> matches;
    for (const ItemRecord &record : records) {
        if (FilePattern(record.Pattern, Qt::CaseInsensitive).matches(archiveName))
            matches.append(record);
    }
    return matches;
}

QList<ItemRecord> matchingItemsInFile(const QString &archiveName, const QString &itemFilePath)
{
    QList<ItemRecord> matches;
    // A folder or a FIFO of that name is no item file (and a FIFO would block).
    if (!QFileInfo(itemFilePath).isFile())
        return matches;
    QFile file(itemFilePath);
    if (!file.open(QIODevice::ReadOnly))
        return matches;
    // Mapped rather than read: the file's pages are used where they lie.
    const qint64 size = file.size();
    const uchar *mapped = size > 0 ? file.map(0, size) : nullptr;
    const QByteArray copy = mapped || size == 0 ? QByteArray() : file.readAll();
    const QByteArrayView bytes
        = mapped ? QByteArrayView(reinterpret_cast<const char *>(mapped), size) : QByteArrayView(copy);
    visitItemFile(bytes, [&](const ItemFields &f) {
        if (FilePattern(f.Pattern, Qt::CaseInsensitive).matches(archiveName))
            matches.append({ f.Title.toString(), f.Pattern.toString(), f.Output.toString(), f.Relation.toString() });
    });
    return matches;
}

QString proposedTargetFolder(const clsItem &item)
{
    if (readYesNo(setting(u"DefaultArchiveFolder")))
        return item.Folder();
    const QString meltFolder = readText(setting(u"DefaultMeltFolder"));
    if (!meltFolder.isEmpty())
        return meltFolder;
    return platform::withTrailingSeparator(QDir::currentPath());
}

QString informationRequest(const QStringList &arguments, const QString &version)
{
    if (arguments.size() != 1 || QFileInfo::exists(arguments.first()))
        return {};
    if (arguments.first() == u"--version")
        return QStringLiteral("Pellora %1\n").arg(version);
    if (arguments.first() != u"--help")
        return {};
    return QStringLiteral("usage: pellora [ARCHIVE]\n"
                          "       pellora --route ARCHIVE...\n"
                          "       pellora --watch [FOLDER]\n"
                          "       pellora --history | --undo RUN-ID | --undo-last\n"
                          "       pellora --help | --version\n"
                          "\n"
                          "Extracts a downloaded archive (LZH, ZIP, CAB, 7z, tar, tar.gz, tar.xz,\n"
                          "tar.zst, a single .gz/.xz/.zst file...) into the folder of the item whose\n"
                          "file pattern matches its name: with several matches it lets you choose,\n"
                          "with none it asks for a folder. Without ARCHIVE it opens the item list.\n"
                          "\n"
                          "  --route ARCHIVE...  route archives without any window and print the\n"
                          "                      reports; exit 0 all extracted, 2 bad usage, 3 no item\n"
                          "                      matched, 4 several items matched, 5 extraction failed\n"
                          "                      or entries were refused, 6 unsupported or damaged\n"
                          "  --watch [FOLDER]    route each download completed in FOLDER (default: the\n"
                          "                      download folder) until ended\n"
                          "  --history           list the extraction runs that can be undone\n"
                          "  --undo RUN-ID       undo that run; exit 0 restored, 1 something was left,\n"
                          "                      2 nothing could be undone\n"
                          "  --undo-last         undo the newest run\n"
                          "  --help              show this text and exit\n"
                          "  --version           show the version and exit\n"
                          "\n"
                          "Exit status: 0 when the program ended normally; 1 when an extraction\n"
                          "failed or was cancelled, or the file is not an archive it can extract.\n");
}

} // namespace pellora::core
