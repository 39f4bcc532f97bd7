#include "core/ItemFile.h"
#include "core/Startup.h"
#include "platform/TextCodec.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pellora;
using core::ItemFile;
using core::ItemFileEncoding;
using core::ItemRecord;
using Records = QList<ItemRecord>;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(pellora::core::ItemRecord)

namespace {

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<cannot open>";
    return file.readAll();
}

// ツール and ソフト in Shift_JIS; ソ ends in 0x5C, the byte that is "\" in ASCII.
const QByteArray kSjisTool = QByteArray::fromHex("8363815b838b");
const QByteArray kSjisSoft = QByteArray::fromHex("835c83748367");
const QString kTool = QStringLiteral("ツール");
const QString kSoft = QStringLiteral("ソフト");

// A record line in the writer's form, its texts already encoded.
QByteArray line(const QByteArray &title, const QByteArray &pattern, const QByteArray &folder)
{
    return "\"" + title + "\",\"" + pattern + "\",\"" + folder + "\",\"\"\r\n";
}

QByteArray utf16(const QString &text, bool bigEndian)
{
    return QStringEncoder(
        bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)(text);
}

} // namespace

class tst_ItemFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Skipped lines are logged; the tests feed many on purpose.
    void initTestCase() { QLoggingCategory::setFilterRules(u"pellora.core.itemfile.warning=false"_s); }
    void writesExactBytesAndReadsThemBack_data();
    void writesExactBytesAndReadsThemBack();
    void shiftJisFileIsWrittenBackAsShiftJis();
    void shiftJisFileGainingAnUnmappableTextBecomesUtf8();
    void malformedRecordsAreSkipped_data();
    void malformedRecordsAreSkipped();
    void listRoundTripsInItsEncoding_data();
    void listRoundTripsInItsEncoding();
    void saveKeepsWhatCouldNotBeReadAside_data();
    void saveKeepsWhatCouldNotBeReadAside();
    void keptCopyIsNeverOverwritten();
    void randomBytesNeverYieldBrokenRecords();
    void missingFolderOrFifoHoldsNoRecords();
    void saveCutOffMidWayKeepsThePreviousFile();
    void saveThatCannotPlaceTheFileFails_data();
    void saveThatCannotPlaceTheFileFails();
    void firstSaveCreatesTheDataFolder();
    void fileLivesBesideTheExecutableOnlyWhenThatFolderIsWritable_data();
    void fileLivesBesideTheExecutableOnlyWhenThatFolderIsWritable();
};

void tst_ItemFile::writesExactBytesAndReadsThemBack_data()
{
    QTest::addColumn<Records>("records");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("an empty list is a zero-byte file") << Records{} << QByteArray();
    QTest::newRow("an empty related file is two adjacent quotes")
        << Records{ { u"Tool"_s, u"tool*.lzh"_s, u"/opt/tool/"_s, QString() } }
        << QByteArray("\"Tool\",\"tool*.lzh\",\"/opt/tool/\",\"\"\r\n");
    QTest::newRow("records keep their order and end with CR LF")
        << Records{ { u"B"_s, u"b*.zip"_s, u"/b/"_s, u"doc/readme.txt"_s }, { u"A"_s, u"a?.cab"_s, u"/a/"_s, u"x"_s } }
        << QByteArray("\"B\",\"b*.zip\",\"/b/\",\"doc/readme.txt\"\r\n\"A\",\"a?.cab\",\"/a/\",\"x\"\r\n");
    QTest::newRow("a new file holds Japanese texts as UTF-8")
        << Records{ { kTool, u"tool*.lzh"_s, u"/home/u/"_s + kSoft + u"/"_s, kSoft + u".txt"_s } }
        << (QByteArray("\"") + kTool.toUtf8() + "\",\"tool*.lzh\",\"/home/u/" + kSoft.toUtf8() + "/\",\""
               + kSoft.toUtf8() + ".txt\"\r\n");
    QTest::newRow("blanks and commas inside quotes are kept")
        << Records{ { u" Foo, Inc. "_s, u"foo *.lzh"_s, u"/a b/"_s, u" "_s } }
        << QByteArray("\" Foo, Inc. \",\"foo *.lzh\",\"/a b/\",\" \"\r\n");
}

