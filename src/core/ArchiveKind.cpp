#include "core/ArchiveKind.h"

#include "platform/archiver/ArchiverRegistry.h"

namespace pellora::core {

QString detectArchiveKind(const QString &path)
{
    struct Candidate {
        const char *library;
        const char *kind;
    };
    static constexpr Candidate candidates[] = {
        { arc::kUnlhaLibrary, "LZH" },
        { arc::kUnzipLibrary, "ZIP" },
        { arc::kCabLibrary, "CAB" },
    };
    QString kind;
    for (const Candidate &c : candidates) {
        const auto library = arc::ArchiverRegistry::find(QString::fromLatin1(c.library));
        if (library && library->CheckArchive(path, 1) != 0)
            kind = QString::fromLatin1(c.kind);
    }
    return kind;
}

} // namespace pellora::core
