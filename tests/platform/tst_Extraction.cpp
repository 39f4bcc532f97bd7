#include "platform/archiver/ArchiverLibrary.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "platform/archiver/Extraction.h"
#include "platform/archiver/Progress.h"
#include "platform/archiver/Report.h"
#include "platform/archiver/TempFiles.h"
#include "support/ArchiverRun.h"
#include "support/TestSupport.h"
#include "support/ZipBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace pellora;

class tst_Extraction : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void extractsEveryFixtureAsACarefulUserExpects_data();
    void extractsEveryFixtureAsACarefulUserExpects();
    void skipsDamagedLzhHeadersWhenAsked_data();
    void skipsDamagedLzhHeadersWhenAsked();
    void keepsNewerFilesAndReplacesOlderOnes();
    void replaceSwitchAlwaysReplaces_data();
    void replaceSwitchAlwaysReplaces();
    void extractsOneEntryByPath_data();
    void extractsOneEntryByPath();
    void refusesLinksAlreadyInTheOutputFolder();
    void damagedEntryNeverReplacesAFile();
    void reportsAFailedWritePerEntryAndGoesOn();
    void reportsAnOutputFolderThatCannotBeMade();
    void badCommandLineExtractsNothing();
    void cancelStopsWithinTheCurrentEntry_data();
    void cancelStopsWithinTheCurrentEntry();
    void reportIsCutToTheBufferGiven();
    void restoresTimesAndNeverSetsSpecialModeBits();
    void reportKeepsTheErrorsPastItsCap();
    void countsARunThatCannotStartAsAnError_data();
    void countsARunThatCannotStartAsAnError();
    void encryptedEntryIsNotCalledDamaged();
    void removesTemporaryFilesAKilledRunLeft();
    void restoresFolderTimesAtEveryDepth();
};

namespace {

const QString kTempMark = QStringLiteral(".~pellora-");

QString outputOf(const QTemporaryDir &sandbox)
{
    return sandbox.filePath(QStringLiteral("out")) + u'/';
}

QStringList stringList(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &v : value.toArray())
        list.append(v.toString());
    return list;
}

void setMtime(const QString &path, qint64 seconds)
{
    struct utimbuf times { };
    times.actime = times.modtime = time_t(seconds);
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Runs work with writes past limit bytes failing as on a full disk, even for root.
template <typename Work> auto withFileSizeLimit(rlim_t limit, Work work)
{
    struct rlimit saved { };
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = limit;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    const auto result = work();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    return result;
}

} // namespace

void tst_Extraction::extractsEveryFixtureAsACarefulUserExpects_data()
{
    QTest::addColumn<QJsonObject>("fixture");
    for (const QJsonValue &value : test::fixtureManifest()) {
        const QJsonObject f = value.toObject();
        if (f.value(QStringLiteral("kind")).toString().isEmpty())
            continue;
        QTest::newRow(qPrintable(f.value(QStringLiteral("file")).toString() + QStringLiteral(": ")
            + f.value(QStringLiteral("about")).toString()))
            << f;
    }
}

