#include "platform/Shell.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "support/ArchiveWriter.h"
#include "support/ArchiverRun.h"
#include "support/FakeArchiver.h"
#include "support/TestSupport.h"
#include "support/ZipBuilder.h"
#include "ui/select/SelectListing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace pellora;
using ui::SelectRow;
using ui::SelectRows;

namespace {

// A row as one text: name | size | type | folder.
QString rowText(const SelectRow &row)
{
    return QStringList{ row.name, row.sizeText, row.type, row.folder }.join(u'|');
}

QStringList rowTexts(const SelectRows &rows)
{
    QStringList texts;
    for (const SelectRow &row : rows)
        texts.append(rowText(row));
    return texts;
}

// The description the type database gives an extension, looked up the way
// the type column is meant to: the type registered for the extension, then
// that type's description; without one, the upper-cased extension.
QString typeOf(const QString &ext)
{
    const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(QStringLiteral("x.") + ext, QMimeDatabase::MatchExtension);
    if (type.isValid() && !type.isDefault())
        return type.comment();
    return ext.toUpper() + QStringLiteral(" ファイル");
}

QString row(const QString &name, const QString &size, const QString &ext, const QString &folder)
{
    return QStringList{ name, size, typeOf(ext), folder }.join(u'|');
}

SelectRows listArchive(const QString &kind, const QString &path)
{
    SelectRows rows;
    ui::ListArchive(kind, path, nullptr, rows);
    return rows;
}

// A name of exactly bytes bytes ending in ".txt", in folders made of unit
// (each short enough for a file system to take as one name).
QByteArray longName(qsizetype bytes, const QByteArray &unit)
{
    QByteArray name;
    while (bytes - name.size() > unit.size() + 5)
        name += unit + '/';
    return name + QByteArray(bytes - name.size() - 4, 'x') + ".txt";
}

SelectRows listFolder(const QString &folder)
{
    SelectRows rows;
    ui::ListFolder(folder, rows);
    return rows;
}

} // namespace

class tst_SelectListing : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();

    void sizeTextGroupsTheDigits_data();
    void sizeTextGroupsTheDigits();
    void paddedSizesSortAsTextInTheOrderOfTheirValues_data();
    void paddedSizesSortAsTextInTheOrderOfTheirValues();
    void fileTypeText_data();
    void fileTypeText();
    void cachedFileTypesAnswerAsTheLookupDoes();

    void listsTheFileEntriesOfRealArchives_data();
    void listsTheFileEntriesOfRealArchives();
    void listsEveryFixtureArchiveWithItsSizesAndFolders_data();
    void listsEveryFixtureArchiveWithItsSizesAndFolders();
    void splitsOnlyOnTheSeparatorOfTheKind_data();
    void splitsOnlyOnTheSeparatorOfTheKind();
    void archivesThatCannotBeListedGiveNoRows_data();
    void archivesThatCannotBeListedGiveNoRows();
    void listsNamesAsTheItemsOptionsMakeThem();
    void longNamesListWholeAsExtractionWritesThem_data();
    void longNamesListWholeAsExtractionWritesThem();

    void listsEveryFileBelowAFolder_data();
    void listsEveryFileBelowAFolder();
    void listsASubfoldersRowsTogether();
    void sizesLeftForLaterReadAsSizesReadAtOnce();
    void neverFollowsLinksToFolders();
    void listsSizesOfFourGibibytesAndMore();
    void foldersThatCannotBeReadGiveNoRows_data();
    void foldersThatCannotBeReadGiveNoRows();
};

void tst_SelectListing::cleanup()
{
    arc::ArchiverRegistry::restoreBuiltIns();
}

