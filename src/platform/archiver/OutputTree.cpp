#include "platform/archiver/OutputTree.h"

#include "platform/archiver/RunRecorder.h"
#include "platform/archiver/TempFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

// Opens one folder below dirFd without following a link; creates it first
// when asked, and then says whether this call made it.
int openFolderAt(int dirFd, const QByteArray &name, bool create, OutputProblem *problem, bool *made = nullptr)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0)
            return fd;
        const int err = errno;
        if (err == ENOENT && create && attempt == 0) {
            if (::mkdirat(dirFd, name.constData(), 0777) == 0) {
                if (made)
                    *made = true;
                continue;
            }
            if (errno == EEXIST)
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
    case NotKept:
        return QStringLiteral("置き換える前のファイルを履歴に保存できません");
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
    const bool existed = QFileInfo::exists(folder);
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
    sweepOnce(m_rootFd);
    if (!existed && m_recorder)
        m_recorder->folderCreated({});
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
        bool made = false;
        const int nextFd = openFolderAt(fd, nativeName(components.at(i)), create, problem, &made);
        if (fd != m_rootFd)
            ::close(fd);
        if (made && m_recorder)
            m_recorder->folderCreated(components.mid(0, i + 1));
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
    file->m_recorder = m_recorder;
    file->m_components = m_recorder ? components : QStringList();
    file->m_crc = 0;
    file->m_crcEnd = 0;
    sweepOnce(dirFd);
    // The mode passes through the umask; no set-id or sticky bit is ever asked for.
    const mode_t mode = executable ? 0777 : 0666;
    file->m_fd = createTempFile(dirFd, mode, &file->m_tempName);
    return file->m_fd >= 0 ? OutputProblem{} : systemProblem(errno);
}

OutputProblem OutputTree::createStaged(bool executable, PendingFile *staged)
{
    staged->discard();
    staged->m_dirFd = m_rootFd;
    staged->m_recorder = m_recorder;
    staged->m_crc = 0;
    staged->m_crcEnd = 0;
    sweepOnce(m_rootFd);
    staged->m_fd = createTempFile(m_rootFd, executable ? 0777 : 0666, &staged->m_tempName);
    return staged->m_fd >= 0 ? OutputProblem{} : systemProblem(errno);
}

OutputProblem OutputTree::adoptFile(const QStringList &components, PendingFile &staged, PendingFile *file)
{
    OutputProblem problem;
    const int dirFd = folderFd(components, components.size() - 1, true, &problem);
    if (dirFd < 0)
        return problem;
    sweepOnce(dirFd);
    file->discard();
    if (dirFd != staged.m_dirFd
        && ::renameat2(
               staged.m_dirFd, staged.m_tempName.constData(), dirFd, staged.m_tempName.constData(), RENAME_NOREPLACE)
            != 0) {
        // Another file system below the output folder (or one without the
        // rename flag): the bytes are copied across instead.
        const int err = errno;
        if (err != EXDEV && err != EINVAL && err != EEXIST)
            return systemProblem(err);
        const bool executable = false;
        if (const OutputProblem created = createFile(components, executable, file))
            return created;
        struct stat st { };
        if (::fstat(staged.m_fd, &st) != 0 || ::fchmod(file->m_fd, st.st_mode & 0777) != 0)
            return systemProblem(errno);
        std::unique_ptr<char[]> buffer(new char[1 << 16]);
        for (qint64 offset = 0;;) {
            const ssize_t n = ::pread(staged.m_fd, buffer.get(), 1 << 16, off_t(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return systemProblem(errno);
            if (n == 0)
                break;
            if (!file->writeAt(buffer.get(), size_t(n), offset))
                return systemProblem(errno);
            offset += n;
        }
        staged.discard();
        return {};
    }
    *file = std::move(staged);
    file->m_dirFd = dirFd;
    file->m_finalName = nativeName(components.last());
    file->m_recorder = m_recorder;
    file->m_components = m_recorder ? components : QStringList();
    return {};
}

OutputTree::Existing OutputTree::peek(const QStringList &components)
{
    Existing existing;
    OutputProblem problem;
    const int dirFd = folderFd(components, components.size() - 1, false, &problem);
    struct stat st { };
    if (dirFd >= 0 && ::fstatat(dirFd, nativeName(components.last()).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(st.st_mode)) {
        existing.exists = true;
        existing.mtime = st.st_mtim;
    }
    return existing;
}

void OutputTree::sweepOnce(int dirFd)
{
    // Files a killed run left are removed from each folder this run writes
    // into, the first time only: one listing per folder keeps it cheap.
    struct stat st { };
    if (::fstat(dirFd, &st) != 0)
        return;
    const auto key = std::make_pair(quint64(st.st_dev), quint64(st.st_ino));
    if (m_swept.insert(key).second)
        sweepTempFiles(dirFd);
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
        m_recorder = std::exchange(other.m_recorder, nullptr);
        m_components = std::exchange(other.m_components, {});
        m_crc = other.m_crc;
        m_crcEnd = other.m_crcEnd;
    }
    return *this;
}

bool OutputTree::PendingFile::writeAt(const char *data, size_t size, qint64 offset)
{
    // The recording checks later whether the user changed the file; the CRC
    // is taken here, while the bytes are at hand, not by reading it again.
    if (m_recorder && m_crcEnd >= 0) {
        if (offset == m_crcEnd) {
            m_crc = contentCrc(m_crc, data, size);
            m_crcEnd += qint64(size);
        } else {
            m_crcEnd = -1;
        }
    }
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
    // The lock stays with this second descriptor until the rename is done, so
    // no sweep takes the finished file for an abandoned one in between.
    const int lockHolder = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
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
    if (!problem && m_recorder) {
        struct stat old { };
        if (::fstatat(m_dirFd, m_finalName.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode)
            && !m_recorder->keepReplaced(m_components, m_dirFd, m_finalName))
            problem = { OutputProblem::NotKept, 0 };
    }
    if (!problem && ::renameat(m_dirFd, m_tempName.constData(), m_dirFd, m_finalName.constData()) != 0)
        problem = systemProblem(errno);
    if (!problem && m_recorder)
        m_recorder->fileWritten(m_components, m_dirFd, m_finalName, m_crc, m_crcEnd == size);
    if (problem)
        ::unlinkat(m_dirFd, m_tempName.constData(), 0);
    if (lockHolder >= 0)
        ::close(lockHolder);
    m_tempName.clear();
    return problem;
}

bool OutputTree::PendingFile::restart()
{
    m_crc = 0;
    m_crcEnd = 0;
    return ::ftruncate(m_fd, 0) == 0;
}

void OutputTree::PendingFile::discard()
{
    // Removed while still locked: closing first would let a sweep race for it.
    if (!m_tempName.isEmpty()) {
        ::unlinkat(m_dirFd, m_tempName.constData(), 0);
        m_tempName.clear();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace pellora::arc