void tst_ItemFile::writesExactBytesAndReadsThemBack()
{
    QFETCH(Records, records);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ITEM.DAT"_s);
    test::writeFile(path, "\"old\",\"old\",\"old\",\"old\"\r\n");

    ItemFile writer(path);
    QVERIFY(!writer.write(records));
    QCOMPARE(readBytes(path), bytes);

    ItemFile reader(path);
    const auto result = reader.read();
    QVERIFY(!result.error);
    QCOMPARE(result.records, records);
    QCOMPARE(reader.encoding(), ItemFileEncoding::Utf8);
}

void tst_ItemFile::shiftJisFileIsWrittenBackAsShiftJis()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ITEM.DAT"_s);
    test::writeFile(path, "\"" + kSjisTool + "\",\"tool*.lzh\",\"/opt/" + kSjisSoft + "/\",\"\"\r\n");

    ItemFile file(path);
    const auto result = file.read();
    QVERIFY(!result.error);
    const ItemRecord tool{ kTool, u"tool*.lzh"_s, u"/opt/"_s + kSoft + u"/"_s, QString() };
    QCOMPARE(result.records, Records{ tool });
    QCOMPARE(file.encoding(), ItemFileEncoding::Cp932);

    const ItemRecord soft{ kSoft, u"soft#.zip"_s, u"/opt/s/"_s, kTool + u".txt"_s };
    QVERIFY(!file.write({ soft, tool }));
    QCOMPARE(readBytes(path),
        "\"" + kSjisSoft + "\",\"soft#.zip\",\"/opt/s/\",\"" + kSjisTool + ".txt\"\r\n\"" + kSjisTool
            + "\",\"tool*.lzh\",\"/opt/" + kSjisSoft + "/\",\"\"\r\n");
    QCOMPARE(file.encoding(), ItemFileEncoding::Cp932);
}

void tst_ItemFile::shiftJisFileGainingAnUnmappableTextBecomesUtf8()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ITEM.DAT"_s);
    test::writeFile(path, "\"" + kSjisTool + "\",\"t*.lzh\",\"/t/\",\"\"\r\n");
    ItemFile file(path);
    Records records = file.read().records;
    QCOMPARE(records.size(), 1);
    QCOMPARE(file.encoding(), ItemFileEncoding::Cp932);

    // Hangul and a character beyond the BMP have no Shift_JIS form.
    records.append({ u"한글 \U0002000B"_s, u"h*.zip"_s, u"/h/"_s, QString() });
    QVERIFY(!file.write(records));
    const QByteArray bytes = readBytes(path);
    QVERIFY(platform::isValidUtf8(bytes));
    QCOMPARE(file.encoding(), ItemFileEncoding::Utf8);

    ItemFile again(path);
    QCOMPARE(again.read().records, records);
}

