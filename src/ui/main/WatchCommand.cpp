// "--watch [FOLDER]": routes downloads as they arrive, with a tray icon where
// the desktop has a tray and without any window otherwise.

#include "ui/main/CommandModes.h"

#include "extract/DownloadWatcher.h"
#include "extract/frmLog.h"
#include "platform/FileActivity.h"
#include "platform/Locale.h"
#include "platform/SystemShell.h"
#include "platform/gui/DesktopShell.h"
#include "platform/gui/Form.h"
#include "platform/gui/Icons.h"
#include "platform/gui/Notifier.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace pellora::ui {

namespace {

constexpr int kBadUsage = 2;
constexpr int kCannotWatch = 1;

// How often a waiting download is looked at; tests make it shorter.
int checkIntervalMs()
{
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("PELLORA_WATCH_INTERVAL_MS", &ok);
    return ok && fromEnvironment > 0 ? fromEnvironment : 1000;
}

// Answers nobody is there to give: while a download is routed, questions
// take their safe default and messages go to standard error, as in a
// command-line route; otherwise (the item list opened from the tray) the
// desktop's boxes.
class WatchShells final {
public:
    WatchShells() { platform::setShell(&m_desktop); }
    ~WatchShells() { platform::setShell(nullptr); }
    template <class F> void unattended(F &&work)
    {
        platform::setShell(&m_system);
        work();
        platform::setShell(&m_desktop);
    }

private:
    platform::DesktopShell m_desktop;
    platform::SystemShell m_system;
};

void printOutcome(const QString &path, const extract::RouteOutcome &outcome)
{
    std::fputs(extract::routeSummary(path, outcome).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// The report's last line: its counts.
QString countsOf(const QString &report)
{
    const QStringList lines = report.trimmed().split(u'\n');
    return lines.isEmpty() ? QString() : lines.last();
}

// Tells the user what became of a download, with what can be done next:
// look at the folder, choose among the items, read the report. A file that
// matched no item, or is no archive, is none of Pellora's business.
void notifyOutcome(platform::Notifier &notifier, const QString &path, const extract::RouteOutcome &outcome)
{
    const QString name = QFileInfo(path).fileName();
    // A damaged archive that matched an item is that item's failed download.
    const extract::RouteResult result = outcome.result == extract::RouteResult::Unsupported && !outcome.title.isEmpty()
        ? extract::RouteResult::Failed
        : outcome.result;
    switch (result) {
    case extract::RouteResult::Extracted: {
        const QString folder = outcome.output;
        notifier.notify(QStringLiteral("%1 を解凍しました").arg(outcome.title),
            QStringLiteral("%1\n%2").arg(name, countsOf(outcome.report)), QStringLiteral("フォルダを開く"),
            [folder] { platform::shell().openDocument(folder, folder); });
        break;
    }
    case extract::RouteResult::SeveralMatches:
        notifier.notify(QStringLiteral("%1 は複数のアイテムに一致します").arg(name), outcome.candidates.join(u'\n'),
            QStringLiteral("選択する"), [path] {
                // The ordinary start with the archive: its chooser asks.
                QString error;
                if (!platform::shell().startProgram(QCoreApplication::applicationFilePath(), { path }, &error))
                    platform::shell().messageBox(
                        error, platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Pellora"));
            });
        break;
    case extract::RouteResult::Failed: {
        const QString report = outcome.report;
        notifier.notify(QStringLiteral("%1 を解凍できませんでした").arg(name), countsOf(report),
            QStringLiteral("結果を見る"), [report] { extract::frmLog::showReport(report); });
        break;
    }
    case extract::RouteResult::NoMatch:
    case extract::RouteResult::Unsupported:
        break;
    }
}

} // namespace

int runWatchCommand(int &argc, char **argv)
{
    // Watching needs no display: without one it runs on the offscreen
    // platform and simply has no tray icon.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::installQtTranslations();
    QApplication::setApplicationName(QStringLiteral("Pellora"));
    QApplication::setOrganizationName(QStringLiteral("Vorn"));
    platform::useProgramIconFromFirstWindow();
    QApplication::setQuitOnLastWindowClosed(false);

    const QStringList arguments = QCoreApplication::arguments().mid(2);
    if (arguments.size() > 1) {
        std::fputs("usage: pellora --watch [FOLDER]\n", stderr);
        return kBadUsage;
    }
    const QString folder
        = arguments.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) : arguments.first();

    WatchShells shells;
    extract::DownloadWatcher watcher(folder, checkIntervalMs());
    if (!watcher.start()) {
        std::fprintf(stderr, "Pellora: %s を監視できません。\n", folder.toUtf8().constData());
        return kCannotWatch;
    }
    watcher.setRouter([&shells](const QString &path) {
        extract::RouteOutcome outcome;
        shells.unattended([&] { outcome = extract::routeArchive(path); });
        return outcome;
    });
    platform::Notifier notifier;
    QObject::connect(&watcher, &extract::DownloadWatcher::routed, &app,
        [&notifier](const QString &path, const extract::RouteOutcome &outcome) {
            printOutcome(path, outcome);
            notifyOutcome(notifier, path, outcome);
        });
    platform::quitOnTerminationSignals();

    std::unique_ptr<QSystemTrayIcon> tray;
    QMenu menu;
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray = std::make_unique<QSystemTrayIcon>(platform::programIcon());
        tray->setToolTip(QStringLiteral("Pellora - %1").arg(watcher.folder()));
        QObject::connect(menu.addAction(QStringLiteral("アイテム一覧")), &QAction::triggered, &app,
            [] { platform::formInstance<frmMain>().Show(platform::vbModeless); });
        QAction *pause = menu.addAction(QStringLiteral("一時停止"));
        pause->setCheckable(true);
        QObject::connect(pause, &QAction::toggled, &watcher, &extract::DownloadWatcher::setPaused);
        QObject::connect(menu.addAction(QStringLiteral("終了")), &QAction::triggered, &app, &QCoreApplication::quit);
        tray->setContextMenu(&menu);
        tray->show();
    }
    std::fprintf(stderr, "Pellora: %s を監視しています。\n", watcher.folder().toUtf8().constData());

    const int rc = app.exec();
    // An item list left open writes its rows back as it closes.
    if (const QPointer<frmMain> &list = platform::formSlot<frmMain>(); list && list->isLoaded())
        list->Unload();
    return rc;
}

} // namespace pellora::ui
