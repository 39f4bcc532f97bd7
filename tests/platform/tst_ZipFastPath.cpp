// The ZIP fast path against libarchive: whatever it says it wrote must be
// exactly libarchive's bytes of the same entry, and whatever it cannot vouch
// for (damage, odd layouts, lies in the headers) it must leave to libarchive.

#include "platform/archiver/FastPath.h"
#include "platform/archiver/ZipFastPath.h"
#include "support/ArchiveWriter.h"
#include "support/TestSupport.h"
#include "support/ZipBuilder.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <functional>
#include <thread>
#include <unistd.h>

using namespace pellora;
using Result = arc::FastPath::Result;

namespace {

// Collects what a decoder writes; can refuse after a number of writes or
// raise the cancel flag once it has seen some bytes.
class MemorySink final : public arc::DataSink {
public:
    bool write(const char *data, size_t size) override
    {
        if (writesBeforeFailure == 0) {
            errno = ENOSPC;
            return false;
        }
        --writesBeforeFailure;
        bytes.append(data, qsizetype(size));
        if (cancelAfterFirstWrite)
            cancelAfterFirstWrite->store(true);
        return true;
    }
    QByteArray bytes;
    int writesBeforeFailure = -1;
    std::atomic<bool> *cancelAfterFirstWrite = nullptr;
};

// One entry as libarchive's seekable reader lists and reads it.
struct Listed {
    QByteArray name;
    qint64 size = -1;
    QByteArray data;
    bool damaged = false; // libarchive reported an error for the header or the data
    bool regular = false;
};

QList<Listed> listWithLibarchive(const QString &path)
{
    QList<Listed> entries;
    archive *a = archive_read_new();
    archive_read_support_format_zip_seekable(a);
    if (archive_read_open_filename(a, QFile::encodeName(path).constData(), 64 * 1024) != ARCHIVE_OK) {
        archive_read_free(a);
        return entries;
    }
    archive_entry *entry = nullptr;
    for (;;) {
        const int r = archive_read_next_header(a, &entry);
        if (r == ARCHIVE_EOF || r == ARCHIVE_FATAL)
            break;
        Listed listed;
        listed.name = archive_entry_pathname(entry);
        listed.size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
        listed.damaged = r != ARCHIVE_OK;
        listed.regular = archive_entry_filetype(entry) == AE_IFREG;
        char buffer[16384];
        for (;;) {
            const la_ssize_t n = archive_read_data(a, buffer, sizeof buffer);
            if (n < 0)
                listed.damaged = true;
            if (n <= 0)
                break;
            listed.data.append(buffer, qsizetype(n));
        }
        entries.append(listed);
    }
    archive_read_free(a);
    return entries;
}

class OpenFile {
public:
    explicit OpenFile(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC))
        , size(QFileInfo(path).size())
    {
    }
    ~OpenFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
    const int fd;
    const qint64 size;
};

// How the fast path fared over one archive, entry by entry in libarchive's order.
struct Walk {
    bool opened = false;
    QList<Listed> listed;
    QList<qint64> claimed; // per listed entry
    QList<Result> results; // per listed entry, Fallback where not claimed
    QStringList faults; // bytes that differ from libarchive's, damage reported as written
    int written() const { return int(results.count(Result::Written)); }
};

Walk walk(const QString &path)
{
    Walk w;
    w.listed = listWithLibarchive(path);
    const OpenFile file(path);
    const std::unique_ptr<arc::FastPath> fast = arc::openZipFastPath(file.fd, file.size);
    w.opened = fast != nullptr;
    if (!fast)
        return w;
    const std::atomic<bool> cancel(false);
    const std::unique_ptr<arc::FastPath::Decoder> decoder = fast->decoder(cancel);
    for (const Listed &listed : std::as_const(w.listed)) {
        const qint64 record = fast->claim(listed.name, listed.size);
        w.claimed.append(record);
        MemorySink sink;
        const Result result = record >= 0 ? decoder->decode(record, sink) : Result::Fallback;
        w.results.append(result);
        if (result != Result::Written)
            continue;
        if (listed.damaged)
            w.faults << QStringLiteral("%1: written though libarchive finds it damaged").arg(listed.name);
        else if (sink.bytes != listed.data)
            w.faults << QStringLiteral("%1: bytes differ from libarchive's").arg(listed.name);
    }
    return w;
}

