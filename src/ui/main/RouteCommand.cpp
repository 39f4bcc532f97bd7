#include "ui/main/CommandModes.h"

#include "extract/Route.h"
#include "platform/Locale.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace pellora::ui {

namespace {

constexpr int kBadUsage = 2;

int runRoute(int &argc, char **argv)
{
    // No window at all: a script may call this where no display exists.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pellora"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vorn"));
    const QStringList archives = QCoreApplication::arguments().mid(2);
    if (archives.isEmpty()) {
        std::fputs("usage: pellora --route ARCHIVE...\n", stderr);
        return kBadUsage;
    }
    // The most serious outcome of any archive: the codes grow with it.
    int rc = 0;
    for (const QString &archive : archives) {
        const extract::RouteOutcome outcome = extract::routeArchive(archive);
        std::fputs(extract::routeSummary(archive, outcome).toUtf8().constData(), stdout);
        std::fflush(stdout);
        rc = std::max(rc, static_cast<int>(outcome.result));
    }
    return rc;
}

} // namespace

std::optional<int> runCommandMode(int &argc, char **argv)
{
    if (argc < 2)
        return std::nullopt;
    if (std::strcmp(argv[1], "--route") == 0) {
        platform::ensureUtf8Ctype();
        return runRoute(argc, argv);
    }
    if (std::strcmp(argv[1], "--watch") == 0) {
        platform::ensureUtf8Ctype();
        return runWatchCommand(argc, argv);
    }
    return std::nullopt;
}

} // namespace pellora::ui
