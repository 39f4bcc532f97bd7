#pragma once

#include <QString>

namespace pellora::core {
class clsItem;
}

namespace pellora::ui {

// The start of the name of every folder that holds archive entries opened
// for a look.
inline constexpr auto kTempFolderPrefix = u"~meltmp";

// Makes a new folder for opened archive entries under the temporary path:
// readable by the user alone, with a name no one can know beforehand
// (~meltmp- and random characters), so nobody can prepare it or plant files
// in it. With a trailing separator; "" when it could not be made.
QString MakeTempFolder();

// Where an archive entry lands below the folder it is extracted into, by the
// name checks of every extraction: a plain relative path with native
// separators, or the reason the name is refused (path stays "").
struct ArchiveEntryPath {
    QString path;
    QString refusal;
};
ArchiveEntryPath archiveEntryPath(const QString &entry);

// Says why an archive entry cannot be opened or chosen (refusal from
// archiveEntryPath).
void ReportRefusedEntry(const QString &entry, const QString &refusal);

// Extracts one archive entry (its path inside the archive, relative path
// form) into tempFolder, unless it is there already, and opens it. A help
// file (".hlp") brings its contents file (".cnt") along. tempFolder is made
// on first use; it stays "" when that fails, and nothing is extracted then.
// Only a file the extraction itself wrote inside tempFolder is opened: a
// name the extraction refuses is said so and nothing is opened.
void OpenArchiveEntry(core::clsItem &archive, const QString &entry, QString &tempFolder);

// Opens a file below the item's folder: folderText is the folder as typed
// (with or without its trailing separator), entry the row's relative path.
void OpenFolderEntry(const QString &folderText, const QString &entry);

// Deletes tempFolder with everything in it (links inside are removed, not
// followed) and sets it back to "". Failures are ignored.
void RemoveTempFolder(QString &tempFolder);

} // namespace pellora::ui
