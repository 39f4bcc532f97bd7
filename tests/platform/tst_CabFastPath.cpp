#include "platform/archiver/CabFastPath.h"
#include "platform/archiver/FastPath.h"
#include "support/CabWriter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <isa-l/igzip_lib.h>
#include <thread>
#include <unistd.h>

using namespace pellora;
using arc::FastPath;
using Result = FastPath::Result;

Q_DECLARE_METATYPE(QList<pellora::test::CabFolder>)

namespace {

// What libarchive gives for one entry.
struct Listed {
    QByteArray name;
    qint64 size = -1;
    qint64 mtime = 0;
    int mode = 0;
    QByteArray data;
    bool read = false; // the data came out without an error
};

// Lists (and, with data, reads) an archive in memory as the extraction does.
QList<Listed> listWithLibarchive(const QByteArray &bytes, bool withData, const char *charset = nullptr)
{
    QList<Listed> out;
    archive *a = archive_read_new();
    archive_read_support_format_cab(a);
    if (charset)
        archive_read_set_format_option(a, nullptr, "hdrcharset", charset);
    if (archive_read_open_memory(a, bytes.constData(), size_t(bytes.size())) != ARCHIVE_OK) {
        archive_read_free(a);
        return out;
    }
    archive_entry *entry = nullptr;
    for (int r; (r = archive_read_next_header(a, &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN;) {
        Listed e;
        e.name = archive_entry_pathname(entry);
        e.size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
        e.mtime = archive_entry_mtime(entry);
        e.mode = int(archive_entry_mode(entry));
        if (withData) {
            char buffer[65536];
            la_ssize_t n = 0;
            while ((n = archive_read_data(a, buffer, sizeof buffer)) > 0)
                e.data.append(buffer, n);
            e.read = n == 0 && e.data.size() == e.size;
        }
        out.append(e);
    }
    archive_read_free(a);
    return out;
}

class MemorySink final : public arc::DataSink {
public:
    bool write(const char *data, size_t size) override
    {
        if (failAfter >= 0 && bytes.size() + qsizetype(size) > failAfter) {
            errno = ENOSPC;
            return false;
        }
        bytes.append(data, qsizetype(size));
        return true;
    }
    QByteArray bytes;
    qsizetype failAfter = -1;
};

// An archive on disk, open for the fast path.
class ArchiveFile {
public:
    explicit ArchiveFile(const QByteArray &bytes)
    {
        m_path = m_dir.filePath(QStringLiteral("a.cab"));
        test::writeFile(m_path, bytes);
        fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
        size = bytes.size();
    }
    ~ArchiveFile() { ::close(fd); }
    int fd = -1;
    qint64 size = 0;

private:
    QTemporaryDir m_dir;
    QString m_path;
};

struct Outcome {
    bool opened = false;
    int written = 0;
    int fallback = 0;
    int unclaimed = 0;
};

// Claims every entry a header-only libarchive walk lists and decodes the
// claimed ones with one decoder. What comes out Written must be the bytes
// libarchive reads or, where libarchive reads nothing (damage, or an error
// before), the original content of the entry at that place.
Outcome runFastPath(const QByteArray &bytes, const char *charset = nullptr, const QList<QByteArray> &originals = {})
{
    Outcome outcome;
    const QList<Listed> headers = listWithLibarchive(bytes, false, charset);
    const QList<Listed> read = listWithLibarchive(bytes, true, charset);
    ArchiveFile file(bytes);
    const auto fastPath = arc::openCabFastPath(file.fd, file.size);
    if (!fastPath)
        return outcome;
    outcome.opened = true;
    const std::atomic<bool> cancel{ false };
    const auto decoder = fastPath->decoder(cancel);
    for (int i = 0; i < headers.size(); ++i) {
        const qint64 record = fastPath->claim(headers[i].name, headers[i].size);
        if (record < 0) {
            ++outcome.unclaimed;
            continue;
        }
        MemorySink sink;
        const Result r = decoder->decode(record, sink);
        if (r == Result::Written) {
            const bool same = i < read.size() && read[i].read ? sink.bytes == read[i].data
                                                              : i < originals.size() && sink.bytes == originals[i];
            outcome.written += same ? 1 : -1000; // fails any comparison below
        } else {
            outcome.fallback += r == Result::Fallback ? 1 : -1000;
        }
    }
    return outcome;
}

QByteArray prose(int size, quint32 seed)
{
    // Words from a small vocabulary: deflate finds matches everywhere,
    // also back across a block boundary.
    static const char *words[] = { "archive", "folder", "cabinet", "block", "stream", "history", "window", "entry",
        "name", "size", "data", "check", "sum", "pellora", "extract", "fast" };
    QRandomGenerator rng(seed);
    QByteArray out;
    while (out.size() < size) {
        out += words[rng.bounded(16)];
        out += rng.bounded(9) == 0 ? '\n' : ' ';
    }
    out.truncate(size);
    return out;
}

QByteArray noise(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray out(size, '\0');
    for (char &c : out)
        c = char(rng.generate());
    return out;
}

test::CabFolder folderOf(quint16 type, bool history, const QList<test::CabFile> &files)
{
    test::CabFolder folder;
    folder.typeCompress = type;
    folder.history = history;
    folder.files = files;
    return folder;
}

// Blocks of the MSZIP folders that isa-l cannot decode without the block before them.
int blocksNeedingHistory(const QByteArray &bytes)
{
    ArchiveFile file(bytes);
    const auto layout = arc::cab::readLayout(file.fd, file.size);
    if (!layout)
        return -1;
    int count = 0;
    auto state = std::make_unique<inflate_state>();
    QByteArray out(0x8000 + 1, '\0');
    for (const arc::cab::Folder &folder : layout->folders) {
        if (folder.method != arc::cab::Method::MsZip)
            continue;
        for (const arc::cab::DataBlock &block : folder.blocks) {
            QByteArray packed = bytes.mid(block.dataOffset + 2, block.packedSize - 2);
            isal_inflate_init(state.get());
            state->next_in = reinterpret_cast<uint8_t *>(packed.data());
            state->avail_in = quint32(packed.size());
            state->next_out = reinterpret_cast<uint8_t *>(out.data());
            state->avail_out = quint32(out.size());
            const int r = isal_inflate(state.get());
            if (r == ISAL_INVALID_LOOKBACK)
                ++count;
            else if (r != ISAL_DECOMP_OK || state->total_out != block.size)
                return -1;
        }
    }
    return count;
}

QList<test::CabFolder> historyFolders()
{
    return { folderOf(1, true,
        { { "a.txt", prose(70000, 1) }, { "dir\\b.txt", prose(100, 2) }, { "c.txt", prose(150000, 3) }, { "empty", {} },
            { "d.txt", prose(5000, 4) } }) };
}

} // namespace

class TestCabFastPath : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every cabinet among the fixtures: what is Written is what libarchive
    // reads, and damaged or foreign data is left to libarchive.
    void fixtures_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("fallback");
        QTest::addColumn<int>("unclaimed");
        const auto row
            = [](const char *name, const QByteArray &charset, bool opens, int written, int fallback, int unclaimed) {
                  QTest::newRow(QByteArray(name + (charset.isEmpty() ? QByteArray() : " " + charset)).constData())
                      << QString::fromLatin1(name) << charset << opens << written << fallback << unclaimed;
              };
        row("cab/stored.cab", {}, true, 5, 0, 0);
        row("cab/mszip.cab", {}, true, 5, 0, 0);
        row("cab/nested-folders.cab", {}, true, 5, 0, 0);
        row("cab/sjis-names.cab", {}, true, 2, 0, 0);
        row("cab/sjis-names.cab", "CP932", true, 2, 0, 0);
        row("cab/mszip.cab", "CP932", true, 5, 0, 0);
        for (const char *hostile : { "cab/hostile-absolute.cab", "cab/hostile-backslash.cab", "cab/hostile-dotdot.cab",
                 "cab/hostile-drive.cab", "cab/hostile-nested-dotdot.cab" })
            row(hostile, {}, true, 2, 0, 0);
        // One folder per file; bad.txt's block fails its checksum.
        row("cab/crc-error.cab", {}, true, 1, 1, 0);
        // Its second block runs past the end of the file.
        row("cab/truncated.cab", {}, false, 0, 0, 0);
        row("misc/random.cab", {}, false, 0, 0, 0);

        // Every cabinet fixture has a row.
        QStringList covered{ QStringLiteral("misc/random.cab") };
        const QDir cabs(test::dataPath(QStringLiteral("cab")));
        for (const QString &name : cabs.entryList({ QStringLiteral("*.cab") }, QDir::Files))
            covered.append(QStringLiteral("cab/") + name);
        QCOMPARE(covered.size(), 12);
    }

