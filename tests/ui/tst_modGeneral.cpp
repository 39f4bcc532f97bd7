#include "core/ItemFile.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "extract/frmLog.h"
#include "extract/frmOverlap.h"
#include "platform/gui/Form.h"
#include "support/ItemList.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"
#include "ui/dialogs/frmMelt.h"
#include "ui/main/modGeneral.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace pellora;

class tst_modGeneral : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void unsupportedFileGetsItsMessage();
    void oneMatchExtractsIntoThatItemsFolder();
    void severalMatchesBringUpTheChooserInFileOrder();
    void noMatchLeavesTheDialogOpenWithTheProposedFolder();
    void noArgumentLeavesNoRecordBehind();
    void aRunThatExtractedNothingIsKeptForTheExitStatus_data();
    void aRunThatExtractedNothingIsKeptForTheExitStatus();

private:
    void writeItems(const QList<core::ItemRecord> &records);

    QTemporaryDir m_config;
    QTemporaryDir m_work;
    std::unique_ptr<test::RecordingShell> m_shell;
};

void tst_modGeneral::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
    QVERIFY(test::itemListIsPrivate());
}

void tst_modGeneral::init()
{
    core::DeleteSettingsKey();
    core::writeYesNo(core::setting(u"NoLog"), true);
    core::gblnExtractionFailed = false;
    m_shell = std::make_unique<test::RecordingShell>();
}

void tst_modGeneral::cleanup()
{
    if (platform::formIsLoaded<ui::frmMelt>())
        platform::formInstance<ui::frmMelt>().Unload();
    core::CurrentItem.reset();
    m_shell.reset();
    test::removeItemFile();
}

void tst_modGeneral::writeItems(const QList<core::ItemRecord> &records)
{
    QVERIFY(!core::ItemFile(core::itemFilePath()).write(records).has_value());
}

void tst_modGeneral::unsupportedFileGetsItsMessage()
{
    ui::Main({ test::dataPath(QStringLiteral("misc/notes.txt")) });
    QCOMPARE(m_shell->calls,
        QStringList{ QStringLiteral("messageBox|指定されたファイルは未対応の形式であるか壊れています。|16|Pellora") });
    QVERIFY(!core::CurrentItem);
}

void tst_modGeneral::oneMatchExtractsIntoThatItemsFolder()
{
    const QString target = m_work.filePath(QStringLiteral("Tool")) + u'/';
    writeItems(
        { { QStringLiteral("Other"), QStringLiteral("x*.zip"), m_work.filePath(QStringLiteral("Other/")), QString() },
            { QStringLiteral("LH"), QStringLiteral("LH?.LZH"), target, QStringLiteral("doc/manual.txt") } });
    ui::Main({ test::dataPath(QStringLiteral("lzh/lh7.lzh")) });
    QVERIFY(QFileInfo::exists(target + QStringLiteral("deep/a/b/c.txt")));
    QCOMPARE(m_shell->calls, QStringList{ QStringLiteral("open|%1doc/manual.txt|%2").arg(target, target.chopped(1)) });
    QVERIFY(!core::CurrentItem);
}

void tst_modGeneral::severalMatchesBringUpTheChooserInFileOrder()
{
    writeItems(
        { { QStringLiteral("Second"), QStringLiteral("*.cab"), m_work.filePath(QStringLiteral("B/")), QString() },
            { QStringLiteral("Nope"), QStringLiteral("*.zip"), m_work.filePath(QStringLiteral("N/")), QString() },
            { QStringLiteral("First"), QStringLiteral("msz*"), m_work.filePath(QStringLiteral("A/")),
                QStringLiteral("r.txt") } });
    QStringList rows;
    QTimer::singleShot(0, this, [&] {
        auto *chooser = qobject_cast<extract::frmOverlap *>(QApplication::activeModalWidget());
        QVERIFY(chooser);
        for (int i = 0; i < chooser->lvwOverlap->rowCount(); ++i)
            rows.append(chooser->lvwOverlap->item(i, 0)->text());
        QTest::keyClick(chooser, Qt::Key_Escape);
    });
    ui::Main({ test::dataPath(QStringLiteral("cab/mszip.cab")) });
    QCOMPARE(rows, (QStringList{ QStringLiteral("Second"), QStringLiteral("First") }));
    QVERIFY(!QFileInfo::exists(m_work.filePath(QStringLiteral("A"))));
    QVERIFY(!QFileInfo::exists(m_work.filePath(QStringLiteral("B"))));
    QVERIFY(!core::CurrentItem);
}

void tst_modGeneral::noMatchLeavesTheDialogOpenWithTheProposedFolder()
{
    writeItems({ { QStringLiteral("Other"), QStringLiteral("x*.zip"), m_work.filePath(QStringLiteral("Other/")),
        QString() } });
    core::writeText(core::setting(u"DefaultMeltFolder"), QStringLiteral("/melt/here/"));
    ui::Main({ test::dataPath(QStringLiteral("zip/stored.zip")) });
    // Start-up has returned with the dialog open and the record kept for it.
    QVERIFY(platform::formIsLoaded<ui::frmMelt>());
    ui::frmMelt &dialog = platform::formInstance<ui::frmMelt>();
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.isModal());
    QCOMPARE(dialog.txtTargetFolder->text(), QStringLiteral("/melt/here/"));
    QVERIFY(core::CurrentItem);
    QCOMPARE(core::CurrentItem->Output(), QStringLiteral("/melt/here/"));
    QCOMPARE(core::CurrentItem->Name(), QStringLiteral("stored.zip"));
    QVERIFY(m_shell->calls.isEmpty());
    QVERIFY(!QFileInfo::exists(m_work.filePath(QStringLiteral("Other"))));
}

void tst_modGeneral::noArgumentLeavesNoRecordBehind()
{
    ui::Main({});
    QVERIFY(!core::CurrentItem);
    QVERIFY(m_shell->calls.isEmpty());
}

void tst_modGeneral::aRunThatExtractedNothingIsKeptForTheExitStatus_data()
{
    QTest::addColumn<QString>("archive"); // under tests/data
    QTest::addColumn<QString>("target"); // relative to the work folder
    QTest::addColumn<bool>("failed");

    QTest::newRow("a complete extraction") << "lzh/lh7.lzh"
                                           << "Tool/" << false;
    QTest::newRow("an extraction whose folder cannot be made") << "lzh/lh7.lzh"
                                                               << "a-file/Tool/" << true;
    QTest::newRow("a file that is no archive") << "misc/notes.txt"
                                               << "Tool/" << true;
}

void tst_modGeneral::aRunThatExtractedNothingIsKeptForTheExitStatus()
{
    QFETCH(QString, archive);
    QFETCH(QString, target);
    QFETCH(bool, failed);
    test::writeFile(m_work.filePath(QStringLiteral("a-file")), "not a folder\n");
    writeItems({ { QStringLiteral("Tool"), QStringLiteral("*"), m_work.filePath(target), QString() } });
    // A failed run shows its report even with the result window switched off.
    QTimer closeReport;
    connect(&closeReport, &QTimer::timeout, this, [] {
        if (auto *report = qobject_cast<extract::frmLog *>(QApplication::activeModalWidget()))
            report->cmdOK->click();
    });
    closeReport.start(10);
    ui::Main({ test::dataPath(archive) });
    QCOMPARE(core::gblnExtractionFailed, failed);
}

QTEST_MAIN(tst_modGeneral)
#include "tst_modGeneral.moc"
