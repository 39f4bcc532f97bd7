#include "platform/gui/FileDialogColumns.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QListView>
#include <QScreen>
#include <QSplitter>
#include <QTreeView>

#include <algorithm>

namespace pellora::platform {

namespace {

void fitNow(QFileDialog &dialog, QTreeView *view)
{
    QHeaderView *header = view->header();
    for (int c = 0; c < header->count(); ++c)
        view->resizeColumnToContents(c);
    // What the columns and the side bar need beyond what they have now.
    int missing = header->length() - view->viewport()->width();
    auto *splitter = dialog.findChild<QSplitter *>(QStringLiteral("splitter"));
    auto *side = dialog.findChild<QListView *>(QStringLiteral("sidebar"));
    if (splitter && side && splitter->count() == 2) {
        const int sideWidth = side->sizeHintForColumn(0) + 2 * side->frameWidth() + 2 * side->spacing() + 4;
        const QList<int> sizes = splitter->sizes();
        if (sizes.at(0) < sideWidth) {
            missing += sideWidth - sizes.at(0);
            splitter->setSizes({ sideWidth, sizes.at(0) + sizes.at(1) - sideWidth });
        }
    }
    const QScreen *screen = dialog.screen();
    const int room = screen ? screen->availableGeometry().width() - dialog.frameGeometry().width() : 0;
    const int wider = std::min(missing, room);
    if (wider > 0)
        dialog.resize(dialog.width() + wider, dialog.height());
}

} // namespace

void fitFileDialogColumns(QFileDialog &dialog)
{
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    auto *model = dialog.findChild<QFileSystemModel *>();
    if (!view || !model)
        return;
    // Sizes and types arrive after the names: fit again whenever a folder is
    // complete, and once now for what is already there.
    QObject::connect(model, &QFileSystemModel::directoryLoaded, &dialog, [&dialog, view] { fitNow(dialog, view); });
    fitNow(dialog, view);
}

} // namespace pellora::platform
