#include "core/modRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <iterator>
#include <limits>

using namespace pellora;
using core::kRegDword;
using core::kRegSz;

class tst_modRegistry : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void defaultsWhenNothingIsStored_data();
    void defaultsWhenNothingIsStored();
    void valuesReadBackAsWritten_data();
    void valuesReadBackAsWritten();
    void fileHoldsNumbersAsIntegersAndTextsAsText();
    void refusedWritesKeepThePreviousValue_data();
    void refusedWritesKeepThePreviousValue();
    void editedFileContents_data();
    void editedFileContents();
    void settingsFileInTheWayOfAFolder();
    void deletingTheKeyRemovesTheFileOnly();
    void typedAccessorsFollowTheTable();
    void fileTypeLookups_data();
    void fileTypeLookups();

private:
    QString vornFolder() const { return m_config.filePath(QStringLiteral("Vorn")); }
    QString settingsFile() const { return m_config.filePath(QStringLiteral("Vorn/Pellora.conf")); }
    void writeSettingsFile(const QByteArray &contents);

    QTemporaryDir m_config;
};

void tst_modRegistry::initTestCase()
{
    // QSettings fixes its folders on first use, so this must come before any.
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QCOMPARE(QSettings(QStringLiteral("Vorn"), QStringLiteral("Pellora")).fileName(), settingsFile());
}

void tst_modRegistry::cleanup()
{
    QDir(vornFolder()).removeRecursively();
    // Let QSettings' cache of the file see that it is gone before the next row
    // writes a file of possibly the same size within the same millisecond.
    QVERIFY(QSettings(QStringLiteral("Vorn"), QStringLiteral("Pellora")).allKeys().isEmpty());
}

void tst_modRegistry::writeSettingsFile(const QByteArray &contents)
{
    QVERIFY(QDir().mkpath(vornFolder()));
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(contents), contents.size());
}

void tst_modRegistry::defaultsWhenNothingIsStored_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("expected");
    const auto row = [](const char *name, const QVariant &expected) {
        QTest::addRow("%s reads as its default on a first run", name) << QString::fromLatin1(name) << expected;
    };
    row("Top", 0);
    row("Left", 0);
    row("Height", 5000);
    row("Width", 7000);
    row("Column1Width", 1440);
    row("Column2Width", 1440);
    row("Column3Width", 2300);
    row("Column4Width", 1440);
    row("ListFullRowSelect", false);
    row("ListGridLines", false);
    row("ShowToolBar", true);
    row("ShowStatusBar", true);
    row("NoRemoveBox", false);
    row("DefaultItemFolder", QString());
    row("ArchiveOperationFolder", QString());
    row("ArchiveOperationTargetFolder", true);
    row("ArchiveOperation", 0);
    row("UnlhaCommandLine", QString());
    row("UnzipCommandLine", QString());
    row("CabCommandLine", QString());
    row("LibarchiveCommandLine", QString());
    row("NoLog", false);
    row("RunExplorer", false);
    row("DefaultMeltFolder", QString());
    row("DefaultArchiveFolder", false);
    row("AddArchiveName", false);
    row("DefaultFileViewer", QString());
    row("DefaultFiler", QStringLiteral("xdg-open "));
    row("AddFolderName", false);
    row("HistoryRuns", 5);
    row("HistoryMegabytes", 2048);
    row("WatchAtLogin", false);
    row("WatchFolder", QString());
    // A setting missing from these rows or from the table fails here.
    QCOMPARE(qsizetype(std::size(core::kSettings)), qsizetype(33));
}

void tst_modRegistry::defaultsWhenNothingIsStored()
{
    QFETCH(QString, name);
    QFETCH(QVariant, expected);
    const auto found = std::find_if(std::begin(core::kSettings), std::end(core::kSettings),
        [&](const core::Setting &s) { return s.key() == name; });
    QVERIFY(found != std::end(core::kSettings));
    QCOMPARE(core::defaultValue(*found), expected);
    QCOMPARE(found->valueType(), expected.typeId() == QMetaType::QString ? kRegSz : kRegDword);
    // The default comes back exactly as passed, Boolean included.
    QCOMPARE(core::ReadSetting(name, found->valueType(), expected), expected);
    QVERIFY2(!QFile::exists(settingsFile()), "reading must not create the settings file");
}

