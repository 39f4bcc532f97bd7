#include "platform/archiver/CommandLine.h"

#include <QTest>

using namespace pellora::arc;

Q_DECLARE_METATYPE(pellora::arc::ArchiveFormat)

class tst_CommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void understandsEverySwitchTheProgramComposes_data();
    void understandsEverySwitchTheProgramComposes();
    void refusesBadCommandLines_data();
    void refusesBadCommandLines();
    void filterSelectsEntries_data();
    void filterSelectsEntries();
};

void tst_CommandLine::understandsEverySwitchTheProgramComposes_data()
{
    QTest::addColumn<ArchiveFormat>("format");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("skipDamaged");
    QTest::addColumn<bool>("fullPath");
    QTest::addColumn<bool>("noProgress");
    QTest::addColumn<QString>("filter");

    QTest::newRow("LZH with the fixed switches only shows progress and keeps newer files")
        << ArchiveFormat::Lzh << QStringLiteral(R"(x -a1 -jp1 "/d/a.lzh" "/out/" "*.*")") << false << false << false
        << false << QStringLiteral("*.*");
    QTest::newRow("LZH with the user's -n -c -jc and a single entry by path")
        << ArchiveFormat::Lzh
        << QStringLiteral(R"(x -a1 -jp1 -n -c -jc -p "/d/a b.lzh" "/tmp/~meltmp/" "doc/readme.txt")") << true << true
        << true << true << QStringLiteral("doc/readme.txt");
    QTest::newRow("LZH restore switches") << ArchiveFormat::Lzh << QStringLiteral(R"(x -a1 -jp1 -c "a.lzh" "o/" "*.*")")
                                          << true << false << false << false << QStringLiteral("*.*");
    QTest::newRow("ZIP fixed switches") << ArchiveFormat::Zip << QStringLiteral(R"(-x -i "/d/a.zip" "/out/" "*.*")")
                                        << false << false << true << false << QStringLiteral("*.*");
    QTest::newRow("ZIP with --i and -o") << ArchiveFormat::Zip
                                         << QStringLiteral(R"(-x -i --i -o "/d/a.zip" "/out/" "*.*")") << true << false
                                         << true << true << QStringLiteral("*.*");
    QTest::newRow("CAB fixed switches") << ArchiveFormat::Cab << QStringLiteral(R"(-x -k -n "/d/a.cab" "/out/" "*.*")")
                                        << false << false << true << false << QStringLiteral("*.*");
    QTest::newRow("CAB with -i and -o, extra blanks between words")
        << ArchiveFormat::Cab << QStringLiteral(R"(  -x  -k -n -i   -o "/d/a.cab"   "/out/"  "sub\a.txt"  )") << true
        << false << true << true << QStringLiteral("sub\\a.txt");
}

void tst_CommandLine::understandsEverySwitchTheProgramComposes()
{
    QFETCH(ArchiveFormat, format);
    QFETCH(QString, line);
    const auto parsed = parseCommandLine(format, line);
    QVERIFY2(std::holds_alternative<ExtractCommand>(parsed),
        std::holds_alternative<CommandLineError>(parsed) ? qPrintable(std::get<CommandLineError>(parsed).message) : "");
    const auto &cmd = std::get<ExtractCommand>(parsed);
    QTEST(cmd.replaceAlways, "replace");
    QTEST(cmd.skipDamaged, "skipDamaged");
    QTEST(cmd.filterIsFullPath, "fullPath");
    QTEST(cmd.noProgress, "noProgress");
    QTEST(cmd.filter, "filter");
    QVERIFY(cmd.archive.endsWith(u".lzh") || cmd.archive.endsWith(u".zip") || cmd.archive.endsWith(u".cab"));
    QVERIFY(cmd.outputFolder.endsWith(u'/'));
}

