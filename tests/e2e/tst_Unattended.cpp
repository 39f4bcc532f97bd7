// The runs nobody watches, through the real program without any display:
// "--route" and its exit codes, "--watch" and the downloads it routes.

#include "core/ItemFile.h"
#include "core/ItemOptions.h"
#include "core/modRegistry.h"
#include "support/PortableProgram.h"
#include "support/TestSupport.h"
#include "support/ZipBuilder.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <memory>

using namespace pellora;

namespace {

// The desktop's notification service as far as the program uses it: records
// every notification and answers with its number.
class FakeNotifications final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString summary;
        QString body;
        QStringList actions;
    };
    QList<Shown> shown;

public Q_SLOTS:
    uint Notify(const QString &application, uint replaces, const QString &icon, const QString &summary,
        const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        Q_UNUSED(application);
        Q_UNUSED(replaces);
        Q_UNUSED(icon);
        Q_UNUSED(hints);
        Q_UNUSED(timeout);
        shown.append({ summary, body, actions });
        return uint(shown.size());
    }
};

struct Run {
    int code = -1;
    QString out;
};

} // namespace

class tst_Unattended : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void routeExitCodes_data();
    void routeExitCodes();
    void routeEscapesNamesInItsReport();
    void routeFollowsTheItemsNameOptions();
    void watchRoutesCompleteDownloadsOnce_data();
    void watchRoutesCompleteDownloadsOnce();
    void watchLeavesFilesAlone_data();
    void watchLeavesFilesAlone();
    void watchNotifiesThroughTheSessionBus();

private:
    QTemporaryDir m_config; // QSettings keeps the first folder it found: one for all
    std::unique_ptr<test::PortableProgram> m_app;
    QString target() const { return m_app->path(QStringLiteral("Tool/")); }
    void writeItems(const QStringList &patterns);
    Run route(const QStringList &archives);
    void startWatching(QProcess &process, const QString &folder, const QString &busAddress = {});
    static void waitFor(QProcess &process, QString &out, const QString &text, int timeoutMs);
};

void tst_Unattended::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
}

void tst_Unattended::init()
{
    m_app = std::make_unique<test::PortableProgram>(QStringLiteral(PELLORA_BINARY));
    QVERIFY(m_app->isValid());
    // Configured to take the archive away, so that an archive left where it
    // was shows a run that did not let it go.
    core::DeleteSettingsKey();
    core::writeNumber(core::setting(u"ArchiveOperation"), 2);
    core::writeText(core::setting(u"ArchiveOperationFolder"), m_app->path(QStringLiteral("keep/")));
    core::writeYesNo(core::setting(u"ArchiveOperationTargetFolder"), false);
    // Would start a program if the route opened the folder.
    core::writeYesNo(core::setting(u"RunExplorer"), true);
    core::writeText(core::setting(u"DefaultFiler"), QStringLiteral("touch ") + m_app->path(QStringLiteral("filer")));
}

void tst_Unattended::writeItems(const QStringList &patterns)
{
    QList<core::ItemRecord> records;
    for (const QString &pattern : patterns)
        records.append({ QStringLiteral("Tool ") + pattern, pattern, target(), QStringLiteral("readme.txt") });
    QVERIFY(!core::ItemFile(m_app->itemListPath()).write(records).has_value());
}

Run tst_Unattended::route(const QStringList &archives)
{
    QProcess process;
    process.setProcessEnvironment(m_app->environment());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(m_app->program(), QStringList{ QStringLiteral("--route") } + archives);
    Run run;
    // A window or a question would keep it waiting here.
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    return run;
}

void tst_Unattended::routeExitCodes_data()
{
    QTest::addColumn<QStringList>("fixtures"); // "" names a file that does not exist
    QTest::addColumn<QStringList>("patterns");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("extracted"); // the first fixture's files in the target, the archive kept away

    const QStringList deflate{ QStringLiteral("zip/deflate.zip") };
    QTest::newRow("one match") << deflate << QStringList{ "def*.zip" } << 0 << true;
    QTest::newRow("an LZH, pattern in other case")
        << QStringList{ "lzh/lh5.lzh" } << QStringList{ "LH5*.LZH" } << 0 << true;
    QTest::newRow("no match") << deflate << QStringList{ "other*.zip" } << 3 << false;
    QTest::newRow("no item list") << deflate << QStringList{} << 3 << false;
    QTest::newRow("two matches") << deflate << QStringList{ "def*.zip", "*.zip" } << 4 << false;
    QTest::newRow("damaged entries") << QStringList{ "zip/crc-error.zip" } << QStringList{ "*.zip" } << 5 << false;
    QTest::newRow("an entry escaping its folder")
        << QStringList{ "zip/hostile-dotdot.zip" } << QStringList{ "*.zip" } << 5 << false;
    QTest::newRow("not an archive") << QStringList{ "misc/notes.txt" } << QStringList{ "*" } << 6 << false;
    QTest::newRow("random bytes named .zip") << QStringList{ "misc/random.zip" } << QStringList{ "*" } << 6 << false;
    QTest::newRow("no such file") << QStringList{ "" } << QStringList{ "*" } << 6 << false;
    QTest::newRow("no archive named") << QStringList{} << QStringList{ "*" } << 2 << false;
    QTest::newRow("several: the worst outcome")
        << QStringList{ "zip/deflate.zip", "misc/notes.txt" } << QStringList{ "def*.zip" } << 6 << true;
}