    void fixtures()
    {
        QFETCH(QString, fixture);
        QFETCH(QByteArray, charset);
        QFile file(test::dataPath(fixture));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const Outcome outcome = runFastPath(file.readAll(), charset.isEmpty() ? nullptr : charset.constData());
        QTEST(outcome.opened, "opens");
        QTEST(outcome.written, "written");
        QTEST(outcome.fallback, "fallback");
        QTEST(outcome.unclaimed, "unclaimed");
    }

    // Archives larger than the fixtures, every layout the reader knows.
    void builtArchives_data()
    {
        QTest::addColumn<QList<test::CabFolder>>("folders");
        QTest::addColumn<int>("headerReserve");
        QTest::addColumn<bool>("checksums");
        QTest::addColumn<bool>("needsHistory");

        const QList<test::CabFile> mixed{ { "small.txt", prose(1000, 5) }, { "noise.bin", noise(100000, 6) },
            { "sub\\prose.txt", prose(90000, 7) }, { "exact.bin", noise(0x8000 - 1100 + 0x8000, 8) },
            { "tail.txt", prose(10, 9) } };
        QTest::newRow("stored, many blocks") << QList{ folderOf(0, false, mixed) } << 0 << true << false;
        QTest::newRow("MSZIP, blocks on their own") << QList{ folderOf(1, false, mixed) } << 0 << true << false;
        QTest::newRow("MSZIP, blocks need history") << historyFolders() << 0 << true << true;
        QTest::newRow("MSZIP with history, reserve fields") << historyFolders() << 300 << true << true;
        QTest::newRow("MSZIP with history, no checksums") << historyFolders() << 0 << false << true;
        QTest::newRow("stored, MSZIP and stored folders") << QList{ folderOf(0, false, { { "one", prose(40000, 10) } }),
            folderOf(1, true, { { "two", prose(80000, 11) }, { "three", noise(3000, 12) } }),
            folderOf(0, false, { { "four", noise(10, 13) } }) }
                                                          << 0 << true << true;
        // A file table larger than the reader's buffer: names cross its end.
        QList<test::CabFile> many;
        for (int i = 0; i < 3000; ++i)
            many.append(
                { QStringLiteral("folder\\file %1 with a longer name.txt").arg(i).toLatin1(), prose(i % 97, i) });
        QTest::newRow("3000 files") << QList{ folderOf(1, true, many) } << 0 << true << true;
        QTest::newRow("MSZIP with the high bits of typeCompress set")
            << QList{ folderOf(0x0F01, true, { { "x", prose(50000, 14) } }) } << 0 << true << true;
    }

