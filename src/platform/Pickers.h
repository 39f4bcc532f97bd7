#pragma once

#include <QString>

class QObject;

namespace pellora::platform {

// What a folder field holds after its browse button: the chosen folder with a
// trailing separator, or the current text unchanged when nothing was chosen.
// The browser opens at the current folder (or the current directory).
QString SelectFolder(QObject *owner, const QString &current);

// What a program field holds after its browse button: the chosen file, or
// the current text unchanged. Programs have no extension here, so nothing is
// appended to the name.
QString SelectExecutable(QObject *owner, const QString &filter, const QString &current);

} // namespace pellora::platform