void tst_Unattended::routeExitCodes()
{
    QFETCH(QStringList, fixtures);
    QFETCH(QStringList, patterns);
    QFETCH(int, code);
    QFETCH(bool, extracted);
    if (!patterns.isEmpty())
        writeItems(patterns);
    QStringList archives;
    for (const QString &fixture : fixtures) {
        archives << (fixture.isEmpty()
                ? m_app->path(QStringLiteral("dl/missing.zip"))
                : m_app->copyFixture(fixture, QStringLiteral("dl/") + fixture.section(u'/', -1)));
    }

    const Run run = route(archives);

    QCOMPARE(run.code, code);
    QCOMPARE(run.out.count(u'\n') >= archives.size(), true);
    QVERIFY2(!QFile::exists(m_app->path(QStringLiteral("filer"))), "the route opened the folder");
    if (extracted) {
        QCOMPARE(test::fileHashes(target()), test::PortableProgram::expectedFiles(fixtures.first()));
        QVERIFY(!QFile::exists(archives.first()));
        QVERIFY(QFile::exists(m_app->path(QStringLiteral("keep/")) + fixtures.first().section(u'/', -1)));
        return;
    }
    // Whatever went wrong, every archive that was there is still there.
    for (const QString &archive : archives)
        QVERIFY2(archive.endsWith(u"missing.zip") || QFile::exists(archive), qPrintable(archive));
    if (code != 5)
        QVERIFY(!QFileInfo::exists(target()));
}

void tst_Unattended::routeEscapesNamesInItsReport()
{
    writeItems({ QStringLiteral("evil*.zip") });
    const QString archive
        = m_app->copyFixture(QStringLiteral("zip/deflate.zip"), QStringLiteral("dl/evil\n\x1b[2J.zip"));
    QVERIFY(!archive.isEmpty());

    const Run run = route({ archive });

    QCOMPARE(run.code, 0);
    QVERIFY2(run.out.contains(QStringLiteral("evil\\n\\x1b[2J.zip")), qPrintable(run.out));
    QVERIFY(!run.out.contains(u'\x1b'));
}

void tst_Unattended::routeFollowsTheItemsNameOptions()
{
    // A versioned top folder and a name written on a Chinese system: the
    // item asks for both to be undone.
    writeItems({ QStringLiteral("foo-*.zip") });
    const core::ItemRecord item = core::ItemFile(m_app->itemListPath()).read().records.value(0);
    core::ItemOptionsMap options;
    options[item].stripTopFolder = true;
    options[item].nameEncoding = QStringLiteral("GBK");
    QVERIFY(!core::ItemOptionsFile(m_app->itemListPath()).write(options));
    const QString archive = m_app->path(QStringLiteral("dl/foo-1.2.3.zip"));
    test::writeZip(archive,
        { { "foo-1.2.3/", {}, false, false }, { "foo-1.2.3/readme.txt", "read me", false, false },
            { "foo-1.2.3/doc/\xd6\xd0\xce\xc4.txt", "zh", false, false } });

    const Run run = route({ archive });

    QCOMPARE(run.code, 0);
    QCOMPARE(test::fileHashes(target()).keys(),
        QStringList({ QStringLiteral("doc/中文.txt"), QStringLiteral("readme.txt") }));
    QVERIFY2(
        run.out.contains(QStringLiteral("先頭のフォルダ foo-1.2.3/ を取り除いて解凍しました")), qPrintable(run.out));
}

