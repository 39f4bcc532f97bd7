#pragma once

#include "platform/SystemShell.h"

namespace pellora::platform {

// The shell of the windowed program: questions and messages become real
// message boxes and text files open in the program's own viewer. Everything
// else (processes, associations, file operations) is the system shell's.
class DesktopShell final : public SystemShell {
public:
    int messageBox(const QString &text, int style, const QString &title) override;
    void showTextViewer(const QString &file) override;
};

} // namespace pellora::platform
