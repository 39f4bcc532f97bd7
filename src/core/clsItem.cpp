#include "core/clsItem.h"

#include "core/ArchiveKind.h"
#include "core/TargetFolder.h"
#include "platform/Paths.h"
#include "platform/Shell.h"

#include <QCoreApplication>

namespace pellora::core {

std::shared_ptr<clsItem> CurrentItem;
bool gblnAddMode = false;
bool gblnAddFromArchive = false;
bool gblnNoRemoveBox = false;
bool gblnExtractionFailed = false;

namespace {

QStringList programArguments()
{
    return QCoreApplication::instance() ? QCoreApplication::arguments().mid(1) : QStringList();
}

} // namespace

clsItem::clsItem()
    : clsItem(programArguments())
{
}

clsItem::clsItem(const QStringList &arguments)
{
    // The arguments as one text, the way the command line arrives on Windows.
    const QString text = arguments.join(u' ');
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"'))
        m_path = text.mid(1, text.size() - 2);
    else
        m_path = platform::ToLongPath(text);
    detectKind();
}

void clsItem::setOutput(const QString &output)
{
    // A folder that is not absolute is kept as it came, to be refused by
    // extraction in the words the user wrote.
    m_output = IsAbsoluteFolder(output) ? platform::withTrailingSeparator(output) : output;
}

void clsItem::setPath(const QString &path)
{
    m_path = path;
    detectKind();
}

QString clsItem::Name() const
{
    return m_path.mid(m_path.lastIndexOf(platform::kPathSeparator) + 1);
}

QString clsItem::Folder() const
{
    return m_path.left(m_path.lastIndexOf(platform::kPathSeparator) + 1);
}

void clsItem::detectKind()
{
    m_archiveType = m_path.isEmpty() ? QString() : detectArchiveKind(m_path);
}

} // namespace pellora::core
