#include "core/ItemFile.h"
#include "core/ItemOptions.h"
#include "core/RunHistory.h"
#include "core/Undo.h"
#include "core/modRegistry.h"
#include "support/PortableProgram.h"
#include "support/TestSupport.h"
#include "support/ZipBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace pellora;

class tst_EndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void oneMatchExtractsAndDisposesOfTheArchive_data();
    void oneMatchExtractsAndDisposesOfTheArchive();
    void helpAndVersionAnswerOnStandardOutput_data();
    void helpAndVersionAnswerOnStandardOutput();
    void undoLastBringsBackTheFolderBeforeTheRun();
    void theArchiverToolRecordsRunsThatUndo();
    void theArchiverToolDecodesAsAsked();
    void aVersionedTarballIsRoutedByItsDoubleExtensionPattern_data();
    void aVersionedTarballIsRoutedByItsDoubleExtensionPattern();

private:
    // A portable copy of the program with its own ITEM.DAT, settings and trash.
    std::unique_ptr<test::PortableProgram> m_app;
    // QSettings keeps the folder it first found for the whole process, so the
    // settings folder is one for all runs; each run rewrites its settings.
    QTemporaryDir m_config;
    QString path(const QString &relative) const { return m_app->path(relative); }
    // The exit code, -1 when the run had to be killed. output, when given,
    // receives what it wrote to standard output.
    int runPellora(const QStringList &arguments, QByteArray *output = nullptr, const QString &folder = {});
};

void tst_EndToEnd::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
}

void tst_EndToEnd::init()
{
    m_app = std::make_unique<test::PortableProgram>(QStringLiteral(PELLORA_BINARY));
    QVERIFY(m_app->isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("data"))));
}

int tst_EndToEnd::runPellora(const QStringList &arguments, QByteArray *output, const QString &folder)
{
    QProcess process;
    process.setProcessChannelMode(output ? QProcess::ForwardedErrorChannel : QProcess::ForwardedChannels);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(m_app->program(), arguments);
    // A window the run should not have shown would keep it alive until here.
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
}

void tst_EndToEnd::oneMatchExtractsAndDisposesOfTheArchive_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("archiveEndsIn"); // relative to the test root

    QTest::newRow("a Shift_JIS LZH moved to the keeping folder") << "lzh/sjis-names.lzh" << 2 << "keep/sjis-names.lzh";
    QTest::newRow("a ZIP copied into its target folder") << "zip/deflate.zip" << 3 << "Tool/deflate.zip";
    QTest::newRow("a CAB moved to the trash") << "cab/mszip.cab" << 1 << "data/Trash/files/mszip.cab";
    QTest::newRow("an LZH left where it is") << "lzh/lh6.lzh" << 0 << "dl/lh6.lzh";
}

void tst_EndToEnd::oneMatchExtractsAndDisposesOfTheArchive()
{
    QFETCH(QString, fixture);
    QFETCH(int, operation);
    QFETCH(QString, archiveEndsIn);
    const QString name = fixture.section(u'/', -1);
    const QString archive = path(QStringLiteral("dl/") + name);
    QDir().mkpath(path(QStringLiteral("dl")));
    QVERIFY(QFile::copy(test::dataPath(fixture), archive));

    core::DeleteSettingsKey();
    core::writeYesNo(core::setting(u"NoLog"), true);
    core::writeNumber(core::setting(u"ArchiveOperation"), operation);
    core::writeText(core::setting(u"ArchiveOperationFolder"), path(QStringLiteral("keep/")));
    core::writeYesNo(core::setting(u"ArchiveOperationTargetFolder"), operation == 3);
    const QString target = path(QStringLiteral("Tool/"));
    const QString pattern = name.left(3) + QStringLiteral("*.") + name.section(u'.', -1).toUpper();
    QVERIFY(!core::ItemFile(m_app->itemListPath())
                 .write({ { QStringLiteral("Tool"), pattern, target, QString() } })
                 .has_value());

    QCOMPARE(runPellora({ archive }), 0);

    QJsonObject expected;
    for (const QJsonValue &value : test::fixtureManifest()) {
        if (value.toObject().value(QStringLiteral("file")).toString() == fixture)
            expected = value.toObject().value(QStringLiteral("files")).toObject();
    }
    QVERIFY(!expected.isEmpty());
    QMap<QString, QString> got = test::fileHashes(target);
    got.remove(name); // the copy of the archive itself
    QCOMPARE(QStringList(got.keys()), QStringList(expected.keys()));
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QCOMPARE(got.value(it.key()), it.value().toString());
    QVERIFY2(QFile::exists(path(archiveEndsIn)), qPrintable(archiveEndsIn));
    if (operation == 1 || operation == 2)
        QVERIFY(!QFile::exists(archive));
}