void tst_modRegistry::valuesReadBackAsWritten_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("written");
    QTest::addColumn<QVariant>("expected");

    const QString japanese = QString::fromUtf8("解凍先フォルダ\\ソフト名").repeated(100);
    const QString thousand = japanese.left(1000);
    QCOMPARE(thousand.size(), 1000);

    QTest::newRow("a folder text reads back unchanged")
        << kRegSz << QVariant(QStringLiteral("/home/u/Tools/")) << QVariant(QStringLiteral("/home/u/Tools/"));
    QTest::newRow("an empty text reads back empty, not as the default")
        << kRegSz << QVariant(QString()) << QVariant(QString());
    QTest::newRow("a text of 255 bytes reads back unchanged")
        << kRegSz << QVariant(QString(255, u'a')) << QVariant(QString(255, u'a'));
    QTest::newRow("a 1000-character Japanese text reads back unchanged")
        << kRegSz << QVariant(thousand) << QVariant(thousand);
    QTest::newRow("a command ending in a comma and a blank keeps both")
        << kRegSz << QVariant(QStringLiteral("explorer.exe /root, "))
        << QVariant(QStringLiteral("explorer.exe /root, "));
    QTest::newRow("a text that looks like INI syntax reads back unchanged")
        << kRegSz << QVariant(QStringLiteral("@Variant(x) \"q\";#c\n[General]\nTop=1\\"))
        << QVariant(QStringLiteral("@Variant(x) \"q\";#c\n[General]\nTop=1\\"));
    QTest::newRow("a text with a NUL reads back up to the NUL")
        << kRegSz << QVariant(QStringLiteral("-a1") + QChar(u'\0') + QStringLiteral("-x"))
        << QVariant(QStringLiteral("-a1"));
    QTest::newRow("a number written as text reads back as its digits")
        << kRegSz << QVariant(1440) << QVariant(QStringLiteral("1440"));
    QTest::newRow("a number reads back as an int") << kRegDword << QVariant(6000) << QVariant(6000);
    QTest::newRow("a negative position reads back negative") << kRegDword << QVariant(-1200) << QVariant(-1200);
    QTest::newRow("the largest 32-bit number reads back")
        << kRegDword << QVariant(std::numeric_limits<qint32>::max()) << QVariant(std::numeric_limits<qint32>::max());
    QTest::newRow("a fraction of twips is stored as the nearest whole number")
        << kRegDword << QVariant(1439.6) << QVariant(1440);
    QTest::newRow("yes is stored as 1") << kRegDword << QVariant(true) << QVariant(1);
    QTest::newRow("a check box state of 2 stays 2") << kRegDword << QVariant(2) << QVariant(2);
    QTest::newRow("a number given as text is stored as that number")
        << kRegDword << QVariant(QStringLiteral(" 42 ")) << QVariant(42);
}

void tst_modRegistry::valuesReadBackAsWritten()
{
    QFETCH(int, type);
    QFETCH(QVariant, written);
    QFETCH(QVariant, expected);
    const QString name = QStringLiteral("Column2Width");
    const QVariant fallback = type == kRegSz ? QVariant(QStringLiteral("fallback")) : QVariant(-7);

    core::WriteSetting(name, type, written);
    QVERIFY(QFile::exists(settingsFile()));
    QCOMPARE(core::ReadSetting(name, type, fallback), expected);

    // Another copy of the program reads the file, not this process's cache.
    const QString copy = QDir(m_config.path()).filePath(QStringLiteral("copy.conf"));
    QFile::remove(copy);
    QVERIFY(QFile::copy(settingsFile(), copy));
    QDir(vornFolder()).removeRecursively();
    QCOMPARE(core::ReadSetting(name, type, fallback), fallback);
    QVERIFY(QDir().mkpath(vornFolder()));
    QVERIFY(QFile::rename(copy, settingsFile()));
    QCOMPARE(core::ReadSetting(name, type, fallback), expected);
}

void tst_modRegistry::fileHoldsNumbersAsIntegersAndTextsAsText()
{
    core::WriteSetting(QStringLiteral("Height"), kRegDword, 6000);
    core::WriteSetting(QStringLiteral("DefaultMeltFolder"), kRegSz, QString::fromUtf8("/home/u/解凍/"));
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    QVERIFY2(contents.startsWith("[General]\n"), contents.constData());
    QVERIFY2(contents.contains("\nHeight=6000\n"), contents.constData());
    QVERIFY2(contents.contains("\nDefaultMeltFolder=/home/u/解凍/\n"), contents.constData());
}

void tst_modRegistry::refusedWritesKeepThePreviousValue_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("written");

    const QString height = QStringLiteral("Height");
    QTest::newRow("an unknown value type stores nothing") << height << 2 << QVariant(1);
    QTest::newRow("a number beyond 32 bits stores nothing") << height << kRegDword << QVariant(qint64(1) << 31);
    QTest::newRow("a huge unsigned number stores nothing")
        << height << kRegDword << QVariant(std::numeric_limits<qulonglong>::max());
    QTest::newRow("not-a-number stores nothing")
        << height << kRegDword << QVariant(std::numeric_limits<double>::quiet_NaN());
    QTest::newRow("letters as a number store nothing") << height << kRegDword << QVariant(QStringLiteral("abc"));
    QTest::newRow("an empty text as a number stores nothing") << height << kRegDword << QVariant(QString());
    QTest::newRow("nothing at all as a number stores nothing") << height << kRegDword << QVariant();
    QTest::newRow("a name with a slash makes no group") << QStringLiteral("Vorn/Height") << kRegDword << QVariant(1);
    QTest::newRow("a name with a backslash makes no subkey")
        << QStringLiteral("Vorn\\Height") << kRegDword << QVariant(1);
    QTest::newRow("an empty name stores nothing") << QString() << kRegDword << QVariant(1);
}

