#include "ui/options/frmOption.h"

#include "core/ArchiveKind.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Autostart.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/gui/Placement.h"
#include "ui/dialogs/ArchiveOperationButtons.h"
#include "ui/main/frmMain.h"
#include "ui/options/OptionDisplayPage.h"
#include "ui/options/OptionFilePage.h"
#include "ui/options/OptionFolderPage.h"
#include "ui/options/OptionHistoryPage.h"
#include "ui/options/OptionLayout.h"
#include "ui/options/OptionMeltPage.h"
#include "ui/options/OptionOtherPage.h"
#include "ui/options/WatchAtLogin.h"

#include <QCheckBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTableWidget>

#include <algorithm>

namespace pellora::ui {

using core::readNumber;
using core::readText;
using core::readYesNo;
using core::setting;
using core::writeNumber;
using core::writeText;
using core::writeYesNo;
using options::place;

namespace {

// A folder text ends with the separator once it holds anything.
void completeFolder(QLineEdit *box)
{
    if (!box->text().isEmpty())
        box->setText(platform::withTrailingSeparator(box->text()));
}

// The main window's list when the main window is up; opened on its own (as
// the tests do), the dialog then takes the list look from the settings the
// list would load with, and leaves no list to apply it to.
QTableWidget *mainList()
{
    return platform::formIsLoaded<frmMain>() ? platform::formInstance<frmMain>().lvwMain : nullptr;
}

} // namespace

frmOption::frmOption(QWidget *parent)
    : Form(parent)
    , tabOption(new QTabBar(this))
    , display(new OptionDisplayPage(this))
    , melt(new OptionMeltPage(this))
    , file(new OptionFilePage(this))
    , folders(new OptionFolderPage(this))
    , other(new OptionOtherPage(this))
    , history(new OptionHistoryPage(this))
    , fraOption{ display, melt, file, folders, other, history }
    , cmdOK(new QPushButton(QStringLiteral("OK"), this))
    , cmdCancel(new QPushButton(QStringLiteral("キャンセル"), this))
    , m_tabPane(new QFrame(this))
{
    setObjectName(QStringLiteral("frmOption"));
    setWindowTitle(QStringLiteral("オプション"));
    // A fixed dialog border: a title and a close box, no minimize or maximize box.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setSizeGripEnabled(false);

    tabOption->setObjectName(QStringLiteral("tabOption"));
    tabOption->setDrawBase(false);
    for (const QString &caption : { QStringLiteral("画面"), QStringLiteral("解凍"), QStringLiteral("ファイル"),
             QStringLiteral("フォルダ"), QStringLiteral("その他"), QStringLiteral("履歴") })
        tabOption->addTab(caption);
    // The strip is the tab row above a pane; the pages lie on the pane.
    const int stripHeight = tabOption->sizeHint().height();
    tabOption->setGeometry(platform::twips(120), platform::twips(120), platform::twips(5595), stripHeight);
    m_tabPane->setFrameShape(QFrame::StyledPanel);
    m_tabPane->setGeometry(platform::twips(120), platform::twips(120) + stripHeight - 1, platform::twips(5595),
        platform::twips(4155) - stripHeight + 1);
    m_tabPane->lower();
    // The pages lie on the pane below the tab row: with the desktop's font the
    // row can be taller than the design allowed, and a page under it would
    // lose its first frame's title.
    const int pageTop = std::max(platform::twips(420), platform::twips(120) + stripHeight + platform::twips(90));
    const int pageBottom = platform::twips(420 + 3735);
    for (QWidget *page : fraOption) {
        page->setGeometry(platform::twips(240), pageTop, platform::twips(5355), pageBottom - pageTop);
        page->raise();
    }
    tabOption->raise();

    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    place(cmdOK, 3240, 4380, 1215, 330);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    place(cmdCancel, 4500, 4380, 1215, 330);

    connect(tabOption, &QTabBar::currentChanged, this, [this](int index) {
        // Qt reports a change only after it: what was selected before is the
        // tab still shown.
        mintLastTab = std::int16_t(m_shownTab + 1);
        m_shownTab = index;
        tabOption_Click();
    });
    connect(cmdOK, &QPushButton::clicked, this, &frmOption::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOption::cmdCancel_Click);

    // Keyboard preview: the dialog sees every key before the control with the
    // focus does, so Ctrl+Tab switches pages wherever the focus is.
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);

    setFixedSize(platform::twips(5850), platform::twips(4830));
}

