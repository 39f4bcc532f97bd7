#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "extract/Melt.h"
#include "extract/frmLog.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "support/FakeArchiver.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"
#include "support/ZipBuilder.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace pellora;
using core::kMissing;

class tst_Melt : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void composesTheCommandLineOfEachKindAndCaller_data();
    void composesTheCommandLineOfEachKindAndCaller();
    void composesTheItemsNameOptions_data();
    void composesTheItemsNameOptions();
    void buildsTheResultText();
    void showsTheReportThenDisposesOpensFolderAndRelatedFileInOrder();
    void noLogSkipsOnlyTheResultWindow();
    void failedRunIsShownEvenWithNoLogAndKeepsTheArchive();
    void extractionElsewhereIsNotFollowedByAnything();
    void unsupportedKindOnlySaysSo();
    void aTargetThatIsNotAbsoluteIsRefusedBeforeAnything_data();
    void aTargetThatIsNotAbsoluteIsRefusedBeforeAnything();
    void aTargetWithoutItsSlashIsStillThatFolder();
    void disposesOfTheArchiveAsConfigured_data();
    void disposesOfTheArchiveAsConfigured();
    void opensTheFolderWithTheConfiguredFiler_data();
    void opensTheFolderWithTheConfiguredFiler();
    void opensTheRelatedFileOrFallsBackToAViewer_data();
    void opensTheRelatedFileOrFallsBackToAViewer();
    void theResultWindowUndoesItsRunWhenConfirmed_data();
    void theResultWindowUndoesItsRunWhenConfirmed();

private:
    // Runs Melt on a record for an archive the fake library accepts; closes
    // the result window if one appears and returns its text.
    QString melt(const QString &kind, const QString &file = QStringLiteral("*.*"), const QString &output = kMissing,
        const QString &command = kMissing);

    QTemporaryDir m_config;
    QTemporaryDir m_work;
    std::shared_ptr<test::FakeArchiver> m_library;
    std::unique_ptr<test::RecordingShell> m_shell;
    std::unique_ptr<core::clsItem> m_item;
    bool m_logShown = false;
};

void tst_Melt::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
}

void tst_Melt::init()
{
    core::DeleteSettingsKey();
    m_library = std::make_shared<test::FakeArchiver>();
    m_shell = std::make_unique<test::RecordingShell>();
    m_item = std::make_unique<core::clsItem>(QStringList{});
    m_item->setOutput(m_work.path() + QStringLiteral("/Tool/"));
    m_logShown = false;
}

void tst_Melt::cleanup()
{
    m_shell.reset();
    arc::ArchiverRegistry::restoreBuiltIns();
}

QString tst_Melt::melt(const QString &kind, const QString &file, const QString &output, const QString &command)
{
    const QString archive = QStringLiteral("/dl/foo.%1").arg(kind.toLower());
    m_library->accepts = { archive };
    const char *library = kind == u"LZH" ? arc::kUnlhaLibrary : kind == u"ZIP" ? arc::kUnzipLibrary : arc::kCabLibrary;
    arc::ArchiverRegistry::install(QString::fromLatin1(library), m_library);
    m_item->setPath(archive);
    QString shown;
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto *log = qobject_cast<extract::frmLog *>(QApplication::activeModalWidget())) {
            m_logShown = true;
            shown = log->txtLog->toPlainText();
            QTest::keyClick(log, Qt::Key_Return); // Enter presses OK
        }
    });
    closer.start();
    m_item->Melt(file, output, command);
    return shown;
}

