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
// Compared name by name, without the pointer findSetting gives: the
// sanitizer build's checks on pointers cannot run at compile time.
consteval bool everyKindHasItsSetting()
{
    for (const arc::ArchiveKindInfo &kind : arc::kArchiveKinds) {
        bool found = false;
        for (const Setting &s : kSettings)
            found = found || s.name == kind.settingKey;
        if (!found)
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
