#include "extract/frmOverlap.h"

#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/gui/RowClickList.h"
#include "platform/gui/Twips.h"

#include <QAction>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTableWidget>

namespace pellora::extract {

using platform::kKeyEscape;
using platform::kKeyReturn;
using platform::twips;

namespace {

enum Column { kTitleColumn = 0, kOutputColumn = 1, kRelationColumn = 2 };
constexpr int kStripRole = Qt::UserRole + 1;
constexpr int kEncodingRole = Qt::UserRole + 2;

const QString kPrompt = QStringLiteral("複数のパターンにマッチしました。解凍先を選択してください。");

// The prompt as it is shown in width pixels: on one line when it fits there,
// else one sentence a line, so a wrap never leaves a character or two alone
// on a line of their own (a sentence too long for its line still wraps).
QString promptFor(const QFontMetrics &metrics, int width)
{
    if (metrics.horizontalAdvance(kPrompt) <= width)
        return kPrompt;
    QString lines = kPrompt;
    lines.replace(QStringLiteral("。"), QStringLiteral("。\n"));
    return lines.trimmed();
}

// Rows sort as text: "b10" before "b9", and names that differ only in case
// stay together instead of every capital coming first.
class TextCell final : public QTableWidgetItem {
public:
    explicit TextCell(const QString &text)
        : QTableWidgetItem(text)
    {
        setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    }

