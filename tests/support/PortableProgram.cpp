#include "support/PortableProgram.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

namespace pellora::test {

PortableProgram::PortableProgram(const QString &binary)
{
    m_valid = m_root.isValid() && QDir().mkpath(path(QStringLiteral("app"))) && QFile::copy(binary, program())
        && QFile(program()).setPermissions(QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner);
}

QProcessEnvironment PortableProgram::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name :
        { QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("QT_QPA_PLATFORM"),
            QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("XDG_RUNTIME_DIR") })
        environment.remove(name);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
    return environment;
}

QString PortableProgram::copyFixture(const QString &fixture, const QString &relative) const
{
    const QString target = path(relative);
    QDir().mkpath(QFileInfo(target).path());
    QFile::remove(target);
    return QFile::copy(dataPath(fixture), target) ? target : QString();
}

QMap<QString, QString> PortableProgram::expectedFiles(const QString &fixture)
{
    QMap<QString, QString> files;
    for (const QJsonValue &value : fixtureManifest()) {
        if (value.toObject().value(QStringLiteral("file")).toString() != fixture)
            continue;
        const QJsonObject listed = value.toObject().value(QStringLiteral("files")).toObject();
        for (auto it = listed.begin(); it != listed.end(); ++it)
            files.insert(it.key(), it.value().toString());
    }
    return files;
}

} // namespace pellora::test
