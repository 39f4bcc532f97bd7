#pragma once

#include <QString>

namespace pellora::ui {

// Starts (wanted) or stops the download watch at login with folder (empty:
// the watch's default), telling the user through a message box what could
// not be done. Returns whether the watch starts at login afterwards, which
// is what the setting must say: a refused or failed change is not stored as
// made.
bool applyWatchAtLogin(bool wanted, const QString &folder);

} // namespace pellora::ui
