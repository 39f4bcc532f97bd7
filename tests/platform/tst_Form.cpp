#include "platform/gui/Form.h"

#include <QApplication>
#include <QMainWindow>
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

QTEST_MAIN(tst_Form)
#include "tst_Form.moc"
