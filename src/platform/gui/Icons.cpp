#include "platform/gui/Icons.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <initializer_list>

// The pictures are compiled into this static library. A linker pulls an
// object out of a static library only when something refers to it, so the
// resource's initialiser is called by name here. The macro declares that
// initialiser in the scope it is used in, hence outside the namespace.
static void initIconResources()
{
    Q_INIT_RESOURCE(pellora);
}

namespace pellora::platform {

namespace {

void ensureResources()
{
    static const bool done = (initIconResources(), true);
    Q_UNUSED(done);
}

// PNG rather than SVG: Qt reads PNG by itself, SVG only with its separate
// SVG module installed.
QIcon builtIn(const QString &stem, std::initializer_list<int> sizes)
{
    ensureResources();
    QIcon icon;
    for (const int size : sizes)
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(stem).arg(size), QSize(size, size));
    return icon;
}

struct ToolbarPicture {
    const char16_t *key;
    // freedesktop icon names, tried in order; "document-edit" is common but
    // not in the naming standard, whose nearest is "document-properties".
    const char16_t *themeNames[2];
    const char16_t *file;
};

const ToolbarPicture toolbarPictures[] = {
    { u"New", { u"list-add" }, u"toolbar/new" },
    { u"Edit", { u"document-edit", u"document-properties" }, u"toolbar/edit" },
    { u"Delete", { u"edit-delete" }, u"toolbar/delete" },
    { u"Filer", { u"folder-open" }, u"toolbar/filer" },
    { u"Option", { u"preferences-system" }, u"toolbar/option" },
    { u"Help", { u"help-contents" }, u"toolbar/help" },
};

// Waits for the first window to be shown, gives the application its icon
// and leaves: every later event goes by untouched.
class FirstWindowWatch final : public QObject {
public:
    explicit FirstWindowWatch(QObject *parent)
        : QObject(parent)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Show arrives after the native window exists and before it appears,
        // so the window system gets the icon with the window.
        if (event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow()) {
            qApp->removeEventFilter(this);
            if (QApplication::windowIcon().isNull())
                QApplication::setWindowIcon(programIcon());
            deleteLater();
        }
        return false;
    }
};

} // namespace

void useProgramIconFromFirstWindow()
{
    if (!qApp)
        return;
    qApp->installEventFilter(new FirstWindowWatch(qApp));
}

QIcon programIcon()
{
    return builtIn(QStringLiteral("pellora"), { 16, 24, 32, 48, 64, 128, 256 });
}

QIcon toolbarIcon(const QString &key)
{
    for (const ToolbarPicture &picture : toolbarPictures) {
        if (key != QStringView(picture.key))
            continue;
        for (const char16_t *name : picture.themeNames) {
            if (!name)
                continue;
            const QString themeName = QString::fromUtf16(name);
            if (QIcon::hasThemeIcon(themeName))
                return QIcon::fromTheme(themeName);
        }
        return builtIn(QString::fromUtf16(picture.file), { 16, 24, 32, 48 });
    }
    return {};
}

} // namespace pellora::platform