void tst_Melt::composesTheCommandLineOfEachKindAndCaller_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("expected");

    QTest::newRow("LZH whole archive with the user's -n and -c")
        << "LZH"
        << " -n -c"
        << "*.*" << QString(kMissing) << R"(x -a1 -jp1 -n -c "/dl/a b.lzh" "/Tool/" "*.*")";
    QTest::newRow("LZH single entry into the temporary folder ends with -p")
        << "LZH"
        << " -n"
        << "docs/readme.txt" << QString(kMissing) << R"(x -a1 -jp1 -n -p "/dl/a b.lzh" "/Tool/" "docs/readme.txt")";
    QTest::newRow("ZIP with the user's switch")
        << "ZIP"
        << " --i"
        << "*.*" << QString(kMissing) << R"(-x -i --i "/dl/a b.zip" "/Tool/" "*.*")";
    QTest::newRow("ZIP single entry has no -p")
        << "ZIP"
        << ""
        << "docs/a.txt" << QString(kMissing) << R"(-x -i "/dl/a b.zip" "/Tool/" "docs/a.txt")";
    QTest::newRow("CAB with replace") << "CAB"
                                      << " -o"
                                      << "*.*" << QString(kMissing) << R"(-x -k -n -o "/dl/a b.cab" "/Tool/" "*.*")";
    QTest::newRow("TAR speaks the ZIP language with its own stored switches")
        << "TAR"
        << " --i -o -nl"
        << "*.*" << QString(kMissing) << R"(-x -i --i -o -nl "/dl/a b.tar" "/Tool/" "*.*")";
    QTest::newRow("a restore's own switches replace everything, -p included")
        << "LZH"
        << " -n"
        << "a.txt"
        << "x -a1 -jp1 -c"
        << R"(x -a1 -jp1 -c "/dl/a b.lzh" "/Tool/" "a.txt")";
}

void tst_Melt::composesTheCommandLineOfEachKindAndCaller()
{
    QFETCH(QString, kind);
    QFETCH(QString, stored);
    QFETCH(QString, file);
    QFETCH(QString, command);
    const QString setting = kind == u"LZH" ? QStringLiteral("UnlhaCommandLine")
        : kind == u"ZIP"                   ? QStringLiteral("UnzipCommandLine")
        : kind == u"TAR"                   ? QStringLiteral("LibarchiveCommandLine")
                                           : QStringLiteral("CabCommandLine");
    // Every kind's setting holds something else, so a wrong one is seen.
    for (const char *other : { "UnlhaCommandLine", "UnzipCommandLine", "CabCommandLine", "LibarchiveCommandLine" })
        core::WriteSetting(QString::fromLatin1(other), core::kRegSz, QStringLiteral(" -WRONG"));
    core::WriteSetting(setting, core::kRegSz, stored);
    const auto call = extract::composeMeltCall(
        kind, QStringLiteral("/dl/a b.") + kind.toLower(), QStringLiteral("/Tool/"), file, command);
    QTEST(call.commandLine, "expected");
    QVERIFY(call.refusal.isEmpty());

    // A quote cannot be written inside a quoted text: refused, never composed.
    const auto quoted
        = extract::composeMeltCall(kind, QStringLiteral("/dl/say \"hi\".lzh"), QStringLiteral("/Tool/"), file, command);
    QVERIFY(quoted.commandLine.isEmpty());
    QVERIFY(!quoted.refusal.isEmpty());
}

void tst_Melt::composesTheItemsNameOptions_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<bool>("strip");
    QTest::addColumn<QString>("expected");
    QTest::newRow("LZH single entry: after -p, so the entry is named as listed")
        << "LZH"
        << "docs/a.txt" << QString(kMissing) << "GBK" << true
        << R"(x -a1 -jp1 -p --strip-top --names=GBK "/dl/a b.lzh" "/Tool/" "docs/a.txt")";
    QTest::newRow("ZIP encoding only") << "ZIP"
                                       << "*.*" << QString(kMissing) << "CP437" << false
                                       << R"(-x -i --names=CP437 "/dl/a b.zip" "/Tool/" "*.*")";
    QTest::newRow("an encoding this version does not know is left out")
        << "CAB"
        << "*.*" << QString(kMissing) << "KOI8-R" << true << R"(-x -k -n --strip-top "/dl/a b.cab" "/Tool/" "*.*")";
    QTest::newRow("switches given instead of the usual ones keep the options")
        << "ZIP"
        << "a.txt"
        << "-x -o"
        << "BIG5" << false << R"(-x -o --names=BIG5 "/dl/a b.zip" "/Tool/" "a.txt")";
}

