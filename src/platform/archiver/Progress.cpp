#include "platform/archiver/Progress.h"

namespace pellora::arc {

namespace {
std::atomic<ProgressHost *> g_host{ nullptr };
}

ProgressHost::~ProgressHost() = default;

void setProgressHost(ProgressHost *host)
{
    g_host.store(host);
}
ProgressHost *progressHost()
{
    return g_host.load();
}

void ProgressState::setArchiveSize(qint64 size)
{
    std::lock_guard lock(m_mutex);
    m_snapshot.archiveSize = size;
}

void ProgressState::beginEntry(const QString &name, qint64 size)
{
    std::lock_guard lock(m_mutex);
    m_snapshot.entry = name;
    m_snapshot.entrySize = size;
    m_snapshot.entryBytes = 0;
}

void ProgressState::addBytes(qint64 written, qint64 archivePosition)
{
    std::lock_guard lock(m_mutex);
    m_snapshot.entryBytes += written;
    m_snapshot.totalBytes += written;
    m_snapshot.archiveRead = archivePosition;
}

void ProgressState::addDecodedAhead(qint64 written)
{
    std::lock_guard lock(m_mutex);
    m_snapshot.totalBytes += written;
}

void ProgressState::entryDone(qint64 written, qint64 archivePosition)
{
    std::lock_guard lock(m_mutex);
    m_snapshot.entryBytes = written;
    m_snapshot.archiveRead = qMax(m_snapshot.archiveRead, archivePosition);
}

ProgressState::Snapshot ProgressState::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_snapshot;
}

} // namespace pellora::arc
