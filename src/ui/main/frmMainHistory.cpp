// The history of the extraction runs, reached from the item list.

#include "ui/main/frmMain.h"

#include "ui/dialogs/frmHistory.h"

#include <QTableWidget>

namespace pellora::ui {

void frmMain::ShowHistory()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    frmHistory::showItemRuns(rowTexts(row).at(0));
}

void frmMain::ShowOtherHistory()
{
    QStringList items;
    for (int row = 0; row < lvwMain->rowCount(); ++row)
        items.append(rowTexts(row).at(0));
    frmHistory::showOtherRuns(items);
}

} // namespace pellora::ui
