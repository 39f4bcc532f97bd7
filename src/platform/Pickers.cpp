#include "platform/Pickers.h"

#include "platform/Paths.h"
#include "platform/Shell.h"

#include <QDir>

namespace pellora::platform {

namespace {
constexpr int kReturnOnlyFileSystemFolders = 1;
}

QString SelectFolder(QObject *owner, const QString &current)
{
    QString start = current;
    if (start.endsWith(kPathSeparator) && start.size() > 1)
        start.chop(1);
    if (start.isEmpty())
        start = QDir::currentPath();
    const QString chosen = shell().BrowseForFolder(
        owner, QStringLiteral("フォルダを指定してください。"), start, kReturnOnlyFileSystemFolders);
    if (chosen.isEmpty())
        return current;
    return withTrailingSeparator(chosen);
}

QString SelectExecutable(QObject *owner, const QString &filter, const QString &current)
{
    const QString chosen = shell().ShowOpenDialog(owner, filter, QDir::currentPath());
    return chosen.isEmpty() ? current : chosen;
}

} // namespace pellora::platform
