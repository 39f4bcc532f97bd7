#pragma once

#include "platform/archiver/OutputTree.h"

#include <QByteArray>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pellora::arc {

class ArchiveReader;
class FastPath;
class ProgressState;

// The cores this process may run on, at most max.
int usableCores(int max);

// Decodes entries ahead of the run on worker threads, each into a temporary
// file of its own, while the run itself goes on in archive order and takes
// each result when it reaches that entry. Workers read the archive through
// the fast path where it takes the entry, else through a libarchive reader
// of their own over the run's descriptor, stepping over the entries others
// decode. A worker that meets anything it cannot vouch for (damaged data, a
// header that does not match the run's, a failed write) says so, and the run
// decodes that entry, and all after it, itself as it always did: its verdict
// and its report are then exactly those of a run without workers.
class ParallelDecoder final {
public:
    struct Job {
        enum class State { Queued, Busy, Ready, Doubt, Cancelled };
        // Given by the run.
        qint64 header = 0; // index of the entry's header in the archive
        QByteArray rawName;
        qint64 declared = -1; // size the header declares, -1 when none
        qint64 record = -1; // the fast path's record, -1 for libarchive
        bool fastOnly = false; // never through libarchive: Fallback is Doubt
        // Where the bytes go; not open: only checked, as the run does not
        // ask for them (libarchive would still decode them in passing).
        OutputTree::PendingFile staged;
        // Given by the worker.
        State state = State::Queued;
        std::atomic<qint64> written{ 0 }; // read meanwhile for the progress shown
        bool viaFastPath = false;
    };

    // first: the run's own reader, whose descriptor the workers share.
    ParallelDecoder(const ArchiveReader &first, const FastPath *fast, int workers, ProgressState *progress);
    ~ParallelDecoder(); // stops the workers; results not taken are discarded
    ParallelDecoder(const ParallelDecoder &) = delete;
    ParallelDecoder &operator=(const ParallelDecoder &) = delete;

    // Jobs are decoded in the order given; give them in archive order.
    void submit(const std::shared_ptr<Job> &job);
    // Waits until the job is done or the user asks to stop (then Cancelled;
    // the workers stop too). Looks at the request every few tens of ms.
    Job::State wait(Job &job);
    void stop();

private:
    class Worker;
    void work(Worker &worker);

    const ArchiveReader &m_first;
    const FastPath *m_fast;
    ProgressState *m_progress;
    std::atomic<bool> m_stop{ false };
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<Job>> m_queue;
    std::vector<std::thread> m_threads;
};

} // namespace pellora::arc
