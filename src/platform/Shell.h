#pragma once

#include <QString>
#include <QStringList>

class QObject;

namespace pellora::platform {

// The separator of path texts. Folder texts end with it; file names are
// appended directly. Windows builds would use '\\'.
inline constexpr QChar kPathSeparator = u'/';

// Message-box buttons, icons and answers, numbered as the program's own
// constants have always been so that stored logic reads the same.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
};
enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbRetry = 4, vbYes = 6, vbNo = 7 };

// What ShellExecuteEx would leave in its instance-result field.
inline constexpr int kShellExecuteOk = 42; // any value above 32 is success
inline constexpr int kShellExecuteNoAssoc = 31;

// Every service of the desktop that the program asks for: questions and
// messages, starting programs, opening files with their application, and
// the shell's file operations. Production code calls shell(); tests install
// their own to script the answers and record what was asked.
class Shell {
public:
    virtual ~Shell();

    // A message box; returns the button pressed (a MsgBoxResult).
    virtual int messageBox(const QString &text, int style, const QString &title) = 0;

    // Starts a command line as a new process with a normal window and does
    // not wait. False with a reason when it could not be started.
    virtual bool startCommandLine(const QString &commandLine, QString *error) = 0;
    // The same with the arguments already split (for paths with blanks).
    virtual bool startProgram(const QString &program, const QStringList &arguments, QString *error) = 0;

    // Opens a file with the application associated with its type; returns
    // kShellExecuteNoAssoc when there is none, a value above 32 on success.
    virtual int openDocument(const QString &file, const QString &workingFolder) = 0;

    // Shows a text file in the program's own read-only viewer.
    virtual void showTextViewer(const QString &file) = 0;

    // Copies or moves a file to a full destination path, creating the
    // destination folder without asking and asking before replacing an
    // existing file. False when it did not happen (refused or failed).
    virtual bool copyFile(const QString &source, const QString &destination) = 0;
    virtual bool moveFile(const QString &source, const QString &destination) = 0;
    // Moves a file to the trash, where the user can restore it.
    virtual bool moveToTrash(const QString &path) = 0;

    // The program's help: its contents, its keyword search, or the topic of a
    // context number. helpFile is the help's main file beside the executable.
    enum class Help { Contents, Search, Context };
    virtual void showHelp(const QString &helpFile, Help command, int context = 0) = 0;

    // The folder browser: opens at initialFolder, lets only real folders be
    // chosen; the chosen folder without a trailing separator (the root stays
    // "/"), or "" when cancelled. owner is the window to centre on (may be null).
    virtual QString BrowseForFolder(QObject *owner, const QString &prompt, const QString &initialFolder, int flags) = 0;
    // The file-open dialog: only existing files; filter is "description|pattern"
    // pairs separated by "|". The chosen file's full path, or "" when cancelled.
    virtual QString ShowOpenDialog(QObject *owner, const QString &filter, const QString &initialFolder) = 0;

    // The roots of the mounted volumes, for the drive list: those ready first,
    // each once. Taken from the mount table, which may leave out "/" (a
    // chroot, some sandboxes); the system's answer unless a test scripts one.
    virtual QStringList mountedVolumes();
};

// The shell in use; a SystemShell until another is installed.
Shell &shell();
// Installs a shell (not owned); null goes back to the system's.
void setShell(Shell *shell);

} // namespace pellora::platform
