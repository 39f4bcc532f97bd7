#include "platform/archiver/ArchiveReader.h"

#include "platform/TextCodec.h"
#include "platform/archiver/ArchiveNaming.h"
#include "platform/archiver/EntryName.h"
#include "platform/archiver/FastPath.h"
#include "platform/archiver/LzhHeaderScan.h"

#include <QFile>

#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pellora::arc {

namespace {
constexpr size_t kBlockSize = 1 << 20;
constexpr size_t kJumpBlockSize = 16 << 10;
// Trying a place to go on from reads one header, not a whole block: a file
// may hold many places that look right and are not.
constexpr size_t kTrialBlockSize = 4096;
} // namespace

// The file behind the reader. Our own callbacks rather than libarchive's
// file opener: they read large blocks, seek (the ZIP reader needs it for
// self-extracting and prefixed archives) and know the position for progress.
// Reads are positioned (pread), so readers of one run can share the
// descriptor opened and checked once, each at its own place.
struct ArchiveReader::Source {
    int fd = -1;
    qint64 position = 0;
    qint64 base = 0;
    qint64 fileSize = 0;
    size_t blockSize = kBlockSize;
    // After a jump (a skip or a seek) the reader most often wants one header
    // and jumps again: a small read first, growing while reads follow reads.
    size_t nextRead = kBlockSize;
    const FastPath *view = nullptr; // fixes up blocks for a header-only reader
    // Not zero-filled: every byte is written by read() before it is used, and
    // a program that only checks an archive touches no more than it reads.
    std::unique_ptr<char[]> buffer{ new char[kBlockSize] };

    ~Source()
    {
        if (fd >= 0)
            ::close(fd);
    }

    static la_ssize_t read(archive *a, void *self, const void **block)
    {
        auto *s = static_cast<Source *>(self);
        for (;;) {
            const size_t wanted = qMin(s->nextRead, s->blockSize);
            const ssize_t n = ::pread(s->fd, s->buffer.get(), wanted, off_t(s->position));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                archive_set_error(a, errno, "read error");
                return -1;
            }
            if (s->view && n > 0)
                s->view->forHeaders(s->position, s->buffer.get(), size_t(n));
            *block = s->buffer.get();
            s->position += n;
            s->nextRead = qMin(s->nextRead * 4, kBlockSize);
            return n;
        }
    }

    static la_int64_t skip(archive *, void *self, la_int64_t request)
    {
        auto *s = static_cast<Source *>(self);
        if (request < 0)
            return 0;
        s->position += request;
        s->nextRead = kJumpBlockSize;
        return request;
    }

    // Offsets seen by libarchive start at base, where the reader was started.
    static la_int64_t seek(archive *, void *self, la_int64_t offset, int whence)
    {
        auto *s = static_cast<Source *>(self);
        qint64 to = 0;
        switch (whence) {
        case SEEK_SET:
            to = offset + s->base;
            break;
        case SEEK_CUR:
            to = s->position + offset;
            break;
        case SEEK_END:
            to = s->fileSize + offset;
            break;
        default:
            return ARCHIVE_FATAL;
        }
        if (to < s->base)
            return ARCHIVE_FATAL;
        if (to != s->position)
            s->nextRead = kJumpBlockSize;
        s->position = to;
        return to - s->base;
    }
};

ArchiveReader::ArchiveReader(ArchiveFormat format, QByteArray path)
    : m_format(format)
    , m_path(std::move(path))
{
}

ArchiveReader::~ArchiveReader()
{
    closeArchive();
}

void ArchiveReader::closeArchive()
{
    if (m_archive) {
        archive_read_free(m_archive);
        m_archive = nullptr;
    }
    m_entry = nullptr;
}

