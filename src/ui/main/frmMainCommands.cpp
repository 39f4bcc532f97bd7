// The item list's menus, tool bar, mouse and keys, and the commands behind them.

#include "ui/main/frmMain.h"

#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Shell.h"
#include "platform/gui/Icons.h"
#include "ui/dialogs/frmAbout.h"
#include "ui/dialogs/frmItem.h"
#include "ui/options/frmOption.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>

namespace pellora::ui {

namespace {

QAction *entry(QMenu *menu, const char *name, const QString &caption, const QKeySequence &shortcut = {})
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

QMenu *restoreSubmenu(QMenu *menu, const char *name, const char *listName)
{
    QMenu *sub = menu->addMenu(QStringLiteral("復元(&R)"));
    sub->setObjectName(QString::fromLatin1(listName));
    sub->menuAction()->setObjectName(QString::fromLatin1(name));
    return sub;
}

void setBold(QAction *action, bool bold)
{
    QFont font = action->font();
    font.setBold(bold);
    action->setFont(font);
}

} // namespace

void frmMain::buildToolBar()
{
    tlbMain->setObjectName(QStringLiteral("tlbMain"));
    tlbMain->setMovable(false);
    tlbMain->setFloatable(false);
    tlbMain->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    addToolBar(Qt::TopToolBarArea, tlbMain);
    auto button = [this](const char *key, const QString &tip) {
        QAction *action = tlbMain->addAction(platform::toolbarIcon(QString::fromLatin1(key)), tip);
        action->setObjectName(QString::fromLatin1(key));
        action->setToolTip(tip);
        connect(action, &QAction::triggered, this, [this, key] { tlbMain_ButtonClick(QString::fromLatin1(key)); });
        return action;
    };
    tlbNew = button("New", QStringLiteral("アイテムの追加"));
    tlbEdit = button("Edit", QStringLiteral("アイテムの編集"));
    tlbDelete = button("Delete", QStringLiteral("アイテムの削除"));
    tlbFiler = button("Filer", QStringLiteral("エクスプローラ"));
    tlbOption = button("Option", QStringLiteral("オプション"));
    tlbHelp = button("Help", QStringLiteral("ヘルプ"));
}

void frmMain::buildMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileDeleteRegistry = entry(mnuFile, "mnuFileDeleteRegistry", QStringLiteral("設定を削除して終了(&R)"));
    mnuFileExit = entry(mnuFile, "mnuFileExit", QStringLiteral("終了(&X)"));

    mnuItem = menuBar()->addMenu(QStringLiteral("アイテム(&I)"));
    mnuItem->setObjectName(QStringLiteral("mnuItem"));
    mnuItemAdd = entry(mnuItem, "mnuItemAdd", QStringLiteral("追加(&A)"), QKeySequence(Qt::CTRL | Qt::Key_A));
    mnuItemEdit = entry(mnuItem, "mnuItemEdit", QStringLiteral("編集(&E)"), QKeySequence(Qt::CTRL | Qt::Key_E));
    mnuItem->addSeparator()->setObjectName(QStringLiteral("mnuItemBar"));
    mnuItemDelete = entry(mnuItem, "mnuItemDelete", QStringLiteral("削除(&D)"), QKeySequence(Qt::Key_Delete));
    mnuItemRestore = restoreSubmenu(mnuItem, "mnuItemRestore", "mnuItemRestoreList");
    mnuItemHistory = entry(mnuItem, "mnuItemHistory", QStringLiteral("履歴(&H)"));
    mnuItemOtherHistory = entry(mnuItem, "mnuItemOtherHistory", QStringLiteral("その他の履歴"));
    mnuItem->addSeparator()->setObjectName(QStringLiteral("mnuItemBar2"));
    mnuItemExplorer = entry(mnuItem, "mnuItemExplorer", QStringLiteral("エクスプローラ(&E)"));

    mnuView = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuViewToolbar = entry(mnuView, "mnuViewToolbar", QStringLiteral("ツールバー(&T)"));
    mnuViewStatusbar = entry(mnuView, "mnuViewStatusbar", QStringLiteral("ステータスバー(&S)"));
    mnuViewToolbar->setCheckable(true);
    mnuViewStatusbar->setCheckable(true);
    mnuView->addSeparator()->setObjectName(QStringLiteral("mnuViewBar"));
    mnuViewOption = entry(mnuView, "mnuViewOption", QStringLiteral("オプション(&O)"));

