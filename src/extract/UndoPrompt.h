#pragma once

#include <QString>

namespace pellora::extract {

// Asks whether to undo a run; when the user agrees, undoes it and tells what
// was done and what was left. True when the run was undone, fully or in part;
// false when the user declined or nothing could be undone (a newer run of the
// same item comes first, the run is gone).
bool confirmAndUndoRun(const QString &runId);

} // namespace pellora::extract
