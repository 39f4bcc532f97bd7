// Dropping a file on the item list: a new item with a pattern proposed from
// the file's name.

#include "ui/main/frmMain.h"

#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Shell.h"
#include "ui/dialogs/frmItem.h"
#include "ui/dialogs/frmMelt.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>

namespace pellora::ui {

namespace {

// What stands for the shell's file list: URLs that all name local files.
bool holdsFileList(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty())
        return false;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            return false;
    }
    return true;
}

} // namespace

void frmMain::enableDrops()
{
    lvwMain->setAcceptDrops(true);
    // The list's own drag and drop stays off: lvwMain_OLEDrag takes every
    // drag event of the viewport before the view sees it.
    lvwMain->viewport()->setAcceptDrops(true);
}

bool frmMain::lvwMain_OLEDrag(QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (holdsFileList(drag->mimeData())) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->setDropAction(Qt::IgnoreAction);
            drag->ignore();
        }
        return true;
    }
    case QEvent::DragLeave:
        return true;
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if (!holdsFileList(drop->mimeData())) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        const QString path = drop->mimeData()->urls().constFirst().toLocalFile();
        // The editor is modal: opening it inside the drop would keep the
        // dragging program waiting for the end of the drop until it closes.
        QMetaObject::invokeMethod(
            this, [this, path] { dropFile(path); }, Qt::QueuedConnection);
        return true;
    }
    default:
        return false;
    }
}

void frmMain::dropFile(const QString &path)
{
    // A folder is no archive; a path that has gone since the drag started
    // cannot be told from one and is ignored as well.
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return;
    const QString pattern = PatternFromFileName(path);
    core::gblnAddMode = true;
    frmItem &editor = platform::formInstance<frmItem>();
    editor.txtPattern->setText(pattern);
    editor.txtFolder->setText(core::readText(core::setting(u"DefaultItemFolder")));
    // The editor enables it itself once the folder is known to exist.
    editor.cmdRelation->setEnabled(false);
    editor.setWindowTitle(QStringLiteral("新しいアイテムの追加"));
    editor.Show(platform::vbModal);
}

QString frmMain::PatternFromFileName(const QString &path)
{
    // The same proposal as for an archive that matched no item.
    return frmMelt::NewItemPattern(path.mid(path.lastIndexOf(platform::kPathSeparator) + 1));
}

} // namespace pellora::ui