void tst_EndToEnd::aVersionedTarballIsRoutedByItsDoubleExtensionPattern_data()
{
    QTest::addColumn<bool>("strip"); // the item's "先頭フォルダを取り除く"
    QTest::newRow("the top folder kept") << false;
    QTest::newRow("the top folder stripped as the item asks") << true;
}

void tst_EndToEnd::aVersionedTarballIsRoutedByItsDoubleExtensionPattern()
{
    QFETCH(bool, strip);
    const QString fixture = QStringLiteral("tar/tool-1.2.3.tar.xz");
    const QString archive = path(QStringLiteral("dl/foo-1.2.3.tar.xz"));
    QDir().mkpath(path(QStringLiteral("dl")));
    QVERIFY(QFile::copy(test::dataPath(fixture), archive));
    core::DeleteSettingsKey();
    core::writeYesNo(core::setting(u"NoLog"), true);
    core::writeNumber(core::setting(u"ArchiveOperation"), 0);
    const QString target = path(QStringLiteral("Foo/"));
    // A ZIP item with a pattern the tarball also matches by its start only.
    QVERIFY(!core::ItemFile(path(QStringLiteral("app/ITEM.DAT")))
                 .write({ { QStringLiteral("Foo zip"), QStringLiteral("foo-*.zip"), path(QStringLiteral("Zip/")),
                              QString() },
                     { QStringLiteral("Foo"), QStringLiteral("foo-*.tar.xz"), target, QString() } })
                 .has_value());
    if (strip) {
        core::ItemOptionsMap options;
        options[{ QStringLiteral("Foo"), QStringLiteral("foo-*.tar.xz"), target, QString() }].stripTopFolder = true;
        QVERIFY(!core::ItemOptionsFile(path(QStringLiteral("app/ITEM.DAT"))).write(options).has_value());
    }
    const QString top = strip ? QString() : QStringLiteral("tool-1.2.3/");

    // Entries are refused (the links that lead out): the run says so in its code.
    QByteArray output;
    const int code = runPellora({ QStringLiteral("--route"), archive }, &output);
    QVERIFY2(code == 5, output.constData());

    QJsonObject expected;
    for (const QJsonValue &value : test::fixtureManifest()) {
        if (value.toObject().value(QStringLiteral("file")).toString() == fixture)
            expected = value.toObject().value(QStringLiteral("files")).toObject();
    }
    QVERIFY(!expected.isEmpty());
    QMap<QString, QString> want;
    for (auto it = expected.begin(); it != expected.end(); ++it)
        want.insert(top + it.key().mid(QStringLiteral("tool-1.2.3/").size()), it.value().toString());
    QCOMPARE(test::fileHashes(target), want);
    QCOMPARE(QFileInfo::exists(target + QStringLiteral("tool-1.2.3")), !strip);
    QCOMPARE(QFile::symLinkTarget(target + top + QStringLiteral("doc")), target + top + QStringLiteral("share/doc"));
    QVERIFY(QFileInfo(target + top + QStringLiteral("bin/tool")).isExecutable());
    QVERIFY(!QFile::exists(path(QStringLiteral("Zip"))));
}

void tst_EndToEnd::helpAndVersionAnswerOnStandardOutput_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("fileOfThatName"); // an archive called so in the current folder
    QTest::addColumn<QString>("printed"); // the start of standard output

    QTest::newRow("--help prints the usage") << "--help" << false << "usage: pellora [ARCHIVE]\n";
    QTest::newRow("--version prints the version") << "--version" << false << "Pellora " PELLORA_VERSION "\n";
    QTest::newRow("an archive called --version is extracted") << "--version" << true << "";
}