void tst_SelectListing::sizeTextGroupsTheDigits_data()
{
    QTest::addColumn<quint64>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("an empty file shows an empty cell") << quint64(0) << QString();
    QTest::newRow("one byte shows one digit") << quint64(1) << QStringLiteral("1");
    QTest::newRow("999 needs no separator") << quint64(999) << QStringLiteral("999");
    QTest::newRow("1000 gets its first separator") << quint64(1000) << QStringLiteral("1,000");
    QTest::newRow("1234567 groups in threes") << quint64(1234567) << QStringLiteral("1,234,567");
    QTest::newRow("ten digits keep every digit") << quint64(1234567890) << QStringLiteral("1,234,567,890");
    QTest::newRow("2 GiB is positive, not a negative 32-bit number")
        << quint64(2147483648ULL) << QStringLiteral("2,147,483,648");
    QTest::newRow("5 GiB is not cut to its low 32 bits") << quint64(5368709120ULL) << QStringLiteral("5,368,709,120");
    QTest::newRow("the largest size keeps all twenty digits")
        << quint64(18446744073709551615ULL) << QStringLiteral("18,446,744,073,709,551,615");
}

void tst_SelectListing::sizeTextGroupsTheDigits()
{
    QFETCH(quint64, size);
    QTEST(ui::SizeText(size), "text");
}

void tst_SelectListing::paddedSizesSortAsTextInTheOrderOfTheirValues_data()
{
    QTest::addColumn<QList<quint64>>("sizes"); // ascending by value, the largest last
    QTest::addColumn<int>("digits");
    QTest::addColumn<QString>("largestPadded");
    QTest::newRow("small sizes pad to nine digits in three groups")
        << QList<quint64>{ 0, 7, 999, 1000, 1234 } << 9 << QStringLiteral("000,001,234");
    QTest::newRow("nine-digit sizes still fit three groups")
        << QList<quint64>{ 0, 999, 1000, 999999999 } << 9 << QStringLiteral("999,999,999");
    QTest::newRow("a ten-digit size widens the padding to four groups")
        << QList<quint64>{ 999, 1000, 999999999, 1000000000 } << 12 << QStringLiteral("001,000,000,000");
    QTest::newRow("sizes beyond 4 GiB sort by value too")
        << QList<quint64>{ 1, 4294967295ULL, 4294967296ULL, 10737418240ULL } << 12 << QStringLiteral("010,737,418,240");
}

void tst_SelectListing::paddedSizesSortAsTextInTheOrderOfTheirValues()
{
    QFETCH(QList<quint64>, sizes);
    QFETCH(int, digits);
    QCOMPARE(ui::SizePaddingDigits(sizes.last()), digits);
    QStringList padded;
    for (quint64 size : sizes)
        padded.append(ui::PaddedSizeText(size, digits));
    QTEST(padded.last(), "largestPadded");
    // An empty file keeps its empty cell, so it comes first.
    QCOMPARE(ui::PaddedSizeText(0, digits), QString());
    QStringList sorted = padded;
    sorted.sort();
    QCOMPARE(sorted, padded);
}

void tst_SelectListing::fileTypeText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::newRow("a name without a dot is a plain file") << QStringLiteral("README") << QStringLiteral("ファイル");
    QTest::newRow("an unknown extension is named after itself")
        << QStringLiteral("data.xyzq") << QStringLiteral("XYZQ ファイル");
    QTest::newRow("the extension starts at the last dot")
        << QStringLiteral("setup.tar.qqq") << QStringLiteral("QQQ ファイル");
    QTest::newRow("a dot only in a folder takes the extension from the whole path")
        << QStringLiteral("docs.old/readme") << QStringLiteral("OLD/README ファイル");
    QTest::newRow("a trailing dot leaves an empty extension")
        << QStringLiteral("notes.") << QStringLiteral(" ファイル");
    QTest::newRow("a known extension shows its type's description")
        << QStringLiteral("readme.txt") << QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).comment();
    QTest::newRow("the description does not depend on the name before the dot")
        << QStringLiteral("doc/manual.html") << QMimeDatabase().mimeTypeForName(QStringLiteral("text/html")).comment();
}

void tst_SelectListing::fileTypeText()
{
    QFETCH(QString, name);
    QFETCH(QString, type);
    QVERIFY(!type.isEmpty());
    QCOMPARE(ui::FileTypeText(name), type);
}

void tst_SelectListing::cachedFileTypesAnswerAsTheLookupDoes()
{
    ui::FileTypes types;
    const QStringList names = { QStringLiteral("a.txt"), QStringLiteral("README"), QStringLiteral("b.txt"),
        QStringLiteral("c.TXT"), QStringLiteral("x.old/readme"), QStringLiteral("y.xyzq"), QStringLiteral("d.txt") };
    for (int round = 0; round < 2; ++round) {
        for (const QString &name : names)
            QCOMPARE(types.text(name), ui::FileTypeText(name));
    }
}

