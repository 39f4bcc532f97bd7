#include "platform/archiver/ZipFastPath.h"

#include "platform/archiver/ReadAt.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <unistd.h>

namespace pellora::arc {

namespace {

// libarchive's seekable reader looks for the end record only this far from
// the end and takes the last signature it finds there, valid or not; the
// fast path must read the same directory libarchive reads, or none.
constexpr qint64 kTailWindow = 16 * 1024;
constexpr qint64 kEndRecordSize = 22;
constexpr qint64 kLocatorSize = 20;
constexpr qint64 kZip64EndSize = 56;
constexpr qint64 kCentralHeaderSize = 46;
constexpr qint64 kLocalHeaderSize = 30;
// A larger directory is left to libarchive rather than held in memory here.
constexpr qint64 kMaxDirectorySize = 64 * 1024 * 1024;
constexpr qint64 kBlockSize = 256 * 1024;
constexpr quint32 kNoValue = 0xffffffffu;

constexpr quint16 kEncrypted = 0x0001;
constexpr quint16 kStrongEncryption = 0x0040;
constexpr quint16 kDirectoryEncrypted = 0x2000;
constexpr quint16 kStored = 0;
constexpr quint16 kDeflated = 8;

quint16 le16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint16(u[0] | (u[1] << 8));
}

quint32 le32(const char *p)
{
    return quint32(le16(p)) | (quint32(le16(p + 2)) << 16);
}

quint64 le64(const char *p)
{
    return quint64(le32(p)) | (quint64(le32(p + 4)) << 32);
}

bool signatureAt(int fd, qint64 offset, const char *signature)
{
    char bytes[4];
    return readExactlyAt(fd, offset, bytes, 4) && std::memcmp(bytes, signature, 4) == 0;
}

// The sizes and offset an extra field block may widen to 64 bits, and
// whether it holds a field that makes libarchive report another name or
// file type than the header's own.
struct ExtraValues {
    quint64 uncompressed = 0;
    quint64 compressed = 0;
    quint64 offset = 0;
    bool renames = false;
};

// Reads the extra fields as libarchive does; false where libarchive would
// refuse the header, or where two 64-bit fields would leave it ambiguous.
bool readExtra(const char *p, qint64 size, ExtraValues &values)
{
    if (size < 4) {
        // libarchive tolerates a short run of zero padding only.
        return std::all_of(p, p + size, [](char c) { return c == 0; });
    }
    bool zip64Seen = false;
    qint64 at = 0;
    while (at <= size - 4) {
        const quint16 id = le16(p + at);
        qint64 length = le16(p + at + 2);
        at += 4;
        if (at + length > size)
            return false;
        const char *field = p + at;
        switch (id) {
        case 0x0001: {
            if (zip64Seen)
                return false;
            zip64Seen = true;
            for (quint64 *value : { &values.uncompressed, &values.compressed, &values.offset }) {
                if (*value != kNoValue)
                    continue;
                if (length < 8 || le64(field) > quint64(INT64_MAX))
                    return false;
                *value = le64(field);
                field += 8;
                length -= 8;
            }
            break;
        }
        case 0x5455: // extended time: libarchive refuses an empty one
            if (length == 0)
                return false;
            break;
        case 0x6c78: // carries the file type
        case 0x7075: // carries another name
            values.renames = true;
            break;
        default:
            break;
        }
        at += le16(p + at - 2);
    }
    return true;
}

// Where the central directory is, as libarchive's seekable reader finds it.
struct Directory {
    qint64 start = 0; // first record
    qint64 end = 0; // the end record that follows the last record
    qint64 correction = 0; // added to each stored local-header offset
    quint64 count = 0;
};

std::optional<Directory> zip64Directory(int fd, qint64 fileSize, const char *locator, qint64 locatorAt)
{
    if (le32(locator + 4) != 0 || le32(locator + 16) != 1)
        return std::nullopt;
    const quint64 recordAt = le64(locator + 8);
    if (recordAt > quint64(locatorAt) || quint64(locatorAt) - recordAt < quint64(kZip64EndSize))
        return std::nullopt;
    char record[kZip64EndSize];
    if (!readExactlyAt(fd, qint64(recordAt), record, kZip64EndSize) || std::memcmp(record, "PK\006\006", 4) != 0)
        return std::nullopt;
    const quint64 recordSize = le64(record + 4) + 12;
    if (recordSize < quint64(kZip64EndSize) || recordSize > quint64(locatorAt) - recordAt)
        return std::nullopt;
    if (le32(record + 16) != 0 || le32(record + 20) != 0 || le64(record + 24) != le64(record + 32))
        return std::nullopt;
    const quint64 size = le64(record + 40);
    const quint64 offset = le64(record + 48);
    // libarchive starts at the recorded offset and applies no correction.
    if (offset > recordAt || recordAt - offset != size || qint64(recordAt) > fileSize)
        return std::nullopt;
    return Directory{ qint64(offset), qint64(recordAt), 0, le64(record + 32) };
}

std::optional<Directory> findDirectory(int fd, qint64 fileSize)
{
    if (fileSize < kEndRecordSize)
        return std::nullopt;
    const qint64 tail = std::min(kTailWindow, fileSize);
    const qint64 windowAt = fileSize - tail;
    QByteArray window(tail, Qt::Uninitialized);
    if (!readExactlyAt(fd, windowAt, window.data(), tail))
        return std::nullopt;
    qint64 at = tail - kEndRecordSize;
    while (at >= 0 && std::memcmp(window.constData() + at, "PK\005\006", 4) != 0)
        --at;
    if (at < 0)
        return std::nullopt;
    const char *end = window.constData() + at;
    const qint64 endAt = windowAt + at;
    // libarchive prefers a ZIP64 record it can read; one it reads and this
    // does not would leave the two with different directories.
    if (at >= kLocatorSize && std::memcmp(end - kLocatorSize, "PK\006\007", 4) == 0)
        return zip64Directory(fd, fileSize, end - kLocatorSize, endAt - kLocatorSize);
    const qint64 size = le32(end + 12);
    const qint64 offset = le32(end + 16);
    if (le16(end + 4) != 0 || le16(end + 6) != 0 || le16(end + 8) != le16(end + 10) || offset + size > endAt)
        return std::nullopt;
    // Data in front of the archive (a self-extractor's stub) shifts every
    // offset: the directory ends where the end record starts.
    return Directory{ endAt - size, endAt, endAt - size - offset, le16(end + 10) };
}

// libarchive's idea of a regular file, from the directory's attributes.
bool isRegularFile(quint8 system, quint32 attributes, const QByteArray &name)
{
    if (name.isEmpty() || name.endsWith('/'))
        return false;
    if (system == 3) {
        const quint32 type = (attributes >> 16) & 0170000;
        // libarchive reads a FIFO entry (a pipe zipped by Info-ZIP) as a file.
        return type == 0 || type == 0100000 || type == 0010000;
    }
    if (system == 0)
        return (attributes & 0x10) == 0;
    return true;
}

std::optional<QList<ZipRecord>> readRecords(int fd, qint64 fileSize, const Directory &directory)
{
    const qint64 size = directory.end - directory.start;
    if (size <= 0 || size > kMaxDirectorySize || directory.end > fileSize)
        return std::nullopt;
    QByteArray bytes(size, Qt::Uninitialized);
    if (!readExactlyAt(fd, directory.start, bytes.data(), size))
        return std::nullopt;
    QList<ZipRecord> records;
    const char *p = bytes.constData();
    qint64 at = 0;
    while (at < size) {
        if (size - at < kCentralHeaderSize || std::memcmp(p + at, "PK\001\002", 4) != 0)
            return std::nullopt;
        const char *h = p + at;
        const qint64 nameLength = le16(h + 28);
        const qint64 extraLength = le16(h + 30);
        const qint64 commentLength = le16(h + 32);
        if (size - at - kCentralHeaderSize < nameLength + extraLength + commentLength)
            return std::nullopt;
        ExtraValues values;
        values.uncompressed = le32(h + 24);
        values.compressed = le32(h + 20);
        values.offset = quint64(le32(h + 42)) + quint64(directory.correction);
        if (!readExtra(h + kCentralHeaderSize + nameLength, extraLength, values))
            return std::nullopt;
        if (values.offset > quint64(fileSize))
            return std::nullopt;
        ZipRecord record;
        record.name = QByteArray(h + kCentralHeaderSize, nameLength);
        record.localOffset = qint64(values.offset);
        record.compressedSize = qint64(values.compressed);
        record.uncompressedSize = qint64(values.uncompressed);
        record.crc = le32(h + 16);
        record.method = le16(h + 10);
        const quint16 flags = le16(h + 8);
        const bool plain = !(flags & (kEncrypted | kStrongEncryption | kDirectoryEncrypted)) && !values.renames
            && (record.method == kDeflated
                || (record.method == kStored && record.compressedSize == record.uncompressedSize));
        record.decodable = plain && isRegularFile(quint8(h[5]), le32(h + 38), record.name)
            && values.compressed <= quint64(fileSize) && values.uncompressed <= quint64(INT64_MAX / 2);
        records.append(std::move(record));
        at += kCentralHeaderSize + nameLength + extraLength + commentLength;
    }
    if (quint64(records.size()) != directory.count)
        return std::nullopt;
    return records;
}

// Entries must lie one after another in front of the directory: shared or
// overlapping bodies are left to libarchive whole.
bool laidOutInOrder(QList<ZipRecord> &records, qint64 directoryStart)
{
    std::stable_sort(records.begin(), records.end(),
        [](const ZipRecord &a, const ZipRecord &b) { return a.localOffset < b.localOffset; });
    for (qsizetype i = 0; i < records.size(); ++i) {
        const ZipRecord &r = records[i];
        const qint64 limit = i + 1 < records.size() ? records[i + 1].localOffset : directoryStart;
        const qint64 header = kLocalHeaderSize + r.name.size();
        if (r.localOffset > limit || limit - r.localOffset < header)
            return false;
        if (r.compressedSize > limit - r.localOffset - header)
            return false;
    }
    return true;
}

class ZipDecoder final : public FastPath::Decoder {
public:
    // The records are shared, never written: a decoder may outlive the fast path.
    ZipDecoder(int fd, qint64 fileSize, QList<ZipRecord> records, const std::atomic<bool> &cancel)
        : m_fd(fd)
        , m_fileSize(fileSize)
        , m_records(std::move(records))
        , m_cancel(cancel)
        , m_in(new char[kBlockSize])
        , m_out(new char[kBlockSize])
        , m_state(new inflate_state)
    {
    }

