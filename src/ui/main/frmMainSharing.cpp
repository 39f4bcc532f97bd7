// Keeping the rows in step with the item list that other processes save: an
// archive added as a new item, or a second item list window.

#include "ui/main/frmMain.h"

#include "platform/gui/Form.h"
#include "ui/dialogs/frmItem.h"

#include <QApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTableWidget>
#include <QTimer>

namespace pellora::ui {

namespace {

// Long enough to see a save through (a temporary file, then the rename).
constexpr int kRefreshDelayMs = 300;

} // namespace

void frmMain::watchItemList()
{
    if (!m_listWatcher) {
        m_listWatcher = new QFileSystemWatcher(this);
        m_refreshTimer = new QTimer(this);
        m_refreshTimer->setSingleShot(true);
        m_refreshTimer->setInterval(kRefreshDelayMs);
        connect(m_refreshTimer, &QTimer::timeout, this, &frmMain::refreshItems);
        const auto changed = [this] { m_refreshTimer->start(); };
        connect(m_listWatcher, &QFileSystemWatcher::fileChanged, this, changed);
        connect(m_listWatcher, &QFileSystemWatcher::directoryChanged, this, changed);
    }
    // The folders as well as the file: a save puts a new file in place, and
    // the stand-in may appear; a path that does not exist is skipped.
    const core::ItemListPlace &place = m_store->place();
    QStringList paths{ place.home, QFileInfo(place.home).absolutePath() };
    if (!place.standIn.isEmpty())
        paths += { place.standIn, QFileInfo(place.standIn).absolutePath() };
    for (const QString &path : paths) {
        if (QFileInfo::exists(path) && !m_listWatcher->files().contains(path)
            && !m_listWatcher->directories().contains(path))
            m_listWatcher->addPath(path);
    }
}

void frmMain::refreshItems()
{
    if (!m_store || m_itemFileUnreadable || !isVisible())
        return;
    // Rows must not change under an open editor (it rewrites the selected
    // row), a question, or a menu built for the selected row: try again later.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget() || platform::formIsLoaded<frmItem>()) {
        m_refreshTimer->start();
        return;
    }
    watchItemList();
    const std::optional<QList<core::ItemRecord>> merged = m_store->refresh(tableRecords(), &m_options);
    if (!merged)
        return;
    m_options = m_store->options();
    // The selected item stays selected (the same texts, the same one among
    // equals); an item removed elsewhere leaves no row selected.
    const int selected = selectedRow();
    QStringList selectedTexts;
    int sameBefore = 0;
    if (selected >= 0) {
        selectedTexts = rowTexts(selected);
        for (int r = 0; r < selected; ++r)
            sameBefore += rowTexts(r) == selectedTexts ? 1 : 0;
    }
    showRecords(*merged);
    int select = -1;
    for (int r = 0; selected >= 0 && r < lvwMain->rowCount() && select < 0; ++r) {
        if (rowTexts(r) == selectedTexts && sameBefore-- == 0)
            select = r;
    }
    selectRow(select);
    if (m_sorted)
        sortRows();
    UpdateItemCount();
    for (QAction *button : { tlbEdit, tlbDelete, tlbFiler })
        button->setEnabled(lvwMain->rowCount() > 0);
}

} // namespace pellora::ui