void tst_SelectListing::listsTheFileEntriesOfRealArchives_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("rows");
    const QStringList tree = {
        row(QStringLiteral("readme.txt"), QStringLiteral("37"), QStringLiteral("txt"), {}),
        row(QStringLiteral("manual.txt"), QStringLiteral("40,000"), QStringLiteral("txt"), QStringLiteral("doc/")),
        row(QStringLiteral("data.bin"), QStringLiteral("3,000"), QStringLiteral("bin"), QStringLiteral("doc/")),
        row(QStringLiteral("empty.txt"), {}, QStringLiteral("txt"), {}),
        row(QStringLiteral("c.txt"), QStringLiteral("19"), QStringLiteral("txt"), QStringLiteral("deep/a/b/")),
    };
    const QStringList japanese = {
        row(QStringLiteral("ソフト説明.txt"), QStringLiteral("61"), QStringLiteral("txt"), {}),
        row(QStringLiteral("ソース.txt"), QStringLiteral("3,000"), QStringLiteral("txt"), QStringLiteral("表示/")),
    };
    QTest::newRow("a ZIP archive skips its folder entries")
        << QStringLiteral("ZIP") << QStringLiteral("zip/stored.zip") << tree;
    QTest::newRow("an LZH archive skips its folder entries")
        << QStringLiteral("LZH") << QStringLiteral("lzh/lh5.lzh") << tree;
    QTest::newRow("a CAB archive splits on its backslashes")
        << QStringLiteral("CAB") << QStringLiteral("cab/stored.cab") << tree;
    QTest::newRow("Shift_JIS names of an LZH archive read as Japanese")
        << QStringLiteral("LZH") << QStringLiteral("lzh/sjis-names.lzh") << japanese;
    QTest::newRow("Shift_JIS names with backslashes from a level-0 LZH header")
        << QStringLiteral("LZH") << QStringLiteral("lzh/sjis-level0-backslash.lzh") << japanese;
    QTest::newRow("Shift_JIS names of a ZIP archive read as Japanese")
        << QStringLiteral("ZIP") << QStringLiteral("zip/sjis-names.zip") << japanese;
    QTest::newRow("Shift_JIS names of a CAB archive keep their 0x5C trail bytes")
        << QStringLiteral("CAB") << QStringLiteral("cab/sjis-names.cab") << japanese;
}

void tst_SelectListing::listsTheFileEntriesOfRealArchives()
{
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QTEST(rowTexts(listArchive(kind, test::dataPath(file))), "rows");
}

void tst_SelectListing::listsEveryFixtureArchiveWithItsSizesAndFolders_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QJsonArray>("listing");
    for (const QJsonValue &value : test::fixtureManifest()) {
        const QJsonObject f = value.toObject();
        if (f.contains(QStringLiteral("list")))
            QTest::newRow(qPrintable(f.value(QStringLiteral("about")).toString()))
                << f.value(QStringLiteral("kind")).toString() << f.value(QStringLiteral("file")).toString()
                << f.value(QStringLiteral("list")).toArray();
    }
}

void tst_SelectListing::listsEveryFixtureArchiveWithItsSizesAndFolders()
{
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QFETCH(QJsonArray, listing);
    QStringList wanted;
    for (const QJsonValue &entry : listing) {
        const quint64 size = quint64(entry.toArray().at(0).toInteger());
        QString path = entry.toArray().at(1).toString();
        if (kind == u"CAB")
            path.replace(u'\\', u'/');
        if (path.endsWith(u'/'))
            continue;
        wanted.append(QStringLiteral("%1 %2").arg(size).arg(path));
    }
    QStringList listed;
    for (const SelectRow &r : listArchive(kind, test::dataPath(file))) {
        QCOMPARE(r.sizeText, ui::SizeText(r.size));
        QVERIFY(!r.name.contains(u'/'));
        listed.append(QStringLiteral("%1 %2").arg(r.size).arg(r.relativePath()));
    }
    QCOMPARE(listed, wanted);
}

