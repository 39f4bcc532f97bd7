#pragma once

#include <QIcon>
#include <QString>

namespace pellora::platform {

// The program's own icon, built into the program in several sizes.
QIcon programIcon();

// Makes the program's icon every window's icon from the moment the first
// window is shown. Reading the pictures and the image plugins costs a
// noticeable part of a start that ends without a window, so it waits until
// one is needed.
void useProgramIconFromFirstWindow();

// The picture of a main-window tool-bar button, by the button's key: "New",
// "Edit", "Delete", "Filer", "Option" or "Help". The desktop theme's icon for
// that action is preferred so the tool bar matches the desktop; without one
// the built-in picture is used, so a button is never blank. Any other key
// gives a null icon.
QIcon toolbarIcon(const QString &key);

} // namespace pellora::platform
