#include "platform/FileActivity.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pellora::platform {

QString fileIdentity(const QString &path)
{
    struct stat status { };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return QStringLiteral("%1:%2:%3")
        .arg(path)
        .arg(static_cast<qulonglong>(status.st_dev))
        .arg(static_cast<qulonglong>(status.st_ino));
}

bool isOpenForWriting(const QString &path)
{
    const QByteArray wanted = QFile::encodeName(QFileInfo(path).canonicalFilePath());
    if (wanted.isEmpty())
        return false;
    const QDir proc(QStringLiteral("/proc"));
    const QStringList processes = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    char target[4096];
    for (const QString &pid : processes) {
        if (pid.isEmpty() || !pid.front().isDigit())
            continue;
        const QString fdFolder = QStringLiteral("/proc/%1/fd").arg(pid);
        const QStringList fds = QDir(fdFolder).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : fds) {
            const QByteArray link = QFile::encodeName(fdFolder + u'/' + fd);
            const ssize_t length = ::readlink(link.constData(), target, sizeof target);
            if (length <= 0 || QByteArray::fromRawData(target, length) != wanted)
                continue;
            QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid, fd));
            if (!info.open(QIODevice::ReadOnly))
                return true; // open, and how cannot be told: wait for it
            for (const QByteArray &line : info.readAll().split('\n')) {
                if (!line.startsWith("flags:"))
                    continue;
                bool ok = false;
                const uint flags = line.mid(6).trimmed().toUInt(&ok, 8);
                if (!ok || (flags & O_ACCMODE) != O_RDONLY)
                    return true;
            }
        }
    }
    return false;
}

bool isPartialDownloadName(const QString &fileName)
{
    for (const auto suffix : { u".part", u".crdownload", u".download", u".tmp" }) {
        if (fileName.endsWith(QStringView(suffix), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

namespace {

int signalPipe[2] = { -1, -1 };

void onTerminationSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe calls here: the event loop does the rest.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

void quitOnTerminationSignals()
{
    if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(), [] {
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action { };
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(signal, &action, nullptr);
}

} // namespace pellora::platform
