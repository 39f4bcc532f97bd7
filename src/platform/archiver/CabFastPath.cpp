#include "platform/archiver/CabFastPath.h"

#include "platform/TextCodec.h"
#include "platform/archiver/FastPath.h"
#include "platform/archiver/ReadAt.h"

#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <isa-l/igzip_lib.h>
#include <unistd.h>

namespace pellora::arc {
namespace cab {
namespace {

constexpr quint16 kPrevCabinet = 0x0001;
constexpr quint16 kNextCabinet = 0x0002;
constexpr quint16 kReservePresent = 0x0004;
constexpr quint16 kNameIsUtf8 = 0x80;
constexpr quint32 kMaxFolderBytes = 0x7FFF8000; // libarchive's own limit for a file's end in its folder
// A hostile cabinet can declare millions of one-byte blocks; no real one
// comes near this (it is 32 GiB of data).
constexpr size_t kMaxBlocks = size_t(1) << 20;

quint16 le16(const unsigned char *p)
{
    return quint16(p[0] | (p[1] << 8));
}
quint32 le32(const unsigned char *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// Reads the headers through one buffer: most of them lie next to each other.
class HeaderReader {
public:
    HeaderReader(int fd, qint64 fileSize)
        : m_fd(fd)
        , m_fileSize(fileSize)
    {
    }

    // need bytes at offset, null when the file is shorter. A new read takes
    // readAhead bytes at once.
    const unsigned char *at(qint64 offset, size_t need, size_t readAhead)
    {
        if (offset < 0 || need > size_t(m_fileSize) || offset > m_fileSize - qint64(need))
            return nullptr;
        const qint64 end = offset + qint64(need);
        if (offset < m_start || end > m_start + qint64(m_buffer.size())) {
            const size_t size = size_t(std::min<qint64>(m_fileSize - offset, qint64(std::max(need, readAhead))));
            m_buffer.resize(size);
            if (!readExactlyAt(m_fd, offset, m_buffer.data(), size)) {
                m_buffer.clear();
                return nullptr;
            }
            m_start = offset;
        }
        return m_buffer.data() + (offset - m_start);
    }

private:
    int m_fd;
    qint64 m_fileSize;
    qint64 m_start = 0;
    std::vector<unsigned char> m_buffer;
};

bool walkBlocks(
    HeaderReader &reader, qint64 fileSize, qint64 start, quint16 count, quint8 reserve, Folder &folder, qint64 *end)
{
    const size_t headerSize = 8 + size_t(reserve);
    qint64 at = start;
    folder.blocks.reserve(count);
    for (quint16 i = 0; i < count; ++i) {
        const unsigned char *h = reader.at(at, headerSize, 512);
        if (!h)
            return false;
        DataBlock block;
        block.headerOffset = at;
        block.checksum = le32(h);
        block.packedSize = le16(h + 4);
        block.size = le16(h + 6);
        block.dataOffset = at + qint64(headerSize);
        // The same limits libarchive sets: only a folder's last block may be short.
        if (block.packedSize == 0 || block.packedSize > kMaxPackedBlock || block.size == 0 || block.size > kBlockSize)
            return false;
        if (i + 1 < count && block.size != kBlockSize)
            return false;
        if (folder.method == Method::None && block.packedSize != block.size)
            return false;
        at = block.dataOffset + block.packedSize;
        if (at > fileSize)
            return false;
        folder.blocks.push_back(block);
    }
    *end = at;
    return true;
}

} // namespace

quint32 checksum(const unsigned char *data, size_t size, quint32 seed)
{
    quint32 sum = seed;
    size_t i = 0;
    for (; i + 4 <= size; i += 4)
        sum ^= le32(data + i);
    quint32 tail = 0;
    for (; i < size; ++i)
        tail = (tail << 8) | data[i];
    return sum ^ tail;
}

std::optional<Layout> readLayout(int fd, qint64 fileSize)
{
    HeaderReader reader(fd, fileSize);
    const unsigned char *h = reader.at(0, 36, 64 * 1024);
    if (!h || std::memcmp(h, "MSCF\0\0\0\0", 8) != 0)
        return std::nullopt;
    const quint32 filesOffset = le32(h + 16);
    const quint16 folderCount = le16(h + 26);
    const quint16 fileCount = le16(h + 28);
    const quint16 flags = le16(h + 30);
    const quint16 cabinetIndex = le16(h + 34);
    // Sets of cabinets are libarchive's to refuse.
    if (folderCount == 0 || fileCount == 0 || (flags & (kPrevCabinet | kNextCabinet)) || cabinetIndex != 0)
        return std::nullopt;

    Layout layout;
    qint64 at = 36;
    quint8 folderReserve = 0;
    if (flags & kReservePresent) {
        h = reader.at(0, 40, 64 * 1024);
        if (!h)
            return std::nullopt;
        const quint16 headerReserve = le16(h + 36);
        if (headerReserve > 60000)
            return std::nullopt;
        folderReserve = h[38];
        layout.dataReserve = h[39];
        at = 40 + qint64(headerReserve);
    }

    const size_t folderRecord = 8 + size_t(folderReserve);
    quint32 lastStart = 0;
    std::vector<quint32> starts;
    std::vector<quint16> counts;
    layout.folders.resize(folderCount);
    for (Folder &folder : layout.folders) {
        const unsigned char *f = reader.at(at, folderRecord, 64 * 1024);
        if (!f)
            return std::nullopt;
        folder.recordOffset = at;
        const quint32 start = le32(f);
        if (start <= lastStart)
            return std::nullopt;
        lastStart = start;
        starts.push_back(start);
        counts.push_back(le16(f + 4));
        folder.typeCompress = le16(f + 6);
        const int type = folder.typeCompress & 0x0F;
        folder.method = type == 0 ? Method::None : type == 1 ? Method::MsZip : Method::Other;
        at += qint64(folderRecord);
    }

    if (qint64(filesOffset) < at)
        return std::nullopt;
    at = filesOffset;
    layout.files.resize(fileCount);
    int previousFolder = -1;
    quint32 folderEnd = 0;
    for (File &file : layout.files) {
        const unsigned char *f = reader.at(at, 16, 64 * 1024);
        if (!f)
            return std::nullopt;
        file.size = le32(f);
        file.folderOffset = le32(f + 4);
        file.folder = le16(f + 8);
        file.attributes = le16(f + 14);
        at += 16;
        // A name and its NUL within 256 bytes, as libarchive looks for them.
        const size_t scan = size_t(std::min<qint64>(256, fileSize - at));
        const unsigned char *name = scan > 0 ? reader.at(at, scan, 64 * 1024) : nullptr;
        if (!name)
            return std::nullopt;
        const auto *nul = static_cast<const unsigned char *>(std::memchr(name, 0, scan));
        if (!nul || nul == name)
            return std::nullopt;
        file.rawName = QByteArray(reinterpret_cast<const char *>(name), nul - name);
        at += (nul - name) + 1;

        // Files continued from or into another cabinet, and every other
        // folder index that is out of range, go to libarchive.
        if (file.folder >= folderCount || file.folder < previousFolder)
            return std::nullopt;
        if (file.size > kMaxFolderBytes || quint64(file.folderOffset) + file.size > kMaxFolderBytes)
            return std::nullopt;
        if (file.folder != previousFolder)
            folderEnd = 0;
        previousFolder = file.folder;
        // libarchive reads a folder as one stream, file after file.
        if (file.folderOffset != folderEnd)
            return std::nullopt;
        folderEnd += file.size;
        if (file.size > 0 && counts[file.folder] == 0)
            return std::nullopt;
    }

    qint64 dataFloor = at; // the data lies after every header
    size_t blocks = 0;
    std::vector<quint64> folderSizes(folderCount);
    for (size_t i = 0; i < folderCount; ++i) {
        Folder &folder = layout.folders[i];
        if (folder.method == Method::Other)
            continue;
        blocks += counts[i];
        if (qint64(starts[i]) < dataFloor || blocks > kMaxBlocks)
            return std::nullopt;
        if (!walkBlocks(reader, fileSize, starts[i], counts[i], layout.dataReserve, folder, &dataFloor))
            return std::nullopt;
        if (!folder.blocks.empty())
            folderSizes[i] = quint64(folder.blocks.size() - 1) * kBlockSize + folder.blocks.back().size;
    }
    for (const File &file : layout.files) {
        if (layout.folders[file.folder].method != Method::Other
            && quint64(file.folderOffset) + file.size > folderSizes[file.folder])
            return std::nullopt;
    }
    return layout;
}

QList<QByteArray> listedNames(const File &file)
{
    const bool utf8 = file.attributes & kNameIsUtf8;
    // libarchive turns '\' into '/' byte by byte until a '\' follows a byte
    // with the high bit set (it may be the second byte of a character); from
    // there on it replaces them in the decoded text.
    QByteArray bytes = file.rawName;
    bool stopped = false;
    bool afterHigh = false;
    for (char &c : bytes) {
        if (c == '\\') {
            if (afterHigh) {
                stopped = true;
                break;
            }
            c = '/';
        }
        afterHigh = (uchar(c) & 0x80) && !utf8;
    }

    QList<QByteArray> names;
    if (utf8) {
        // Read as UTF-8 and normalised to NFC: only names that stay as they are line up.
        const QString text = QString::fromUtf8(bytes);
        if (platform::isValidUtf8(bytes) && text.normalized(QString::NormalizationForm_C) == text)
            names.append(bytes);
        return names;
    }
    if (!stopped || !platform::isValidUtf8(bytes))
        names.append(bytes);
    else
        names.append(QByteArray(bytes).replace('\\', '/'));
    if (std::none_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) & 0x80; }))
        return names; // CP932 reads ASCII as it is
    platform::Cp932Decoder cp932;
    if (const auto text = cp932.decode(bytes)) {
        QByteArray converted = text->toUtf8();
        if (stopped)
            converted.replace('\\', '/');
        if (!names.contains(converted))
            names.append(converted);
    }
    return names;
}

} // namespace cab

