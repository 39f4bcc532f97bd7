#include "core/ItemFile.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Autostart.h"
#include "platform/gui/Form.h"
#include "support/Forms.h"
#include "support/GuiActions.h"
#include "support/ItemList.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"
#include "ui/main/frmMain.h"
#include "ui/options/OptionDisplayPage.h"
#include "ui/options/OptionFilePage.h"
#include "ui/options/OptionFolderPage.h"
#include "ui/options/OptionHistoryPage.h"
#include "ui/options/OptionMeltPage.h"
#include "ui/options/OptionOtherPage.h"
#include "ui/options/frmOption.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <functional>
#include <memory>

using namespace pellora;
using core::setting;
using test::settle;
using ui::frmMain;
using ui::frmOption;

namespace {

// Every stored setting with its value, as the settings file holds them.
QMap<QString, QVariant> storedSettings()
{
    QSettings store(QStringLiteral("Vorn"), QStringLiteral("Pellora"));
    store.sync();
    QMap<QString, QVariant> values;
    for (const QString &key : store.allKeys())
        values.insert(key, store.value(key));
    return values;
}

QString text(std::u16string_view name)
{
    return core::ReadSetting(
        QString::fromUtf16(name.data(), qsizetype(name.size())), core::kRegSz, QStringLiteral("<missing>"))
        .toString();
}

int number(std::u16string_view name)
{
    return core::ReadSetting(QString::fromUtf16(name.data(), qsizetype(name.size())), core::kRegDword, -99).toInt();
}

// The background a text box shows while enabled or disabled.
QColor boxBackground(const QLineEdit *box)
{
    return box->palette().color(QPalette::Disabled, QPalette::Base);
}
QColor enabledBackground(const QLineEdit *box)
{
    return box->palette().color(QPalette::Active, QPalette::Base);
}
QColor buttonFace()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Button);
}
QColor windowBackground()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Base);
}

// Which pages are visible, as a text of 0 and 1 in tab order.
QString visiblePages(const frmOption &form)
{
    QString shown;
    for (const QWidget *page : form.fraOption)
        shown += page->isVisibleTo(const_cast<frmOption *>(&form)) ? u'1' : u'0';
    return shown;
}

} // namespace

class tst_frmOption : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void layoutAndCaptions();
    void loadShowsTheStoredSettings_data();
    void loadShowsTheStoredSettings();
    void firstStartDisablesTheMoveCopyGroupUntilAFolderOptionIsChosen();
    void archiveFolderBoxFollowsTheOptionAndTheCheckBox_data();
    void archiveFolderBoxFollowsTheOptionAndTheCheckBox();
    void archiveOwnFolderDisablesAndGreysTheDefaultTarget();
    void ctrlTabWrapsAroundTheTabs();
    void clickingATabShowsItsPage();
    void okWritesTheSwitchTexts_data();
    void okWritesTheSwitchTexts();
    void linkBoxTouchesTheFourthLibraryOnly();
    void okCompletesFoldersAndWritesEverySetting();
    void browseButtonsTakeThePickedPath();
    void leavingWritesNothing_data();
    void leavingWritesNothing();
    void optionsCommandOpensTheDialogAndOkAppliesToTheMainList();
    void historyLimitsLoadWithinBoundsAndSaveOnOk_data();
    void historyLimitsLoadWithinBoundsAndSaveOnOk();
    void watchAtLoginWritesAndRemovesTheAutostartEntry();
    void watchAtLoginThatCannotBeSetIsToldAndNotStored_data();
    void watchAtLoginThatCannotBeSetIsToldAndNotStored();

private:
    frmOption &openOptions();
    frmMain &openMain();
    // Triggers the main window's options command; while the modal dialog is
    // up, act runs on it (and must end it).
    bool whileOptionsAreOpen(const std::function<void()> &trigger, const std::function<void(frmOption &)> &act);

    QTemporaryDir m_config;
    std::unique_ptr<test::RecordingShell> m_shell;
};

void tst_frmOption::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
    QVERIFY(test::itemListIsPrivate());
    // The greyed background must be told apart from the normal one.
    QVERIFY(buttonFace() != windowBackground());
}

void tst_frmOption::init()
{
    core::DeleteSettingsKey();
    test::removeItemFile();
    m_shell = std::make_unique<test::RecordingShell>();
    core::gblnNoRemoveBox = false;
    // The at-login entry lives under the isolated configuration folder.
    const QString autostart = m_config.filePath(QStringLiteral("autostart"));
    QFile::remove(autostart);
    QDir(autostart).removeRecursively();
}

void tst_frmOption::cleanup()
{
    test::unloadForms<frmOption, frmMain>();
    test::removeItemFile();
    m_shell.reset();
}

frmOption &tst_frmOption::openOptions()
{
    frmOption &form = platform::formInstance<frmOption>();
    form.Show();
    settle();
    return form;
}

frmMain &tst_frmOption::openMain()
{
    frmMain &form = platform::formInstance<frmMain>();
    form.Show();
    settle();
    return form;
}

bool tst_frmOption::whileOptionsAreOpen(
    const std::function<void()> &trigger, const std::function<void(frmOption &)> &act)
{
    bool opened = false;
    std::function<void()> probe = [&] {
        auto *dialog = qobject_cast<frmOption *>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(0, this, probe);
            return;
        }
        opened = true;
        act(*dialog);
        if (dialog->isLoaded())
            dialog->Unload();
    };
    QTimer::singleShot(0, this, probe);
    trigger();
    return opened;
}