    bool operator<(const QTableWidgetItem &other) const override
    {
        const int folded = QString::compare(text(), other.text(), Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : text() < other.text();
    }
};

} // namespace

frmOverlap::frmOverlap(QWidget *parent)
    : Form(parent)
    , lblOverlap(new QLabel(kPrompt, this))
    , lvwOverlap(new platform::RowClickList<QTableWidget>(0, 3, this))
    , staOverlap(new QStatusBar(this))
    , mnuPopup(new QMenu(QStringLiteral("ポップアップ"), this))
    , mnuPopupSelect(mnuPopup->addAction(QStringLiteral("選択")))
{
    setObjectName(QStringLiteral("frmOverlap"));
    setWindowTitle(QStringLiteral("Pellora"));
    setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    staOverlap->setSizeGripEnabled(true);

    // The prompt is wider than the design width in the system's font: it
    // goes on two lines, and the list starts below it (see placePrompt).
    lblOverlap->setWordWrap(true);
    lblOverlap->setGeometry(twips(60), twips(60), twips(4950), twips(255));

    lvwOverlap->setHorizontalHeaderLabels(
        { QStringLiteral("ソフト名"), QStringLiteral("解凍先フォルダ"), QStringLiteral("関連ファイル") });
    lvwOverlap->verticalHeader()->hide();
    lvwOverlap->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvwOverlap->verticalHeader()->setDefaultSectionSize(lvwOverlap->fontMetrics().height() + 4);
    QHeaderView *header = lvwOverlap->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    lvwOverlap->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One row at a time: a click on a header must never select a column.
    lvwOverlap->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwOverlap->setWordWrap(false);
    lvwOverlap->setTabKeyNavigation(false);
    lvwOverlap->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Movement over the list without a button held must reach the handler.
    lvwOverlap->setMouseTracking(true);
    lvwOverlap->installEventFilter(this);
    lvwOverlap->setGeometry(0, twips(360), twips(5070), twips(2220));

    auto *list = static_cast<platform::RowClickList<QTableWidget> *>(lvwOverlap);
    list->ItemClick = [this] { lvwOverlap_ItemClick(); };
    list->MouseMove = [this] { lvwOverlap_MouseMove(); };
    list->DblClick = [this] { lvwOverlap_DblClick(); };
    list->MouseUp = [this](Qt::MouseButton button, QPoint position) { lvwOverlap_MouseUp(button, position); };
    list->KeyPress = [this](int keyAscii) { lvwOverlap_KeyPress(keyAscii); };
    connect(header, &QHeaderView::sectionClicked, this,
        [this](int logicalIndex) { lvwOverlap_ColumnClick(logicalIndex + 1); });

    QFont bold = mnuPopupSelect->font();
    bold.setBold(true);
    mnuPopupSelect->setFont(bold);
    mnuPopup->setDefaultAction(mnuPopupSelect);
    connect(mnuPopupSelect, &QAction::triggered, this, &frmOverlap::mnuPopupSelect_Click);

    resize(twips(5070), twips(2580));
}

void frmOverlap::Form_Load()
{
    using core::readNumber;
    using core::setting;
    lvwOverlap->setColumnWidth(kTitleColumn, twips(readNumber(setting(u"Column1Width"))));
    lvwOverlap->setColumnWidth(kOutputColumn, twips(readNumber(setting(u"Column3Width"))));
    lvwOverlap->setColumnWidth(
        kRelationColumn, twips(readNumber(setting(u"Column4Width"), core::kChooserColumn4Width)));

    // Without full-row selection only the clicked cell is highlighted; the
    // row it lies in is the one chosen either way.
    lvwOverlap->setSelectionBehavior(core::readYesNo(setting(u"ListFullRowSelect")) ? QAbstractItemView::SelectRows
                                                                                    : QAbstractItemView::SelectItems);
    lvwOverlap->setShowGrid(core::readYesNo(setting(u"ListGridLines")));

    placePrompt();
    Form_Resize();
}

void frmOverlap::addRow(
    const QString &title, const QString &output, const QString &relation, const core::ItemOptions &options)
{
    const int row = lvwOverlap->rowCount();
    lvwOverlap->insertRow(row);
    auto *titleCell = new TextCell(title);
    // The item's name options travel with its row through sorting.
    titleCell->setData(kStripRole, options.stripTopFolder);
    titleCell->setData(kEncodingRole, options.nameEncoding);
    lvwOverlap->setItem(row, kTitleColumn, titleCell);
    lvwOverlap->setItem(row, kOutputColumn, new TextCell(output));
    lvwOverlap->setItem(row, kRelationColumn, new TextCell(relation));
    // Once sorted, the list stays sorted as rows arrive.
    if (m_sorted)
        sortRows();
}

void frmOverlap::showEvent(QShowEvent *event)
{
    Form::showEvent(event);
    // The caller has added every row by the time the window appears.
    staOverlap->showMessage(QString::number(lvwOverlap->rowCount()) + QStringLiteral("個のアイテム"));
    lvwOverlap->setFocus();
}

int frmOverlap::listTop() const
{
    return lvwOverlap->y();
}

int frmOverlap::statusHeight() const
{
    return staOverlap->sizeHint().height();
}

void frmOverlap::resizeEvent(QResizeEvent *event)
{
    Form::resizeEvent(event);
    // The status bar keeps to the bottom edge by itself.
    staOverlap->setGeometry(0, height() - statusHeight(), width(), statusHeight());
    placePrompt();
    Form_Resize();
}

void frmOverlap::placePrompt()
{
    // Across the window with the design margins, as many lines high as the
    // text needs at that width; the list keeps its design top while the
    // prompt fits above it, and moves down when it does not.
    const int margin = twips(60);
    const int width = qMax(1, this->width() - 2 * margin);
    lblOverlap->setText(promptFor(lblOverlap->fontMetrics(), width));
    lblOverlap->setGeometry(margin, margin, width, lblOverlap->heightForWidth(width));
    lvwOverlap->move(0, qMax(twips(360), lblOverlap->geometry().bottom() + 1 + margin));
}

void frmOverlap::Form_Resize()
{
    // While minimized the window has no inner height to share out, so the
    // list simply takes what there is rather than going negative.
    const int k = isMinimized() ? 0 : 1;
    lvwOverlap->resize(width(), qMax(0, height() - (listTop() + statusHeight()) * k));
}

void frmOverlap::lvwOverlap_ColumnClick(int columnIndex)
{
    m_sorted = true;
    // Clicking the column already sorted on turns the order round; another
    // column keeps the direction. The key starts at the first column, so the
    // very first click on it sorts descending.
    if (columnIndex == m_sortKey + 1)
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_sortKey = columnIndex - 1;
    sortRows();
}

void frmOverlap::sortRows()
{
    lvwOverlap->sortItems(m_sortKey, m_sortOrder);
    // The header itself turns its arrow on every click; it must show ours.
    QHeaderView *header = lvwOverlap->horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(m_sortKey, m_sortOrder);
}

void frmOverlap::lvwOverlap_ItemClick()
{
    mblnItemClicked = true;
    mblnMouseStill = true;
}

void frmOverlap::lvwOverlap_MouseMove()
{
    mblnMouseStill = false;
}

void frmOverlap::lvwOverlap_DblClick()
{
    // Only a double-click on the row just clicked chooses: one on empty
    // space, or after the pointer left that row, must not extract.
    if (mblnItemClicked && mblnMouseStill)
        choose();
    mblnItemClicked = false;
}

void frmOverlap::lvwOverlap_MouseUp(Qt::MouseButton button, QPoint position)
{
    if (!(mblnItemClicked && mblnMouseStill && button == Qt::RightButton))
        return;
    const int row = lvwOverlap->rowAt(position.y());
    if (row >= 0)
        lvwOverlap->setCurrentCell(row, qMax(0, lvwOverlap->columnAt(position.x())));
    // Not modal: the entry's own handler does the choosing.
    mnuPopup->popup(lvwOverlap->viewport()->mapToGlobal(position));
    mblnItemClicked = false;
}

void frmOverlap::mnuPopupSelect_Click()
{
    choose();
}

void frmOverlap::lvwOverlap_KeyPress(int keyAscii)
{
    if (keyAscii == kKeyReturn)
        choose();
}

bool frmOverlap::eventFilter(QObject *watched, QEvent *event)
{
    // The window sees keys before its list does.
    if (watched == lvwOverlap && event->type() == QEvent::KeyPress) {
        const int code = platform::chooserKeyCode(static_cast<QKeyEvent *>(event));
        Form_KeyDown(code);
        if (code == kKeyEscape)
            return true;
    }
    return Form::eventFilter(watched, event);
}

void frmOverlap::keyPressEvent(QKeyEvent *event)
{
    if (platform::chooserKeyCode(event) == kKeyEscape) {
        Form_KeyDown(kKeyEscape);
        return;
    }
    Form::keyPressEvent(event);
}

void frmOverlap::Form_KeyDown(int keyCode)
{
    if (keyCode == kKeyEscape)
        reject();
}

int frmOverlap::selectedRow() const
{
    const QList<QTableWidgetSelectionRange> ranges = lvwOverlap->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.first().topRow();
}

void frmOverlap::choose()
{
    // Nothing selected (Enter before any row was picked): ignore the command
    // and stay open, rather than guess a row and extract somewhere the user
    // did not ask for.
    const int row = selectedRow();
    if (row >= 0)
        chooseRow(row);
}

void frmOverlap::chooseRow(int row)
{
    if (row < 0 || row >= lvwOverlap->rowCount())
        return;
    // Only the target and the related file come from the row: extraction and
    // what follows it need nothing else of the item.
    if (const auto &item = core::CurrentItem) {
        item->setOutput(lvwOverlap->item(row, kOutputColumn)->text());
        item->setRelation(lvwOverlap->item(row, kRelationColumn)->text());
        core::ItemOptions options;
        options.stripTopFolder = lvwOverlap->item(row, kTitleColumn)->data(kStripRole).toBool();
        options.nameEncoding = lvwOverlap->item(row, kTitleColumn)->data(kEncodingRole).toString();
        item->setOptions(options);
        item->Melt(QStringLiteral("*.*"), core::kMissing, core::kMissing);
    }
    accept();
}

} // namespace pellora::extract
