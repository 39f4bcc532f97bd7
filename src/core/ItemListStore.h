#pragma once

#include "core/ItemFile.h"
#include "core/ItemOptions.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace pellora::core {

// The list to write when this window's list (mine) and the file (theirs)
// both went their own way since base, the list this window last read or
// wrote. Records have no key, so a record is its four texts and a list a
// multiset of them: a record another process added stays, one this window
// removed goes, one another process removed is not brought back, and an
// edit is the old texts removed and the new ones added. This window's order
// is kept for the records it shows (when it changed something); a record
// added elsewhere follows the record it followed in theirs.
QList<ItemRecord> mergeItemLists(
    const QList<ItemRecord> &base, const QList<ItemRecord> &mine, const QList<ItemRecord> &theirs);

// Where one copy of the program keeps its item list.
struct ItemListPlace {
    QString home; // where the list belongs (itemFilePath)
    // A portable copy's stand-in in the user's data folder, for changes that
    // cannot be saved at home (its folder turned read-only). Empty when home
    // already lies in the data folder.
    QString standIn;
};
ItemListPlace itemListPlace(const QString &executableFolder, const QString &dataFolder);
// The same for this process. Needs a QCoreApplication.
ItemListPlace itemListPlace();

// The file that holds the list saved last: the stand-in once changes went
// there, until home is newer again; otherwise home.
QString currentItemListPath(const ItemListPlace &place);
QString currentItemListPath();

// The item list as the main window loads and saves it. Several processes may
// hold the list at once (one per archive opened, and the item list window),
// so a save never writes a window's rows blindly: under a lock it merges
// them with what the file holds now. The items' options, in their file
// beside the list, are merged and written the same way under the same lock.
class ItemListStore final {
public:
    explicit ItemListStore(ItemListPlace place);

    // Reads the list saved last, and its options, and remembers both as the
    // base of the next save.
    ItemFile::ReadResult load();

    // The options as the last load, save or refresh left them.
    const ItemOptionsMap &options() const { return m_options; }

    struct SaveResult {
        // The merged list: what the file holds now on success. The caller
        // shows it either way, since the next save merges against it.
        QList<ItemRecord> records;
        std::optional<ItemFileError> error;
        // Set when this save could not go where the list was read from and
        // went to the stand-in: the user must learn where the list is now.
        QString movedTo;
    };
    // Receives the merged list, when it differs from mine, and gives it back
    // in the order to write (the window's sorting, if any).
    using Arrange = std::function<QList<ItemRecord>(QList<ItemRecord>)>;
    // mineOptions: this window's options; null when it changed none since
    // the base. The merged options are options() afterwards.
    SaveResult save(
        const QList<ItemRecord> &mine, const Arrange &arrange = {}, const ItemOptionsMap *mineOptions = nullptr);

    // When the list or the options saved last differ from the base: mine
    // merged with them, which become the base (the caller shows the merged
    // list and takes options()). Nothing when no other process saved since,
    // or the list cannot be read now.
    std::optional<QList<ItemRecord>> refresh(
        const QList<ItemRecord> &mine, const ItemOptionsMap *mineOptions = nullptr);

    const ItemListPlace &place() const { return m_place; }
    // Where the last load or save found or put the list.
    const QString &path() const { return m_path; }

private:
    QString lockPath() const;

    ItemListPlace m_place;
    QString m_path;
    QList<ItemRecord> m_base;
    ItemOptionsMap m_baseOptions;
    ItemOptionsMap m_options;
    QString m_stamp; // the version of the list and options the base came from
};

} // namespace pellora::core
