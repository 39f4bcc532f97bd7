#include "platform/archiver/RunRecorder.h"

#include <atomic>

namespace pellora::arc {

namespace {
// Atomic: the run may read it on a worker thread while the window waits.
std::atomic<RunRecorder *> g_recorder{ nullptr };
} // namespace

RunRecorder *runRecorder()
{
    return g_recorder.load();
}

void setRunRecorder(RunRecorder *recorder)
{
    g_recorder.store(recorder);
}

} // namespace pellora::arc
