// Restoring: extracting an archive kept after an earlier extraction again
// into its item's folder.

#include "ui/main/frmMain.h"

#include "core/Pattern.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/archiver/ArchiveKinds.h"

#include <QDir>
#include <QDirIterator>
#include <QMenu>

#include <memory>

namespace pellora::ui {

namespace {

// Every name in folder except "." and "..", in the order the system gives
// them (no sorting): hidden entries and folders included. Empty when the
// folder cannot be read.
QStringList namesInFolder(const QString &folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        names.append(it.fileName());
    }
    return names;
}

// The switches of a restore: the base switches of each kind with the
// "extract regardless of time stamps" option for LZH and ZIP, whatever the
// options hold.
QString restoreSwitches(const QString &archiveType)
{
    const arc::ArchiveKindInfo *kind = arc::archiveKindOfType(archiveType);
    return kind ? arc::toQString(kind->restoreSwitches) : QString();
}

} // namespace

QString frmMain::RestoreFolder() const
{
    const int row = selectedRow();
    if (row < 0)
        return QString();
    const QString keeping = core::readText(core::setting(u"ArchiveOperationFolder"));
    if (core::readYesNo(core::setting(u"ArchiveOperationTargetFolder")) || keeping.isEmpty())
        return rowTexts(row).at(2);
    return keeping;
}

void frmMain::rebuildRestoreList(QMenu *list)
{
    // Settings and folder are read afresh on every opening.
    clearRestoreList(list);
    if (selectedRow() >= 0)
        fillRestoreList(list, RestoreFolder());
}

void frmMain::clearRestoreList(QMenu *list)
{
    const QList<QAction *> entries = list->actions();
    if (entries.isEmpty()) {
        // Entry 0 stands for "nothing to restore" and is never chosen.
        QAction *none = list->addAction(QStringLiteral("(なし)"));
        none->setObjectName(list->objectName() + u'0');
        none->setEnabled(false);
        return;
    }
    for (qsizetype i = 1; i < entries.size(); ++i) {
        list->removeAction(entries.at(i));
        delete entries.at(i);
    }
    entries.constFirst()->setVisible(true);
}

void frmMain::fillRestoreList(QMenu *list, const QString &folder)
{
    const int row = selectedRow();
    if (row < 0)
        return;
    // Kept archives are named exactly: letter case counts here, unlike at
    // start-up.
    const core::FilePattern pattern(rowTexts(row).at(1), Qt::CaseSensitive);
    int index = list->actions().size();
    for (const QString &name : namesInFolder(platform::withTrailingSeparator(folder))) {
        if (!pattern.matches(name))
            continue;
        // A menu text would turn "&" into an accelerator: the entry shows the
        // name as it is and keeps the name itself for the restore.
        QAction *entry = list->addAction(QString(name).replace(u'&', QStringLiteral("&&")));
        entry->setObjectName(list->objectName() + QString::number(index));
        entry->setData(name);
        entry->setEnabled(true);
        connect(entry, &QAction::triggered, this, [this, list, index] {
            if (list == mnuItemRestore)
                mnuItemRestoreList_Click(index);
            else
                mnuPopupRestoreList_Click(index);
        });
        ++index;
    }
    if (list->actions().size() > 1)
        list->actions().constFirst()->setVisible(false);
}

void frmMain::mnuItemRestoreList_Click(int index)
{
    restoreListClick(mnuItemRestore, index);
}
void frmMain::mnuPopupRestoreList_Click(int index)
{
    restoreListClick(mnuPopupRestore, index);
}

void frmMain::restoreListClick(QMenu *list, int index)
{
    const QList<QAction *> entries = list->actions();
    if (index < 1 || index >= entries.size())
        return;
    const QString name = entries.at(index)->data().toString();
    const int answer = platform::shell().messageBox(name + QStringLiteral(" を復元しますか?"),
        platform::vbYesNo | platform::vbQuestion | platform::vbDefaultButton2, QStringLiteral("Pellora"));
    if (answer == platform::vbYes)
        RestoreArchive(name);
}

void frmMain::RestoreArchive(const QString &name)
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString folder = platform::withTrailingSeparator(RestoreFolder());
    const QString target = rowTexts(row).at(2);
    // The archive comes from the keeping place, never from the command line.
    core::CurrentItem = std::make_shared<core::clsItem>(QStringList{});
    core::CurrentItem->setPath(folder + name);
    const QString switches = restoreSwitches(core::CurrentItem->ArchiveType());
    // Output equal to the folder given to Melt: the result window and the
    // steps after a full extraction follow, without a related file.
    core::CurrentItem->setTitle(rowTexts(row).at(0));
    core::CurrentItem->setOutput(target);
    core::CurrentItem->setRelation(QString());
    // Restored as it was first extracted: the same names in the same places.
    core::CurrentItem->setOptions(rowOptions(row));
    core::CurrentItem->Melt(QStringLiteral("*.*"), target, switches);
    core::CurrentItem.reset();
}

} // namespace pellora::ui
