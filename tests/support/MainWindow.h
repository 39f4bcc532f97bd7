#pragma once

#include "ui/main/frmMain.h"

#include <QStringList>
#include <QTableWidget>

// What the item list window shows, read as a user reads it.
namespace pellora::test {

// The rows of the item list, each as the four texts the window shows.
inline QList<QStringList> rowsOf(const ui::frmMain &form)
{
    QList<QStringList> rows;
    for (int r = 0; r < form.lvwMain->rowCount(); ++r)
        rows.append(form.rowTexts(r));
    return rows;
}

// The status bar's count of items.
inline QString countText(int rows)
{
    return QString::number(rows) + QStringLiteral("個のアイテム");
}

} // namespace pellora::test