void tst_Melt::composesTheItemsNameOptions()
{
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QFETCH(QString, command);
    QFETCH(QString, encoding);
    QFETCH(bool, strip);
    for (const char *setting : { "UnlhaCommandLine", "UnzipCommandLine", "CabCommandLine" })
        core::WriteSetting(QString::fromLatin1(setting), core::kRegSz, QString());
    const auto call = extract::composeMeltCall(kind, QStringLiteral("/dl/a b.") + kind.toLower(),
        QStringLiteral("/Tool/"), file, command, arc::NameOptions{ encoding, strip });
    QTEST(call.commandLine, "expected");
}

void tst_Melt::buildsTheResultText()
{
    QCOMPARE(extract::resultText(
                 QStringLiteral("/Tool/"), QStringLiteral("docs/readme.txt  1 バイト  解凍しました\n解凍 1 個\n")),
        QStringLiteral("TargetFolder : /Tool/\r\ndocs/readme.txt  1 バイト  解凍しました\r\n解凍 1 個\r\n"));
    QCOMPARE(extract::resultText(QStringLiteral("/Tool/"), QString()), QStringLiteral("TargetFolder : /Tool/\r\n"));
    // A folder from a hostile item list stays on its line.
    QCOMPARE(extract::resultText(QStringLiteral("/Tool\n解凍 1 個/"), QString()),
        QStringLiteral("TargetFolder : /Tool\\n解凍 1 個/\r\n"));
}

void tst_Melt::showsTheReportThenDisposesOpensFolderAndRelatedFileInOrder()
{
    core::writeNumber(core::setting(u"ArchiveOperation"), 3);
    core::writeYesNo(core::setting(u"RunExplorer"), true);
    m_item->setRelation(QStringLiteral("doc/read me.txt"));
    test::writeFile(m_item->Output() + QStringLiteral("doc/read me.txt"), "hello");
    m_library->report = "readme.txt  5 バイト  解凍しました\n";

    const QString shown = melt(QStringLiteral("LZH"));
    QVERIFY(m_logShown);
    QCOMPARE(shown, QStringLiteral("TargetFolder : %1\nreadme.txt  5 バイト  解凍しました\n").arg(m_item->Output()));
    QCOMPARE(m_library->commands,
        QStringList{ QStringLiteral(R"(x -a1 -jp1 "/dl/foo.lzh" "%1" "*.*")").arg(m_item->Output()) });
    const QString folder = m_item->Output().chopped(1);
    QCOMPARE(m_shell->calls,
        (QStringList{
            QStringLiteral("copy|/dl/foo.lzh|%1foo.lzh").arg(m_item->Output()),
            QStringLiteral("start|xdg-open  \"%1\"").arg(folder),
            QStringLiteral("open|%1doc/read me.txt|%2").arg(m_item->Output(), folder),
        }));
}

void tst_Melt::noLogSkipsOnlyTheResultWindow()
{
    core::writeYesNo(core::setting(u"NoLog"), true);
    core::writeNumber(core::setting(u"ArchiveOperation"), 1);
    melt(QStringLiteral("ZIP"));
    QVERIFY(!m_logShown);
    QCOMPARE(m_shell->calls, QStringList{ QStringLiteral("trash|/dl/foo.zip") });
}

void tst_Melt::failedRunIsShownEvenWithNoLogAndKeepsTheArchive()
{
    core::writeYesNo(core::setting(u"NoLog"), true);
    core::writeNumber(core::setting(u"ArchiveOperation"), 2);
    core::writeYesNo(core::setting(u"RunExplorer"), true);
    m_library->code = 1;
    m_library->report = "../evil.txt  4 バイト  解凍しませんでした\n";
    const QString shown = melt(QStringLiteral("CAB"));
    QVERIFY(m_logShown);
    QVERIFY(shown.contains(QStringLiteral("解凍しませんでした")));
    QVERIFY(m_shell->callsOf(QStringLiteral("move")).isEmpty());
    QCOMPARE(m_shell->callsOf(QStringLiteral("start")).size(), 1);
}

