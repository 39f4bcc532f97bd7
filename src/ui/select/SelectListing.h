#pragma once

#include "platform/archiver/EntryName.h"

#include <QHash>
#include <QString>
#include <QtGlobal>

#include <vector>

class QObject;

namespace pellora::ui {

// One row of the related-file chooser: a file below the item's folder or an
// entry of the archive being added.
struct SelectRow {
    QString name; // the file's name without any folder
    quint64 size = 0; // bytes, 64-bit: files of 2 GiB and more show their real size
    QString sizeText; // SizeText(size)
    QString type; // FileTypeText
    QString folder; // relative folder with native separators and a trailing one, "" at the top
    bool sizePending = false; // size and sizeText not read yet (see ReadPendingSize)

    // What the chooser hands back as the related file.
    QString relativePath() const { return folder + name; }
};

using SelectRows = std::vector<SelectRow>;

// The size as the list shows it: digits grouped in threes with the system's
// group separator (1,234,567), no leading zeros, "" for 0.
QString SizeText(quint64 size);

// The number of digits the size column pads to while it sorts: nine (three
// groups), or as many whole groups as the largest size needs.
int SizePaddingDigits(quint64 largestSize);

// The size padded with zeros to digits digits and grouped (000,001,234), so
// that comparing the texts compares the numbers; "" for 0, as in the list.
QString PaddedSizeText(quint64 size, int digits);

// The file-type text of a name (or, for archive entries, of the whole path):
// "ファイル" without a ".", else the description of the type registered for
// the extension, else the extension upper-cased followed by " ファイル".
QString FileTypeText(const QString &s);

// FileTypeText with its answers kept per extension: a listing asks for the
// same few extensions thousands of times, and the type database does not
// change while one listing runs.
class FileTypes final {
public:
    QString text(const QString &s);

private:
    QHash<QString, QString> m_byExtension;
};

// Appends a row per file entry of the archive at archivePath, listed through
// the archiver library of archiveType (a kind of the kinds table; anything else
// lists nothing). An archive that cannot be opened lists nothing either.
// Names are listed as the item's options make them (names).
void ListArchive(const QString &archiveType, const QString &archivePath, QObject *owner, SelectRows &rows,
    const arc::NameOptions &names = {});

// When a folder listing reads the sizes of plain files: at once, or only
// when a row is shown or sorted by size. Reading a size is a system call per
// file, which in a large tree costs several times the walk itself, while the
// window shows a few dozen rows.
enum class SizeReading { Now, Later };

// Appends a row per file below folder, subfolders included, in the order the
// system returns the entries, hidden files too. Links to folders are not
// followed (a link to an ancestor would never end); a link to a file lists as
// that file. A folder that does not exist or cannot be read lists nothing.
void ListFolder(const QString &folder, SelectRows &rows, SizeReading reading = SizeReading::Now);

// Reads the size of a row listed with SizeReading::Later below folder; a file
// gone since reads as 0. Rows whose size is known stay as they are.
void ReadPendingSize(const QString &folder, SelectRow &row);

} // namespace pellora::ui
