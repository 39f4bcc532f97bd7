#include "core/Undo.h"

#include "core/RunHistory.h"
#include "platform/archiver/TempFiles.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace pellora::core {

namespace {

struct timespec fromNanoseconds(qint64 ns)
{
    return { time_t(ns / 1000000000LL), long(ns % 1000000000LL) };
}

// A descriptor held by its owner alone.
class Fd final {
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd(Fd &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    Fd &operator=(Fd &&other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

class Undoer final {
public:
    Undoer(const HistoryRun &run, UndoResult *result)
        : m_run(run)
        , m_result(result)
    {
    }
    void execute();

private:
    // The folder holding path's last component, reached without following a link.
    Fd parentOf(const QStringList &parts);
    bool unchanged(int dirFd, const QByteArray &name, const HistoryEntry &e);
    void undoCreatedFile(const HistoryEntry &e);
    void undoReplacedFile(const HistoryEntry &e);
    void undoCreatedFolder(const HistoryEntry &e);
    void undoCreatedLink(const HistoryEntry &e);
    // Removes what the run created and reports it.
    void removeCreated(int dirFd, const QByteArray &name, const QString &path);
    bool restoreKept(int dirFd, const QByteArray &name, const HistoryEntry &e);
    void left(const QString &path, const QString &why)
    {
        m_left = true;
        m_result->lines.append(QStringLiteral("残しました: %1 (%2)").arg(path, why));
    }
    void done(const QString &what, const QString &path) { m_result->lines.append(what.arg(path)); }

    const HistoryRun &m_run;
    UndoResult *m_result;
    Fd m_root;
    bool m_left = false;
};

Fd Undoer::parentOf(const QStringList &parts)
{
    Fd fd(::fcntl(m_root.get(), F_DUPFD_CLOEXEC, 0));
    for (qsizetype i = 0; i + 1 < parts.size() && fd.get() >= 0; ++i) {
        Fd next(::openat(
            fd.get(), QFile::encodeName(parts.at(i)).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        fd = std::move(next);
    }
    return fd;
}

bool Undoer::unchanged(int dirFd, const QByteArray &name, const HistoryEntry &e)
{
    struct stat st { };
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (st.st_size != e.size || qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec != e.mtimeNs)
        return false;
    quint32 crc = 0;
    return fileCrc(dirFd, name, &crc) && crc == e.crc;
}

void Undoer::removeCreated(int dirFd, const QByteArray &name, const QString &path)
{
    if (::unlinkat(dirFd, name.constData(), 0) != 0)
        left(path, QString::fromLocal8Bit(strerror(errno)));
    else
        done(QStringLiteral("削除しました: %1"), path);
}

void Undoer::undoCreatedFile(const HistoryEntry &e)
{
    const QStringList parts = e.path.split(u'/');
    const QByteArray name = QFile::encodeName(parts.last());
    const Fd dir = parentOf(parts);
    struct stat st { };
    if (dir.get() < 0) {
        if (errno != ENOENT)
            left(e.path, QStringLiteral("途中のフォルダを開けません"));
        return;
    }
    if (::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return; // already gone
    if (!unchanged(dir.get(), name, e)) {
        left(e.path, QStringLiteral("解凍の後に変更されています"));
        return;
    }
    removeCreated(dir.get(), name, e.path);
}

bool Undoer::restoreKept(int dirFd, const QByteArray &name, const HistoryEntry &e)
{
    Fd from(
        ::open(QFile::encodeName(QDir(m_run.folder).filePath(e.kept)).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (from.get() < 0)
        return false;
    QByteArray temp;
    Fd to(arc::createTempFile(dirFd, mode_t(e.oldMode & 0777), &temp));
    if (to.get() < 0)
        return false;
    bool ok = true;
    char buffer[1 << 16];
    while (ok) {
        const ssize_t n = ::read(from.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = ::write(to.get(), buffer + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            ok = w > 0;
            done += w;
        }
    }
    const struct timespec times[2] = { fromNanoseconds(e.oldAtimeNs), fromNanoseconds(e.oldMtimeNs) };
    ok = ok && ::fchmod(to.get(), mode_t(e.oldMode)) == 0 && ::futimens(to.get(), times) == 0;
    ok = ok && ::renameat(dirFd, temp.constData(), dirFd, name.constData()) == 0;
    if (!ok)
        ::unlinkat(dirFd, temp.constData(), 0);
    return ok;
}

void Undoer::undoReplacedFile(const HistoryEntry &e)
{
    const QStringList parts = e.path.split(u'/');
    const QByteArray name = QFile::encodeName(parts.last());
    const Fd dir = parentOf(parts);
    if (dir.get() < 0) {
        left(e.path, QStringLiteral("途中のフォルダを開けません"));
        return;
    }
    struct stat st { };
    const bool exists = ::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        left(e.path, QStringLiteral("同じ名前のフォルダがあります"));
        return;
    }
    if (exists && !unchanged(dir.get(), name, e)) {
        // The user's own version stays, under a name beside the restored one.
        for (int n = 1; n < 1000; ++n) {
            const QString aside = parts.last() + QStringLiteral(".%1-%2").arg(m_run.id).arg(n);
            const QByteArray nativeAside = QFile::encodeName(aside);
            if (::renameat2(dir.get(), name.constData(), dir.get(), nativeAside.constData(), RENAME_NOREPLACE) == 0) {
                left(e.path, QStringLiteral("解凍の後に変更されていたため %1 として残しました").arg(aside));
                break;
            }
            if (errno != EEXIST) {
                left(e.path, QStringLiteral("解凍の後に変更されています"));
                return;
            }
        }
    }
    if (!restoreKept(dir.get(), name, e)) {
        left(e.path, QStringLiteral("以前の版を戻せません: %1").arg(QString::fromLocal8Bit(strerror(errno))));
        return;
    }
    done(QStringLiteral("元に戻しました: %1"), e.path);
}

void Undoer::undoCreatedLink(const HistoryEntry &e)
{
    const QStringList parts = e.path.split(u'/');
    const QByteArray name = QFile::encodeName(parts.last());
    const Fd dir = parentOf(parts);
    if (dir.get() < 0) {
        if (errno != ENOENT)
            left(e.path, QStringLiteral("途中のフォルダを開けません"));
        return;
    }
    struct stat st { };
    if (::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return; // already gone
    // The link itself is read, never what it leads to: one the user pointed
    // elsewhere, or a file put in its place, is theirs now.
    const QByteArray target = QFile::encodeName(e.linkTarget);
    QByteArray now(target.size() + 1, '\0');
    const ssize_t n
        = S_ISLNK(st.st_mode) ? ::readlinkat(dir.get(), name.constData(), now.data(), size_t(now.size())) : -1;
    if (n < 0 || now.left(n) != target) {
        left(e.path, QStringLiteral("解凍の後に変更されています"));
        return;
    }
    removeCreated(dir.get(), name, e.path);
}

void Undoer::undoCreatedFolder(const HistoryEntry &e)
{
    const QString shown = e.path.isEmpty() ? m_run.target : e.path;
    int rc;
    if (e.path.isEmpty()) {
        rc = ::rmdir(QFile::encodeName(m_run.target).constData());
    } else {
        const QStringList parts = e.path.split(u'/');
        const Fd dir = parentOf(parts);
        struct stat st { };
        const QByteArray name = QFile::encodeName(parts.last());
        if (dir.get() < 0 || ::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                left(shown, QStringLiteral("途中のフォルダを開けません"));
            return;
        }
        if (!S_ISDIR(st.st_mode)) {
            left(shown, QStringLiteral("フォルダではなくなっています"));
            return;
        }
        rc = ::unlinkat(dir.get(), name.constData(), AT_REMOVEDIR);
    }
    if (rc == 0)
        done(QStringLiteral("削除しました: %1/"), shown);
    else if (errno != ENOENT)
        left(shown + u'/',
            errno == ENOTEMPTY || errno == EEXIST ? QStringLiteral("フォルダが空ではありません")
                                                  : QString::fromLocal8Bit(strerror(errno)));
}

void Undoer::execute()
{
    m_root = Fd(::open(QFile::encodeName(m_run.target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (m_root.get() < 0) {
        m_result->lines.append(QStringLiteral("解凍先フォルダを開けません: %1").arg(m_run.target));
        return;
    }
    // Files first, newest change first; then folders, deepest first.
    for (auto it = m_run.entries.crbegin(); it != m_run.entries.crend(); ++it) {
        if (it->kind == HistoryEntry::File)
            undoCreatedFile(*it);
        else if (it->kind == HistoryEntry::Replaced)
            undoReplacedFile(*it);
        else if (it->kind == HistoryEntry::Link)
            undoCreatedLink(*it);
    }
    QList<HistoryEntry> folders;
    for (const HistoryEntry &e : m_run.entries) {
        if (e.kind == HistoryEntry::Folder)
            folders.append(e);
    }
    std::stable_sort(folders.begin(), folders.end(), [](const HistoryEntry &a, const HistoryEntry &b) {
        return (a.path.isEmpty() ? -1 : a.path.count(u'/')) > (b.path.isEmpty() ? -1 : b.path.count(u'/'));
    });
    for (const HistoryEntry &e : folders)
        undoCreatedFolder(e);
    m_result->status = m_left ? UndoResult::Partly : UndoResult::Restored;
}

} // namespace

UndoResult undoRun(const QString &historyFolder, const QString &runId)
{
    UndoResult result;
    const QList<HistoryRun> runs = listRuns(historyFolder);
    const auto it = std::find_if(runs.begin(), runs.end(), [&](const HistoryRun &r) { return r.id == runId; });
    if (it == runs.end()) {
        result.lines.append(QStringLiteral("履歴にありません: %1").arg(runId));
        return result;
    }
    HistoryRun run = *it;
    if (run.undone) {
        result.lines.append(QStringLiteral("すでに元に戻しています: %1").arg(runId));
        return result;
    }
    // runs is newest first: everything before this run is newer.
    for (auto newer = runs.begin(); newer != it; ++newer) {
        if (!newer->undone && newer->key() == run.key()) {
            result.lines.append(QStringLiteral("より新しい解凍 %1 を先に元に戻してください。").arg(newer->id));
            return result;
        }
    }
    Undoer(run, &result).execute();
    run.undone = true;
    if (result.status == UndoResult::Restored)
        QDir(run.folder).removeRecursively();
    else
        writeManifest(run);
    return result;
}

UndoResult undoLastRun(const QString &historyFolder)
{
    for (const HistoryRun &run : listRuns(historyFolder)) {
        if (!run.undone)
            return undoRun(historyFolder, run.id);
    }
    UndoResult result;
    result.lines.append(QStringLiteral("元に戻せる解凍はありません。"));
    return result;
}

} // namespace pellora::core