void tst_Extraction::extractsEveryFixtureAsACarefulUserExpects()
{
    QFETCH(QJsonObject, fixture);
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    const QStringList refused = stringList(fixture.value(QStringLiteral("refused")));
    const QStringList damaged = stringList(fixture.value(QStringLiteral("damaged")));
    const QStringList outside = { QStringLiteral("/tmp/abs-evil.txt"), QStringLiteral("/tmp/evil5.txt"),
        QStringLiteral("/evil.txt"), QDir::tempPath() + QStringLiteral("/evil.txt") };
    QMap<QString, bool> existedBefore;
    for (const QString &path : outside)
        existedBefore[path] = QFileInfo::exists(path);

    const auto run = test::extractAll(fixture.value(QStringLiteral("kind")).toString(),
        test::dataPath(fixture.value(QStringLiteral("file")).toString()), out);

    // Every expected file, byte for byte, under its correct name.
    const QJsonObject files = fixture.value(QStringLiteral("files")).toObject();
    const QMap<QString, QString> got = test::fileHashes(out);
    for (auto it = files.begin(); it != files.end(); ++it)
        QVERIFY2(got.value(it.key()) == it.value().toString(),
            qPrintable(QStringLiteral("%1 missing or wrong\n%2").arg(it.key(), run.report)));
    if (fixture.contains(QStringLiteral("files")))
        QCOMPARE(QStringList(got.keys()), QStringList(files.keys()));
    for (const QString &dir : stringList(fixture.value(QStringLiteral("dirs"))))
        QVERIFY2(QFileInfo(out + dir).isDir(), qPrintable(dir));

    // Nothing but the output folder appears in the sandbox, nothing anywhere else.
    for (const QString &name : test::allNames(sandbox.path()))
        QVERIFY2(name == u"out" || name.startsWith(u"out/"), qPrintable(name));
    for (const QString &path : outside)
        QVERIFY2(QFileInfo::exists(path) == existedBefore[path], qPrintable(path));
    // Links only where the archive has one that stays inside, pointing where it says.
    const QJsonObject links = fixture.value(QStringLiteral("links")).toObject();
    for (const QString &name : test::allNames(out)) {
        QVERIFY2(QFileInfo(out + name).isSymLink() == links.contains(name), qPrintable(name + u'\n' + run.report));
        QVERIFY2(!name.contains(kTempMark), qPrintable(name));
    }
    for (auto it = links.begin(); it != links.end(); ++it) {
        QByteArray target(4096, '\0');
        const ssize_t n = ::readlink(QFile::encodeName(out + it.key()).constData(), target.data(), 4096);
        QCOMPARE(QString::fromUtf8(target.left(qMax<ssize_t>(n, 0))), it.value().toString());
    }
    // The executable bit is kept, a set-user-id bit never.
    for (const QString &name : stringList(fixture.value(QStringLiteral("executable")))) {
        struct stat st { };
        QVERIFY2(::stat(QFile::encodeName(out + name).constData(), &st) == 0, qPrintable(name));
        QVERIFY2((st.st_mode & S_IXUSR) && !(st.st_mode & (S_ISUID | S_ISGID | S_ISVTX)), qPrintable(name));
    }

    // Each refused and damaged entry is named in the report.
    for (const QString &name : refused)
        QVERIFY2(run.report.contains(name) && run.report.contains(QStringLiteral("解凍しませんでした")),
            qPrintable(run.report));
    // A damaged header may not even yield its entry's name; then the header is reported.
    for (const QString &name : damaged) {
        QVERIFY2(run.report.contains(name) || run.report.contains(QStringLiteral("ヘッダーが壊れています")),
            qPrintable(run.report));
        QVERIFY(!QFileInfo::exists(out + name));
    }
    const bool clean = refused.isEmpty() && damaged.isEmpty() && !run.report.contains(QStringLiteral("ヘッダー"));
    QVERIFY2((run.code == arc::kResultOk) == clean, qPrintable(QString::number(run.code) + u'\n' + run.report));
    QVERIFY(run.report.contains(QStringLiteral("解凍 ")));
}

void tst_Extraction::skipsDamagedLzhHeadersWhenAsked_data()
{
    QTest::addColumn<QJsonObject>("fixture");
    for (const QJsonValue &value : test::fixtureManifest()) {
        const QJsonObject f = value.toObject();
        if (f.contains(QStringLiteral("with_jc")))
            QTest::newRow(qPrintable(f.value(QStringLiteral("about")).toString())) << f;
    }
}

void tst_Extraction::skipsDamagedLzhHeadersWhenAsked()
{
    // Without -jc the first damaged header ends the run (the fixture rows
    // above check that); with it, every sound member after one comes out.
    QFETCH(QJsonObject, fixture);
    const QJsonObject expected = fixture.value(QStringLiteral("with_jc")).toObject();
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    const auto run = test::extractAll(QStringLiteral("LZH"),
        test::dataPath(fixture.value(QStringLiteral("file")).toString()), out, QStringLiteral(" -jc"));

    QMap<QString, QString> files;
    const QJsonObject wanted = expected.value(QStringLiteral("files")).toObject();
    for (auto it = wanted.begin(); it != wanted.end(); ++it)
        files.insert(it.key(), it.value().toString());
    QCOMPARE(test::fileHashes(out), files);
    for (const QString &name : stringList(fixture.value(QStringLiteral("damaged"))))
        QVERIFY2(!QFileInfo::exists(out + name), qPrintable(name));

    // Each damaged stretch once, with where it starts and how long it is.
    const QJsonArray skipped = expected.value(QStringLiteral("skipped")).toArray();
    QCOMPARE(run.report.count(QStringLiteral("ヘッダーが壊れています")), skipped.size());
    for (const QJsonValue &stretch : skipped) {
        const QString text
            = QStringLiteral("%1 バイト目から %2 バイトを読み飛ばしました")
                  .arg(arc::groupedNumber(stretch[0].toInteger()), arc::groupedNumber(stretch[1].toInteger()));
        QVERIFY2(run.report.contains(text), qPrintable(text + u'\n' + run.report));
    }
    QVERIFY2(!run.report.contains(QStringLiteral("途中で終了しました")), qPrintable(run.report));
    QCOMPARE(run.code, int(arc::kResultEntryErrors));
}

