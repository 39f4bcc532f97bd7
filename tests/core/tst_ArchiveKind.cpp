#include "core/ArchiveKind.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "support/FakeArchiver.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace pellora;
using arc::ArchiverRegistry;

class tst_ArchiveKind : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { ArchiverRegistry::restoreBuiltIns(); }
    void laterLibraryWins();
    void fourthLibraryIsAskedOnlyWhenNoOtherAccepts();
    void missingLibraryIsNeverAsked();
    void nothingAcceptsEmptyOrAbsentFiles();
    void folderFifoAndDeviceAreNeverOpened();
    void builtInLibrariesAcceptOnlyTheirOwnFormat();
};

void tst_ArchiveKind::laterLibraryWins()
{
    auto lzh = std::make_shared<test::FakeArchiver>();
    auto zip = std::make_shared<test::FakeArchiver>();
    auto cab = std::make_shared<test::FakeArchiver>();
    ArchiverRegistry::install(QStringLiteral("UNLHA32.DLL"), lzh);
    ArchiverRegistry::install(QStringLiteral("unzip32.dll"), zip); // names are case-insensitive
    ArchiverRegistry::install(QStringLiteral("CAB32.DLL"), cab);
    const QString path = QStringLiteral("/x/a.exe");

    QCOMPARE(core::detectArchiveKind(path), QString());
    lzh->accepts = { path };
    QCOMPARE(core::detectArchiveKind(path), QStringLiteral("LZH"));
    zip->accepts = { path };
    QCOMPARE(core::detectArchiveKind(path), QStringLiteral("ZIP"));
    cab->accepts = { path };
    QCOMPARE(core::detectArchiveKind(path), QStringLiteral("CAB"));
    zip->accepts.clear();
    QCOMPARE(core::detectArchiveKind(path), QStringLiteral("CAB"));
    cab->accepts.clear();
    QCOMPARE(core::detectArchiveKind(path), QStringLiteral("LZH"));
}

void tst_ArchiveKind::fourthLibraryIsAskedOnlyWhenNoOtherAccepts()
{
    auto zip = std::make_shared<test::FakeArchiver>();
    auto tar = std::make_shared<test::FakeArchiver>();
    ArchiverRegistry::install(QStringLiteral("UNZIP32.DLL"), zip);
    ArchiverRegistry::install(QStringLiteral("LIBARCHIVE.DLL"), tar);
    const QString path = QStringLiteral("/x/a.zip");
    tar->accepts = { path };
    QCOMPARE(core::detectArchiveKind(path), QStringLiteral("TAR"));
    // A ZIP stays a ZIP even where the fourth library would take it too.
    zip->accepts = { path };
    QCOMPARE(core::detectArchiveKind(path), QStringLiteral("ZIP"));
}

void tst_ArchiveKind::missingLibraryIsNeverAsked()
{
    auto zip = std::make_shared<test::FakeArchiver>();
    zip->accepts = { QStringLiteral("/x/a.zip") };
    ArchiverRegistry::install(QStringLiteral("UNZIP32.DLL"), zip);
    ArchiverRegistry::remove(QStringLiteral("CAB32.DLL"));
    ArchiverRegistry::remove(QStringLiteral("UNLHA32.DLL"));
    QVERIFY(!ArchiverRegistry::find(QStringLiteral("CAB32.DLL")));
    QCOMPARE(core::detectArchiveKind(QStringLiteral("/x/a.zip")), QStringLiteral("ZIP"));
    ArchiverRegistry::remove(QStringLiteral("UNZIP32.DLL"));
    QCOMPARE(core::detectArchiveKind(QStringLiteral("/x/a.zip")), QString());
}

void tst_ArchiveKind::nothingAcceptsEmptyOrAbsentFiles()
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.lzh"));
    test::writeFile(empty, {});
    QCOMPARE(core::detectArchiveKind(empty), QString());
    QCOMPARE(core::detectArchiveKind(dir.filePath(QStringLiteral("absent.zip"))), QString());
    QCOMPARE(core::detectArchiveKind(QString()), QString());
    const QString text = dir.filePath(QStringLiteral("notes.lzh"));
    test::writeFile(text, "-lh5- is not enough to be an archive\n");
    QCOMPARE(core::detectArchiveKind(text), QString());
}

void tst_ArchiveKind::folderFifoAndDeviceAreNeverOpened()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.zip"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Opening a FIFO for reading would block until a writer came: never do it.
    QCOMPARE(core::detectArchiveKind(fifo), QString());
    QCOMPARE(core::detectArchiveKind(dir.path()), QString());
    QCOMPARE(core::detectArchiveKind(QStringLiteral("/dev/zero")), QString());
    QCOMPARE(core::detectArchiveKind(QStringLiteral("/dev/null")), QString());
}

void tst_ArchiveKind::builtInLibrariesAcceptOnlyTheirOwnFormat()
{
    const QJsonArray fixtures = test::fixtureManifest();
    QVERIFY(!fixtures.isEmpty());
    for (const QJsonValue &value : fixtures) {
        const QJsonObject fixture = value.toObject();
        const QString file = fixture.value(QStringLiteral("file")).toString();
        const QString expected = fixture.value(QStringLiteral("kind")).toString();
        // Damaged archives may or may not pass the check; the others must say exactly their kind.
        if (fixture.contains(QStringLiteral("damaged")) && expected.isEmpty())
            continue;
        QCOMPARE(core::detectArchiveKind(test::dataPath(file)), expected);
    }
}

QTEST_GUILESS_MAIN(tst_ArchiveKind)
#include "tst_ArchiveKind.moc"
