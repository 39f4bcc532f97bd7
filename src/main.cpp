#include "platform/Locale.h"
#include "platform/archiver/Progress.h"
#include "platform/gui/DesktopShell.h"
#include "ui/dialogs/ProgressWindow.h"
#include "ui/main/modGeneral.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Before anything reads a name: archive names are converted through LC_CTYPE.
    pellora::platform::ensureUtf8Ctype();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pellora"));
    QApplication::setOrganizationName(QStringLiteral("Vorn"));

    pellora::platform::DesktopShell shell;
    pellora::platform::setShell(&shell);
    pellora::ui::ProgressWindowHost progressHost;
    pellora::arc::setProgressHost(&progressHost);

    pellora::ui::Main();

    // The run goes on while a window it opened is still there (a text viewer,
    // later the item list); otherwise it ends here.
    int rc = 0;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible()) {
            rc = app.exec();
            break;
        }
    }
    pellora::arc::setProgressHost(nullptr);
    pellora::platform::setShell(nullptr);
    return rc;
}
