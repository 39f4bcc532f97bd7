#include "support/RecordingShell.h"

#include "platform/SystemShell.h"

namespace pellora::test {

QStringList RecordingShell::callsOf(const QString &kind) const
{
    QStringList found;
    for (const QString &call : calls) {
        if (call.startsWith(kind + u'|'))
            found.append(call);
    }
    return found;
}

QString messageBoxCall(const QString &text, int style, const QString &title)
{
    return QStringLiteral("messageBox|%1|%2|%3").arg(text).arg(style).arg(title);
}

int RecordingShell::messageBox(const QString &text, int style, const QString &title)
{
    calls.append(messageBoxCall(text, style, title));
    return answers.isEmpty() ? platform::defaultAnswer(style) : answers.takeFirst();
}

bool RecordingShell::startCommandLine(const QString &commandLine, QString *error)
{
    calls.append(QStringLiteral("start|") + commandLine);
    if (!startSucceeds && error)
        *error = QStringLiteral("cannot start");
    return startSucceeds;
}

bool RecordingShell::startProgram(const QString &program, const QStringList &arguments, QString *error)
{
    calls.append(QStringLiteral("program|") + (QStringList{ program } + arguments).join(u'|'));
    if (!startSucceeds && error)
        *error = QStringLiteral("cannot start");
    return startSucceeds;
}

int RecordingShell::openDocument(const QString &file, const QString &workingFolder)
{
    calls.append(QStringLiteral("open|%1|%2").arg(file, workingFolder));
    return openResult;
}

void RecordingShell::showTextViewer(const QString &file)
{
    calls.append(QStringLiteral("viewer|") + file);
}

bool RecordingShell::copyFile(const QString &source, const QString &destination)
{
    calls.append(QStringLiteral("copy|%1|%2").arg(source, destination));
    return fileOperationsSucceed;
}

bool RecordingShell::moveFile(const QString &source, const QString &destination)
{
    calls.append(QStringLiteral("move|%1|%2").arg(source, destination));
    return fileOperationsSucceed;
}

bool RecordingShell::moveToTrash(const QString &path)
{
    calls.append(QStringLiteral("trash|") + path);
    return fileOperationsSucceed;
}

void RecordingShell::showHelp(const QString &helpFile, Help command, int context)
{
    calls.append(QStringLiteral("help|%1|%2|%3").arg(helpFile).arg(int(command)).arg(context));
}

QString RecordingShell::BrowseForFolder(QObject *, const QString &prompt, const QString &initialFolder, int flags)
{
    calls.append(QStringLiteral("browse|%1|%2|%3").arg(prompt, initialFolder).arg(flags));
    return pickedFolder;
}

QString RecordingShell::ShowOpenDialog(QObject *, const QString &filter, const QString &initialFolder)
{
    calls.append(QStringLiteral("openDialog|%1|%2").arg(filter, initialFolder));
    return pickedFile;
}

} // namespace pellora::test