void tst_ItemFile::malformedRecordsAreSkipped_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Records>("expected");
    const QByteArray good = "\"Good\",\"g*.lzh\",\"/g/\",\"r.txt\"\r\n";
    const Records goodOnly{ { u"Good"_s, u"g*.lzh"_s, u"/g/"_s, u"r.txt"_s } };

    QTest::newRow("a record cut short at the end of the file is dropped") << good + "\"Cut\",\"c*.lzh\"" << goodOnly;
    QTest::newRow("a quoted field left open drops its line only")
        << "\"Open\",\"o*.lzh\",\"/o/\",\"r.txt\r\n" + good << goodOnly;
    QTest::newRow("a stray quote inside a title cuts the title there, as the Windows program does")
        << "\"He said \"hi\"\",\"h*.lzh\",\"/h/\",\"\"\r\n" + good
        << Records{ { u"He said "_s, u"h*.lzh"_s, u"/h/"_s, QString() }, goodOnly.first() };
    QTest::newRow("a comma in an unquoted title drops the record instead of shifting its fields")
        << "Foo, Inc,foo*.lzh,/opt/foo/,readme.txt\r\n" + good << goodOnly;
    QTest::newRow("a trailing comma makes a fifth field and drops the record") << good + "\"a\",\"b\",\"c\",\"d\",\r\n"
                                                                               << goodOnly;
    QTest::newRow("a record split over two lines is read whole") << "\"Split\",\"s*.lzh\"\r\n\"/s/\",\"\"\r\n"
            + good << Records{ { u"Split"_s, u"s*.lzh"_s, u"/s/"_s, QString() }, goodOnly.first() };
    QTest::newRow("a short line followed by a whole record is dropped rather than joined to it")
        << "\"Cut\",\"c*.lzh\",\"/c/\"\r\n" + good << goodOnly;
    QTest::newRow("a blank line ends a record cut short")
        << "\"Cut\",\"c*.lzh\"\r\n\r\n\"/c/\",\"\"\r\n" + good << goodOnly;
    QTest::newRow("unquoted fields run to the comma or the line end")
        << QByteArray("Tool,tool*.lzh,/opt/tool/,readme.txt\r\n")
        << Records{ { u"Tool"_s, u"tool*.lzh"_s, u"/opt/tool/"_s, u"readme.txt"_s } };
    QTest::newRow("blanks around quoted fields are skipped")
        << QByteArray("  \"A\" ,\t\"a*\"  , \"/a/\",\"\"  \r\n") << Records{ { u"A"_s, u"a*"_s, u"/a/"_s, QString() } };
    QTest::newRow("an empty unquoted last field is an empty related file")
        << QByteArray("\"A\",\"a*\",\"/a/\",\r\n") << Records{ { u"A"_s, u"a*"_s, u"/a/"_s, QString() } };
    QTest::newRow("lone LF and CR line ends and a missing last one are accepted")
        << QByteArray("\"A\",\"a\",\"/a/\",\"\"\n\"B\",\"b\",\"/b/\",\"\"\r\"C\",\"c\",\"/c/\",\"\"")
        << Records{ { u"A"_s, u"a"_s, u"/a/"_s, QString() }, { u"B"_s, u"b"_s, u"/b/"_s, QString() },
               { u"C"_s, u"c"_s, u"/c/"_s, QString() } };
    QTest::newRow("a byte-order mark is not part of the first title") << "\xEF\xBB\xBF" + good << goodOnly;
    QTest::newRow("a lone quote holds nothing") << QByteArray("\"") << Records{};
    QTest::newRow("a run of commas holds nothing") << QByteArray(",,,,,,,,\r\n") << Records{};
    QTest::newRow("three commas are four empty fields") << QByteArray(",,,\r\n") << Records{ {} };
    QTest::newRow("a NUL byte in a line does not end the file") << QByteArray("\"A\0\",\"a\",\"/a/\",\"\"\r\n", 18)
            + good << Records{ { u"A"_s + QChar(0), u"a"_s, u"/a/"_s, QString() }, goodOnly.first() };
}

void tst_ItemFile::malformedRecordsAreSkipped()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Records, expected);
    QCOMPARE(core::parseItemFile(bytes).records, expected);
}