void tst_modRegistry::refusedWritesKeepThePreviousValue()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QVariant, written);

    core::WriteSetting(QStringLiteral("Height"), kRegDword, 6000);
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    // A refused write is logged, never shown.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^(not a|unknown value type)")));
    core::WriteSetting(name, type, written);
    QCOMPARE(core::ReadSetting(QStringLiteral("Height"), kRegDword, 5000), QVariant(6000));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void tst_modRegistry::editedFileContents_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("expected");

    const QString height = QStringLiteral("Height");
    const QString filer = QStringLiteral("DefaultFiler");
    const QVariant fallbackNumber(5000);
    const QVariant fallbackText(QStringLiteral("xdg-open "));
    const auto number = [&](const char *row, const QByteArray &value, const QVariant &expected) {
        QTest::newRow(row) << QByteArray("[General]\nHeight=" + value + '\n') << height << kRegDword << expected;
    };
    number("a number setting holding a number reads as that number", "6000", 6000);
    number("a number stored as quoted text reads as that number", "\"6000\"", 6000);
    number("a negative number reads as that number", "-15", -15);
    number("a number setting holding letters reads as its default", "abc", fallbackNumber);
    number("a number followed by letters reads as the default", "12abc", fallbackNumber);
    number("a fraction reads as the default", "1.5", fallbackNumber);
    number("a number beyond 32 bits reads as the default", "4294967296", fallbackNumber);
    number("an empty value reads as the default", "", fallbackNumber);
    number("a list reads as the default", "1, 2", fallbackNumber);
    number("a serialized rectangle reads as the default", "@Rect(1 2 3 4)", fallbackNumber);
    number("a serialized garbage variant reads as the default", "@Variant(\\x1garbage)", fallbackNumber);

    const auto text = [&](const char *row, const QByteArray &value, const QVariant &expected) {
        QTest::newRow(row) << QByteArray("[General]\nDefaultFiler=" + value + '\n') << filer << kRegSz << expected;
    };
    text("an unquoted command with a comma reads back whole", "explorer.exe /root, ",
        QStringLiteral("explorer.exe /root, "));
    text("a text setting holding a number reads as its digits", "5", QStringLiteral("5"));
    text("a text setting holding a byte array reads as its text", "@ByteArray(thunar)", QStringLiteral("thunar"));
    text("a text setting holding a rectangle reads as its default", "@Rect(1 2 3 4)", fallbackText);
    text("an escaped NUL ends the text", "\"pcmanfm\\0 --evil\"", QStringLiteral("pcmanfm"));

    QTest::newRow("a value in another section is not a setting")
        << QByteArray("[Other]\nHeight=6000\n") << height << kRegDword << fallbackNumber;
    QTest::newRow("a file of binary garbage reads as the default")
        << QByteArray("\x00\xff\xfe[[[=\n\x01Height\x02=", 16) << height << kRegDword << fallbackNumber;
    QTest::newRow("a value read with an unknown type reads as the default")
        << QByteArray("[General]\nHeight=6000\n") << height << 3 << fallbackNumber;
}

void tst_modRegistry::editedFileContents()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QVariant, expected);

    writeSettingsFile(contents);
    const QVariant fallback = type == kRegSz ? QVariant(QStringLiteral("xdg-open ")) : QVariant(5000);
    QCOMPARE(core::ReadSetting(name, type, fallback), expected);
}

void tst_modRegistry::settingsFileInTheWayOfAFolder()
{
    QVERIFY(QDir().mkpath(settingsFile()));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^could not store")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^could not remove")));
    core::WriteSetting(QStringLiteral("Height"), kRegDword, 6000);
    QCOMPARE(core::ReadSetting(QStringLiteral("Height"), kRegDword, 5000), QVariant(5000));
    QVERIFY(core::DeleteSettingsKey().has_value());
    QVERIFY(QFileInfo(settingsFile()).isDir());
}

