#include "ui/dialogs/frmHistory.h"

#include "core/RunHistory.h"
#include "extract/UndoPrompt.h"
#include "platform/gui/Placement.h"
#include "platform/gui/Twips.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace pellora::ui {

using platform::twips;

namespace {

enum Column { Date, Archive, Created, Replaced, Target, Columns };

// Names come from archives and the item list: one run stays one line.
QString oneLine(QString text)
{
    return text.replace(u'\n', u' ').replace(u'\r', u' ');
}

QTableWidgetItem *cell(const QString &text, bool enabled, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto *item = new QTableWidgetItem(oneLine(text));
    item->setFlags(enabled ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::ItemIsSelectable);
    item->setTextAlignment(alignment);
    return item;
}

} // namespace

frmHistory::frmHistory(QWidget *parent)
    : Form(parent)
    , lvwHistory(new QTableWidget(0, Columns, this))
    , cmdUndo(new QPushButton(QStringLiteral("元に戻す(&U)"), this))
    , cmdClose(new QPushButton(QStringLiteral("閉じる"), this))
{
    setObjectName(QStringLiteral("frmHistory"));
    setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);

    lvwHistory->setObjectName(QStringLiteral("lvwHistory"));
    lvwHistory->setHorizontalHeaderLabels({ QStringLiteral("日時"), QStringLiteral("アーカイブ"),
        QStringLiteral("作成"), QStringLiteral("置換"), QStringLiteral("解凍先フォルダ") });
    lvwHistory->verticalHeader()->hide();
    lvwHistory->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvwHistory->horizontalHeader()->setStretchLastSection(true);
    lvwHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwHistory->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwHistory->setWordWrap(false);
    lvwHistory->setTabKeyNavigation(false);
    lvwHistory->verticalHeader()->setDefaultSectionSize(lvwHistory->fontMetrics().height() + 6);
    lvwHistory->setColumnWidth(Archive, twips(2200));
    connect(lvwHistory->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &frmHistory::lvwHistory_SelectionChanged);

    cmdUndo->setObjectName(QStringLiteral("cmdUndo"));
    cmdUndo->setAutoDefault(false);
    cmdUndo->setEnabled(false);
    connect(cmdUndo, &QPushButton::clicked, this, &frmHistory::cmdUndo_Click);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setDefault(true);
    connect(cmdClose, &QPushButton::clicked, this, [this] { Unload(); });
    for (QPushButton *button : { cmdUndo, cmdClose })
        button->setMinimumSize(twips(1335), twips(315));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdUndo);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(twips(120), twips(120), twips(120), twips(120));
    layout->addWidget(lvwHistory);
    layout->addLayout(buttons);

    resize(twips(8400), twips(3600));
}

void frmHistory::showItemRuns(const QString &item)
{
    frmHistory &window = platform::formInstance<frmHistory>();
    window.m_others = false;
    window.m_item = item;
    window.setWindowTitle(QStringLiteral("履歴 - %1").arg(oneLine(item)));
    window.fillRuns();
    platform::centreOnOwner(&window, platform::activeOwner(&window));
    window.Show(platform::vbModal);
}

void frmHistory::showOtherRuns(const QStringList &items)
{
    frmHistory &window = platform::formInstance<frmHistory>();
    window.m_others = true;
    window.m_items = items;
    window.setWindowTitle(QStringLiteral("その他の履歴"));
    window.fillRuns();
    platform::centreOnOwner(&window, platform::activeOwner(&window));
    window.Show(platform::vbModal);
}

QString frmHistory::runId(int row) const
{
    const QTableWidgetItem *item = lvwHistory->item(row, Date);
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void frmHistory::fillRuns()
{
    // Read afresh: extractions in other windows and undo change the history.
    QList<core::HistoryRun> runs;
    for (const core::HistoryRun &run : core::listRuns(core::historyFolder())) {
        const bool mine = m_others ? run.item.isEmpty() || !m_items.contains(run.item) : run.item == m_item;
        if (mine)
            runs.append(run);
    }
    if (m_others) {
        // One folder's runs together, newest first within it, as they are undone.
        std::stable_sort(runs.begin(), runs.end(), [](const core::HistoryRun &a, const core::HistoryRun &b) {
            return QDir::cleanPath(a.target) < QDir::cleanPath(b.target);
        });
    }
    lvwHistory->setRowCount(0);
    lvwHistory->setRowCount(int(runs.size()));
    int firstOpen = -1;
    for (int row = 0; row < int(runs.size()); ++row) {
        const core::HistoryRun &run = runs.at(row);
        // A run undone in part stays to tell what was left; it cannot be undone again.
        const bool open = !run.undone;
        QString when = run.when.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
        if (run.undone)
            when += QStringLiteral(" (元に戻し済み)");
        QTableWidgetItem *date = cell(when, open);
        date->setData(Qt::UserRole, run.id);
        // The id a refusal names and the command line takes.
        date->setToolTip(run.id);
        lvwHistory->setItem(row, Date, date);
        QTableWidgetItem *archive = cell(QFileInfo(run.archive).fileName(), open);
        archive->setToolTip(oneLine(run.archive));
        lvwHistory->setItem(row, Archive, archive);
        const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
        lvwHistory->setItem(row, Created,
            cell(QString::number(run.count(core::HistoryEntry::File) + run.count(core::HistoryEntry::Link)), open,
                right));
        lvwHistory->setItem(row, Replaced, cell(QString::number(run.count(core::HistoryEntry::Replaced)), open, right));
        lvwHistory->setItem(row, Target, cell(run.target, open));
        if (open && firstOpen < 0)
            firstOpen = row;
    }
    // Dates and counts in full; the archive and the folder take what is left.
    for (int c : { int(Date), int(Created), int(Replaced) })
        lvwHistory->resizeColumnToContents(c);
    if (firstOpen >= 0)
        lvwHistory->selectRow(firstOpen);
    lvwHistory_SelectionChanged();
}

void frmHistory::lvwHistory_SelectionChanged()
{
    const QList<QTableWidgetItem *> selected = lvwHistory->selectedItems();
    cmdUndo->setEnabled(!selected.isEmpty() && (selected.first()->flags() & Qt::ItemIsEnabled));
}

void frmHistory::cmdUndo_Click()
{
    const QList<QTableWidgetItem *> selected = lvwHistory->selectedItems();
    if (selected.isEmpty())
        return;
    const QString id = runId(selected.first()->row());
    if (extract::confirmAndUndoRun(id))
        fillRuns();
}

} // namespace pellora::ui
