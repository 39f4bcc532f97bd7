#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

namespace pellora::core {

// One line of ITEM.DAT: an item's four texts in the order they are stored.
struct ItemRecord {
    QString Title; // software name
    QString Pattern; // file-name pattern
    QString Output; // target folder
    QString Relation; // related file, relative to Output; may be empty

    friend bool operator==(const ItemRecord &, const ItemRecord &) = default;
};

// Records have no key but their texts: a record is its four texts.
size_t qHash(const ItemRecord &record, size_t seed = 0);

// How the bytes of ITEM.DAT are encoded. Files made on Linux are UTF-8; a file
// brought over from Windows is Shift_JIS (CP932). Some Windows editors save
// text as UTF-8 or UTF-16 behind a byte-order mark; such a file is written
// back the way it came, mark included.
enum class ItemFileEncoding { Utf8, Cp932, Utf8Bom, Utf16Le, Utf16Be };

// Why ITEM.DAT could not be read or written, for a message to the user.
struct ItemFileError {
    QString fileName;
    QString reason;
};

// What a pass over an item file found besides its records.
struct ItemFileScan {
    // The encoding to write the list back in: the one marked by a byte-order
    // mark, else the one most records were written in.
    ItemFileEncoding encoding = ItemFileEncoding::Utf8;
    // Records that could not be read and are left out (a line of five
    // fields, an open quote, bytes of no known encoding, ...).
    int unreadable = 0;
    // Records read only up to a double quote inside one of their texts.
    int cut = 0;

    // Whether a list written from the records would lose something of the file.
    bool losesText() const { return unreadable > 0 || cut > 0; }
};

struct ItemFileContents : ItemFileScan {
    QList<ItemRecord> records;
};

// Parses the bytes of an item file; never fails (see ItemFile.cpp for what is
// skipped).
ItemFileContents parseItemFile(const QByteArray &bytes);

// One record's four texts, as views into the decoded file.
struct ItemFields {
    QStringView Title, Pattern, Output, Relation;
};

// Decodes the file's bytes and calls visit for every record that reads
// completely, in file order, without copying the texts.
ItemFileScan visitItemFile(QByteArrayView bytes, const std::function<void(const ItemFields &)> &visit);

// The bytes of an item file holding records, in the given encoding (with its
// byte-order mark, if it has one). Nothing when the encoding is CP932 and
// some text has no CP932 form.
std::optional<QByteArray> formatItemFile(const QList<ItemRecord> &records, ItemFileEncoding encoding);

// Whether a text survives a write and a read unchanged: the format has no
// escape, so a double quote or a line break cannot be stored. Editors must
// refuse such texts, or the item would be dropped at the next read.
bool isStorableItemText(QStringView text);

// ITEM.DAT at a fixed path. Remembers the encoding it last read, so a file
// brought from Windows is written back as Shift_JIS while it can be, and
// whether that read left anything out, so the write keeps the old file aside.
class ItemFile final {
public:
    explicit ItemFile(QString path);

    const QString &path() const { return m_path; }
    ItemFileEncoding encoding() const { return m_encoding; }

    // The records of the file. A missing file, or a name that is not a
    // regular file, holds no records. An error only when the file exists and
    // cannot be read; a caller must not write back over such a file.
    // unreadable and cut count what the records leave out of the file.
    struct ReadResult {
        QList<ItemRecord> records;
        std::optional<ItemFileError> error;
        int unreadable = 0;
        int cut = 0;
    };
    ReadResult read();

    // Replaces the file with records. The new contents go to a temporary file
    // beside it that is renamed over the old one, so a failed write leaves the
    // previous file whole. Creates the folder if needed. When the last read
    // left records out, the file as read is first kept at backupPath(); if
    // that fails, nothing is written.
    std::optional<ItemFileError> write(const QList<ItemRecord> &records);

    // Where write() keeps the file as last read when that read left records
    // out: ITEM.DAT.bak beside it, or the copy already there with the same
    // bytes, else the first free ITEM.DAT.bak.N. Empty when nothing is left out.
    QString backupPath() const;

private:
    std::optional<ItemFileError> keepBackup();

    QString m_path;
    ItemFileEncoding m_encoding = ItemFileEncoding::Utf8;
    // The bytes last read, while the records read from them lack something.
    QByteArray m_incompleteBytes;
};

// Puts bytes at path whole or not at all: a temporary file beside it, flushed,
// then renamed over it.
std::optional<ItemFileError> saveWhole(const QString &path, const QByteArray &bytes);

// Where ITEM.DAT lives: beside the executable when the program is not an
// installed copy (a portable copy) and that folder is writable or already
// holds the list, otherwise in dataFolder. An installed copy is one with <prefix>/share/pellora beside its
// bin folder (platform::isInstalledCopy): it never writes into bin, even
// where it could, as when run by root.
QString itemFilePath(const QString &executableFolder, const QString &dataFolder);

// The same for this process: the executable's folder, else
// $XDG_DATA_HOME/Pellora. Needs a QCoreApplication.
QString itemFilePath();

} // namespace pellora::core
