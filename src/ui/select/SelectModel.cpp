#include "ui/select/SelectModel.h"

#include <algorithm>
#include <numeric>

namespace pellora::ui {

namespace {

// Names that differ only in case stay together instead of every capital
// coming first; the exact text keeps the order total.
bool textLess(const QString &a, const QString &b)
{
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

} // namespace

SelectModel::SelectModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void SelectModel::setRows(SelectRows rows, const QString &folder)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_folder = folder;
    endResetModel();
}

const SelectRow &SelectModel::row(int index) const
{
    SelectRow &r = m_rows.at(size_t(index));
    ReadPendingSize(m_folder, r);
    return r;
}

void SelectModel::readAllSizes()
{
    for (SelectRow &r : m_rows)
        ReadPendingSize(m_folder, r);
}

int SelectModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SelectModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant SelectModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const SelectRow &r = row(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case kNameColumn:
            return r.name;
        case kSizeColumn:
            return r.sizeText;
        case kTypeColumn:
            return r.type;
        case kFolderColumn:
            return r.folder;
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignVCenter | (index.column() == kSizeColumn ? Qt::AlignRight : Qt::AlignLeft));
    return {};
}

QVariant SelectModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case kNameColumn:
            return QStringLiteral("名前");
        case kSizeColumn:
            return QStringLiteral("サイズ");
        case kTypeColumn:
            return QStringLiteral("ファイルの種類");
        case kFolderColumn:
            return QStringLiteral("パス");
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignVCenter | (section == kSizeColumn ? Qt::AlignRight : Qt::AlignLeft));
    return {};
}

void SelectModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= kColumnCount)
        return;
    const size_t n = m_rows.size();
    std::vector<QString> keys(n);
    if (column == kSizeColumn) {
        readAllSizes();
        // Padded to the width of the largest size, never less than nine
        // digits: every size sorts by value, however large.
        quint64 largest = 0;
        for (const SelectRow &r : m_rows)
            largest = qMax(largest, r.size);
        const int digits = SizePaddingDigits(largest);
        for (size_t i = 0; i < n; ++i)
            keys[i] = PaddedSizeText(m_rows[i].size, digits);
    } else {
        for (size_t i = 0; i < n; ++i) {
            const SelectRow &r = m_rows[i];
            keys[i] = column == kNameColumn ? r.name : column == kTypeColumn ? r.type : r.folder;
        }
    }
    std::vector<int> sorted(n);
    std::iota(sorted.begin(), sorted.end(), 0);
    std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) {
        return order == Qt::AscendingOrder ? textLess(keys[size_t(a)], keys[size_t(b)])
                                           : textLess(keys[size_t(b)], keys[size_t(a)]);
    });

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    SelectRows rows;
    rows.reserve(n);
    std::vector<int> newPosition(n);
    for (size_t i = 0; i < n; ++i) {
        newPosition[size_t(sorted[i])] = int(i);
        rows.push_back(std::move(m_rows[size_t(sorted[i])]));
    }
    m_rows = std::move(rows);
    // The selection and the current row follow their rows to the new places.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &i : before)
        after.append(index(newPosition[size_t(i.row())], i.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace pellora::ui
