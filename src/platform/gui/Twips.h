#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace pellora::platform {

// Window sizes and positions are kept in twips, 1440 to the logical inch.
inline double logicalDpi()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

inline int twips(double value) { return int(std::lround(value * logicalDpi() / 1440.0)); }

inline double toTwips(int pixels) { return pixels * 1440.0 / logicalDpi(); }

} // namespace pellora::platform
