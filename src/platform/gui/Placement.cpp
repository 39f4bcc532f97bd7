#include "platform/gui/Placement.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace pellora::platform {

QWidget *activeOwner(const QWidget *dialog)
{
    QWidget *owner = QApplication::activeWindow();
    if (owner == dialog || (owner && !owner->isVisible()))
        return nullptr;
    return owner;
}

void centreOnOwner(QWidget *window, QWidget *owner)
{
    if (owner == window || (owner && !owner->isVisible()))
        owner = nullptr;
    QRect area;
    if (owner)
        area = owner->frameGeometry();
    else if (const QScreen *screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(area.center());
        // A window wider or taller than a small owner near a screen edge would
        // reach past it, its buttons out of reach: keep it on the screen, its
        // top left corner first when it is larger than the screen.
        const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect room = screen->availableGeometry();
            frame.moveLeft(qMax(room.left(), qMin(frame.left(), room.right() + 1 - frame.width())));
            frame.moveTop(qMax(room.top(), qMin(frame.top(), room.bottom() + 1 - frame.height())));
        }
        window->move(frame.topLeft());
    }
    if (owner && window->windowHandle() && owner->windowHandle())
        window->windowHandle()->setTransientParent(owner->windowHandle());
}

} // namespace pellora::platform
