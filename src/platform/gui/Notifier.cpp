#include "platform/gui/Notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QVariantMap>

namespace pellora::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// A bus is there to talk to: asking Qt for one where none runs could start
// one (autolaunch) or wait for it.
bool sessionBusExpected()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

} // namespace

Notifier::Notifier(QObject *parent)
    : QObject(parent)
{
    if (!sessionBusExpected())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    m_connected = true;
    bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

bool Notifier::notify(
    const QString &summary, const QString &body, const QString &actionLabel, std::function<void()> onAction)
{
    if (!m_connected)
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    QStringList actions;
    if (onAction)
        actions << QStringLiteral("default") << actionLabel;
    call << QStringLiteral("Pellora") << uint(0) << QStringLiteral("pellora") << summary << body << actions
         << QVariantMap() << int(-1);
    // Answered later, if ever: the watcher goes on meanwhile.
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, onAction = std::move(onAction)](QDBusPendingCallWatcher *finished) {
            const QDBusPendingReply<uint> reply = *finished;
            if (!reply.isError() && onAction)
                m_actions.insert(reply.value(), onAction);
            finished->deleteLater();
        });
    return true;
}

void Notifier::onActionInvoked(uint id, const QString &actionKey)
{
    Q_UNUSED(actionKey);
    // Taken out first: the action may start a modal window of its own.
    const std::function<void()> action = m_actions.take(id);
    if (action)
        action();
}

} // namespace pellora::platform

namespace pellora::platform {

void Notifier::onClosed(uint id, uint reason)
{
    Q_UNUSED(reason);
    m_actions.remove(id);
}

} // namespace pellora::platform