QByteArray mixedContent(qsizetype size, quint32 seed)
{
    // Half text that deflates well, half random that does not: long enough
    // to cross several of the decoder's blocks.
    QRandomGenerator random(seed);
    QByteArray bytes;
    while (bytes.size() < size) {
        if (random.bounded(2))
            bytes += QByteArray::number(random.generate()) + " lines of text that repeat\n";
        else
            for (int i = 0; i < 512; ++i)
                bytes += char(random.bounded(256));
    }
    bytes.truncate(size);
    return bytes;
}

test::ZipEntry zipEntry(const QByteArray &name, const QByteArray &data, bool deflate = false)
{
    test::ZipEntry entry;
    entry.name = name;
    entry.data = data;
    entry.deflate = deflate;
    return entry;
}

quint16 get16(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 get32(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

void set16(QByteArray &bytes, qsizetype at, quint16 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void set32(QByteArray &bytes, qsizetype at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

// Where the records of a ZipBuilder archive (no comment, no extra fields) are.
struct Layout {
    explicit Layout(const QByteArray &zip)
    {
        end = zip.size() - 22;
        qsizetype at = get32(zip, end + 16);
        while (at < end) {
            central << at;
            local << get32(zip, at + 42);
            at += 46 + get16(zip, at + 28);
        }
    }
    qsizetype end = 0;
    QList<qsizetype> central;
    QList<qsizetype> local;
};

// One change to a sound archive of two entries ("first.txt" deflated, long
// enough for several blocks, and "second.bin" stored).
using Damage = std::function<void(QByteArray &zip, const Layout &at)>;

enum class Expect { NoFastPath, NotClaimed, Fallback };

} // namespace

Q_DECLARE_METATYPE(Damage)
Q_DECLARE_METATYPE(pellora::test::ZipEntry)
Q_DECLARE_METATYPE(pellora::arc::FastPath::Result)
Q_DECLARE_METATYPE(Expect)

class ZipFastPathTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_made; // folder of archives this test writes

    QString twoEntryArchive(const QString &name, const test::ZipEntry &firstChanges)
    {
        test::ZipEntry first = firstChanges;
        first.name = "first.txt";
        if (first.data.isEmpty())
            first.data = mixedContent(700 * 1024, 1);
        const test::ZipEntry second = zipEntry("second.bin", mixedContent(5000, 2));
        const QString path = m_made + '/' + name + ".zip";
        test::writeZip(path, { first, second });
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_made = m_dir.filePath(QStringLiteral("made"));
        QVERIFY(QDir().mkpath(m_made));
    }

    void matchesLibarchive_data()
    {
        QTest::addColumn<QString>("path");
        // Every regular entry libarchive reads without error comes from the fast path.
        QTest::addColumn<bool>("allFast");
        // Sound archives, each entry a plain stored or deflated file.
        const QStringList sound = { "7z.zip", "deflate.zip", "stored.zip", "zip64.zip", "sfx.zip", "sjis-names.zip",
            "utf8-names.zip", "folder-times.zip", "several-links.zip", "odd-entries.zip" };
        const QDir zips(test::dataPath(QStringLiteral("zip")));
        for (const QString &file : zips.entryList({ "*.zip" }, QDir::Files, QDir::Name))
            QTest::addRow("fixture %s", qPrintable(file)) << zips.filePath(file) << sound.contains(file);
        QTest::addRow("random bytes named .zip") << test::dataPath(QStringLiteral("misc/random.zip")) << false;
        QTest::addRow("code-page 437 names") << test::dataPath(QStringLiteral("names/names-cp437.zip")) << true;

        // libarchive's own writer: deflate with data descriptors after the bodies.
        const QString written = m_made + "/libarchive-writer.zip";
        test::writeZip(written,
            QList<test::ArchiveEntry>{ { "big.bin", mixedContent(1300 * 1024, 3) }, { "empty.txt", {} },
                { "dir/small.txt", "small" }, { "same.txt", "first" }, { "same.txt", "second, longer" } });
        QTest::addRow("libarchive writer with descriptors") << written << true;

        const QString stored = m_made + "/stored-and-deflated.zip";
        test::writeZip(stored,
            { zipEntry("a.bin", mixedContent(600 * 1024, 4)), zipEntry("b.txt", mixedContent(300 * 1024, 5), true),
                zipEntry("c.txt", {}), zipEntry("c.txt", "same name again", true) });
        QTest::addRow("stored and deflated, a name twice") << stored << true;

        // A self-extractor's stub in front shifts every offset.
        QByteArray shifted(3000, 'M');
        QFile plain(stored);
        QVERIFY(plain.open(QIODevice::ReadOnly));
        shifted += plain.readAll();
        test::writeFile(m_made + "/behind-stub.zip", shifted);
        QTest::addRow("behind a stub") << m_made + "/behind-stub.zip" << true;
    }

    void matchesLibarchive()
    {
        QFETCH(QString, path);
        QFETCH(bool, allFast);
        const Walk w = walk(path);
        QVERIFY2(w.faults.isEmpty(), qPrintable(w.faults.join('\n')));
        if (!allFast)
            return;
        QVERIFY(w.opened);
        int plain = 0;
        for (qsizetype i = 0; i < w.listed.size(); ++i) {
            const Listed &listed = w.listed[i];
            if (listed.damaged || !listed.regular)
                continue;
            ++plain;
            QVERIFY2(w.results[i] == Result::Written, listed.name.constData());
        }
        QVERIFY(plain > 0);
    }

    void leavesDoubtToLibarchive_data()
    {
        QTest::addColumn<test::ZipEntry>("first");
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<Expect>("expect");
        const Damage none = [](QByteArray &, const Layout &) {};
        const auto deflated = [] {
            test::ZipEntry e;
            e.deflate = true;
            return e;
        };
        test::ZipEntry trailing = deflated();
        trailing.trailing = "garbage";
        test::ZipEntry cut = deflated();
        cut.cut = 9;
        test::ZipEntry encrypted = deflated();
        encrypted.encrypted = true;

        QTest::newRow("deflate stream with bytes after its end") << trailing << none << Expect::Fallback;
        QTest::newRow("deflate stream ending before its end") << cut << none << Expect::Fallback;
        QTest::newRow("encrypted flag") << encrypted << none << Expect::NotClaimed;
        QTest::newRow("strong encryption flag in both headers")
            << deflated() << Damage([](QByteArray &z, const Layout &at) {
                   set16(z, at.local[0] + 6, 0x0040);
                   set16(z, at.central[0] + 8, 0x0040);
               })
            << Expect::NotClaimed;
        QTest::newRow("encrypted flag in the local header only")
            << deflated() << Damage([](QByteArray &z, const Layout &at) { set16(z, at.local[0] + 6, 0x0001); })
            << Expect::Fallback;
        QTest::newRow("CRC wrong in both headers") << deflated() << Damage([](QByteArray &z, const Layout &at) {
            set32(z, at.local[0] + 14, get32(z, at.local[0] + 14) ^ 1);
            set32(z, at.central[0] + 16, get32(z, at.central[0] + 16) ^ 1);
        }) << Expect::Fallback;
        QTest::newRow("local CRC differs from the directory's")
            << deflated() << Damage([](QByteArray &z, const Layout &at) {
                   set32(z, at.local[0] + 14, get32(z, at.local[0] + 14) ^ 1);
               })
            << Expect::Fallback;
        QTest::newRow("uncompressed size larger than the data in both headers")
            << deflated() << Damage([](QByteArray &z, const Layout &at) {
                   set32(z, at.local[0] + 22, get32(z, at.local[0] + 22) + 1);
                   set32(z, at.central[0] + 24, get32(z, at.central[0] + 24) + 1);
               })
            << Expect::Fallback;
        QTest::newRow("uncompressed size smaller than the data in both headers")
            << deflated() << Damage([](QByteArray &z, const Layout &at) {
                   set32(z, at.local[0] + 22, get32(z, at.local[0] + 22) - 1);
                   set32(z, at.central[0] + 24, get32(z, at.central[0] + 24) - 1);
               })
            << Expect::Fallback;
        QTest::newRow("compressed size cutting the stream short in both headers")
            << deflated() << Damage([](QByteArray &z, const Layout &at) {
                   set32(z, at.local[0] + 18, get32(z, at.local[0] + 18) - 100);
                   set32(z, at.central[0] + 20, get32(z, at.central[0] + 20) - 100);
               })
            << Expect::Fallback;
        QTest::newRow("stored size differing between the headers")
            << test::ZipEntry{} << Damage([](QByteArray &z, const Layout &at) {
                   set32(z, at.local[0] + 22, get32(z, at.local[0] + 22) - 1);
                   set32(z, at.local[0] + 18, get32(z, at.local[0] + 18) - 1);
               })
            << Expect::Fallback;
        QTest::newRow("local sizes all ones without a ZIP64 field")
            << deflated() << Damage([](QByteArray &z, const Layout &at) {
                   set32(z, at.local[0] + 18, 0xffffffffu);
                   set32(z, at.local[0] + 22, 0xffffffffu);
               })
            << Expect::Fallback;
        QTest::newRow("local name differs from the directory's")
            << deflated() << Damage([](QByteArray &z, const Layout &at) { z[at.local[0] + 30] = 'F'; })
            << Expect::Fallback;
        QTest::newRow("local method differs from the directory's")
            << deflated() << Damage([](QByteArray &z, const Layout &at) { set16(z, at.local[0] + 8, 0); })
            << Expect::Fallback;
        QTest::newRow("local header signature damaged")
            << deflated() << Damage([](QByteArray &z, const Layout &at) { z[at.local[0] + 2] = 9; })
            << Expect::Fallback;
        QTest::newRow("unsupported method") << deflated() << Damage([](QByteArray &z, const Layout &at) {
            set16(z, at.local[0] + 8, 12);
            set16(z, at.central[0] + 10, 12);
        }) << Expect::NotClaimed;
        QTest::newRow("folder attribute")
            << test::ZipEntry{} << Damage([](QByteArray &z, const Layout &at) { set32(z, at.central[0] + 38, 0x10); })
            << Expect::NotClaimed;
        QTest::newRow("symbolic link mode") << test::ZipEntry{} << Damage([](QByteArray &z, const Layout &at) {
            z[at.central[0] + 5] = 3;
            set32(z, at.central[0] + 38, 0120777u << 16);
        }) << Expect::NotClaimed;
        QTest::newRow("directory offset past the end of the file")
            << deflated() << Damage([](QByteArray &z, const Layout &at) { set32(z, at.central[1] + 42, 0x7ffffff0); })
            << Expect::NoFastPath;
        QTest::newRow("two records sharing one local header")
            << deflated() << Damage([](QByteArray &z, const Layout &at) { set32(z, at.central[1] + 42, 0); })
            << Expect::NoFastPath;
        QTest::newRow("body running into the next local header")
            << deflated() << Damage([](QByteArray &z, const Layout &at) {
                   set32(z, at.local[0] + 18, get32(z, at.local[0] + 18) + 200);
                   set32(z, at.central[0] + 20, get32(z, at.central[0] + 20) + 200);
               })
            << Expect::NoFastPath;
        QTest::newRow("end record counting another number of entries")
            << deflated() << Damage([](QByteArray &z, const Layout &at) {
                   set16(z, at.end + 8, 3);
                   set16(z, at.end + 10, 3);
               })
            << Expect::NoFastPath;
        QTest::newRow("directory size reaching into the local data")
            << deflated()
            << Damage([](QByteArray &z, const Layout &at) { set32(z, at.end + 12, get32(z, at.end + 12) + 10); })
            << Expect::NoFastPath;
        QTest::newRow("archive cut in the middle")
            << deflated() << Damage([](QByteArray &z, const Layout &) { z.truncate(z.size() / 2); })
            << Expect::NoFastPath;
        QTest::newRow("end record cut short")
            << deflated() << Damage([](QByteArray &z, const Layout &) { z.chop(3); }) << Expect::NoFastPath;
    }

    void leavesDoubtToLibarchive()
    {
        QFETCH(test::ZipEntry, first);
        QFETCH(Damage, damage);
        QFETCH(Expect, expect);
        const QString path = twoEntryArchive(QString::fromLatin1(QTest::currentDataTag()), first);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray zip = file.readAll();
        file.close();
        damage(zip, Layout(zip));
        test::writeFile(path, zip);

        const Walk w = walk(path);
        QVERIFY2(w.faults.isEmpty(), qPrintable(w.faults.join('\n')));
        QCOMPARE(w.opened, expect != Expect::NoFastPath);
        if (!w.opened)
            return;
        // libarchive lists the entries, or gives up on the damaged one; the
        // fast path never decodes what it lists as "first.txt".
        if (!w.listed.isEmpty() && w.listed[0].name == "first.txt") {
            QVERIFY(w.results[0] != Result::Written);
            if (expect == Expect::NotClaimed)
                QCOMPARE(w.claimed[0], -1);
        }
        // Asked directly, the decoder refuses the record whatever the claim said.
        const OpenFile opened(path);
        const std::unique_ptr<arc::FastPath> fast = arc::openZipFastPath(opened.fd, opened.size);
        QVERIFY(fast);
        const std::atomic<bool> cancel(false);
        MemorySink sink;
        QCOMPARE(fast->decoder(cancel)->decode(0, sink), Result::Fallback);
        // The sound second entry still comes from the fast path.
        QVERIFY(w.results.count(Result::Written) <= 1);
        if (w.listed.size() == 2 && w.listed[1].name == "second.bin" && !w.listed[1].damaged)
            QCOMPARE(w.results[1], Result::Written);
    }

    void reportsSinkFailureAndCancel_data()
    {
        QTest::addColumn<bool>("deflate");
        QTest::addColumn<int>("writesBeforeFailure");
        QTest::addColumn<bool>("cancelBefore");
        QTest::addColumn<bool>("cancelDuring");
        QTest::addColumn<Result>("expected");
        for (const bool deflate : { false, true }) {
            const char *kind = deflate ? "deflated" : "stored";
            QTest::addRow("%s: sink refuses the first block", kind)
                << deflate << 0 << false << false << Result::WriteFailed;
            QTest::addRow("%s: sink refuses a later block", kind)
                << deflate << 2 << false << false << Result::WriteFailed;
            QTest::addRow("%s: cancelled before the start", kind)
                << deflate << -1 << true << false << Result::Cancelled;
            QTest::addRow("%s: cancelled after the first block", kind)
                << deflate << -1 << false << true << Result::Cancelled;
            QTest::addRow("%s: neither", kind) << deflate << -1 << false << false << Result::Written;
        }
    }

    void reportsSinkFailureAndCancel()
    {
        QFETCH(bool, deflate);
        QFETCH(int, writesBeforeFailure);
        QFETCH(bool, cancelBefore);
        QFETCH(bool, cancelDuring);
        QFETCH(Result, expected);
        test::ZipEntry first;
        first.deflate = deflate;
        const QString path = twoEntryArchive(QString::fromLatin1(QTest::currentDataTag()).replace(':', '-'), first);
        const OpenFile file(path);
        const std::unique_ptr<arc::FastPath> fast = arc::openZipFastPath(file.fd, file.size);
        QVERIFY(fast);
        QCOMPARE(fast->claim("first.txt", 700 * 1024), 0);
        std::atomic<bool> cancel(cancelBefore);
        MemorySink sink;
        sink.writesBeforeFailure = writesBeforeFailure;
        sink.cancelAfterFirstWrite = cancelDuring ? &cancel : nullptr;
        QCOMPARE(fast->decoder(cancel)->decode(0, sink), expected);
        if (cancelDuring)
            QVERIFY(sink.bytes.size() < 700 * 1024);
        if (expected == Result::Written)
            QCOMPARE(sink.bytes, mixedContent(700 * 1024, 1));
    }

    void claimsByPositionNameAndSize()
    {
        const QString path = m_made + "/claims.zip";
        test::writeZip(path, { zipEntry("a", "1"), zipEntry("b", "22"), zipEntry("a", "333") });
        const OpenFile file(path);
        const std::unique_ptr<arc::FastPath> fast = arc::openZipFastPath(file.fd, file.size);
        QVERIFY(fast);
        // A listed name that is not the record's at that place (libarchive
        // read another name from the local header) is not matched with a
        // later record of that name.
        QCOMPARE(fast->claim("b", 2), -1);
        QCOMPARE(fast->claim("b", 2), 1);
        QCOMPARE(fast->claim("a", 1), -1); // wrong size for the third record
        QCOMPARE(fast->claim("a", 3), -1); // past the last record
    }

    void decodersShareTheDescriptorAcrossThreads()
    {
        QList<test::ZipEntry> entries;
        for (int i = 0; i < 8; ++i)
            entries.append(
                zipEntry("file" + QByteArray::number(i), mixedContent(200 * 1024 + i, quint32(10 + i)), i % 2));
        const QString path = m_made + "/threads.zip";
        test::writeZip(path, entries);
        const OpenFile file(path);
        const std::unique_ptr<arc::FastPath> fast = arc::openZipFastPath(file.fd, file.size);
        QVERIFY(fast);
        for (qsizetype i = 0; i < entries.size(); ++i)
            QCOMPARE(fast->claim(entries[i].name, entries[i].data.size()), i);
        const std::atomic<bool> cancel(false);
        QList<QByteArray> out(entries.size());
        QList<Result> results(entries.size(), Result::Fallback);
        const auto work = [&](int parity) {
            const std::unique_ptr<arc::FastPath::Decoder> decoder = fast->decoder(cancel);
            for (int round = 0; round < 3; ++round)
                for (qsizetype i = parity; i < entries.size(); i += 2) {
                    MemorySink sink;
                    results[i] = decoder->decode(i, sink);
                    out[i] = sink.bytes;
                }
        };
        std::thread other(work, 1);
        work(0);
        other.join();
        for (qsizetype i = 0; i < entries.size(); ++i) {
            QCOMPARE(results[i], Result::Written);
            QCOMPARE(out[i], entries[i].data);
        }
    }
};

QTEST_GUILESS_MAIN(ZipFastPathTest)
#include "tst_ZipFastPath.moc"
