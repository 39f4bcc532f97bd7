#pragma once

#include <QStringList>

namespace pellora::ui {

// The program's start: reads the archive path from the command line and
// chooses what this run does — the item list, the unsupported-file message,
// extraction into the one matching item, the chooser for several, or the
// question for none. Returns when that road no longer needs it; the program
// goes on while a window of it is open.
void Main();
// The same with the command-line arguments given.
void Main(const QStringList &arguments);

} // namespace pellora::ui
