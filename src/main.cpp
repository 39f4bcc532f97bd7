#include "core/Startup.h"
#include "core/clsItem.h"
#include "extract/HistoryCommands.h"
#include "platform/Locale.h"
#include "platform/archiver/Progress.h"
#include "platform/gui/DesktopShell.h"
#include "platform/gui/Form.h"
#include "platform/gui/Icons.h"
#include "ui/dialogs/ProgressWindow.h"
#include "ui/main/CommandModes.h"
#include "ui/main/modGeneral.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The runs without the item list's windows make their own application.
    if (const std::optional<int> rc = pellora::ui::runCommandMode(argc, argv))
        return *rc;
    // Before anything reads a name: archive names are converted through LC_CTYPE.
    pellora::platform::ensureUtf8Ctype();
    // Answered before any window system is needed: it works from a terminal
    // without a display, and opens no window.
    {
        QStringList arguments;
        for (int i = 1; i < argc; ++i)
            arguments.append(QString::fromLocal8Bit(argv[i]));
        const QString information = pellora::core::informationRequest(arguments, QStringLiteral(PELLORA_VERSION));
        if (!information.isEmpty()) {
            std::fputs(information.toLocal8Bit().constData(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    // The history commands need no window and no display.
    if (const auto rc = pellora::extract::runHistoryCommand(argc, argv))
        return *rc;
    QApplication app(argc, argv);
    pellora::platform::installQtTranslations();
    QApplication::setApplicationName(QStringLiteral("Pellora"));
    QApplication::setOrganizationName(QStringLiteral("Vorn"));
    pellora::platform::useProgramIconFromFirstWindow();

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
    // A caller (a browser, a script) learns that the archive was not extracted.
    return rc != 0 ? rc : pellora::core::gblnExtractionFailed ? 1 : 0;
}