    mnuHelp = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpContents = entry(mnuHelp, "mnuHelpContents", QStringLiteral("目次(&C)"), QKeySequence(Qt::Key_F1));
    mnuHelpSearchTopic = entry(mnuHelp, "mnuHelpSearchTopic", QStringLiteral("トピックの検索(&H)"));
    mnuHelp->addSeparator()->setObjectName(QStringLiteral("mnuHelpBar"));
    mnuHelpAbout = entry(mnuHelp, "mnuHelpAbout", QStringLiteral("バージョン情報(&A)"));

    mnuPopup = new QMenu(QStringLiteral("ポップアップ"), this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuPopupAdd = entry(mnuPopup, "mnuPopupAdd", QStringLiteral("追加(&A)"));
    mnuPopupEdit = entry(mnuPopup, "mnuPopupEdit", QStringLiteral("編集(&E)"));
    mnuPopupBar = mnuPopup->addSeparator();
    mnuPopupBar->setObjectName(QStringLiteral("mnuPopupBar"));
    mnuPopupDelete = entry(mnuPopup, "mnuPopupDelete", QStringLiteral("削除(&D)"));
    mnuPopupRestore = restoreSubmenu(mnuPopup, "mnuPopupRestore", "mnuPopupRestoreList");
    mnuPopupHistory = entry(mnuPopup, "mnuPopupHistory", QStringLiteral("履歴(&H)"));
    mnuPopupOtherHistory = entry(mnuPopup, "mnuPopupOtherHistory", QStringLiteral("その他の履歴"));
    mnuPopupBar2 = mnuPopup->addSeparator();
    mnuPopupBar2->setObjectName(QStringLiteral("mnuPopupBar2"));
    mnuPopupExplorer = entry(mnuPopup, "mnuPopupExplorer", QStringLiteral("エクスプローラ(&E)"));
    rebuildRestoreList(mnuItemRestore);
    rebuildRestoreList(mnuPopupRestore);

    for (QAction *a : { mnuViewOption, tlbOption })
        a->setEnabled(true);

    connect(mnuFileDeleteRegistry, &QAction::triggered, this, &frmMain::mnuFileDeleteRegistry_Click);
    connect(mnuFileExit, &QAction::triggered, this, [this] { Unload(); });
    connect(mnuItem, &QMenu::aboutToShow, this, &frmMain::mnuItem_Click);
    connect(mnuItemAdd, &QAction::triggered, this, &frmMain::AddItem);
    connect(mnuItemEdit, &QAction::triggered, this, &frmMain::EditItem);
    connect(mnuItemDelete, &QAction::triggered, this, &frmMain::DeleteItem);
    connect(mnuItemExplorer, &QAction::triggered, this, &frmMain::OpenItemFolder);
    connect(mnuItemHistory, &QAction::triggered, this, &frmMain::ShowHistory);
    connect(mnuItemOtherHistory, &QAction::triggered, this, &frmMain::ShowOtherHistory);
    connect(mnuView, &QMenu::aboutToShow, this, &frmMain::mnuView_Click);
    connect(mnuViewToolbar, &QAction::triggered, this, &frmMain::mnuViewToolbar_Click);
    connect(mnuViewStatusbar, &QAction::triggered, this, &frmMain::mnuViewStatusbar_Click);
    connect(mnuViewOption, &QAction::triggered, this, &frmMain::ShowOptions);
    connect(mnuHelpContents, &QAction::triggered, this,
        [this] { platform::shell().showHelp(m_helpFile, platform::Shell::Help::Contents); });
    connect(mnuHelpSearchTopic, &QAction::triggered, this,
        [this] { platform::shell().showHelp(m_helpFile, platform::Shell::Help::Search); });
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::ShowAbout);
    connect(mnuPopup, &QMenu::aboutToShow, this, &frmMain::mnuPopup_Click);
    connect(mnuPopupAdd, &QAction::triggered, this, &frmMain::AddItem);
    connect(mnuPopupEdit, &QAction::triggered, this, &frmMain::EditItem);
    connect(mnuPopupDelete, &QAction::triggered, this, &frmMain::DeleteItem);
    connect(mnuPopupExplorer, &QAction::triggered, this, &frmMain::OpenItemFolder);
    connect(mnuPopupHistory, &QAction::triggered, this, &frmMain::ShowHistory);
    connect(mnuPopupOtherHistory, &QAction::triggered, this, &frmMain::ShowOtherHistory);
}

void frmMain::tlbMain_ButtonClick(const QString &key)
{
    if (key == u"New")
        AddItem();
    else if (key == u"Edit")
        EditItem();
    else if (key == u"Delete")
        DeleteItem();
    else if (key == u"Filer")
        OpenItemFolder();
    else if (key == u"Option")
        ShowOptions();
    else if (key == u"Help")
        platform::shell().showHelp(m_helpFile, platform::Shell::Help::Contents);
}

