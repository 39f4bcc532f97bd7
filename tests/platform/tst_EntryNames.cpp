#include "platform/archiver/ArchiverRegistry.h"
#include "platform/archiver/CommandLine.h"
#include "support/ArchiverRun.h"
#include "support/TestSupport.h"
#include "support/ZipBuilder.h"

#include <QDir>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace pellora;

namespace {

using Names = QList<QByteArray>;

// A ZIP of the names (a trailing "/" makes a folder), each file holding its
// own name, with no UTF-8 flag when the names are in a code page.
QString zipOf(const QTemporaryDir &dir, const Names &names, bool utf8Flag = true)
{
    QList<test::ZipEntry> entries;
    for (const QByteArray &name : names)
        entries.append({ name, name.endsWith('/') ? QByteArray() : name, false, utf8Flag });
    const QString path = dir.filePath(QStringLiteral("a.zip"));
    test::writeZip(path, entries);
    return path;
}

QStringList listed(const QString &archive, const arc::NameOptions &options, const QString &wildcard = {})
{
    const auto library = arc::ArchiverRegistry::find(QStringLiteral("UNZIP32.DLL"));
    const arc::HARC handle = library->OpenArchiveWith(nullptr, archive, options);
    if (!handle)
        return { QStringLiteral("(cannot open)") };
    QStringList names;
    arc::INDIVIDUALINFO info;
    for (int r = library->FindFirst(handle, wildcard.isEmpty() ? QStringLiteral("*.*") : wildcard, &info); r == 0;
         r = library->FindNext(handle, &info))
        names.append(QString::fromUtf8(info.szFileName));
    library->CloseArchive(handle);
    return names;
}

} // namespace

class tst_EntryNames : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void topFolderIsStrippedOnlyWhenThereIsOne_data();
    void topFolderIsStrippedOnlyWhenThereIsOne();
    void strippedNamesStillPassEveryCheck();
    void oneEntryOfAStrippedArchiveIsNamedWithoutTheFolder();
    void namesDecodeInTheItemsEncoding_data();
    void namesDecodeInTheItemsEncoding();
    void namedFixturesExtractInTheirEncoding_data();
    void namedFixturesExtractInTheirEncoding();
    void nameSwitchesParseInEveryLanguage_data();
    void nameSwitchesParseInEveryLanguage();
};

void tst_EntryNames::topFolderIsStrippedOnlyWhenThereIsOne_data()
{
    QTest::addColumn<Names>("names");
    QTest::addColumn<QStringList>("files"); // what lands in the output folder
    QTest::addColumn<QStringList>("listing");
    QTest::addColumn<QString>("reportLine");
    QTest::newRow("one top folder with its own entry")
        << Names{ "foo-1.2.3/", "foo-1.2.3/readme.txt", "foo-1.2.3/bin/tool" }
        << QStringList{ "bin/tool", "readme.txt" } << QStringList{ "readme.txt", "bin/tool" }
        << QStringLiteral("先頭のフォルダ foo-1.2.3/ を取り除いて解凍しました");
    QTest::newRow("one top folder without its own entry")
        << Names{ "foo/a.txt", "foo/sub/b.txt" } << QStringList{ "a.txt", "sub/b.txt" }
        << QStringList{ "a.txt", "sub/b.txt" } << QStringLiteral("先頭のフォルダ foo/ を取り除いて解凍しました");
    QTest::newRow("two top folders")
        << Names{ "foo/a.txt", "bar/b.txt" } << QStringList{ "bar/b.txt", "foo/a.txt" }
        << QStringList{ "foo/a.txt", "bar/b.txt" }
        << QStringLiteral("先頭に複数のファイルやフォルダがあるため、先頭のフォルダを取り除きませんでした");
    QTest::newRow("a folder and a file at the top")
        << Names{ "foo/a.txt", "readme.txt" } << QStringList{ "foo/a.txt", "readme.txt" }
        << QStringList{ "foo/a.txt", "readme.txt" }
        << QStringLiteral("先頭に複数のファイルやフォルダがあるため、先頭のフォルダを取り除きませんでした");
    QTest::newRow("a lone file") << Names{ "tool.exe" } << QStringList{ "tool.exe" } << QStringList{ "tool.exe" }
                                 << QStringLiteral("先頭にフォルダがないため、先頭のフォルダを取り除きませんでした");
    // Refused either way; it must not stop the sound entries from being stripped.
    QTest::newRow("an unsafe name beside one top folder")
        << Names{ "foo/a.txt", "../evil.txt" } << QStringList{ "a.txt" } << QStringList{ "a.txt", "../evil.txt" }
        << QStringLiteral("先頭のフォルダ foo/ を取り除いて解凍しました");
}

