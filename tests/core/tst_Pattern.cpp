#include "core/Pattern.h"

#include <QTest>

using pellora::core::FilePattern;
using namespace Qt::StringLiterals;

class tst_Pattern : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void matching_data();
    void matching();
    void malformedPatternsMatchNothing_data();
    void malformedPatternsMatchNothing();
    void starsDoNotBacktrackExponentially_data();
    void starsDoNotBacktrackExponentially();
};

// Columns: pattern, name, whether matching ignores case, the expected answer.
void tst_Pattern::matching_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<bool>("expected");
    auto row = [](const char *what, QString pattern, QString name, bool ignoreCase, bool expected) {
        QTest::newRow(what) << pattern << name << ignoreCase << expected;
    };
    const bool fold = true;
    const bool exact = false;

    // The whole name has to match.
    row("a plain name matches itself", u"foo.lzh"_s, u"foo.lzh"_s, exact, true);
    row("a pattern matching only the start of the name fails", u"foo"_s, u"foo.lzh"_s, exact, false);

    // Wildcards.
    row("a question mark takes exactly one character", u"foo?.lzh"_s, u"foo1.lzh"_s, exact, true);
    row("a question mark does not take nothing", u"foo?.lzh"_s, u"foo.lzh"_s, exact, false);
    row("a question mark takes a character outside the BMP whole", u"a?.lzh"_s, u"a\U0002000B.lzh"_s, exact, true);
    row("a star takes nothing", u"foo*.lzh"_s, u"foo.lzh"_s, exact, true);
    row("a star before the last occurrence of a suffix", u"*.lzh"_s, u"a.lzh.lzh"_s, exact, true);
    row("a star must give back characters to a later literal", u"*ab"_s, u"aab"_s, exact, true);
    row("two stars find the later of repeated parts", u"a*b*c"_s, u"abcbc"_s, exact, true);
    row("two stars fail when the last part is missing", u"a*b*c"_s, u"abcbd"_s, exact, false);
    row("a star and question marks need enough characters", u"*??"_s, u"a"_s, exact, false);
    row("a hash takes one digit", u"foo#.lzh"_s, u"foo7.lzh"_s, exact, true);
    row("a hash does not take two digits", u"foo#.lzh"_s, u"foo12.lzh"_s, exact, false);
    row("a hash does not take a full-width digit", u"foo#.lzh"_s, u"foo\uFF11.lzh"_s, exact, false);
    row("a Japanese name matches with a star", u"解凍*.lzh"_s, u"解凍ツール2.lzh"_s, exact, true);

    // Lists and ranges.
    row("a list takes one of its characters", u"*.[lz][zi][hp]"_s, u"a.zip"_s, exact, true);
    row("a list takes another of its characters", u"*.[lz][zi][hp]"_s, u"a.lzh"_s, exact, true);
    row("a list takes only one character", u"[ab].lzh"_s, u"ab.lzh"_s, exact, false);
    row("a range takes a character inside it", u"v[0-9].zip"_s, u"v5.zip"_s, exact, true);
    row("a negated list takes a character not in it", u"[!a-c].lzh"_s, u"d.lzh"_s, exact, true);
    row("a negated list refuses a character in it", u"[!a-c].lzh"_s, u"b.lzh"_s, exact, false);
    row("an exclamation mark inside a list is a plain character", u"[a!]"_s, u"!"_s, exact, true);
    row("a hyphen first in a list is a plain character", u"[-a]"_s, u"-"_s, exact, true);
    row("a hyphen last in a list is a plain character", u"[a-]"_s, u"-"_s, exact, true);
    row("a star inside a list is a plain character", u"a[*]"_s, u"a*"_s, exact, true);
    row("a hash inside a list is a plain character", u"[#]1"_s, u"#1"_s, exact, true);
    row("an opening bracket inside a list is a plain character", u"[[]x]"_s, u"[x]"_s, exact, true);
    row("a closing bracket outside a list is a plain character", u"x]"_s, u"x]"_s, exact, true);
    row("an empty list takes no character", u"a[]b"_s, u"ab"_s, exact, false);
    row("a negated empty list takes any character", u"a[!]b"_s, u"a-b"_s, exact, true);
    row("a range of Japanese characters", u"[ア-ン]*.lzh"_s, u"ツール.lzh"_s, exact, true);

    // Case.
    row("start-up matches a digit pattern in other case", u"foo#.lzh"_s, u"FOO1.LZH"_s, fold, true);
    row("start-up still refuses two digits for a hash", u"foo#.lzh"_s, u"FOO12.LZH"_s, fold, false);
    row("the exact mode refuses other case", u"foo#.lzh"_s, u"FOO1.LZH"_s, exact, false);
    row("case folding covers accented letters", u"caf\u00C9.zip"_s, u"CAF\u00E9.ZIP"_s, fold, true);
    row("case folding covers full-width letters", u"\uFF21.zip"_s, u"\uFF41.zip"_s, fold, true);
    row("case folding covers Greek final sigma", u"\u03C3"_s, u"\u03C2"_s, fold, true);
    row("a lower-case list takes an upper-case letter", u"[lz].lzh"_s, u"L.lzh"_s, fold, true);
    row("a lower-case range takes an upper-case letter", u"[a-z]1"_s, u"Q1"_s, fold, true);
    row("an upper-case range takes a lower-case letter", u"[A-Z]1"_s, u"q1"_s, fold, true);
    row("an accented range takes the other case", u"[\u00C0-\u00DE]"_s, u"\u00E9"_s, fold, true);
    row("a negated range refuses the other case", u"[!a-z]1"_s, u"Q1"_s, fold, false);
    row("the exact mode keeps ranges to their case", u"[a-z]1"_s, u"Q1"_s, exact, false);
    row("a range still takes its own non-letters when folding", u"[A-z]"_s, u"_"_s, fold, true);
}