void tst_Extraction::keepsNewerFilesAndReplacesOlderOnes()
{
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    const QString archive = test::dataPath(QStringLiteral("zip/deflate.zip"));
    test::extractAll(QStringLiteral("ZIP"), archive, out);
    const qint64 archived = QFileInfo(out + QStringLiteral("readme.txt")).lastModified().toSecsSinceEpoch();
    const QByteArray original = contents(out + QStringLiteral("readme.txt"));

    // Older than the archive's copy: replaced. Newer, or the same age: kept.
    test::writeFile(out + QStringLiteral("readme.txt"), "old copy");
    setMtime(out + QStringLiteral("readme.txt"), archived - 86400);
    test::writeFile(out + QStringLiteral("doc/manual.txt"), "my edited manual");
    setMtime(out + QStringLiteral("doc/manual.txt"), archived + 86400);
    test::writeFile(out + QStringLiteral("empty.txt"), "same age");
    setMtime(out + QStringLiteral("empty.txt"), archived);

    const auto run = test::extractAll(QStringLiteral("ZIP"), archive, out);
    QCOMPARE(contents(out + QStringLiteral("readme.txt")), original);
    QCOMPARE(contents(out + QStringLiteral("doc/manual.txt")), QByteArray("my edited manual"));
    QCOMPARE(contents(out + QStringLiteral("empty.txt")), QByteArray("same age"));
    QVERIFY2(run.report.contains(QStringLiteral("readme.txt  37 バイト  上書きしました")), qPrintable(run.report));
    QVERIFY2(run.report.contains(
                 QStringLiteral("doc/manual.txt  40,000 バイト  既存のファイルが同じか新しいので残しました")),
        qPrintable(run.report));
    QCOMPARE(run.code, int(arc::kResultOk));
}

void tst_Extraction::replaceSwitchAlwaysReplaces_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("replace");
    QTest::newRow("LZH -c") << "LZH"
                            << "lzh/lh6.lzh"
                            << " -c";
    QTest::newRow("ZIP -o") << "ZIP"
                            << "zip/stored.zip"
                            << " -o";
    QTest::newRow("CAB -o") << "CAB"
                            << "cab/mszip.cab"
                            << " -o";
}

void tst_Extraction::replaceSwitchAlwaysReplaces()
{
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QFETCH(QString, replace);
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    const QString archive = test::dataPath(file);
    test::extractAll(kind, archive, out);
    const QByteArray original = contents(out + QStringLiteral("readme.txt"));
    test::writeFile(out + QStringLiteral("readme.txt"), "newer local copy");
    setMtime(out + QStringLiteral("readme.txt"), QDateTime::currentSecsSinceEpoch() + 3600);

    test::extractAll(kind, archive, out);
    QCOMPARE(contents(out + QStringLiteral("readme.txt")), QByteArray("newer local copy"));
    const auto run = test::extractAll(kind, archive, out, replace);
    QCOMPARE(contents(out + QStringLiteral("readme.txt")), original);
    QVERIFY2(run.report.contains(QStringLiteral("上書きしました")), qPrintable(run.report));
}