QString frmOption::composeSwitches(
    const arc::ArchiveKindInfo &kind, bool noProgress, bool ignoreTimeStamp, bool ignoreDamagedHeader, bool noLinks)
{
    // A kind without a switch for a box gets nothing for it: only the LZH
    // library knows about damaged headers, only tarballs hold links.
    QString s;
    if (noProgress)
        s += arc::toQString(kind.noProgressSwitch);
    if (ignoreTimeStamp)
        s += arc::toQString(kind.ignoreTimeStampSwitch);
    if (ignoreDamagedHeader)
        s += arc::toQString(kind.ignoreDamagedHeaderSwitch);
    if (noLinks)
        s += arc::toQString(kind.noLinksSwitch);
    return s;
}

void frmOption::Form_Load()
{
    tabOption->setCurrentIndex(0);
    m_shownTab = 0;
    mintLastTab = 0;
    for (int index = 0; index < int(fraOption.size()); ++index)
        fraOption[index]->setVisible(index == 0);

    // 1. The three switch boxes have no settings of their own: they show what
    // the LZH switches hold.
    const QString cmd = readText(setting(u"UnlhaCommandLine"), QString());
    // 2. The main list as it is now.
    if (QTableWidget *list = mainList()) {
        display->chkListFullRowSelect->setChecked(list->selectionBehavior() == QAbstractItemView::SelectRows);
        display->chkListGridLines->setChecked(list->showGrid());
    } else {
        display->chkListFullRowSelect->setChecked(readYesNo(setting(u"ListFullRowSelect")));
        display->chkListGridLines->setChecked(readYesNo(setting(u"ListGridLines")));
    }
    // 3.-5.
    if (cmd.contains(QStringLiteral("-n")))
        display->chkNoProgress->setChecked(true);
    display->chkNoLog->setChecked(readNumber(setting(u"NoLog"), 0) != 0);
    display->chkNoRemoveBox->setChecked(readNumber(setting(u"NoRemoveBox"), 0) != 0);
    melt->chkRunExplorer->setChecked(readNumber(setting(u"RunExplorer"), 0) != 0);
    if (cmd.contains(QStringLiteral("-c")))
        melt->chkIgnoreTimeStamp->setChecked(true);
    if (cmd.contains(QStringLiteral("-jc")))
        melt->chkIgnoreDamagedHeader->setChecked(true);
    // The link box is the one switch only the fourth library has.
    const arc::ArchiveKindInfo &tar = arc::archiveKindOf(arc::ArchiveFormat::Tar);
    if (readText(core::switchesSetting(tar), QString()).contains(arc::toQString(tar.noLinksSwitch).trimmed()))
        melt->chkNoSymlinks->setChecked(true);
    // 6.-8. The archive after extraction.
    file->optArchiveOperation[storedArchiveOperation()]->setChecked(true);
    file->applyArchiveFolderRules();
    file->txtArchiveOperationFolder->setText(readText(setting(u"ArchiveOperationFolder"), QString()));
    file->chkArchiveOperationFolder->setChecked(readNumber(setting(u"ArchiveOperationTargetFolder"), 1) != 0);
    file->applyArchiveFolderRules();
    // 9. Default folders.
    folders->txtDefaultItemFolder->setText(readText(setting(u"DefaultItemFolder"), QString()));
    folders->txtDefaultMeltFolder->setText(readText(setting(u"DefaultMeltFolder"), QString()));
    folders->chkDefaultArchiveFolder->setChecked(readNumber(setting(u"DefaultArchiveFolder"), 0) != 0);
    folders->applyDefaultFolderRule();
    folders->chkAddArchiveName->setChecked(readNumber(setting(u"AddArchiveName"), 0) != 0);
    // 10. Programs: "" for both, whatever the program would use without them.
    other->txtDefaultFileViewer->setText(readText(setting(u"DefaultFileViewer"), QString()));
    other->txtDefaultFiler->setText(readText(setting(u"DefaultFiler"), QString()));
    other->chkAddFolderName->setChecked(readNumber(setting(u"AddFolderName"), 0) != 0);
    // 11. The watch at login shows what is in effect: the setting alone
    // would say "on" after the user removed the entry by hand.
    other->chkWatchAtLogin->setChecked(readYesNo(setting(u"WatchAtLogin")) && platform::watchAutostartIsPellora());
    other->txtWatchFolder->setText(readText(setting(u"WatchFolder")));
    other->applyWatchRule();
    // 12. The history's limits; stored values beyond the boxes' ranges show
    // as the nearest bound, which is also how the history reads them.
    history->spnHistoryRuns->setValue(readNumber(setting(u"HistoryRuns")));
    history->spnHistoryMegabytes->setValue(readNumber(setting(u"HistoryMegabytes")));
}

void frmOption::tabOption_Click()
{
    const int selected = tabOption->currentIndex() + 1;
    if (selected == mintLastTab)
        return;
    fraOption[selected - 1]->show();
    if (mintLastTab >= 1)
        fraOption[mintLastTab - 1]->hide();
}

