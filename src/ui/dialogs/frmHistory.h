#pragma once

#include "platform/gui/Form.h"

#include <QDialog>
#include <QStringList>

class QPushButton;
class QTableWidget;

namespace pellora::ui {

// The runs kept in the history for one item, or for no item, newest first,
// each with its archive and what it changed; the selected run can be undone.
class frmHistory final : public platform::Form<QDialog> {
    Q_OBJECT
public:
    explicit frmHistory(QWidget *parent = nullptr);

    // The runs of the item named item; returns when the window is closed.
    static void showItemRuns(const QString &item);
    // The runs without an item, grouped by target folder, and those of items
    // no longer among items, which no item's history would show.
    static void showOtherRuns(const QStringList &items);

    // The id of the run a row shows.
    QString runId(int row) const;

    QTableWidget *lvwHistory;
    QPushButton *cmdUndo;
    QPushButton *cmdClose;

private:
    void fillRuns();
    void lvwHistory_SelectionChanged();
    void cmdUndo_Click();

    bool m_others = false;
    QString m_item;
    QStringList m_items;
};

} // namespace pellora::ui
