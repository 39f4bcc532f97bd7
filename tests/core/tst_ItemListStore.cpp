#include "core/ItemListStore.h"
#include "platform/FileLock.h"
#include "support/LetterItems.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pellora;
using core::ItemRecord;
using namespace Qt::StringLiterals;

namespace {

using test::letterItems;
using test::lettersOf;

void writeList(const QString &path, const QString &names, const QDateTime &modified)
{
    const auto error = core::ItemFile(path).write(letterItems(names));
    QVERIFY2(!error, qPrintable(error ? error->reason : QString()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace

class tst_ItemListStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mergeKeepsEveryonesChanges_data();
    void mergeKeepsEveryonesChanges();
    void listSavedLastIsTheOneRead_data();
    void listSavedLastIsTheOneRead();
    void eachPortableCopyHasItsOwnStandIn();
    void vanishedListLosesNothing();
    void heldLockMakesTheSecondHolderWaitOrGiveUp();
};

void tst_ItemListStore::mergeKeepsEveryonesChanges_data()
{
    QTest::addColumn<QString>("base"); // what this window read
    QTest::addColumn<QString>("mine"); // its rows now
    QTest::addColumn<QString>("theirs"); // the file now
    QTest::addColumn<QString>("merged");
    QTest::newRow("a list nobody changed stays as it is") << "ABC"
                                                          << "ABC"
                                                          << "ABC"
                                                          << "ABC";
    QTest::newRow("an item added elsewhere stays") << "AB"
                                                   << "AB"
                                                   << "ABC"
                                                   << "ABC";
    QTest::newRow("an item removed here goes") << "ABC"
                                               << "AC"
                                               << "ABC"
                                               << "AC";
    QTest::newRow("an item removed elsewhere is not brought back") << "ABC"
                                                                   << "ABC"
                                                                   << "AC"
                                                                   << "AC";
    QTest::newRow("both add and both additions stay") << "AB"
                                                      << "ABD"
                                                      << "ABC"
                                                      << "ABCD";
    QTest::newRow("an edit here replaces the old texts elsewhere too") << "ABC"
                                                                       << "AXC"
                                                                       << "ABC"
                                                                       << "AXC";
    QTest::newRow("an edit here survives a removal elsewhere") << "ABC"
                                                               << "AXC"
                                                               << "AC"
                                                               << "AXC";
    QTest::newRow("rows moved here keep this order; an addition follows its predecessor") << "ABC"
                                                                                          << "CAB"
                                                                                          << "ABDC"
                                                                                          << "CABD";
    QTest::newRow("an addition at the top elsewhere stays at the top") << "AB"
                                                                       << "BA"
                                                                       << "CAB"
                                                                       << "CBA";
    QTest::newRow("one of two equal records removed here leaves the other") << "AAB"
                                                                            << "AB"
                                                                            << "AAB"
                                                                            << "AB";
    QTest::newRow("an equal record added on both sides is kept twice") << "A"
                                                                       << "AB"
                                                                       << "AB"
                                                                       << "ABB";
    QTest::newRow("everything removed here empties the list") << "AB"
                                                              << ""
                                                              << "AB"
                                                              << "";
}

void tst_ItemListStore::mergeKeepsEveryonesChanges()
{
    QFETCH(QString, base);
    QFETCH(QString, mine);
    QFETCH(QString, theirs);
    QFETCH(QString, merged);
    QCOMPARE(lettersOf(core::mergeItemLists(letterItems(base), letterItems(mine), letterItems(theirs))), merged);
}

void tst_ItemListStore::listSavedLastIsTheOneRead_data()
{
    QTest::addColumn<QString>("home"); // the names beside the program, "-" for no file
    QTest::addColumn<QString>("standIn"); // the same for the stand-in
    QTest::addColumn<int>("standInAge"); // seconds the stand-in is older than home
    QTest::addColumn<QString>("shown");
    QTest::newRow("without a stand-in the list beside the program is read") << "AB"
                                                                            << "-" << 0 << "AB";
    QTest::newRow("a newer stand-in holds the changes saved last") << "AB"
                                                                   << "ABC" << -60 << "ABC";
    QTest::newRow("a stand-in without a list at home is the list") << "-"
                                                                   << "ABC" << 0 << "ABC";
    QTest::newRow("a list at home saved after the stand-in wins") << "ABD"
                                                                  << "ABC" << 60 << "ABD";
}

void tst_ItemListStore::listSavedLastIsTheOneRead()
{
    QFETCH(QString, home);
    QFETCH(QString, standIn);
    QFETCH(int, standInAge);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(u"app"_s)));
    const core::ItemListPlace place = core::itemListPlace(dir.filePath(u"app"_s), dir.filePath(u"data/Pellora"_s));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (home != u"-")
        writeList(place.home, home, now);
    if (standIn != u"-")
        writeList(place.standIn, standIn, now.addSecs(-standInAge));

    core::ItemListStore store(place);
    QCOMPARE(lettersOf(store.load().records), shown);
    QCOMPARE(core::currentItemListPath(place), store.path());
    // A save where home takes files brings the list home and leaves no stand-in.
    const core::ItemListStore::SaveResult saved = store.save(letterItems(shown + u'E'));
    QVERIFY(!saved.error);
    QCOMPARE(lettersOf(core::ItemFile(place.home).read().records), shown + u'E');
    QCOMPARE(QFile::exists(place.standIn), standInAge > 0);
}

void tst_ItemListStore::eachPortableCopyHasItsOwnStandIn()
{
    QTemporaryDir dir;
    const QString data = dir.filePath(u"data/Pellora"_s);
    QVERIFY(QDir().mkpath(dir.filePath(u"one"_s)));
    QVERIFY(QDir().mkpath(dir.filePath(u"two"_s)));
    const core::ItemListPlace one = core::itemListPlace(dir.filePath(u"one"_s), data);
    const core::ItemListPlace two = core::itemListPlace(dir.filePath(u"two"_s), data);
    QCOMPARE(one.home, dir.filePath(u"one/ITEM.DAT"_s));
    QVERIFY(one.standIn.startsWith(data + u'/'));
    QVERIFY(one.standIn != two.standIn);
    // Nor may a portable copy's changes land on the installed copy's list.
    QVERIFY(one.standIn != data + u"/ITEM.DAT"_s);
    QVERIFY(QDir().mkpath(dir.filePath(u"share/pellora"_s)));
    QVERIFY(QDir().mkpath(dir.filePath(u"bin"_s)));
    const core::ItemListPlace installed = core::itemListPlace(dir.filePath(u"bin"_s), data);
    QCOMPARE(installed.home, data + u"/ITEM.DAT"_s);
    QCOMPARE(installed.standIn, QString());
}

void tst_ItemListStore::vanishedListLosesNothing()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(u"app"_s)));
    const core::ItemListPlace place = core::itemListPlace(dir.filePath(u"app"_s), dir.filePath(u"data"_s));
    writeList(place.home, u"AB"_s, QDateTime::currentDateTimeUtc());
    core::ItemListStore store(place);
    QCOMPARE(lettersOf(store.load().records), u"AB"_s);
    QVERIFY(QFile::remove(place.home));
    QVERIFY(!store.save(letterItems(u"ABC"_s)).error);
    QCOMPARE(lettersOf(core::ItemFile(place.home).read().records), u"ABC"_s);
}

void tst_ItemListStore::heldLockMakesTheSecondHolderWaitOrGiveUp()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"sub/ITEM.DAT.lock"_s);
    QString reason;
    auto first = std::make_unique<platform::FileLock>(path);
    QCOMPARE(first->acquire(std::chrono::milliseconds(0), &reason), platform::FileLock::Result::Taken);
    // Each lock has its own open file, so a second one in the same process
    // meets the first as another process would.
    platform::FileLock second(path);
    QCOMPARE(second.acquire(std::chrono::milliseconds(50), &reason), platform::FileLock::Result::Busy);
    QVERIFY(!reason.isEmpty());
    first.reset();
    QCOMPARE(second.acquire(std::chrono::milliseconds(0), &reason), platform::FileLock::Result::Taken);
    // A lock that cannot be made is told apart from one that is taken.
    test::writeFile(dir.filePath(u"file"_s), "not a folder");
    QCOMPARE(platform::FileLock(dir.filePath(u"file/ITEM.DAT.lock"_s)).acquire(std::chrono::milliseconds(0), &reason),
        platform::FileLock::Result::Unavailable);
}

QTEST_GUILESS_MAIN(tst_ItemListStore)
#include "tst_ItemListStore.moc"