void tst_ItemFile::listRoundTripsInItsEncoding_data()
{
    // The file as found, the records read from it, and the file after they
    // are written back unchanged.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Records>("records");
    QTest::addColumn<QByteArray>("written");
    const QString kNew = QStringLiteral("新しい");
    const QByteArray sjisTool = line(kSjisTool, "tool*.lzh", "/opt/" + kSjisSoft + "/");
    const QByteArray utf8Tool = line(kTool.toUtf8(), "tool*.lzh", "/opt/" + kSoft.toUtf8() + "/");
    const QByteArray sjisSoft = line(kSjisSoft, "soft*.zip", "/s/");
    const QByteArray utf8Soft = line(kSoft.toUtf8(), "soft*.zip", "/s/");
    const QByteArray utf8New = line(kNew.toUtf8(), "new*.lzh", "/opt/" + kNew.toUtf8() + "/");
    const QByteArray sjisNew = *platform::encodeCp932(QString::fromUtf8(utf8New));
    const ItemRecord tool{ kTool, u"tool*.lzh"_s, u"/opt/"_s + kSoft + u"/"_s, QString() };
    const ItemRecord soft{ kSoft, u"soft*.zip"_s, u"/s/"_s, QString() };
    const ItemRecord fresh{ kNew, u"new*.lzh"_s, u"/opt/"_s + kNew + u"/"_s, QString() };
    const QString text = QString::fromUtf8(utf8Tool + utf8Soft);

    QTest::newRow("Shift_JIS stays byte for byte")
        << sjisTool + sjisSoft << Records{ tool, soft } << sjisTool + sjisSoft;
    QTest::newRow("UTF-8 stays byte for byte") << utf8Tool + utf8Soft << Records{ tool, soft } << utf8Tool + utf8Soft;
    QTest::newRow("UTF-8 with a byte-order mark keeps the mark")
        << "\xEF\xBB\xBF" + utf8Tool + utf8Soft << Records{ tool, soft } << "\xEF\xBB\xBF" + utf8Tool + utf8Soft;
    QTest::newRow("UTF-16 LE with a byte-order mark stays UTF-16 LE")
        << utf16(text, false) << Records{ tool, soft } << utf16(text, false);
    QTest::newRow("UTF-16 BE with a byte-order mark stays UTF-16 BE")
        << utf16(text, true) << Records{ tool, soft } << utf16(text, true);
    QTest::newRow("a list of no records is an empty file, byte-order mark or not")
        << utf16(QString(), false) << Records{} << QByteArray();
    QTest::newRow("a Shift_JIS list with a UTF-8 line appended is read right and stays Shift_JIS")
        << sjisTool + sjisSoft + utf8New << Records{ tool, soft, fresh } << sjisTool + sjisSoft + sjisNew;
    QTest::newRow("a UTF-8 list with a Shift_JIS line is read right and stays UTF-8")
        << utf8Tool + sjisNew + utf8Soft << Records{ tool, fresh, soft } << utf8Tool + utf8New + utf8Soft;
    const QByteArray hangul = line(u"한글"_s.toUtf8(), "h*.zip", "/h/");
    QTest::newRow("a mostly Shift_JIS list holding a text Shift_JIS lacks becomes UTF-8")
        << sjisTool + sjisSoft + hangul << Records{ tool, soft, { u"한글"_s, u"h*.zip"_s, u"/h/"_s, QString() } }
        << utf8Tool + utf8Soft + hangul;
    QTest::newRow("a line in neither encoding is left out, never read as replacement characters") << utf8Tool
            + line("\x81\x20"
                   "bad",
                "b*.lzh", "/b/") << Records{ tool } << utf8Tool;
}

void tst_ItemFile::listRoundTripsInItsEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Records, records);
    QFETCH(QByteArray, written);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ITEM.DAT"_s);
    test::writeFile(path, bytes);

    // Start-up streams the file; it must see the same records as the window.
    const QString archive = u"new1.lzh"_s;
    QCOMPARE(core::matchingItemsInFile(archive, path), core::matchingItems(archive, records));
    ItemFile file(path);
    QCOMPARE(file.read().records, records);
    QVERIFY(!file.write(records));
    QCOMPARE(readBytes(path), written);
    QVERIFY(!readBytes(path).contains("\xEF\xBF\xBD"));
}

void tst_ItemFile::saveKeepsWhatCouldNotBeReadAside_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Records>("records");
    QTest::addColumn<bool>("keptAside");
    const QByteArray good = "\"Good\",\"g*.lzh\",\"/g/\",\"r.txt\"\r\n";
    const Records goodOnly{ { u"Good"_s, u"g*.lzh"_s, u"/g/"_s, u"r.txt"_s } };
    QTest::newRow("a line of five fields") << good + "\"a\",\"b\",\"c\",\"d\",\"e\"\r\n" << goodOnly << true;
    QTest::newRow("a line of three fields") << "\"a\",\"b\",\"c\"\r\n" + good << goodOnly << true;
    QTest::newRow("a text cut at an inner quote")
        << QByteArray("\"Foo \"Pro\" Edition\",\"foo*.zip\",\"/opt/foo/\",\"\"\r\n")
        << Records{ { u"Foo "_s, u"foo*.zip"_s, u"/opt/foo/"_s, QString() } } << true;
    QTest::newRow("a 10 MB garbage line") << QByteArray(10 * 1024 * 1024, 'x') << Records{} << true;
    QTest::newRow("binary junk") << QByteArray::fromHex("00c3ff810d0a9f22e0802c2c2c2c2c0a") << Records{} << true;
    QTest::newRow("a record on two lines loses nothing")
        << QByteArray("\"Good\",\"g*.lzh\"\r\n\"/g/\",\"r.txt\"\r\n") << goodOnly << false;
    QTest::newRow("blank lines lose nothing") << "\r\n  \r\n" + good + "\r\n" << goodOnly << false;
}

