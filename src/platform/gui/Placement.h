#pragma once

class QWidget;

namespace pellora::platform {

// The window a dialog opens over: the active window, unless that is the
// dialog itself or a window that is not shown.
QWidget *activeOwner(const QWidget *dialog);

// Centres window on its owner, or on the primary screen without one, and
// keeps it above the owner. The owner is not made the Qt parent: an owner
// that goes away first (the unmatched-archive dialog hands over to the item
// editor and unloads) would take the window with it.
void centreOnOwner(QWidget *window, QWidget *owner);

} // namespace pellora::platform
