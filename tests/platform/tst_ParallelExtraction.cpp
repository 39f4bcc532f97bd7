// Decoding on several threads and through the fast decoders must change
// nothing but the time: every archive gives the same tree, the same report and
// the same history of changes as one thread through libarchive alone.

#include "platform/archiver/ArchiveFormat.h"
#include "platform/archiver/ArchiverLibrary.h"
#include "platform/archiver/CabFastPath.h"
#include "platform/archiver/CommandLine.h"
#include "platform/archiver/Extraction.h"
#include "platform/archiver/Progress.h"
#include "platform/archiver/RunRecorder.h"
#include "support/ArchiveWriter.h"
#include "support/CabWriter.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace pellora;

namespace {

// Every change a run announces, in order, as text.
class ListingRecorder final : public arc::RunRecorder {
public:
    QStringList calls;
    void folderCreated(const QStringList &components) override
    {
        calls.append(QStringLiteral("folder ") + components.join(u'/'));
    }
    bool keepReplaced(const QStringList &components, int, const QByteArray &) override
    {
        calls.append(QStringLiteral("keep ") + components.join(u'/'));
        return true;
    }
    void fileWritten(const QStringList &components, int, const QByteArray &, quint32 crc, bool crcKnown) override
    {
        calls.append(QStringLiteral("file %1 %2").arg(components.join(u'/')).arg(crcKnown ? crc : 0));
    }
    void linkCreated(const QStringList &components, const QByteArray &target) override
    {
        calls.append(QStringLiteral("link %1 %2").arg(components.join(u'/'), QString::fromUtf8(target)));
    }
};

struct Way {
    const char *name;
    int threads;
    bool fastPaths;
};
// The first is the reference: one thread, libarchive alone.
constexpr Way kWays[] = { { "one thread", 1, false }, { "two workers", 2, true }, { "four workers", 4, true },
    { "workers without fast paths", 2, false } };

arc::ArchiveFormat formatOf(const QString &path)
{
    if (path.endsWith(u".lzh"))
        return arc::ArchiveFormat::Lzh;
    if (path.endsWith(u".zip"))
        return arc::ArchiveFormat::Zip;
    if (path.endsWith(u".cab"))
        return arc::ArchiveFormat::Cab;
    return arc::ArchiveFormat::Tar;
}

// What one way of running leaves: per step, the code, the report (the output
// folder's name taken out), the tree and the recorded changes.
QStringList runSteps(const QString &archive, const Way &way, QString output)
{
    QStringList seen;
    QString filter = QStringLiteral("*.*");
    const auto step = [&](const char *what, bool replaceAlways) {
        arc::ExtractCommand command;
        command.archive = archive;
        command.outputFolder = output;
        command.replaceAlways = replaceAlways;
        command.filter = filter;
        command.threads = way.threads;
        command.fastPaths = way.fastPaths;
        ListingRecorder recorder;
        arc::setRunRecorder(&recorder);
        const arc::ExtractionResult result = arc::runExtraction(formatOf(archive), command, nullptr);
        arc::setRunRecorder(nullptr);
        seen.append(QStringLiteral("== %1: code %2").arg(QLatin1String(what)).arg(result.code));
        seen.append(QString::fromUtf8(result.report).replace(output, QStringLiteral("<out>/")));
        // Times the archive does not give are the clock's: the same only as "now".
        const qint64 started = (QDateTime::currentSecsSinceEpoch() - 3600) * 1000000000LL;
        for (const QString &line : test::treeState(output)) {
            QStringList fields = line.split(u' ');
            if (fields.size() > 3 && fields.at(2).toLongLong() > started)
                fields[2] = QStringLiteral("now");
            seen.append(fields.join(u' ').replace(output, QStringLiteral("<out>/")));
        }
        seen.append(recorder.calls);
    };
    const arc::DecodingCounts before = arc::decodingCounts();
    step("into an empty folder", false);
    // The built archives: one the workers take all of, without going back;
    // one they give back at its first entry.
    const arc::DecodingCounts after = arc::decodingCounts();
    if (archive.endsWith(u"mixed.zip") && way.threads > 1) {
        [&] {
            QVERIFY(after.decodedAhead - before.decodedAhead >= 160);
            QCOMPARE(after.handedBack, before.handedBack);
        }();
    }
    if (archive.endsWith(u"mixed.cab") && way.threads > 1 && way.fastPaths) {
        [&] {
            QCOMPARE(after.decodedAhead - before.decodedAhead, qint64(90));
            QCOMPARE(after.handedBack, before.handedBack);
        }();
    }
    if (archive.endsWith(u"damaged-middle.cab") && way.threads > 1 && way.fastPaths) {
        [&] { QCOMPARE(after.handedBack, before.handedBack + 1); }();
    }
    if (archive.endsWith(u"first-damaged.zip") && way.threads > 1) {
        [&] {
            QCOMPARE(after.decodedAhead, before.decodedAhead);
            QCOMPARE(after.handedBack, before.handedBack + 1);
        }();
    }
    step("again over what it left", false);
    // Every file made older than the archive's: each is replaced.
    QDirIterator files(output, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QByteArray path = QFile::encodeName(files.next());
        const struct timespec times[2] = { { 1000, 0 }, { 1000, 0 } };
        ::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW);
    }
    step("over older files", false);
    step("replacing whatever stands", true);
    // Only some entries, into a folder of their own: the others are stepped over.
    output += QStringLiteral("some/");
    filter = QStringLiteral("*5*");
    step("a few of them", false);
    return seen;
}