    FastPath::Result decode(qint64 index, DataSink &sink) override
    {
        if (index < 0 || index >= m_records.size() || !m_records[index].decodable)
            return FastPath::Result::Fallback;
        if (m_cancel.load(std::memory_order_relaxed))
            return FastPath::Result::Cancelled;
        const ZipRecord &record = m_records[index];
        const qint64 dataStart = dataStartOf(record);
        if (dataStart < 0)
            return FastPath::Result::Fallback;
        return record.method == kStored ? copyStored(record, dataStart, sink) : inflate(record, dataStart, sink);
    }

private:
    // Where the entry's data starts once its local header agrees with the
    // directory in everything libarchive takes from it; -1 otherwise.
    qint64 dataStartOf(const ZipRecord &record) const
    {
        char h[kLocalHeaderSize];
        if (!readExactlyAt(m_fd, record.localOffset, h, kLocalHeaderSize) || std::memcmp(h, "PK\003\004", 4) != 0)
            return -1;
        const quint16 flags = le16(h + 6);
        const qint64 nameLength = le16(h + 26);
        const qint64 extraLength = le16(h + 28);
        if ((flags & (kEncrypted | kStrongEncryption | kDirectoryEncrypted)) || le16(h + 8) != record.method
            || nameLength != record.name.size())
            return -1;
        const quint32 crc = le32(h + 14);
        if (crc != 0 && crc != record.crc)
            return -1;
        QByteArray rest(nameLength + extraLength, Qt::Uninitialized);
        if (!readExactlyAt(m_fd, record.localOffset + kLocalHeaderSize, rest.data(), rest.size()))
            return -1;
        if (std::memcmp(rest.constData(), record.name.constData(), size_t(nameLength)) != 0)
            return -1;
        ExtraValues values;
        values.uncompressed = le32(h + 22);
        values.compressed = le32(h + 18);
        values.offset = quint64(record.localOffset);
        if (!readExtra(rest.constData() + nameLength, extraLength, values) || values.renames)
            return -1;
        // libarchive takes a local size that is set over the directory's;
        // how it reads an all-ones size without a ZIP64 field has changed
        // between its versions, so that is left to it too.
        const auto agrees = [](quint64 local, qint64 central) { return local == 0 || local == quint64(central); };
        if (!agrees(values.compressed, record.compressedSize) || !agrees(values.uncompressed, record.uncompressedSize))
            return -1;
        const qint64 start = record.localOffset + kLocalHeaderSize + nameLength + extraLength;
        if (start > m_fileSize || record.compressedSize > m_fileSize - start)
            return -1;
        return start;
    }