void tst_frmOption::layoutAndCaptions()
{
    frmOption &form = openOptions();
    QCOMPARE(form.windowTitle(), QStringLiteral("オプション"));
    // The history's tab comes after the five that were always there.
    QCOMPARE(form.tabOption->count(), 6);
    const QStringList tabs = { QStringLiteral("画面"), QStringLiteral("解凍"), QStringLiteral("ファイル"),
        QStringLiteral("フォルダ"), QStringLiteral("その他"), QStringLiteral("履歴") };
    for (int i = 0; i < 6; ++i)
        QCOMPARE(form.tabOption->tabText(i), tabs.at(i));
    QCOMPARE(form.tabOption->currentIndex(), 0);
    QCOMPARE(visiblePages(form), QStringLiteral("100000"));
    // Every tab's caption is shown whole.
    for (int i = 0; i < 6; ++i)
        QVERIFY(form.tabOption->tabRect(i).right() < form.tabOption->width());
    QVERIFY(form.cmdOK->isDefault());
    QCOMPARE(form.cmdOK->text(), QStringLiteral("OK"));
    QCOMPARE(form.cmdCancel->text(), QStringLiteral("キャンセル"));
    const QMap<QString, QString> captions = {
        { QStringLiteral("fraListView"), QStringLiteral("リスト表示") },
        { QStringLiteral("chkListFullRowSelect"), QStringLiteral("行全体を選択(&R)") },
        { QStringLiteral("chkListGridLines"), QStringLiteral("アイテム間に境界線を表示(&G)") },
        { QStringLiteral("fraNoDialog"), QStringLiteral("ダイアログ表示の抑制") },
        { QStringLiteral("chkNoProgress"), QStringLiteral("解凍状況を表示しない(&P)") },
        { QStringLiteral("chkNoLog"), QStringLiteral("解凍結果を表示しない(&L)") },
        { QStringLiteral("chkNoRemoveBox"), QStringLiteral("アイテム削除時に確認しない(&R)") },
        { QStringLiteral("fraMeltOption"), QStringLiteral("解凍オプション") },
        { QStringLiteral("chkRunExplorer"), QStringLiteral("解凍後にエクスプローラを自動起動する(&E)") },
        { QStringLiteral("chkIgnoreTimeStamp"), QStringLiteral("日付に関係なく強制的に解凍する(&T)") },
        { QStringLiteral("chkIgnoreDamagedHeader"), QStringLiteral("破損ヘッダを無視する(&H) *LZHのみ") },
        { QStringLiteral("fraArchiveOperation"), QStringLiteral("解凍後の圧縮ファイル処理") },
        { QStringLiteral("optArchiveOperation0"), QStringLiteral("何もしない(&N)") },
        { QStringLiteral("optArchiveOperation1"), QStringLiteral("ゴミ箱に移動(&D)") },
        { QStringLiteral("optArchiveOperation2"), QStringLiteral("指定のフォルダに移動(&M)") },
        { QStringLiteral("optArchiveOperation3"), QStringLiteral("指定のフォルダにコピー(&C)") },
        { QStringLiteral("fraArchiveOperationFolder"), QStringLiteral("圧縮ファイルの移動/コピー先フォルダ") },
        { QStringLiteral("cmdArchiveOperationFolder"), QStringLiteral("参照...") },
        { QStringLiteral("chkArchiveOperationFolder"), QStringLiteral("解凍先フォルダに移動/コピーする(&E)") },
        { QStringLiteral("fraDefaultItemFolder"), QStringLiteral("アイテム追加時のデフォルトフォルダ") },
        { QStringLiteral("cmdDefaultItemFolder"), QStringLiteral("参照...") },
        { QStringLiteral("fraDefaultMeltFolder"), QStringLiteral("マッチしなかったときの解凍先のデフォルトフォルダ") },
        { QStringLiteral("cmdDefaultMeltFolder"), QStringLiteral("参照...") },
        { QStringLiteral("chkDefaultArchiveFolder"),
            QStringLiteral("圧縮ファイルが存在するフォルダをデフォルトにする(&A)") },
        { QStringLiteral("chkAddArchiveName"), QStringLiteral("末尾の数字を除いた圧縮ファイル名を付加する(&F)") },
        { QStringLiteral("fraDefaultFileViewer"),
            QStringLiteral("関連付けされていないファイルを開くアプリケーション") },
        { QStringLiteral("cmdDefaultFileViewer"), QStringLiteral("参照...") },
        { QStringLiteral("fraDefaultFiler"), QStringLiteral("エクスプローラの代わりに別のファイラを使う") },
        { QStringLiteral("cmdDefaultFiler"), QStringLiteral("参照...") },
        { QStringLiteral("chkAddFolderName"), QStringLiteral("アイテム追加時にフォルダ名をソフト名にする(&N)") },
        { QStringLiteral("fraWatchAtLogin"), QStringLiteral("ログイン時の監視") },
        { QStringLiteral("chkWatchAtLogin"), QStringLiteral("ログイン時にフォルダの監視を始める(&W)") },
        { QStringLiteral("cmdWatchFolder"), QStringLiteral("参照...") },
        { QStringLiteral("fraHistory"), QStringLiteral("元に戻すための履歴") },
    };
    for (auto it = captions.cbegin(); it != captions.cend(); ++it) {
        QWidget *control = form.findChild<QWidget *>(it.key());
        QVERIFY2(control, qPrintable(it.key()));
        QString shown;
        if (auto *box = qobject_cast<QGroupBox *>(control))
            shown = box->title();
        else if (auto *button = qobject_cast<QAbstractButton *>(control))
            shown = button->text();
        QCOMPARE(shown, it.value());
    }
    // Each page lies on its own tab, at the same place.
    QCOMPARE(form.display->chkNoRemoveBox->window(), &form);
    for (QWidget *page : form.fraOption)
        QCOMPARE(page->geometry(), form.fraOption[0]->geometry());
    QCOMPARE(form.findChild<QWidget *>(QStringLiteral("chkAddFolderName"))->parentWidget(), form.fraOption[4]);
    QCOMPARE(form.other->txtWatchFolder->parentWidget()->parentWidget(), form.fraOption[4]);
    QCOMPARE(form.history->spnHistoryRuns->parentWidget()->parentWidget(), form.fraOption[5]);
    // The spin boxes are reached by their labels' keys.
    QCOMPARE(form.history->lblHistoryRuns->buddy(), form.history->spnHistoryRuns);
    QCOMPARE(form.history->lblHistoryMegabytes->buddy(), form.history->spnHistoryMegabytes);
    // Nothing on the new page runs off it or over the frame's edge.
    QVERIFY(form.history->lblHistory->heightForWidth(form.history->lblHistory->width())
        <= form.history->lblHistory->height());
    for (QWidget *control : form.history->fraHistory->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        QVERIFY2(form.history->fraHistory->rect().contains(control->geometry()), qPrintable(control->objectName()));
    for (QWidget *frame :
        { static_cast<QWidget *>(form.history->fraHistory), static_cast<QWidget *>(form.other->fraWatchAtLogin) })
        QVERIFY2(frame->parentWidget()->rect().contains(frame->geometry()), qPrintable(frame->objectName()));
    QCOMPARE(form.findChild<QWidget *>(QStringLiteral("chkIgnoreDamagedHeader"))->parentWidget()->parentWidget(),
        form.fraOption[1]);
}

void tst_frmOption::loadShowsTheStoredSettings_data()
{
    QTest::addColumn<QString>("unlha");
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("noProgress");
    QTest::addColumn<bool>("ignoreTimeStamp");
    QTest::addColumn<bool>("ignoreDamagedHeader");
    QTest::addColumn<int>("selected");

    QTest::newRow("LZH switches -n and -jc without -c check progress and damaged headers only")
        << QStringLiteral(" -n -jc") << 2 << true << false << true << 2;
    QTest::newRow("-jc alone checks damaged headers but not time stamps")
        << QStringLiteral(" -jc") << 3 << false << false << true << 3;
    QTest::newRow("switches compare case-sensitively")
        << QStringLiteral(" -N -C -JC") << 1 << false << false << false << 1;
    QTest::newRow("an operation above 3 selects doing nothing") << QString() << 7 << false << false << false << 0;
    QTest::newRow("a negative operation selects doing nothing") << QString() << -1 << false << false << false << 0;
}

void tst_frmOption::loadShowsTheStoredSettings()
{
    QFETCH(QString, unlha);
    QFETCH(int, operation);
    core::writeText(setting(u"UnlhaCommandLine"), unlha);
    // The ZIP and CAB switches play no part in what the boxes show.
    core::writeText(setting(u"UnzipCommandLine"), QStringLiteral(" --i -o"));
    core::writeText(setting(u"CabCommandLine"), QStringLiteral(" -i -o"));
    core::writeNumber(setting(u"ArchiveOperation"), operation);
    core::writeYesNo(setting(u"NoLog"), true);
    core::writeYesNo(setting(u"NoRemoveBox"), true);
    core::writeYesNo(setting(u"RunExplorer"), true);
    core::writeYesNo(setting(u"ArchiveOperationTargetFolder"), false);
    core::writeText(setting(u"ArchiveOperationFolder"), QStringLiteral("/keep/"));
    core::writeText(setting(u"DefaultItemFolder"), QStringLiteral("/items/"));
    core::writeText(setting(u"DefaultMeltFolder"), QStringLiteral("/melt/"));
    core::writeYesNo(setting(u"AddArchiveName"), true);
    core::writeText(setting(u"DefaultFileViewer"), QStringLiteral("viewer --read"));
    core::writeText(setting(u"DefaultFiler"), QStringLiteral("filer "));
    core::writeYesNo(setting(u"AddFolderName"), true);

    frmOption &form = openOptions();
    QTEST(form.display->chkNoProgress->isChecked(), "noProgress");
    QTEST(form.melt->chkIgnoreTimeStamp->isChecked(), "ignoreTimeStamp");
    QTEST(form.melt->chkIgnoreDamagedHeader->isChecked(), "ignoreDamagedHeader");
    QTEST(form.file->selectedOperation(), "selected");
    QVERIFY(form.display->chkNoLog->isChecked());
    QVERIFY(form.display->chkNoRemoveBox->isChecked());
    QVERIFY(form.melt->chkRunExplorer->isChecked());
    QVERIFY(!form.file->chkArchiveOperationFolder->isChecked());
    QCOMPARE(form.file->txtArchiveOperationFolder->text(), QStringLiteral("/keep/"));
    QCOMPARE(form.folders->txtDefaultItemFolder->text(), QStringLiteral("/items/"));
    QCOMPARE(form.folders->txtDefaultMeltFolder->text(), QStringLiteral("/melt/"));
    QVERIFY(!form.folders->chkDefaultArchiveFolder->isChecked());
    QVERIFY(form.folders->chkAddArchiveName->isChecked());
    QCOMPARE(form.other->txtDefaultFileViewer->text(), QStringLiteral("viewer --read"));
    QCOMPARE(form.other->txtDefaultFiler->text(), QStringLiteral("filer "));
    QVERIFY(form.other->chkAddFolderName->isChecked());
    // The folder box counts exactly for moving and copying into a folder of one's own.
    const int selected = form.file->selectedOperation();
    QCOMPARE(form.file->txtArchiveOperationFolder->isEnabled(), selected >= 2);
}

void tst_frmOption::firstStartDisablesTheMoveCopyGroupUntilAFolderOptionIsChosen()
{
    frmOption &form = openOptions();
    auto *page = form.file;
    QCOMPARE(page->selectedOperation(), 0);
    QVERIFY(page->chkArchiveOperationFolder->isChecked());
    QVERIFY(!page->fraArchiveOperationFolder->isEnabled());
    QVERIFY(!page->chkArchiveOperationFolder->isEnabled());
    QVERIFY(!page->txtArchiveOperationFolder->isEnabled());
    QVERIFY(!page->cmdArchiveOperationFolder->isEnabled());
    // Nothing else is set on a first start.
    for (QCheckBox *box : { form.display->chkNoProgress, form.display->chkNoLog, form.display->chkNoRemoveBox,
             form.melt->chkRunExplorer, form.melt->chkIgnoreTimeStamp, form.melt->chkIgnoreDamagedHeader,
             form.folders->chkDefaultArchiveFolder, form.folders->chkAddArchiveName, form.other->chkAddFolderName })
        QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
    QCOMPARE(form.other->txtDefaultFiler->text(), QString());

    form.tabOption->setCurrentIndex(2);
    QTest::mouseClick(page->optArchiveOperation[3], Qt::LeftButton);
    QCOMPARE(page->selectedOperation(), 3);
    QVERIFY(page->fraArchiveOperationFolder->isEnabled());
    QVERIFY(page->chkArchiveOperationFolder->isEnabled());
    QVERIFY(!page->txtArchiveOperationFolder->isEnabled());
    QVERIFY(!page->cmdArchiveOperationFolder->isEnabled());
    QCOMPARE(boxBackground(page->txtArchiveOperationFolder), buttonFace());

    QTest::mouseClick(page->chkArchiveOperationFolder, Qt::LeftButton);
    QVERIFY(!page->chkArchiveOperationFolder->isChecked());
    QVERIFY(page->txtArchiveOperationFolder->isEnabled());
    QVERIFY(page->cmdArchiveOperationFolder->isEnabled());
    QCOMPARE(enabledBackground(page->txtArchiveOperationFolder), windowBackground());
}

void tst_frmOption::archiveFolderBoxFollowsTheOptionAndTheCheckBox_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("intoExtractionFolder");
    QTest::addColumn<bool>("groupEnabled");
    QTest::addColumn<bool>("boxEnabled");

    QTest::newRow("doing nothing disables the group even with the box unchecked") << 0 << false << false << false;
    QTest::newRow("the recycle bin disables the group") << 1 << false << false << false;
    QTest::newRow("moving into a folder of one's own enables the folder box") << 2 << false << true << true;
    QTest::newRow("moving into the extraction folder keeps the folder box off") << 2 << true << true << false;
    QTest::newRow("copying into a folder of one's own enables the folder box") << 3 << false << true << true;
    QTest::newRow("copying into the extraction folder keeps the folder box off") << 3 << true << true << false;
}

