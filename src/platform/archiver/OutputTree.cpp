#include "platform/archiver/OutputTree.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pellora::arc {

namespace {

QByteArray nativeName(const QString &component)
{
    return QFile::encodeName(component);
}

OutputProblem systemProblem(int error)
{
    return { OutputProblem::System, error };
}

// Opens one folder below dirFd without following a link; creates it first when asked.
int openFolderAt(int dirFd, const QByteArray &name, bool create, OutputProblem *problem)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0)
            return fd;
        const int err = errno;
        if (err == ENOENT && create && attempt == 0) {
            if (::mkdirat(dirFd, name.constData(), 0777) == 0 || errno == EEXIST)
                continue;
            *problem = systemProblem(errno);
            return -1;
        }
        struct stat st { };
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(st.st_mode))
                *problem = { OutputProblem::SymlinkOnPath, 0 };
            else if (!S_ISDIR(st.st_mode))
                *problem = { OutputProblem::NotAFolder, 0 };
            else
                *problem = systemProblem(err);
        } else {
            *problem = systemProblem(err);
        }
        return -1;
    }
    *problem = systemProblem(ENOENT);
    return -1;
}

} // namespace

QString OutputProblem::describe() const
{
    switch (kind) {
    case None:
        return {};
    case SymlinkOnPath:
        return QStringLiteral("途中のフォルダがシンボリックリンクです");
    case SymlinkAtName:
        return QStringLiteral("同じ名前のシンボリックリンクがあります");
    case NotAFolder:
        return QStringLiteral("フォルダの位置に同じ名前のファイルがあります");
    case FolderAtName:
        return QStringLiteral("同じ名前のフォルダがあります");
    case SpecialAtName:
        return QStringLiteral("同じ名前の特殊なファイルがあります");
    case System:
        break;
    }
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("ディスクの空き容量が足りません");
    case EACCES:
    case EPERM:
        return QStringLiteral("書き込みが許可されていません");
    case EROFS:
        return QStringLiteral("読み取り専用のファイルシステムです");
    case ENAMETOOLONG:
        return QStringLiteral("名前が長すぎます");
    case EILSEQ:
        return QStringLiteral("ファイルシステムが名前を受け付けません");
    default:
        return QString::fromLocal8Bit(strerror(error));
    }
}

OutputTree::~OutputTree()
{
    if (m_cachedFd >= 0)
        ::close(m_cachedFd);
    if (m_rootFd >= 0)
        ::close(m_rootFd);
}

OutputProblem OutputTree::open(const QString &folder)
{
    // The output folder itself is the user's choice, links in its own path included.
    if (!QDir().mkpath(folder)) {
        const QByteArray path = QFile::encodeName(folder);
        struct stat st { };
        if (::stat(path.constData(), &st) == 0 && !S_ISDIR(st.st_mode))
            return { OutputProblem::NotAFolder, 0 };
        ::mkdir(path.constData(), 0777); // for errno
        return systemProblem(errno == EEXIST ? EACCES : errno);
    }
    m_rootFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_rootFd < 0)
        return systemProblem(errno);
    return {};
}

int OutputTree::folderFd(const QStringList &components, qsizetype count, bool create, OutputProblem *problem)
{
    if (count == 0)
        return m_rootFd;
    // Go on from the cached folder when it is the wanted one or one of its
    // parents, so a run of entries each one folder deeper opens one folder
    // each instead of the whole path again.
    const qsizetype cached = m_cachedFd >= 0 ? m_cachedPath.size() : -1;
    qsizetype from = 0;
    int fd = m_rootFd;
    if (cached >= 0 && cached <= count && std::equal(m_cachedPath.cbegin(), m_cachedPath.cend(), components.cbegin())) {
        if (cached == count)
            return m_cachedFd;
        from = cached;
        fd = std::exchange(m_cachedFd, -1);
    } else {
        if (m_cachedFd >= 0)
            ::close(std::exchange(m_cachedFd, -1));
        m_cachedPath.clear();
    }
    for (qsizetype i = from; i < count; ++i) {
        const int nextFd = openFolderAt(fd, nativeName(components.at(i)), create, problem);
        if (fd != m_rootFd)
            ::close(fd);
        if (nextFd < 0) {
            m_cachedPath.clear();
            return -1;
        }
        fd = nextFd;
        m_cachedPath.append(components.at(i));
    }
    m_cachedFd = fd;
    return fd;
}

