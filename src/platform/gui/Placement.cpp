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
        window->move(frame.topLeft());
    }
    if (owner && window->windowHandle() && owner->windowHandle())
        window->windowHandle()->setTransientParent(owner->windowHandle());
}

} // namespace pellora::platform