void frmMain::mnuView_Click()
{
    mnuViewToolbar->setChecked(tlbMain->isVisible());
    mnuViewStatusbar->setChecked(statusBar()->isVisible());
}

void frmMain::mnuViewToolbar_Click()
{
    tlbMain->setVisible(!tlbMain->isVisible());
    LayoutList();
}

void frmMain::mnuViewStatusbar_Click()
{
    statusBar()->setVisible(!statusBar()->isVisible());
    LayoutList();
}

void frmMain::updateExplorerEntry(QAction *entry)
{
    const int row = selectedRow();
    if (row < 0)
        return; // no row: the entry keeps its state
    entry->setEnabled(QFileInfo::exists(rowTexts(row).at(2)));
}

void frmMain::mnuItem_Click()
{
    const bool empty = lvwMain->rowCount() == 0;
    for (QAction *a : { mnuItemEdit, mnuItemDelete, mnuItemRestore->menuAction(), mnuItemExplorer })
        a->setEnabled(!empty);
    // The list may hold rows with none selected (after a removal): a history
    // is always one item's.
    mnuItemHistory->setEnabled(selectedRow() >= 0);
    if (empty)
        return;
    updateExplorerEntry(mnuItemExplorer);
    rebuildRestoreList(mnuItemRestore);
}

void frmMain::mnuPopup_Click()
{
    if (selectedRow() >= 0)
        updateExplorerEntry(mnuPopupExplorer);
    if (mnuPopupRestore->menuAction()->isVisible())
        rebuildRestoreList(mnuPopupRestore);
}

void frmMain::showPopup(const QPoint &globalPosition, QAction *defaultEntry)
{
    for (QAction *a : mnuPopup->actions())
        setBold(a, a == defaultEntry);
    mnuPopup->setDefaultAction(defaultEntry);
    mnuPopup->exec(globalPosition);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lvwMain->viewport()) {
        if (lvwMain_OLEDrag(event))
            return true;
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if ((mouse->button() == Qt::LeftButton || mouse->button() == Qt::RightButton)
                && lvwMain->itemAt(mouse->position().toPoint()))
                lvwMain_ItemClick();
            break;
        }
        case QEvent::MouseMove:
            lvwMain_MouseMove();
            break;
        case QEvent::MouseButtonDblClick:
            lvwMain_DblClick();
            return true;
        case QEvent::MouseButtonRelease: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            lvwMain_MouseUp(mouse->button(), mouse->position().toPoint());
            break;
        }
        default:
            break;
        }
    } else if (watched == lvwMain && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            lvwMain_KeyPress(13);
            return true;
        }
        if (lvwMain_KeyDown(key->key(), key->modifiers()))
            return true;
    }
    return Form::eventFilter(watched, event);
}

void frmMain::lvwMain_ItemClick()
{
    mblnItemClicked = true;
    mblnMouseStill = true;
}

void frmMain::lvwMain_MouseMove()
{
    mblnMouseStill = false;
}

void frmMain::lvwMain_DblClick()
{
    if (lvwMain->rowCount() == 0)
        return;
    if (mblnItemClicked && mblnMouseStill) {
        EditItem();
        lvwMain->setFocus();
    }
    mblnItemClicked = false;
}

void frmMain::lvwMain_MouseUp(Qt::MouseButtons released, const QPoint &position)
{
    if (!(released & Qt::RightButton))
        return;
    const QPoint global = lvwMain->viewport()->mapToGlobal(position);
    if (mblnItemClicked && mblnMouseStill) {
        if (QTableWidgetItem *item = lvwMain->itemAt(position))
            selectRow(item->row());
        mnuPopupAdd->setVisible(false);
        showPopup(global, mnuPopupEdit);
        mnuPopupAdd->setVisible(true);
        mblnItemClicked = false;
        return;
    }
    const QList<QAction *> rowEntries = { mnuPopupBar, mnuPopupEdit, mnuPopupDelete, mnuPopupRestore->menuAction(),
        mnuPopupHistory, mnuPopupOtherHistory, mnuPopupBar2, mnuPopupExplorer };
    for (QAction *a : rowEntries)
        a->setVisible(false);
    showPopup(global, mnuPopupAdd);
    for (QAction *a : rowEntries)
        a->setVisible(true);
}

void frmMain::lvwMain_KeyPress(int keyAscii)
{
    if (keyAscii == 13 && lvwMain->rowCount() > 0) {
        EditItem();
        lvwMain->setFocus();
    }
}

