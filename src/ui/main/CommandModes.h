#pragma once

#include <optional>

namespace pellora::ui {

// The runs that are not the windowed program: "--route ARCHIVE..." routes
// archives without any window and "--watch [FOLDER]" routes downloads as they
// arrive. Called before any application object exists; returns the exit code
// when the command line asked for one of them, nothing otherwise.
std::optional<int> runCommandMode(int &argc, char **argv);

// "--watch [FOLDER]" itself; argv[1] is "--watch".
int runWatchCommand(int &argc, char **argv);

} // namespace pellora::ui
