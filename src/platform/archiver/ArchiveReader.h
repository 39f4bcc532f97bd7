#pragma once

#include "platform/archiver/ArchiveFormat.h"

#include <QByteArray>
#include <QString>
#include <memory>

struct archive;
struct archive_entry;

namespace pellora::arc {

// A libarchive reader with exactly one format enabled, over a file that was
// checked to be a regular file before it was opened. For LZH it hides the
// reader's one charset quirk: a name that is not valid in the locale makes the
// whole archive fail, so the reader starts over reading names as CP932 and
// skips to where it was.
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
    static std::unique_ptr<ArchiveReader> open(ArchiveFormat format, const QString &path, QString *reason);

    Next next();

    archive *handle() const { return m_archive; }
    archive_entry *entry() const { return m_entry; }
    ArchiveFormat format() const { return m_format; }

    // The entry's name decoded: UTF-8 when it is valid UTF-8, else CP932.
    QString entryName() const;
    // libarchive's message for the last failure, or a fallback.
    QString errorString() const;
    qint64 fileSize() const { return m_fileSize; }
    // Compressed bytes consumed so far.
    qint64 position() const;

private:
    struct Source;
    ArchiveReader(ArchiveFormat format, QByteArray path);
    bool start(bool namesAsCp932, QString *reason);
    void closeArchive();

    ArchiveFormat m_format;
    QByteArray m_path;
    std::unique_ptr<Source> m_source;
    archive *m_archive = nullptr;
    archive_entry *m_entry = nullptr;
    qint64 m_fileSize = 0;
    qint64 m_headersRead = 0;
    bool m_namesAsCp932 = false;
    bool m_streamingZip = false;
};

} // namespace pellora::arc
