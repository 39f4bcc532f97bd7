#pragma once

#include <QString>

namespace pellora::platform {

// The file's name joined with its device and inode: the same name given to
// a new file (a download replacing its placeholder) is another file. Empty
// when the file cannot be examined.
QString fileIdentity(const QString &path);

// Whether some process holds the file open for writing, as far as the
// process table lets this user see: processes of other users are not
// visible and count as not writing. False where there is no /proc.
bool isOpenForWriting(const QString &path);

// A name that browsers and download tools give a file they are still writing.
bool isPartialDownloadName(const QString &fileName);

// Makes SIGTERM, SIGINT and SIGHUP end the application's event loop
// normally, so that a run in progress finishes and nothing is left half
// done. Needs a running QCoreApplication; installed once.
void quitOnTerminationSignals();

} // namespace pellora::platform
