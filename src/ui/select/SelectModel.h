#pragma once

#include "ui/select/SelectListing.h"

#include <QAbstractTableModel>

namespace pellora::ui {

// The chooser's rows as the list shows them: name, size, file type, folder.
// A model rather than an item per cell, so that a folder with a hundred
// thousand files fills and sorts in a blink.
class SelectModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kNameColumn = 0, kSizeColumn = 1, kTypeColumn = 2, kFolderColumn = 3, kColumnCount = 4 };

    explicit SelectModel(QObject *parent = nullptr);

    // folder: where a folder listing was made, for the sizes it left to read
    // when shown; "" for an archive listing.
    void setRows(SelectRows rows, const QString &folder = QString());
    // The row with its size read.
    const SelectRow &row(int index) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Sorts by the text of a column, stably, letter case folded (exact text
    // breaks ties). The size column sorts by its sizes zero-padded to one
    // width, so that text order is number order; rows keep their selection.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    void readAllSizes();

    // Sizes are read when a row is first shown, so the rows change under a
    // const look.
    mutable SelectRows m_rows;
    QString m_folder;
};

} // namespace pellora::ui
