#pragma once

#include "platform/gui/Twips.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>
#include <QWidget>

namespace pellora::ui::options {

using platform::place;

// Enables or disables a text box and gives it the matching background: the
// button face while disabled, the window background while enabled, so that a
// box the user cannot type in looks like one in every style.
inline void enableTextBox(QLineEdit *box, bool enabled)
{
    box->setEnabled(enabled);
    const QPalette system = QApplication::palette();
    const QColor background
        = enabled ? system.color(QPalette::Active, QPalette::Base) : system.color(QPalette::Active, QPalette::Button);
    QPalette palette = box->palette();
    for (const QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        palette.setColor(group, QPalette::Base, background);
    box->setPalette(palette);
}

// A text box with its browse button on one line at the top of a frame.
inline void placeBrowseLine(QLineEdit *box, QWidget *button)
{
    place(box, 120, 300, 3975, 315);
    place(button, 4200, 300, 975, 315);
}

} // namespace pellora::ui::options
