#pragma once

#include "platform/archiver/ArchiveFormat.h"
#include "platform/archiver/EntryName.h"

#include <QString>

namespace pellora::arc {

class ArchiveReader;

// The names one run or one listing gives the entries: decoded in the item's
// encoding, with the top folder taken off when the item asks for it and the
// archive has one. Names are made here only, so the checks that follow
// (leaving the output folder, links, the filter) all see the final name.
class NameRule final {
public:
    enum class Strip {
        NotAsked,
        Stripped,
        SeveralTopEntries,
        LoneFile,
        Unreadable, // the listing pass did not reach the end
        Empty,
    };

    // Stripping needs every entry's top component before the first entry is
    // written, so when it is asked the archive is listed once first (headers
    // only, no data).
    static NameRule prepare(ArchiveFormat format, const QString &archive, const NameOptions &options);

    const QString &encoding() const { return m_options.encoding; }
    Strip strip() const { return m_strip; }
    const QString &topFolder() const { return m_topFolder; }

    // The current entry's safe path or refusal, after decoding and stripping.
    EntryPath path(const ArchiveReader &reader) const;
    // What the report says about stripping; empty when nothing was asked.
    QString reportNote() const;

private:
    NameOptions m_options;
    Strip m_strip = Strip::NotAsked;
    QString m_topFolder;
};

} // namespace pellora::arc
