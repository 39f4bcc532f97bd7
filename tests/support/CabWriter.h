#pragma once

#include <QByteArray>
#include <QList>

namespace pellora::test {

// One file in a cabinet folder: its name exactly as stored, its data, and
// its CFFILE attributes (0x80: the name is UTF-8).
struct CabFile {
    QByteArray name;
    QByteArray data;
    quint16 attributes = 0x20;
};

struct CabFolder {
    QList<CabFile> files;
    quint16 typeCompress = 0; // 0: stored, 1: MSZIP; any other value is written as given, data stored
    // MSZIP only: compress each block with the block before it as the
    // deflate dictionary, so that matches may reach back across blocks.
    bool history = false;
};

struct CabLayoutOptions {
    quint16 headerReserve = 0; // with any reserve set, the reserve flag and fields are written
    quint8 folderReserve = 0;
    quint8 dataReserve = 0;
    bool checksums = true;
};

// A whole single cabinet, blocks of 32 KiB per folder (the last one short).
QByteArray cabBytes(const QList<CabFolder> &folders, const CabLayoutOptions &options = {});

// The CFDATA checksum of a block: its data, then the header's size fields and reserve.
quint32 cabBlockChecksum(const QByteArray &headerAfterChecksum, const QByteArray &data);

} // namespace pellora::test
