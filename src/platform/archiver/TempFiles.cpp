#include "platform/archiver/TempFiles.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pellora::arc {

namespace {

constexpr char kPrefix[] = ".~pellora-";
constexpr char kSuffix[] = ".tmp";
constexpr size_t kMaxDigits = 13; // 2^64 in base 36

// A lock of the whole file that belongs to the open file description: unlike
// a process-wide POSIX lock it conflicts between two runs in one process too,
// and closing some other descriptor of the file never drops it.
bool lockWholeFile(int fd, short type)
{
    struct flock lock { };
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool removeIfAbandoned(int dirFd, const char *name)
{
    struct stat listed { };
    if (::fstatat(dirFd, name, &listed, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(listed.st_mode))
        return false;
    // Read-only and non-blocking: opening must neither need write permission nor wait.
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool removed = false;
    struct stat opened { };
    struct stat now { };
    // A read lock is refused while a writer holds its lock, and while we hold
    // it the writer cannot take its own: the file is abandoned and stays so.
    // A file system without locks refuses both, and then nothing is removed.
    if (::fstat(fd, &opened) == 0 && sameFile(listed, opened) && lockWholeFile(fd, F_RDLCK)
        && ::fstatat(dirFd, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(now, opened))
        removed = ::unlinkat(dirFd, name, 0) == 0;
    ::close(fd);
    return removed;
}

} // namespace

bool isTempFileName(const char *name)
{
    const size_t length = std::strlen(name);
    const size_t fixed = sizeof kPrefix - 1 + sizeof kSuffix - 1;
    if (length <= fixed || length > fixed + kMaxDigits)
        return false;
    if (std::strncmp(name, kPrefix, sizeof kPrefix - 1) != 0
        || std::strcmp(name + length - (sizeof kSuffix - 1), kSuffix) != 0)
        return false;
    for (size_t i = sizeof kPrefix - 1; i < length - (sizeof kSuffix - 1); ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

int createTempFile(int dirFd, mode_t mode, QByteArray *name)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        *name = QByteArray(kPrefix) + QByteArray::number(QRandomGenerator::global()->generate64(), 36)
            + QByteArray(kSuffix);
        const int fd = ::openat(dirFd, name->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        if (!lockWholeFile(fd, F_WRLCK) && (errno == EAGAIN || errno == EACCES)) {
            // A sweep took the file in the moment between creating and locking
            // it, and is removing it: start over under another name.
            ::close(fd);
            continue;
        }
        // Without locks on this file system the file is written unlocked; a
        // sweep there cannot lock it either, so it is never taken for abandoned.
        struct stat st { };
        if (::fstat(fd, &st) == 0 && st.st_nlink == 0) {
            ::close(fd); // swept and unlocked just before we locked it
            continue;
        }
        return fd;
    }
    const int err = errno;
    name->clear();
    errno = err;
    return -1;
}

int sweepTempFiles(int dirFd)
{
    // A descriptor of its own: reading the listing moves the descriptor's position.
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return 0;
    DIR *dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return 0;
    }
    int removed = 0;
    while (const dirent *d = ::readdir(dir)) {
        if ((d->d_type == DT_REG || d->d_type == DT_UNKNOWN) && isTempFileName(d->d_name)
            && removeIfAbandoned(dirFd, d->d_name))
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

} // namespace pellora::arc