void tst_frmOption::archiveFolderBoxFollowsTheOptionAndTheCheckBox()
{
    QFETCH(int, operation);
    QFETCH(bool, intoExtractionFolder);
    QFETCH(bool, groupEnabled);
    QFETCH(bool, boxEnabled);
    // Start from the opposite state, so that every control has to change.
    core::writeNumber(setting(u"ArchiveOperation"), groupEnabled ? 0 : 3);
    core::writeYesNo(setting(u"ArchiveOperationTargetFolder"), !intoExtractionFolder);
    frmOption &form = openOptions();
    auto *page = form.file;
    form.tabOption->setCurrentIndex(2);
    page->optArchiveOperation[operation]->click();
    QCOMPARE(page->selectedOperation(), operation);
    if (page->chkArchiveOperationFolder->isChecked() != intoExtractionFolder) {
        // Clicking the check box needs it enabled; the option button decides that.
        page->chkArchiveOperationFolder->setChecked(intoExtractionFolder);
        page->applyArchiveFolderRules();
    }
    QCOMPARE(page->fraArchiveOperationFolder->isEnabled(), groupEnabled);
    QCOMPARE(page->chkArchiveOperationFolder->isEnabled(), groupEnabled);
    QCOMPARE(page->txtArchiveOperationFolder->isEnabled(), boxEnabled);
    QCOMPARE(page->cmdArchiveOperationFolder->isEnabled(), boxEnabled);
    QCOMPARE(boxEnabled ? enabledBackground(page->txtArchiveOperationFolder)
                        : boxBackground(page->txtArchiveOperationFolder),
        boxEnabled ? windowBackground() : buttonFace());
}

