#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pellora;
using namespace Qt::StringLiterals;

// Where an installed copy and a portable copy find their help, and how the
// program tells them apart, on folder layouts made for each case.
class tst_Paths : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void installedCopyIsMarkedByShareBesideBin_data();
    void installedCopyIsMarkedByShareBesideBin();
    void helpIsFoundBesideTheProgramFirstThenInTheInstalledShare_data();
    void helpIsFoundBesideTheProgramFirstThenInTheInstalledShare();
    void installedDataFolderResolvesTheParentFolder();
    void longPathNamesOnlyWhatExists_data();
    void longPathNamesOnlyWhatExists();
};

void tst_Paths::installedCopyIsMarkedByShareBesideBin_data()
{
    QTest::addColumn<QStringList>("folders"); // made under the temporary root
    QTest::addColumn<bool>("installed");
    QTest::newRow("a bare folder is a portable copy") << QStringList{ u"bin"_s } << false;
    QTest::newRow("help beside the program is still portable") << QStringList{ u"bin/help"_s } << false;
    QTest::newRow("another program's share is not Pellora's") << QStringList{ u"bin"_s, u"share/other"_s } << false;
    QTest::newRow("share/pellora beside bin marks an installed copy")
        << QStringList{ u"bin"_s, u"share/pellora"_s } << true;
    QTest::newRow("a file named share/pellora is no install")
        << QStringList{ u"bin"_s, u"share"_s, u"@share/pellora"_s } << false;
}

void tst_Paths::installedCopyIsMarkedByShareBesideBin()
{
    QFETCH(QStringList, folders);
    QFETCH(bool, installed);
    QTemporaryDir root;
    for (const QString &name : folders) {
        if (name.startsWith(u'@'))
            test::writeFile(root.filePath(name.mid(1)), "not a folder");
        else
            QVERIFY(QDir().mkpath(root.filePath(name)));
    }
    QCOMPARE(platform::isInstalledCopy(root.filePath(u"bin"_s)), installed);
    QCOMPARE(platform::isInstalledCopy(root.filePath(u"bin/"_s)), installed);
}

void tst_Paths::helpIsFoundBesideTheProgramFirstThenInTheInstalledShare_data()
{
    QTest::addColumn<QStringList>("pages"); // contents pages made under the temporary root
    QTest::addColumn<QString>("expected"); // relative to the root
    QTest::newRow("beside the program") << QStringList{ u"bin/help/index.html"_s } << u"bin/help/"_s;
    QTest::newRow("the installed share when none is beside the program")
        << QStringList{ u"share/pellora/help/index.html"_s } << u"share/pellora/help/"_s;
    QTest::newRow("beside the program wins over the installed share")
        << QStringList{ u"bin/help/index.html"_s, u"share/pellora/help/index.html"_s } << u"bin/help/"_s;
    QTest::newRow("a help folder without its contents page does not count")
        << QStringList{ u"bin/help/style.css"_s, u"share/pellora/help/index.html"_s } << u"share/pellora/help/"_s;
    QTest::newRow("no help anywhere names the folder beside the program")
        << QStringList{ u"share/pellora/help/style.css"_s } << u"bin/help/"_s;
}

void tst_Paths::helpIsFoundBesideTheProgramFirstThenInTheInstalledShare()
{
    QFETCH(QStringList, pages);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QVERIFY(QDir().mkpath(root.filePath(u"bin"_s)));
    for (const QString &page : pages)
        test::writeFile(root.filePath(page), "<html></html>");
    const QString folder = platform::helpFolder(root.filePath(u"bin"_s));
    QCOMPARE(QDir::cleanPath(folder), QDir::cleanPath(root.filePath(expected)));
    QVERIFY2(folder.endsWith(u'/'), qPrintable(folder));
}

void tst_Paths::installedDataFolderResolvesTheParentFolder()
{
    QCOMPARE(platform::installedDataFolder(u"/usr/local/bin"_s), u"/usr/local/share/pellora/"_s);
    QCOMPARE(platform::installedDataFolder(u"/home/u/.local/bin/"_s), u"/home/u/.local/share/pellora/"_s);
}

// Texts as the command line gives them, from the current folder <root>/a/b
// of a tree holding a/b/c/deep.zip, a/file.lzh and a link a/up -> "..".
// "<root>" in the expected long form stands for the tree's root.
void tst_Paths::longPathNamesOnlyWhatExists_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a relative name is made absolute") << u"c/deep.zip"_s << u"<root>/a/b/c/deep.zip"_s;
    QTest::newRow("blanks around the text are trimmed") << u"  ../file.lzh \t"_s << u"<root>/a/file.lzh"_s;
    QTest::newRow("dots are resolved and empty components dropped") << u"..//../a/./b/c/"_s << u"<root>/a/b/c"_s;
    QTest::newRow("a link is a name that exists and is not followed") << u"../up"_s << u"<root>/a/up"_s;
    QTest::newRow("a missing component gives nothing") << u"../missing/file.lzh"_s << QString();
    QTest::newRow("an empty text gives nothing") << u" "_s << QString();
    // A fuzz find: the NUL cut the looked-up name to "<root>/a/.", which
    // exists, and the text came back as a long path of a file that is not there.
    QTest::newRow("a NUL inside a component gives nothing") << u"..//../a/.\0b"_s << QString();
    QTest::newRow("a NUL after an existing name gives nothing") << u"../file.lzh\0.exe"_s << QString();
}

void tst_Paths::longPathNamesOnlyWhatExists()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString root = QDir(dir.path()).canonicalPath();
    QVERIFY(QDir(root).mkpath(u"a/b/c"_s));
    test::writeFile(root + u"/a/b/c/deep.zip"_s, "");
    test::writeFile(root + u"/a/file.lzh"_s, "");
    QVERIFY(QFile::link(u".."_s, root + u"/a/up"_s));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(root + u"/a/b"_s));
    const QString result = platform::ToLongPath(text);
    QDir::setCurrent(previous);
    QCOMPARE(result, expected.replace(u"<root>"_s, root));
}

QTEST_GUILESS_MAIN(tst_Paths)
#include "tst_Paths.moc"