void tst_Extraction::extractsOneEntryByPath_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("produced");

    QTest::newRow("LZH -p names the entry by its full path")
        << "UNLHA32.DLL"
        << R"(x -a1 -jp1 -n -p "%1/lzh/lh5.lzh" "%2" "doc/manual.txt")" << QStringList{ "doc/manual.txt" };
    QTest::newRow("LZH -p takes the DOS separator too")
        << "UNLHA32.DLL"
        << R"(x -a1 -jp1 -n -p "%1/lzh/lh5.lzh" "%2" "deep\a\b\c.txt")" << QStringList{ "deep/a/b/c.txt" };
    QTest::newRow("LZH -p with a name that is only in a folder extracts nothing")
        << "UNLHA32.DLL"
        << R"(x -a1 -jp1 -n -p "%1/lzh/lh5.lzh" "%2" "manual.txt")" << QStringList{};
    QTest::newRow("LZH without -p matches the file name in any folder")
        << "UNLHA32.DLL"
        << R"(x -a1 -jp1 -n "%1/lzh/lh5.lzh" "%2" "c.txt")" << QStringList{ "deep/a/b/c.txt" };
    QTest::newRow("ZIP names the entry by its path")
        << "UNZIP32.DLL"
        << R"(-x -i --i "%1/zip/deflate.zip" "%2" "doc/data.bin")" << QStringList{ "doc/data.bin" };
    QTest::newRow("CAB names the entry by its DOS path")
        << "CAB32.DLL"
        << R"(-x -k -n -i "%1/cab/nested-folders.cab" "%2" "left\readme.txt")" << QStringList{ "left/readme.txt" };
}

void tst_Extraction::extractsOneEntryByPath()
{
    QFETCH(QString, library);
    QFETCH(QString, line);
    QFETCH(QStringList, produced);
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    const auto run = test::runCommand(library, line.arg(test::dataPath(QString()), out));
    QCOMPARE(QStringList(test::fileHashes(out).keys()), produced);
    QCOMPARE(run.code, int(arc::kResultOk));
}

void tst_Extraction::refusesLinksAlreadyInTheOutputFolder()
{
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    const QString victim = sandbox.filePath(QStringLiteral("victim"));
    QDir().mkpath(victim);
    QDir().mkpath(out);
    test::writeFile(victim + QStringLiteral("/precious.txt"), "precious");
    // A folder of the archive's tree and one of its files are links that lead out.
    QVERIFY(QFile::link(victim, out + QStringLiteral("doc")));
    QVERIFY(QFile::link(victim + QStringLiteral("/precious.txt"), out + QStringLiteral("readme.txt")));

    const auto run = test::extractAll(
        QStringLiteral("LZH"), test::dataPath(QStringLiteral("lzh/lh5.lzh")), out, QStringLiteral(" -c"));
    QCOMPARE(test::allNames(victim), QStringList{ QStringLiteral("precious.txt") });
    QCOMPARE(contents(victim + QStringLiteral("/precious.txt")), QByteArray("precious"));
    QVERIFY(QFileInfo(out + QStringLiteral("readme.txt")).isSymLink());
    QVERIFY2(run.report.contains(QStringLiteral("doc/manual.txt  40,000 バイト  解凍しませんでした")),
        qPrintable(run.report));
    QVERIFY2(run.report.contains(QStringLiteral("readme.txt  37 バイト  解凍しませんでした")), qPrintable(run.report));
    // The rest still comes out.
    QVERIFY(QFileInfo::exists(out + QStringLiteral("deep/a/b/c.txt")));
    QCOMPARE(run.code, int(arc::kResultEntryErrors));
}

void tst_Extraction::damagedEntryNeverReplacesAFile()
{
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    test::writeFile(out + QStringLiteral("bad.txt"), "keep me");
    setMtime(out + QStringLiteral("bad.txt"), 0);
    const auto run = test::extractAll(
        QStringLiteral("ZIP"), test::dataPath(QStringLiteral("zip/crc-error.zip")), out, QStringLiteral(" -o"));
    QCOMPARE(contents(out + QStringLiteral("bad.txt")), QByteArray("keep me"));
    QVERIFY2(run.report.contains(QStringLiteral("破損しています (CRC エラー")), qPrintable(run.report));
    for (const QString &name : test::allNames(out))
        QVERIFY2(!name.contains(kTempMark), qPrintable(name));
}

