#include "platform/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace pellora::platform {

namespace {

constexpr QLatin1StringView kMarker("X-Pellora=watch");
// Pellora's entry is a few hundred bytes; a larger file is someone else's.
constexpr qint64 kLargestOwnEntry = 64 * 1024;

// Characters after which a desktop would split an unquoted argument or read
// it as something other than itself.
bool needsQuotes(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (argument.isEmpty())
        return true;
    for (const QChar c : argument) {
        if (reserved.contains(c))
            return true;
    }
    return false;
}

bool representable(const QString &argument)
{
    for (const QChar c : argument) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0x7f)
            return false;
    }
    return true;
}

// A file of the entry's name that Pellora did not write: a link, a folder, a
// device, or a file without the marker.
bool isForeign(const QString &path)
{
    const QFileInfo info(path);
    // Neither a link nor a special file is opened: a pipe would never answer.
    if (info.isSymLink() || !info.isFile() || info.size() > kLargestOwnEntry)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    return !isWatchAutostartEntry(file.read(kLargestOwnEntry));
}

bool present(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString watchAutostartPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/pellora-watch.desktop");
}

std::optional<QString> execValue(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return std::nullopt;
    QStringList words;
    for (const QString &argument : arguments) {
        if (!representable(argument))
            return std::nullopt;
        QString word;
        if (needsQuotes(argument)) {
            word += u'"';
            for (const QChar c : argument) {
                if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                    word += u'\\';
                word += c;
            }
            word += u'"';
        } else {
            word = argument;
        }
        words.append(word);
    }
    // The key's value is a string first: its own escapes apply before the
    // quoting is read, so every backslash of the quoting is doubled again.
    QString value;
    for (const QChar c : words.join(u' ')) {
        switch (c.unicode()) {
        case u'\\':
            value += QStringLiteral("\\\\");
            break;
        case u'\n':
            value += QStringLiteral("\\n");
            break;
        case u'\t':
            value += QStringLiteral("\\t");
            break;
        case u'\r':
            value += QStringLiteral("\\r");
            break;
        case u'%':
            value += QStringLiteral("%%");
            break;
        default:
            value += c;
        }
    }
    return value;
}

std::optional<QByteArray> watchAutostartEntry(const QString &program, const QString &folder)
{
    if (program.isEmpty())
        return std::nullopt;
    QStringList arguments{ program, QStringLiteral("--watch") };
    if (!folder.isEmpty())
        arguments.append(folder);
    const std::optional<QString> exec = execValue(arguments);
    if (!exec)
        return std::nullopt;
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Pellora\n"
                          "Comment=Routes downloaded archives into the folders of their software\n"
                          "Exec=%1\n"
                          "Icon=pellora\n"
                          "Terminal=false\n"
                          "%2\n")
        .arg(*exec, kMarker)
        .toUtf8();
}

bool isWatchAutostartEntry(const QByteArray &contents)
{
    for (const QByteArray &line : contents.split('\n')) {
        if (line.trimmed() == QByteArrayView(kMarker.data(), kMarker.size()))
            return true;
    }
    return false;
}

bool watchAutostartIsPellora()
{
    const QString path = watchAutostartPath();
    return present(path) && !isForeign(path);
}

AutostartChange setWatchAtLogin(bool on, const QString &program, const QString &folder)
{
    const QString path = watchAutostartPath();
    if (!on) {
        if (!present(path))
            return { AutostartChange::Absent, {} };
        if (isForeign(path))
            return { AutostartChange::Foreign, {} };
        QFile file(path);
        if (!file.remove())
            return { AutostartChange::Failed, file.errorString() };
        return { AutostartChange::Removed, {} };
    }
    const std::optional<QByteArray> entry = watchAutostartEntry(program, folder);
    if (!entry)
        return { AutostartChange::Unwritable, {} };
    if (present(path) && isForeign(path))
        return { AutostartChange::Foreign, {} };
    const QString folderOfEntry = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folderOfEntry))
        return { AutostartChange::Failed, QStringLiteral("%1: cannot create the folder").arg(folderOfEntry) };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*entry) != entry->size() || !file.commit())
        return { AutostartChange::Failed, file.errorString() };
    return { AutostartChange::Written, {} };
}

} // namespace pellora::platform
