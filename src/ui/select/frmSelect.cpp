#include "ui/select/frmSelect.h"

#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/gui/Placement.h"
#include "platform/gui/RowClickList.h"
#include "platform/gui/Twips.h"
#include "ui/dialogs/frmItem.h"
#include "ui/main/frmMain.h"
#include "ui/select/EntryOpening.h"
#include "ui/select/SelectModel.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTableView>

namespace pellora::ui {

using platform::kKeyEscape;
using platform::kKeyReturn;
using platform::twips;

namespace {

const QString kCaption = QStringLiteral("関連ファイルの選択");

} // namespace

frmSelect::frmSelect(QWidget *parent)
    : Form(parent)
    , lvwSelect(new platform::RowClickList<QTableView>(this))
    , staSelect(new QStatusBar(this))
    , mnuPopup(new QMenu(QStringLiteral("ポップアップ"), this))
    , mnuPopupSelect(mnuPopup->addAction(QStringLiteral("選択(&S)")))
    , mnuPopupOpen(mnuPopup->addAction(QStringLiteral("開く(&O)")))
    , m_model(new SelectModel(this))
{
    setObjectName(QStringLiteral("frmSelect"));
    setWindowTitle(kCaption);
    // Sizable, with a close box but neither minimize nor maximize.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    staSelect->setObjectName(QStringLiteral("staSelect"));
    staSelect->setSizeGripEnabled(true);

    lvwSelect->setObjectName(QStringLiteral("lvwSelect"));
    lvwSelect->setModel(m_model);
    lvwSelect->verticalHeader()->hide();
    lvwSelect->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvwSelect->verticalHeader()->setDefaultSectionSize(lvwSelect->fontMetrics().height() + 4);
    QHeaderView *header = lvwSelect->horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setStretchLastSection(false);
    const int widths[] = { 3528, 1676, 4304, 2540 };
    for (int column = 0; column < SelectModel::kColumnCount; ++column)
        lvwSelect->setColumnWidth(column, twips(widths[column]));
    lvwSelect->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One row at a time: a click on a header must never select a column.
    lvwSelect->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwSelect->setWordWrap(false);
    lvwSelect->setTabKeyNavigation(false);
    lvwSelect->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Movement over the list without a button held must reach the handler.
    lvwSelect->setMouseTracking(true);
    lvwSelect->installEventFilter(this);

    auto *list = static_cast<platform::RowClickList<QTableView> *>(lvwSelect);
    list->ItemClick = [this] { lvwSelect_ItemClick(); };
    list->MouseMove = [this] { lvwSelect_MouseMove(); };
    list->DblClick = [this] { lvwSelect_DblClick(); };
    list->MouseUp = [this](Qt::MouseButtons buttons, QPoint position) { lvwSelect_MouseUp(buttons, position); };
    list->KeyPress = [this](int keyAscii) { lvwSelect_KeyPress(keyAscii); };
    connect(header, &QHeaderView::sectionClicked, this,
        [this](int logicalIndex) { lvwSelect_ColumnClick(logicalIndex + 1); });

    QFont bold = mnuPopupSelect->font();
    bold.setBold(true);
    mnuPopupSelect->setFont(bold);
    mnuPopup->setDefaultAction(mnuPopupSelect);
    connect(mnuPopupSelect, &QAction::triggered, this, &frmSelect::mnuPopupSelect_Click);
    connect(mnuPopupOpen, &QAction::triggered, this, &frmSelect::mnuPopupOpen_Click);

    resize(twips(7095), twips(2580));
}

void frmSelect::Form_Load()
{
    // Without full-row selection only the clicked cell is highlighted; the
    // row it lies in is the one chosen either way.
    lvwSelect->setSelectionBehavior(core::readYesNo(core::setting(u"ListFullRowSelect"))
            ? QAbstractItemView::SelectRows
            : QAbstractItemView::SelectItems);
    lvwSelect->setShowGrid(core::readYesNo(core::setting(u"ListGridLines")));

    // A large folder takes a moment, and the window answers nothing meanwhile.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    fillList();
    QApplication::restoreOverrideCursor();

    staSelect->showMessage(QString::number(m_model->rowCount()) + QStringLiteral("個のアイテム"));
    Form_Resize();
}

void frmSelect::fillList()
{
    const frmItem &editor = platform::formInstance<frmItem>();
    const QString folderText = editor.txtFolder->text();
    // A main window that was never made counts as hidden; asking a made one
    // whether it is shown must not make one.
    frmMain *main = platform::formIsLoaded<frmMain>() ? &platform::formInstance<frmMain>() : nullptr;
    const bool mainShown = main && main->isVisible();

    SelectRows rows;
    QString listedFolder;
    if (!core::gblnAddMode || mainShown) {
        // Sizes are read as rows come into view: a folder of many files
        // opens about as fast as the system can walk it.
        ListFolder(folderText, rows, SizeReading::Later);
        listedFolder = folderText;
        if (core::gblnAddMode) {
            setWindowTitle(kCaption);
        } else {
            const int row = main ? main->selectedRow() : -1;
            const QString name = row >= 0 ? main->rowTexts(row).value(0) : QString();
            setWindowTitle(kCaption + QStringLiteral(" - ") + name + QStringLiteral(" / ") + folderText);
        }
    } else {
        // An item is being added for the archive at hand: its entries are
        // what will be in the folder once it is extracted.
        const std::shared_ptr<core::clsItem> archive = core::CurrentItem;
        if (archive)
            ListArchive(archive->ArchiveType(), archive->Path(), this, rows, archive->Options().names());
        m_listsArchive = true;
        setWindowTitle(kCaption + QStringLiteral(" - ") + (archive ? archive->Name() : QString()));
    }
    m_model->setRows(std::move(rows), listedFolder);
}

void frmSelect::Form_Unload(bool & /*cancel*/)
{
    RemoveTempFolder(mstrTempFolder);
}

void frmSelect::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        centreOnOwner();
    }
    Form::showEvent(event);
    lvwSelect->setFocus();
}

