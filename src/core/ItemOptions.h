#pragma once

#include "core/ItemFile.h"
#include "platform/archiver/EntryName.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace pellora::core {

// What an item asks of the extraction beyond its four texts. ITEM.DAT stays
// as the Windows program reads it, so these live in a file of their own
// beside it.
struct ItemOptions {
    bool stripTopFolder = false;
    QString nameEncoding; // empty: automatic; else as arc::nameEncodings() spells it
    // Keys of the record this version does not know, written back as read.
    QJsonObject unknown;

    bool isDefault() const { return !stripTopFolder && nameEncoding.isEmpty() && unknown.isEmpty(); }
    // The options as the archiver takes them; an encoding it does not know
    // (from a later version) reads as automatic.
    arc::NameOptions names() const;

    friend bool operator==(const ItemOptions &, const ItemOptions &) = default;
};

// Options by item; an item without an entry has the defaults. Items with the
// same four texts are one item here, as they are to the list's merge.
using ItemOptionsMap = QHash<ItemRecord, ItemOptions>;

// The options file of the item list at itemListPath.
QString itemOptionsPath(const QString &itemListPath);

struct ItemOptionsContents {
    ItemOptionsMap options;
    // Entries this version cannot read, and the file's keys besides the
    // items: written back unchanged.
    QJsonArray unreadable;
    QJsonObject rest;
};

ItemOptionsContents parseItemOptions(const QByteArray &bytes, bool *ok);
QByteArray formatItemOptions(const ItemOptionsContents &contents);

// The options written last: mine where this window changed them since base,
// theirs otherwise. An item this window deleted loses its options here; one
// deleted elsewhere keeps them, harmlessly, until its owner drops them.
ItemOptionsMap mergeItemOptions(const ItemOptionsMap &base, const ItemOptionsMap &mine, const ItemOptionsMap &theirs);

// The options file beside one item list.
class ItemOptionsFile final {
public:
    explicit ItemOptionsFile(const QString &itemListPath);

    const QString &path() const { return m_path; }
    // A missing file holds no options. One that cannot be read or parsed
    // holds none either, and the next write keeps it aside first.
    ItemOptionsMap read();
    std::optional<ItemFileError> write(const ItemOptionsMap &options);

private:
    QString m_path;
    ItemOptionsContents m_kept; // what the last read could not place
    bool m_damaged = false;
};

// The options of one item of the list at itemListPath.
ItemOptions itemOptionsOf(const QString &itemListPath, const ItemRecord &record);

} // namespace pellora::core