    void builtArchives()
    {
        QFETCH(QList<test::CabFolder>, folders);
        QFETCH(int, headerReserve);
        QFETCH(bool, checksums);
        QFETCH(bool, needsHistory);
        test::CabLayoutOptions options;
        options.headerReserve = quint16(headerReserve);
        options.folderReserve = headerReserve ? 7 : 0;
        options.dataReserve = headerReserve ? 5 : 0;
        options.checksums = checksums;
        const QByteArray bytes = test::cabBytes(folders, options);

        const int dependent = blocksNeedingHistory(bytes);
        QVERIFY(dependent >= 0);
        QCOMPARE(dependent > 0, needsHistory);

        const QList<Listed> listed = listWithLibarchive(bytes, true);
        int files = 0;
        for (const test::CabFolder &f : folders)
            files += int(f.files.size());
        QCOMPARE(listed.size(), files);
        ArchiveFile file(bytes);
        const auto fastPath = arc::openCabFastPath(file.fd, file.size);
        QVERIFY(fastPath);
        QList<qint64> records;
        for (const Listed &e : listed) {
            QVERIFY(e.read);
            records.append(fastPath->claim(e.name, e.size));
            QCOMPARE(records.last(), qint64(records.size() - 1));
        }

        // In order, backwards (each file makes the decoder go back for its
        // history) and on several threads at once.
        const std::atomic<bool> cancel{ false };
        const auto inOrder = fastPath->decoder(cancel);
        const auto backwards = fastPath->decoder(cancel);
        for (int i = 0; i < records.size(); ++i) {
            MemorySink sink;
            QCOMPARE(inOrder->decode(records[i], sink), Result::Written);
            QCOMPARE(sink.bytes, listed[i].data);
            const int j = int(records.size()) - 1 - i;
            MemorySink back;
            QCOMPARE(backwards->decode(records[j], back), Result::Written);
            QCOMPARE(back.bytes, listed[j].data);
        }
        QList<QList<QByteArray>> results(3);
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t) {
            threads.emplace_back([&, t] {
                const auto decoder = fastPath->decoder(cancel);
                for (int i = 0; i < records.size(); ++i) {
                    MemorySink sink;
                    const qint64 record = records[(i + t) % records.size()];
                    results[t].append(decoder->decode(record, sink) == Result::Written ? sink.bytes : "failed");
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        for (int t = 0; t < 3; ++t)
            for (int i = 0; i < records.size(); ++i)
                QCOMPARE(results[t][i], listed[(i + t) % records.size()].data);
    }

    // Names as libarchive lists them: '\' turned into '/' unless it may be
    // the second byte of a Shift_JIS character; UTF-8 names as they are.
    void names_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<int>("attributes");
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<bool>("claimed");
        QTest::newRow("ASCII") << QByteArray("a\\b\\c.txt") << 0x20 << QByteArray() << true;
        QTest::newRow("ASCII, CP932 charset") << QByteArray("a\\b\\c.txt") << 0x20 << QByteArray("CP932") << true;
        QTest::newRow("UTF-8") << QByteArray("d\\\xe8\xa1\xa8\xe7\xa4\xba.txt") << 0xA0 << QByteArray() << true;
        QTest::newRow("UTF-8, CP932 charset")
            << QByteArray("d\\\xe8\xa1\xa8\xe7\xa4\xba.txt") << 0xA0 << QByteArray("CP932") << true;
        QTest::newRow("UTF-8 flag, not NFC") << QByteArray("e\xcc\x81.txt") << 0xA0 << QByteArray() << false;
        QTest::newRow("Shift_JIS, 5C trail byte")
            << QByteArray("\x95\x5c\x8e\xa6\\\x83\x5c\x81\x5b\x83\x58.txt") << 0x20 << QByteArray() << true;
        QTest::newRow("Shift_JIS, CP932 charset")
            << QByteArray("\x95\x5c\x8e\xa6\\\x83\x5c\x81\x5b\x83\x58.txt") << 0x20 << QByteArray("CP932") << true;
        QTest::newRow("folder then Shift_JIS") << QByteArray("dir\\\x95\x5c\\x.txt") << 0x20 << QByteArray() << true;
        QTest::newRow("folder then Shift_JIS, CP932 charset")
            << QByteArray("dir\\\x95\x5c\\x.txt") << 0x20 << QByteArray("CP932") << true;
        QTest::newRow("UTF-8 without the flag") << QByteArray("\xc3\xa9\\x.txt") << 0x20 << QByteArray() << true;
    }

    void names()
    {
        QFETCH(QByteArray, raw);
        QFETCH(int, attributes);
        QFETCH(QByteArray, charset);
        const QByteArray bytes
            = test::cabBytes({ folderOf(1, false, { { raw, "named\n", quint16(attributes) }, { "z", "z" } }) });
        const QList<Listed> listed = listWithLibarchive(bytes, true, charset.isEmpty() ? nullptr : charset.constData());
        QCOMPARE(listed.size(), 2);
        ArchiveFile file(bytes);
        const auto fastPath = arc::openCabFastPath(file.fd, file.size);
        QVERIFY(fastPath);
        QTEST(fastPath->claim(listed[0].name, listed[0].size) == 0, "claimed");
        QCOMPARE(fastPath->claim(listed[1].name, listed[1].size), 1);
    }

    // Each entry is the record at its place in the list, and only that.
    void claimFollowsTheList()
    {
        const QByteArray bytes
            = test::cabBytes({ folderOf(1, false, { { "same", "one" }, { "same", "two" }, { "other", "3" } }) });
        ArchiveFile file(bytes);
        const auto fastPath = arc::openCabFastPath(file.fd, file.size);
        QVERIFY(fastPath);
        QCOMPARE(fastPath->claim("same", 4), -1); // size differs
        QCOMPARE(fastPath->claim("same", 3), 1);
        QCOMPARE(fastPath->claim("same", 1), -1); // name differs
        QCOMPARE(fastPath->claim("extra", 1), -1); // more than the cabinet holds
    }

    // LZX and Quantum folders stay with libarchive; the others still go fast.
    void otherMethods()
    {
        QByteArray bytes = test::cabBytes({ folderOf(0, false, { { "stored", prose(40000, 20) } }),
            folderOf(0, false, { { "lzx", prose(100, 21) } }) });
        ArchiveFile plain(bytes);
        const auto layout = arc::cab::readLayout(plain.fd, plain.size);
        QVERIFY(layout);
        qToLittleEndian<quint16>(0x1503, bytes.data() + layout->folders[1].recordOffset + 6);
        ArchiveFile file(bytes);
        const auto fastPath = arc::openCabFastPath(file.fd, file.size);
        QVERIFY(fastPath);
        QCOMPARE(fastPath->claim("stored", 40000), 0);
        QCOMPARE(fastPath->claim("lzx", 100), -1);

        QByteArray allLzx = test::cabBytes({ folderOf(0, false, { { "lzx", prose(100, 21) } }) });
        qToLittleEndian<quint16>(0x1503, allLzx.data() + 36 + 6);
        ArchiveFile lzx(allLzx);
        QVERIFY(!arc::openCabFastPath(lzx.fd, lzx.size));
    }

    // Damage anywhere: no crash, nothing Written that libarchive does not
    // read the same way.
    void damaged_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("fallback");

        const QByteArray base = test::cabBytes(historyFolders());
        ArchiveFile file(base);
        const auto layout = arc::cab::readLayout(file.fd, file.size);
        QVERIFY(layout);
        const std::vector<arc::cab::DataBlock> &blocks = layout->folders[0].blocks;
        QCOMPARE(blocks.size(), size_t(7));
        const auto patched16 = [&](qint64 at, quint16 value) {
            QByteArray b = base;
            qToLittleEndian(value, b.data() + at);
            return b;
        };
        const auto patched32 = [&](qint64 at, quint32 value) {
            QByteArray b = base;
            qToLittleEndian(value, b.data() + at);
            return b;
        };
        const auto rechecksummed = [&](QByteArray b, const arc::cab::DataBlock &block) {
            const QByteArray header = b.mid(block.headerOffset + 4, 4);
            const QByteArray data = b.mid(block.dataOffset, block.packedSize);
            qToLittleEndian(test::cabBlockChecksum(header, data), b.data() + block.headerOffset);
            return b;
        };

        // Files: a.txt 0..70000 (blocks 0-2), b 70000..70100, c.txt ..220100 (2-6), empty, d.txt (6);
        // every block but the first needs the one before it, so d.txt goes
        // back to the damage too.
        QByteArray flipped = base;
        flipped[blocks[4].dataOffset + 100] = char(flipped[blocks[4].dataOffset + 100] ^ 0x10);
        QTest::newRow("checksum mismatch in c.txt") << flipped << true << 3 << 2;
        QTest::newRow("checksum field changed") << patched32(blocks[0].headerOffset, 0x12345678) << true << 1 << 4;
        QByteArray noSignature = base;
        noSignature[blocks[3].dataOffset] = 'X';
        QTest::newRow("no CK, checksum matching") << rechecksummed(noSignature, blocks[3]) << true << 3 << 2;
        QByteArray badDeflate = base;
        badDeflate[blocks[5].dataOffset + 2] = char(0xFF); // a reserved block type
        QTest::newRow("broken deflate, checksum matching") << rechecksummed(badDeflate, blocks[5]) << true << 3 << 2;
        QTest::newRow("short block before the last")
            << patched16(blocks[1].headerOffset + 6, 0x7000) << false << 0 << 0;
        QTest::newRow("block size pointing elsewhere") << patched16(blocks[2].headerOffset + 4, 100) << false << 0 << 0;
        QTest::newRow("last block too short for d.txt") << patched16(blocks[6].headerOffset + 6, 10) << false << 0 << 0;
        QTest::newRow("block count too high") << patched16(layout->folders[0].recordOffset + 4, 8) << false << 0 << 0;
        QTest::newRow("data start past the end")
            << patched32(layout->folders[0].recordOffset, quint32(base.size() + 10)) << false << 0 << 0;
        QTest::newRow("data start inside the headers")
            << patched32(layout->folders[0].recordOffset, 40) << false << 0 << 0;
        QTest::newRow("file table past the end") << patched32(16, 0x7FFFFFF0) << false << 0 << 0;
        QTest::newRow("more files than stored") << patched16(28, 60000) << false << 0 << 0;
        QTest::newRow("next cabinet flag") << patched16(30, 0x0002) << false << 0 << 0;
        QTest::newRow("cabinet index") << patched16(34, 1) << false << 0 << 0;
        QTest::newRow("file offset with a gap")
            << patched32(layout->folders[0].recordOffset + 8 + 4, 1) << false << 0 << 0;
        QTest::newRow("cut in the file table") << base.left(80) << false << 0 << 0;
        QTest::newRow("cut in the last block") << base.left(base.size() - 10) << false << 0 << 0;
    }

    void damaged()
    {
        QFETCH(QByteArray, bytes);
        QList<QByteArray> originals;
        const QList<test::CabFolder> folders = historyFolders();
        for (const test::CabFile &f : folders.first().files)
            originals.append(f.data);
        const Outcome outcome = runFastPath(bytes, nullptr, originals);
        QTEST(outcome.opened, "opens");
        QTEST(outcome.written, "written");
        QTEST(outcome.fallback, "fallback");
    }

    // Every single byte of a small cabinet changed in turn.
    void everyByteChanged()
    {
        const QList<QByteArray> originals{ prose(40000, 30), prose(30000, 31) };
        const QByteArray base
            = test::cabBytes({ folderOf(1, true, { { "a\\one.txt", originals[0] }, { "two.txt", originals[1] } }) });
        const int headers = 36 + 8 + 2 * 16 + 10 + 8 + 8; // through the first CFDATA header
        int written = 0;
        for (int at = 0; at < base.size(); at += at < headers ? 1 : 97) {
            QByteArray bytes = base;
            bytes[at] = char(bytes[at] ^ 0x41);
            const Outcome outcome = runFastPath(bytes, nullptr, originals);
            QVERIFY2(outcome.written >= 0 && outcome.fallback >= 0, qPrintable(QString::number(at)));
            written += outcome.written;
        }
        QVERIFY(written > 0);
    }

    void cancelAndWriteFailure()
    {
        const QByteArray bytes = test::cabBytes(historyFolders());
        ArchiveFile file(bytes);
        const auto fastPath = arc::openCabFastPath(file.fd, file.size);
        QVERIFY(fastPath);
        const std::atomic<bool> cancelled{ true };
        MemorySink sink;
        QCOMPARE(fastPath->decoder(cancelled)->decode(2, sink), Result::Cancelled);

        const std::atomic<bool> running{ false };
        const auto decoder = fastPath->decoder(running);
        MemorySink full;
        full.failAfter = 40000;
        errno = 0;
        QCOMPARE(decoder->decode(0, full), Result::WriteFailed);
        QCOMPARE(errno, ENOSPC);
        MemorySink again; // the decoder is still sound afterwards
        QCOMPARE(decoder->decode(0, again), Result::Written);
        QCOMPARE(again.bytes, prose(70000, 1));
        QCOMPARE(decoder->decode(-1, again), Result::Fallback);
        QCOMPARE(decoder->decode(5, again), Result::Fallback);
    }

    // A reader that only lists never reads a CAB's data (libarchive skips
    // lazily until data is first read), so the header view needs no fixing
    // up: listing with every data block destroyed gives the plain listing.
    void headerWalkLeavesDataAlone_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QFile mszip(test::dataPath(QStringLiteral("cab/mszip.cab")));
        QVERIFY(mszip.open(QIODevice::ReadOnly));
        QTest::newRow("mszip.cab") << mszip.readAll();
        QTest::newRow("history, several folders")
            << test::cabBytes({ folderOf(1, true, { { "a", prose(90000, 40) }, { "b", {} } }),
                   folderOf(0, false, { { "c", noise(50000, 41) } }), folderOf(1, false, { { "d", prose(9, 42) } }) });
    }