void tst_EntryNames::topFolderIsStrippedOnlyWhenThereIsOne()
{
    QFETCH(Names, names);
    QFETCH(QStringList, files);
    QFETCH(QStringList, listing);
    QFETCH(QString, reportLine);
    QTemporaryDir dir;
    const QString archive = zipOf(dir, names);
    const QString out = dir.filePath(QStringLiteral("out"));
    const test::CommandRun run = test::extractAll(QStringLiteral("ZIP"), archive, out, QStringLiteral(" --strip-top"));
    QVERIFY2(run.report.split(u'\n').contains(reportLine), qPrintable(run.report));
    QCOMPARE(test::fileHashes(out).keys(), files);
    QCOMPARE(listed(archive, { {}, true }), listing);

    // Without the option nothing changes and nothing is said.
    QTemporaryDir plain;
    const test::CommandRun usual = test::extractAll(QStringLiteral("ZIP"), archive, plain.path());
    QVERIFY(!usual.report.contains(QStringLiteral("先頭")));
    QStringList kept;
    for (const QByteArray &name : names)
        if (!name.endsWith('/') && !name.startsWith(".."))
            kept.append(QString::fromUtf8(name));
    kept.sort();
    QCOMPARE(test::fileHashes(plain.path()).keys(), kept);
}

void tst_EntryNames::strippedNamesStillPassEveryCheck()
{
    // The checks run on the stripped name: a part that climbs out of the top
    // folder is refused, not made harmless by the strip.
    QTemporaryDir dir;
    const QString archive = zipOf(dir, { "top/ok.txt", "top/../../escape.txt", "top/sub/../../../up.txt" });
    const QString out = dir.filePath(QStringLiteral("a/out"));
    const test::CommandRun run = test::extractAll(QStringLiteral("ZIP"), archive, out, QStringLiteral(" --strip-top"));
    QCOMPARE(test::allNames(dir.filePath(QStringLiteral("a"))),
        QStringList({ QStringLiteral("out"), QStringLiteral("out/ok.txt") }));
    QCOMPARE(run.report.count(QStringLiteral("解凍先フォルダの外を指しています")), 2);
}

void tst_EntryNames::oneEntryOfAStrippedArchiveIsNamedWithoutTheFolder()
{
    // The chooser offers stripped names; asking for one extracts that entry.
    QTemporaryDir dir;
    const QString archive = zipOf(dir, { "foo-2.0/", "foo-2.0/doc/readme.txt", "foo-2.0/tool" });
    const QString out = dir.filePath(QStringLiteral("out"));
    const test::CommandRun run = test::runCommand(QStringLiteral("UNZIP32.DLL"),
        QStringLiteral("-x -i --i --strip-top \"%1\" \"%2\" \"doc/readme.txt\"").arg(archive, out));
    QCOMPARE(run.code, 0);
    QCOMPARE(test::fileHashes(out).keys(), QStringList{ QStringLiteral("doc/readme.txt") });
    QCOMPARE(listed(archive, { {}, true }, QStringLiteral("doc/*")), QStringList{ QStringLiteral("doc/readme.txt") });
}

void tst_EntryNames::namedFixturesExtractInTheirEncoding_data()
{
    QTest::addColumn<QJsonObject>("fixture");
    int rows = 0;
    for (const QJsonValue &value : test::fixtureManifest()) {
        const QJsonObject f = value.toObject();
        if (!f.contains(QStringLiteral("names")))
            continue;
        QTest::newRow(qPrintable(f.value(QStringLiteral("file")).toString())) << f;
        ++rows;
    }
    QVERIFY(rows >= 2);
}

void tst_EntryNames::namedFixturesExtractInTheirEncoding()
{
    QFETCH(QJsonObject, fixture);
    const QString kind = fixture.value(QStringLiteral("kind")).toString();
    const QString archive = test::dataPath(fixture.value(QStringLiteral("file")).toString());
    const QJsonObject names = fixture.value(QStringLiteral("names")).toObject();
    QMap<QString, QString> expected;
    const QJsonObject files = names.value(QStringLiteral("files")).toObject();
    for (auto it = files.begin(); it != files.end(); ++it)
        expected.insert(it.key(), it.value().toString());
    QVERIFY(!expected.isEmpty());

    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("named"));
    const test::CommandRun run = test::extractAll(
        kind, archive, out, QStringLiteral(" --names=") + names.value(QStringLiteral("encoding")).toString());
    QVERIFY2(run.code == 0, qPrintable(run.report));
    QCOMPARE(test::fileHashes(out), expected);

    // The automatic rule gets them wrong: the encoding is what mends them.
    const QString plain = dir.filePath(QStringLiteral("plain"));
    test::extractAll(kind, archive, plain);
    const QStringList plainNames = test::fileHashes(plain).keys();
    QCOMPARE(plainNames.size(), expected.size());
    for (const QString &name : expected.keys())
        QVERIFY2(!plainNames.contains(name), qPrintable(name));
}