void tst_Unattended::startWatching(QProcess &process, const QString &folder, const QString &busAddress)
{
    QProcessEnvironment environment = m_app->environment();
    if (!busAddress.isEmpty())
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    environment.insert(QStringLiteral("PELLORA_WATCH_INTERVAL_MS"), QStringLiteral("250"));
    process.setProcessEnvironment(environment);
    QDir().mkpath(folder);
    process.start(m_app->program(), { QStringLiteral("--watch"), folder });
    QVERIFY(process.waitForStarted(30000));
    QString err;
    QElapsedTimer clock;
    clock.start();
    while (!err.contains(QStringLiteral("監視しています")) && clock.elapsed() < 30000
        && process.state() == QProcess::Running) {
        process.waitForReadyRead(200);
        err += QString::fromUtf8(process.readAllStandardError());
    }
    QVERIFY2(err.contains(QStringLiteral("監視しています")), qPrintable(err));
}

void tst_Unattended::waitFor(QProcess &process, QString &out, const QString &text, int timeoutMs)
{
    // Events run meanwhile: a service of this process may be called.
    QTest::qWaitFor(
        [&] {
            out += QString::fromUtf8(process.readAllStandardOutput());
            return out.contains(text);
        },
        timeoutMs);
}

// How a download arrives in the folder before its archive is whole.
enum class Arrival { RenamedFromPart, GrowingInPieces, HeldOpenForWriting };

void tst_Unattended::watchRoutesCompleteDownloadsOnce_data()
{
    QTest::addColumn<int>("arrival");
    QTest::newRow("written as .part, then renamed") << int(Arrival::RenamedFromPart);
    QTest::newRow("growing in pieces, closed between them") << int(Arrival::GrowingInPieces);
    QTest::newRow("held open for writing, not growing") << int(Arrival::HeldOpenForWriting);
}

void tst_Unattended::watchRoutesCompleteDownloadsOnce()
{
    QFETCH(int, arrival);
    // The pattern also matches the partial name: only the watcher's care
    // keeps it from being routed early.
    writeItems({ QStringLiteral("deflate*") });
    core::writeNumber(core::setting(u"ArchiveOperation"), 0); // the archive stays, and must not be routed again
    const QString folder = m_app->path(QStringLiteral("dl"));
    QProcess watcher;
    startWatching(watcher, folder);

    QFile source(test::dataPath(QStringLiteral("zip/deflate.zip")));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    const QString archive = folder + QStringLiteral("/deflate.zip");
    QString out;
    const auto appendPiece = [&](const QString &path, qsizetype from, qsizetype length) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        QCOMPARE(file.write(bytes.mid(from, length)), qMin(length, bytes.size() - from));
    };
    const qsizetype half = bytes.size() / 2;
    switch (Arrival(arrival)) {
    case Arrival::RenamedFromPart:
        appendPiece(archive + QStringLiteral(".part"), 0, bytes.size());
        waitFor(watcher, out, QStringLiteral("deflate"), 1500);
        QVERIFY2(out.isEmpty(), qPrintable(out));
        QVERIFY(QFile::rename(archive + QStringLiteral(".part"), archive));
        break;
    case Arrival::GrowingInPieces:
        // Pieces come faster than two checks, so the size never settles.
        for (qsizetype at = 0; at < bytes.size(); at += qMax<qsizetype>(1, bytes.size() / 20)) {
            appendPiece(archive, at, qMax<qsizetype>(1, bytes.size() / 20));
            waitFor(watcher, out, QStringLiteral("deflate"), 80);
            QVERIFY2(out.isEmpty(), qPrintable(out));
        }
        break;
    case Arrival::HeldOpenForWriting: {
        QFile file(archive);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes.left(half)), half);
        QVERIFY(file.flush());
        waitFor(watcher, out, QStringLiteral("deflate"), 1500);
        QVERIFY2(out.isEmpty(), qPrintable(out));
        QCOMPARE(file.write(bytes.mid(half)), bytes.size() - half);
        break;
    }
    }

    waitFor(watcher, out, QStringLiteral("deflate"), 20000);
    QVERIFY2(out.contains(QStringLiteral("deflate.zip: 解凍しました")), qPrintable(out));
    QCOMPARE(test::fileHashes(target()), test::PortableProgram::expectedFiles(QStringLiteral("zip/deflate.zip")));
    // Another arrival makes the watcher look at the folder again; the routed
    // archive, still there, is not routed a second time.
    test::writeFile(folder + QStringLiteral("/notes.txt"), "x");
    waitFor(watcher, out, QStringLiteral("notes.txt"), 5000);
    QCOMPARE(out.count(QStringLiteral("deflate.zip:")), 1);

    watcher.terminate();
    QVERIFY(watcher.waitForFinished(10000));
    QCOMPARE(watcher.exitStatus(), QProcess::NormalExit);
    QCOMPARE(watcher.exitCode(), 0);
}

void tst_Unattended::watchLeavesFilesAlone_data()
{
    QTest::addColumn<bool>("presentAtStart");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("there before watching started") << true << "deflate*";
    QTest::newRow("matching no item") << false << "other*";
}

