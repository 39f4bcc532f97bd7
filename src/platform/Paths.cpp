#include "platform/Paths.h"

#include "platform/Shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sys/stat.h>

namespace pellora::platform {

QString ToLongPath(const QString &path)
{
    const QString s = path.trimmed();
    // No file name holds a NUL: the system would look up the name cut short
    // there and answer for a different file.
    if (s.isEmpty() || s.contains(QChar(0)))
        return {};
    const QString absolute = s.startsWith(kPathSeparator) ? s : QDir::currentPath() + kPathSeparator + s;
    QStringList parts;
    for (const QString &part : absolute.split(kPathSeparator, Qt::SkipEmptyParts)) {
        if (part == u".")
            continue;
        if (part == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    QString result;
    for (const QString &part : parts) {
        result += kPathSeparator + part;
        struct stat st { };
        if (::lstat(QFile::encodeName(result).constData(), &st) != 0)
            return {};
    }
    return result.isEmpty() ? QString(kPathSeparator) : result;
}

QString executableFolder()
{
    return withTrailingSeparator(QCoreApplication::applicationDirPath());
}

bool isInstalledCopy(const QString &executableFolder)
{
    return QFileInfo(installedDataFolder(executableFolder)).isDir();
}

QString installedDataFolder(const QString &executableFolder)
{
    const QString share = QStringLiteral("../share/pellora");
    return withTrailingSeparator(QDir::cleanPath(withTrailingSeparator(executableFolder) + share));
}

QString helpFolder(const QString &executableFolder)
{
    const QString contents = QStringLiteral("index.html");
    const QString beside = withTrailingSeparator(executableFolder) + QStringLiteral("help/");
    if (QFileInfo(beside + contents).isFile())
        return beside;
    const QString installed = installedDataFolder(executableFolder) + QStringLiteral("help/");
    if (QFileInfo(installed + contents).isFile())
        return installed;
    return beside;
}

QString helpFolder()
{
    return helpFolder(executableFolder());
}

QString temporaryFolder()
{
    return withTrailingSeparator(QDir::tempPath());
}

QString withTrailingSeparator(const QString &folder)
{
    return folder.endsWith(kPathSeparator) ? folder : folder + kPathSeparator;
}

} // namespace pellora::platform
