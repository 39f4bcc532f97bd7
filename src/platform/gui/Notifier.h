#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

namespace pellora::platform {

// Desktop notifications through the freedesktop notification service on the
// session bus. Never waits on the bus: where there is no session bus, or no
// service answers, a notification is simply not shown.
class Notifier final : public QObject {
    Q_OBJECT
public:
    explicit Notifier(QObject *parent = nullptr);

    // Shows a notification; onAction runs when its action (labelled
    // actionLabel) or the notification itself is clicked. False when it
    // could not even be sent.
    bool notify(const QString &summary, const QString &body, const QString &actionLabel = {},
        std::function<void()> onAction = {});

private Q_SLOTS:
    void onActionInvoked(uint id, const QString &actionKey);
    void onClosed(uint id, uint reason);

private:
    bool m_connected = false;
    QHash<uint, std::function<void()>> m_actions;
};

} // namespace pellora::platform
