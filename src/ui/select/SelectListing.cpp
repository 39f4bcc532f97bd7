#include "ui/select/SelectListing.h"

#include "core/modRegistry.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/archiver/ArchiverRegistry.h"

#include <QFile>
#include <QLocale>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace pellora::ui {

using platform::kPathSeparator;

namespace {

// The number grouped in threes, every digit kept whatever its length.
QString grouped(const QString &digits)
{
    // The system's separator; a locale that groups nothing still reads best
    // with the "," the list always showed.
    static const QString separator = [] {
        const QString s = QLocale::system().groupSeparator();
        return s.isEmpty() ? QStringLiteral(",") : s;
    }();
    QString text;
    text.reserve(digits.size() + digits.size() / 3 * separator.size());
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += separator;
        text += digits.at(i);
    }
    return text;
}

SelectRow makeRow(QString name, quint64 size, QString type, QString folder)
{
    SelectRow row;
    row.name = std::move(name);
    row.size = size;
    row.sizeText = SizeText(size);
    row.type = std::move(type);
    row.folder = std::move(folder);
    return row;
}

struct DirectoryEntry {
    QByteArray name;
    bool isFolder = false;
    bool sizePending = false;
    quint64 size = 0;
};

// The entries of one folder, read in one go and the folder closed again
// before any subfolder is opened: however deep the tree, only one folder is
// open at a time. A link is looked through for its size; a link to a folder
// is left out, never reported as a folder to descend into.
bool readFolder(const QByteArray &path, SizeReading reading, std::vector<DirectoryEntry> &entries)
{
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return false;
    const int fd = ::dirfd(dir);
    while (const dirent *d = ::readdir(dir)) {
        const char *name = d->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        DirectoryEntry entry;
        entry.name = QByteArray(name);
        unsigned char type = d->d_type;
        struct stat st;
        if (type == DT_UNKNOWN) {
            // Some file systems do not say; ask without following a link.
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
        }
        if (type == DT_DIR) {
            entry.isFolder = true;
        } else if (type == DT_REG && reading == SizeReading::Later) {
            entry.sizePending = true;
        } else if (::fstatat(fd, name, &st, 0) == 0) {
            // A link to a folder is not descended into and is no file either.
            if (S_ISDIR(st.st_mode))
                continue;
            entry.size = quint64(st.st_size);
        }
        // A dangling link stays a row without a size: it is an entry of the
        // folder like any other, and opening it simply finds nothing.
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return true;
}

void listFolderBelow(
    const QByteArray &path, const QString &relative, SizeReading reading, FileTypes &types, SelectRows &rows)
{
    std::vector<DirectoryEntry> entries;
    if (!readFolder(path, reading, entries))
        return;
    for (const DirectoryEntry &entry : entries) {
        const QString name = QFile::decodeName(entry.name);
        if (entry.isFolder) {
            // At once, so a subfolder's rows follow the rows found before it.
            listFolderBelow(path + entry.name + '/', relative + name + kPathSeparator, reading, types, rows);
            continue;
        }
        if (entry.sizePending) {
            SelectRow row;
            row.name = name;
            row.type = types.text(name);
            row.folder = relative;
            row.sizePending = true;
            rows.push_back(std::move(row));
        } else {
            rows.push_back(makeRow(name, entry.size, types.text(name), relative));
        }
    }
}

} // namespace

QString SizeText(quint64 size)
{
    return size == 0 ? QString() : grouped(QString::number(size));
}

int SizePaddingDigits(quint64 largestSize)
{
    const int digits = int(QString::number(largestSize).size());
    return qMax(9, (digits + 2) / 3 * 3);
}

QString PaddedSizeText(quint64 size, int digits)
{
    if (size == 0)
        return {};
    return grouped(QString::number(size).rightJustified(digits, u'0'));
}

QString FileTypeText(const QString &s)
{
    const qsizetype dot = s.lastIndexOf(u'.');
    if (dot < 0)
        return QStringLiteral("ファイル");
    const QString ext = s.mid(dot);
    const QString typeClass = core::ReadClassesRootValue(ext, QString(), core::kRegSz, QString()).toString();
    if (!typeClass.isEmpty())
        return core::ReadClassesRootValue(typeClass, QString(), core::kRegSz, QString()).toString();
    return ext.mid(1).toUpper() + QStringLiteral(" ファイル");
}

QString FileTypes::text(const QString &s)
{
    const qsizetype dot = s.lastIndexOf(u'.');
    if (dot < 0)
        return FileTypeText(s);
    const QString ext = s.mid(dot);
    auto it = m_byExtension.constFind(ext);
    if (it == m_byExtension.cend())
        it = m_byExtension.insert(ext, FileTypeText(ext));
    return it.value();
}

void ListArchive(const QString &archiveType, const QString &archivePath, QObject *owner, SelectRows &rows,
    const arc::NameOptions &names)
{
    // Which library lists the kind and which separator it reports.
    const arc::ArchiveKindInfo *kind = arc::archiveKindOfType(archiveType);
    if (!kind)
        return;
    const QChar separator = QLatin1Char(kind->separator);
    const auto library = arc::ArchiverRegistry::find(QString::fromLatin1(kind->library));
    if (!library)
        return;
    const arc::HARC handle = library->OpenArchiveWith(owner, archivePath, names);
    if (handle == 0)
        return;
    FileTypes types;
    arc::INDIVIDUALINFO info;
    int r = library->FindFirst(handle, QStringLiteral("*.*"), &info);
    while (r == 0) {
        const QString full = QString::fromUtf8(info.szFileName);
        // Folder entries end with the separator and give no row; only the
        // kind's own separator splits a path.
        if (!full.isEmpty() && !full.endsWith(separator)) {
            const qsizetype cut = full.lastIndexOf(separator) + 1;
            QString folder = full.left(cut);
            folder.replace(separator, kPathSeparator);
            folder.replace(u'/', kPathSeparator);
            // The extension is looked for in the whole path, as it always was.
            rows.push_back(makeRow(full.mid(cut), info.dwOriginalSize, types.text(full), folder));
        }
        info = {};
        r = library->FindNext(handle, &info);
    }
    library->CloseArchive(handle);
}

void ListFolder(const QString &folder, SelectRows &rows, SizeReading reading)
{
    if (folder.isEmpty())
        return;
    FileTypes types;
    QByteArray path = QFile::encodeName(folder);
    if (!path.endsWith('/'))
        path += '/';
    listFolderBelow(path, QString(), reading, types, rows);
}

void ReadPendingSize(const QString &folder, SelectRow &row)
{
    if (!row.sizePending)
        return;
    row.sizePending = false;
    const QString path = platform::withTrailingSeparator(folder) + row.relativePath();
    struct stat st;
    row.size = ::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode) ? quint64(st.st_size) : 0;
    row.sizeText = SizeText(row.size);
}

} // namespace pellora::ui