void tst_Extraction::reportsAFailedWritePerEntryAndGoesOn()
{
    // A file-size limit makes writes fail as a full disk would, even for root.
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    struct rlimit saved { };
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 8192;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const auto run = test::extractAll(QStringLiteral("LZH"), test::dataPath(QStringLiteral("lzh/lh7.lzh")), out);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    QVERIFY2(run.report.contains(QStringLiteral("doc/manual.txt  40,000 バイト  書き込めませんでした")),
        qPrintable(run.report));
    QVERIFY(!QFileInfo::exists(out + QStringLiteral("doc/manual.txt")));
    QVERIFY(QFileInfo::exists(out + QStringLiteral("deep/a/b/c.txt")));
    for (const QString &name : test::allNames(out))
        QVERIFY2(!name.contains(kTempMark), qPrintable(name));
    QCOMPARE(run.code, int(arc::kResultEntryErrors));
}

void tst_Extraction::reportsAnOutputFolderThatCannotBeMade()
{
    QTemporaryDir sandbox;
    test::writeFile(sandbox.filePath(QStringLiteral("file")), "x");
    const auto run = test::extractAll(QStringLiteral("CAB"), test::dataPath(QStringLiteral("cab/stored.cab")),
        sandbox.filePath(QStringLiteral("file/out/")));
    QCOMPARE(run.code, int(arc::kResultOutputFolder));
    QVERIFY2(run.report.contains(QStringLiteral("解凍先フォルダを作成できません")), qPrintable(run.report));
}

void tst_Extraction::badCommandLineExtractsNothing()
{
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    const auto run = test::runCommand(QStringLiteral("UNLHA32.DLL"),
        QStringLiteral(R"(x -a1 -jp1 -q "%1" "%2" "*.*")").arg(test::dataPath(QStringLiteral("lzh/lh5.lzh")), out));
    QCOMPARE(run.code, int(arc::kResultBadCommand));
    QVERIFY2(run.report.contains(QStringLiteral("-q")), qPrintable(run.report));
    QVERIFY(!QFileInfo::exists(out));
}

namespace {
// Asks the run to stop before it starts, the way a quick click on cancel would.
class CancellingHost final : public arc::ProgressHost {
public:
    QObject *owner = nullptr;
    int runs = 0;
    void run(QObject *ownerWindow, arc::ProgressState &state, const std::function<void()> &work) override
    {
        owner = ownerWindow;
        ++runs;
        state.requestCancel();
        work();
    }
};
} // namespace

void tst_Extraction::cancelStopsWithinTheCurrentEntry_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("one thread") << 1;
    QTest::newRow("workers") << 3;
}

void tst_Extraction::cancelStopsWithinTheCurrentEntry()
{
    QFETCH(int, threads);
    arc::setDecodingDefaults(threads, true);
    const auto defaults = qScopeGuard([] { arc::setDecodingDefaults(0, true); });
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    CancellingHost host;
    arc::setProgressHost(&host);
    QObject owner;
    const auto lib = arc::ArchiverRegistry::find(QStringLiteral("UNZIP32.DLL"));
    char buffer[4096];
    const int code = lib->Command(&owner,
        QStringLiteral(R"(-x -i "%1" "%2" "*.*")").arg(test::dataPath(QStringLiteral("zip/deflate.zip")), out), buffer,
        sizeof buffer);
    // With the no-progress switch the host is not involved.
    const int quiet = lib->Command(&owner,
        QStringLiteral(R"(-x -i --i "%1" "%2" "*.*")")
            .arg(test::dataPath(QStringLiteral("zip/stored.zip")), sandbox.filePath(QStringLiteral("quiet/"))),
        buffer + 2048, 2048);
    arc::setProgressHost(nullptr);

    QCOMPARE(host.runs, 1);
    QCOMPARE(host.owner, &owner);
    QCOMPARE(code, int(arc::kResultCancelled));
    QCOMPARE(quiet, int(arc::kResultOk));
    const QString report = QString::fromUtf8(buffer);
    QVERIFY2(report.contains(QStringLiteral("中止しました")), qPrintable(report));
    // Asked before the first entry's data was written: not even that one is
    // finished, and nothing of it is left behind.
    QCOMPARE(report.count(u'\n'), 1);
    QCOMPARE(test::allNames(out), QStringList());
}