void tst_SelectListing::splitsOnlyOnTheSeparatorOfTheKind_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("reported");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");
    QTest::newRow("a ZIP entry with a backslash keeps its whole path as its name")
        << QStringLiteral("ZIP") << QByteArray("doc\\a.txt") << QStringLiteral("doc\\a.txt") << QString();
    QTest::newRow("a CAB entry splits at its backslashes")
        << QStringLiteral("CAB") << QByteArray("sub\\a.txt") << QStringLiteral("a.txt") << QStringLiteral("sub/");
    QTest::newRow("an LZH entry splits at its slashes")
        << QStringLiteral("LZH") << QByteArray("doc/en/a.txt") << QStringLiteral("a.txt") << QStringLiteral("doc/en/");
}

void tst_SelectListing::splitsOnlyOnTheSeparatorOfTheKind()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, reported);
    auto library = std::make_shared<test::FakeArchiver>();
    const QString archive = QStringLiteral("/nowhere/fake.arc");
    library->accepts = { archive };
    library->entries = { { 12, reported }, { 0, QByteArray("folder") + (kind == u"CAB" ? "\\" : "/") },
        { 6442450944ULL, QByteArray("big.iso") } };
    const char *name = kind == u"LZH" ? arc::kUnlhaLibrary : kind == u"ZIP" ? arc::kUnzipLibrary : arc::kCabLibrary;
    arc::ArchiverRegistry::install(QString::fromLatin1(name), library);

    const SelectRows rows = listArchive(kind, archive);
    QCOMPARE(rows.size(), size_t(2));
    QTEST(rows[0].name, "name");
    QTEST(rows[0].folder, "folder");
    QCOMPARE(rows[0].sizeText, QStringLiteral("12"));
    QCOMPARE(rows[1].sizeText, QStringLiteral("6,442,450,944"));
}

void tst_SelectListing::archivesThatCannotBeListedGiveNoRows_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    QTest::newRow("random bytes named .zip")
        << QStringLiteral("ZIP") << test::dataPath(QStringLiteral("misc/random.zip"));
    QTest::newRow("a file that is not there") << QStringLiteral("LZH") << QStringLiteral("/nowhere/missing.lzh");
    QTest::newRow("an archive of a kind no library lists")
        << QString() << test::dataPath(QStringLiteral("zip/stored.zip"));
    QTest::newRow("a kind given in small letters")
        << QStringLiteral("zip") << test::dataPath(QStringLiteral("zip/stored.zip"));
}

void tst_SelectListing::archivesThatCannotBeListedGiveNoRows()
{
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QVERIFY(listArchive(kind, file).empty());
}

void tst_SelectListing::listsNamesAsTheItemsOptionsMakeThem()
{
    // What the chooser offers as the related file must be the name the
    // extraction writes: decoded and stripped the same way.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.zip"));
    test::writeZip(path,
        { { "tool-2.0/", {}, false, false }, { "tool-2.0/\x93\xc7\x82\xdd\x95\xa8.txt", "jp", false, false },
            { "tool-2.0/doc/r\x82sum\x82.txt", "dos", false, false } });
    const auto names = [&](const arc::NameOptions &options) {
        SelectRows rows;
        ui::ListArchive(QStringLiteral("ZIP"), path, nullptr, rows, options);
        QStringList out;
        for (const ui::SelectRow &r : rows)
            out << r.relativePath();
        return out;
    };
    const QString sep(platform::kPathSeparator);
    QCOMPARE(names({ QStringLiteral("CP437"), true }),
        QStringList({ QStringLiteral("ô╟é▌ò¿.txt"), QStringLiteral("doc") + sep + QStringLiteral("résumé.txt") }));
    QCOMPARE(names({ {}, true }).first(), QStringLiteral("読み物.txt"));
    QCOMPARE(names({}).first(), QStringLiteral("tool-2.0") + sep + QStringLiteral("読み物.txt"));
}

void tst_SelectListing::longNamesListWholeAsExtractionWritesThem_data()
{
    QTest::addColumn<QByteArray>("name");
    const QByteArray japanese = QStringLiteral("あ").toUtf8().repeated(66);
    QTest::newRow("513 bytes") << longName(513, QByteArray(198, 'a'));
    QTest::newRow("605 bytes in Japanese folders") << longName(605, japanese);
    QTest::newRow("3000 bytes") << longName(3000, QByteArray(198, 'a'));
}

