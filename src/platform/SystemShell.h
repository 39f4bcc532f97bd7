#pragma once

#include "platform/Shell.h"

namespace pellora::platform {

// The desktop services that need no window: processes through QProcess,
// associations through xdg-mime and xdg-open, file operations through the
// file system and the freedesktop trash. Without a GUI, questions are
// answered with their default button and messages go to standard error;
// the GUI's shell derives from this one and puts up real message boxes.
class SystemShell : public Shell {
public:
    int messageBox(const QString &text, int style, const QString &title) override;
    bool startCommandLine(const QString &commandLine, QString *error) override;
    bool startProgram(const QString &program, const QStringList &arguments, QString *error) override;
    int openDocument(const QString &file, const QString &workingFolder) override;
    void showTextViewer(const QString &file) override;
    bool copyFile(const QString &source, const QString &destination) override;
    bool moveFile(const QString &source, const QString &destination) override;
    bool moveToTrash(const QString &path) override;
    void showHelp(const QString &helpFile, Help command, int context) override;
    QString BrowseForFolder(QObject *owner, const QString &prompt, const QString &initialFolder, int flags) override;
    QString ShowOpenDialog(QObject *owner, const QString &filter, const QString &initialFolder) override;

private:
    enum class Transfer { Copy, Move };
    bool transfer(Transfer kind, const QString &source, const QString &destination);
};

// The button a message box of this style presses when nobody answers.
int defaultAnswer(int style);

} // namespace pellora::platform
