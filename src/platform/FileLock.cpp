#include "platform/FileLock.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pellora::platform {

FileLock::FileLock(QString path)
    : m_path(std::move(path))
{
}

FileLock::~FileLock()
{
    // Closing the descriptor releases the lock.
    if (m_fd >= 0)
        ::close(m_fd);
}

FileLock::Result FileLock::acquire(std::chrono::milliseconds timeout, QString *reason)
{
    if (m_fd >= 0)
        return Result::Taken;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    const QByteArray name = QFile::encodeName(m_path);
    // O_NOFOLLOW: a link planted under the lock's name must not make us open
    // (and create) a file elsewhere.
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        return Result::Unavailable;
    }
    // Polled rather than blocking, so that a holder that stopped without
    // ending (a process suspended under a debugger) costs a message, not a
    // program that never answers again.
    const QDeadlineTimer deadline(timeout);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            return Result::Taken;
        }
        const int error = errno;
        if (error != EWOULDBLOCK && error != EINTR) {
            ::close(fd);
            if (reason)
                *reason = QString::fromLocal8Bit(std::strerror(error));
            return Result::Unavailable;
        }
        if (deadline.hasExpired()) {
            ::close(fd);
            if (reason)
                *reason = QStringLiteral("他のプロセスが使用中です。");
            return Result::Busy;
        }
        QThread::msleep(20);
    }
}

} // namespace pellora::platform
