#include "core/OpenForALook.h"

#include "core/modRegistry.h"
#include "platform/Shell.h"

#include <QProcess>

namespace pellora::core {

void OpenForALook(const QString &file, const QString &workingFolder)
{
    if (platform::shell().openDocument(file, workingFolder) != platform::kShellExecuteNoAssoc)
        return;
    // The file is one argument even when its path holds blanks: only the
    // viewer's own command line is split. A setting of blanks or of empty
    // quotes names no program, and is taken as no viewer configured.
    QStringList words = QProcess::splitCommand(readText(setting(u"DefaultFileViewer")));
    if (words.isEmpty()) {
        platform::shell().showTextViewer(file);
        return;
    }
    const QString program = words.takeFirst();
    QString error;
    // A viewer that cannot be started is said so, as every start is here: a
    // configured Windows viewer does not exist on this system.
    if (!platform::shell().startProgram(program, words << file, &error))
        platform::shell().messageBox(error, platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Pellora"));
}

} // namespace pellora::core
