#pragma once

#include "platform/SystemShell.h"

namespace pellora::platform {

// The shell of the windowed program: questions and messages become real
// message boxes, text files open in the program's own viewer and the help
// opens in the help window. Everything else (processes, associations, file
// operations) is the system shell's.
class DesktopShell final : public SystemShell {
public:
    int messageBox(const QString &text, int style, const QString &title) override;
    void showTextViewer(const QString &file) override;
    void showHelp(const QString &helpFile, Help command, int context = 0) override;
    QString BrowseForFolder(QObject *owner, const QString &prompt, const QString &initialFolder, int flags) override;
    QString ShowOpenDialog(QObject *owner, const QString &filter, const QString &initialFolder) override;
};

} // namespace pellora::platform
