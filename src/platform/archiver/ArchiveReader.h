#pragma once

#include "platform/archiver/ArchiveFormat.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

struct archive;
struct archive_entry;

namespace pellora::arc {

class FastPath;

// A libarchive reader with exactly one format enabled, over a file that was
// checked to be a regular file before it was opened. For LZH it hides the
// reader's one charset quirk: a name that is not valid in the locale makes the
// whole archive fail, so the reader starts over reading names as CP932 and
// skips to where it was. With damaged headers skipped (LZH only), a header
// that cannot be read is stepped over to the next sound one.
class ArchiveReader final {
public:
    enum class Next {
        Entry, // a header was read; entry() and the data calls are valid
        End, // no more entries
        Damaged, // this header is damaged; the next one may still be read
        Fatal, // the archive cannot be read any further
    };

    ~ArchiveReader();
    ArchiveReader(const ArchiveReader &) = delete;
    ArchiveReader &operator=(const ArchiveReader &) = delete;

    // Null with a reason (in the UI language) when the file cannot be opened
    // as this format: not a regular file, unreadable, or not this format.
    // Names are read in nameEncoding (see decodeEntryName); empty for the usual rule.
    static std::unique_ptr<ArchiveReader> open(
        ArchiveFormat format, const QString &path, QString *reason, const QString &nameEncoding = {});

    // A second reader of the same archive over the descriptor this one
    // opened and checked (the path may name another file by now), from the
    // first entry on, with the same names. headerView, when given, fixes up
    // what it reads (see FastPath::forHeaders): such a reader is for headers
    // only. Null when the descriptor cannot be shared or read.
    std::unique_ptr<ArchiveReader> another(const FastPath *headerView = nullptr) const;

    Next next();

    // How reading the current entry's data ended.
    enum class DataEnd {
        Done,
        Damaged, // any warning: libarchive reports CRC mismatches as warnings
        Fatal, // the archive cannot be read any further
        WriteFailed, // write said no (errno as it left it)
        Stopped, // stop said yes
    };
    // Hands the current entry's data to write block by block (data, size,
    // offset; size may be 0), a body longer than declared cut there (-1: no
    // size declared), and asks stop after each block.
    DataEnd readData(qint64 declared, const std::function<bool(const char *, size_t, qint64)> &write,
        const std::function<bool()> &stop = {});

    // From now on a damaged LZH header is not the end: next() answers Damaged
    // with the stretch of the file left unread, and the call after it goes
    // on with the next sound header.
    void setSkipDamagedHeaders(bool skip) { m_skipDamagedHeaders = skip; }
    struct Stretch {
        qint64 from = 0; // offset in the file of the damaged header
        qint64 length = 0; // bytes left unread from there
    };
    // The stretch behind the last Damaged answer.
    Stretch damagedStretch() const { return m_damaged; }

    archive *handle() const { return m_archive; }
    archive_entry *entry() const { return m_entry; }
    ArchiveFormat format() const { return m_format; }

    // The entry's name decoded in the reader's encoding: by default UTF-8
    // when it is valid UTF-8, else CP932.
    QString entryName() const;
    // The name as libarchive gives it, before any decoding of ours.
    QByteArray rawName() const;
    // A ZIP without its central directory, read in order from its local headers.
    bool isStreamingZip() const { return m_streamingZip; }
    // The checked descriptor of the archive; read it with pread only.
    int descriptor() const;
    // True when the archive is one compressed file without tar: its entry
    // is named after the archive, and has no mode or time of its own.
    bool isSingleCompressedFile() const;
    // libarchive's message for the last failure, or a fallback.
    QString errorString() const;
    qint64 fileSize() const { return m_fileSize; }
    // Compressed bytes consumed so far.
    qint64 position() const;

private:
    struct Source;
    ArchiveReader(ArchiveFormat format, QByteArray path);
    bool openFile(QString *reason);
    // A new libarchive reader over the file from base on.
    bool start(qint64 base, bool namesAsCp932, QString *reason);
    void closeArchive();
    Next skipDamagedHeader();
    void noteHeader(); // a header was handed out

    ArchiveFormat m_format;
    QByteArray m_path;
    std::unique_ptr<Source> m_source;
    archive *m_archive = nullptr;
    archive_entry *m_entry = nullptr;
    qint64 m_fileSize = 0;
    qint64 m_headersRead = 0; // since base
    qint64 m_base = 0; // where the current reader started in the file
    QString m_nameEncoding;
    // The LZH reader converts names itself (to the locale's UTF-8): from CP932,
    // or from the chosen encoding.
    bool m_namesAsCp932 = false;
    bool m_streamingZip = false;
    bool m_skipDamagedHeaders = false;
    bool m_pendingEntry = false; // found by skipping, not handed out yet
    bool m_skippedToEnd = false; // no sound header was left after a damaged one
    qint64 m_lastHeaderAt = -1; // file offset of the last header handed out
    // Where the header after it starts by the sizes in that header, or -1
    // when unknown; kept only while damaged headers are skipped, since
    // libarchive says nothing of offsets once a header has failed.
    qint64 m_nextHeaderAt = 0;
    Stretch m_damaged;
    QByteArray m_skippedError; // libarchive's word on the header skipped
};

} // namespace pellora::arc