namespace {

using cab::DataBlock;
using cab::Layout;
using cab::Method;

struct Cabinet {
    int fd;
    Layout layout;
};

class CabDecoder final : public FastPath::Decoder {
public:
    CabDecoder(std::shared_ptr<const Cabinet> cabinet, const std::atomic<bool> &cancel)
        : m_cabinet(std::move(cabinet))
        , m_cancel(cancel)
        , m_inflate(std::make_unique<inflate_state>())
        , m_packed(cab::kMaxPackedBlock)
    {
        // One byte more than a block holds: a stream that runs on is seen.
        for (auto &buffer : m_out)
            buffer.resize(size_t(cab::kBlockSize) + 1);
    }

    FastPath::Result decode(qint64 record, DataSink &sink) override
    {
        const Layout &layout = m_cabinet->layout;
        if (record < 0 || record >= qint64(layout.files.size()))
            return FastPath::Result::Fallback;
        const cab::File &file = layout.files[size_t(record)];
        const cab::Folder &folder = layout.folders[file.folder];
        if (folder.method == Method::Other)
            return FastPath::Result::Fallback;
        if (file.size == 0)
            return FastPath::Result::Written;
        const qint64 begin = file.folderOffset;
        const qint64 end = begin + file.size;
        for (qint64 b = begin / cab::kBlockSize; b <= (end - 1) / cab::kBlockSize; ++b) {
            if (m_cancel.load(std::memory_order_relaxed))
                return FastPath::Result::Cancelled;
            const unsigned char *data = nullptr;
            const FastPath::Result got = folder.method == Method::None ? storedBlock(folder.blocks[size_t(b)], &data)
                                                                       : inflatedBlock(file.folder, size_t(b));
            if (got != FastPath::Result::Written)
                return got;
            if (folder.method == Method::MsZip)
                data = m_out[m_current].data();
            const qint64 blockStart = b * cab::kBlockSize;
            const qint64 from = std::max(begin, blockStart) - blockStart;
            const qint64 to = std::min(end, blockStart + folder.blocks[size_t(b)].size) - blockStart;
            if (!sink.write(reinterpret_cast<const char *>(data) + from, size_t(to - from)))
                return FastPath::Result::WriteFailed;
        }
        return FastPath::Result::Written;
    }

private:
    enum class Inflated { Ok, NeedsHistory, Bad };

