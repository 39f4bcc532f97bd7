#include "platform/archiver/NameRule.h"

#include "platform/archiver/ArchiveReader.h"

#include <archive_entry.h>

namespace pellora::arc {

NameRule NameRule::prepare(ArchiveFormat format, const QString &archive, const NameOptions &options)
{
    NameRule rule;
    rule.m_options = options;
    if (!options.stripTopFolder)
        return rule;
    rule.m_strip = Strip::Unreadable;
    const auto reader = ArchiveReader::open(format, archive, nullptr, options.encoding);
    if (!reader)
        return rule;
    TopFolderScan scan;
    for (;;) {
        const ArchiveReader::Next next = reader->next();
        if (next == ArchiveReader::Next::End)
            break;
        // An entry that cannot be read may sit anywhere: better a nested
        // folder than files spilled beside the user's own.
        if (next != ArchiveReader::Next::Entry)
            return rule;
        scan.add(makeEntryPath(reader->entryName()), archive_entry_filetype(reader->entry()) == AE_IFDIR);
    }
    switch (scan.finding()) {
    case TopFolderScan::Finding::Empty:
        rule.m_strip = Strip::Empty;
        break;
    case TopFolderScan::Finding::OneFolder:
        rule.m_strip = Strip::Stripped;
        rule.m_topFolder = scan.folder();
        break;
    case TopFolderScan::Finding::SeveralTopEntries:
        rule.m_strip = Strip::SeveralTopEntries;
        break;
    case TopFolderScan::Finding::LoneFile:
        rule.m_strip = Strip::LoneFile;
        break;
    }
    return rule;
}

EntryPath NameRule::path(const ArchiveReader &reader) const
{
    return withoutTopFolder(makeEntryPath(reader.entryName()), m_topFolder);
}

QString NameRule::reportNote() const
{
    switch (m_strip) {
    case Strip::NotAsked:
    case Strip::Empty:
        return {};
    case Strip::Stripped:
        return QStringLiteral("先頭のフォルダ %1/ を取り除いて解凍しました").arg(m_topFolder);
    case Strip::SeveralTopEntries:
        return QStringLiteral("先頭に複数のファイルやフォルダがあるため、先頭のフォルダを取り除きませんでした");
    case Strip::LoneFile:
        return QStringLiteral("先頭にフォルダがないため、先頭のフォルダを取り除きませんでした");
    case Strip::Unreadable:
        return QStringLiteral("アーカイブを最後まで読めないため、先頭のフォルダを取り除きませんでした");
    }
    return {};
}

} // namespace pellora::arc