void tst_frmOption::archiveOwnFolderDisablesAndGreysTheDefaultTarget()
{
    frmOption &form = openOptions();
    auto *page = form.folders;
    form.tabOption->setCurrentIndex(3);
    QVERIFY(page->txtDefaultMeltFolder->isEnabled());
    QCOMPARE(enabledBackground(page->txtDefaultMeltFolder), windowBackground());
    QTest::mouseClick(page->chkDefaultArchiveFolder, Qt::LeftButton);
    QVERIFY(page->chkDefaultArchiveFolder->isChecked());
    QVERIFY(!page->txtDefaultMeltFolder->isEnabled());
    QVERIFY(!page->cmdDefaultMeltFolder->isEnabled());
    QCOMPARE(boxBackground(page->txtDefaultMeltFolder), buttonFace());
    // The item folder does not depend on it.
    QVERIFY(page->txtDefaultItemFolder->isEnabled());
    QTest::mouseClick(page->chkDefaultArchiveFolder, Qt::LeftButton);
    QVERIFY(page->txtDefaultMeltFolder->isEnabled());
    QVERIFY(page->cmdDefaultMeltFolder->isEnabled());
    QCOMPARE(enabledBackground(page->txtDefaultMeltFolder), windowBackground());
}

void tst_frmOption::ctrlTabWrapsAroundTheTabs()
{
    frmOption &form = openOptions();
    // Wherever the focus is: on a text box here, which takes keys itself.
    form.tabOption->setCurrentIndex(4);
    form.activateWindow();
    form.other->txtDefaultFiler->setFocus();
    settle();
    QCOMPARE(visiblePages(form), QStringLiteral("000010"));
    QTest::keyClick(form.other->txtDefaultFiler, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(form.tabOption->currentIndex(), 5);
    QCOMPARE(visiblePages(form), QStringLiteral("000001"));
    // A spin box takes keys itself too; the last tab wraps to the first.
    QTest::keyClick(form.history->spnHistoryRuns, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(form.tabOption->currentIndex(), 0);
    QCOMPARE(visiblePages(form), QStringLiteral("100000"));
    QTest::keyClick(form.display->chkNoLog, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(form.tabOption->currentIndex(), 1);
    QCOMPARE(visiblePages(form), QStringLiteral("010000"));
    QTest::keyClick(&form, Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(form.tabOption->currentIndex(), 0);
    // A real keyboard sends Shift+Tab as Backtab.
    QTest::keyClick(form.display->chkNoLog, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(form.tabOption->currentIndex(), 5);
    QCOMPARE(visiblePages(form), QStringLiteral("000001"));
    // Tab alone moves the focus, not the tab.
    QTest::keyClick(form.history->spnHistoryRuns, Qt::Key_Tab);
    QCOMPARE(form.tabOption->currentIndex(), 5);
}

void tst_frmOption::clickingATabShowsItsPage()
{
    frmOption &form = openOptions();
    for (int tab : { 3, 1, 5, 4, 0, 2 }) {
        QTest::mouseClick(form.tabOption, Qt::LeftButton, {}, form.tabOption->tabRect(tab).center());
        QCOMPARE(form.tabOption->currentIndex(), tab);
        QString expected(6, u'0');
        expected[tab] = u'1';
        QCOMPARE(visiblePages(form), expected);
    }
}

void tst_frmOption::okWritesTheSwitchTexts_data()
{
    QTest::addColumn<bool>("noProgress");
    QTest::addColumn<bool>("ignoreTimeStamp");
    QTest::addColumn<bool>("ignoreDamagedHeader");
    QTest::addColumn<QString>("unlha");
    QTest::addColumn<QString>("unzip");
    QTest::addColumn<QString>("cab");

    QTest::newRow("no box checked empties all three") << false << false << false << ""
                                                      << ""
                                                      << "";
    QTest::newRow("no progress") << true << false << false << " -n"
                                 << " --i"
                                 << " -i";
    QTest::newRow("time stamps only") << false << true << false << " -c"
                                      << " -o"
                                      << " -o";
    QTest::newRow("damaged headers touch LZH only") << false << false << true << " -jc"
                                                    << ""
                                                    << "";
    QTest::newRow("no progress and time stamps") << true << true << false << " -n -c"
                                                 << " --i -o"
                                                 << " -i -o";
    QTest::newRow("no progress and damaged headers") << true << false << true << " -n -jc"
                                                     << " --i"
                                                     << " -i";
    QTest::newRow("time stamps and damaged headers") << false << true << true << " -c -jc"
                                                     << " -o"
                                                     << " -o";
    QTest::newRow("all three") << true << true << true << " -n -c -jc"
                               << " --i -o"
                               << " -i -o";
}

void tst_frmOption::okWritesTheSwitchTexts()
{
    QFETCH(bool, noProgress);
    QFETCH(bool, ignoreTimeStamp);
    QFETCH(bool, ignoreDamagedHeader);
    // Switches stored by other means are lost.
    core::writeText(setting(u"UnlhaCommandLine"), QStringLiteral(" -x"));
    core::writeText(setting(u"UnzipCommandLine"), QStringLiteral(" -y"));
    core::writeText(setting(u"CabCommandLine"), QStringLiteral(" -z"));
    frmOption &form = openOptions();
    form.display->chkNoProgress->setChecked(noProgress);
    form.melt->chkIgnoreTimeStamp->setChecked(ignoreTimeStamp);
    form.melt->chkIgnoreDamagedHeader->setChecked(ignoreDamagedHeader);
    QTest::mouseClick(form.cmdOK, Qt::LeftButton);
    QVERIFY(!form.isLoaded() || !platform::formIsLoaded<frmOption>());
    QTEST(text(u"UnlhaCommandLine"), "unlha");
    QTEST(text(u"UnzipCommandLine"), "unzip");
    QTEST(text(u"CabCommandLine"), "cab");

    // Opened again, the boxes show what was stored.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    frmOption &again = openOptions();
    QCOMPARE(again.display->chkNoProgress->isChecked(), noProgress);
    QCOMPARE(again.melt->chkIgnoreTimeStamp->isChecked(), ignoreTimeStamp);
    QCOMPARE(again.melt->chkIgnoreDamagedHeader->isChecked(), ignoreDamagedHeader);
}

void tst_frmOption::linkBoxTouchesTheFourthLibraryOnly()
{
    for (const bool noLinks : { true, false }) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        frmOption &form = openOptions();
        form.display->chkNoProgress->setChecked(true);
        form.melt->chkIgnoreTimeStamp->setChecked(true);
        form.melt->chkNoSymlinks->setChecked(noLinks);
        QTest::mouseClick(form.cmdOK, Qt::LeftButton);
        QCOMPARE(text(u"LibarchiveCommandLine"), noLinks ? QStringLiteral(" --i -o -nl") : QStringLiteral(" --i -o"));
        QCOMPARE(text(u"UnzipCommandLine"), QStringLiteral(" --i -o"));
        QCOMPARE(text(u"UnlhaCommandLine"), QStringLiteral(" -n -c"));
        QCOMPARE(text(u"CabCommandLine"), QStringLiteral(" -i -o"));

        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        frmOption &again = openOptions();
        QCOMPARE(again.melt->chkNoSymlinks->isChecked(), noLinks);
        // The new row sits inside the frame, below the rows before it.
        QVERIFY(again.melt->fraMeltOption->geometry().contains(
            again.melt->chkNoSymlinks->geometry().translated(again.melt->fraMeltOption->pos())));
        QVERIFY(again.melt->chkNoSymlinks->y() > again.melt->chkIgnoreDamagedHeader->y());
        QTest::mouseClick(again.cmdCancel, Qt::LeftButton);
    }
}

void tst_frmOption::okCompletesFoldersAndWritesEverySetting()
{
    frmOption &form = openOptions();
    form.display->chkListFullRowSelect->setChecked(true);
    form.display->chkNoLog->setChecked(true);
    form.display->chkNoRemoveBox->setChecked(true);
    form.melt->chkRunExplorer->setChecked(true);
    form.file->optArchiveOperation[1]->setChecked(true);
    // A disabled control's value is written like any other.
    form.file->txtArchiveOperationFolder->setText(QStringLiteral("/keep"));
    form.folders->txtDefaultItemFolder->setText(QStringLiteral("/items/"));
    form.folders->txtDefaultMeltFolder->setText(QString());
    form.folders->chkAddArchiveName->setChecked(true);
    form.other->txtDefaultFileViewer->setText(QStringLiteral("/usr/bin/viewer"));
    form.other->chkAddFolderName->setChecked(true);
    QTest::keyClick(form.cmdOK, Qt::Key_Return);
    QVERIFY(!platform::formIsLoaded<frmOption>());

    QCOMPARE(number(u"ListFullRowSelect"), 1);
    QCOMPARE(number(u"ListGridLines"), 0);
    QCOMPARE(number(u"NoLog"), 1);
    QCOMPARE(number(u"NoRemoveBox"), 1);
    QVERIFY(core::gblnNoRemoveBox);
    QCOMPARE(number(u"RunExplorer"), 1);
    QCOMPARE(number(u"ArchiveOperation"), 1);
    QCOMPARE(text(u"ArchiveOperationFolder"), QStringLiteral("/keep/"));
    QCOMPARE(number(u"ArchiveOperationTargetFolder"), 1);
    QCOMPARE(text(u"DefaultItemFolder"), QStringLiteral("/items/"));
    QCOMPARE(text(u"DefaultMeltFolder"), QString());
    QCOMPARE(number(u"DefaultArchiveFolder"), 0);
    QCOMPARE(number(u"AddArchiveName"), 1);
    // Programs are stored as typed, "" included.
    QCOMPARE(text(u"DefaultFileViewer"), QStringLiteral("/usr/bin/viewer"));
    QCOMPARE(text(u"DefaultFiler"), QString());
    QCOMPARE(number(u"AddFolderName"), 1);
    // Every setting but the window measurements.
    const QStringList written = storedSettings().keys();
    for (const char *name : { "ListFullRowSelect", "ListGridLines", "NoLog", "NoRemoveBox", "RunExplorer",
             "UnlhaCommandLine", "UnzipCommandLine", "CabCommandLine", "LibarchiveCommandLine", "ArchiveOperation",
             "ArchiveOperationFolder", "ArchiveOperationTargetFolder", "DefaultItemFolder", "DefaultMeltFolder",
             "DefaultArchiveFolder", "AddArchiveName", "DefaultFileViewer", "DefaultFiler", "AddFolderName",
             "WatchAtLogin", "WatchFolder", "HistoryRuns", "HistoryMegabytes" })
        QVERIFY2(written.contains(QLatin1String(name)), name);
}

void tst_frmOption::browseButtonsTakeThePickedPath()
{
    core::writeNumber(setting(u"ArchiveOperation"), 2);
    core::writeYesNo(setting(u"ArchiveOperationTargetFolder"), false);
    frmOption &form = openOptions();
    m_shell->pickedFolder = QStringLiteral("/srv/keep");
    form.tabOption->setCurrentIndex(2);
    QTest::mouseClick(form.file->cmdArchiveOperationFolder, Qt::LeftButton);
    QCOMPARE(form.file->txtArchiveOperationFolder->text(), QStringLiteral("/srv/keep/"));
    form.tabOption->setCurrentIndex(3);
    m_shell->pickedFolder = QStringLiteral("/srv/items");
    QTest::mouseClick(form.folders->cmdDefaultItemFolder, Qt::LeftButton);
    QCOMPARE(form.folders->txtDefaultItemFolder->text(), QStringLiteral("/srv/items/"));
    // Cancelling the browser keeps the text.
    m_shell->pickedFolder.clear();
    form.folders->txtDefaultMeltFolder->setText(QStringLiteral("/old/"));
    QTest::mouseClick(form.folders->cmdDefaultMeltFolder, Qt::LeftButton);
    QCOMPARE(form.folders->txtDefaultMeltFolder->text(), QStringLiteral("/old/"));
    QCOMPARE(m_shell->callsOf(QStringLiteral("browse")).size(), 3);

    form.tabOption->setCurrentIndex(4);
    m_shell->pickedFile = QStringLiteral("/usr/bin/less");
    QTest::mouseClick(form.other->cmdDefaultFileViewer, Qt::LeftButton);
    QCOMPARE(form.other->txtDefaultFileViewer->text(), QStringLiteral("/usr/bin/less"));
    m_shell->pickedFile.clear();
    form.other->txtDefaultFiler->setText(QStringLiteral("thunar "));
    QTest::mouseClick(form.other->cmdDefaultFiler, Qt::LeftButton);
    QCOMPARE(form.other->txtDefaultFiler->text(), QStringLiteral("thunar "));
    const QStringList opened = m_shell->callsOf(QStringLiteral("openDialog"));
    QCOMPARE(opened.size(), 2);
    for (const QString &call : opened)
        QVERIFY2(call.startsWith(QStringLiteral("openDialog|実行ファイル|*|")), qPrintable(call));
}

void tst_frmOption::leavingWritesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("the cancel button") << QStringLiteral("cancel");
    QTest::newRow("the Esc key") << QStringLiteral("escape");
    QTest::newRow("the close box") << QStringLiteral("close");
}

void tst_frmOption::leavingWritesNothing()
{
    QFETCH(QString, how);
    core::writeText(setting(u"UnlhaCommandLine"), QStringLiteral(" -x -n"));
    core::writeNumber(setting(u"ArchiveOperation"), 2);
    core::writeText(setting(u"ArchiveOperationFolder"), QStringLiteral("/keep"));
    frmMain &main = openMain();
    const QMap<QString, QVariant> before = storedSettings();
    const auto behaviour = main.lvwMain->selectionBehavior();
    const bool grid = main.lvwMain->showGrid();

    frmOption &form = openOptions();
    // Change every control.
    for (QCheckBox *box : form.findChildren<QCheckBox *>())
        box->toggle();
    form.file->optArchiveOperation[3]->setChecked(true);
    for (QLineEdit *box : form.findChildren<QLineEdit *>())
        box->setText(QStringLiteral("/changed"));
    for (QSpinBox *box : form.findChildren<QSpinBox *>())
        box->stepUp();
    QVERIFY(form.other->chkWatchAtLogin->isChecked());
    if (how == u"cancel")
        QTest::mouseClick(form.cmdCancel, Qt::LeftButton);
    else if (how == u"escape")
        QTest::keyClick(form.other->txtDefaultFiler, Qt::Key_Escape);
    else
        QVERIFY(form.close());
    QVERIFY(!platform::formIsLoaded<frmOption>());
    QCOMPARE(storedSettings(), before);
    QCOMPARE(main.lvwMain->selectionBehavior(), behaviour);
    QCOMPARE(main.lvwMain->showGrid(), grid);
    QVERIFY(!core::gblnNoRemoveBox);
    QVERIFY(!QFileInfo::exists(platform::watchAutostartPath()));
}

void tst_frmOption::optionsCommandOpensTheDialogAndOkAppliesToTheMainList()
{
    frmMain &main = openMain();
    QVERIFY(main.mnuViewOption->isEnabled());
    QVERIFY(main.tlbOption->isEnabled());
    QCOMPARE(main.lvwMain->selectionBehavior(), QAbstractItemView::SelectItems);
    QVERIFY(!main.lvwMain->showGrid());

    // The dialog shows the list as it is now, not as stored.
    main.lvwMain->setShowGrid(true);
    bool gridShown = false;
    bool modal = false;
    QVERIFY(whileOptionsAreOpen([&] { main.mnuViewOption->trigger(); },
        [&](frmOption &dialog) {
            modal = dialog.isModal() || dialog.windowModality() != Qt::NonModal;
            gridShown = dialog.display->chkListGridLines->isChecked();
            dialog.display->chkListFullRowSelect->setChecked(true);
            dialog.display->chkListGridLines->setChecked(false);
            dialog.display->chkNoRemoveBox->setChecked(true);
            QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        }));
    QVERIFY(modal);
    QVERIFY(gridShown);
    QCOMPARE(main.lvwMain->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!main.lvwMain->showGrid());
    QVERIFY(core::gblnNoRemoveBox);
    QCOMPARE(number(u"ListFullRowSelect"), 1);

    // The tool-bar button opens the same dialog; cancelling there changes nothing.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(whileOptionsAreOpen([&] { main.tlbOption->trigger(); },
        [&](frmOption &dialog) {
            QVERIFY(dialog.display->chkListFullRowSelect->isChecked());
            dialog.display->chkListFullRowSelect->setChecked(false);
            QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton);
        }));
    QCOMPARE(main.lvwMain->selectionBehavior(), QAbstractItemView::SelectRows);
}