void tst_modRegistry::deletingTheKeyRemovesTheFileOnly()
{
    QVERIFY2(!core::DeleteSettingsKey(), "deleting settings that do not exist succeeds");
    QVERIFY(!QFile::exists(settingsFile()));

    core::WriteSetting(QStringLiteral("Height"), kRegDword, 6000);
    core::WriteSetting(QStringLiteral("DefaultMeltFolder"), kRegSz, QStringLiteral("/srv/soft/"));
    core::writeYesNo(core::setting(u"ShowToolBar"), false);
    const QString neighbour = QDir(vornFolder()).filePath(QStringLiteral("Other.conf"));
    QFile other(neighbour);
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();

    QCOMPARE(core::DeleteSettingsKey(), std::nullopt);
    QVERIFY(!QFile::exists(settingsFile()));
    QVERIFY(QFileInfo(vornFolder()).isDir());
    QVERIFY(QFile::exists(neighbour));
    QCOMPARE(QDir(vornFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{ QStringLiteral("Other.conf") });

    for (const core::Setting &s : core::kSettings)
        QCOMPARE(core::ReadSetting(s.key(), s.valueType(), core::defaultValue(s)), core::defaultValue(s));
    QVERIFY2(!QFile::exists(settingsFile()), "reading after deletion must not recreate the file");

    core::WriteSetting(QStringLiteral("Width"), kRegDword, 8000);
    QCOMPARE(core::ReadSetting(QStringLiteral("Width"), kRegDword, 7000), QVariant(8000));
    QCOMPARE(core::ReadSetting(QStringLiteral("Height"), kRegDword, 5000), QVariant(5000));
}

void tst_modRegistry::typedAccessorsFollowTheTable()
{
    const core::Setting &filer = core::setting(u"DefaultFiler");
    const core::Setting &gridLines = core::setting(u"ListGridLines");
    const core::Setting &column4 = core::setting(u"Column4Width");

    QCOMPARE(core::readText(filer), QStringLiteral("xdg-open "));
    QCOMPARE(core::readText(filer, QString()), QString()); // as the options dialog reads it
    QCOMPARE(core::readNumber(column4, core::kChooserColumn4Width), 1400);
    QCOMPARE(core::readYesNo(gridLines), false);

    core::writeText(filer, QString());
    QCOMPARE(core::readText(filer), QString()); // stored empty is not missing
    core::writeYesNo(gridLines, true);
    QCOMPARE(core::ReadSetting(gridLines.key(), kRegDword, false), QVariant(1));
    core::WriteSetting(gridLines.key(), kRegDword, -1);
    QCOMPARE(core::readYesNo(gridLines), true); // any non-zero number is yes
    core::writeNumber(column4, 2000);
    QCOMPARE(core::readNumber(column4), 2000);
    QCOMPARE(core::readNumber(column4, core::kChooserColumn4Width), 2000);
}

void tst_modRegistry::fileTypeLookups_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("valueName");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("expected");

    const QVariant none(QStringLiteral("<none>"));
    const QString plainTextComment = QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).comment();
    QVERIFY(!plainTextComment.isEmpty());

    QTest::newRow(".txt names the plain text type")
        << QStringLiteral(".txt") << QString() << kRegSz << QVariant(QStringLiteral("text/plain"));
    QTest::newRow("an upper-case extension names the same type")
        << QStringLiteral(".TXT") << QString() << kRegSz << QVariant(QStringLiteral("text/plain"));
    QTest::newRow(".lzh names an archive type")
        << QStringLiteral(".lzh") << QString() << kRegSz << QVariant(QStringLiteral("application/x-lha"));
    QTest::newRow("a MIME type name gives its description")
        << QStringLiteral("text/plain") << QString() << kRegSz << QVariant(plainTextComment);
    QTest::newRow("an unknown extension reads as the default")
        << QStringLiteral(".pelloraunknown") << QString() << kRegSz << none;
    QTest::newRow("an empty key reads as the default") << QString() << QString() << kRegSz << none;
    QTest::newRow("an unknown MIME type name reads as the default")
        << QStringLiteral("application/x-pellora-unknown") << QString() << kRegSz << none;
    QTest::newRow("a class name without a slash reads as the default")
        << QStringLiteral("txtfile") << QString() << kRegSz << none;
    QTest::newRow("an extension with a path in it reads as the default")
        << QStringLiteral(".txt/../x.zip") << QString() << kRegSz << none;
    QTest::newRow("a named value reads as the default")
        << QStringLiteral(".txt") << QStringLiteral("Content Type") << kRegSz << none;
    QTest::newRow("a description read as a number reads as the default")
        << QStringLiteral(".txt") << QString() << kRegDword << none;
    QTest::newRow("an unknown value type reads as the default") << QStringLiteral(".txt") << QString() << 7 << none;
}

void tst_modRegistry::fileTypeLookups()
{
    QFETCH(QString, key);
    QFETCH(QString, valueName);
    QFETCH(int, type);
    QFETCH(QVariant, expected);
    QCOMPARE(core::ReadClassesRootValue(key, valueName, type, QStringLiteral("<none>")), expected);
}

QTEST_GUILESS_MAIN(tst_modRegistry)
#include "tst_modRegistry.moc"
