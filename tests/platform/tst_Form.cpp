#include "platform/gui/Form.h"
#include "platform/gui/Placement.h"

#include <QApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTest>
#include <QTimer>

using namespace pellora::platform;

namespace {

// A window that writes down what happened to it.
class frmProbe final : public Form<QMainWindow> {
public:
    static inline QStringList events;
    static inline bool refuse = false;

protected:
    void Form_Load() override { events.append(QStringLiteral("load")); }
    void Form_QueryUnload(bool &cancel) override
    {
        events.append(QStringLiteral("queryunload"));
        cancel = refuse;
    }
    void Form_Unload(bool &) override { events.append(QStringLiteral("unload")); }
};

class dlgProbe final : public Form<QDialog> { };

} // namespace

class tst_Form : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        frmProbe::events.clear();
        frmProbe::refuse = false;
    }
    void firstAccessLoadsWithoutShowing();
    void unloadAsksFirstAndMayBeRefused();
    void closeBoxAndEscapeUnload();
    void modalShowReturnsWhenUnloaded();
    void programEndsWhenTheLastWindowUnloads();
    void aDialogCentresOnItsOwnerWithinTheScreen_data();
    void aDialogCentresOnItsOwnerWithinTheScreen();
};

void tst_Form::firstAccessLoadsWithoutShowing()
{
    const int before = Forms::loadedCount();
    QVERIFY(!formIsLoaded<frmProbe>());
    frmProbe &probe = formInstance<frmProbe>();
    QVERIFY(formIsLoaded<frmProbe>());
    QVERIFY(!probe.isVisible());
    QCOMPARE(&formInstance<frmProbe>(), &probe); // the same window on every access
    QCOMPARE(frmProbe::events, QStringList{ QStringLiteral("load") });
    QCOMPARE(Forms::loadedCount(), before + 1);
    QVERIFY(probe.Unload());
    QCOMPARE(Forms::loadedCount(), before);
    // After the unload the next access loads a fresh window.
    frmProbe &again = formInstance<frmProbe>();
    QCOMPARE(frmProbe::events.count(QStringLiteral("load")), 2);
    again.Unload();
}

void tst_Form::unloadAsksFirstAndMayBeRefused()
{
    frmProbe &probe = formInstance<frmProbe>();
    probe.Show();
    frmProbe::refuse = true;
    QVERIFY(!probe.Unload());
    QVERIFY(probe.isLoaded() && probe.isVisible());
    frmProbe::refuse = false;
    QVERIFY(probe.Unload());
    QVERIFY(!probe.isVisible());
    QCOMPARE(frmProbe::events,
        (QStringList{ QStringLiteral("load"), QStringLiteral("queryunload"), QStringLiteral("queryunload"),
            QStringLiteral("unload") }));
}

void tst_Form::closeBoxAndEscapeUnload()
{
    frmProbe &probe = formInstance<frmProbe>();
    probe.Show();
    frmProbe::refuse = true;
    QVERIFY(!probe.close());
    QVERIFY(probe.isLoaded());
    frmProbe::refuse = false;
    QVERIFY(probe.close());
    QVERIFY(!probe.isLoaded());

    dlgProbe &dialog = formInstance<dlgProbe>();
    dialog.Show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isLoaded());
    QVERIFY(!formIsLoaded<dlgProbe>());
}

void tst_Form::modalShowReturnsWhenUnloaded()
{
    dlgProbe &dialog = formInstance<dlgProbe>();
    bool wasModal = false;
    QTimer::singleShot(0, this, [&] {
        wasModal = QApplication::activeModalWidget() == &dialog;
        dialog.Unload();
    });
    dialog.Show(vbModal);
    QVERIFY(wasModal);
    QVERIFY(!dialog.isLoaded());
}

void tst_Form::programEndsWhenTheLastWindowUnloads()
{
    // A loaded but hidden window keeps the program; its unload ends it.
    frmProbe &hidden = formInstance<frmProbe>();
    QVERIFY(!hidden.isVisible());
    QTimer::singleShot(0, this, [&] { hidden.Unload(); });
    Forms::endWhenNoneLoaded();
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!formIsLoaded<frmProbe>());
}

void tst_Form::aDialogCentresOnItsOwnerWithinTheScreen_data()
{
    // The owner's place and size, and the dialog's size, as parts of the screen.
    QTest::addColumn<QRectF>("owner");
    QTest::addColumn<QSizeF>("dialog");
    QTest::newRow("a smaller dialog sits on its owner's centre") << QRectF(0.3, 0.3, 0.4, 0.4) << QSizeF(0.2, 0.2);
    QTest::newRow("a wider dialog than an owner at the left edge stays on the screen")
        << QRectF(0, 0, 0.3, 0.3) << QSizeF(0.6, 0.2);
    QTest::newRow("a taller dialog than an owner at the bottom right stays on the screen")
        << QRectF(0.8, 0.85, 0.2, 0.15) << QSizeF(0.3, 0.5);
    QTest::newRow("a dialog larger than the screen shows its top left corner")
        << QRectF(0.4, 0.4, 0.2, 0.2) << QSizeF(1.2, 1.1);
}

void tst_Form::aDialogCentresOnItsOwnerWithinTheScreen()
{
    QFETCH(QRectF, owner);
    QFETCH(QSizeF, dialog);
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    const auto scaled
        = [&room](QSizeF part) { return QSize(int(room.width() * part.width()), int(room.height() * part.height())); };
    QMainWindow window;
    window.setGeometry(QRect(
        room.topLeft() + QPoint(int(room.width() * owner.x()), int(room.height() * owner.y())), scaled(owner.size())));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QDialog box;
    box.resize(scaled(dialog));
    centreOnOwner(&box, &window);
    const QRect placed = box.frameGeometry();
    if (placed.width() <= room.width() && placed.height() <= room.height()) {
        QVERIFY2(room.contains(placed), qPrintable(QStringLiteral("%1,%2").arg(placed.x()).arg(placed.y())));
        // Wherever the screen leaves room, the dialog keeps its owner's centre.
        const QPoint wanted = window.frameGeometry().center() - QPoint(placed.width() / 2, placed.height() / 2);
        if (room.contains(QRect(wanted, placed.size())))
            QVERIFY(qAbs(placed.center().x() - window.frameGeometry().center().x()) <= 1);
    } else {
        QCOMPARE(placed.topLeft(), room.topLeft());
    }
}

QTEST_MAIN(tst_Form)
#include "tst_Form.moc"
