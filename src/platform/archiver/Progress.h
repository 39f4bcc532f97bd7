#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

class QObject;

namespace pellora::arc {

// What an extraction run shares with whoever watches it. The run writes from
// its own thread; a progress window reads and may ask it to stop.
class ProgressState final {
public:
    struct Snapshot {
        QString entry;
        qint64 entryBytes = 0;
        qint64 entrySize = 0;
        qint64 totalBytes = 0; // bytes written in the whole run
        qint64 archiveSize = 0; // size of the archive file, for a rough whole-run fraction
        qint64 archiveRead = 0; // compressed bytes consumed so far
    };

    void setArchiveSize(qint64 size);
    void beginEntry(const QString &name, qint64 size);
    void addBytes(qint64 written, qint64 archivePosition);
    // Bytes a worker wrote ahead of the entry being shown: they count for
    // the run only. The entry shown has its bytes so far set by entryDone
    // (the archive position only ever moves forward).
    void addDecodedAhead(qint64 written);
    void entryDone(qint64 written, qint64 archivePosition);
    Snapshot snapshot() const;

    void requestCancel() { m_cancel.store(true); }
    bool cancelRequested() const { return m_cancel.load(); }

private:
    mutable std::mutex m_mutex;
    Snapshot m_snapshot;
    std::atomic<bool> m_cancel{ false };
};

// Runs an extraction and shows its progress. The layer itself has no widgets:
// the GUI installs a host that runs the work off the UI thread and waits in a
// local event loop behind a progress window; without one the work runs
// directly on the caller's thread.
class ProgressHost {
public:
    virtual ~ProgressHost();
    // Must return only after work() has returned.
    virtual void run(QObject *owner, ProgressState &state, const std::function<void()> &work) = 0;
};

// The host used when a command shows progress; null for none. Not owned.
void setProgressHost(ProgressHost *host);
ProgressHost *progressHost();

} // namespace pellora::arc
