#include "core/Startup.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace pellora;

class tst_clsItem : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void takesThePathFromTheCommandLine_data();
    void takesThePathFromTheCommandLine();
    void findsTheKindOfTheArchive();
    void splitsNameAndFolder_data();
    void splitsNameAndFolder();
    void matchesItemsInFileOrderIgnoringCase();
    void proposesATargetFolderForAnUnmatchedArchive();

private:
    QTemporaryDir m_config;
    QTemporaryDir m_dir;
};

void tst_clsItem::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
    QDir().mkpath(m_dir.filePath(QStringLiteral("Down Loads/sub")));
    test::writeFile(m_dir.filePath(QStringLiteral("Down Loads/foo.lzh")), "not really");
    QDir::setCurrent(m_dir.path());
}

void tst_clsItem::takesThePathFromTheCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path"); // %1 = the test folder

    QTest::newRow("no argument") << QStringList{} << "";
    QTest::newRow("a quoted path is taken as written, unchecked")
        << QStringList{ "\"/no/such folder/a.lzh\"" } << "/no/such folder/a.lzh";
    QTest::newRow("an absolute path that exists") << QStringList{ "%1/Down Loads/foo.lzh" } << "%1/Down Loads/foo.lzh";
    QTest::newRow("blanks around it are trimmed")
        << QStringList{ "  %1/Down Loads/foo.lzh  " } << "%1/Down Loads/foo.lzh";
    QTest::newRow("a path split into two arguments at its blank is joined again")
        << QStringList{ "%1/Down", "Loads/foo.lzh" } << "%1/Down Loads/foo.lzh";
    QTest::newRow("relative to the current folder, with . and ..")
        << QStringList{ "./Down Loads/sub/../foo.lzh" } << "%1/Down Loads/foo.lzh";
    QTest::newRow("a trailing separator is dropped") << QStringList{ "%1/Down Loads/sub/" } << "%1/Down Loads/sub";
    QTest::newRow("the root stays the root") << QStringList{ "/" } << "/";
    QTest::newRow("a folder that does not exist gives nothing") << QStringList{ "%1/nowhere/foo.lzh" } << "";
    QTest::newRow("letter case is not changed or guessed") << QStringList{ "%1/down loads/foo.lzh" } << "";
}

void tst_clsItem::takesThePathFromTheCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);
    const QString root = QDir(m_dir.path()).canonicalPath();
    for (QString &argument : arguments)
        argument = argument.contains(u"%1") ? argument.arg(root) : argument;
    const core::clsItem item(arguments);
    QCOMPARE(item.Path(), path.contains(u"%1") ? path.arg(root) : path);
    QVERIFY(item.Title().isEmpty() && item.Pattern().isEmpty() && item.Output().isEmpty() && item.Relation().isEmpty());
}

void tst_clsItem::findsTheKindOfTheArchive()
{
    core::clsItem item(QStringList{ QStringLiteral("\"%1\"").arg(test::dataPath(QStringLiteral("cab/mszip.cab"))) });
    QCOMPARE(item.ArchiveType(), QStringLiteral("CAB"));
    // Assigning a path finds the kind again, and keeps the text as given.
    item.setPath(test::dataPath(QStringLiteral("lzh/lh7.lzh")));
    QCOMPARE(item.ArchiveType(), QStringLiteral("LZH"));
    item.setPath(QStringLiteral("\"") + test::dataPath(QStringLiteral("zip/7z.zip")) + u'"');
    QCOMPARE(item.ArchiveType(), QString());
    item.setPath(test::dataPath(QStringLiteral("misc/notes.txt")));
    QCOMPARE(item.ArchiveType(), QString());
}

void tst_clsItem::splitsNameAndFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");
    QTest::newRow("several dots") << "/a/b.c.lzh"
                                  << "b.c.lzh"
                                  << "/a/";
    QTest::newRow("no separator") << "foo.lzh"
                                  << "foo.lzh"
                                  << "";
    QTest::newRow("a folder") << "/a/b/"
                              << ""
                              << "/a/b/";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
}

void tst_clsItem::splitsNameAndFolder()
{
    QFETCH(QString, path);
    core::clsItem item(QStringList{});
    item.setPath(path);
    QTEST(item.Name(), "name");
    QTEST(item.Folder(), "folder");
}

void tst_clsItem::matchesItemsInFileOrderIgnoringCase()
{
    const QList<core::ItemRecord> records = {
        { QStringLiteral("Foo"), QStringLiteral("foo*.lzh"), QStringLiteral("/Foo/"), QStringLiteral("readme.txt") },
        { QStringLiteral("Bar"), QStringLiteral("bar#.zip"), QStringLiteral("/Bar/"), QString() },
        { QStringLiteral("Broken"), QStringLiteral("[foo"), QStringLiteral("/X/"), QString() },
        { QStringLiteral("Foo again"), QStringLiteral("FOO1*.LZH"), QStringLiteral("/Foo2/"), QString() },
        { QStringLiteral("Empty"), QString(), QStringLiteral("/E/"), QString() },
    };
    const auto matches = core::matchingItems(QStringLiteral("Foo123.LZH"), records);
    QCOMPARE(matches.size(), 2);
    QCOMPARE(matches.at(0).Title, QStringLiteral("Foo"));
    QCOMPARE(matches.at(1).Title, QStringLiteral("Foo again"));
    QCOMPARE(core::matchingItems(QStringLiteral("bar1.zip"), records).size(), 1);
    QCOMPARE(core::matchingItems(QStringLiteral("bar12.zip"), records).size(), 0);
    QCOMPARE(core::matchingItems(QStringLiteral("[foo"), records).size(), 0);
}

void tst_clsItem::proposesATargetFolderForAnUnmatchedArchive()
{
    core::clsItem item(QStringList{});
    item.setPath(QStringLiteral("/down/foo.zip"));
    core::DeleteSettingsKey();
    QDir::setCurrent(m_dir.path());
    QCOMPARE(core::proposedTargetFolder(item), QDir::currentPath() + u'/');
    QDir::setCurrent(QStringLiteral("/"));
    QCOMPARE(core::proposedTargetFolder(item), QStringLiteral("/"));
    core::writeText(core::setting(u"DefaultMeltFolder"), QStringLiteral("/melt/"));
    QCOMPARE(core::proposedTargetFolder(item), QStringLiteral("/melt/"));
    core::writeYesNo(core::setting(u"DefaultArchiveFolder"), true);
    QCOMPARE(core::proposedTargetFolder(item), QStringLiteral("/down/"));
    QDir::setCurrent(m_dir.path());
}

QTEST_GUILESS_MAIN(tst_clsItem)
#include "tst_clsItem.moc"