OutputProblem OutputTree::makeFolders(const QStringList &components)
{
    OutputProblem problem;
    folderFd(components, components.size(), true, &problem);
    return problem;
}

OutputProblem OutputTree::inspect(const QStringList &components, Existing *existing)
{
    *existing = {};
    OutputProblem problem;
    const int dirFd = folderFd(components, components.size() - 1, true, &problem);
    if (dirFd < 0)
        return problem;
    struct stat st { };
    if (::fstatat(dirFd, nativeName(components.last()).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? OutputProblem{} : systemProblem(errno);
    if (S_ISLNK(st.st_mode))
        return { OutputProblem::SymlinkAtName, 0 };
    if (S_ISDIR(st.st_mode))
        return { OutputProblem::FolderAtName, 0 };
    if (!S_ISREG(st.st_mode))
        return { OutputProblem::SpecialAtName, 0 };
    existing->exists = true;
    existing->mtime = st.st_mtim;
    return {};
}

OutputProblem OutputTree::createFile(const QStringList &components, bool executable, PendingFile *file)
{
    OutputProblem problem;
    const int dirFd = folderFd(components, components.size() - 1, true, &problem);
    if (dirFd < 0)
        return problem;
    file->discard();
    file->m_dirFd = dirFd;
    file->m_finalName = nativeName(components.last());
    // The mode passes through the umask; no set-id or sticky bit is ever asked for.
    const mode_t mode = executable ? 0777 : 0666;
    for (int attempt = 0; attempt < 16; ++attempt) {
        file->m_tempName = QByteArrayLiteral(".~pellora-")
            + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + QByteArrayLiteral(".tmp");
        file->m_fd
            = ::openat(dirFd, file->m_tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (file->m_fd >= 0)
            return {};
        if (errno != EEXIST)
            break;
    }
    const int err = errno;
    file->m_tempName.clear();
    return systemProblem(err);
}

void OutputTree::setFolderTime(const QStringList &components, const struct timespec &mtime)
{
    OutputProblem problem;
    const int fd = folderFd(components, components.size(), false, &problem);
    if (fd < 0)
        return;
    const struct timespec times[2] = { mtime, mtime };
    ::futimens(fd, times);
}

OutputTree::PendingFile::~PendingFile()
{
    discard();
}

OutputTree::PendingFile::PendingFile(PendingFile &&other) noexcept
{
    *this = std::move(other);
}

OutputTree::PendingFile &OutputTree::PendingFile::operator=(PendingFile &&other) noexcept
{
    if (this != &other) {
        discard();
        m_dirFd = std::exchange(other.m_dirFd, -1);
        m_fd = std::exchange(other.m_fd, -1);
        m_tempName = std::exchange(other.m_tempName, {});
        m_finalName = std::exchange(other.m_finalName, {});
    }
    return *this;
}

bool OutputTree::PendingFile::writeAt(const char *data, size_t size, qint64 offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, data, size, off_t(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= size_t(n);
        offset += n;
    }
    return true;
}

OutputProblem OutputTree::PendingFile::commit(qint64 size, const struct timespec *mtime)
{
    OutputProblem problem;
    struct stat st { };
    if (::fstat(m_fd, &st) == 0 && st.st_size < size && ::ftruncate(m_fd, off_t(size)) != 0)
        problem = systemProblem(errno);
    if (!problem && mtime) {
        const struct timespec times[2] = { *mtime, *mtime };
        ::futimens(m_fd, times);
    }
    // close() is where some file systems (NFS, quotas) report a failed write.
    if (::close(m_fd) != 0 && !problem)
        problem = systemProblem(errno);
    m_fd = -1;
    if (!problem && ::renameat(m_dirFd, m_tempName.constData(), m_dirFd, m_finalName.constData()) != 0)
        problem = systemProblem(errno);
    if (problem)
        ::unlinkat(m_dirFd, m_tempName.constData(), 0);
    m_tempName.clear();
    return problem;
}

void OutputTree::PendingFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempName.isEmpty()) {
        ::unlinkat(m_dirFd, m_tempName.constData(), 0);
        m_tempName.clear();
    }
}

} // namespace pellora::arc