void tst_Unattended::watchLeavesFilesAlone()
{
    QFETCH(bool, presentAtStart);
    QFETCH(QString, pattern);
    writeItems({ pattern });
    const QString folder = m_app->path(QStringLiteral("dl"));
    if (presentAtStart)
        m_app->copyFixture(QStringLiteral("zip/deflate.zip"), QStringLiteral("dl/deflate.zip"));
    QProcess watcher;
    startWatching(watcher, folder);
    if (!presentAtStart)
        m_app->copyFixture(QStringLiteral("zip/deflate.zip"), QStringLiteral("dl/deflate.zip"));
    // A later arrival that is routed shows the watcher has looked since.
    writeItems({ pattern, QStringLiteral("lh5*") });
    m_app->copyFixture(QStringLiteral("lzh/lh5.lzh"), QStringLiteral("dl/lh5.lzh"));
    QString out;
    waitFor(watcher, out, QStringLiteral("lh5.lzh: 解凍しました"), 20000);
    QVERIFY2(out.contains(QStringLiteral("lh5.lzh: 解凍しました")), qPrintable(out));

    QVERIFY(!out.contains(QStringLiteral("deflate.zip: 解凍")));
    QFile fixture(test::dataPath(QStringLiteral("zip/deflate.zip")));
    QVERIFY(fixture.open(QIODevice::ReadOnly));
    QCOMPARE(test::fileHashes(folder).value(QStringLiteral("deflate.zip")),
        QString::fromLatin1(test::sha256Hex(fixture.readAll())));
    QCOMPARE(test::fileHashes(target()), test::PortableProgram::expectedFiles(QStringLiteral("lzh/lh5.lzh")));

    watcher.terminate();
    QVERIFY(watcher.waitForFinished(10000));
    QCOMPARE(watcher.exitCode(), 0);
}

void tst_Unattended::watchNotifiesThroughTheSessionBus()
{
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
        { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
    if (!daemon.waitForStarted(10000))
        QSKIP("dbus-daemon is not installed");
    QVERIFY(daemon.waitForReadyRead(10000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    const auto stopDaemon = qScopeGuard([&] {
        daemon.terminate();
        daemon.waitForFinished(5000);
    });
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("fake-notifications"));
        QVERIFY2(bus.isConnected(), qPrintable(address));
        FakeNotifications service;
        QVERIFY(bus.registerObject(
            QStringLiteral("/org/freedesktop/Notifications"), &service, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));

        writeItems({ QStringLiteral("deflate*"), QStringLiteral("lh*"), QStringLiteral("lh5*") });
        const QString folder = m_app->path(QStringLiteral("dl"));
        QDir().mkpath(folder);
        QProcess watcher;
        startWatching(watcher, folder, address);
        QString out;
        // Matching none, then two items, then one: only the last two say so.
        m_app->copyFixture(QStringLiteral("zip/stored.zip"), QStringLiteral("dl/stored.zip"));
        waitFor(watcher, out, QStringLiteral("stored.zip:"), 20000);
        m_app->copyFixture(QStringLiteral("lzh/lh5.lzh"), QStringLiteral("dl/lh5.lzh"));
        waitFor(watcher, out, QStringLiteral("lh5.lzh:"), 20000);
        m_app->copyFixture(QStringLiteral("zip/deflate.zip"), QStringLiteral("dl/deflate.zip"));
        waitFor(watcher, out, QStringLiteral("deflate.zip:"), 20000);
        QVERIFY(QTest::qWaitFor([&] { return service.shown.size() >= 2; }, 10000));
        QTest::qWait(500);

        QCOMPARE(service.shown.size(), 2);
        QVERIFY2(service.shown[0].summary.contains(QStringLiteral("lh5.lzh")), qPrintable(service.shown[0].summary));
        QCOMPARE(service.shown[0].body, QStringLiteral("Tool lh*\nTool lh5*"));
        QCOMPARE(service.shown[1].summary, QStringLiteral("Tool deflate* を解凍しました"));
        QVERIFY2(
            service.shown[1].body.startsWith(QStringLiteral("deflate.zip\n解凍 ")), qPrintable(service.shown[1].body));
        for (const FakeNotifications::Shown &shown : std::as_const(service.shown))
            QCOMPARE(shown.actions.value(0), QStringLiteral("default"));

        watcher.terminate();
        QVERIFY(watcher.waitForFinished(10000));
        QCOMPARE(watcher.exitCode(), 0);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-notifications"));
}

QTEST_GUILESS_MAIN(tst_Unattended)
#include "tst_Unattended.moc"