bool frmOption::Form_KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if ((key != Qt::Key_Tab && key != Qt::Key_Backtab) || !(modifiers & Qt::ControlModifier))
        return false;
    const int count = tabOption->count();
    const bool backwards = key == Qt::Key_Backtab || (modifiers & Qt::ShiftModifier);
    const int current = tabOption->currentIndex();
    // Setting the index runs the same show-and-hide as a click.
    tabOption->setCurrentIndex(backwards ? (current + count - 1) % count : (current + 1) % count);
    return true;
}

bool frmOption::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (Form_KeyDown(key->key(), key->modifiers()))
            return true;
    }
    // Nothing else reaches the form first; Tab alone moves the focus.
    return Form::eventFilter(watched, event);
}

void frmOption::cmdOK_Click()
{
    // 1. The list look takes effect at once.
    if (QTableWidget *list = mainList()) {
        list->setSelectionBehavior(display->chkListFullRowSelect->isChecked() ? QAbstractItemView::SelectRows
                                                                              : QAbstractItemView::SelectItems);
        list->setShowGrid(display->chkListGridLines->isChecked());
    }
    // 2.
    writeYesNo(setting(u"ListFullRowSelect"), display->chkListFullRowSelect->isChecked());
    writeYesNo(setting(u"ListGridLines"), display->chkListGridLines->isChecked());
    writeYesNo(setting(u"NoLog"), display->chkNoLog->isChecked());
    writeYesNo(setting(u"NoRemoveBox"), display->chkNoRemoveBox->isChecked());
    // 3.-6. Switches stored by other means are replaced.
    core::gblnNoRemoveBox = display->chkNoRemoveBox->isChecked();
    writeYesNo(setting(u"RunExplorer"), melt->chkRunExplorer->isChecked());
    for (const arc::ArchiveKindInfo &kind : arc::kArchiveKinds) {
        writeText(core::switchesSetting(kind),
            composeSwitches(kind, display->chkNoProgress->isChecked(), melt->chkIgnoreTimeStamp->isChecked(),
                melt->chkIgnoreDamagedHeader->isChecked(), melt->chkNoSymlinks->isChecked()));
    }
    // 7.
    const int operation = file->selectedOperation();
    if (operation >= 0)
        writeNumber(setting(u"ArchiveOperation"), operation);
    // 8.-9. Folders are kept with their trailing separator.
    completeFolder(file->txtArchiveOperationFolder);
    writeText(setting(u"ArchiveOperationFolder"), file->txtArchiveOperationFolder->text());
    writeYesNo(setting(u"ArchiveOperationTargetFolder"), file->chkArchiveOperationFolder->isChecked());
    completeFolder(folders->txtDefaultItemFolder);
    completeFolder(folders->txtDefaultMeltFolder);
    writeText(setting(u"DefaultItemFolder"), folders->txtDefaultItemFolder->text());
    writeText(setting(u"DefaultMeltFolder"), folders->txtDefaultMeltFolder->text());
    // 10.-12. Programs are command lines: stored as typed.
    writeYesNo(setting(u"DefaultArchiveFolder"), folders->chkDefaultArchiveFolder->isChecked());
    writeYesNo(setting(u"AddArchiveName"), folders->chkAddArchiveName->isChecked());
    writeText(setting(u"DefaultFileViewer"), other->txtDefaultFileViewer->text());
    writeText(setting(u"DefaultFiler"), other->txtDefaultFiler->text());
    writeYesNo(setting(u"AddFolderName"), other->chkAddFolderName->isChecked());
    completeFolder(other->txtWatchFolder);
    writeText(setting(u"WatchFolder"), other->txtWatchFolder->text());
    writeYesNo(setting(u"WatchAtLogin"),
        applyWatchAtLogin(other->chkWatchAtLogin->isChecked(), other->txtWatchFolder->text()));
    writeNumber(setting(u"HistoryRuns"), history->spnHistoryRuns->value());
    writeNumber(setting(u"HistoryMegabytes"), history->spnHistoryMegabytes->value());
    // 13.
    Unload();
}

void frmOption::cmdCancel_Click()
{
    Unload();
}

void frmOption::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        centreOnOwner();
    }
    Form::showEvent(event);
}

void frmOption::centreOnOwner()
{
    // The main window opens the dialog; without one (or while it is hidden)
    // the active window stands in, and else the screen.
    QWidget *owner = platform::formIsLoaded<frmMain>() ? &platform::formInstance<frmMain>() : nullptr;
    if (!owner || !owner->isVisible())
        owner = platform::activeOwner(this);
    platform::centreOnOwner(this, owner);
}

} // namespace pellora::ui
