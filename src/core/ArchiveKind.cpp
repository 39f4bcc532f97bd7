#include "core/ArchiveKind.h"

#include "platform/archiver/ArchiverRegistry.h"

namespace pellora::core {

QString detectArchiveKind(const QString &path)
{
    QString kind;
    for (const arc::ArchiveKindInfo &k : arc::kArchiveKinds) {
        if (k.onlyWhenNoOtherAccepts && !kind.isEmpty())
            continue;
        const auto library = arc::ArchiverRegistry::find(QString::fromLatin1(k.library));
        if (library && library->CheckArchive(path, 1) != 0)
            kind = arc::toQString(k.type);
    }
    return kind;
}

} // namespace pellora::core
