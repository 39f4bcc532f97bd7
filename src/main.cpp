#include "platform/Locale.h"
#include "platform/archiver/Progress.h"
#include "ui/dialogs/ProgressWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Before anything reads a name: archive names are converted through LC_CTYPE.
    pellora::platform::ensureUtf8Ctype();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pellora"));
    QApplication::setOrganizationName(QStringLiteral("Vorn"));

    pellora::ui::ProgressWindowHost progressHost;
    pellora::arc::setProgressHost(&progressHost);
    const int rc = 0; // windows come with the item list
    pellora::arc::setProgressHost(nullptr);
    return rc;
}
