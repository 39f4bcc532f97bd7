#pragma once

#include "extract/Route.h"

#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>

namespace pellora::extract {

// Routes the files that arrive in a folder once their download is complete:
// never while they carry a partial-download name, only after their size has
// stayed the same over two checks and no process holds them open for
// writing. Files already there when watching starts, or arriving while it is
// paused, are left alone; no file is routed twice. One at a time, in the
// order the files arrived.
class DownloadWatcher final : public QObject {
    Q_OBJECT
public:
    DownloadWatcher(const QString &folder, int checkIntervalMs, QObject *parent = nullptr);

    // False when the folder cannot be watched.
    bool start();
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    QString folder() const { return m_folder; }
    // What routes a complete download; routeArchive unless set.
    using Router = std::function<RouteOutcome(const QString &path)>;
    void setRouter(Router router) { m_router = std::move(router); }

Q_SIGNALS:
    void routed(const QString &path, const pellora::extract::RouteOutcome &outcome);

private:
    struct Arrival {
        QString identity;
        QString path;
        qint64 size = -1;
        int stableChecks = 0;
    };
    void scan();
    void check();
    bool ready(Arrival &arrival) const;

    QString m_folder;
    QFileSystemWatcher m_watcher;
    QTimer m_timer;
    QSet<QString> m_known; // identities seen: left alone or routed already
    QList<Arrival> m_arrivals; // in arrival order
    bool m_paused = false;
    Router m_router = routeArchive;
};

} // namespace pellora::extract