void tst_SelectListing::longNamesListWholeAsExtractionWritesThem()
{
    QFETCH(QByteArray, name);
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("long.zip"));
    test::writeZip(archive, QList<test::ArchiveEntry>{ { name, "long" }, { "short.txt", "short" } });
    if (QTest::currentTestFailed())
        return;

    const SelectRows rows = listArchive(QStringLiteral("ZIP"), archive);
    QCOMPARE(rows.size(), size_t(2));
    QCOMPARE(QByteArray(rows[0].relativePath().toUtf8()), name);
    QVERIFY(rows[0].name.endsWith(QStringLiteral(".txt")));
    // What the chooser would store as the related file is what extraction makes.
    const QString output = dir.filePath(QStringLiteral("out/"));
    test::extractAll(QStringLiteral("ZIP"), archive, output);
    QVERIFY(QFileInfo(output + rows[0].relativePath()).isFile());
}

void tst_SelectListing::listsEveryFileBelowAFolder_data()
{
    QTest::addColumn<bool>("trailingSeparator");
    QTest::newRow("a folder text with its trailing slash") << true;
    QTest::newRow("a folder text without its trailing slash gives the same rows") << false;
}

void tst_SelectListing::listsEveryFileBelowAFolder()
{
    QFETCH(bool, trailingSeparator);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    test::writeFile(dir.filePath(QStringLiteral("a.txt")), "12345");
    test::writeFile(dir.filePath(QStringLiteral(".hidden")), "h");
    test::writeFile(dir.filePath(QStringLiteral("sub/b.txt")), QByteArray(1234, 'b'));
    test::writeFile(dir.filePath(QStringLiteral("sub/en/empty")), QByteArray());
    test::writeFile(dir.filePath(QStringLiteral(".config/説明.xyzq")), "x");
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("nothing/inside")));

    QStringList rows = rowTexts(listFolder(dir.path() + (trailingSeparator ? QStringLiteral("/") : QString())));
    rows.sort();
    QStringList wanted = {
        row(QStringLiteral("a.txt"), QStringLiteral("5"), QStringLiteral("txt"), {}),
        row(QStringLiteral(".hidden"), QStringLiteral("1"), QStringLiteral("hidden"), {}),
        row(QStringLiteral("b.txt"), QStringLiteral("1,234"), QStringLiteral("txt"), QStringLiteral("sub/")),
        QStringLiteral("empty||ファイル|sub/en/"),
        row(QStringLiteral("説明.xyzq"), QStringLiteral("1"), QStringLiteral("xyzq"), QStringLiteral(".config/")),
    };
    wanted.sort();
    QCOMPARE(rows, wanted);
}

void tst_SelectListing::listsASubfoldersRowsTogether()
{
    // Whatever order the system returns, a subfolder's rows come in one run
    // at the place where the subfolder was found, its own subfolders inside.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *path : { "1.txt", "2.txt", "3.txt", "x/1.txt", "x/2.txt", "x/y/1.txt", "x/y/2.txt", "x/3.txt",
             "z/1.txt", "z/2.txt", "4.txt" })
        test::writeFile(dir.filePath(QString::fromLatin1(path)), "data");
    const SelectRows rows = listFolder(dir.path());
    QCOMPARE(rows.size(), size_t(11));
    QStringList runs;
    for (const SelectRow &r : rows) {
        if (runs.isEmpty() || runs.last() != r.folder)
            runs.append(r.folder);
    }
    QCOMPARE(runs.count(QStringLiteral("z/")), 1);
    QCOMPARE(runs.count(QStringLiteral("x/y/")), 1);
    // x's own files may be split only by the run of x/y/, never by rows
    // from elsewhere.
    QList<qsizetype> xRuns;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        if (runs.at(i).startsWith(u"x/"))
            xRuns.append(i);
    }
    QVERIFY2(xRuns.last() - xRuns.first() == xRuns.size() - 1, qPrintable(runs.join(u',')));
}

