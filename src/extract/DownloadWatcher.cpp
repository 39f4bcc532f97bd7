#include "extract/DownloadWatcher.h"

#include "platform/FileActivity.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace pellora::extract {

namespace {

// A size that has stayed the same this many checks in a row is taken as final.
constexpr int kStableChecks = 2;

} // namespace

DownloadWatcher::DownloadWatcher(const QString &folder, int checkIntervalMs, QObject *parent)
    : QObject(parent)
    , m_folder(QDir(folder).absolutePath())
{
    m_timer.setInterval(checkIntervalMs);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &DownloadWatcher::scan);
    connect(&m_timer, &QTimer::timeout, this, &DownloadWatcher::check);
}

bool DownloadWatcher::start()
{
    if (!QFileInfo(m_folder).isDir() || !m_watcher.addPath(m_folder))
        return false;
    // What is there already was there before the user asked: not a download
    // of this session.
    const bool paused = m_paused;
    m_paused = true;
    scan();
    m_paused = paused;
    return true;
}

void DownloadWatcher::setPaused(bool paused)
{
    m_paused = paused;
    if (paused)
        scan();
}

void DownloadWatcher::scan()
{
    const QFileInfoList files = QDir(m_folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Time | QDir::Reversed);
    for (const QFileInfo &file : files) {
        if (platform::isPartialDownloadName(file.fileName()))
            continue;
        const QString identity = platform::fileIdentity(file.absoluteFilePath());
        if (identity.isEmpty() || m_known.contains(identity))
            continue;
        if (m_paused) {
            m_known.insert(identity);
            continue;
        }
        const auto same = [&](const Arrival &arrival) { return arrival.identity == identity; };
        if (std::any_of(m_arrivals.cbegin(), m_arrivals.cend(), same))
            continue;
        m_arrivals.append({ identity, file.absoluteFilePath() });
    }
    if (m_paused) {
        for (const Arrival &arrival : std::as_const(m_arrivals))
            m_known.insert(arrival.identity);
        m_arrivals.clear();
    }
    if (!m_arrivals.isEmpty() && !m_timer.isActive())
        m_timer.start();
}

bool DownloadWatcher::ready(Arrival &arrival) const
{
    const QFileInfo file(arrival.path);
    const qint64 size = file.exists() ? file.size() : -1;
    if (size <= 0 || size != arrival.size) {
        // An empty file is a placeholder the download will replace.
        arrival.size = size;
        arrival.stableChecks = 0;
        return false;
    }
    if (++arrival.stableChecks < kStableChecks)
        return false;
    if (platform::isOpenForWriting(arrival.path)) {
        arrival.stableChecks = 0;
        return false;
    }
    return true;
}

void DownloadWatcher::check()
{
    // Changes inotify may not have told (a file system without it) show up
    // here as long as anything is waiting.
    scan();
    for (qsizetype i = 0; i < m_arrivals.size();) {
        Arrival &arrival = m_arrivals[i];
        // Gone (moved away, renamed, replaced): whatever is there now is
        // another arrival with its own identity.
        if (platform::fileIdentity(arrival.path) != arrival.identity) {
            m_known.insert(arrival.identity);
            m_arrivals.removeAt(i);
            continue;
        }
        if (!ready(arrival)) {
            ++i;
            continue;
        }
        const Arrival done = m_arrivals.takeAt(i);
        m_known.insert(done.identity);
        const RouteOutcome outcome = m_router(done.path);
        Q_EMIT routed(done.path, outcome);
        if (m_paused)
            break;
    }
    if (m_arrivals.isEmpty())
        m_timer.stop();
}

} // namespace pellora::extract
