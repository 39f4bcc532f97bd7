#pragma once

#include <QString>

#include <chrono>

namespace pellora::platform {

// An exclusive lock between processes, held on a lock file for as long as the
// object lives. The kernel drops it when the holder ends, however it ends, so
// a crashed program never leaves it taken; the file itself stays, empty.
class FileLock final {
public:
    explicit FileLock(QString path);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    enum class Result {
        Taken,
        Busy, // another holder kept it for the whole wait
        Unavailable, // the lock file cannot be made or opened here
    };
    // Takes the lock, waiting at most timeout for another holder to let go.
    // Creates the lock file and its folder when needed; the reason of a
    // failure goes to reason.
    Result acquire(std::chrono::milliseconds timeout, QString *reason);

    const QString &path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace pellora::platform
