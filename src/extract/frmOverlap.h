#pragma once

#include "core/ItemOptions.h"
#include "platform/gui/Form.h"

#include <QDialog>
#include <QPoint>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTableWidget;

namespace pellora::extract {

// Lets the user pick which of several matching items receives the archive of
// CurrentItem. Choosing a row extracts the archive there and closes the
// window; closing it any other way extracts nothing.
class frmOverlap final : public platform::Form<QDialog> {
    Q_OBJECT
public:
    explicit frmOverlap(QWidget *parent = nullptr);

    // One matching item: software name, target folder, related file.
    void addRow(
        const QString &title, const QString &output, const QString &relation, const core::ItemOptions &options = {});

    // Extracts into the selected row and closes; does nothing without one.
    void choose();
    // The same for a row given by its position in the list (0-based), for a
    // caller that takes the only row without showing the window.
    void chooseRow(int row);

    QLabel *lblOverlap;
    QTableWidget *lvwOverlap;
    QStatusBar *staOverlap;
    QMenu *mnuPopup;
    QAction *mnuPopupSelect;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

    void Form_Load() override;

private:
    void Form_Resize();
    // Lays the prompt out whole over the list for the window's width.
    void placePrompt();
    void Form_KeyDown(int keyCode);
    void lvwOverlap_ColumnClick(int columnIndex);
    void lvwOverlap_ItemClick();
    void lvwOverlap_MouseMove();
    void lvwOverlap_DblClick();
    void lvwOverlap_MouseUp(Qt::MouseButton button, QPoint position);
    void lvwOverlap_KeyPress(int keyAscii);
    void mnuPopupSelect_Click();

    int selectedRow() const;
    void sortRows();
    int listTop() const;
    int statusHeight() const;

    bool mblnItemClicked = false;
    bool mblnMouseStill = false;

    // The list's sort state: off until the first header click, then by
    // m_sortKey (0-based column) in m_sortOrder.
    bool m_sorted = false;
    int m_sortKey = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace pellora::extract