    void headerWalkLeavesDataAlone()
    {
        QFETCH(QByteArray, bytes);
        ArchiveFile file(bytes);
        const auto layout = arc::cab::readLayout(file.fd, file.size);
        QVERIFY(layout);
        QByteArray view = bytes;
        const auto fastPath = arc::openCabFastPath(file.fd, file.size);
        QVERIFY(fastPath);
        fastPath->forHeaders(0, view.data(), size_t(view.size()));
        for (const arc::cab::Folder &folder : layout->folders)
            for (const arc::cab::DataBlock &block : folder.blocks)
                view.replace(block.headerOffset, 8 + block.packedSize, noise(8 + block.packedSize, 7));
        const QList<Listed> plain = listWithLibarchive(bytes, false);
        const QList<Listed> headers = listWithLibarchive(view, false);
        QVERIFY(!plain.isEmpty());
        QCOMPARE(headers.size(), plain.size());
        for (int i = 0; i < plain.size(); ++i) {
            QCOMPARE(headers[i].name, plain[i].name);
            QCOMPARE(headers[i].size, plain[i].size);
            QCOMPARE(headers[i].mtime, plain[i].mtime);
            QCOMPARE(headers[i].mode, plain[i].mode);
        }
        // Reading data does decode: the destroyed blocks fail there.
        const QList<Listed> read = listWithLibarchive(view, true);
        QVERIFY(!read.isEmpty() && !read.first().read);
    }
};

QTEST_GUILESS_MAIN(TestCabFastPath)
#include "tst_CabFastPath.moc"