    // Reads a block's packed bytes and checks them against its checksum.
    bool readPacked(const DataBlock &block)
    {
        if (!readExactlyAt(m_cabinet->fd, block.dataOffset, m_packed.data(), block.packedSize))
            return false;
        if (block.checksum == 0)
            return true;
        const size_t headerPart = 4 + m_cabinet->layout.dataReserve;
        unsigned char header[4 + 255];
        if (!readExactlyAt(m_cabinet->fd, block.headerOffset + 4, header, headerPart))
            return false;
        const quint32 sum = cab::checksum(header, headerPart, cab::checksum(m_packed.data(), block.packedSize, 0));
        return sum == block.checksum;
    }

    FastPath::Result storedBlock(const DataBlock &block, const unsigned char **data)
    {
        if (!readPacked(block))
            return FastPath::Result::Fallback;
        *data = m_packed.data();
        return FastPath::Result::Written;
    }

    // Inflates block `index` of `folder` into the spare buffer, with the
    // current buffer (the block before it) as history when withHistory.
    Inflated inflateOne(const cab::Folder &folder, size_t index, bool withHistory)
    {
        const DataBlock &block = folder.blocks[index];
        if (!readPacked(block) || block.packedSize < 2 || m_packed[0] != 'C' || m_packed[1] != 'K')
            return Inflated::Bad;
        inflate_state &state = *m_inflate;
        isal_inflate_init(&state);
        state.crc_flag = ISAL_DEFLATE;
        if (withHistory && isal_inflate_set_dict(&state, m_out[m_current].data(), m_cachedSize) != COMP_OK)
            return Inflated::Bad;
        std::vector<unsigned char> &out = m_out[1 - m_current];
        state.next_in = m_packed.data() + 2;
        state.avail_in = block.packedSize - 2u;
        state.next_out = out.data();
        state.avail_out = quint32(out.size());
        const int r = isal_inflate(&state);
        if (r == ISAL_INVALID_LOOKBACK && !withHistory)
            return Inflated::NeedsHistory;
        // The deflate stream must end inside the block, after exactly its size.
        if (r != ISAL_DECOMP_OK || state.block_state != ISAL_BLOCK_FINISH || state.total_out != block.size)
            return Inflated::Bad;
        m_current = 1 - m_current;
        m_cachedBlock = qint64(index);
        m_cachedSize = block.size;
        return Inflated::Ok;
    }

