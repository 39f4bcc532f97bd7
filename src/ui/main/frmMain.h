#pragma once

#include "core/ItemListStore.h"
#include "platform/gui/Form.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QFileSystemWatcher;
class QLabel;
class QMenu;
class QTableWidget;
class QTimer;
class QToolBar;

namespace pellora::ui {

// The item list. Its rows are the program's item table: loading reads
// ITEM.DAT into them, every command works on them, unloading writes them back.
class frmMain final : public platform::Form<QMainWindow> {
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);

    // The number of rows in the status bar; with none, the buttons that need a
    // row are disabled (the item editor enables them again).
    void UpdateItemCount();
    // Keeps the list between the tool bar and the status bar.
    void LayoutList();

    // One row as four texts: name, pattern, target folder, related file.
    QStringList rowTexts(int row) const;
    // The item editor's stores. Once a header click switched sorting on, a
    // rewritten or added row takes its sorted place, so the order shown under
    // the sort arrow is the order unloading writes; the selection stays on the
    // item it was on.
    void setRowTexts(int row, const QStringList &texts);
    void appendRow(const QStringList &texts);
    // The same with the item's options, which follow the item: an edit takes
    // them from the old texts to the new ones.
    void setRowTexts(int row, const QStringList &texts, const core::ItemOptions &options);
    void appendRow(const QStringList &texts, const core::ItemOptions &options);
    core::ItemOptions rowOptions(int row) const;
    int selectedRow() const; // -1 without one
    void selectRow(int row);

    QToolBar *tlbMain;
    QTableWidget *lvwMain;
    QLabel *staMainText;
    QAction *tlbNew, *tlbEdit, *tlbDelete, *tlbFiler, *tlbOption, *tlbHelp;

    QMenu *mnuFile, *mnuItem, *mnuView, *mnuHelp;
    QAction *mnuFileDeleteRegistry, *mnuFileExit;
    QAction *mnuItemAdd, *mnuItemEdit, *mnuItemDelete, *mnuItemExplorer;
    QMenu *mnuItemRestore;
    QAction *mnuItemHistory, *mnuItemOtherHistory;
    QAction *mnuViewToolbar, *mnuViewStatusbar, *mnuViewOption;
    QAction *mnuHelpContents, *mnuHelpSearchTopic, *mnuHelpAbout;

    QMenu *mnuPopup;
    QAction *mnuPopupAdd, *mnuPopupEdit, *mnuPopupBar, *mnuPopupDelete, *mnuPopupBar2, *mnuPopupExplorer;
    QMenu *mnuPopupRestore;
    QAction *mnuPopupHistory, *mnuPopupOtherHistory;

    // The help's main page, set at load.
    QString helpFile() const { return m_helpFile; }

    // Dropping a file on the list: the pattern proposed for it, its name with
    // the digits before the extension replaced by "*" ("unzip540.zip" gives
    // "unzip*.zip").
    static QString PatternFromFileName(const QString &path);

    // Restoring: the folder whose archives are offered for the selected row
    // (empty without one), and the re-extraction of one of them.
    QString RestoreFolder() const;
    void RestoreArchive(const QString &name);
    void mnuItemRestoreList_Click(int index);
    void mnuPopupRestoreList_Click(int index);

protected:
    void Form_Load() override;
    void Form_QueryUnload(bool &cancel) override;
    void Form_Unload(bool &cancel) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildMenus();
    void buildToolBar();
    void applyPlacement();
    void LoadItems();
    bool SaveItems();
    void showRecords(const QList<core::ItemRecord> &records);
    QList<core::ItemRecord> tableRecords() const;
    void watchItemList();
    void refreshItems();
    void sortRows();
    // Puts texts into a row where it stands, sorted or not.
    void fillRow(int row, const QStringList &texts);

    void lvwMain_ColumnClick(int column);
    void lvwMain_ItemClick();
    void lvwMain_MouseMove();
    void lvwMain_DblClick();
    void lvwMain_MouseUp(Qt::MouseButtons released, const QPoint &position);
    void lvwMain_KeyPress(int keyAscii);
    bool lvwMain_KeyDown(int keyCode, Qt::KeyboardModifiers modifiers);
    void mnuItem_Click();
    void mnuPopup_Click();
    void mnuView_Click();
    void mnuViewToolbar_Click();
    void mnuViewStatusbar_Click();
    void mnuFileDeleteRegistry_Click();
    void tlbMain_ButtonClick(const QString &key);

    void AddItem();
    void EditItem();
    void DeleteItem();
    void MoveRow(int keyCode);
    void OpenItemFolder();
    void ShowOptions();
    void ShowAbout();
    // The runs kept for the selected item, and those of no item in the list.
    void ShowHistory();
    void ShowOtherHistory();
    void updateExplorerEntry(QAction *entry);
    void rebuildRestoreList(QMenu *list);
    void clearRestoreList(QMenu *list);
    void fillRestoreList(QMenu *list, const QString &folder);
    void restoreListClick(QMenu *list, int index);

    void enableDrops();
    // The drag and drop events of the list's viewport; true when handled.
    bool lvwMain_OLEDrag(QEvent *event);
    void dropFile(const QString &path);
    void showPopup(const QPoint &globalPosition, QAction *defaultEntry);

    QString m_helpFile;
    bool mblnItemClicked = false;
    bool mblnMouseStill = false;
    bool mblnDeleteSettings = false;
    bool m_sorted = false;
    int m_sortKey = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    // ITEM.DAT existed but could not be read: never overwrite it with the
    // (then empty) list.
    bool m_itemFileUnreadable = false;
    // The list as loaded and saved, shared with other processes.
    std::unique_ptr<core::ItemListStore> m_store;
    // The items' options by their texts, so moving and sorting rows leaves them be.
    core::ItemOptionsMap m_options;
    bool holdsRecord(const core::ItemRecord &record) const;
    void setOptionsOf(const core::ItemRecord &record, const core::ItemOptions &options);
    // Saves of other processes reach the shown rows a moment later.
    QFileSystemWatcher *m_listWatcher = nullptr;
    QTimer *m_refreshTimer = nullptr;
};

} // namespace pellora::ui
