#pragma once

class QFileDialog;

namespace pellora::platform {

// Qt's own file dialog starts its columns and its side bar at fixed widths,
// which cut Japanese headers, sizes and dates down to a few characters. This
// fits them to what they show once the folder is listed, widening the dialog
// as far as the screen allows. A native dialog (one with no such widgets) is
// left as it is.
void fitFileDialogColumns(QFileDialog &dialog);

} // namespace pellora::platform