void tst_Pattern::matching()
{
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, ignoreCase);
    QFETCH(bool, expected);
    const FilePattern compiled(pattern, ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive);
    QVERIFY(compiled.isValid());
    QCOMPARE(compiled.matches(name), expected);
}

void tst_Pattern::malformedPatternsMatchNothing_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::newRow("an empty pattern") << QString();
    QTest::newRow("a lone opening bracket") << u"["_s;
    QTest::newRow("a list without its closing bracket") << u"foo[abc"_s;
    QTest::newRow("a negated list without its closing bracket") << u"*[!a-"_s;
    QTest::newRow("an unclosed list after a valid one") << u"[ab]*[x"_s;
    QTest::newRow("a range running backwards") << u"*[z-a]*"_s;
}

void tst_Pattern::malformedPatternsMatchNothing()
{
    QFETCH(QString, pattern);
    // The names are chosen so that any lenient reading of the pattern would match one.
    const QStringList names
        = { QString(), u"["_s, u"foo[abc"_s, u"fooa"_s, u"a"_s, u"z"_s, u"-"_s, u"abx"_s, u"*[!a-"_s, u"m"_s };
    for (const Qt::CaseSensitivity cs : { Qt::CaseSensitive, Qt::CaseInsensitive }) {
        const FilePattern compiled(pattern, cs);
        QVERIFY(!compiled.isValid());
        for (const QString &name : names)
            QVERIFY2(!compiled.matches(name), qPrintable(name));
    }
}

void tst_Pattern::starsDoNotBacktrackExponentially_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("expected");
    QTest::newRow("many stars and a missing last letter") << u"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"_s << false;
    QTest::newRow("many stars and lists and a missing end") << u"*[ab]*[!b]*?*a*?*a*a*a*a*a*a*a*[b]"_s << false;
    QTest::newRow("many stars that do match") << u"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a"_s << true;
}

void tst_Pattern::starsDoNotBacktrackExponentially()
{
    QFETCH(QString, pattern);
    QFETCH(bool, expected);
    const QString name(20000, u'a');
    // A backtracking matcher would not finish within the test's time limit.
    for (const Qt::CaseSensitivity cs : { Qt::CaseSensitive, Qt::CaseInsensitive })
        QCOMPARE(FilePattern(pattern, cs).matches(name), expected);
}

QTEST_GUILESS_MAIN(tst_Pattern)
#include "tst_Pattern.moc"