void tst_frmOption::historyLimitsLoadWithinBoundsAndSaveOnOk_data()
{
    QTest::addColumn<QVariant>("storedRuns"); // nothing stored when invalid
    QTest::addColumn<QVariant>("storedMegabytes");
    QTest::addColumn<int>("shownRuns");
    QTest::addColumn<int>("shownMegabytes");

    QTest::newRow("nothing stored shows the defaults") << QVariant() << QVariant() << 5 << 2048;
    QTest::newRow("stored limits show as stored") << QVariant(12) << QVariant(300) << 12 << 300;
    QTest::newRow("no runs and a negative size show the least the history keeps")
        << QVariant(0) << QVariant(-5) << 1 << 0;
    QTest::newRow("huge limits show as the largest the boxes take")
        << QVariant(2000000000) << QVariant(2000000000) << 9999 << 1024 * 1024;
    QTest::newRow("text where numbers belong reads as the defaults")
        << QVariant(QStringLiteral("many")) << QVariant(QStringLiteral("7x")) << 5 << 2048;
}

void tst_frmOption::historyLimitsLoadWithinBoundsAndSaveOnOk()
{
    QFETCH(QVariant, storedRuns);
    QFETCH(QVariant, storedMegabytes);
    QFETCH(int, shownRuns);
    QFETCH(int, shownMegabytes);
    {
        QSettings store(QStringLiteral("Vorn"), QStringLiteral("Pellora"));
        if (storedRuns.isValid())
            store.setValue(QStringLiteral("HistoryRuns"), storedRuns);
        if (storedMegabytes.isValid())
            store.setValue(QStringLiteral("HistoryMegabytes"), storedMegabytes);
    }
    frmOption &form = openOptions();
    QCOMPARE(form.history->spnHistoryRuns->value(), shownRuns);
    QCOMPARE(form.history->spnHistoryMegabytes->value(), shownMegabytes);

    // Typed in, as a user does, and kept by "OK".
    QTest::mouseClick(form.tabOption, Qt::LeftButton, {}, form.tabOption->tabRect(5).center());
    QVERIFY(form.history->isVisible());
    for (auto [box, typed] :
        { std::pair{ form.history->spnHistoryRuns, "30" }, std::pair{ form.history->spnHistoryMegabytes, "512" } }) {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, QString::fromLatin1(typed));
    }
    QTest::mouseClick(form.cmdOK, Qt::LeftButton);
    QVERIFY(!platform::formIsLoaded<frmOption>());
    QCOMPARE(number(u"HistoryRuns"), 30);
    QCOMPARE(number(u"HistoryMegabytes"), 512);
    QCOMPARE(core::readNumber(setting(u"HistoryRuns")), 30);
}

