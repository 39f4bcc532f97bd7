#include "core/ItemListStore.h"
#include "core/ItemOptions.h"
#include "support/LetterItems.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pellora;
using core::ItemOptions;
using core::ItemOptionsMap;
using namespace Qt::StringLiterals;

namespace {

core::ItemRecord letter(QChar c)
{
    return test::letterItems(QString(c)).first();
}

// "A=strip B=GBK C=strip,CP437": the options of lettered items.
ItemOptionsMap optionsOf(const QString &text)
{
    ItemOptionsMap map;
    for (const QString &part : text.split(u' ', Qt::SkipEmptyParts)) {
        ItemOptions options;
        for (const QString &value : part.mid(2).split(u',')) {
            if (value == u"strip")
                options.stripTopFolder = true;
            else
                options.nameEncoding = value;
        }
        map.insert(letter(part.at(0)), options);
    }
    return map;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_ItemOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mergeKeepsEveryonesOptions_data();
    void mergeKeepsEveryonesOptions();
    void fileRoundTripKeepsWhatItCannotRead();
    void damagedFileIsKeptAsideNotOverwritten();
    void twoStoresSavingInTurnLoseNoOptions();
    void refreshSeesOptionsSavedElsewhere();
    void itemListFileStaysAsTheWindowsProgramReadsIt();
};

void tst_ItemOptions::mergeKeepsEveryonesOptions_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("mine");
    QTest::addColumn<QString>("theirs");
    QTest::addColumn<QString>("merged");
    QTest::newRow("nobody changed anything") << "A=strip"
                                             << "A=strip"
                                             << "A=strip"
                                             << "A=strip";
    QTest::newRow("set here, untouched elsewhere") << ""
                                                   << "A=GBK"
                                                   << ""
                                                   << "A=GBK";
    QTest::newRow("set elsewhere, untouched here") << ""
                                                   << ""
                                                   << "B=strip"
                                                   << "B=strip";
    QTest::newRow("each sets a different item") << ""
                                                << "A=GBK"
                                                << "B=strip"
                                                << "A=GBK B=strip";
    QTest::newRow("changed on both sides: this save's change holds") << "A=strip"
                                                                     << "A=CP437"
                                                                     << "A=GBK"
                                                                     << "A=CP437";
    QTest::newRow("item deleted here: its options go") << "A=strip B=GBK"
                                                       << "B=GBK"
                                                       << "A=strip B=GBK"
                                                       << "B=GBK";
    // Another program may have deleted or edited it; the record is harmless.
    QTest::newRow("item's options untouched here stay") << "A=strip"
                                                        << "A=strip"
                                                        << "A=strip C=BIG5"
                                                        << "A=strip C=BIG5";
    QTest::newRow("edit carried here, other item changed elsewhere") << "A=strip B=GBK"
                                                                     << "C=strip B=GBK"
                                                                     << "A=strip B=EUC-KR"
                                                                     << "B=EUC-KR C=strip";
}

void tst_ItemOptions::mergeKeepsEveryonesOptions()
{
    QFETCH(QString, base);
    QFETCH(QString, mine);
    QFETCH(QString, theirs);
    QFETCH(QString, merged);
    QCOMPARE(test::optionsText(core::mergeItemOptions(optionsOf(base), optionsOf(mine), optionsOf(theirs))), merged);
}

void tst_ItemOptions::fileRoundTripKeepsWhatItCannotRead()
{
    QTemporaryDir dir;
    const QString list = dir.filePath(u"ITEM.DAT"_s);
    // A later version's file: an extra option, an extra key, an entry of a
    // shape this one cannot read, and an encoding it does not know.
    test::writeFile(core::itemOptionsPath(list), R"({
        "written by": "a later version",
        "items": [
            { "name": "A", "pattern": "a*.zip", "folder": "/tools/A/", "related": "",
              "stripTopFolder": true, "nameEncoding": "GBK", "future": [1, 2] },
            { "name": "B", "pattern": "b*.zip", "folder": "/tools/B/", "related": "", "nameEncoding": "KOI8-R" },
            { "name": "C", "stripTopFolder": "sometimes" },
            "not an object"
        ]
    })");
    core::ItemOptionsFile file(list);
    ItemOptionsMap read = file.read();
    QCOMPARE(test::optionsText(read), u"A=strip,GBK B=KOI8-R"_s);
    QCOMPARE(read.value(letter(u'B')).names().encoding, QString()); // unknown: automatic
    QCOMPARE(read.value(letter(u'A')).names(), (arc::NameOptions{ u"GBK"_s, true }));

    read[letter(u'D')].nameEncoding = u"CP437"_s;
    QVERIFY(!file.write(read));
    core::ItemOptionsFile again(list);
    QCOMPARE(test::optionsText(again.read()), u"A=strip,GBK B=KOI8-R D=CP437"_s);
    const QByteArray bytes = readAll(core::itemOptionsPath(list));
    for (const char *kept : { "a later version", "\"future\"", "sometimes", "not an object" })
        QVERIFY2(bytes.contains(kept), kept);

    // Options all cleared: the list goes back to being a lone ITEM.DAT only
    // when nothing unread is left in the file.
    QVERIFY(!again.write({}));
    QVERIFY(readAll(core::itemOptionsPath(list)).contains("not an object"));
    test::writeFile(core::itemOptionsPath(list), R"({"items": []})");
    core::ItemOptionsFile plain(list);
    plain.read();
    QVERIFY(!plain.write({}));
    QVERIFY(!QFileInfo::exists(core::itemOptionsPath(list)));
}