void tst_EntryNames::namesDecodeInTheItemsEncoding_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("name");
    QTest::newRow("GBK") << QByteArray("\xd6\xd0\xce\xc4.txt") << QStringLiteral("GBK") << QStringLiteral("中文.txt");
    QTest::newRow("Big5") << QByteArray("\xa4\xa4\xa4\xe5.txt") << QStringLiteral("BIG5") << QStringLiteral("中文.txt");
    QTest::newRow("EUC-KR") << QByteArray("\xc7\xd1\xb1\xdb.txt") << QStringLiteral("EUC-KR")
                            << QStringLiteral("한글.txt");
    QTest::newRow("CP437") << QByteArray("r\x82sum\x82 \x9c.txt") << QStringLiteral("CP437")
                           << QStringLiteral("résumé £.txt");
    QTest::newRow("CP932") << QByteArray("\x95\x5c\x8e\xa6.txt") << QStringLiteral("CP932")
                           << QStringLiteral("表示.txt");
    QTest::newRow("UTF-8 without the flag")
        << QByteArray("\xe8\xa1\xa8.txt") << QStringLiteral("UTF-8") << QStringLiteral("表.txt");
    // The usual rule reads GBK as CP932: what the option is there to mend.
    QTest::newRow("automatic") << QByteArray("\x95\x5c.txt") << QString() << QStringLiteral("表.txt");
}

void tst_EntryNames::namesDecodeInTheItemsEncoding()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, encoding);
    QFETCH(QString, name);
    QTemporaryDir dir;
    const QString archive = zipOf(dir, { "docs/", "docs/" + raw }, false);
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString extra = encoding.isEmpty() ? QString() : QStringLiteral(" --names=") + encoding.toLower();
    const test::CommandRun run = test::extractAll(QStringLiteral("ZIP"), archive, out, extra);
    QCOMPARE(run.code, 0);
    QCOMPARE(test::fileHashes(out).keys(), QStringList{ QStringLiteral("docs/") + name });
    QCOMPARE(
        listed(archive, { encoding, false }), QStringList({ QStringLiteral("docs/"), QStringLiteral("docs/") + name }));
    // Both options at once: the folder is found among the decoded names.
    QCOMPARE(listed(archive, { encoding, true }), QStringList{ name });
}

void tst_EntryNames::nameSwitchesParseInEveryLanguage_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<bool>("strip");
    QTest::addColumn<QString>("error");
    QTest::newRow("LZH both") << int(arc::ArchiveFormat::Lzh) << "x -a1 -jp1 --names=GBK --strip-top"
                              << "GBK" << true << "";
    QTest::newRow("ZIP encoding only") << int(arc::ArchiveFormat::Zip) << "-x -i --names=euc-kr"
                                       << "EUC-KR" << false << "";
    QTest::newRow("CAB strip only") << int(arc::ArchiveFormat::Cab) << "-x -k -n --strip-top"
                                    << "" << true << "";
    QTest::newRow("stored switches alone") << int(arc::ArchiveFormat::Zip) << "-x -i --i -o"
                                           << "" << false << "";
    QTest::newRow("unknown encoding") << int(arc::ArchiveFormat::Zip) << "-x --names=KOI8-R"
                                      << "" << false << "不明な文字コードです: KOI8-R";
    QTest::newRow("empty encoding") << int(arc::ArchiveFormat::Lzh) << "x --names="
                                    << "" << false << "不明な文字コードです: ";
}

void tst_EntryNames::nameSwitchesParseInEveryLanguage()
{
    QFETCH(int, format);
    QFETCH(QString, switches);
    QFETCH(QString, encoding);
    QFETCH(bool, strip);
    QFETCH(QString, error);
    const auto parsed = arc::parseCommandLine(arc::ArchiveFormat(format), switches + QStringLiteral(" \"a\" \"b\""));
    if (!error.isEmpty()) {
        QCOMPARE(std::get<arc::CommandLineError>(parsed).message, error);
        return;
    }
    const auto &command = std::get<arc::ExtractCommand>(parsed);
    QCOMPARE(command.names.encoding, encoding);
    QCOMPARE(command.names.stripTopFolder, strip);
}

QTEST_GUILESS_MAIN(tst_EntryNames)
#include "tst_EntryNames.moc"