void tst_frmOption::watchAtLoginWritesAndRemovesTheAutostartEntry()
{
    const QString entry = m_config.filePath(QStringLiteral("autostart/pellora-watch.desktop"));
    frmOption &form = openOptions();
    auto *page = form.other;
    form.tabOption->setCurrentIndex(4);
    // The folder counts only while the watch is on.
    QVERIFY(!page->chkWatchAtLogin->isChecked());
    QVERIFY(!page->txtWatchFolder->isEnabled());
    QVERIFY(!page->cmdWatchFolder->isEnabled());
    QTest::mouseClick(page->chkWatchAtLogin, Qt::LeftButton);
    QVERIFY(page->txtWatchFolder->isEnabled());
    QCOMPARE(enabledBackground(page->txtWatchFolder), windowBackground());
    m_shell->pickedFolder = QStringLiteral("/srv/My \"Downloads\" 100%");
    QTest::mouseClick(page->cmdWatchFolder, Qt::LeftButton);
    QCOMPARE(page->txtWatchFolder->text(), QStringLiteral("/srv/My \"Downloads\" 100%/"));
    QTest::mouseClick(form.cmdOK, Qt::LeftButton);
    QVERIFY(!platform::formIsLoaded<frmOption>());
    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")), QStringList());
    QCOMPARE(number(u"WatchAtLogin"), 1);
    QCOMPARE(text(u"WatchFolder"), QStringLiteral("/srv/My \"Downloads\" 100%/"));
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    file.close();
    QVERIFY(platform::isWatchAutostartEntry(written));
    const QString exec = *platform::execValue({ QCoreApplication::applicationFilePath(), QStringLiteral("--watch"),
        QStringLiteral("/srv/My \"Downloads\" 100%/") });
    QVERIFY2(written.contains("\nExec=" + exec.toUtf8() + '\n'), written.constData());

    // Opened again it shows the watch on; turned off, the entry goes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    frmOption &again = openOptions();
    QVERIFY(again.other->chkWatchAtLogin->isChecked());
    QCOMPARE(again.other->txtWatchFolder->text(), QStringLiteral("/srv/My \"Downloads\" 100%/"));
    again.tabOption->setCurrentIndex(4);
    QTest::mouseClick(again.other->chkWatchAtLogin, Qt::LeftButton);
    QVERIFY(!again.other->txtWatchFolder->isEnabled());
    QTest::mouseClick(again.cmdOK, Qt::LeftButton);
    QVERIFY(!QFileInfo::exists(entry));
    QCOMPARE(number(u"WatchAtLogin"), 0);
    // The folder is kept for the next time the watch is turned on.
    QCOMPARE(text(u"WatchFolder"), QStringLiteral("/srv/My \"Downloads\" 100%/"));
    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")), QStringList());

    // An entry removed by hand behind Pellora's back shows as off.
    core::writeYesNo(setting(u"WatchAtLogin"), true);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!openOptions().other->chkWatchAtLogin->isChecked());
}