void tst_CommandLine::refusesBadCommandLines_data()
{
    QTest::addColumn<ArchiveFormat>("format");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("an unknown LZH switch is named")
        << ArchiveFormat::Lzh << QStringLiteral(R"(x -a1 -z "a.lzh" "o/" "*.*")") << QStringLiteral("-z");
    QTest::newRow("a ZIP switch given to LZH")
        << ArchiveFormat::Lzh << QStringLiteral(R"(x -o "a.lzh" "o/" "*.*")") << QStringLiteral("-o");
    QTest::newRow("an LZH switch given to CAB")
        << ArchiveFormat::Cab << QStringLiteral(R"(-x -c "a.cab" "o/" "*.*")") << QStringLiteral("-c");
    QTest::newRow("--i is not a CAB switch")
        << ArchiveFormat::Cab << QStringLiteral(R"(-x --i "a.cab" "o/" "*.*")") << QStringLiteral("--i");
    QTest::newRow("-jc is not a ZIP switch")
        << ArchiveFormat::Zip << QStringLiteral(R"(-x -jc "a.zip" "o/" "*.*")") << QStringLiteral("-jc");
    QTest::newRow("LZH without its command word")
        << ArchiveFormat::Lzh << QStringLiteral(R"(-a1 "a.lzh" "o/" "*.*")") << QStringLiteral("x");
    QTest::newRow("ZIP without -x") << ArchiveFormat::Zip << QStringLiteral(R"(-i "a.zip" "o/" "*.*")")
                                    << QStringLiteral("-x");
    QTest::newRow("an unclosed quote") << ArchiveFormat::Zip << QStringLiteral(R"(-x "a.zip" "o/ *.*)")
                                       << QStringLiteral("引用符");
    QTest::newRow("no output folder") << ArchiveFormat::Cab << QStringLiteral(R"(-x "a.cab")")
                                      << QStringLiteral("解凍先");
    QTest::newRow("an empty output folder")
        << ArchiveFormat::Cab << QStringLiteral(R"(-x "a.cab" "" "*.*")") << QStringLiteral("解凍先");
    QTest::newRow("an empty command line") << ArchiveFormat::Lzh << QString() << QStringLiteral("コマンド");
    QTest::newRow("a fourth text") << ArchiveFormat::Zip << QStringLiteral(R"(-x "a.zip" "o/" "*.*" "more")")
                                   << QStringLiteral("more");
}

void tst_CommandLine::refusesBadCommandLines()
{
    QFETCH(ArchiveFormat, format);
    QFETCH(QString, line);
    QFETCH(QString, mentions);
    const auto parsed = parseCommandLine(format, line);
    QVERIFY(std::holds_alternative<CommandLineError>(parsed));
    const QString message = std::get<CommandLineError>(parsed).message;
    QVERIFY2(message.contains(mentions), qPrintable(message));
}

void tst_CommandLine::filterSelectsEntries_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("fullPath");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("selected");

    QTest::newRow("*.* selects names without a dot") << "*.*" << true << "doc/README" << true;
    QTest::newRow("a full path selects that entry") << "doc/readme.txt" << true << "doc/readme.txt" << true;
    QTest::newRow("a full path with \\ selects the / entry") << "doc\\readme.txt" << true << "doc/readme.txt" << true;
    QTest::newRow("a full path does not select the same name elsewhere")
        << "doc/readme.txt" << true << "readme.txt" << false;
    QTest::newRow("a full path does not select a longer path") << "readme.txt" << true << "doc/readme.txt" << false;
    QTest::newRow("without -p a name selects it in any folder") << "readme.txt" << false << "doc/readme.txt" << true;
    QTest::newRow("names are compared exactly") << "Readme.txt" << true << "readme.txt" << false;
    QTest::newRow("a star inside a path") << "doc/*.txt" << true << "doc/a.txt" << true;
    QTest::newRow("a question mark is one character") << "a?.txt" << true << "ab.txt" << true;
    QTest::newRow("a question mark is not zero characters") << "a?.txt" << true << "a.txt" << false;
    QTest::newRow("many stars against a near miss stay fast and fail")
        << "*a*a*a*a*a*a*a*a*a*a*b" << true << QString(4000, u'a') << false;
}

void tst_CommandLine::filterSelectsEntries()
{
    QFETCH(QString, filter);
    QFETCH(bool, fullPath);
    QFETCH(QString, entry);
    ExtractCommand cmd;
    cmd.filter = filter;
    cmd.filterIsFullPath = fullPath;
    QTEST(filterSelects(cmd, entry), "selected");
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
