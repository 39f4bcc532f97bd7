#pragma once

#include <optional>

namespace pellora::extract {

// "--history", "--undo RUN-ID" and "--undo-last": handled without any window,
// before the application object exists. The exit code when the arguments ask
// for one of them, nothing otherwise. Undo exits 0 when the folder was fully
// restored, 1 when anything was left, 2 when nothing could be undone.
std::optional<int> runHistoryCommand(int argc, char *argv[]);

} // namespace pellora::extract
