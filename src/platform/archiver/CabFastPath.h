#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>
#include <cstddef>
#include <optional>
#include <vector>

// The layout of a cabinet as the CAB fast path reads it (openCabFastPath in
// FastPath.h). Exposed so that tests can find the blocks they damage.
namespace pellora::arc::cab {

inline constexpr quint16 kBlockSize = 0x8000; // every block but a folder's last holds this much
inline constexpr quint16 kMaxPackedBlock = 0x8000 + 6144;

enum class Method { None, MsZip, Other };

struct DataBlock {
    qint64 dataOffset = 0; // the first byte after the CFDATA header and its reserve
    qint64 headerOffset = 0;
    quint32 checksum = 0; // 0: none stored
    quint16 packedSize = 0; // cbData
    quint16 size = 0; // cbUncomp
};

struct Folder {
    qint64 recordOffset = 0; // where its CFFOLDER record lies in the file
    quint16 typeCompress = 0;
    Method method = Method::Other;
    std::vector<DataBlock> blocks; // left empty for methods only libarchive reads
};

struct File {
    QByteArray rawName; // as stored, without the terminating NUL
    quint32 size = 0;
    quint32 folderOffset = 0;
    quint16 folder = 0;
    quint16 attributes = 0;
};

struct Layout {
    quint8 dataReserve = 0; // reserve bytes after each CFDATA header
    std::vector<Folder> folders;
    std::vector<File> files;
};

// The cabinet's layout, or nothing when it is not a single plain cabinet
// whose headers and block sizes all add up (read with pread only).
std::optional<Layout> readLayout(int fd, qint64 fileSize);

// The CFDATA checksum: the block's data, then its size fields and reserve
// (sumOfBlock(data) fed as the seed to the header part).
quint32 checksum(const unsigned char *data, size_t size, quint32 seed);

// The names libarchive's CAB reader can give this file in a UTF-8 locale:
// without a header charset, and with CP932 as the header charset.
QList<QByteArray> listedNames(const File &file);

} // namespace pellora::arc::cab