void tst_SelectListing::sizesLeftForLaterReadAsSizesReadAtOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    test::writeFile(dir.filePath(QStringLiteral("a.txt")), QByteArray(1234, 'a'));
    test::writeFile(dir.filePath(QStringLiteral("sub/empty")), QByteArray());
    test::writeFile(dir.filePath(QStringLiteral("sub/deeper/b.bin")), QByteArray(999, 'b'));
    test::writeFile(dir.filePath(QStringLiteral("gone.txt")), "soon gone");
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("a.txt")), dir.filePath(QStringLiteral("alias.txt"))));
    const SelectRows now = listFolder(dir.path());

    SelectRows later;
    ui::ListFolder(dir.path(), later, ui::SizeReading::Later);
    QCOMPARE(later.size(), now.size());
    int pending = 0;
    for (const SelectRow &r : later)
        pending += r.sizePending ? 1 : 0;
    // Plain files wait; the link was looked through already.
    QCOMPARE(pending, 4);
    QFile::remove(dir.filePath(QStringLiteral("gone.txt")));
    for (size_t i = 0; i < later.size(); ++i) {
        ui::ReadPendingSize(dir.path() + u'/', later[i]);
        QVERIFY(!later[i].sizePending);
        if (later[i].name == u"gone.txt") {
            QCOMPARE(later[i].sizeText, QString());
            continue;
        }
        QCOMPARE(rowText(later[i]), rowText(now[i]));
        QCOMPARE(later[i].size, now[i].size);
    }
}

void tst_SelectListing::neverFollowsLinksToFolders()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QTemporaryDir outside;
    QVERIFY(outside.isValid());
    test::writeFile(dir.filePath(QStringLiteral("sub/a.txt")), "a");
    test::writeFile(outside.filePath(QStringLiteral("elsewhere.txt")), "e");
    test::writeFile(dir.filePath(QStringLiteral("target.txt")), "target");
    // A link back up the tree would list the tree again and again for ever.
    QVERIFY(QFile::link(dir.path(), dir.filePath(QStringLiteral("sub/loop"))));
    QVERIFY(QFile::link(QStringLiteral(".."), dir.filePath(QStringLiteral("sub/up"))));
    QVERIFY(QFile::link(outside.path(), dir.filePath(QStringLiteral("away"))));
    // A link to a file is a file of the folder; a dangling one too.
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("target.txt")), dir.filePath(QStringLiteral("sub/alias.txt"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone.txt")), dir.filePath(QStringLiteral("dangling"))));

    QStringList rows = rowTexts(listFolder(dir.path()));
    rows.sort();
    QStringList wanted = {
        row(QStringLiteral("a.txt"), QStringLiteral("1"), QStringLiteral("txt"), QStringLiteral("sub/")),
        row(QStringLiteral("alias.txt"), QStringLiteral("6"), QStringLiteral("txt"), QStringLiteral("sub/")),
        QStringLiteral("dangling||ファイル|"),
        row(QStringLiteral("target.txt"), QStringLiteral("6"), QStringLiteral("txt"), {}),
    };
    wanted.sort();
    QCOMPARE(rows, wanted);
}

void tst_SelectListing::listsSizesOfFourGibibytesAndMore()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Sparse: the size is real, the disk space is not used.
    QFile big(dir.filePath(QStringLiteral("disc.iso")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    if (!big.resize(qint64(5368709121LL)))
        QSKIP("the file system cannot hold a 5 GiB sparse file");
    big.close();
    const SelectRows rows = listFolder(dir.path());
    QCOMPARE(rows.size(), size_t(1));
    QCOMPARE(rows[0].size, quint64(5368709121ULL));
    QCOMPARE(rows[0].sizeText, QStringLiteral("5,368,709,121"));
}

void tst_SelectListing::foldersThatCannotBeReadGiveNoRows_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("a folder that does not exist") << QStringLiteral("/nowhere/at/all/");
    QTest::newRow("an empty folder text") << QString();
    QTest::newRow("a file named as the folder") << test::dataPath(QStringLiteral("misc/notes.txt"));
}

void tst_SelectListing::foldersThatCannotBeReadGiveNoRows()
{
    QFETCH(QString, folder);
    QVERIFY(listFolder(folder).empty());
}

QTEST_GUILESS_MAIN(tst_SelectListing)
#include "tst_SelectListing.moc"
