// The peer of pellora's start in bench/startup_bench.py: a Qt Widgets program
// that creates its QApplication and quits at once. Like pellora after an
// extraction that leaves no window open, it never enters the event loop.
// Whatever pellora takes beyond this is its own work: the libraries it links
// besides Qt, settings, the item list, matching and the extraction.

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return 0;
}