void tst_ItemFile::saveKeepsWhatCouldNotBeReadAside()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Records, records);
    QFETCH(bool, keptAside);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ITEM.DAT"_s);
    test::writeFile(path, bytes);

    ItemFile file(path);
    QCOMPARE(file.read().records, records);
    QVERIFY(!file.write(records));
    QCOMPARE(ItemFile(path).read().records, records);
    QCOMPARE(QFileInfo::exists(path + u".bak"_s), keptAside);
    if (keptAside)
        QVERIFY(readBytes(path + u".bak"_s) == bytes);
}

void tst_ItemFile::keptCopyIsNeverOverwritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ITEM.DAT"_s);
    const QByteArray first = "\"a\",\"b\",\"c\"\r\n";
    const QByteArray second = "\"d\",\"e\",\"f\",\"g\",\"h\"\r\n";
    for (const QByteArray &bytes : { first, first, second }) {
        test::writeFile(path, bytes);
        ItemFile file(path);
        file.read();
        QVERIFY(!file.write({}));
        // Clean now: saving again keeps nothing more.
        file.read();
        QVERIFY(!file.write({}));
    }
    QCOMPARE(readBytes(path + u".bak"_s), first);
    QCOMPARE(readBytes(path + u".bak.2"_s), second);
    QVERIFY(!QFileInfo::exists(path + u".bak.3"_s));
}

void tst_ItemFile::randomBytesNeverYieldBrokenRecords()
{
    // Whatever the bytes, reading ends and no record holds a text the writer
    // could not store, so a read followed by a write keeps every record read.
    QRandomGenerator random(20240611);
    const char alphabet[] = { '"', '"', ',', ',', '\r', '\n', ' ', 'a', '\x83', '\x5c', '\xff', '\0' };
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes;
        const int length = random.bounded(120);
        for (int i = 0; i < length; ++i)
            bytes.append(alphabet[random.bounded(int(sizeof alphabet))]);
        const auto contents = core::parseItemFile(bytes);
        for (const ItemRecord &r : contents.records) {
            for (const QString &text : { r.Title, r.Pattern, r.Output, r.Relation })
                QVERIFY2(core::isStorableItemText(text), bytes.toHex().constData());
        }
        const auto written = core::formatItemFile(contents.records, ItemFileEncoding::Utf8);
        QVERIFY(written);
        QCOMPARE(core::parseItemFile(*written).records, contents.records);
    }
}

void tst_ItemFile::missingFolderOrFifoHoldsNoRecords()
{
    QTemporaryDir dir;
    ItemFile missing(dir.filePath(u"ITEM.DAT"_s));
    auto result = missing.read();
    QVERIFY(result.records.isEmpty());
    QVERIFY(!result.error);

    const QString folderPath = dir.filePath(u"folder/ITEM.DAT"_s);
    QVERIFY(QDir().mkpath(folderPath));
    result = ItemFile(folderPath).read();
    QVERIFY(result.records.isEmpty());
    QVERIFY(!result.error);

    // Opening a FIFO would wait for a writer that never comes.
    const QString fifoPath = dir.filePath(u"fifo/ITEM.DAT"_s);
    QVERIFY(QDir().mkpath(dir.filePath(u"fifo"_s)));
    QCOMPARE(::mkfifo(QFile::encodeName(fifoPath).constData(), 0600), 0);
    result = ItemFile(fifoPath).read();
    QVERIFY(result.records.isEmpty());
    QVERIFY(!result.error);
}

