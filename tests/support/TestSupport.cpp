#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace pellora::test {

QString dataPath(const QString &relative)
{
    const QByteArray root = qgetenv("PELLORA_TEST_DATA");
    return QDir(QString::fromLocal8Bit(root)).filePath(relative);
}

QJsonArray fixtureManifest()
{
    QFile file(dataPath(QStringLiteral("fixtures.json")));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    return doc.isArray() ? doc.array() : doc.object().value(QStringLiteral("fixtures")).toArray();
}

QByteArray sha256Hex(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QMap<QString, QString> fileHashes(const QString &folder)
{
    QMap<QString, QString> hashes;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        hashes.insert(root.relativeFilePath(path), QString::fromLatin1(sha256Hex(file.readAll())));
    }
    return hashes;
}

QStringList folders(const QString &folder)
{
    QStringList result;
    const QDir root(folder);
    QDirIterator it(
        folder, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext())
        result.append(root.relativeFilePath(it.next()));
    result.sort();
    return result;
}

QStringList allNames(const QString &folder)
{
    QStringList result;
    const QDir root(folder);
    QDirIterator it(
        folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        result.append(root.relativeFilePath(it.next()));
    result.sort();
    return result;
}

QStringList treeState(const QString &folder)
{
    QStringList lines;
    for (const QString &name : allNames(folder)) {
        const QString path = QDir(folder).filePath(name);
        struct stat st { };
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
            lines.append(name + QStringLiteral(" unreadable"));
            continue;
        }
        QString what;
        if (S_ISLNK(st.st_mode)) {
            what = QStringLiteral("link ") + QFile::symLinkTarget(path);
        } else if (S_ISDIR(st.st_mode)) {
            lines.append(QStringLiteral("%1 folder %2").arg(name).arg(st.st_mode & 07777, 0, 8));
            continue;
        } else {
            QFile file(path);
            what
                = file.open(QIODevice::ReadOnly) ? QString::fromLatin1(sha256Hex(file.readAll())) : QStringLiteral("?");
        }
        lines.append(QStringLiteral("%1 %2 %3 %4")
                         .arg(name)
                         .arg(st.st_mode & 07777, 0, 8)
                         .arg(qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec)
                         .arg(what));
    }
    return lines;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        QFAIL(qPrintable(QStringLiteral("cannot write %1").arg(path)));
}

bool isolateSettings(const QTemporaryDir &config)
{
    if (!config.isValid())
        return false;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QCoreApplication::setOrganizationName(QStringLiteral("Vorn"));
    QCoreApplication::setApplicationName(QStringLiteral("Pellora"));
    return true;
}

} // namespace pellora::test
