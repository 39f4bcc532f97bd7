#include "platform/archiver/LzhHeaderScan.h"

#include <cerrno>
#include <memory>
#include <unistd.h>

namespace pellora::arc {

namespace {

constexpr size_t kMinimumHeader = 22;
// A level-2 header is at most 65535 bytes; a window of that much beyond the
// candidate always holds a whole header.
constexpr size_t kLongestHeader = 0xFFFF;
constexpr size_t kChunk = 1 << 20;

unsigned le16(const unsigned char *p)
{
    return unsigned(p[0]) | unsigned(p[1]) << 8;
}

quint16 crc16(quint16 crc, const unsigned char *p, size_t n)
{
    while (n--) {
        crc ^= *p++;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

bool knownMethod(const unsigned char *m, unsigned level)
{
    if (m[0] != '-' || m[1] != 'l' || m[4] != '-')
        return false;
    if (m[2] == 'h')
        return (m[3] >= '0' && m[3] <= '7') || m[3] == 'd';
    // The LArc methods exist only with level-0 headers.
    return m[2] == 'z' && (m[3] == 's' || m[3] == '4' || m[3] == '5') && level == 0;
}

bool soundLevel01(const unsigned char *p, size_t available, unsigned level)
{
    const size_t size = size_t(p[0]) + 2;
    const size_t nameLength = p[21];
    // Name, CRC16, and for level 1 the OS id and the first extension size.
    const size_t needed = kMinimumHeader + nameLength + 2 + (level == 1 ? 3 : 0);
    if (size < needed || size > available)
        return false;
    unsigned sum = 0;
    for (size_t i = 2; i < size; ++i)
        sum += p[i];
    if ((sum & 0xFF) != p[1])
        return false;
    if (level == 0)
        return true;
    // Level 1 puts its extensions after the checksummed part, inside the
    // stored size: their chain has to end there.
    const quint64 stored = quint64(p[7]) | quint64(p[8]) << 8 | quint64(p[9]) << 16 | quint64(p[10]) << 24;
    size_t at = size - 2;
    for (;;) {
        if (at + 2 > available)
            return false;
        const size_t next = le16(p + at);
        if (next == 0)
            return true;
        if (next < 3 || quint64(at + next - (size - 2)) > stored)
            return false;
        at += next;
    }
}

bool soundLevel2(const unsigned char *p, size_t available)
{
    const size_t size = le16(p);
    if (size < 26 || size > available)
        return false;
    // Walk the extension chain; it must end inside the header and carry the
    // header CRC, which is taken over the header with its own field as zero.
    size_t at = 24;
    size_t crcAt = 0;
    for (;;) {
        if (at + 2 > size)
            return false;
        const size_t next = le16(p + at);
        if (next == 0)
            break;
        if (next < 3 || at + 2 + next > size)
            return false;
        if (p[at + 2] == 0x00 && next >= 5)
            crcAt = at + 3;
        at += next;
    }
    if (crcAt == 0)
        return false;
    const unsigned char zero[2] = { 0, 0 };
    quint16 crc = crc16(0, p, crcAt);
    crc = crc16(crc, zero, 2);
    crc = crc16(crc, p + crcAt + 2, size - crcAt - 2);
    return crc == le16(p + crcAt);
}

} // namespace

bool isSoundLzhHeader(const unsigned char *p, size_t available)
{
    if (available < kMinimumHeader || p[0] == 0)
        return false;
    const unsigned level = p[20];
    if (level > 2 || !knownMethod(p + 2, level))
        return false;
    // Attribute 0x20 is what every writer of level 1 and 2 headers puts there,
    // and the only value libarchive takes.
    if (level != 0 && p[19] != 0x20)
        return false;
    return level == 2 ? soundLevel2(p, available) : soundLevel01(p, available, level);
}

qint64 lzhMemberEnd(int fd, qint64 offset, qint64 size)
{
    // Most headers fit in a small read; a level-2 header may need 64 KiB.
    for (const size_t want : { size_t(4096), kLongestHeader + 4096 }) {
        const size_t length = size_t(qBound<qint64>(0, size - offset, qint64(want)));
        std::unique_ptr<unsigned char[]> buffer(new unsigned char[length + 1]);
        size_t filled = 0;
        while (filled < length) {
            const ssize_t n = ::pread(fd, buffer.get() + filled, length - filled, off_t(offset + qint64(filled)));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            filled += size_t(n);
        }
        const unsigned char *p = buffer.get();
        if (isSoundLzhHeader(p, filled)) {
            // Levels 0 and 2 give the body's size, level 1 the size of its
            // extensions and body together; either way it follows the header.
            const qint64 stored = qint64(p[7]) | qint64(p[8]) << 8 | qint64(p[9]) << 16 | qint64(p[10]) << 24;
            const qint64 header = p[20] == 2 ? qint64(le16(p)) : qint64(p[0]) + 2;
            return offset + header + stored;
        }
        if (filled < want)
            return -1; // the whole rest of the file was there
    }
    return -1;
}

qint64 findLzhHeader(int fd, qint64 from, qint64 size, const std::function<bool(qint64)> &accept)
{
    if (from < 0)
        from = 0;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunk + kLongestHeader]);
    while (from + qint64(kMinimumHeader) <= size) {
        // Read a chunk plus room for a whole header starting near its end.
        size_t filled = 0;
        const size_t wanted = size_t(qMin<qint64>(size - from, qint64(kChunk + kLongestHeader)));
        while (filled < wanted) {
            const ssize_t n = ::pread(fd, buffer.get() + filled, wanted - filled, off_t(from + qint64(filled)));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            filled += size_t(n);
        }
        if (filled < kMinimumHeader)
            return -1;
        const size_t last = filled < kChunk ? filled : kChunk;
        for (size_t i = 0; i < last; ++i) {
            const unsigned char *p = buffer.get() + i;
            // The method id's dashes first: they rule out nearly every offset.
            if (i + kMinimumHeader > filled || p[2] != '-' || p[6] != '-')
                continue;
            if (isSoundLzhHeader(p, filled - i) && accept(from + qint64(i)))
                return from + qint64(i);
        }
        if (filled < wanted)
            return -1;
        from += qint64(last);
    }
    return -1;
}

} // namespace pellora::arc
