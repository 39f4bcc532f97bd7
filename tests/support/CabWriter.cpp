#include "support/CabWriter.h"
#include "support/LittleEndian.h"

#include <QTest>
#include <QtEndian>

#include <isa-l/igzip_lib.h>
#include <memory>

namespace pellora::test {
namespace {

constexpr int kBlock = 0x8000;

quint32 xorWords(const QByteArray &bytes, quint32 seed)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    quint32 sum = seed;
    qsizetype i = 0;
    for (; i + 4 <= n; i += 4)
        sum ^= qFromLittleEndian<quint32>(p + i);
    quint32 tail = 0;
    for (; i < n; ++i)
        tail = (tail << 8) | p[i];
    return sum ^ tail;
}

// "CK" and one deflate stream ending in the block, optionally primed with
// the previous block as its dictionary.
QByteArray msZipBlock(const QByteArray &block, const QByteArray &dictionary)
{
    auto stream = std::make_unique<isal_zstream>();
    isal_deflate_init(stream.get());
    stream->end_of_stream = 1;
    stream->flush = NO_FLUSH;
    QByteArray dict = dictionary;
    if (!dict.isEmpty()
        && isal_deflate_set_dict(stream.get(), reinterpret_cast<uint8_t *>(dict.data()), quint32(dict.size()))
            != COMP_OK)
        return {};
    QByteArray in = block;
    QByteArray out(4 * kBlock, '\0');
    stream->next_in = reinterpret_cast<uint8_t *>(in.data());
    stream->avail_in = quint32(in.size());
    stream->next_out = reinterpret_cast<uint8_t *>(out.data());
    stream->avail_out = quint32(out.size() - 2);
    // isa-l may need more than one call to finish the stream.
    for (int round = 0; stream->internal_state.state != ZSTATE_END; ++round) {
        if (round == 8 || isal_deflate(stream.get()) != COMP_OK)
            return {};
    }
    out.truncate(qsizetype(stream->total_out));
    if (out.size() > block.size() + 5) {
        // Data that does not shrink goes in one stored deflate block, as MSZIP writers do.
        out.clear();
        out.append(char(1));
        put16(out, quint16(block.size()));
        put16(out, quint16(~block.size()));
        out += block;
    }
    return QByteArray("CK") + out;
}

} // namespace

quint32 cabBlockChecksum(const QByteArray &headerAfterChecksum, const QByteArray &data)
{
    return xorWords(headerAfterChecksum, xorWords(data, 0));
}

QByteArray cabBytes(const QList<CabFolder> &folders, const CabLayoutOptions &options)
{
    const bool reserve = options.headerReserve || options.folderReserve || options.dataReserve;
    const int headerSize = 36 + (reserve ? 4 + options.headerReserve : 0);
    const int folderSize = 8 + (reserve ? options.folderReserve : 0);

    QByteArray fileTable;
    QList<QByteArray> streams;
    int fileCount = 0;
    for (int f = 0; f < folders.size(); ++f) {
        QByteArray stream;
        for (const CabFile &file : folders[f].files) {
            put32(fileTable, quint32(file.data.size()));
            put32(fileTable, quint32(stream.size()));
            put16(fileTable, quint16(f));
            put16(fileTable, 0x5821); // 2024-01-01
            put16(fileTable, 0x6000); // 12:00:00
            put16(fileTable, file.attributes);
            fileTable += file.name + '\0';
            stream += file.data;
            ++fileCount;
        }
        streams.append(stream);
    }

    const int filesAt = headerSize + folderSize * int(folders.size());
    const int dataAt = filesAt + int(fileTable.size());
    QByteArray folderTable;
    QByteArray data;
    for (int f = 0; f < folders.size(); ++f) {
        const QByteArray &stream = streams[f];
        QList<QByteArray> blocks;
        for (qsizetype at = 0; at < stream.size(); at += kBlock)
            blocks.append(stream.mid(at, kBlock));
        put32(folderTable, quint32(dataAt + data.size()));
        put16(folderTable, quint16(blocks.size()));
        put16(folderTable, folders[f].typeCompress);
        if (reserve)
            folderTable += QByteArray(options.folderReserve, 'F');
        for (int b = 0; b < blocks.size(); ++b) {
            QByteArray packed = blocks[b];
            if ((folders[f].typeCompress & 0x0F) == 1) {
                packed = msZipBlock(blocks[b], folders[f].history && b > 0 ? blocks[b - 1] : QByteArray());
                if (packed.isEmpty())
                    qFatal("isa-l could not compress a block");
            }
            QByteArray header;
            put16(header, quint16(packed.size()));
            put16(header, quint16(blocks[b].size()));
            if (reserve)
                header += QByteArray(options.dataReserve, 'D');
            put32(data, options.checksums ? cabBlockChecksum(header, packed) : 0);
            data += header + packed;
        }
    }

    QByteArray out("MSCF");
    put32(out, 0);
    put32(out, quint32(dataAt + data.size()));
    put32(out, 0);
    put32(out, quint32(filesAt));
    put32(out, 0);
    out.append(char(3)).append(char(1));
    put16(out, quint16(folders.size()));
    put16(out, quint16(fileCount));
    put16(out, reserve ? 0x0004 : 0);
    put16(out, 0x1234);
    put16(out, 0);
    if (reserve) {
        put16(out, options.headerReserve);
        out.append(char(options.folderReserve)).append(char(options.dataReserve));
        out += QByteArray(options.headerReserve, 'H');
    }
    return out + folderTable + fileTable + data;
}

} // namespace pellora::test
