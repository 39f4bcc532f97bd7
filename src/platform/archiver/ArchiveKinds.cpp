#include "platform/archiver/ArchiveKinds.h"

namespace pellora::arc {

const ArchiveKindInfo *archiveKindOfType(QStringView type)
{
    for (const ArchiveKindInfo &kind : kArchiveKinds) {
        if (type == QStringView(kind.type.data(), qsizetype(kind.type.size())))
            return &kind;
    }
    return nullptr;
}

const ArchiveKindInfo &archiveKindOf(ArchiveFormat format)
{
    for (const ArchiveKindInfo &kind : kArchiveKinds) {
        if (kind.format == format)
            return kind;
    }
    return kArchiveKinds[0]; // unreachable: every format has a row
}

} // namespace pellora::arc