void tst_EndToEnd::helpAndVersionAnswerOnStandardOutput()
{
    QFETCH(QString, argument);
    QFETCH(bool, fileOfThatName);
    QFETCH(QString, printed);
    core::DeleteSettingsKey();
    core::writeYesNo(core::setting(u"NoLog"), true);
    const QString folder = path(QStringLiteral("dl"));
    QDir().mkpath(folder);
    if (fileOfThatName)
        QVERIFY(QFile::copy(test::dataPath(QStringLiteral("lzh/lh6.lzh")), folder + u'/' + argument));
    QVERIFY(!core::ItemFile(m_app->itemListPath())
                 .write({ { QStringLiteral("Tool"), argument, path(QStringLiteral("Tool/")), QString() } })
                 .has_value());

    QByteArray output;
    // The program would otherwise open its item list, which waits for a user.
    QCOMPARE(runPellora({ argument }, &output, folder), 0);
    QVERIFY2(output.startsWith(printed.toUtf8()) && (output.isEmpty() == printed.isEmpty()), output.constData());
    QCOMPARE(QDir(path(QStringLiteral("Tool"))).exists(), fileOfThatName);
}

void tst_EndToEnd::undoLastBringsBackTheFolderBeforeTheRun()
{
    QDir().mkpath(path(QStringLiteral("dl")));
    test::writeZip(path(QStringLiteral("dl/soft1.zip")), { { "readme.txt", "v1\n" }, { "conf/app.ini", "v1\n" } });
    test::writeZip(path(QStringLiteral("dl/soft2.zip")),
        { { "readme.txt", "v2\n" }, { "conf/app.ini", "v2\n" }, { "plugins/new/p.txt", "v2\n" } });
    core::DeleteSettingsKey();
    core::writeYesNo(core::setting(u"NoLog"), true);
    core::writeNumber(core::setting(u"ArchiveOperation"), 0);
    // Replace whatever the dates, as a user who always wants the archive's files would.
    core::writeText(core::setting(u"UnzipCommandLine"), QStringLiteral(" -o"));
    const QString target = path(QStringLiteral("Soft/"));
    QVERIFY(!core::ItemFile(m_app->itemListPath())
                 .write({ { QStringLiteral("Soft"), QStringLiteral("soft*.ZIP"), target, QString() } })
                 .has_value());

    QCOMPARE(runPellora({ path(QStringLiteral("dl/soft1.zip")) }), 0);
    test::writeFile(target + QStringLiteral("conf/app.ini"), "edited by the user\n");
    const QStringList beforeV2 = test::treeState(target);
    QCOMPARE(runPellora({ path(QStringLiteral("dl/soft2.zip")) }), 0);
    QVERIFY(test::treeState(target) != beforeV2);

    QByteArray listed;
    QCOMPARE(runPellora({ QStringLiteral("--history") }, &listed), 0);
    const QList<QByteArray> lines = listed.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).contains("soft2.zip") && lines.at(1).contains("soft1.zip"), listed.constData());

    QByteArray undone;
    QCOMPARE(runPellora({ QStringLiteral("--undo-last") }, &undone), 0);
    QCOMPARE(test::treeState(target), beforeV2);
    QVERIFY2(undone.contains("conf/app.ini"), undone.constData());
    // A portable copy keeps its history beside its item list.
    QVERIFY(QDir(path(QStringLiteral("app/history"))).exists());
    // The older run is next; an unknown id undoes nothing. Undoing version 1
    // leaves the file the user edited since, and says so with exit code 1.
    QCOMPARE(runPellora({ QStringLiteral("--undo"), QStringLiteral("no-such-run") }), 2);
    QCOMPARE(runPellora({ QStringLiteral("--undo-last") }, &undone), 1);
    QVERIFY2(undone.contains("conf/app.ini"), undone.constData());
    QVERIFY(!QFile::exists(target + QStringLiteral("readme.txt")));
    QCOMPARE(test::fileHashes(target).value(QStringLiteral("conf/app.ini")),
        QString::fromLatin1(test::sha256Hex("edited by the user\n")));
}

