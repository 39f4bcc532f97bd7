#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace pellora::platform {

// Window sizes and positions are kept in twips, 1440 to the logical inch.
inline double logicalDpi()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

inline int twips(double value)
{
    return int(std::lround(value * logicalDpi() / 1440.0));
}

inline double toTwips(int pixels)
{
    return pixels * 1440.0 / logicalDpi();
}

// Places a control by its design rectangle in twips; a height of 0 keeps the
// control's own height, so texts in the Japanese font are never clipped.
inline void place(QWidget *control, int left, int top, int width, int height = 0)
{
    control->setGeometry(
        twips(left), twips(top), twips(width), height > 0 ? twips(height) : control->sizeHint().height());
}

} // namespace pellora::platform
