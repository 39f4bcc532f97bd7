#include "platform/archiver/ParallelDecoder.h"

#include "platform/archiver/ArchiveReader.h"
#include "platform/archiver/FastPath.h"
#include "platform/archiver/Progress.h"

#include <archive_entry.h>
#include <chrono>
#include <sched.h>
#include <system_error>

namespace pellora::arc {

int usableCores(int max)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    const int cores = ::sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    return qBound(1, cores, max);
}

namespace {

// Writes what a decoder hands out into the job's temporary file, in order.
class StagedSink final : public DataSink {
public:
    StagedSink(ParallelDecoder::Job &job, ProgressState *progress)
        : m_job(job)
        , m_progress(progress)
    {
    }
    bool write(const char *data, size_t size) override { return writeAt(data, size, m_job.written.load()); }
    bool writeAt(const char *data, size_t size, qint64 offset)
    {
        if (size > 0 && m_job.staged.isOpen() && !m_job.staged.writeAt(data, size, offset))
            return false;
        m_job.written.store(qMax(m_job.written.load(), offset + qint64(size)));
        if (m_progress)
            m_progress->addDecodedAhead(qint64(size));
        return true;
    }

private:
    ParallelDecoder::Job &m_job;
    ProgressState *m_progress;
};

} // namespace

class ParallelDecoder::Worker {
public:
    std::unique_ptr<FastPath::Decoder> fast;
    std::unique_ptr<ArchiveReader> reader;
    qint64 header = -1; // the header the reader stands at
    bool lost = false; // the reader failed; nothing more through it
};

ParallelDecoder::ParallelDecoder(const ArchiveReader &first, const FastPath *fast, int workers, ProgressState *progress)
    : m_first(first)
    , m_fast(fast)
    , m_progress(progress)
{
    try {
        for (int i = 0; i < workers; ++i)
            m_threads.emplace_back([this] {
                Worker worker;
                work(worker);
            });
    } catch (const std::system_error &) {
        // Out of threads: those that started do the work; with none, every
        // entry goes back to the run (see wait).
    }
}

ParallelDecoder::~ParallelDecoder()
{
    stop();
}

void ParallelDecoder::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop.store(true);
        m_queue.clear();
    }
    m_changed.notify_all();
    for (std::thread &t : m_threads)
        t.join();
    m_threads.clear();
}

void ParallelDecoder::submit(const std::shared_ptr<Job> &job)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(job);
    }
    m_changed.notify_all();
}

ParallelDecoder::Job::State ParallelDecoder::wait(Job &job)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // A stop asked for is a stop even when the entry is ready: one thread
        // would not have finished it either.
        if (m_progress && m_progress->cancelRequested()) {
            m_stop.store(true);
            m_changed.notify_all();
            // A job already taken finishes or stops within one block.
            m_changed.wait(lock, [&] { return job.state != Job::State::Busy; });
            return Job::State::Cancelled;
        }
        if (job.state != Job::State::Queued && job.state != Job::State::Busy)
            return job.state;
        if (m_threads.empty())
            return Job::State::Doubt;
        // The entry the run waits for is the one shown: its bytes so far.
        if (m_progress)
            m_progress->entryDone(job.written.load(), 0);
        m_changed.wait_for(lock, std::chrono::milliseconds(40));
    }
}

void ParallelDecoder::work(Worker &worker)
{
    const auto stopping = [this] { return m_stop.load() || (m_progress && m_progress->cancelRequested()); };
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop.load() || !m_queue.empty(); });
            if (m_stop.load())
                return;
            job = m_queue.front();
            m_queue.pop_front();
            job->state = Job::State::Busy;
        }
        StagedSink sink(*job, m_progress);
        Job::State result = Job::State::Doubt;

        bool viaLibarchive = true;
        if (job->record >= 0 && m_fast) {
            if (!worker.fast)
                worker.fast = m_fast->decoder(m_stop);
            switch (worker.fast->decode(job->record, sink)) {
            case FastPath::Result::Written:
                result
                    = job->declared < 0 || job->written.load() == job->declared ? Job::State::Ready : Job::State::Doubt;
                job->viaFastPath = true;
                viaLibarchive = false;
                break;
            case FastPath::Result::Fallback:
                job->written.store(0);
                viaLibarchive = !job->fastOnly && (!job->staged.isOpen() || job->staged.restart());
                break;
            case FastPath::Result::WriteFailed:
                viaLibarchive = false;
                break;
            case FastPath::Result::Cancelled:
                result = Job::State::Cancelled;
                viaLibarchive = false;
                break;
            }
        }

        if (viaLibarchive && !worker.lost && !job->fastOnly) {
            if (!worker.reader)
                worker.reader = m_first.another();
            // Step over the headers others decode; libarchive skips their data.
            bool there = worker.reader != nullptr && worker.header < job->header;
            while (there && worker.header < job->header) {
                there = worker.reader->next() == ArchiveReader::Next::Entry;
                ++worker.header;
            }
            archive_entry *e = there ? worker.reader->entry() : nullptr;
            const qint64 declared = e && archive_entry_size_is_set(e) ? archive_entry_size(e) : -1;
            if (!e || worker.reader->rawName() != job->rawName || declared != job->declared) {
                worker.lost = true;
            } else {
                switch (worker.reader->readData(
                    declared,
                    [&](const char *data, size_t length, qint64 offset) { return sink.writeAt(data, length, offset); },
                    stopping)) {
                case ArchiveReader::DataEnd::Done:
                    result = Job::State::Ready;
                    break;
                case ArchiveReader::DataEnd::Stopped:
                    result = Job::State::Cancelled;
                    break;
                case ArchiveReader::DataEnd::Fatal:
                    worker.lost = true;
                    break;
                case ArchiveReader::DataEnd::Damaged:
                case ArchiveReader::DataEnd::WriteFailed:
                    break;
                }
            }
        }

        {
            std::lock_guard lock(m_mutex);
            job->state = result;
        }
        m_changed.notify_all();
    }
}

} // namespace pellora::arc