void tst_EndToEnd::theArchiverToolRecordsRunsThatUndo()
{
    // The benchmark of recording measures this run: it must be a real one.
    const QString target = path(QStringLiteral("tool-out"));
    const QString history = path(QStringLiteral("tool-history"));
    test::writeFile(target + QStringLiteral("/readme.txt"), "old\n");
    test::writeZip(path(QStringLiteral("v2.zip")), { { "readme.txt", "new\n" }, { "sub/new.txt", "new\n" } });
    const QStringList before = test::treeState(target);
    QStringList afterFirst;
    const QString command
        = QStringLiteral("-x -i --i -o \"%1\" \"%2/\" \"*.*\"").arg(path(QStringLiteral("v2.zip")), target);
    for (int run = 0; run < 7; ++run) {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        tool.start(QStringLiteral(PELLORA_ARC_BINARY),
            { QStringLiteral("run"), QStringLiteral("--history"), history, target, QStringLiteral("UNZIP32.DLL"),
                command });
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        if (run == 0)
            afterFirst = test::treeState(target);
    }
    QVERIFY(afterFirst != before);
    // Only the five newest runs stay: undone, they leave the tree the first run made.
    const QList<core::HistoryRun> runs = core::listRuns(history);
    QCOMPARE(runs.size(), 5);
    for (const core::HistoryRun &run : runs) {
        QCOMPARE(run.target, target);
        QCOMPARE(run.count(core::HistoryEntry::Replaced), 2); // both files, after the first run
    }
    for (const core::HistoryRun &run : runs)
        QCOMPARE(core::undoRun(history, run.id).exitCode(), 0);
    QCOMPARE(test::treeState(target), afterFirst);
}

// The benchmark compares ways of decoding through these options: each must
// take the way it names, and every way must leave the same tree.
void tst_EndToEnd::theArchiverToolDecodesAsAsked()
{
    QList<test::ZipEntry> entries;
    for (int i = 0; i < 40; ++i)
        entries.append({ "d/f" + QByteArray::number(i), QByteArray(i * 997 + 1, char('a' + i % 26)) });
    const QString archive = path(QStringLiteral("ways.zip"));
    test::writeZip(archive, entries);
    const auto run = [&](const QStringList &options, const QString &out, QString *counts) {
        QProcess tool;
        tool.start(QStringLiteral(PELLORA_ARC_BINARY),
            QStringList{ QStringLiteral("run") } + options
                + QStringList{ QStringLiteral("UNZIP32.DLL"),
                    QStringLiteral("-x -i --i -o \"%1\" \"%2/\" \"*.*\"").arg(archive, out) });
        if (!tool.waitForFinished(60000))
            return -1;
        *counts = QString::fromUtf8(tool.readAllStandardError()).trimmed();
        return tool.exitCode();
    };
    QString counts;
    const QString one = path(QStringLiteral("ways-one"));
    QCOMPARE(run({ "--threads", "1", "--no-fast-paths", "--counts" }, one, &counts), 0);
    QCOMPARE(counts, QStringLiteral("decoded ahead 0, through a fast path 0, handed back 0"));
    const QString workers = path(QStringLiteral("ways-workers"));
    QCOMPARE(run({ "--threads", "2", "--counts" }, workers, &counts), 0);
    QCOMPARE(counts, QStringLiteral("decoded ahead 40, through a fast path 40, handed back 0"));
    const QString libarchive = path(QStringLiteral("ways-libarchive"));
    QCOMPARE(run({ "--counts", "--no-fast-paths", "--threads", "3" }, libarchive, &counts), 0);
    QCOMPARE(counts, QStringLiteral("decoded ahead 40, through a fast path 0, handed back 0"));
    QCOMPARE(test::fileHashes(workers), test::fileHashes(one));
    QCOMPARE(test::fileHashes(libarchive), test::fileHashes(one));
    QCOMPARE(test::fileHashes(one).size(), 40);
    for (const QStringList &bad :
        { QStringList{ "--threads", "0" }, QStringList{ "--threads", "x" }, QStringList{ "--threads" } })
        QCOMPARE(run(bad, path(QStringLiteral("ways-bad")), &counts), 2);
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_EndToEnd.moc"