std::unique_ptr<ArchiveReader> ArchiveReader::open(
    ArchiveFormat format, const QString &path, QString *reason, const QString &nameEncoding)
{
    std::unique_ptr<ArchiveReader> reader(new ArchiveReader(format, QFile::encodeName(path)));
    reader->m_nameEncoding = nameEncoding;
    // An LZH reader left to itself fails on a name invalid in the locale, so
    // a chosen encoding is handed to it from the start.
    const bool convertNames = format == ArchiveFormat::Lzh && !nameEncoding.isEmpty();
    if (!reader->openFile(reason) || !reader->start(0, convertNames, reason))
        return nullptr;
    return reader;
}

namespace {
bool failWith(QString *reason, const QString &why)
{
    if (reason)
        *reason = why;
    return false;
}
} // namespace

bool ArchiveReader::openFile(QString *reason)
{
    const auto fail = [reason](const QString &why) { return failWith(reason, why); };

    // Look before opening: a FIFO would block the open and a device may act
    // on being opened, so only a regular file is ever opened for reading.
    struct stat st { };
    if (::stat(m_path.constData(), &st) != 0)
        return fail(QStringLiteral("ファイルがありません"));
    if (!S_ISREG(st.st_mode))
        return fail(QStringLiteral("通常のファイルではありません"));
    m_source = std::make_unique<Source>();
    m_source->fd = ::open(m_path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_source->fd < 0)
        return fail(QStringLiteral("ファイルを開けません (%1)").arg(QString::fromLocal8Bit(strerror(errno))));
    // The name may have been swapped for something else since the look.
    if (::fstat(m_source->fd, &st) != 0 || !S_ISREG(st.st_mode))
        return fail(QStringLiteral("通常のファイルではありません"));
    ::fcntl(m_source->fd, F_SETFL, ::fcntl(m_source->fd, F_GETFL) & ~O_NONBLOCK);
    m_fileSize = st.st_size;
    m_source->fileSize = m_fileSize;
    return true;
}

std::unique_ptr<ArchiveReader> ArchiveReader::another(const FastPath *headerView) const
{
    std::unique_ptr<ArchiveReader> reader(new ArchiveReader(m_format, m_path));
    reader->m_nameEncoding = m_nameEncoding;
    reader->m_streamingZip = m_streamingZip;
    reader->m_fileSize = m_fileSize;
    reader->m_source = std::make_unique<Source>();
    reader->m_source->fd = ::fcntl(m_source->fd, F_DUPFD_CLOEXEC, 0);
    reader->m_source->fileSize = m_fileSize;
    reader->m_source->view = headerView;
    const bool convertNames = m_format == ArchiveFormat::Lzh && !m_nameEncoding.isEmpty();
    QString ignored;
    if (reader->m_source->fd < 0 || !reader->start(0, convertNames, &ignored))
        return nullptr;
    return reader;
}

// Every reader after the first reads the descriptor opened once: the path may
// name another file by now.
bool ArchiveReader::start(qint64 base, bool namesAsCp932, QString *reason)
{
    closeArchive();
    m_namesAsCp932 = namesAsCp932;
    m_headersRead = 0;
    m_base = base;
    m_source->base = base;
    m_source->position = base;

    m_archive = archive_read_new();
    switch (m_format) {
    case ArchiveFormat::Lzh:
        archive_read_support_format_lha(m_archive);
        break;
    case ArchiveFormat::Zip:
        if (m_streamingZip)
            archive_read_support_format_zip_streamable(m_archive);
        else
            archive_read_support_format_zip_seekable(m_archive);
        break;
    case ArchiveFormat::Cab:
        archive_read_support_format_cab(m_archive);
        break;
    case ArchiveFormat::Tar:
        // Only decoders built into libarchive: none of them starts a program.
        archive_read_support_filter_gzip(m_archive);
        archive_read_support_filter_bzip2(m_archive);
        archive_read_support_filter_xz(m_archive);
        archive_read_support_filter_lzma(m_archive);
        archive_read_support_filter_zstd(m_archive);
        archive_read_support_filter_lz4(m_archive);
        archive_read_support_format_tar(m_archive);
        archive_read_support_format_7zip(m_archive);
        // A single compressed file; accepted in next() only behind a filter.
        archive_read_support_format_raw(m_archive);
        break;
    }
    if (namesAsCp932) {
        const QByteArray charset = m_nameEncoding.isEmpty() ? QByteArrayLiteral("CP932") : m_nameEncoding.toLatin1();
        archive_read_set_format_option(m_archive, nullptr, "hdrcharset", charset.constData());
    }
    archive_read_set_callback_data(m_archive, m_source.get());
    archive_read_set_read_callback(m_archive, &Source::read);
    archive_read_set_skip_callback(m_archive, &Source::skip);
    archive_read_set_seek_callback(m_archive, &Source::seek);
    if (archive_read_open1(m_archive) == ARCHIVE_OK)
        return true;
    if (m_format == ArchiveFormat::Zip && !m_streamingZip) {
        // No central directory (a download cut short): read the local headers
        // in order instead, so the entries before the cut can still be saved.
        m_streamingZip = true;
        return start(base, namesAsCp932, reason);
    }
    return failWith(reason, QStringLiteral("アーカイブとして開けません (%1)").arg(errorString()));
}

