#include "core/Startup.h"

#include "core/Pattern.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Paths.h"

#include <QDir>

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

QString proposedTargetFolder(const clsItem &item)
{
    if (readYesNo(setting(u"DefaultArchiveFolder")))
        return item.Folder();
    const QString meltFolder = readText(setting(u"DefaultMeltFolder"));
    if (!meltFolder.isEmpty())
        return meltFolder;
    return platform::withTrailingSeparator(QDir::currentPath());
}

} // namespace pellora::core