    FastPath::Result copyStored(const ZipRecord &record, qint64 at, DataSink &sink)
    {
        quint32 crc = 0;
        for (qint64 left = record.compressedSize; left > 0;) {
            if (m_cancel.load(std::memory_order_relaxed))
                return FastPath::Result::Cancelled;
            const qint64 chunk = std::min(left, kBlockSize);
            if (!readExactlyAt(m_fd, at, m_in.get(), chunk))
                return FastPath::Result::Fallback;
            crc = crc32_gzip_refl(crc, reinterpret_cast<unsigned char *>(m_in.get()), quint64(chunk));
            if (!sink.write(m_in.get(), size_t(chunk)))
                return FastPath::Result::WriteFailed;
            at += chunk;
            left -= chunk;
        }
        return crc == record.crc ? FastPath::Result::Written : FastPath::Result::Fallback;
    }

    FastPath::Result inflate(const ZipRecord &record, qint64 at, DataSink &sink)
    {
        inflate_state &s = *m_state;
        isal_inflate_init(&s);
        s.crc_flag = ISAL_DEFLATE;
        qint64 inputLeft = record.compressedSize;
        qint64 written = 0;
        quint32 crc = 0;
        for (;;) {
            if (m_cancel.load(std::memory_order_relaxed))
                return FastPath::Result::Cancelled;
            if (s.avail_in == 0 && inputLeft > 0) {
                const qint64 chunk = std::min(inputLeft, kBlockSize);
                if (!readExactlyAt(m_fd, at, m_in.get(), chunk))
                    return FastPath::Result::Fallback;
                at += chunk;
                inputLeft -= chunk;
                s.next_in = reinterpret_cast<uint8_t *>(m_in.get());
                s.avail_in = uint32_t(chunk);
            }
            const uint32_t inputBefore = s.avail_in;
            s.next_out = reinterpret_cast<uint8_t *>(m_out.get());
            s.avail_out = uint32_t(kBlockSize);
            const int status = isal_inflate(&s);
            if (status != ISAL_DECOMP_OK && status != ISAL_END_INPUT && status != ISAL_OUT_OVERFLOW)
                return FastPath::Result::Fallback;
            const qint64 produced = kBlockSize - s.avail_out;
            if (produced > record.uncompressedSize - written)
                return FastPath::Result::Fallback;
            if (produced > 0) {
                crc = crc32_gzip_refl(crc, reinterpret_cast<unsigned char *>(m_out.get()), quint64(produced));
                if (!sink.write(m_out.get(), size_t(produced)))
                    return FastPath::Result::WriteFailed;
                written += produced;
            }
            if (s.block_state == ISAL_BLOCK_FINISH)
                break;
            // The stream stops short of its end, or the decoder is stuck.
            if (produced == 0 && s.avail_in == inputBefore && (s.avail_in > 0 || inputLeft == 0))
                return FastPath::Result::Fallback;
        }
        // libarchive refuses bytes left over after the stream's end.
        const qint64 unread = qint64(s.avail_in) + inputLeft + std::max(0, s.read_in_length) / 8 + s.tmp_in_size;
        if (unread != 0 || written != record.uncompressedSize || crc != record.crc)
            return FastPath::Result::Fallback;
        return FastPath::Result::Written;
    }

