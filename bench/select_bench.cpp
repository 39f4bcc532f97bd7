// Times listing a folder tree of many files into the related-file chooser,
// side by side with `find DIR -type f` over the same tree in the same run.
// Prints the median of each and their ratio (goal: at most 3).
//   QT_QPA_PLATFORM=offscreen build/bench/pellora-bench-select [files] [repetitions] [tree]
// With a third argument the tree is made there and kept, or, when that
// folder exists already, used as it is (for profiling the listing alone).

#include "platform/gui/Form.h"
#include "ui/dialogs/frmItem.h"
#include "ui/select/SelectListing.h"
#include "ui/select/SelectModel.h"
#include "ui/select/frmSelect.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pellora;

namespace {

// Folders of 10 subfolders of 100 small files each, extensions mixed as in
// a real software folder, a few files hidden. Sizes do not matter: the
// listing reads them without reading the contents.
int makeTree(const QString &root, int files)
{
    const char *extensions[] = { ".txt", ".dll", ".exe", ".html", ".png", ".dat", ".ini", "", ".hlp", ".xyz" };
    int made = 0;
    for (int a = 0; made < files; ++a) {
        for (int b = 0; b < 10 && made < files; ++b) {
            const QString folder = QStringLiteral("%1/pkg%2/part%3").arg(root).arg(a).arg(b);
            QDir().mkpath(folder);
            for (int c = 0; c < 100 && made < files; ++c, ++made) {
                const QString name = QStringLiteral("%1file%2%3")
                                         .arg(c % 50 == 0 ? QStringLiteral(".") : QString())
                                         .arg(c)
                                         .arg(QString::fromLatin1(extensions[c % 10]));
                QFile file(folder + u'/' + name);
                if (!file.open(QIODevice::WriteOnly))
                    return made;
                file.write(QByteArray(c % 7, 'x'));
            }
        }
    }
    return made;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double ms(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

double timeFind(const QString &root)
{
    QElapsedTimer timer;
    timer.start();
    QProcess find;
    find.setStandardOutputFile(QProcess::nullDevice());
    find.start(QStringLiteral("find"), { root, QStringLiteral("-type"), QStringLiteral("f") });
    find.waitForFinished(-1);
    return ms(timer);
}

double timeRows(const QString &root, size_t &count)
{
    QElapsedTimer timer;
    timer.start();
    ui::SelectRows rows;
    ui::ListFolder(root, rows);
    const double t = ms(timer);
    count = rows.size();
    return t;
}

// The chooser as the editor opens it: load (listing into the list), shown,
// first paint, then unloaded.
double timeChooser(const QString &root, int &count)
{
    ui::frmItem &editor = platform::formInstance<ui::frmItem>();
    editor.txtFolder->setText(root);
    QElapsedTimer timer;
    timer.start();
    ui::frmSelect &chooser = platform::formInstance<ui::frmSelect>();
    chooser.Show(platform::vbModeless);
    chooser.repaint();
    const double t = ms(timer);
    count = chooser.model()->rowCount();
    chooser.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return t;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Vorn"));
    QCoreApplication::setApplicationName(QStringLiteral("Pellora"));
    const int files = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    const int repetitions = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    QTemporaryDir work;
    const QString root = argc > 3 ? QString::fromLocal8Bit(argv[3]) : work.filePath(QStringLiteral("tree"));
    QElapsedTimer making;
    making.start();
    int made = files;
    if (!QFileInfo::exists(root))
        made = makeTree(root, files);
    std::printf("tree: %d files under %s (made in %.0f ms)\n", made, qPrintable(root), ms(making));

    // One untimed pass of each warms the caches, so all three read the same
    // cached directories.
    size_t rowCount = 0;
    int chooserRows = 0;
    timeFind(root);
    timeRows(root, rowCount);
    timeChooser(root, chooserRows);

    std::vector<double> find, rows, chooser;
    for (int i = 0; i < repetitions; ++i) {
        find.push_back(timeFind(root));
        rows.push_back(timeRows(root, rowCount));
        chooser.push_back(timeChooser(root, chooserRows));
    }
    const double f = median(find), r = median(rows), c = median(chooser);
    std::printf("find DIR -type f:            %8.1f ms (median of %d)\n", f, repetitions);
    std::printf("ListFolder into rows:        %8.1f ms  %zu rows  ratio %.2f\n", r, rowCount, r / f);
    std::printf("chooser load, shown, painted:%8.1f ms  %d rows  ratio %.2f (goal <= 3)\n", c, chooserRows, c / f);
    // The editor is left loaded: unloading it would write an item list.
    return c / f <= 3.0 && int(rowCount) == made && chooserRows == made ? 0 : 1;
}
