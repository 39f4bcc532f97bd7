#include "platform/SystemShell.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QStorageInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pellora::platform {

namespace {

Shell *g_installed = nullptr;

SystemShell &systemShell()
{
    static SystemShell s;
    return s;
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

Shell::~Shell() = default;

QStringList Shell::mountedVolumes()
{
    QStringList ready;
    QStringList others;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (ready.contains(root) || others.contains(root))
            continue;
        (volume.isValid() && volume.isReady() ? ready : others).append(root);
    }
    return ready + others;
}

Shell &shell()
{
    return g_installed ? *g_installed : systemShell();
}

void setShell(Shell *s)
{
    g_installed = s;
}

int defaultAnswer(int style)
{
    const bool second = (style & vbDefaultButton2) != 0;
    switch (style & 0x0F) {
    case vbOKCancel:
        return second ? vbCancel : vbOK;
    case vbYesNo:
        return second ? vbNo : vbYes;
    case vbYesNoCancel:
        return (style & vbDefaultButton3) ? vbCancel : second ? vbNo : vbYes;
    case vbRetryCancel:
        return second ? vbCancel : vbRetry;
    default:
        return vbOK;
    }
}

int SystemShell::messageBox(const QString &text, int style, const QString &title)
{
    std::fprintf(stderr, "%s: %s\n", title.toUtf8().constData(), text.toUtf8().constData());
    return defaultAnswer(style);
}

bool SystemShell::startCommandLine(const QString &commandLine, QString *error)
{
    QStringList words = QProcess::splitCommand(commandLine);
    if (words.isEmpty()) {
        if (error)
            *error = QStringLiteral("起動するプログラムが指定されていません。");
        return false;
    }
    const QString program = words.takeFirst();
    return startProgram(program, words, error);
}

bool SystemShell::startProgram(const QString &program, const QStringList &arguments, QString *error)
{
    if (QProcess::startDetached(program, arguments))
        return true;
    if (error)
        *error = QStringLiteral("プログラムを起動できません: %1").arg(program);
    return false;
}

int SystemShell::openDocument(const QString &file, const QString &workingFolder)
{
    if (!QFileInfo(file).isFile())
        return 2; // file not found, as the shell would say
    const QString type = QMimeDatabase().mimeTypeForFile(file).name();
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return kShellExecuteNoAssoc;
    QProcess query;
    query.start(xdgMime, { QStringLiteral("query"), QStringLiteral("default"), type });
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished();
        return kShellExecuteNoAssoc;
    }
    if (QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed().isEmpty())
        return kShellExecuteNoAssoc;
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (xdgOpen.isEmpty() || !QProcess::startDetached(xdgOpen, { file }, workingFolder))
        return 0;
    return kShellExecuteOk;
}

void SystemShell::showTextViewer(const QString &file)
{
    QFile f(file);
    if (f.open(QIODevice::ReadOnly))
        std::fwrite(f.readAll().constData(), 1, size_t(f.size()), stdout);
}

bool SystemShell::copyFile(const QString &source, const QString &destination)
{
    return transfer(Transfer::Copy, source, destination);
}

bool SystemShell::moveFile(const QString &source, const QString &destination)
{
    return transfer(Transfer::Move, source, destination);
}

bool SystemShell::transfer(Transfer kind, const QString &source, const QString &destination)
{
    const QString verb = kind == Transfer::Copy ? QStringLiteral("コピー") : QStringLiteral("移動");
    auto fail = [&](const QString &why) {
        messageBox(QStringLiteral("%1 を %2 に%3できません。\n%4").arg(source, destination, verb, why),
            vbOKOnly | vbCritical, QStringLiteral("Pellora"));
        return false;
    };
    const QFileInfo from(source);
    if (!from.isFile())
        return fail(QStringLiteral("ファイルがありません。"));
    const QFileInfo to(destination);
    if (!QDir().mkpath(to.absolutePath()))
        return fail(QStringLiteral("フォルダを作成できません。"));
    if (to.exists() || to.isSymLink()) {
        if (to.isDir())
            return fail(QStringLiteral("同じ名前のフォルダがあります。"));
        const int answer = messageBox(QStringLiteral("%1 は既に存在します。\n置き換えますか?").arg(destination),
            vbYesNo | vbQuestion | vbDefaultButton2, QStringLiteral("確認"));
        if (answer != vbYes)
            return false;
    }
    const QByteArray src = QFile::encodeName(source);
    const QByteArray dst = QFile::encodeName(destination);
    // A move within one file system is a rename, which replaces atomically.
    if (kind == Transfer::Move && std::rename(src.constData(), dst.constData()) == 0)
        return true;
    if (kind == Transfer::Move && errno != EXDEV)
        return fail(errnoText(errno));
    // Copy beside the destination first, then rename over it: a failed copy
    // never destroys a file that was there. The temporary name is short so
    // that a destination name at the file system's length limit still works.
    const QString temp
        = QDir(to.absolutePath()).filePath(QStringLiteral(".~pellora-copy-%1").arg(QCoreApplication::applicationPid()));
    QFile::remove(temp);
    if (!QFile::copy(source, temp)) {
        QFile::remove(temp);
        return fail(QStringLiteral("書き込めません。"));
    }
    if (std::rename(QFile::encodeName(temp).constData(), dst.constData()) != 0) {
        const int error = errno;
        QFile::remove(temp);
        return fail(errnoText(error));
    }
    if (kind == Transfer::Move && !QFile::remove(source))
        return fail(QStringLiteral("元のファイルを削除できません。"));
    return true;
}

void SystemShell::showHelp(const QString &helpFile, Help, int)
{
    // Without windows the best help is where to find it.
    std::fprintf(stderr, "Pellora help: %s\n", helpFile.toUtf8().constData());
}

// Without windows nobody can pick: both pickers answer as if cancelled.
QString SystemShell::BrowseForFolder(QObject *, const QString &, const QString &, int)
{
    return {};
}

QString SystemShell::ShowOpenDialog(QObject *, const QString &, const QString &)
{
    return {};
}

bool SystemShell::moveToTrash(const QString &path)
{
    // The home trash lies in the data folder, which a new account may not
    // have yet; Qt creates the trash but not the folder it lives in.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    if (QFile::moveToTrash(path))
        return true;
    messageBox(
        QStringLiteral("%1 をゴミ箱に移動できません。").arg(path), vbOKOnly | vbCritical, QStringLiteral("Pellora"));
    return false;
}

} // namespace pellora::platform
