#pragma once

#include <QString>

namespace pellora::arc {

// The extension of an archive's file name, with its dot: a compressed tar
// keeps both parts ("foo-1.2.tar.xz" gives ".tar.xz"), anything else its
// last one ("tool.lzh" gives ".lzh"); empty without a dot.
QString archiveExtension(const QString &fileName);

// The name of the one file inside a compressed file (path or name): the
// name without its compression suffix ("notes.txt.gz" gives "notes.txt",
// "data.tgz" gives "data.tar"); without a known suffix, the name without its
// last extension, and without one either, the name with ".out" added.
QString singleFileName(const QString &archivePath);

} // namespace pellora::arc
