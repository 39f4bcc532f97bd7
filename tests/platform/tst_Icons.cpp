#include "platform/gui/Icons.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <QWindow>

using namespace pellora::platform;

namespace {

const QStringList toolbarKeys = { QStringLiteral("New"), QStringLiteral("Edit"), QStringLiteral("Delete"),
    QStringLiteral("Filer"), QStringLiteral("Option"), QStringLiteral("Help") };

QImage rendered(const QIcon &icon, int size)
{
    return icon.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool hasVisiblePixels(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
    return false;
}

// Leaves QIcon::fromTheme nothing to find: no such theme, nowhere to look.
void useNoTheme()
{
    QIcon::setThemeSearchPaths({});
    QIcon::setFallbackSearchPaths({});
    QIcon::setFallbackThemeName(QStringLiteral("pellora-no-fallback-theme"));
    QIcon::setThemeName(QStringLiteral("pellora-no-such-theme"));
}

// A one-size theme whose icons are single colours, to tell them apart.
void writeThemeIcon(const QString &themeDir, const QString &name, QRgb colour)
{
    QImage image(24, 24, QImage::Format_ARGB32);
    image.fill(colour);
    QVERIFY(image.save(QStringLiteral("%1/24x24/actions/%2.png").arg(themeDir, name)));
}

} // namespace

class tst_Icons : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { useNoTheme(); }
    void everyToolbarKeyHasAPictureWithoutATheme_data();
    void everyToolbarKeyHasAPictureWithoutATheme();
    void everyButtonHasItsOwnPicture();
    void unknownKeysHaveNoPicture_data();
    void unknownKeysHaveNoPicture();
    void programIconComesInEverySize();
    void theDesktopThemeIsPreferred();
    void everyWindowGetsTheProgramIconOnceOneIsShown();
};

void tst_Icons::everyToolbarKeyHasAPictureWithoutATheme_data()
{
    QTest::addColumn<QString>("key");
    for (const QString &key : toolbarKeys)
        QTest::newRow(qUtf8Printable(key)) << key;
}

void tst_Icons::everyToolbarKeyHasAPictureWithoutATheme()
{
    QFETCH(QString, key);
    const QIcon icon = toolbarIcon(key);
    QVERIFY(!icon.isNull());
    for (const int size : { 16, 24, 32 }) {
        const QImage image = rendered(icon, size);
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY2(hasVisiblePixels(image), qPrintable(QStringLiteral("blank at %1 px").arg(size)));
    }
}

void tst_Icons::everyButtonHasItsOwnPicture()
{
    // A slip in the key table would show one picture on two buttons.
    QList<QImage> images;
    for (const QString &key : toolbarKeys)
        images.append(rendered(toolbarIcon(key), 24));
    for (int i = 0; i < images.size(); ++i)
        for (int j = i + 1; j < images.size(); ++j)
            QVERIFY2(images[i] != images[j],
                qPrintable(QStringLiteral("%1 looks like %2").arg(toolbarKeys[i], toolbarKeys[j])));
}

void tst_Icons::unknownKeysHaveNoPicture_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("an empty key") << QString();
    QTest::newRow("a key of no button") << QStringLiteral("Restore");
    QTest::newRow("a button's key with a blank") << QStringLiteral("New ");
}

void tst_Icons::unknownKeysHaveNoPicture()
{
    QFETCH(QString, key);
    QVERIFY(toolbarIcon(key).isNull());
}

void tst_Icons::programIconComesInEverySize()
{
    const QIcon icon = programIcon();
    QVERIFY(!icon.isNull());
    // Each size is drawn for itself, not scaled from another.
    for (const int size : { 16, 24, 32, 48, 64, 128, 256 }) {
        QVERIFY2(icon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
        const QImage image = rendered(icon, size);
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY2(hasVisiblePixels(image), qPrintable(QStringLiteral("blank at %1 px").arg(size)));
    }
}

void tst_Icons::theDesktopThemeIsPreferred()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString themeDir = root.path() + QStringLiteral("/pellora-test-theme");
    QVERIFY(QDir().mkpath(themeDir + QStringLiteral("/24x24/actions")));
    QFile index(themeDir + QStringLiteral("/index.theme"));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=pellora-test-theme\nComment=test\nDirectories=24x24/actions\n\n"
                "[24x24/actions]\nSize=24\nContext=Actions\nType=Fixed\n");
    index.close();
    const QRgb magenta = qRgb(255, 0, 255);
    const QRgb cyan = qRgb(0, 255, 255);
    writeThemeIcon(themeDir, QStringLiteral("list-add"), magenta);
    // Only the second name for the edit picture: the first is not standard.
    writeThemeIcon(themeDir, QStringLiteral("document-properties"), cyan);
    if (QTest::currentTestFailed())
        return;

    const QImage builtInHelp = rendered(toolbarIcon(QStringLiteral("Help")), 24);
    QIcon::setThemeSearchPaths({ root.path() });
    QIcon::setThemeName(QStringLiteral("pellora-test-theme"));

    QCOMPARE(rendered(toolbarIcon(QStringLiteral("New")), 24).pixel(12, 12), magenta);
    QCOMPARE(rendered(toolbarIcon(QStringLiteral("Edit")), 24).pixel(12, 12), cyan);
    // A picture the theme lacks is still the built-in one.
    QCOMPARE(rendered(toolbarIcon(QStringLiteral("Help")), 24), builtInHelp);
}

void tst_Icons::everyWindowGetsTheProgramIconOnceOneIsShown()
{
    QVERIFY(QApplication::windowIcon().isNull());
    useProgramIconFromFirstWindow();
    QWidget madeBefore;
    QWidget parent;
    QWidget child(&parent);
    child.show(); // a widget inside a window that is not shown: no window yet
    QCoreApplication::processEvents();
    QVERIFY(QApplication::windowIcon().isNull());

    QDialog first;
    first.show();
    QVERIFY(QTest::qWaitForWindowExposed(&first));
    madeBefore.show();
    QWidget madeAfter;
    madeAfter.show();
    for (QWidget *window : { static_cast<QWidget *>(&first), &madeBefore, &madeAfter }) {
        // What the window system shows, not only what the widget reports.
        QVERIFY(window->windowHandle());
        const QIcon icon = window->windowHandle()->icon();
        QVERIFY(!icon.isNull());
        for (const int size : { 16, 24, 32, 48, 64, 128, 256 })
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
        QCOMPARE(rendered(window->windowIcon(), 32), rendered(programIcon(), 32));
    }
}

QTEST_MAIN(tst_Icons)
#include "tst_Icons.moc"
