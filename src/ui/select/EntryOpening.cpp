#include "ui/select/EntryOpening.h"

#include "core/OpenForALook.h"
#include "core/clsItem.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/archiver/EntryName.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace pellora::ui {

using platform::kPathSeparator;

QString MakeTempFolder()
{
    // QTemporaryDir creates the folder atomically with owner-only rights
    // and fails rather than reuse an existing name. A fixed shared name
    // could be made beforehand by another user, who would then see or
    // replace what is opened from it.
    QTemporaryDir dir(platform::temporaryFolder() + QString::fromUtf16(kTempFolderPrefix) + QStringLiteral("-XXXXXX"));
    if (!dir.isValid())
        return {};
    // The chooser removes it when it closes, not this object.
    dir.setAutoRemove(false);
    return platform::withTrailingSeparator(dir.path());
}

ArchiveEntryPath archiveEntryPath(const QString &entry)
{
    const arc::EntryPath checked = arc::makeEntryPath(entry);
    if (!checked.isSafe())
        return { QString(), checked.refusal };
    return { checked.components.join(kPathSeparator), QString() };
}

void ReportRefusedEntry(const QString &entry, const QString &refusal)
{
    platform::shell().messageBox(
        QStringLiteral("このファイルは解凍されないため、開くことも関連ファイルに選ぶこともできません (%1)。\n%2")
            .arg(refusal, entry),
        platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Pellora"));
}

void OpenArchiveEntry(core::clsItem &archive, const QString &entry, QString &tempFolder)
{
    if (entry.isEmpty())
        return;
    // The entry's name, joined to the folder as it stands, could lead out of
    // it (../../home/user/secret.txt) to a file of the user's that exists and
    // would be opened in the entry's place; extraction refuses such a name.
    const ArchiveEntryPath entryPath = archiveEntryPath(entry);
    if (!entryPath.refusal.isEmpty()) {
        ReportRefusedEntry(entry, entryPath.refusal);
        return;
    }
    if (tempFolder.isEmpty())
        tempFolder = MakeTempFolder();
    if (tempFolder.isEmpty())
        return;
    const QString file = tempFolder + entryPath.path;
    // An entry opened before while the chooser is open is there already.
    if (!QFileInfo::exists(file))
        archive.Melt(entry, tempFolder, core::kMissing);
    // A help file reads its contents from the file beside it; it comes along
    // every time, whether or not the archive has one.
    if (entry.right(4).toLower() == u".hlp")
        archive.Melt(entry.left(entry.lastIndexOf(u'.')) + QStringLiteral(".cnt"), tempFolder, core::kMissing);
    // The folder is the user's alone and extraction makes no links: what is
    // found there is what extraction wrote. A failed extraction leaves
    // nothing, and the open then fails on its own.
    if (!QFileInfo(file).isSymLink())
        core::OpenForALook(file, tempFolder.chopped(1));
}

void OpenFolderEntry(const QString &folderText, const QString &entry)
{
    if (entry.isEmpty())
        return;
    core::OpenForALook(platform::withTrailingSeparator(folderText) + entry, folderText);
}

void RemoveTempFolder(QString &tempFolder)
{
    if (tempFolder.isEmpty())
        return;
    const QString folder = tempFolder.chopped(1);
    tempFolder.clear();
    const QFileInfo info(folder);
    // Only the folder this chooser made: never through a link put in its place.
    if (info.isDir() && !info.isSymLink())
        QDir(folder).removeRecursively();
}

} // namespace pellora::ui