void tst_frmOption::watchAtLoginThatCannotBeSetIsToldAndNotStored_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("told"); // a part of the message

    QTest::newRow("the user's own file of that name is neither replaced nor removed")
        << QStringLiteral("foreign") << QString() << QStringLiteral("Pellora が作ったファイルではない");
    QTest::newRow("a relative folder would mean another place at login")
        << QString() << QStringLiteral("Downloads") << QStringLiteral("絶対パスではありません");
    QTest::newRow("a folder name no entry can carry")
        << QString() << QStringLiteral("/srv/a\x1b") << QStringLiteral("書けない文字");
    QTest::newRow("an autostart folder that cannot be made")
        << QStringLiteral("blocked") << QString() << QStringLiteral("を書き込めません");
}

void tst_frmOption::watchAtLoginThatCannotBeSetIsToldAndNotStored()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, folder);
    QFETCH(QString, told);
    const QString entry = m_config.filePath(QStringLiteral("autostart/pellora-watch.desktop"));
    const QByteArray own = "[Desktop Entry]\nType=Application\nExec=my-own-watcher\n";
    if (obstacle == u"foreign")
        test::writeFile(entry, own);
    else if (obstacle == u"blocked")
        test::writeFile(m_config.filePath(QStringLiteral("autostart")), "a file");

    frmOption &form = openOptions();
    form.other->chkWatchAtLogin->setChecked(true);
    form.other->txtWatchFolder->setText(folder);
    QTest::mouseClick(form.cmdOK, Qt::LeftButton);
    QVERIFY(!platform::formIsLoaded<frmOption>());
    const QStringList messages = m_shell->callsOf(QStringLiteral("messageBox"));
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages.first().contains(told), qPrintable(messages.first()));
    QVERIFY2(messages.first().endsWith(QStringLiteral("|Pellora")), qPrintable(messages.first()));
    QCOMPARE(number(u"WatchAtLogin"), 0);
    // Every other setting is written all the same.
    QCOMPARE(number(u"HistoryRuns"), 5);
    if (obstacle == u"foreign") {
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), own);
        // Turning the watch off leaves the user's file alone too, silently.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::mouseClick(openOptions().cmdOK, Qt::LeftButton);
        QVERIFY(QFileInfo::exists(entry));
        QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")).size(), 1);
    } else if (obstacle.isEmpty()) {
        QVERIFY(!QFileInfo::exists(entry));
    }
}

QTEST_MAIN(tst_frmOption)
#include "tst_frmOption.moc"