void frmSelect::centreOnOwner()
{
    // The owner is the item editor that opened the chooser; it is only the
    // window to centre on and to stay above, not the Qt parent.
    platform::centreOnOwner(this, platform::activeOwner(this));
}

void frmSelect::resizeEvent(QResizeEvent *event)
{
    Form::resizeEvent(event);
    const int statusHeight = staSelect->sizeHint().height();
    staSelect->setGeometry(0, height() - statusHeight, width(), statusHeight);
    Form_Resize();
}

void frmSelect::Form_Resize()
{
    // A window made shorter than its status bar leaves the list no height
    // rather than a negative one.
    lvwSelect->setGeometry(0, 0, width(), qMax(0, height() - staSelect->sizeHint().height()));
}

void frmSelect::lvwSelect_ColumnClick(int columnIndex)
{
    // Clicking the column already sorted on turns the order round; another
    // column keeps the direction. The key starts at the first column, so the
    // very first click on it sorts descending.
    if (columnIndex == m_sortKey + 1)
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_sortKey = columnIndex - 1;
    m_model->sort(m_sortKey, m_sortOrder);
    QHeaderView *header = lvwSelect->horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(m_sortKey, m_sortOrder);
    const QModelIndex current = lvwSelect->currentIndex();
    if (current.isValid())
        lvwSelect->scrollTo(current);
}

void frmSelect::lvwSelect_ItemClick()
{
    mblnItemClicked = true;
    mblnMouseStill = true;
}

void frmSelect::lvwSelect_MouseMove()
{
    mblnMouseStill = false;
}

void frmSelect::lvwSelect_DblClick()
{
    // Only a double-click on the row just clicked chooses: one on empty
    // space, or after the pointer moved on, must not.
    if (mblnItemClicked && mblnMouseStill)
        choose();
    mblnItemClicked = false;
}

void frmSelect::lvwSelect_MouseUp(Qt::MouseButtons buttons, QPoint position)
{
    if (!(mblnItemClicked && mblnMouseStill && (buttons & Qt::RightButton)))
        return;
    const QModelIndex under = lvwSelect->indexAt(position);
    if (under.isValid())
        lvwSelect->setCurrentIndex(under);
    // Not modal: the entries' own handlers do the work.
    mnuPopup->popup(lvwSelect->viewport()->mapToGlobal(position));
    mblnItemClicked = false;
}

void frmSelect::lvwSelect_KeyPress(int keyAscii)
{
    if (keyAscii == kKeyReturn)
        choose();
}

void frmSelect::mnuPopupSelect_Click()
{
    choose();
}

void frmSelect::mnuPopupOpen_Click()
{
    if (selectedRow() < 0)
        return;
    if (core::gblnAddFromArchive)
        OpenArchiveEntry();
    else
        OpenFolderEntry();
}

void frmSelect::OpenArchiveEntry()
{
    const int row = selectedRow();
    const std::shared_ptr<core::clsItem> archive = core::CurrentItem;
    if (row >= 0 && archive)
        ui::OpenArchiveEntry(*archive, m_model->row(row).relativePath(), mstrTempFolder);
}

void frmSelect::OpenFolderEntry()
{
    const int row = selectedRow();
    if (row >= 0)
        ui::OpenFolderEntry(platform::formInstance<frmItem>().txtFolder->text(), m_model->row(row).relativePath());
}

bool frmSelect::eventFilter(QObject *watched, QEvent *event)
{
    // The window sees keys before its list does.
    if (watched == lvwSelect && event->type() == QEvent::KeyPress) {
        const int code = platform::chooserKeyCode(static_cast<QKeyEvent *>(event));
        Form_KeyDown(code);
        if (code == kKeyEscape)
            return true;
    }
    return Form::eventFilter(watched, event);
}

void frmSelect::keyPressEvent(QKeyEvent *event)
{
    if (platform::chooserKeyCode(event) == kKeyEscape) {
        Form_KeyDown(kKeyEscape);
        return;
    }
    Form::keyPressEvent(event);
}

void frmSelect::Form_KeyDown(int keyCode)
{
    if (keyCode == kKeyEscape)
        Unload();
}

int frmSelect::selectedRow() const
{
    const QModelIndexList selected = lvwSelect->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void frmSelect::choose()
{
    // Nothing selected (Enter in an empty list, say): ignore the command and
    // stay open rather than guess a row.
    const int row = selectedRow();
    if (row < 0)
        return;
    QString relation = m_model->row(row).relativePath();
    if (m_listsArchive) {
        // The related file is opened below the item's folder after every
        // extraction: it must be a plain path inside it, written the way
        // extraction names the file.
        const ArchiveEntryPath entryPath = archiveEntryPath(relation);
        if (!entryPath.refusal.isEmpty()) {
            ReportRefusedEntry(relation, entryPath.refusal);
            return;
        }
        relation = entryPath.path;
    }
    platform::formInstance<frmItem>().txtRelation->setText(relation);
    Unload();
}

} // namespace pellora::ui
