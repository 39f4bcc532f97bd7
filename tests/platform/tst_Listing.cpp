#include "platform/archiver/ArchiverRegistry.h"
#include "support/ArchiverRun.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace pellora;

class tst_Listing : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void listsNamesAndSizesAsTheLibraryReports_data();
    void listsNamesAndSizesAsTheLibraryReports();
    void handlesAreIndependentAndCloseCleanly();
    void unreadableArchivesGiveNoHandle();
};

void tst_Listing::listsNamesAndSizesAsTheLibraryReports_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QJsonArray>("expected");
    for (const QJsonValue &value : test::fixtureManifest()) {
        const QJsonObject f = value.toObject();
        if (!f.contains(QStringLiteral("list")))
            continue;
        QTest::newRow(qPrintable(f.value(QStringLiteral("about")).toString()))
            << f.value(QStringLiteral("kind")).toString() << f.value(QStringLiteral("file")).toString()
            << f.value(QStringLiteral("list")).toArray();
    }
}

void tst_Listing::listsNamesAndSizesAsTheLibraryReports()
{
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QFETCH(QJsonArray, expected);
    const auto library = arc::ArchiverRegistry::find(test::libraryFor(kind));
    const arc::HARC handle = library->OpenArchive(nullptr, test::dataPath(file), 0);
    QVERIFY(handle != 0);
    QStringList listed;
    arc::INDIVIDUALINFO info;
    for (int r = library->FindFirst(handle, QStringLiteral("*.*"), &info); r == 0; r = library->FindNext(handle, &info))
        listed.append(QStringLiteral("%1 %2").arg(info.dwOriginalSize).arg(QString::fromUtf8(info.szFileName)));
    library->CloseArchive(handle);

    QStringList wanted;
    for (const QJsonValue &row : expected)
        wanted.append(QStringLiteral("%1 %2").arg(row.toArray().at(0).toInteger()).arg(row.toArray().at(1).toString()));
    QCOMPARE(listed, wanted);
}

void tst_Listing::handlesAreIndependentAndCloseCleanly()
{
    const auto library = arc::ArchiverRegistry::find(QStringLiteral("UNLHA32.DLL"));
    const QString path = test::dataPath(QStringLiteral("lzh/lh5.lzh"));
    const arc::HARC a = library->OpenArchive(nullptr, path, 0);
    const arc::HARC b = library->OpenArchive(nullptr, path, 0);
    QVERIFY(a && b && a != b);
    arc::INDIVIDUALINFO ia, ib;
    QCOMPARE(library->FindFirst(a, QStringLiteral("*.*"), &ia), 0);
    QCOMPARE(library->FindNext(a, &ia), 0);
    QCOMPARE(library->FindFirst(b, QStringLiteral("*.*"), &ib), 0);
    QCOMPARE(QByteArray(ib.szFileName), QByteArray("readme.txt"));
    QCOMPARE(QByteArray(ia.szFileName), QByteArray("doc/"));
    // A second first search starts over.
    QCOMPARE(library->FindFirst(a, QStringLiteral("*.*"), &ia), 0);
    QCOMPARE(QByteArray(ia.szFileName), QByteArray("readme.txt"));
    // A wildcard narrows the listing.
    QCOMPARE(library->FindFirst(b, QStringLiteral("doc/*"), &ib), 0);
    QCOMPARE(QByteArray(ib.szFileName), QByteArray("doc/"));
    QCOMPARE(library->FindNext(b, &ib), 0);
    QCOMPARE(QByteArray(ib.szFileName), QByteArray("doc/manual.txt"));
    QCOMPARE(library->CloseArchive(a), 0);
    QCOMPARE(library->CloseArchive(b), 0);
    QVERIFY(library->FindNext(a, &ia) != 0);
    QVERIFY(library->CloseArchive(a) != 0);
}

void tst_Listing::unreadableArchivesGiveNoHandle()
{
    for (const char *library : { "UNLHA32.DLL", "UNZIP32.DLL", "CAB32.DLL" }) {
        const auto lib = arc::ArchiverRegistry::find(QString::fromLatin1(library));
        QCOMPARE(lib->OpenArchive(nullptr, test::dataPath(QStringLiteral("misc/notes.txt")), 0), arc::HARC(0));
        QCOMPARE(lib->OpenArchive(nullptr, test::dataPath(QStringLiteral("misc/absent.zip")), 0), arc::HARC(0));
        QCOMPARE(lib->OpenArchive(nullptr, test::dataPath(QStringLiteral("misc")), 0), arc::HARC(0));
    }
}

QTEST_GUILESS_MAIN(tst_Listing)
#include "tst_Listing.moc"
