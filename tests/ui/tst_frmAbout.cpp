#include "ui/dialogs/frmAbout.h"

#include "platform/gui/Twips.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace pellora;
using ui::frmAbout;

namespace {

QIcon plainIcon(QRgb colour)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(QColor(colour));
    return QIcon(pixmap);
}

QRgb middlePixel(const QLabel *label)
{
    const QImage image = label->pixmap().toImage();
    return image.pixel(image.width() / 2, image.height() / 2);
}

} // namespace

class tst_frmAbout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();
    void showsTheVersionOfThisBuild();
    void versionNumbersHaveNoPadding_data();
    void versionNumbersHaveNoPadding();
    void showsTheLegalNoticeOfThisBuild();
    void hasAFixedCaptionAndSize();
    void okUnloads();
    void enterUnloads_data();
    void enterUnloads();
    void modalShowReturnsAfterOK();
    void showsTheProgramIconWhenNoneWasSet();
    void showsTheApplicationIcon();
    void showsItsOwnersIcon();
    void belongsToTheActiveWindow();
    void isCentredOnItsOwner();
};

void tst_frmAbout::cleanup()
{
    if (platform::formIsLoaded<frmAbout>())
        platform::formInstance<frmAbout>().Unload();
    QApplication::setWindowIcon(QIcon());
}

void tst_frmAbout::showsTheVersionOfThisBuild()
{
    frmAbout &about = platform::formInstance<frmAbout>();
    const QString expected = QStringLiteral("Pellora ver ") + QString::number(PELLORA_VERSION_MAJOR) + u'.'
        + QString::number(PELLORA_VERSION_MINOR);
    QCOMPARE(about.lblVersion->text(), expected);
}

void tst_frmAbout::versionNumbersHaveNoPadding_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<QString>("text");
    QTest::newRow("minor 5 reads 1.5") << 1 << 5 << QStringLiteral("Pellora ver 1.5");
    QTest::newRow("minor 27 reads 1.27") << 1 << 27 << QStringLiteral("Pellora ver 1.27");
    QTest::newRow("minor 10 keeps its zero") << 2 << 10 << QStringLiteral("Pellora ver 2.10");
    QTest::newRow("major 0 is shown") << 0 << 1 << QStringLiteral("Pellora ver 0.1");
}

void tst_frmAbout::versionNumbersHaveNoPadding()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(QString, text);
    QCOMPARE(frmAbout::versionText(QStringLiteral("Pellora"), major, minor), text);
}

void tst_frmAbout::showsTheLegalNoticeOfThisBuild()
{
    frmAbout &about = platform::formInstance<frmAbout>();
    QCOMPARE(about.lblCopyright->text(), QString::fromUtf8(PELLORA_LEGAL_NOTICE));
}

void tst_frmAbout::hasAFixedCaptionAndSize()
{
    frmAbout &about = platform::formInstance<frmAbout>();
    about.Show();
    QCOMPARE(about.windowTitle(), QStringLiteral("バージョン情報"));
    const QSize client(platform::twips(3480), platform::twips(1140));
    QCOMPARE(about.size(), client);
    QCOMPARE(about.minimumSize(), client);
    QCOMPARE(about.maximumSize(), client);
    QVERIFY(!(about.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(about.cmdOK->text(), QStringLiteral("OK"));
    QVERIFY(about.cmdOK->isDefault());
}

void tst_frmAbout::okUnloads()
{
    QPointer<frmAbout> about = &platform::formInstance<frmAbout>();
    about->Show();
    QTest::mouseClick(about->cmdOK, Qt::LeftButton);
    QVERIFY(!platform::formIsLoaded<frmAbout>());
    QVERIFY(!about || !about->isVisible());
}

void tst_frmAbout::enterUnloads_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter on the keypad") << int(Qt::Key_Enter);
}

void tst_frmAbout::enterUnloads()
{
    QFETCH(int, key);
    QPointer<frmAbout> about = &platform::formInstance<frmAbout>();
    about->Show();
    // Sent to the dialog, not to the button: the default button answers it
    // wherever the focus is.
    QTest::keyClick(about.data(), Qt::Key(key));
    QVERIFY(!platform::formIsLoaded<frmAbout>());
    QVERIFY(!about || !about->isVisible());
}

void tst_frmAbout::modalShowReturnsAfterOK()
{
    bool clicked = false;
    QTimer::singleShot(0, this, [&clicked] {
        auto *about = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
        QVERIFY(about);
        about->cmdOK->click();
        clicked = true;
    });
    platform::formInstance<frmAbout>().Show(platform::vbModal);
    QVERIFY(clicked);
    QVERIFY(!platform::formIsLoaded<frmAbout>());
}

void tst_frmAbout::showsTheProgramIconWhenNoneWasSet()
{
    QVERIFY(QApplication::windowIcon().isNull());
    frmAbout &about = platform::formInstance<frmAbout>();
    const QPixmap picture = about.picIcon->pixmap();
    QVERIFY(!picture.isNull());
    QVERIFY(qAlpha(middlePixel(about.picIcon)) != 0);
}

void tst_frmAbout::showsTheApplicationIcon()
{
    const QRgb blue = qRgb(0, 0, 255);
    QApplication::setWindowIcon(plainIcon(blue));
    frmAbout &about = platform::formInstance<frmAbout>();
    QCOMPARE(middlePixel(about.picIcon), blue);
}

void tst_frmAbout::showsItsOwnersIcon()
{
    const QRgb red = qRgb(255, 0, 0);
    QApplication::setWindowIcon(plainIcon(qRgb(0, 0, 255)));
    QWidget owner;
    owner.setWindowIcon(plainIcon(red));
    frmAbout about(&owner);
    about.Load();
    QCOMPARE(middlePixel(about.picIcon), red);
    about.Unload();
}

void tst_frmAbout::belongsToTheActiveWindow()
{
    QWidget owner;
    owner.show();
    QApplication::setActiveWindow(&owner);
    if (QApplication::activeWindow() != &owner)
        QSKIP("this platform does not activate windows on request");
    QPointer<frmAbout> about = &platform::formInstance<frmAbout>();
    QCOMPARE(about->parentWidget(), &owner);
    about->Unload();
}

void tst_frmAbout::isCentredOnItsOwner()
{
    QWidget owner;
    owner.setGeometry(20, 40, 300, 200);
    owner.show();
    frmAbout about(&owner);
    about.Show();
    // Apart from the window frames, which the platform may or may not add.
    const QPoint offset = about.geometry().center() - owner.geometry().center();
    QVERIFY2(
        offset.manhattanLength() <= 10, qPrintable(QStringLiteral("off by %1, %2").arg(offset.x()).arg(offset.y())));
    about.Unload();
}

QTEST_MAIN(tst_frmAbout)
#include "tst_frmAbout.moc"