QByteArray noise(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

QByteArray text(int size, quint32 seed)
{
    QByteArray bytes;
    QRandomGenerator random(seed);
    while (bytes.size() < size)
        bytes += "line " + QByteArray::number(random.bounded(1000)) + " of text that compresses well\n";
    bytes.truncate(size);
    return bytes;
}

} // namespace

class tst_ParallelExtraction : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void everyWayLeavesTheSameTreeAndReport_data();
    void everyWayLeavesTheSameTreeAndReport();
    void cancelLeavesNoTemporaryFile_data();
    void cancelLeavesNoTemporaryFile();
    void decodesOnlyBoundedlyAhead();

private:
    QTemporaryDir m_built;
};

void tst_ParallelExtraction::initTestCase()
{
    QVERIFY(m_built.isValid());
    // Many entries of mixed sizes, so workers finish out of order; a name
    // three times over; a file where a later entry wants a folder, and the
    // other way round; data libarchive compresses (deflate) and stores.
    QList<test::ArchiveEntry> entries;
    for (int i = 0; i < 160; ++i) {
        const QByteArray name = "tree/d" + QByteArray::number(i % 7) + "/f" + QByteArray::number(i) + ".dat";
        const int size = i % 23 == 0 ? 700000 : (i % 5) * 3000 + 17;
        entries.append({ name, i % 3 == 0 ? noise(size, quint32(i)) : text(size, quint32(i)) });
        if (i == 40 || i == 90 || i == 150)
            entries.append({ "tree/twice.txt", text(5000 + i, quint32(i + 7)) });
    }
    entries.append(test::ArchiveEntry("clash", "a file first"));
    entries.append(test::ArchiveEntry("clash/inside", "then a folder of that name"));
    entries.append(test::ArchiveEntry("folder/then", "a folder first"));
    entries.append(test::ArchiveEntry("folder", "then a file of that name"));
    test::writeZip(m_built.filePath(QStringLiteral("mixed.zip")), entries);

    // Cabinets: blocks that stand alone, blocks that reach back into the one
    // before, a stored folder; and the same with a block in the middle of
    // the first folder damaged (libarchive meets it stepping over entries).
    QList<test::CabFolder> folders(3);
    for (int i = 0; i < 90; ++i) {
        const int size = i % 17 == 0 ? 150000 : (i % 4) * 5000 + 9;
        test::CabFile file{ "cab\\f" + QByteArray::number(i) + ".txt",
            i % 3 == 0 ? noise(size, quint32(i)) : text(size, quint32(i)) };
        folders[i % 3].files.append(file);
    }
    folders[0].typeCompress = 1;
    folders[1].typeCompress = 1;
    folders[1].history = true;
    const QByteArray cabinet = test::cabBytes(folders);
    test::writeFile(m_built.filePath(QStringLiteral("mixed.cab")), cabinet);
    QByteArray broken = cabinet;
    {
        const QString path = m_built.filePath(QStringLiteral("mixed.cab"));
        QFile in(path);
        QVERIFY(in.open(QIODevice::ReadOnly));
        const std::optional<arc::cab::Layout> layout = arc::cab::readLayout(in.handle(), in.size());
        QVERIFY(layout && layout->folders.size() == 3 && layout->folders[0].blocks.size() > 4);
        const arc::cab::DataBlock &block = layout->folders[0].blocks[layout->folders[0].blocks.size() / 2];
        broken[block.dataOffset + 10] = char(broken.at(block.dataOffset + 10) ^ 0x33);
    }
    test::writeFile(m_built.filePath(QStringLiteral("damaged-middle.cab")), broken);

    // The first entry's data damaged: the run goes back to one reader before
    // it has taken anything from the workers.
    const QString damaged = m_built.filePath(QStringLiteral("first-damaged.zip"));
    test::writeZip(damaged, entries.mid(1, 40));
    QFile file(damaged);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const auto field = [&](int at) { return int(quint8(bytes.at(at))) | int(quint8(bytes.at(at + 1))) << 8; };
    const int data = 30 + field(26) + field(28);
    QVERIFY(data + 100 < bytes.size());
    bytes[data + 50] = char(bytes.at(data + 50) ^ 0x5a);
    QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
}