void tst_Melt::extractionElsewhereIsNotFollowedByAnything()
{
    core::writeNumber(core::setting(u"ArchiveOperation"), 1);
    core::writeYesNo(core::setting(u"RunExplorer"), true);
    melt(QStringLiteral("LZH"), QStringLiteral("docs/readme.txt"), QStringLiteral("/tmp/x/~meltmp/"));
    melt(QStringLiteral("LZH"), QStringLiteral("docs/readme.txt"));
    QVERIFY(!m_logShown);
    QVERIFY(m_shell->calls.isEmpty());
    QCOMPARE(m_library->commands.size(), 2);
    QVERIFY(
        m_library->commands.at(0).endsWith(QStringLiteral(R"(-p "/dl/foo.lzh" "/tmp/x/~meltmp/" "docs/readme.txt")")));
}

void tst_Melt::unsupportedKindOnlySaysSo()
{
    m_item->setPath(QStringLiteral("/dl/nothing.txt"));
    QVERIFY(m_item->ArchiveType().isEmpty());
    m_item->Melt(QStringLiteral("*.*"), kMissing, kMissing);
    QCOMPARE(m_shell->calls, QStringList{ QStringLiteral("messageBox|対応していないアーカイブ形式です。|0|Pellora") });
    QVERIFY(m_library->commands.isEmpty());
}

void tst_Melt::aTargetThatIsNotAbsoluteIsRefusedBeforeAnything_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("named"); // the item as the message names it
    QTest::newRow("a Windows folder from an item list written there")
        << QStringLiteral("C:\\Program Files\\Foo\\") << QStringLiteral("Foo") << QStringLiteral("Foo");
    QTest::newRow("a folder relative to the current one")
        << QStringLiteral("soft/") << QStringLiteral("Soft") << QStringLiteral("Soft");
    QTest::newRow("a folder below ~") << QStringLiteral("~/Tools/") << QStringLiteral("Tools")
                                      << QStringLiteral("Tools");
    QTest::newRow("no folder at all, for an item chosen without its name: the archive is named")
        << QString() << QString() << QStringLiteral("foo.lzh");
}

void tst_Melt::aTargetThatIsNotAbsoluteIsRefusedBeforeAnything()
{
    QFETCH(QString, target);
    QFETCH(QString, title);
    QFETCH(QString, named);
    // Everything that would follow an extraction is switched on.
    core::writeNumber(core::setting(u"ArchiveOperation"), 2);
    core::writeText(core::setting(u"ArchiveOperationFolder"), m_work.path() + QStringLiteral("/kept/"));
    core::writeYesNo(core::setting(u"RunExplorer"), true);
    m_item->setTitle(title);
    m_item->setOutput(target);
    m_item->setRelation(QStringLiteral("readme.txt"));

    melt(QStringLiteral("LZH"));

    QVERIFY(m_library->commands.isEmpty());
    QVERIFY(!m_logShown);
    const QString message
        = QStringLiteral("アイテム「%1」の解凍先フォルダ「%2」は絶対パスではないため、解凍しませんでした。")
              .arg(named, target);
    QCOMPARE(m_shell->calls, QStringList{ QStringLiteral("messageBox|%1|48|Pellora").arg(message) });
}

void tst_Melt::aTargetWithoutItsSlashIsStillThatFolder()
{
    core::writeYesNo(core::setting(u"NoLog"), true);
    core::writeNumber(core::setting(u"ArchiveOperation"), 3);
    core::writeYesNo(core::setting(u"ArchiveOperationTargetFolder"), true);
    const QString folder = m_work.path() + QStringLiteral("/out");
    test::writeFile(folder + QStringLiteral("/readme.txt"), "read me");
    m_item->setOutput(folder);
    m_item->setRelation(QStringLiteral("readme.txt"));

    melt(QStringLiteral("LZH"));

    QCOMPARE(m_item->Output(), folder + u'/');
    QCOMPARE(m_library->commands.size(), 1);
    QVERIFY(m_library->commands.first().endsWith(QStringLiteral("\"%1/\" \"*.*\"").arg(folder)));
    // The archive goes into the folder, not beside it as outfoo.lzh, and the
    // related file is found inside it.
    QCOMPARE(m_shell->calls,
        (QStringList{ QStringLiteral("copy|/dl/foo.lzh|%1/foo.lzh").arg(folder),
            QStringLiteral("open|%1/readme.txt|%1").arg(folder) }));
}

