#include "platform/TextCodec.h"
#include "platform/archiver/ArchiverLibrary.h"
#include "platform/archiver/EntryName.h"
#include "platform/archiver/Report.h"

#include <QRegularExpression>
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
    void reportLinesCannotBeForgedOrDriveATerminal_data();
    void reportLinesCannotBeForgedOrDriveATerminal();
    void shortenedReportKeepsErrorsAndSummary_data();
    void shortenedReportKeepsErrorsAndSummary();
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

void tst_TextAndNames::reportLinesCannotBeForgedOrDriveATerminal_data()
{
    // An empty name stands for a damaged header, whose message is the detail.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("line");
    const QString summary = arc::Report().text().trimmed();
    const QString forged = QStringLiteral("a.txt\n") + summary;
    QTest::newRow("newline forging a summary")
        << forged << QString() << (QStringLiteral("a.txt\\n") + summary + QStringLiteral("  1 バイト  解凍しました"));
    QTest::newRow("terminal title and bell") << QStringLiteral("\x1b]0;owned\x07x.txt") << QString()
                                             << QStringLiteral("\\x1b]0;owned\\x07x.txt  1 バイト  解凍しました");
    QTest::newRow("tab, carriage return, DEL, C1") << QStringLiteral("a\tb\rc\x7f\u0085") << QString()
                                                   << QStringLiteral("a\\tb\\rc\\x7f\\x85  1 バイト  解凍しました");
    QTest::newRow("right-to-left override and line separator") << QStringLiteral(
        "evil\u202etxt.exe\u2028") << QString() << QStringLiteral("evil\\u202etxt.exe\\u2028  1 バイト  解凍しました");
    QTest::newRow("library message ending in a line end")
        << QStringLiteral("b.bin") << QStringLiteral("Truncated input\n")
        << QStringLiteral("b.bin  1 バイト  破損しています (Truncated input)");
    QTest::newRow("header message ending in CR LF") << QString() << QStringLiteral("Invalid header\r\n")
                                                    << QStringLiteral("ヘッダーが壊れています (Invalid header)");
}

void tst_TextAndNames::reportLinesCannotBeForgedOrDriveATerminal()
{
    QFETCH(QString, name);
    QFETCH(QString, detail);
    QFETCH(QString, line);
    arc::Report report;
    if (name.isEmpty())
        report.header(detail);
    else if (detail.isEmpty())
        report.entry(name, 1, arc::Report::Outcome::Extracted);
    else
        report.entry(name, 1, arc::Report::Outcome::Damaged, detail);
    const QStringList lines = QString::fromUtf8(report.text()).split(u'\n');
    QCOMPARE(lines.size(), 3); // the line, the summary, nothing after the last LF
    QCOMPARE(lines.at(0), line);
}

void tst_TextAndNames::shortenedReportKeepsErrorsAndSummary_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("errorEvery"); // every n-th line an error; 0: none
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("everyErrorFits");
    QTest::newRow("fits whole") << 20 << 7 << 64000 << true;
    QTest::newRow("2,000 successes, then an error") << 2001 << 2001 << 64000 << true;
    QTest::newRow("errors scattered through 4,000 lines") << 4000 << 97 << 64000 << true;
    QTest::newRow("successes only") << 4000 << 0 << 64000 << true;
    QTest::newRow("more errors than fit") << 3000 << 1 << 4000 << false;
}

void tst_TextAndNames::shortenedReportKeepsErrorsAndSummary()
{
    QFETCH(int, lines);
    QFETCH(int, errorEvery);
    QFETCH(int, limit);
    QFETCH(bool, everyErrorFits);
    arc::Report report;
    QList<int> errors;
    for (int i = 0; i < lines; ++i) {
        const QString name = QStringLiteral("folder/file-%1.txt").arg(i, 5, 10, QLatin1Char('0'));
        if (errorEvery > 0 && i % errorEvery == errorEvery - 1) {
            report.entry(name, 20000, arc::Report::Outcome::NotWritten, QStringLiteral("disk full"));
            errors.append(i);
        } else {
            report.entry(name, 10, arc::Report::Outcome::Extracted);
        }
    }
    const QStringList whole = QString::fromUtf8(report.text()).split(u'\n');
    const QByteArray shortened = report.text(limit);
    QVERIFY(shortened.size() <= limit);
    QStringList got = QString::fromUtf8(shortened).split(u'\n');
    QCOMPARE(got.takeLast(), QString());
    QCOMPARE(got.takeLast(), whole.at(lines)); // the summary, always last

    // Each line kept is the original at its place, and the marks account for the rest.
    static const QRegularExpression mark(QStringLiteral("^…… (\\d+) 行を省略しました ……$"));
    QList<int> kept;
    int next = 0;
    for (const QString &line : got) {
        const QRegularExpressionMatch m = mark.match(line);
        if (m.hasMatch()) {
            next += m.captured(1).toInt();
            continue;
        }
        QVERIFY2(next < lines && line == whole.at(next), qPrintable(line));
        kept.append(next++);
    }
    QCOMPARE(next, lines);
    QVERIFY(kept.contains(0)); // the head stays
    if (everyErrorFits) {
        for (const int error : errors)
            QVERIFY2(kept.contains(error), qPrintable(whole.at(error)));
        QVERIFY(kept.contains(lines - 1)); // and so does the tail
    } else {
        QVERIFY(kept.contains(errors.first()) && kept.contains(errors.last()));
        QVERIFY(kept.size() > 4);
    }
}

QTEST_GUILESS_MAIN(tst_TextAndNames)
#include "tst_TextAndNames.moc"