ArchiveReader::Next ArchiveReader::next()
{
    m_damaged = {};
    if (m_pendingEntry) {
        m_pendingEntry = false;
        m_nextHeaderAt = m_base;
        noteHeader();
        return Next::Entry;
    }
    if (m_skippedToEnd)
        return Next::End;
    if (!m_archive)
        return Next::Fatal;
    int r = archive_read_next_header(m_archive, &m_entry);
    if (r == ARCHIVE_FATAL && m_format == ArchiveFormat::Lzh && !m_namesAsCp932) {
        // Most likely a Shift_JIS name; read the archive again with CP932
        // names, skipping the headers already handed out.
        const qint64 seen = m_headersRead;
        const QByteArray firstError = archive_error_string(m_archive);
        QString ignored;
        if (start(m_base, true, &ignored)) {
            bool ok = true;
            for (qint64 i = 0; i < seen && ok; ++i)
                ok = archive_read_next_header(m_archive, &m_entry) >= ARCHIVE_WARN;
            r = ok ? archive_read_next_header(m_archive, &m_entry) : ARCHIVE_FATAL;
            m_headersRead = seen;
        }
        if (r == ARCHIVE_FATAL && m_archive && archive_error_string(m_archive) == nullptr && !firstError.isEmpty())
            archive_set_error(m_archive, -1, "%s", firstError.constData());
    }
    if (r == ARCHIVE_FATAL && m_format == ArchiveFormat::Lzh && m_skipDamagedHeaders && m_archive)
        return skipDamagedHeader();
    if ((r == ARCHIVE_OK || r == ARCHIVE_WARN) && isSingleCompressedFile() && archive_filter_count(m_archive) < 2) {
        // Without a compression filter the raw reader takes any file at all.
        archive_set_error(m_archive, -1, "not an archive");
        return Next::Fatal;
    }
    switch (r) {
    case ARCHIVE_OK:
    case ARCHIVE_WARN:
        ++m_headersRead;
        noteHeader();
        return Next::Entry;
    case ARCHIVE_EOF:
        return Next::End;
    case ARCHIVE_RETRY:
    case ARCHIVE_FAILED:
        ++m_headersRead;
        return Next::Damaged;
    default:
        return Next::Fatal;
    }
}

void ArchiveReader::noteHeader()
{
    if (!m_skipDamagedHeaders || m_format != ArchiveFormat::Lzh)
        return;
    m_lastHeaderAt = m_nextHeaderAt;
    m_nextHeaderAt = m_lastHeaderAt < 0 ? -1 : lzhMemberEnd(m_source->fd, m_lastHeaderAt, m_fileSize);
}

