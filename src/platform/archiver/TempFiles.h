#pragma once

#include <QByteArray>
#include <sys/types.h>

namespace pellora::arc {

// An entry is written under a temporary name beside its final name,
// ".~pellora-<base 36>.tmp", and renamed over it when complete. While it is
// being written the file is held under a lock of its open file description, so
// a later run can tell a file another run is still writing from one left behind
// by a run that was killed: the lock goes with the process.

// Creates and locks a new temporary file in the folder dirFd with the given
// mode; stores its name. The descriptor, or -1 with errno set.
int createTempFile(int dirFd, mode_t mode, QByteArray *name);

// True for exactly the names createTempFile makes.
bool isTempFileName(const char *name);

// Removes the temporary files in the folder dirFd that no process holds: only
// regular files named as above, never through a link, never below the folder.
// Returns how many were removed.
int sweepTempFiles(int dirFd);

} // namespace pellora::arc
