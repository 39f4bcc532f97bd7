#pragma once

#include "core/modRegistry.h"
#include "platform/archiver/ArchiveKinds.h"

#include <QString>

namespace pellora::core {

// The archive kind of a file ("LZH", "ZIP", "CAB", "TAR"), or empty when no
// installed library accepts it. The libraries are asked in the order of the
// kinds table and a later one that accepts the file wins, except a kind
// asked only when none before it accepted the file.
QString detectArchiveKind(const QString &path);

// Every kind's stored switches are a setting of the table.
consteval bool everyKindHasItsSetting()
{
    for (const arc::ArchiveKindInfo &kind : arc::kArchiveKinds) {
        if (!findSetting(kind.settingKey))
            return false;
    }
    return true;
}
static_assert(everyKindHasItsSetting());

// The setting that holds the switches the options dialog chose for a kind.
inline const Setting &switchesSetting(const arc::ArchiveKindInfo &kind)
{
    return *findSetting(kind.settingKey);
}

} // namespace pellora::core
