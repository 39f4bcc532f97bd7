#include "platform/TextCodec.h"
#include "platform/archiver/ArchiverLibrary.h"
#include "platform/archiver/EntryName.h"
#include "platform/archiver/Report.h"

#include <QTest>

using namespace pellora;

class tst_TextAndNames : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tellsUtf8FromShiftJis_data();
    void tellsUtf8FromShiftJis();
    void encodesShiftJisOrSaysItCannot();
    void makesEntryPathsSafe_data();
    void makesEntryPathsSafe();
    void cutsReportsAtCharacterBoundaries();
    void groupsDigitsInThrees();
};

void tst_TextAndNames::tellsUtf8FromShiftJis_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("ASCII") << QByteArray("readme.txt") << QStringLiteral("readme.txt");
    QTest::newRow("UTF-8 Japanese") << QByteArray("\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88") << QStringLiteral("ソフト");
    QTest::newRow("Shift_JIS with a 0x5C second byte stays one character")
        << QByteArray("\x83\x5C\x83\x74\x83\x67\\\x95\x5C.txt") << QStringLiteral("ソフト\\表.txt");
    QTest::newRow("CP932 NEC extension") << QByteArray("\x87\x40") << QStringLiteral("①");
    QTest::newRow("an overlong UTF-8 slash is not UTF-8") << QByteArray("\xC0\xAF") << QString();
    QTest::newRow("an encoded surrogate is not UTF-8") << QByteArray("\xED\xA0\x80") << QString();
    QTest::newRow("a sequence cut at the end is not UTF-8") << QByteArray("a\xE3\x82") << QString();
}

void tst_TextAndNames::tellsUtf8FromShiftJis()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString decoded = platform::decodeUtf8OrCp932(bytes);
    if (!text.isEmpty()) {
        QCOMPARE(decoded, text);
    } else {
        // Not UTF-8: decoded as CP932, where nothing may pass as "/" or vanish.
        QVERIFY(!platform::isValidUtf8(bytes));
        QVERIFY(!decoded.contains(u'/'));
        QVERIFY(!decoded.isEmpty());
    }
}

void tst_TextAndNames::encodesShiftJisOrSaysItCannot()
{
    QCOMPARE(platform::encodeCp932(QStringLiteral("ソフト説明.txt")).value(),
        QByteArray("\x83\x5C\x83\x74\x83\x67\x90\xE0\x96\xBE.txt"));
    QVERIFY(!platform::encodeCp932(QStringLiteral("emoji \U0001F600")).has_value());
    QVERIFY(!platform::encodeCp932(QStringLiteral("한국어")).has_value());
}

void tst_TextAndNames::makesEntryPathsSafe_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("components");
    QTest::addColumn<bool>("safe");

    QTest::newRow("plain") << "doc/readme.txt" << QStringList{ "doc", "readme.txt" } << true;
    QTest::newRow("DOS separators") << "doc\\en\\a.txt" << QStringList{ "doc", "en", "a.txt" } << true;
    QTest::newRow("dot and empty parts drop out") << "./doc//./a.txt" << QStringList{ "doc", "a.txt" } << true;
    QTest::newRow("two dots inside a name are fine") << "a..b/c..txt" << QStringList{ "a..b", "c..txt" } << true;
    QTest::newRow("parent at the start") << "../evil.txt" << QStringList{} << false;
    QTest::newRow("parent in the middle") << "a/../../evil.txt" << QStringList{} << false;
    QTest::newRow("parent that stays inside is still refused") << "a/../b.txt" << QStringList{} << false;
    QTest::newRow("parent with DOS separators") << "..\\evil.txt" << QStringList{} << false;
    QTest::newRow("absolute") << "/etc/passwd" << QStringList{} << false;
    QTest::newRow("absolute DOS") << "\\windows\\evil.txt" << QStringList{} << false;
    QTest::newRow("drive letter") << "C:\\evil.txt" << QStringList{} << false;
    QTest::newRow("drive-relative") << "c:evil.txt" << QStringList{} << false;
    QTest::newRow("empty") << "" << QStringList{} << false;
    QTest::newRow("a colon later is an ordinary character") << "ab:c.txt" << QStringList{ "ab:c.txt" } << true;
}

void tst_TextAndNames::makesEntryPathsSafe()
{
    QFETCH(QString, name);
    const arc::EntryPath path = arc::makeEntryPath(name);
    QTEST(path.isSafe(), "safe");
    if (path.isSafe())
        QTEST(path.components, "components");
    else
        QVERIFY(!path.refusal.isEmpty());
}

void tst_TextAndNames::cutsReportsAtCharacterBoundaries()
{
    const QByteArray report = QStringLiteral("ソフト説明.txt\n").toUtf8(); // 3-byte characters
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    // Room for 7 bytes and the NUL: two whole characters, never a third's head.
    arc::copyReport(report, buffer, 8);
    QCOMPARE(QByteArray(buffer), QStringLiteral("ソフ").toUtf8());
    QCOMPARE(buffer[7], 'X');

    arc::copyReport(report, buffer, 1);
    QCOMPARE(buffer[0], '\0');

    char big[64];
    arc::copyReport(report, big, sizeof big);
    QCOMPARE(QByteArray(big), report);
}

void tst_TextAndNames::groupsDigitsInThrees()
{
    QCOMPARE(arc::groupedNumber(0), QStringLiteral("0"));
    QCOMPARE(arc::groupedNumber(999), QStringLiteral("999"));
    QCOMPARE(arc::groupedNumber(1234), QStringLiteral("1,234"));
    QCOMPARE(arc::groupedNumber(1234567890), QStringLiteral("1,234,567,890"));
    QCOMPARE(arc::groupedNumber(5000000000LL), QStringLiteral("5,000,000,000"));
}

QTEST_GUILESS_MAIN(tst_TextAndNames)
#include "tst_TextAndNames.moc"
