#include "ui/dialogs/ProgressWindow.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

using namespace pellora;

class tst_ProgressWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void showsTheEntryAndCancelsFromTheButton();
    void escapeCancelsToo();
    void shortRunShowsNoWindow();
};

namespace {

ui::ProgressWindow *findWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<ui::ProgressWindow *>(w); window && window->isVisible())
            return window;
    }
    return nullptr;
}

// Work that pretends to extract until it is asked to stop.
std::function<void()> workUntilCancelled(arc::ProgressState &state, std::atomic<int> &rounds)
{
    return [&state, &rounds] {
        state.beginEntry(QStringLiteral("doc/ソフト説明.txt"), 4096);
        state.addBytes(1024, 10);
        while (!state.cancelRequested()) {
            ++rounds;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
}

} // namespace

void tst_ProgressWindow::showsTheEntryAndCancelsFromTheButton()
{
    QWidget owner;
    arc::ProgressState state;
    std::atomic<int> rounds{ 0 };
    bool sawWindow = false;
    QString shownEntry;
    // The caller is blocked inside run(); this fires from its local event loop.
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        ui::ProgressWindow *window = findWindow();
        if (!window)
            return;
        sawWindow = true;
        window->refresh();
        for (QLabel *label : window->findChildren<QLabel *>())
            shownEntry += label->text() + u'\n';
        auto *cancel = window->findChild<QPushButton *>();
        QVERIFY(cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
        poll.stop();
    });
    poll.start();

    ui::ProgressWindowHost host(0);
    host.run(&owner, state, workUntilCancelled(state, rounds));

    QVERIFY(sawWindow);
    QVERIFY(state.cancelRequested());
    QVERIFY2(shownEntry.contains(QStringLiteral("doc/ソフト説明.txt")), qPrintable(shownEntry));
    QVERIFY2(shownEntry.contains(QStringLiteral("1,024 / 4,096")), qPrintable(shownEntry));
    QVERIFY(!findWindow());
}

void tst_ProgressWindow::escapeCancelsToo()
{
    arc::ProgressState state;
    std::atomic<int> rounds{ 0 };
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (ui::ProgressWindow *window = findWindow()) {
            QTest::keyClick(window, Qt::Key_Escape);
            poll.stop();
        }
    });
    poll.start();
    ui::ProgressWindowHost host(0);
    host.run(nullptr, state, workUntilCancelled(state, rounds));
    QVERIFY(state.cancelRequested());
}

namespace {
// Counts progress windows being shown, whenever it happens.
class ShowCounter final : public QObject {
public:
    int shown = 0;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<ui::ProgressWindow *>(watched))
            ++shown;
        return false;
    }
};
} // namespace

void tst_ProgressWindow::shortRunShowsNoWindow()
{
    ShowCounter counter;
    qApp->installEventFilter(&counter);
    arc::ProgressState state;
    bool ran = false;
    ui::ProgressWindowHost quick(60000);
    quick.run(nullptr, state, [&] { ran = true; });
    QVERIFY(ran);
    QCOMPARE(counter.shown, 0);

    // The same filter does see a window when the run outlasts the delay.
    std::atomic<int> rounds{ 0 };
    QTimer::singleShot(200, this, [&] { state.requestCancel(); });
    ui::ProgressWindowHost slow(0);
    slow.run(nullptr, state, workUntilCancelled(state, rounds));
    qApp->removeEventFilter(&counter);
    QCOMPARE(counter.shown, 1);
}

QTEST_MAIN(tst_ProgressWindow)
#include "tst_ProgressWindow.moc"