void tst_ParallelExtraction::everyWayLeavesTheSameTreeAndReport_data()
{
    QTest::addColumn<QString>("archive");
    QDirIterator fixtures(test::dataPath(QStringLiteral(".")), QDir::Files, QDirIterator::Subdirectories);
    QStringList archives;
    while (fixtures.hasNext()) {
        const QString path = fixtures.next();
        if (!path.endsWith(u".json") && !path.endsWith(u".py") && !path.endsWith(u".md"))
            archives.append(path);
    }
    archives.sort();
    QVERIFY(archives.size() > 50);
    for (const QString &path : archives)
        QTest::newRow(qPrintable(QDir(test::dataPath(QStringLiteral("."))).relativeFilePath(path))) << path;
    for (const char *built : { "mixed.zip", "first-damaged.zip", "mixed.cab", "damaged-middle.cab" })
        QTest::newRow(built) << m_built.filePath(QLatin1String(built));
}

void tst_ParallelExtraction::everyWayLeavesTheSameTreeAndReport()
{
    QFETCH(QString, archive);
    QTemporaryDir sandbox;
    QStringList reference;
    for (const Way &way : kWays) {
        const QString output = sandbox.filePath(QString::fromLatin1(way.name).replace(u' ', u'-')) + u'/';
        const QStringList seen = runSteps(archive, way, output);
        if (reference.isEmpty()) {
            reference = seen;
            continue;
        }
        for (qsizetype i = 0; i < qMax(seen.size(), reference.size()); ++i) {
            const QString got = seen.value(i, QStringLiteral("(nothing)"));
            const QString wanted = reference.value(i, QStringLiteral("(nothing)"));
            QVERIFY2(got == wanted,
                qPrintable(QStringLiteral("%1, line %2:\n%3\nwhere one thread gives\n%4")
                               .arg(QLatin1String(way.name))
                               .arg(i)
                               .arg(got, wanted)));
        }
    }
}