ArchiveReader::Next ArchiveReader::skipDamagedHeader()
{
    // The damaged header starts where the last member ends. Without that
    // (a self-extracting stub before the first header), where libarchive
    // stopped reading is close behind it; never look again at a header
    // already handed out.
    qint64 damagedAt = m_nextHeaderAt;
    if (damagedAt < 0)
        damagedAt = qMax(m_base + archive_filter_bytes(m_archive, 0), qMax(m_lastHeaderAt + 1, m_base));
    damagedAt = qMin(damagedAt, m_fileSize);
    const QByteArray error = archive_error_string(m_archive);
    // A candidate counts only when libarchive itself reads its header, with
    // the same retry for Shift_JIS names as at the start of the file.
    m_source->blockSize = kTrialBlockSize;
    const auto readsFrom = [this](qint64 offset) {
        for (const bool cp932 : { false, true }) {
            QString ignored;
            if (start(offset, cp932, &ignored) && archive_read_next_header(m_archive, &m_entry) >= ARCHIVE_WARN)
                return true;
        }
        return false;
    };
    const qint64 found = findLzhHeader(m_source->fd, damagedAt + 1, m_fileSize, readsFrom);
    m_source->blockSize = kBlockSize;
    m_damaged = { damagedAt, (found < 0 ? m_fileSize : found) - damagedAt };
    if (found < 0) {
        closeArchive(); // nothing sound is left: the next call ends the archive
        m_skippedToEnd = true;
    } else {
        m_headersRead = 1;
        m_pendingEntry = true;
    }
    m_skippedError = error.isEmpty() ? QByteArrayLiteral("LHa header error") : error;
    return Next::Damaged;
}

ArchiveReader::DataEnd ArchiveReader::readData(
    qint64 declared, const std::function<bool(const char *, size_t, qint64)> &write, const std::function<bool()> &stop)
{
    for (;;) {
        const void *block = nullptr;
        size_t length = 0;
        la_int64_t offset = 0;
        const int r = archive_read_data_block(m_archive, &block, &length, &offset);
        if (r == ARCHIVE_EOF)
            return DataEnd::Done;
        if (r != ARCHIVE_OK)
            return r == ARCHIVE_FATAL ? DataEnd::Fatal : DataEnd::Damaged;
        if (declared >= 0) {
            if (offset >= declared)
                return DataEnd::Done;
            if (offset + la_int64_t(length) > declared)
                length = size_t(declared - offset);
        }
        if (!write(static_cast<const char *>(block), length, offset))
            return DataEnd::WriteFailed;
        if (stop && stop())
            return DataEnd::Stopped;
    }
}

QByteArray ArchiveReader::rawName() const
{
    const char *raw = m_entry ? archive_entry_pathname(m_entry) : nullptr;
    return raw ? QByteArray(raw) : QByteArray();
}

int ArchiveReader::descriptor() const
{
    return m_source ? m_source->fd : -1;
}

bool ArchiveReader::isSingleCompressedFile() const
{
    return m_archive && m_format == ArchiveFormat::Tar && archive_format(m_archive) == ARCHIVE_FORMAT_RAW;
}

QString ArchiveReader::entryName() const
{
    if (!m_entry)
        return {};
    // The one file of a compressed file has no name of its own: it is named
    // after the compressed file ("notes.txt.gz" holds "notes.txt").
    if (isSingleCompressedFile())
        return singleFileName(QFile::decodeName(m_path));
    const char *raw = archive_entry_pathname(m_entry);
    if (!raw)
        return {};
    if (m_namesAsCp932)
        return platform::decodeUtf8OrCp932(QByteArray(raw)); // converted by libarchive already
    return decodeEntryName(QByteArray(raw), m_nameEncoding);
}

QString ArchiveReader::errorString() const
{
    if (m_pendingEntry || m_skippedToEnd)
        return QString::fromLocal8Bit(m_skippedError);
    const char *e = m_archive ? archive_error_string(m_archive) : nullptr;
    return e ? QString::fromLocal8Bit(e) : QStringLiteral("不明なエラー");
}

qint64 ArchiveReader::position() const
{
    return m_source ? m_source->position : 0;
}

} // namespace pellora::arc