void tst_Melt::disposesOfTheArchiveAsConfigured_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("keepFolder");
    QTest::addColumn<bool>("intoTarget");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("expected");

    QTest::newRow("0 does nothing") << 0 << "/keep/" << false << "/Tool/"
                                    << "";
    QTest::newRow("1 recycles") << 1 << "/keep/" << false << "/Tool/"
                                << "trash|/dl/foo.lzh";
    QTest::newRow("2 moves to the keeping folder") << 2 << "/keep/" << false << "/Tool/"
                                                   << "move|/dl/foo.lzh|/keep/foo.lzh";
    QTest::newRow("3 copies into the target folder") << 3 << "/keep/" << true << "/Tool/"
                                                     << "copy|/dl/foo.lzh|/Tool/foo.lzh";
    QTest::newRow("a keeping folder stored without its separator is still the folder")
        << 2 << "/keep" << false << "/Tool/"
        << "move|/dl/foo.lzh|/keep/foo.lzh";
    QTest::newRow("a value outside 1 to 3 does nothing") << 7 << "/keep/" << false << "/Tool/"
                                                         << "";
    QTest::newRow("1 with no folder and the target choice off does not recycle") << 1 << "" << false << "/Tool/"
                                                                                 << "";
    QTest::newRow("2 does nothing when the archive already lies in the target") << 2 << "" << true << "/dl/"
                                                                                << "";
    QTest::newRow("2 into a folder differing only in case is attempted") << 2 << "" << true << "/DL/"
                                                                         << "move|/dl/foo.lzh|/DL/foo.lzh";
}

void tst_Melt::disposesOfTheArchiveAsConfigured()
{
    QFETCH(int, operation);
    QFETCH(QString, keepFolder);
    QFETCH(bool, intoTarget);
    QFETCH(QString, output);
    core::writeYesNo(core::setting(u"NoLog"), true);
    core::writeNumber(core::setting(u"ArchiveOperation"), operation);
    core::writeText(core::setting(u"ArchiveOperationFolder"), keepFolder);
    core::writeYesNo(core::setting(u"ArchiveOperationTargetFolder"), intoTarget);
    m_item->setOutput(output);
    melt(QStringLiteral("LZH"));
    QTEST(m_shell->calls.join(u'\n'), "expected");
}

void tst_Melt::opensTheFolderWithTheConfiguredFiler_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing: the default with its blank") << QVariant() << "start|xdg-open  \"/Tool\"";
    QTest::newRow("stored empty") << QVariant(QString()) << "start|xdg-open \"/Tool\"";
    QTest::newRow("a file manager of the user's")
        << QVariant(QStringLiteral("nautilus --browser")) << "start|nautilus --browser \"/Tool\"";
}

void tst_Melt::opensTheFolderWithTheConfiguredFiler()
{
    QFETCH(QVariant, stored);
    core::writeYesNo(core::setting(u"NoLog"), true);
    core::writeYesNo(core::setting(u"RunExplorer"), true);
    if (stored.isValid())
        core::WriteSetting(QStringLiteral("DefaultFiler"), core::kRegSz, stored);
    m_item->setOutput(QStringLiteral("/Tool/"));
    melt(QStringLiteral("ZIP"));
    QTEST(m_shell->calls.join(u'\n'), "expected");

    // A filer that cannot be started is said so, and the run ends in order.
    m_shell->calls.clear();
    m_shell->startSucceeds = false;
    melt(QStringLiteral("ZIP"));
    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")).size(), 1);
}

void tst_Melt::opensTheRelatedFileOrFallsBackToAViewer_data()
{
    QTest::addColumn<int>("openResult");
    QTest::addColumn<QString>("viewer");
    QTest::addColumn<QString>("expected"); // %1 = the file

    QTest::newRow("an associated application opens it") << 42 << ""
                                                        << "";
    QTest::newRow("no association and no viewer: the own text viewer") << 31 << ""
                                                                       << "viewer|%1";
    QTest::newRow("no association: the viewer gets the path as one argument") << 31 << "mousepad --disable-server"
                                                                              << "program|mousepad|--disable-server|%1";
    QTest::newRow("any other failure ends silently") << 2 << "mousepad"
                                                     << "";
}