void tst_Extraction::reportIsCutToTheBufferGiven()
{
    QTemporaryDir sandbox;
    const auto lib = arc::ArchiverRegistry::find(QStringLiteral("UNLHA32.DLL"));
    char buffer[64];
    std::memset(buffer, 'X', sizeof buffer);
    lib->Command(nullptr,
        QStringLiteral(R"(x -n "%1" "%2" "*.*")")
            .arg(test::dataPath(QStringLiteral("lzh/sjis-names.lzh")), outputOf(sandbox)),
        buffer, 40);
    QVERIFY(std::memchr(buffer, '\0', 40) != nullptr);
    QCOMPARE(buffer[40], 'X');
    QVERIFY(!QString::fromUtf8(buffer).contains(QChar::ReplacementCharacter));
}

void tst_Extraction::restoresTimesAndNeverSetsSpecialModeBits()
{
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    const mode_t mask = ::umask(027);
    test::extractAll(QStringLiteral("ZIP"), test::dataPath(QStringLiteral("zip/deflate.zip")), out);
    ::umask(mask);
    for (const QString &name :
        { QStringLiteral("readme.txt"), QStringLiteral("doc"), QStringLiteral("doc/manual.txt") }) {
        struct stat st { };
        QCOMPARE(::lstat(QFile::encodeName(out + name).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07027, 0u); // no set-id or sticky bit; the umask applied
        const int year = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).date().year();
        QVERIFY2(year >= 2019 && year <= 2021, qPrintable(name));
    }
    // A program keeps its execute bits but never its set-uid bit.
    test::extractAll(QStringLiteral("ZIP"), test::dataPath(QStringLiteral("zip/odd-entries.zip")), out);
    struct stat st { };
    QCOMPARE(::lstat(QFile::encodeName(out + QStringLiteral("setuid.sh")).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0777 & ~mask));
}

void tst_Extraction::reportKeepsTheErrorsPastItsCap()
{
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    const QString archive = sandbox.filePath(QStringLiteral("many.zip"));
    QList<test::ZipEntry> entries;
    for (int i = 0; i < 2000; ++i)
        entries.append({ QStringLiteral("small/%1.txt").arg(i, 4, 10, QLatin1Char('0')).toUtf8(), "x" });
    entries.append({ "big.bin", QByteArray(16384, 'b') });
    test::writeZip(archive, entries);

    const auto run = withFileSizeLimit(8192, [&] { return test::extractAll(QStringLiteral("ZIP"), archive, out); });
    QVERIFY(run.report.toUtf8().size() < 64000);
    QVERIFY2(
        run.report.contains(QStringLiteral("\nbig.bin  16,384 バイト  書き込めませんでした")), qPrintable(run.report));
    QVERIFY(run.report.contains(QStringLiteral("行を省略しました")));
    QVERIFY2(run.report.endsWith(QStringLiteral("解凍 2000 個、スキップ 0 個、拒否 0 個、エラー 1 個\n")),
        qPrintable(run.report.right(200)));
    QCOMPARE(run.code, int(arc::kResultEntryErrors));
}

void tst_Extraction::countsARunThatCannotStartAsAnError_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("archive"); // below the sandbox, or under tests/data when it starts with ":"
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("code");
    QTest::newRow("output folder below a file") << "CAB"
                                                << ":cab/stored.cab"
                                                << "file/out/" << int(arc::kResultOutputFolder);
    QTest::newRow("archive that is not there") << "ZIP"
                                               << "missing.zip"
                                               << "out/" << int(arc::kResultCannotOpen);
}

void tst_Extraction::countsARunThatCannotStartAsAnError()
{
    QFETCH(QString, kind);
    QFETCH(QString, archive);
    QFETCH(QString, output);
    QFETCH(int, code);
    QTemporaryDir sandbox;
    test::writeFile(sandbox.filePath(QStringLiteral("file")), "x");
    const QString path = archive.startsWith(u':') ? test::dataPath(archive.mid(1)) : sandbox.filePath(archive);
    const auto run = test::extractAll(kind, path, sandbox.filePath(output));
    QCOMPARE(run.code, code);
    QVERIFY2(run.report.endsWith(QStringLiteral("エラー 1 個\n")), qPrintable(run.report));
}

