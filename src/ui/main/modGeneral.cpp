#include "ui/main/modGeneral.h"

#include "core/ItemFile.h"
#include "core/ItemListStore.h"
#include "core/Startup.h"
#include "core/clsItem.h"
#include "extract/frmOverlap.h"
#include "platform/Shell.h"
#include "platform/gui/Form.h"
#include "ui/dialogs/frmMelt.h"
#include "ui/main/frmMain.h"

#include <QCoreApplication>

namespace pellora::ui {

using core::CurrentItem;

void Main()
{
    Main(QCoreApplication::arguments().mid(1));
}

void Main(const QStringList &arguments)
{
    CurrentItem = std::make_shared<core::clsItem>(arguments);
    if (CurrentItem->Path().isEmpty()) {
        platform::formInstance<frmMain>().Show(platform::vbModeless);
        CurrentItem.reset();
        return;
    }
    if (CurrentItem->ArchiveType().isEmpty()) {
        platform::shell().messageBox(QStringLiteral("指定されたファイルは未対応の形式であるか壊れています。"),
            platform::vbOKOnly | platform::vbCritical, QStringLiteral("Pellora"));
        core::gblnExtractionFailed = true;
        CurrentItem.reset();
        return;
    }

    const QList<core::ItemRecord> candidates
        = core::matchingItemsInFile(CurrentItem->Name(), core::currentItemListPath());

    if (candidates.size() == 1) {
        // Named in any message about the item's folder.
        CurrentItem->setTitle(candidates.first().Title);
        CurrentItem->setOutput(candidates.first().Output);
        CurrentItem->setRelation(candidates.first().Relation);
        CurrentItem->setOptions(core::itemOptionsOf(core::currentItemListPath(), candidates.first()));
        CurrentItem->Melt(QStringLiteral("*.*"), core::kMissing, core::kMissing);
        CurrentItem.reset();
        return;
    }
    if (candidates.isEmpty()) {
        // The dialog finishes with the record: it extracts with it or hands it
        // to the item editor, so it is not released here.
        CurrentItem->setOutput(core::proposedTargetFolder(*CurrentItem));
        platform::formInstance<frmMelt>().Show(platform::vbModeless);
        return;
    }
    extract::frmOverlap &chooser = platform::formInstance<extract::frmOverlap>();
    const core::ItemOptionsMap options = core::ItemOptionsFile(core::currentItemListPath()).read();
    for (const core::ItemRecord &candidate : candidates)
        chooser.addRow(candidate.Title, candidate.Output, candidate.Relation, options.value(candidate));
    chooser.Show(platform::vbModal);
    chooser.Unload();
    CurrentItem.reset();
}

} // namespace pellora::ui
