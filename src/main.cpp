#include "extract/HistoryCommands.h"
#include "platform/Locale.h"
#include "platform/archiver/Progress.h"
#include "platform/gui/DesktopShell.h"
#include "platform/gui/Form.h"
#include "platform/gui/Icons.h"
#include "ui/dialogs/ProgressWindow.h"
#include "ui/main/modGeneral.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Before anything reads a name: archive names are converted through LC_CTYPE.
    pellora::platform::ensureUtf8Ctype();
    // The history commands need no window and no display.
    if (const auto rc = pellora::extract::runHistoryCommand(argc, argv))
        return *rc;
    QApplication app(argc, argv);
    pellora::platform::installQtTranslations();
    QApplication::setApplicationName(QStringLiteral("Pellora"));
    QApplication::setOrganizationName(QStringLiteral("Vorn"));
    QApplication::setWindowIcon(pellora::platform::programIcon());

    pellora::platform::DesktopShell shell;
    pellora::platform::setShell(&shell);
    pellora::ui::ProgressWindowHost progressHost;
    pellora::arc::setProgressHost(&progressHost);

    // Windows decide when the program ends, not their visibility: a loaded
    // but hidden item list keeps it alive.
    QApplication::setQuitOnLastWindowClosed(false);
    pellora::ui::Main();

    int rc = 0;
    if (pellora::platform::Forms::loadedCount() > 0) {
        pellora::platform::Forms::endWhenNoneLoaded();
        rc = app.exec();
    }
    pellora::arc::setProgressHost(nullptr);
    pellora::platform::setShell(nullptr);
    return rc;
}
