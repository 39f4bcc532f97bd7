#include "platform/archiver/BuiltInArchiver.h"

#include "platform/archiver/ArchiveKinds.h"
#include "platform/archiver/ArchiveReader.h"
#include "platform/archiver/CommandLine.h"
#include "platform/archiver/Extraction.h"
#include "platform/archiver/NameRule.h"
#include "platform/archiver/Progress.h"

#include <archive_entry.h>

namespace pellora::arc {

struct BuiltInArchiver::Listing {
    QString path;
    QString wildcard = QStringLiteral("*.*");
    std::unique_ptr<ArchiveReader> reader;
    NameRule names;
    bool started = false;
};

BuiltInArchiver::BuiltInArchiver(ArchiveFormat format)
    : m_format(format)
{
}

BuiltInArchiver::~BuiltInArchiver() = default;

int BuiltInArchiver::CheckArchive(const QString &path, int /*mode*/)
{
    QString reason;
    const auto reader = ArchiveReader::open(m_format, path, &reason);
    // Accepted when the first entry's header reads: a stray signature alone is not enough.
    return reader && reader->next() == ArchiveReader::Next::Entry ? 1 : 0;
}

int BuiltInArchiver::Command(QObject *owner, const QString &commandLine, char *output, qsizetype size)
{
    const auto parsed = parseCommandLine(m_format, commandLine);
    if (const auto *error = std::get_if<CommandLineError>(&parsed)) {
        const QString text
            = QStringLiteral("コマンドラインを解釈できません: %1\n何も解凍しませんでした\n").arg(error->message);
        copyReport(text.toUtf8(), output, size);
        return kResultBadCommand;
    }
    const ExtractCommand &command = std::get<ExtractCommand>(parsed);
    ExtractionResult result;
    ProgressState state;
    // The report is shaped to the buffer here, where the errors are still known
    // from the other lines; the copy below would only keep the head.
    const qsizetype limit = qMax<qsizetype>(size - 1, 0);
    ProgressHost *host = progressHost();
    if (command.noProgress || !host)
        result = runExtraction(m_format, command, nullptr, limit);
    else
        host->run(owner, state, [&] { result = runExtraction(m_format, command, &state, limit); });
    copyReport(result.report, output, size);
    return result.code;
}

HARC BuiltInArchiver::OpenArchive(QObject *owner, const QString &path, int /*mode*/)
{
    return OpenArchiveWith(owner, path, {});
}

HARC BuiltInArchiver::OpenArchiveWith(QObject * /*owner*/, const QString &path, const NameOptions &options)
{
    auto listing = std::make_shared<Listing>();
    listing->path = path;
    listing->reader = ArchiveReader::open(m_format, path, nullptr, options.encoding);
    if (!listing->reader)
        return 0;
    listing->names = NameRule::prepare(m_format, path, options);
    QMutexLocker lock(&m_mutex);
    const HARC handle = m_nextHandle++;
    m_listings.insert(handle, std::move(listing));
    return handle;
}

int BuiltInArchiver::FindFirst(HARC archive, const QString &wildcard, INDIVIDUALINFO *info)
{
    std::shared_ptr<Listing> listing;
    {
        QMutexLocker lock(&m_mutex);
        listing = m_listings.value(archive);
    }
    if (!listing)
        return -1;
    // A second first search starts from the top again.
    if (listing->started) {
        listing->reader = ArchiveReader::open(m_format, listing->path, nullptr, listing->names.encoding());
        if (!listing->reader)
            return -1;
    }
    listing->started = true;
    listing->wildcard = wildcard.isEmpty() ? QStringLiteral("*.*") : wildcard;
    return fillNext(*listing, info);
}

int BuiltInArchiver::FindNext(HARC archive, INDIVIDUALINFO *info)
{
    std::shared_ptr<Listing> listing;
    {
        QMutexLocker lock(&m_mutex);
        listing = m_listings.value(archive);
    }
    if (!listing || !listing->started)
        return -1;
    return fillNext(*listing, info);
}

int BuiltInArchiver::CloseArchive(HARC archive)
{
    QMutexLocker lock(&m_mutex);
    return m_listings.remove(archive) ? 0 : -1;
}

int BuiltInArchiver::fillNext(Listing &listing, INDIVIDUALINFO *info)
{
    ExtractCommand filter;
    filter.filter = listing.wildcard;
    const char separator = archiveKindOf(m_format).separator;
    for (;;) {
        const ArchiveReader::Next next = listing.reader->next();
        if (next == ArchiveReader::Next::End || next == ArchiveReader::Next::Fatal)
            return -1;
        if (next == ArchiveReader::Next::Damaged)
            continue; // list what can still be read
        const EntryPath path = listing.names.path(*listing.reader);
        // The top folder itself, when it is taken off, is not listed.
        if (!listing.names.topFolder().isEmpty() && path.components.isEmpty() && path.display.isEmpty())
            continue;
        QString name
            = !listing.names.topFolder().isEmpty() && path.isSafe() ? path.display : listing.reader->entryName();
        if (!filterSelects(filter, name))
            continue;
        // Report names as the Windows libraries did: the kind's separator
        // ("\" for CAB, "/" for the others), folders with a trailing one.
        if (separator == '\\')
            name.replace(u'/', u'\\');
        else if (m_format == ArchiveFormat::Lzh)
            name.replace(u'\\', u'/');
        archive_entry *e = listing.reader->entry();
        if (archive_entry_filetype(e) == AE_IFDIR && !name.endsWith(QLatin1Char(separator)))
            name += QLatin1Char(separator);
        *info = {};
        info->szFileName = name.toUtf8();
        info->dwOriginalSize
            = archive_entry_size_is_set(e) && archive_entry_size(e) > 0 ? quint64(archive_entry_size(e)) : 0;
        return 0;
    }
}

} // namespace pellora::arc