    const int m_fd;
    const qint64 m_fileSize;
    const QList<ZipRecord> m_records;
    const std::atomic<bool> &m_cancel;
    const std::unique_ptr<char[]> m_in;
    const std::unique_ptr<char[]> m_out;
    const std::unique_ptr<inflate_state> m_state;
};

} // namespace

ZipFastPath::ZipFastPath(int fd, qint64 fileSize, QList<ZipRecord> records)
    : m_fd(fd)
    , m_fileSize(fileSize)
    , m_records(std::move(records))
{
}

// libarchive lists every directory record once, in local-header order, so
// the n-th entry it lists is the n-th record here. Matching by position
// rather than by the first record of that name keeps an entry whose local
// header gives libarchive another name (a different local name, a Unicode
// path field, backslashes turned into slashes) from being matched with a
// later record that happens to carry that name.
qint64 ZipFastPath::claim(const QByteArray &rawName, qint64 size)
{
    const qsizetype index = m_listed++;
    if (index >= m_records.size())
        return -1;
    const ZipRecord &record = m_records[index];
    if (!record.decodable || record.uncompressedSize != size || record.name != rawName)
        return -1;
    return index;
}

std::unique_ptr<FastPath::Decoder> ZipFastPath::decoder(const std::atomic<bool> &cancel) const
{
    return std::make_unique<ZipDecoder>(m_fd, m_fileSize, m_records, cancel);
}

std::unique_ptr<FastPath> openZipFastPath(int fd, qint64 fileSize)
{
    if (fd < 0 || fileSize <= 0)
        return nullptr;
    const std::optional<Directory> directory = findDirectory(fd, fileSize);
    if (!directory || directory->count == 0 || directory->correction < 0)
        return nullptr;
    if (!signatureAt(fd, directory->start, "PK\001\002"))
        return nullptr;
    std::optional<QList<ZipRecord>> records = readRecords(fd, fileSize, *directory);
    if (!records || !laidOutInOrder(*records, directory->start))
        return nullptr;
    return std::make_unique<ZipFastPath>(fd, fileSize, std::move(*records));
}

} // namespace pellora::arc
