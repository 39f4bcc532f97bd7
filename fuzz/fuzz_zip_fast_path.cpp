// The ZIP fast path decodes entries beside libarchive and must never disagree
// with it: for each entry libarchive lists, what the fast path claims and
// says it wrote must be exactly libarchive's bytes when libarchive reads the
// entry without error, and an entry libarchive finds damaged must never be
// reported as written.
//
// Input: the bytes of a ZIP archive.

#include "ArchiveInput.h"

#include "platform/archiver/FastPath.h"

#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using namespace pellora::arc;
using pellora::fuzz::check;
using pellora::fuzz::fail;

namespace {

// A deflate bomb in a small input still inflates to tens of megabytes;
// beyond this the entry is not compared.
constexpr qsizetype kMostBytes = 64 * 1024 * 1024;

class MemorySink final : public DataSink {
public:
    bool write(const char *data, size_t size) override
    {
        if (bytes.size() + qsizetype(size) > kMostBytes) {
            errno = EFBIG;
            return false;
        }
        bytes.append(data, qsizetype(size));
        return true;
    }
    QByteArray bytes;
};

struct ReaderDeleter {
    void operator()(archive *a) const { archive_read_free(a); }
};

// libarchive's bytes of the current entry; false when it reports an error.
bool readData(archive *a, QByteArray &out, bool &tooLarge)
{
    char buffer[65536];
    for (;;) {
        const la_ssize_t n = archive_read_data(a, buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (out.size() + n > kMostBytes) {
            tooLarge = true;
            return true;
        }
        out.append(buffer, qsizetype(n));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    pellora::fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = pellora::fuzz::writeArchive(data, size);
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    check(fd >= 0, "cannot open the archive file");
    std::unique_ptr<FastPath> fast = openZipFastPath(fd, qint64(size));
    if (!fast) {
        ::close(fd);
        return 0;
    }
    const std::atomic<bool> cancel(false);
    const std::unique_ptr<FastPath::Decoder> decoder = fast->decoder(cancel);

    const std::unique_ptr<archive, ReaderDeleter> a(archive_read_new());
    archive_read_support_format_zip_seekable(a.get());
    if (archive_read_open_filename(a.get(), native.constData(), 16384) == ARCHIVE_OK) {
        archive_entry *entry = nullptr;
        for (int r; (r = archive_read_next_header(a.get(), &entry)) != ARCHIVE_EOF && r != ARCHIVE_FATAL;) {
            const QByteArray name = archive_entry_pathname(entry);
            const qint64 entrySize = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
            const qint64 record = fast->claim(name, entrySize);
            MemorySink sink;
            const FastPath::Result result = record >= 0 ? decoder->decode(record, sink) : FastPath::Result::Fallback;
            check(record >= 0 || result == FastPath::Result::Fallback, "an unclaimed entry was decoded");
            check(result != FastPath::Result::Cancelled, "cancelled without a cancel");
            QByteArray expected;
            bool tooLarge = false;
            // A name libarchive cannot convert to the locale is no damage.
            const char *warning = r == ARCHIVE_WARN ? archive_error_string(a.get()) : nullptr;
            const bool nameOnly = warning && std::strstr(warning, "Pathname cannot be converted");
            const bool sound = readData(a.get(), expected, tooLarge) && (r == ARCHIVE_OK || nameOnly);
            if (result != FastPath::Result::Written || tooLarge)
                continue;
            if (!sound)
                fail("written though libarchive finds the entry damaged", QString::fromLatin1(name.toHex()));
            if (sink.bytes != expected)
                fail("written bytes differ from libarchive's", QString::fromLatin1(name.toHex()));
            check(entrySize == expected.size(), "written with another size than listed");
        }
    }
    // Decoding records directly, claimed or not, must stay safe.
    for (qint64 record = -1; record < 16; ++record) {
        MemorySink sink;
        decoder->decode(record, sink);
    }
    fast.reset();
    ::close(fd);
    return 0;
}
