#include "ui/dialogs/ProgressWindow.h"

#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "extract/frmOverlap.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "support/FakeArchiver.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

using namespace pellora;

class tst_ProgressWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void showsTheEntryAndCancelsFromTheButton();
    void escapeCancelsToo();
    void shortRunShowsNoWindow();
    void noWindowTakesASecondCommandWhileARunLasts_data();
    void noWindowTakesASecondCommandWhileARunLasts();

private:
    QTemporaryDir m_config;
};

void tst_ProgressWindow::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
}

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

namespace {

// What the user does to the match chooser, or to another window of the
// program (a button standing for the item list's commands).
using Gesture = std::function<void(extract::frmOverlap &, QPushButton *other)>;

QPoint rowCenter(const QTableWidget *list, int row)
{
    return list->visualItemRect(list->item(row, 0)).center();
}

void pressEnterOn(extract::frmOverlap &chooser, int row)
{
    QTest::mouseClick(chooser.lvwOverlap->viewport(), Qt::LeftButton, {}, rowCenter(chooser.lvwOverlap, row));
    QTest::keyClick(chooser.lvwOverlap, Qt::Key_Return);
}

// What the system delivers for a double-click: a whole click, then the
// double-click press and its release.
void doubleClickOn(extract::frmOverlap &chooser, int row)
{
    QWidget *viewport = chooser.lvwOverlap->viewport();
    const QPoint at = rowCenter(chooser.lvwOverlap, row);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
}

} // namespace

void tst_ProgressWindow::noWindowTakesASecondCommandWhileARunLasts_data()
{
    QTest::addColumn<Gesture>("first");
    QTest::addColumn<Gesture>("second"); // arrives while the first one's extraction runs
    QTest::addColumn<int>("chosen");

    QTest::newRow("Enter, then at once Up and Enter, in the match chooser")
        << Gesture([](extract::frmOverlap &w, QPushButton *) { pressEnterOn(w, 1); })
        << Gesture([](extract::frmOverlap &w, QPushButton *) {
               QTest::keyClick(w.lvwOverlap, Qt::Key_Up);
               QTest::keyClick(w.lvwOverlap, Qt::Key_Return);
           })
        << 1;
    QTest::newRow("a double-click on one row, then on another")
        << Gesture([](extract::frmOverlap &w, QPushButton *) { doubleClickOn(w, 0); })
        << Gesture([](extract::frmOverlap &w, QPushButton *) { doubleClickOn(w, 1); }) << 0;
    QTest::newRow("a click on another window of the program")
        << Gesture([](extract::frmOverlap &w, QPushButton *) { pressEnterOn(w, 0); })
        << Gesture([](extract::frmOverlap &, QPushButton *other) { QTest::mouseClick(other, Qt::LeftButton); }) << 0;
}

void tst_ProgressWindow::noWindowTakesASecondCommandWhileARunLasts()
{
    QFETCH(Gesture, first);
    QFETCH(Gesture, second);
    QFETCH(int, chosen);
    QTemporaryDir folders;
    QVERIFY(!core::DeleteSettingsKey());
    core::writeYesNo(core::setting(u"NoLog"), true);
    test::RecordingShell shell;
    auto archiver = std::make_shared<test::FakeArchiver>();
    // Long enough for the events to arrive, far shorter than the delay before
    // the progress window appears: the gap in which every window took input.
    archiver->runMilliseconds = 300;
    ui::ProgressWindowHost host(60000);
    arc::ArchiverRegistry::install(QString::fromLatin1(arc::kUnlhaLibrary), archiver);
    arc::setProgressHost(&host);
    const auto restore = qScopeGuard([] {
        arc::setProgressHost(nullptr);
        arc::ArchiverRegistry::restoreBuiltIns();
        core::CurrentItem.reset();
    });
    const QString archive = folders.filePath(QStringLiteral("foo123.lzh"));
    archiver->accepts = { archive };
    core::CurrentItem = std::make_shared<core::clsItem>(QStringList());
    core::CurrentItem->setPath(archive);

    QPushButton other(QStringLiteral("other"));
    int otherClicks = 0;
    connect(&other, &QPushButton::clicked, this, [&] { ++otherClicks; });
    other.show();
    const QStringList targets
        = { folders.filePath(QStringLiteral("first/")), folders.filePath(QStringLiteral("second/")) };
    extract::frmOverlap chooser;
    chooser.addRow(QStringLiteral("Foo"), targets.at(0), QString());
    chooser.addRow(QStringLiteral("Foo"), targets.at(1), QString());
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));

    QTimer::singleShot(0, this, [&] { second(chooser, &other); });
    first(chooser, &other);

    QCOMPARE(archiver->commands.size(), 1);
    QVERIFY2(
        archiver->commands.first().contains(u'"' + targets.at(chosen) + u'"'), qPrintable(archiver->commands.first()));
    QCOMPARE(core::CurrentItem->Output(), targets.at(chosen));
    QCOMPARE(otherClicks, 0);
    QVERIFY(!chooser.isVisible());
}

QTEST_MAIN(tst_ProgressWindow)
#include "tst_ProgressWindow.moc"