void tst_Extraction::encryptedEntryIsNotCalledDamaged()
{
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    const QString archive = sandbox.filePath(QStringLiteral("locked.zip"));
    test::writeZip(archive, { { "secret.txt", "hello", true }, { "plain.txt", "open" } });
    const auto run = test::extractAll(QStringLiteral("ZIP"), archive, out);
    QVERIFY2(run.report.contains(QStringLiteral("secret.txt  5 バイト  解凍しませんでした (暗号化されています)\n")),
        qPrintable(run.report));
    QVERIFY2(!run.report.contains(QStringLiteral("破損")), qPrintable(run.report));
    QVERIFY(!QFileInfo::exists(out + QStringLiteral("secret.txt")));
    QCOMPARE(contents(out + QStringLiteral("plain.txt")), QByteArray("open"));
    QVERIFY(run.report.endsWith(QStringLiteral("エラー 1 個\n")));
    QCOMPARE(run.code, int(arc::kResultEntryErrors));
}

void tst_Extraction::removesTemporaryFilesAKilledRunLeft()
{
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    const QString archive = sandbox.filePath(QStringLiteral("a.zip"));
    test::writeZip(archive, { { "top.txt", "top" }, { "doc/inner.txt", "inner" } });
    // What a killed run leaves: unlocked temporary files, in the folder and below it.
    const QStringList abandoned
        = { kTempMark + QStringLiteral("1abc.tmp"), QStringLiteral("doc/") + kTempMark + QStringLiteral("zz9.tmp") };
    // Names that are not quite ours, a link that leads out, a folder.
    const QStringList foreign = { kTempMark + QStringLiteral("ABC.tmp"), kTempMark + QStringLiteral(".tmp"),
        kTempMark + QStringLiteral("abc.tmp.part"), QStringLiteral("~pellora-abc.tmp"),
        QStringLiteral("doc/") + kTempMark + QStringLiteral("abc") };
    for (const QString &name : abandoned + foreign)
        test::writeFile(out + name, QByteArray(4096, 'x'));
    const QString victim = sandbox.filePath(QStringLiteral("victim.txt"));
    test::writeFile(victim, "mine");
    QVERIFY(QFile::link(victim, out + kTempMark + QStringLiteral("link.tmp")));
    QVERIFY(QDir().mkpath(out + kTempMark + QStringLiteral("dir.tmp")));
    // And one that another run is writing at this moment.
    const int dirFd = ::open(QFile::encodeName(out).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QByteArray liveName;
    const int live = arc::createTempFile(dirFd, 0666, &liveName);
    QVERIFY(live >= 0);

    const auto run = test::extractAll(QStringLiteral("ZIP"), archive, out);
    const bool liveKept = QFileInfo::exists(out + QFile::decodeName(liveName));
    ::close(live);
    ::close(dirFd);
    QCOMPARE(run.code, int(arc::kResultOk));
    QVERIFY(liveKept);
    for (const QString &name : abandoned)
        QVERIFY2(!QFileInfo::exists(out + name), qPrintable(name));
    for (const QString &name : foreign)
        QVERIFY2(QFileInfo::exists(out + name), qPrintable(name));
    QVERIFY(QFileInfo(out + kTempMark + QStringLiteral("link.tmp")).isSymLink());
    QCOMPARE(contents(victim), QByteArray("mine"));
    QVERIFY(QFileInfo(out + kTempMark + QStringLiteral("dir.tmp")).isDir());
}

void tst_Extraction::restoresFolderTimesAtEveryDepth()
{
    QTemporaryDir sandbox;
    const QString out = outputOf(sandbox);
    test::extractAll(QStringLiteral("ZIP"), test::dataPath(QStringLiteral("zip/folder-times.zip")), out);
    // a/b is listed twice; its first entry counts.
    const QList<std::pair<QString, int>> years = { { QStringLiteral("a"), 2001 }, { QStringLiteral("a/b"), 2002 },
        { QStringLiteral("a/b/c"), 2003 }, { QStringLiteral("z"), 2004 }, { QStringLiteral("a/b/d"), 2005 } };
    for (const auto &[folder, year] : years)
        QCOMPARE(QFileInfo(out + folder).lastModified().date().year(), year);
}

QTEST_GUILESS_MAIN(tst_Extraction)
#include "tst_Extraction.moc"