void tst_ParallelExtraction::cancelLeavesNoTemporaryFile_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("one thread") << 1;
    QTest::newRow("workers") << 2;
}

// A stop asked for in the middle of the run: whatever was decoded ahead is
// gone, what stands is whole, and the report says it stopped.
void tst_ParallelExtraction::cancelLeavesNoTemporaryFile()
{
    QFETCH(int, threads);
    QTemporaryDir sandbox;
    const QString output = sandbox.filePath(QStringLiteral("out/"));
    arc::ExtractCommand command;
    command.archive = m_built.filePath(QStringLiteral("mixed.zip"));
    command.outputFolder = output;
    command.threads = threads;

    // Asks to stop once a third of the bytes are out.
    class StopHalfway final : public arc::RunRecorder {
    public:
        arc::ProgressState *state = nullptr;
        int files = 0;
        void folderCreated(const QStringList &) override { }
        bool keepReplaced(const QStringList &, int, const QByteArray &) override { return true; }
        void fileWritten(const QStringList &, int, const QByteArray &, quint32, bool) override
        {
            if (++files == 50)
                state->requestCancel();
        }
        void linkCreated(const QStringList &, const QByteArray &) override { }
    } recorder;
    arc::ProgressState state;
    recorder.state = &state;
    arc::setRunRecorder(&recorder);
    const arc::ExtractionResult result = arc::runExtraction(arc::ArchiveFormat::Zip, command, &state);
    arc::setRunRecorder(nullptr);

    QCOMPARE(result.code, int(arc::kResultCancelled));
    QVERIFY(QString::fromUtf8(result.report).contains(QStringLiteral("中止しました")));
    QCOMPARE(recorder.files, 50);
    const QStringList names = test::allNames(output);
    for (const QString &name : names)
        QVERIFY2(!name.contains(QStringLiteral(".~pellora-")), qPrintable(name));
    QCOMPARE(test::fileHashes(output).size(), 50);
}

// However many entries an archive holds, the workers run only so far ahead
// of the run: each entry decoded ahead holds a temporary file open.
void tst_ParallelExtraction::decodesOnlyBoundedlyAhead()
{
    if (!QDir(QStringLiteral("/proc/self/fd")).exists())
        QSKIP("no /proc here to count open files by");
    QTemporaryDir sandbox;
    const QString archive = sandbox.filePath(QStringLiteral("many.zip"));
    QList<test::ArchiveEntry> entries;
    for (int i = 0; i < 1500; ++i)
        entries.append({ "f" + QByteArray::number(i), QByteArray::number(i) });
    test::writeZip(archive, entries);

    class CountingDescriptors final : public arc::RunRecorder {
    public:
        qsizetype most = 0;
        void folderCreated(const QStringList &) override { }
        bool keepReplaced(const QStringList &, int, const QByteArray &) override { return true; }
        void fileWritten(const QStringList &, int, const QByteArray &, quint32, bool) override
        {
            most = qMax(most, QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
        }
        void linkCreated(const QStringList &, const QByteArray &) override { }
    } recorder;
    const qsizetype before = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
    arc::ExtractCommand command;
    command.archive = archive;
    command.outputFolder = sandbox.filePath(QStringLiteral("out/"));
    command.threads = 2;
    arc::setRunRecorder(&recorder);
    const arc::ExtractionResult result = arc::runExtraction(arc::ArchiveFormat::Zip, command, nullptr);
    arc::setRunRecorder(nullptr);

    QCOMPARE(result.code, int(arc::kResultOk));
    QCOMPARE(test::fileHashes(command.outputFolder).size(), 1500);
    QVERIFY2(recorder.most > before, "no file was written");
    // Two workers: 64 entries ahead at most, and a few descriptors of the run's own.
    QVERIFY2(recorder.most - before <= 64 + 16, qPrintable(QString::number(recorder.most - before)));
}

QTEST_GUILESS_MAIN(tst_ParallelExtraction)
#include "tst_ParallelExtraction.moc"