void tst_Melt::opensTheRelatedFileOrFallsBackToAViewer()
{
    QFETCH(int, openResult);
    QFETCH(QString, viewer);
    QFETCH(QString, expected);
    core::writeYesNo(core::setting(u"NoLog"), true);
    core::writeText(core::setting(u"DefaultFileViewer"), viewer);
    m_shell->openResult = openResult;
    m_item->setRelation(QStringLiteral("read me.txt"));
    const QString file = m_item->Output() + QStringLiteral("read me.txt");
    test::writeFile(file, "hello");
    melt(QStringLiteral("CAB"));
    QStringList rest = m_shell->calls;
    QCOMPARE(rest.takeFirst(), QStringLiteral("open|%1|%2").arg(file, m_item->Output().chopped(1)));
    QCOMPARE(rest.join(u'\n'), expected.isEmpty() ? QString() : expected.arg(file));

    // A related file that is missing, hidden or a folder is not opened.
    for (const QString &relation : { QStringLiteral("absent.txt"), QStringLiteral(".hidden"), QStringLiteral("sub") }) {
        QDir().mkpath(m_item->Output() + QStringLiteral("sub"));
        test::writeFile(m_item->Output() + QStringLiteral(".hidden"), "x");
        m_shell->calls.clear();
        m_item->setRelation(relation);
        melt(QStringLiteral("CAB"));
        QVERIFY2(m_shell->calls.isEmpty(), qPrintable(relation));
    }
}

void tst_Melt::theResultWindowUndoesItsRunWhenConfirmed_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("confirmed: the folder is back, the archive stays") << int(platform::vbYes);
    QTest::newRow("declined: the run stands and the archive goes") << int(platform::vbNo);
}

void tst_Melt::theResultWindowUndoesItsRunWhenConfirmed()
{
    QFETCH(int, answer);
    arc::ArchiverRegistry::restoreBuiltIns();
    core::writeText(core::setting(u"UnzipCommandLine"), QStringLiteral(" -o"));
    core::writeNumber(core::setting(u"ArchiveOperation"), 1);
    const QString target = m_work.filePath(QStringLiteral("Undo%1/").arg(answer));
    const QString archive = m_work.filePath(QStringLiteral("soft.zip"));
    test::writeFile(target + QStringLiteral("readme.txt"), "old\n");
    const QStringList before = test::treeState(target);
    test::writeZip(archive, { { "readme.txt", "new\n" }, { "sub/new.txt", "new\n" } });
    m_item->setOutput(target);
    m_item->setPath(archive);
    m_shell->answers = { answer };

    bool undoOffered = false;
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto *log = qobject_cast<extract::frmLog *>(QApplication::activeModalWidget())) {
            closer.stop();
            undoOffered = log->cmdUndo->isVisible() && log->cmdUndo->isEnabled();
            log->cmdUndo->click();
            log->cmdOK->click();
        }
    });
    closer.start();
    m_item->Melt(QStringLiteral("*.*"), kMissing, kMissing);

    QVERIFY(undoOffered);
    const QStringList boxes = m_shell->callsOf(QStringLiteral("messageBox"));
    QVERIFY(!boxes.isEmpty());
    if (answer == platform::vbYes) {
        QCOMPARE(test::treeState(target), before);
        QVERIFY2(boxes.size() == 2 && boxes.at(1).contains(QStringLiteral("元に戻しました: readme.txt")),
            qPrintable(boxes.join(u'\n')));
        QVERIFY(m_shell->callsOf(QStringLiteral("trash")).isEmpty());
    } else {
        QCOMPARE(boxes.size(), 1);
        QVERIFY(QFile::exists(target + QStringLiteral("sub/new.txt")));
        QCOMPARE(m_shell->callsOf(QStringLiteral("trash")).size(), 1);
    }
}

QTEST_MAIN(tst_Melt)
#include "tst_Melt.moc"
