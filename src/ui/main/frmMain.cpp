#include "ui/main/frmMain.h"

#include "core/ItemFile.h"
#include "core/ItemListStore.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/gui/Twips.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>

#include <algorithm>

namespace pellora::ui {

using core::readNumber;
using core::readYesNo;
using core::setting;
using platform::toTwips;
using platform::twips;

namespace {

constexpr int kColumns = 4;

QTableWidgetItem *cell(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    return item;
}

void reportIncompleteItemFile(const core::ItemFile &file, const core::ItemFile::ReadResult &result)
{
    // The user must hear of lines left out before a save can drop them; the
    // file as it is now is kept aside by that save.
    QString text = QStringLiteral("%1 の一部を読み込めませんでした。\n").arg(file.path());
    if (result.unreadable > 0)
        text += QStringLiteral("\n読み込めなかったレコード: %1 件").arg(result.unreadable);
    if (result.cut > 0)
        text += QStringLiteral("\nテキストの途中の引用符 (\") より前だけを読み込んだレコード: %1 件").arg(result.cut);
    text += u'\n';
    text += QStringLiteral("\n元のファイルは、一覧を保存する前に %1 として残します。").arg(file.backupPath());
    platform::shell().messageBox(text, platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Pellora"));
}

} // namespace

frmMain::frmMain(QWidget *parent)
    : Form(parent)
    , tlbMain(new QToolBar(this))
    , lvwMain(new QTableWidget(0, kColumns, this))
    , staMainText(new QLabel(this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Pellora"));

    lvwMain->setObjectName(QStringLiteral("lvwMain"));
    lvwMain->setHorizontalHeaderLabels({ QStringLiteral("ソフト名"), QStringLiteral("ファイルパターン"),
        QStringLiteral("解凍先フォルダ"), QStringLiteral("関連ファイル") });
    lvwMain->verticalHeader()->hide();
    lvwMain->horizontalHeader()->setSectionsClickable(true);
    lvwMain->horizontalHeader()->setHighlightSections(false);
    lvwMain->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvwMain->horizontalHeader()->setStretchLastSection(false);
    lvwMain->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwMain->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwMain->setWordWrap(false);
    lvwMain->setTabKeyNavigation(false);
    lvwMain->verticalHeader()->setDefaultSectionSize(lvwMain->fontMetrics().height() + 6);
    QFont listFont(QStringLiteral("ＭＳ Ｐゴシック"), 9);
    lvwMain->setFont(listFont);
    lvwMain->viewport()->setMouseTracking(true);
    lvwMain->viewport()->installEventFilter(this);
    lvwMain->installEventFilter(this);
    enableDrops();
    connect(lvwMain->horizontalHeader(), &QHeaderView::sectionClicked, this,
        [this](int section) { lvwMain_ColumnClick(section + 1); });
    setCentralWidget(lvwMain);

    statusBar()->addWidget(staMainText, 1);
    statusBar()->setSizeGripEnabled(true);

    buildToolBar();
    buildMenus();
}

void frmMain::Form_Load()
{
    // 1. The help: beside the executable, else the installed copy's.
    m_helpFile = platform::helpFolder() + QStringLiteral("index.html");
    // 2.-5. Placement, columns, list look, bars.
    applyPlacement();
    const int widths[kColumns] = { readNumber(setting(u"Column1Width")), readNumber(setting(u"Column2Width")),
        readNumber(setting(u"Column3Width")), readNumber(setting(u"Column4Width")) };
    for (int c = 0; c < kColumns; ++c)
        lvwMain->setColumnWidth(c, twips(widths[c]));
    lvwMain->setSelectionBehavior(
        readYesNo(setting(u"ListFullRowSelect")) ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    lvwMain->setShowGrid(readYesNo(setting(u"ListGridLines")));
    tlbMain->setVisible(readYesNo(setting(u"ShowToolBar")));
    statusBar()->setVisible(readYesNo(setting(u"ShowStatusBar")));
    // 6.-8. The items, their count, the delete question.
    LoadItems();
    UpdateItemCount();
    core::gblnNoRemoveBox = readYesNo(setting(u"NoRemoveBox"));
}

void frmMain::applyPlacement()
{
    const QRect wanted(twips(readNumber(setting(u"Left"))), twips(readNumber(setting(u"Top"))),
        twips(readNumber(setting(u"Width"))), twips(readNumber(setting(u"Height"))));
    resize(wanted.size());
    move(wanted.topLeft());
    // A place remembered from a screen that is gone would leave the window
    // out of reach: bring it back onto the primary screen.
    bool visible = false;
    for (const QScreen *screen : QGuiApplication::screens())
        visible = visible || screen->availableGeometry().intersects(QRect(wanted.topLeft(), QSize(64, 32)));
    if (!visible) {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().topLeft());
    }
}

void frmMain::LoadItems()
{
    m_store = std::make_unique<core::ItemListStore>(core::itemListPlace());
    const core::ItemFile::ReadResult result = m_store->load();
    if (result.error) {
        m_itemFileUnreadable = true;
        platform::shell().messageBox(QStringLiteral("%1 を読み込めません。\n%2\n\nこのファイルは上書きされません。")
                                         .arg(result.error->fileName, result.error->reason),
            platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Pellora"));
    } else if (result.unreadable > 0 || result.cut > 0) {
        // Read once more, so the message can name the copy a save would keep.
        core::ItemFile file(m_store->path());
        file.read();
        reportIncompleteItemFile(file, result);
    }
    m_options = m_store->options();
    showRecords(result.records);
    watchItemList();
}

void frmMain::showRecords(const QList<core::ItemRecord> &records)
{
    lvwMain->setUpdatesEnabled(false);
    lvwMain->clearSelection();
    lvwMain->setRowCount(int(records.size()));
    int row = 0;
    for (const core::ItemRecord &record : records)
        fillRow(row++, { record.Title, record.Pattern, record.Output, record.Relation });
    lvwMain->setUpdatesEnabled(true);
}

QList<core::ItemRecord> frmMain::tableRecords() const
{
    QList<core::ItemRecord> records;
    records.reserve(lvwMain->rowCount());
    for (int row = 0; row < lvwMain->rowCount(); ++row) {
        const QStringList t = rowTexts(row);
        records.append({ t.at(0), t.at(1), t.at(2), t.at(3) });
    }
    return records;
}

bool frmMain::SaveItems()
{
    if (m_itemFileUnreadable)
        return true;
    // Other processes may have saved the list since it was read (an archive
    // added as a new item, another item list window): the save merges with
    // what the file holds now, and the rows show the merged list, in this
    // window's sorting.
    const auto arrange = [this](QList<core::ItemRecord> merged) {
        showRecords(merged);
        if (m_sorted)
            sortRows();
        return tableRecords();
    };
    for (;;) {
        const core::ItemListStore::SaveResult saved = m_store->save(tableRecords(), arrange, &m_options);
        if (!saved.error) {
            m_options = m_store->options();
            if (!saved.movedTo.isEmpty())
                platform::shell().messageBox(
                    QStringLiteral("アイテムの一覧を次の場所に保存できません。\n%1\n\n"
                                   "一覧は代わりに次の場所に保存しました。次回からはこちらの一覧を使います"
                                   "(元の場所に保存できるようになると、一覧は元の場所に戻ります)。\n%2")
                        .arg(m_store->place().home, saved.movedTo),
                    platform::vbOKOnly | platform::vbInformation, QStringLiteral("Pellora"));
            return true;
        }
        const core::ItemFileError &error = *saved.error;
        const int answer = platform::shell().messageBox(
            QStringLiteral("アイテムの一覧を %1 に保存できません。\n%2").arg(error.fileName, error.reason),
            platform::vbRetryCancel | platform::vbExclamation, QStringLiteral("Pellora"));
        if (answer == platform::vbRetry)
            continue;
        const int leave = platform::shell().messageBox(
            QStringLiteral("保存せずに終了すると、今回の変更は失われます。\n保存せずに終了しますか?"),
            platform::vbYesNo | platform::vbQuestion | platform::vbDefaultButton2, QStringLiteral("確認"));
        return leave == platform::vbYes;
    }
}

void frmMain::Form_QueryUnload(bool & /*cancel*/)
{
    if (!isVisible())
        return;
    // The placement stored next is the normal rectangle, also when maximized.
    // The window system applies a state change later, so the widget would
    // still report the maximized rectangle when Form_Unload stores it: put
    // the normal rectangle back at once.
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) {
        const QRect normal = normalGeometry();
        setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
        if (normal.isValid())
            setGeometry(normal);
    }
    core::writeYesNo(setting(u"ShowToolBar"), tlbMain->isVisible());
    core::writeYesNo(setting(u"ShowStatusBar"), statusBar()->isVisible());
}

void frmMain::Form_Unload(bool &cancel)
{
    const QRect placement = (windowState() & Qt::WindowMaximized) ? normalGeometry() : QRect(pos(), size());
    core::writeNumber(setting(u"Top"), int(std::lround(toTwips(placement.y()))));
    core::writeNumber(setting(u"Left"), int(std::lround(toTwips(placement.x()))));
    core::writeNumber(setting(u"Height"), int(std::lround(toTwips(placement.height()))));
    core::writeNumber(setting(u"Width"), int(std::lround(toTwips(placement.width()))));
    static constexpr const core::Setting *columns[kColumns] = { &setting(u"Column1Width"), &setting(u"Column2Width"),
        &setting(u"Column3Width"), &setting(u"Column4Width") };
    for (int c = 0; c < kColumns; ++c)
        core::writeNumber(*columns[c], int(std::lround(toTwips(lvwMain->columnWidth(c)))));
    if (!SaveItems()) {
        cancel = true;
        return;
    }
    if (mblnDeleteSettings)
        core::DeleteSettingsKey();
    core::CurrentItem.reset();
}

void frmMain::UpdateItemCount()
{
    staMainText->setText(QString::number(lvwMain->rowCount()) + QStringLiteral("個のアイテム"));
    if (lvwMain->rowCount() == 0) {
        tlbEdit->setEnabled(false);
        tlbDelete->setEnabled(false);
        tlbFiler->setEnabled(false);
    }
}

void frmMain::LayoutList()
{
    // The main window's own layout keeps the list between the visible bars,
    // whatever the window state; all that is left is to let it recompute.
    if (QLayout *l = layout())
        l->invalidate();
}

void frmMain::changeEvent(QEvent *event)
{
    Form::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        LayoutList();
}

QStringList frmMain::rowTexts(int row) const
{
    QStringList texts;
    for (int c = 0; c < kColumns; ++c) {
        const QTableWidgetItem *item = lvwMain->item(row, c);
        texts.append(item ? item->text() : QString());
    }
    return texts;
}

void frmMain::fillRow(int row, const QStringList &texts)
{
    for (int c = 0; c < kColumns; ++c)
        lvwMain->setItem(row, c, cell(texts.value(c)));
}

void frmMain::setRowTexts(int row, const QStringList &texts)
{
    fillRow(row, texts);
    if (m_sorted)
        sortRows();
}

namespace {
core::ItemRecord recordOf(const QStringList &t)
{
    return { t.value(0), t.value(1), t.value(2), t.value(3) };
}
} // namespace

bool frmMain::holdsRecord(const core::ItemRecord &record) const
{
    for (int row = 0; row < lvwMain->rowCount(); ++row)
        if (recordOf(rowTexts(row)) == record)
            return true;
    return false;
}

void frmMain::setOptionsOf(const core::ItemRecord &record, const core::ItemOptions &options)
{
    if (options.isDefault())
        m_options.remove(record);
    else
        m_options.insert(record, options);
}

core::ItemOptions frmMain::rowOptions(int row) const
{
    return m_options.value(recordOf(rowTexts(row)));
}

void frmMain::setRowTexts(int row, const QStringList &texts, const core::ItemOptions &options)
{
    const core::ItemRecord old = recordOf(rowTexts(row));
    setRowTexts(row, texts);
    // Another row with the old texts is the same item to the options file.
    if (!holdsRecord(old))
        m_options.remove(old);
    setOptionsOf(recordOf(texts), options);
}

void frmMain::appendRow(const QStringList &texts, const core::ItemOptions &options)
{
    appendRow(texts);
    setOptionsOf(recordOf(texts), options);
}

void frmMain::appendRow(const QStringList &texts)
{
    const int row = lvwMain->rowCount();
    lvwMain->insertRow(row);
    fillRow(row, texts);
    if (m_sorted)
        sortRows();
}

int frmMain::selectedRow() const
{
    const QList<QTableWidgetItem *> items = lvwMain->selectedItems();
    return items.isEmpty() ? -1 : items.first()->row();
}

void frmMain::selectRow(int row)
{
    if (row < 0 || row >= lvwMain->rowCount())
        return;
    lvwMain->setCurrentCell(row, 0);
    if (lvwMain->selectionBehavior() == QAbstractItemView::SelectRows)
        lvwMain->selectRow(row);
}

void frmMain::lvwMain_ColumnClick(int column)
{
    // The first click on the current key flips the direction; the initial
    // key is the first column, so its first click sorts descending.
    if (column == m_sortKey + 1)
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_sortKey = column - 1;
    m_sorted = true;
    sortRows();
}

void frmMain::sortRows()
{
    const int selected = selectedRow();
    struct Row {
        QStringList texts;
        bool selected;
    };
    std::vector<Row> rows;
    rows.reserve(size_t(lvwMain->rowCount()));
    for (int r = 0; r < lvwMain->rowCount(); ++r)
        rows.push_back({ rowTexts(r), r == selected });
    const int key = m_sortKey;
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    std::stable_sort(rows.begin(), rows.end(), [key, descending](const Row &a, const Row &b) {
        const int c = QString::compare(a.texts.at(key), b.texts.at(key), Qt::CaseInsensitive);
        return descending ? c > 0 : c < 0;
    });
    lvwMain->setUpdatesEnabled(false);
    int newSelected = -1;
    for (int r = 0; r < int(rows.size()); ++r) {
        fillRow(r, rows[size_t(r)].texts);
        if (rows[size_t(r)].selected)
            newSelected = r;
    }
    lvwMain->setUpdatesEnabled(true);
    lvwMain->horizontalHeader()->setSortIndicatorShown(true);
    lvwMain->horizontalHeader()->setSortIndicator(m_sortKey, m_sortOrder);
    lvwMain->clearSelection();
    selectRow(newSelected);
}

} // namespace pellora::ui