    // Leaves block `index` of folder `folderIndex` decoded in the current buffer.
    FastPath::Result inflatedBlock(quint16 folderIndex, size_t index)
    {
        const cab::Folder &folder = m_cabinet->layout.folders[folderIndex];
        const bool sameFolder = m_cachedFolder == folderIndex;
        if (sameFolder && m_cachedBlock == qint64(index))
            return FastPath::Result::Written;
        if (sameFolder && m_cachedBlock + 1 == qint64(index))
            return inflateOne(folder, index, true) == Inflated::Ok ? FastPath::Result::Written
                                                                   : FastPath::Result::Fallback;

        // Each block is its own deflate stream, but may look back into the
        // block before it. Start at the first block that decodes on its own,
        // going back no further than the block this decoder holds.
        const qint64 held = sameFolder && m_cachedBlock < qint64(index) ? m_cachedBlock : -1;
        if (!sameFolder) {
            m_cachedFolder = folderIndex;
            m_cachedBlock = -1;
        }
        qint64 at = qint64(index);
        for (;;) {
            if (m_cancel.load(std::memory_order_relaxed))
                return FastPath::Result::Cancelled;
            const Inflated r = inflateOne(folder, size_t(at), false);
            if (r == Inflated::Ok)
                break;
            if (r == Inflated::Bad)
                return FastPath::Result::Fallback;
            if (at == held + 1) {
                // A folder's first block has nothing to look back to.
                if (held < 0 || inflateOne(folder, size_t(at), true) != Inflated::Ok)
                    return FastPath::Result::Fallback;
                break;
            }
            --at;
        }
        while (m_cachedBlock < qint64(index)) {
            if (m_cancel.load(std::memory_order_relaxed))
                return FastPath::Result::Cancelled;
            if (inflateOne(folder, size_t(m_cachedBlock + 1), true) != Inflated::Ok)
                return FastPath::Result::Fallback;
        }
        return FastPath::Result::Written;
    }

    std::shared_ptr<const Cabinet> m_cabinet;
    const std::atomic<bool> &m_cancel;
    std::unique_ptr<inflate_state> m_inflate;
    std::vector<unsigned char> m_packed;
    std::vector<unsigned char> m_out[2];
    int m_current = 0;
    int m_cachedFolder = -1;
    qint64 m_cachedBlock = -1;
    quint32 m_cachedSize = 0;
};

// forHeaders stays as it is: libarchive's CAB reader only counts what is
// skipped until data is first read, so a reader that only lists never
// decodes a folder. Marking folders as stored would break the readers that do
// read: in a stored folder libarchive refuses a block whose packed and
// unpacked sizes differ.
class CabFastPath final : public FastPath {
public:
    explicit CabFastPath(std::shared_ptr<const Cabinet> cabinet)
        : m_cabinet(std::move(cabinet))
    {
    }

    // libarchive lists a cabinet's files in the order of its CFFILE records,
    // so the n-th entry listed is record n, taken only when it is the same file.
    qint64 claim(const QByteArray &rawName, qint64 size) override
    {
        const qint64 record = m_listed++;
        const Layout &layout = m_cabinet->layout;
        if (record >= qint64(layout.files.size()))
            return -1;
        const cab::File &file = layout.files[size_t(record)];
        if (layout.folders[file.folder].method == Method::Other || size != qint64(file.size))
            return -1;
        return cab::listedNames(file).contains(rawName) ? record : -1;
    }

    std::unique_ptr<Decoder> decoder(const std::atomic<bool> &cancel) const override
    {
        return std::make_unique<CabDecoder>(m_cabinet, cancel);
    }

private:
    std::shared_ptr<const Cabinet> m_cabinet;
    qint64 m_listed = 0;
};

} // namespace

std::unique_ptr<FastPath> openCabFastPath(int fd, qint64 fileSize)
{
    auto layout = cab::readLayout(fd, fileSize);
    if (!layout)
        return nullptr;
    const bool any = std::any_of(layout->folders.begin(), layout->folders.end(),
        [](const cab::Folder &folder) { return folder.method != Method::Other; });
    if (!any)
        return nullptr;
    return std::make_unique<CabFastPath>(std::make_shared<const Cabinet>(Cabinet{ fd, std::move(*layout) }));
}

} // namespace pellora::arc