bool frmMain::lvwMain_KeyDown(int keyCode, Qt::KeyboardModifiers modifiers)
{
    if ((modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier))
        != Qt::ControlModifier)
        return false;
    if (keyCode != Qt::Key_Up && keyCode != Qt::Key_Down && keyCode != Qt::Key_Home && keyCode != Qt::Key_End)
        return false;
    // Sorting stays on until the window unloads, and a moved row would only
    // take its sorted place again: under the sort arrow the keys just move
    // the selection, as the list's own handling does.
    if (m_sorted)
        return false;
    MoveRow(keyCode);
    return true;
}

void frmMain::MoveRow(int keyCode)
{
    const int i = selectedRow();
    const int n = lvwMain->rowCount();
    if (i < 0)
        return;
    int target = i;
    switch (keyCode) {
    case Qt::Key_Up:
        target = i - 1;
        break;
    case Qt::Key_Down:
        target = i + 1;
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = n - 1;
        break;
    default:
        return;
    }
    if (target < 0 || target >= n || target == i)
        return;
    // Up and Down exchange neighbours; Home and End take the row to an end.
    const QStringList moving = rowTexts(i);
    lvwMain->removeRow(i);
    lvwMain->insertRow(target);
    setRowTexts(target, moving);
    lvwMain->clearSelection();
    selectRow(target);
}

void frmMain::DeleteItem()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    if (!core::gblnNoRemoveBox) {
        const QString text = u'\'' + rowTexts(row).at(0) + QStringLiteral("' ") + QStringLiteral("を削除しますか?");
        if (platform::shell().messageBox(text, platform::vbYesNo | platform::vbQuestion, QStringLiteral("確認"))
            != platform::vbYes)
            return;
    }
    const QStringList removed = rowTexts(row);
    lvwMain->removeRow(row);
    // The options go with the last row of the item; an item another process
    // removed keeps them in the file, where they do no harm.
    if (const core::ItemRecord record{ removed.at(0), removed.at(1), removed.at(2), removed.at(3) };
        !holdsRecord(record))
        m_options.remove(record);
    // The list would hand the selection to a neighbour, and the next Del or
    // Ctrl+E would act on an item the user never picked.
    lvwMain->selectionModel()->clear();
    UpdateItemCount();
}

void frmMain::OpenItemFolder()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString folder = rowTexts(row).at(2);
    QString filer = core::readText(core::setting(u"DefaultFiler"));
    if (filer.isEmpty())
        filer = QStringLiteral("xdg-open");
    const QString commandLine = QStringLiteral("%1 \"%2\"")
                                    .arg(filer, folder.endsWith(platform::kPathSeparator) ? folder.chopped(1) : folder);
    QString error;
    if (!platform::shell().startCommandLine(commandLine, &error))
        platform::shell().messageBox(error, platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Pellora"));
    QCoreApplication::processEvents();
}

void frmMain::AddItem()
{
    core::gblnAddMode = true;
    frmItem &editor = platform::formInstance<frmItem>();
    editor.txtFolder->setText(core::readText(core::setting(u"DefaultItemFolder")));
    // The editor enables it itself once the folder is known to exist.
    editor.cmdRelation->setEnabled(false);
    editor.setWindowTitle(QStringLiteral("新しいアイテムの追加"));
    editor.Show(platform::vbModal);
}

void frmMain::EditItem()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const QStringList texts = rowTexts(row);
    frmItem &editor = platform::formInstance<frmItem>();
    editor.txtName->setText(texts.at(0));
    editor.txtPattern->setText(texts.at(1));
    editor.txtFolder->setText(texts.at(2));
    editor.txtRelation->setText(texts.at(3));
    editor.setItemOptions(rowOptions(row));
    editor.cmdRelation->setEnabled(false);
    editor.setWindowTitle(QStringLiteral("アイテムの編集"));
    editor.Show(platform::vbModal);
}

void frmMain::ShowOptions()
{
    platform::formInstance<frmOption>().Show(platform::vbModal);
}

void frmMain::ShowAbout()
{
    platform::formInstance<frmAbout>().Show(platform::vbModal);
}

void frmMain::mnuFileDeleteRegistry_Click()
{
    const int answer = platform::shell().messageBox(QStringLiteral("本当に設定を削除しますか?"),
        platform::vbYesNoCancel | platform::vbQuestion | platform::vbDefaultButton2, QStringLiteral("確認"));
    if (answer == platform::vbYes) {
        mblnDeleteSettings = true;
        Unload();
    } else if (answer == platform::vbNo) {
        Unload();
    }
}

} // namespace pellora::ui
