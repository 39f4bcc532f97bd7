// Times building the restore submenu, which happens on every opening of the
// item menu, for a keeping folder of many files: the menu's clear and fill
// (listing the folder, matching each name, one entry per match) beside
// `find DIR -maxdepth 1 -name PATTERN` over the same folder in the same run.
// Prints the median of each and their ratio (goal: at most 3).
//   QT_QPA_PLATFORM=offscreen build/bench/pellora-bench-restore [files] [matching] [repetitions]

#include "core/ItemFile.h"
#include "core/modRegistry.h"
#include "platform/gui/Form.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pellora;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Kept archives of many programs; every (files / matching)-th one is the
// item's own, named as successive versions would be.
bool makeKeepingFolder(const QString &folder, int files, int matching)
{
    const int step = std::max(1, files / std::max(1, matching));
    for (int i = 0; i < files; ++i) {
        const QString name = i % step == 0 && i / step < matching ? QStringLiteral("foo%1.lzh").arg(i / step)
                                                                  : QStringLiteral("tool%1-%2.zip").arg(i % 97).arg(i);
        QFile file(folder + u'/' + name);
        if (!file.open(QIODevice::WriteOnly))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vorn"));
    QApplication::setApplicationName(QStringLiteral("Pellora"));
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const int files = argc > 1 ? std::max(1, atoi(argv[1])) : 20000;
    const int matching = argc > 2 ? std::max(0, atoi(argv[2])) : 200;
    const int reps = argc > 3 ? std::max(1, atoi(argv[3])) : 9;

    QTemporaryDir keep;
    if (!makeKeepingFolder(keep.path(), files, matching)) {
        std::fprintf(stderr, "cannot make the keeping folder\n");
        return 2;
    }
    core::DeleteSettingsKey();
    core::writeYesNo(core::setting(u"ArchiveOperationTargetFolder"), false);
    core::writeText(core::setting(u"ArchiveOperationFolder"), keep.path() + u'/');
    core::ItemFile(core::itemFilePath())
        .write({ { QStringLiteral("Foo"), QStringLiteral("foo*.lzh"), QStringLiteral("/home/user/Tools/Foo/"),
            QString() } });
    ui::frmMain &main = platform::formInstance<ui::frmMain>();
    main.Show();
    main.selectRow(0);
    QApplication::processEvents();

    std::vector<double> menu, find;
    qsizetype entries = 0;
    for (int r = 0; r < reps; ++r) {
        QElapsedTimer timer;
        timer.start();
        Q_EMIT main.mnuItem->aboutToShow();
        menu.push_back(msSince(timer));
        entries = main.mnuItemRestore->actions().size() - 1;

        timer.restart();
        QProcess process;
        process.start(QStringLiteral("find"),
            { keep.path(), QStringLiteral("-maxdepth"), QStringLiteral("1"), QStringLiteral("-name"),
                QStringLiteral("foo*.lzh") });
        process.waitForFinished(-1);
        find.push_back(msSince(timer));
    }
    main.Unload();
    QFile::remove(core::itemFilePath());

    const double m = median(menu), f = median(find);
    const bool pass = entries == matching && m <= 3 * f;
    std::printf("restore submenu, %d files, %lld entries: %.1f ms   find -name: %.1f ms   ratio %.2f  goal <= 3  %s\n",
        files, static_cast<long long>(entries), m, f, f > 0 ? m / f : 0.0, pass ? "PASS" : "MISS");
    return pass ? 0 : 1;
}