void tst_ItemFile::saveCutOffMidWayKeepsThePreviousFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ITEM.DAT"_s);
    const QByteArray previous = "\"Old\",\"old*.lzh\",\"/old/\",\"\"\r\n";
    test::writeFile(path, previous);
    Records many;
    for (int i = 0; i < 200; ++i)
        many.append({ u"Item %1"_s.arg(i), u"item%1*.lzh"_s.arg(i), u"/opt/items/%1/"_s.arg(i), u"readme.txt"_s });

    // A file-size limit makes every write past 256 bytes fail, as a full disk would;
    // unlike permission bits it holds for root too.
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 256;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    ItemFile file(path);
    const auto error = file.write(many);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(error);
    QCOMPARE(error->fileName, path);
    QVERIFY(!error->reason.isEmpty());
    QCOMPARE(readBytes(path), previous);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), { u"ITEM.DAT"_s });
}

void tst_ItemFile::saveThatCannotPlaceTheFileFails_data()
{
    // The name that stands in the way, relative to the temporary folder, and the
    // file under it that must survive; root is not stopped by permission bits.
    QTest::addColumn<QString>("itemFile");
    QTest::addColumn<QString>("keptFile");
    QTest::newRow("a data folder path that is a regular file") << u"Pellora/ITEM.DAT"_s << u"Pellora"_s;
    QTest::newRow("a folder where the item file should be") << u"ITEM.DAT"_s << u"ITEM.DAT/inside.txt"_s;
}

void tst_ItemFile::saveThatCannotPlaceTheFileFails()
{
    QFETCH(QString, itemFile);
    QFETCH(QString, keptFile);
    QTemporaryDir dir;
    test::writeFile(dir.filePath(keptFile), "kept");
    const QString path = dir.filePath(itemFile);
    const auto error = ItemFile(path).write({ { u"A"_s, u"a*"_s, u"/a/"_s, QString() } });
    QVERIFY(error);
    QCOMPARE(error->fileName, path);
    QVERIFY(!error->reason.isEmpty());
    QCOMPARE(readBytes(dir.filePath(keptFile)), QByteArray("kept"));
}

void tst_ItemFile::firstSaveCreatesTheDataFolder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"share/Pellora/ITEM.DAT"_s);
    const Records records{ { u"A"_s, u"a*"_s, u"/a/"_s, QString() } };
    QVERIFY(!ItemFile(path).write(records));
    QCOMPARE(ItemFile(path).read().records, records);
}

void tst_ItemFile::fileLivesBesideTheExecutableOnlyWhenThatFolderIsWritable_data()
{
    QTest::addColumn<QString>("executableFolder"); // "missing", "writable", "read-only" or "installed"
    QTest::addColumn<bool>("besideExecutable");
    QTest::newRow("a writable executable folder keeps the file beside the program") << u"writable"_s << true;
    QTest::newRow("a missing executable folder sends the file to the data folder") << u"missing"_s << false;
    QTest::newRow("a read-only executable folder sends the file to the data folder") << u"read-only"_s << false;
    QTest::newRow("an installed copy sends the file to the data folder even when bin is writable")
        << u"installed"_s << false;
}

void tst_ItemFile::fileLivesBesideTheExecutableOnlyWhenThatFolderIsWritable()
{
    QFETCH(QString, executableFolder);
    QFETCH(bool, besideExecutable);
    if (executableFolder == u"read-only"_s && ::geteuid() == 0)
        QSKIP("root may write into any folder; this case needs an ordinary user");
    QTemporaryDir dir;
    const QString bin = dir.filePath(u"bin"_s);
    const QString data = dir.filePath(u"data/Pellora"_s);
    if (executableFolder != u"missing"_s)
        QVERIFY(QDir().mkpath(bin));
    if (executableFolder == u"read-only"_s)
        QVERIFY(QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner));
    // What `cmake --install` makes beside bin.
    if (executableFolder == u"installed"_s)
        QVERIFY(QDir().mkpath(dir.filePath(u"share/pellora/help"_s)));
    const QString chosen = core::itemFilePath(bin, data);
    QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(chosen, (besideExecutable ? bin : data) + u"/ITEM.DAT"_s);
}

QTEST_GUILESS_MAIN(tst_ItemFile)
#include "tst_ItemFile.moc"