void tst_ItemOptions::damagedFileIsKeptAsideNotOverwritten()
{
    QTemporaryDir dir;
    const QString list = dir.filePath(u"ITEM.DAT"_s);
    const QString path = core::itemOptionsPath(list);
    test::writeFile(path, "{ \"items\": [ cut off");
    test::writeFile(path + u".bak"_s, "an older copy");
    core::ItemOptionsFile file(list);
    QCOMPARE(file.read(), ItemOptionsMap());
    QVERIFY(!file.write(optionsOf(u"A=strip"_s)));
    QCOMPARE(readAll(path + u".bak"_s), QByteArray("an older copy"));
    QCOMPARE(readAll(path + u".bak.1"_s), QByteArray("{ \"items\": [ cut off"));
    QCOMPARE(test::optionsText(core::ItemOptionsFile(list).read()), u"A=strip"_s);
}

void tst_ItemOptions::twoStoresSavingInTurnLoseNoOptions()
{
    // Two stores on one list stand for two processes: each merges under the
    // lock with what the other saved.
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(u"app"_s)));
    const core::ItemListPlace place = core::itemListPlace(dir.filePath(u"app"_s), dir.filePath(u"data"_s));
    QVERIFY(!core::ItemFile(place.home).write(test::letterItems(u"ABC"_s)));
    QVERIFY(!core::ItemOptionsFile(place.home).write(optionsOf(u"C=strip"_s)));
    core::ItemListStore one(place);
    core::ItemListStore two(place);
    one.load();
    two.load();
    QCOMPARE(test::optionsText(two.options()), u"C=strip"_s);

    const ItemOptionsMap mineOne = optionsOf(u"A=GBK C=strip"_s);
    QVERIFY(!one.save(test::letterItems(u"ABC"_s), {}, &mineOne).error);
    // The second deletes C and sets B; it never saw A's option.
    const ItemOptionsMap mineTwo = optionsOf(u"B=strip"_s);
    const core::ItemListStore::SaveResult saved = two.save(test::letterItems(u"AB"_s), {}, &mineTwo);
    QVERIFY(!saved.error);
    QCOMPARE(test::lettersOf(saved.records), u"AB"_s);
    QCOMPARE(test::optionsText(two.options()), u"A=GBK B=strip"_s);
    QCOMPARE(test::optionsText(core::ItemOptionsFile(place.home).read()), u"A=GBK B=strip"_s);

    // A save that changed no options leaves the others' as they are.
    QVERIFY(!one.save(test::letterItems(u"ABCD"_s)).error);
    QCOMPARE(test::optionsText(core::ItemOptionsFile(place.home).read()), u"A=GBK B=strip"_s);
    QCOMPARE(core::itemOptionsOf(place.home, letter(u'B')).stripTopFolder, true);
}

void tst_ItemOptions::refreshSeesOptionsSavedElsewhere()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(u"app"_s)));
    const core::ItemListPlace place = core::itemListPlace(dir.filePath(u"app"_s), dir.filePath(u"data"_s));
    QVERIFY(!core::ItemFile(place.home).write(test::letterItems(u"AB"_s)));
    core::ItemListStore watcher(place);
    core::ItemListStore other(place);
    watcher.load();
    other.load();
    QTest::qWait(20); // a new modification time for the files written next
    const ItemOptionsMap set = optionsOf(u"B=BIG5"_s);
    QVERIFY(!other.save(test::letterItems(u"AB"_s), {}, &set).error);
    // The list's records are unchanged; only the options tell the saves apart.
    const ItemOptionsMap mine = optionsOf(u"A=strip"_s);
    const auto refreshed = watcher.refresh(test::letterItems(u"AB"_s), &mine);
    QVERIFY(refreshed);
    QCOMPARE(test::optionsText(watcher.options()), u"A=strip B=BIG5"_s);
    QVERIFY(!watcher.refresh(test::letterItems(u"AB"_s)));
}

void tst_ItemOptions::itemListFileStaysAsTheWindowsProgramReadsIt()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(u"app"_s)));
    const core::ItemListPlace place = core::itemListPlace(dir.filePath(u"app"_s), dir.filePath(u"data"_s));
    QVERIFY(!core::ItemFile(place.home).write(test::letterItems(u"AB"_s)));
    const QByteArray before = readAll(place.home);
    core::ItemListStore store(place);
    store.load();
    const ItemOptionsMap set = optionsOf(u"A=strip,GBK"_s);
    QVERIFY(!store.save(test::letterItems(u"AB"_s), {}, &set).error);
    QCOMPARE(readAll(place.home), before);
    QVERIFY(QFileInfo::exists(core::itemOptionsPath(place.home)));
}

QTEST_GUILESS_MAIN(tst_ItemOptions)
#include "tst_ItemOptions.moc"
