#pragma once

#include <QString>

namespace pellora::core {

// Opens a file with its application, or in the viewer when none is
// associated: the configured viewer command ("DefaultFileViewer"), or the
// program's own viewer when none is configured. A viewer that cannot be
// started is said so in a message box. Used for the related file after an
// extraction and for a look at a file from the related-file chooser.
void OpenForALook(const QString &file, const QString &workingFolder);

} // namespace pellora::core
