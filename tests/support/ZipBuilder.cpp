#include "support/ZipBuilder.h"
#include "support/LittleEndian.h"

#include "support/TestSupport.h"

#include <QtEndian>

namespace pellora::test {

namespace {

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

} // namespace

QByteArray rawDeflate(const QByteArray &data)
{
    // qCompress gives a 4-byte length, a 2-byte zlib header, the deflate
    // stream and a 4-byte Adler-32.
    const QByteArray zlib = qCompress(data, 6);
    return zlib.mid(6, zlib.size() - 10);
}

void writeZip(const QString &path, const QList<ZipEntry> &entries)
{
    constexpr quint16 kUtf8Names = 0x0800;
    constexpr quint16 kEncrypted = 0x0001;
    constexpr quint16 kJanuary1st1980 = (1 << 5) | 1;
    QByteArray archive;
    QByteArray directory;
    for (const ZipEntry &entry : entries) {
        const quint16 flags = (entry.utf8Flag ? kUtf8Names : 0) | (entry.encrypted ? kEncrypted : 0);
        // An encrypted body starts with a 12-byte header of its own.
        QByteArray body = entry.deflate ? rawDeflate(entry.data) : entry.data;
        body.chop(entry.cut);
        body += entry.trailing;
        if (entry.encrypted)
            body.prepend(QByteArray(12, '\x5a'));
        const quint32 offset = quint32(archive.size());
        for (QByteArray *out : { &archive, &directory }) {
            const bool central = out == &directory;
            put32(*out, central ? 0x02014b50 : 0x04034b50);
            if (central)
                put16(*out, 20); // made by
            put16(*out, 20); // needed to extract
            put16(*out, flags);
            put16(*out, entry.deflate ? 8 : 0);
            put16(*out, 0); // time
            put16(*out, kJanuary1st1980);
            put32(*out, crc32(entry.data));
            put32(*out, quint32(body.size()));
            put32(*out, quint32(entry.data.size()));
            put16(*out, quint16(entry.name.size()));
            put16(*out, 0); // extra field
            if (central) {
                put16(*out, 0); // comment
                put16(*out, 0); // disk
                put16(*out, 0); // internal attributes
                put32(*out, 0); // external attributes
                put32(*out, offset);
            }
            out->append(entry.name);
        }
        archive.append(body);
    }
    const quint32 directoryOffset = quint32(archive.size());
    archive.append(directory);
    put32(archive, 0x06054b50);
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, quint16(entries.size()));
    put16(archive, quint16(entries.size()));
    put32(archive, quint32(directory.size()));
    put32(archive, directoryOffset);
    put16(archive, 0);
    writeFile(path, archive);
}

} // namespace pellora::test
