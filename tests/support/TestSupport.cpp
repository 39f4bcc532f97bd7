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
