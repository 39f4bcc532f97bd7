// The peer of pellora's start-up in bench/startup_bench.py: a Qt Widgets
// program that creates its QApplication and quits at once. Whatever pellora
// takes beyond this is its own work (settings, item list, matching,
// extraction).

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
