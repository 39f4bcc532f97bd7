#pragma once

#include "platform/gui/Form.h"

#include <QDialog>
#include <QPoint>

class QAction;
class QMenu;
class QStatusBar;
class QTableView;

namespace pellora::ui {

class SelectModel;

// Lets the user pick the related file of the item in the item editor: every
// file below the editor's target folder, or, when an item is being added for
// the archive at hand, the archive's entries. Choosing a row writes its
// relative path into the editor's related-file box and closes the window;
// any other way out leaves the box alone. A row can be opened for a look
// first; archive entries are extracted into a private temporary folder for
// that, which goes when the window unloads.
class frmSelect final : public platform::Form<QDialog> {
    Q_OBJECT
public:
    explicit frmSelect(QWidget *parent = nullptr);

    QTableView *lvwSelect;
    QStatusBar *staSelect;
    QMenu *mnuPopup;
    QAction *mnuPopupSelect;
    QAction *mnuPopupOpen;

    SelectModel *model() const { return m_model; }
    // Where opened archive entries went; "" until the first one is opened.
    QString tempFolder() const { return mstrTempFolder; }

protected:
    void Form_Load() override;
    void Form_Unload(bool &cancel) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Resize();
    void Form_KeyDown(int keyCode);
    void lvwSelect_ColumnClick(int columnIndex);
    void lvwSelect_ItemClick();
    void lvwSelect_MouseMove();
    void lvwSelect_DblClick();
    void lvwSelect_MouseUp(Qt::MouseButtons buttons, QPoint position);
    void lvwSelect_KeyPress(int keyAscii);
    void mnuPopupSelect_Click();
    void mnuPopupOpen_Click();

    // Fills the list from the archive or the folder and sets the caption.
    void fillList();
    // Writes the selected row's relative path into the editor and unloads;
    // does nothing without a selected row. An archive entry whose name
    // extraction refuses is not chosen: the window says why and stays.
    void choose();
    void OpenArchiveEntry();
    void OpenFolderEntry();
    int selectedRow() const;
    void centreOnOwner();

    SelectModel *m_model;
    QString mstrTempFolder;
    bool mblnItemClicked = false;
    bool mblnMouseStill = false;
    bool m_placed = false;
    bool m_listsArchive = false; // rows are the entries of the archive at hand

    // Sort state: the key starts at the first column in ascending order.
    int m_sortKey = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace pellora::ui
