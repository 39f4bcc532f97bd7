#pragma once

#include "platform/archiver/FastPath.h"

#include <QByteArray>
#include <QList>

namespace pellora::arc {

// One central-directory record, reduced to what decoding and matching need.
struct ZipRecord {
    QByteArray name; // as stored in the central directory
    qint64 localOffset = 0; // where its local header starts in the file
    qint64 compressedSize = 0;
    qint64 uncompressedSize = 0;
    quint32 crc = 0;
    quint16 method = 0;
    bool decodable = false; // a plain stored or deflated file this fast path may decode
};

// ZIP stored and deflated entries read straight from the file with pread and
// inflated with isa-l. The records are in local-header order, the order in
// which libarchive's seekable reader lists them.
class ZipFastPath final : public FastPath {
public:
    ZipFastPath(int fd, qint64 fileSize, QList<ZipRecord> records);

    qint64 claim(const QByteArray &rawName, qint64 size) override;
    std::unique_ptr<Decoder> decoder(const std::atomic<bool> &cancel) const override;

    const QList<ZipRecord> &records() const { return m_records; }

private:
    const int m_fd;
    const qint64 m_fileSize;
    const QList<ZipRecord> m_records; // never changed after construction: decoders share it
    qsizetype m_listed = 0; // entries libarchive has listed so far
};

} // namespace pellora::arc
