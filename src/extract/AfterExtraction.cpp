// What follows a complete extraction into an item's folder: the archive is
// disposed of as configured, the folder opened, the related file opened.

#include "core/OpenForALook.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Paths.h"
#include "platform/Shell.h"

#include <QCoreApplication>

namespace pellora::core {

namespace {

enum ArchiveOperation { kDoNothing = 0, kRecycle = 1, kMove = 2, kCopy = 3 };

void reportStartFailure(const QString &error)
{
    platform::shell().messageBox(error, platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Pellora"));
}

} // namespace

void clsItem::DisposeArchive()
{
    // A keeping folder written without its separator (by hand, or by an older
    // version) is still that folder, not a prefix of the archive's new name.
    QString keeping = readText(setting(u"ArchiveOperationFolder"));
    if (!keeping.isEmpty())
        keeping = platform::withTrailingSeparator(keeping);
    QString destination = keeping + Name();
    if (readYesNo(setting(u"ArchiveOperationTargetFolder")))
        destination = m_output + Name();
    // Nowhere to go, or already there (exact comparison: a folder differing
    // in case is another folder on this system).
    if (destination == Name() || destination == m_path)
        return;
    switch (readNumber(setting(u"ArchiveOperation"))) {
    case kRecycle:
        platform::shell().moveToTrash(m_path);
        break;
    case kMove:
        platform::shell().moveFile(m_path, destination);
        break;
    case kCopy:
        platform::shell().copyFile(m_path, destination);
        break;
    default:
        break;
    }
}

void clsItem::OpenFiler()
{
    QString filer = readText(setting(u"DefaultFiler"));
    if (filer.isEmpty())
        filer = QStringLiteral("xdg-open");
    const QString commandLine = QStringLiteral("%1 \"%2\"").arg(filer, m_output.chopped(m_output.isEmpty() ? 0 : 1));
    QString error;
    if (!platform::shell().startCommandLine(commandLine, &error))
        reportStartFailure(error);
    QCoreApplication::processEvents();
}

void clsItem::OpenRelation()
{
    OpenForALook(m_output + m_relation, m_output.chopped(m_output.isEmpty() ? 0 : 1));
}

} // namespace pellora::core
