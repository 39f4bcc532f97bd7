// Times the item list with many items: opening to its first paint, sorting by
// each column, and closing with the save. Prints each figure for 10,000 items
// beside the same steps for 10 items, measured in the same run.
//   QT_QPA_PLATFORM=offscreen build/bench/pellora-bench-main-window [items] [repetitions]

#include "core/ItemFile.h"
#include "core/modRegistry.h"
#include "platform/gui/Form.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pellora;

namespace {

struct Figures {
    double open = 0, close = 0;
    std::vector<double> sort;
};

class PaintWatch final : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

void writeItems(int count)
{
    QList<core::ItemRecord> records;
    records.reserve(count);
    for (int i = 0; i < count; ++i) {
        // Mixed texts, so every column really sorts.
        const int k = (i * 7919) % count;
        records.append({ QStringLiteral("ソフト %1").arg(k), QStringLiteral("tool%1*.lzh").arg((k * 31) % 997),
            QStringLiteral("/home/user/Tools/Tool %1/").arg((k * 13) % count),
            k % 3 ? QStringLiteral("readme%1.txt").arg(k % 17) : QString() });
    }
    core::ItemFile(core::itemFilePath()).write(records);
}

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

Figures measure(int count)
{
    writeItems(count);
    Figures f;
    QElapsedTimer timer;
    timer.start();
    ui::frmMain &main = platform::formInstance<ui::frmMain>();
    PaintWatch watch;
    main.lvwMain->viewport()->installEventFilter(&watch);
    main.Show();
    while (!watch.painted)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    f.open = msSince(timer);
    for (int column = 0; column < 4; ++column) {
        timer.restart();
        Q_EMIT main.lvwMain->horizontalHeader()->sectionClicked(column);
        QApplication::processEvents();
        f.sort.push_back(msSince(timer));
    }
    main.lvwMain->viewport()->removeEventFilter(&watch);
    timer.restart();
    main.Unload();
    f.close = msSince(timer);
    QApplication::processEvents();
    return f;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vorn"));
    QApplication::setApplicationName(QStringLiteral("Pellora"));
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const int items = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const int reps = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    std::vector<double> open[2], close[2], sort[2][4];
    const int counts[2] = { 10, items };
    for (int r = 0; r < reps; ++r) {
        for (int which = 0; which < 2; ++which) {
            core::DeleteSettingsKey();
            const Figures f = measure(counts[which]);
            open[which].push_back(f.open);
            close[which].push_back(f.close);
            for (int c = 0; c < 4; ++c)
                sort[which][c].push_back(f.sort[size_t(c)]);
        }
    }
    QFile::remove(core::itemFilePath());

    bool ok = true;
    auto line = [&](const char *what, const std::vector<double> &small, const std::vector<double> &large) {
        const double s = median(small), l = median(large);
        const bool pass = l < 200.0;
        ok = ok && pass;
        std::printf("%-22s %8.1f ms for %d items  %8.1f ms for 10  ratio %6.1f  goal < 200 ms  %s\n", what, l, items, s,
            s > 0 ? l / s : 0.0, pass ? "PASS" : "MISS");
    };
    line("open to first paint", open[0], open[1]);
    const char *names[4] = { "sort by name", "sort by pattern", "sort by folder", "sort by related file" };
    for (int c = 0; c < 4; ++c)
        line(names[c], sort[0][c], sort[1][c]);
    line("close with the save", close[0], close[1]);
    return ok ? 0 : 1;
}
