#pragma once

#include "platform/Shell.h"

#include <QStringList>

#include <optional>

namespace pellora::test {

// A shell that does nothing but write down what it was asked, and answers
// from a script: message boxes with the next scripted answer (else their
// default button), openDocument with a fixed result.
class RecordingShell final : public platform::Shell {
public:
    QStringList calls; // e.g. "messageBox|text|style|title", "copy|from|to"
    QList<int> answers; // next message-box answers, first first
    int openResult = platform::kShellExecuteOk;
    bool startSucceeds = true;
    bool fileOperationsSucceed = true;
    QString pickedFolder; // what the folder browser returns ("" = cancelled)
    QString pickedFile; // what the file-open dialog returns
    std::optional<QStringList> volumes; // the mount table's roots; unset: the system's

    RecordingShell() { platform::setShell(this); }
    ~RecordingShell() override { platform::setShell(nullptr); }

    QStringList callsOf(const QString &kind) const;

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
    QStringList mountedVolumes() override { return volumes ? *volumes : Shell::mountedVolumes(); }
};

// A message box as RecordingShell::calls writes it down.
QString messageBoxCall(const QString &text, int style, const QString &title = QStringLiteral("Pellora"));

} // namespace pellora::test
