#pragma once

#include <QByteArray>
#include <atomic>
#include <cstddef>
#include <memory>

namespace pellora::arc {

// Where one entry's decoded bytes go, in order from its first byte.
class DataSink {
public:
    virtual ~DataSink() = default;
    // False with errno set when the bytes could not be written.
    virtual bool write(const char *data, size_t size) = 0;
};

// A decoder for the plain cases of one archive format that is faster than
// libarchive or runs beside other decoders. It answers only for entries it
// lined up with what libarchive lists and whose data it decoded and checked
// completely; anything else (an unknown method, a checksum that does not
// match, data cut short, any doubt) it leaves to libarchive, which then
// decides and reports exactly as it does without a fast path.
class FastPath {
public:
    enum class Result {
        Written, // every byte went to the sink and was checked
        Fallback, // left to libarchive; what went to the sink is to be discarded
        WriteFailed, // the sink refused (errno as the sink left it)
        Cancelled, // the cancel flag was seen
    };

    virtual ~FastPath() = default;

    // Called once for each entry libarchive lists, in the order it lists them,
    // with the raw name (archive_entry_pathname) and size (archive_entry_size,
    // -1 when not set). The record to decode, or -1 to leave the entry to
    // libarchive. Not thread-safe: the caller claims from one thread.
    virtual qint64 claim(const QByteArray &rawName, qint64 size) = 0;

    // Fixes up a block of the archive as a header-only libarchive reader is
    // to see it (offset: where the block starts in the file). The default
    // leaves it as it is.
    virtual void forHeaders(qint64 offset, char *data, size_t size) const
    {
        (void)offset;
        (void)data;
        (void)size;
    }

    // One per worker thread: decodes claimed records, keeping whatever state
    // helps with the next one. Decoders of one FastPath run at the same time.
    class Decoder {
    public:
        virtual ~Decoder() = default;
        // Looks at the cancel flag at least every few hundred kilobytes.
        virtual Result decode(qint64 record, DataSink &sink) = 0;
    };
    virtual std::unique_ptr<Decoder> decoder(const std::atomic<bool> &cancel) const = 0;
};

// Null when the archive is not one the fast path reads; everything then goes
// through libarchive. The descriptor is read with pread only and must stay
// open while the fast path or any of its decoders lives.
std::unique_ptr<FastPath> openZipFastPath(int fd, qint64 fileSize);
std::unique_ptr<FastPath> openCabFastPath(int fd, qint64 fileSize);

} // namespace pellora::arc
