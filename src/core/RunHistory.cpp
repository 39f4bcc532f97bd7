#include "core/RunHistory.h"

#include "core/ItemFile.h"
#include "core/modRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace pellora::core {

namespace {

const QString kManifest = QStringLiteral("manifest.json");

qint64 nanoseconds(const struct timespec &t)
{
    return qint64(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

QString joined(const QStringList &components)
{
    return components.join(u'/');
}

const char *kindName(HistoryEntry::Kind kind)
{
    switch (kind) {
    case HistoryEntry::Folder:
        return "folder";
    case HistoryEntry::Replaced:
        return "replaced";
    case HistoryEntry::File:
    case HistoryEntry::Link: // see appendEntry
        break;
    }
    return "file";
}

// The manifest is written by hand: it is rewritten while a run goes on and
// once at its end, and building it through QJsonObject cost more than the
// rest of the recording of a large archive together.
void appendText(QByteArray *out, const QString &text)
{
    out->append('"');
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\') {
            out->append('\\');
            out->append(c);
        } else if (uchar(c) < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out->append("\\u00");
            out->append(hex[uchar(c) >> 4]);
            out->append(hex[uchar(c) & 15]);
        } else {
            out->append(c);
        }
    }
    out->append('"');
}

void appendField(QByteArray *out, const char *key, const QString &text)
{
    out->append(",\"").append(key).append("\":");
    appendText(out, text);
}

// Nanosecond counts pass a double's exact range: numbers go as text.
void appendNumber(QByteArray *out, const char *key, qint64 value)
{
    out->append(",\"").append(key).append("\":\"").append(QByteArray::number(value)).append('"');
}

void appendEntry(QByteArray *out, const HistoryEntry &e)
{
    out->append("{\"path\":");
    appendText(out, e.path);
    out->append(",\"kind\":\"").append(kindName(e.kind)).append('"');
    // A link goes down as a created file with its target beside: a reader
    // that knows no links then finds no regular file there, leaves the link
    // and reports it, instead of refusing the whole run and every kept file.
    if (e.kind == HistoryEntry::Link) {
        appendField(out, "link", e.linkTarget);
    } else if (e.kind != HistoryEntry::Folder) {
        appendNumber(out, "size", e.size);
        appendNumber(out, "mtime", e.mtimeNs);
        appendNumber(out, "crc", e.crc);
        if (e.kind == HistoryEntry::Replaced) {
            appendField(out, "kept", e.kept);
            appendNumber(out, "oldSize", e.oldSize);
            appendNumber(out, "oldMtime", e.oldMtimeNs);
            appendNumber(out, "oldAtime", e.oldAtimeNs);
            out->append(",\"oldMode\":").append(QByteArray::number(e.oldMode));
        }
    }
    out->append('}');
}

bool fromJson(const QJsonObject &o, HistoryEntry *e)
{
    e->path = o.value(QStringLiteral("path")).toString();
    const QString kind = o.value(QStringLiteral("kind")).toString();
    if (kind == u"folder")
        e->kind = HistoryEntry::Folder;
    else if (kind == u"replaced")
        e->kind = HistoryEntry::Replaced;
    else if (kind == u"file")
        e->kind = HistoryEntry::File;
    else
        return false;
    // A manifest is read back from disk: a path that climbs out of the
    // target folder or names it through a link is not one this program wrote.
    const QStringList parts = e->path.split(u'/');
    if (!e->path.isEmpty() && std::any_of(parts.begin(), parts.end(), [](const QString &p) {
            return p.isEmpty() || p == u"." || p == u"..";
        }))
        return false;
    if (e->path.isEmpty() && e->kind != HistoryEntry::Folder)
        return false;
    if (e->kind == HistoryEntry::File && o.contains(QStringLiteral("link"))) {
        e->kind = HistoryEntry::Link;
        e->linkTarget = o.value(QStringLiteral("link")).toString();
        return !e->linkTarget.isEmpty();
    }
    const auto number = [&o](const char *key) { return o.value(QLatin1String(key)).toString().toLongLong(); };
    e->size = number("size");
    e->mtimeNs = number("mtime");
    e->crc = quint32(number("crc"));
    if (e->kind == HistoryEntry::Replaced) {
        e->kept = o.value(QStringLiteral("kept")).toString();
        if (e->kept.isEmpty() || e->kept.contains(u'/') || e->kept.startsWith(u'.'))
            return false;
        e->oldSize = number("oldSize");
        e->oldMtimeNs = number("oldMtime");
        e->oldAtimeNs = number("oldAtime");
        e->oldMode = o.value(QStringLiteral("oldMode")).toInt() & 07777;
    }
    return true;
}

const QByteArray kEntriesField = QByteArrayLiteral(",\"entries\":[");

// Without entries, only what retention needs is read: parsing the entries was
// most of the cost of recording a run of many files. The manifests this
// program writes put them last, after the kept bytes; any other is read whole.
bool readManifest(const QString &folder, HistoryRun *run, bool withEntries = true)
{
    QFile file(QDir(folder).filePath(kManifest));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray text = file.read(64 << 20);
    if (!withEntries) {
        // The field name cannot stand inside a text, where every quote is escaped.
        const qsizetype cut = text.indexOf(kEntriesField);
        const QJsonObject head = cut < 0 ? QJsonObject() : QJsonDocument::fromJson(text.left(cut) + '}').object();
        if (head.value(QStringLiteral("keptBytes")).isString()) {
            run->id = head.value(QStringLiteral("id")).toString();
            run->item = head.value(QStringLiteral("item")).toString();
            run->target = head.value(QStringLiteral("target")).toString();
            run->folder = folder;
            run->keptBytes = head.value(QStringLiteral("keptBytes")).toString().toLongLong();
            return !run->id.isEmpty() && run->id == QFileInfo(folder).fileName() && !run->target.isEmpty();
        }
    }
    const QJsonObject o = QJsonDocument::fromJson(text).object();
    text.clear();
    run->id = o.value(QStringLiteral("id")).toString();
    if (run->id.isEmpty() || run->id != QFileInfo(folder).fileName())
        return false;
    run->when = QDateTime::fromString(o.value(QStringLiteral("when")).toString(), Qt::ISODate);
    run->item = o.value(QStringLiteral("item")).toString();
    run->archive = o.value(QStringLiteral("archive")).toString();
    run->target = o.value(QStringLiteral("target")).toString();
    run->undone = o.value(QStringLiteral("undone")).toBool();
    run->folder = folder;
    run->keptBytes = 0;
    for (const QJsonValue &v : o.value(QStringLiteral("entries")).toArray()) {
        HistoryEntry e;
        if (!fromJson(v.toObject(), &e))
            return false;
        if (e.kind == HistoryEntry::Replaced)
            run->keptBytes += e.oldSize;
        run->entries.append(e);
    }
    return !run->target.isEmpty();
}

// Copies the open file from into a new file at path; false on any failure (nothing left behind).
bool copyInto(int from, const QString &path)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (n > 0 && out.write(buffer, n) != n)) {
            out.remove();
            return false;
        }
        if (n == 0)
            break;
    }
    if (!out.flush()) {
        out.remove();
        return false;
    }
    return true;
}

} // namespace

QString HistoryRun::key() const
{
    return item.isEmpty() ? QStringLiteral("folder:") + QDir::cleanPath(target) : QStringLiteral("item:") + item;
}

int HistoryRun::count(HistoryEntry::Kind kind) const
{
    return int(std::count_if(entries.begin(), entries.end(), [kind](const HistoryEntry &e) { return e.kind == kind; }));
}

QString historyFolder()
{
    // A portable copy on a read-only medium reads its list there but cannot
    // keep a history beside it.
    const QFileInfo beside(QFileInfo(itemFilePath()).absolutePath());
    if (beside.isDir() && beside.isWritable())
        return beside.absoluteFilePath() + QStringLiteral("/history");
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Pellora/history");
}

bool fileCrc(int dirFd, const QByteArray &name, quint32 *crc)
{
    const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st { };
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    quint32 value = 0;
    char buffer[1 << 16];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        value = arc::contentCrc(value, buffer, size_t(n));
    }
    ::close(fd);
    *crc = value;
    return ok;
}

namespace {
QList<HistoryRun> readRuns(const QString &historyFolder, bool withEntries)
{
    QList<HistoryRun> runs;
    const QDir dir(historyFolder);
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (auto it = names.crbegin(); it != names.crend(); ++it) {
        HistoryRun run;
        if (readManifest(dir.filePath(*it), &run, withEntries))
            runs.append(run);
    }
    return runs;
}
} // namespace

QList<HistoryRun> listRuns(const QString &historyFolder)
{
    return readRuns(historyFolder, true);
}

bool writeManifest(const HistoryRun &run)
{
    QByteArray out;
    out.reserve(256 + run.entries.size() * 160);
    out.append("{\"id\":");
    appendText(&out, run.id);
    appendField(&out, "when", run.when.toString(Qt::ISODate));
    appendField(&out, "item", run.item);
    appendField(&out, "archive", run.archive);
    appendField(&out, "target", run.target);
    out.append(",\"undone\":").append(run.undone ? "true" : "false");
    qint64 kept = 0;
    for (const HistoryEntry &e : run.entries)
        kept += e.kind == HistoryEntry::Replaced ? e.oldSize : 0;
    appendNumber(&out, "keptBytes", kept);
    out.append(kEntriesField);
    for (qsizetype i = 0; i < run.entries.size(); ++i) {
        out.append(i ? ",\n" : "\n");
        appendEntry(&out, run.entries.at(i));
    }
    out.append("\n]}\n");
    QSaveFile file(QDir(run.folder).filePath(kManifest));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(out);
    return file.commit();
}

void applyRetention(const QString &historyFolder, int runsPerKey, qint64 maxBytes)
{
    const QList<HistoryRun> runs = readRuns(historyFolder, false); // newest first
    std::map<QString, int> seen;
    qint64 bytes = 0;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const HistoryRun &run = runs.at(i);
        const int rank = ++seen[run.key()];
        bytes += run.keptBytes;
        if (i > 0 && (rank > qMax(runsPerKey, 1) || bytes > maxBytes)) {
            QDir(run.folder).removeRecursively();
            bytes -= run.keptBytes;
        }
    }
}

void applyRetention(const QString &historyFolder)
{
    applyRetention(historyFolder, readNumber(setting(u"HistoryRuns")),
        qint64(qMax(readNumber(setting(u"HistoryMegabytes")), 0)) * 1024 * 1024);
}

Recording::Recording(const QString &historyFolder, const QString &item, const QString &archive, const QString &target)
    : m_history(historyFolder)
{
    m_run.when = QDateTime::currentDateTime();
    m_run.item = item;
    m_run.archive = archive;
    m_run.target = QDir::cleanPath(QDir(target).absolutePath());
}

Recording::~Recording() = default;

bool Recording::ensureFolder()
{
    if (m_folderMade)
        return true;
    if (!QDir().mkpath(m_history))
        return false;
    // The id sorts by time; a counter parts runs of the same millisecond.
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    for (int n = 0; n < 1000; ++n) {
        const QString id = stamp + QStringLiteral("-%1").arg(n, 3, 10, QChar(u'0'));
        const QString folder = QDir(m_history).filePath(id);
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) == 0) {
            m_run.id = id;
            m_run.folder = folder;
            m_folderMade = true;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

HistoryEntry *Recording::find(const QString &path)
{
    const auto it = m_index.constFind(path);
    return it == m_index.cend() ? nullptr : &m_run.entries[*it];
}

void Recording::append(const HistoryEntry &entry)
{
    m_index.insert(entry.path, m_run.entries.size());
    m_run.entries.append(entry);
}

void Recording::folderCreated(const QStringList &components)
{
    HistoryEntry e;
    e.path = joined(components);
    e.kind = HistoryEntry::Folder;
    append(e);
}

bool Recording::keepReplaced(const QStringList &components, int dirFd, const QByteArray &name)
{
    const QString path = joined(components);
    // A file this run wrote before, or replaced before: its old version is
    // already settled.
    if (find(path))
        return true;
    if (!ensureFolder())
        return false;
    struct stat st { };
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return false;
    const QString kept = QString::number(++m_keptCount);
    const QString keptPath = QDir(m_run.folder).filePath(kept);
    const QByteArray nativeKept = QFile::encodeName(keptPath);
    // A second name for the old file costs nothing; across file systems it is
    // copied, and so is a file that has other names already: written through
    // one of those, a shared file would change the version kept here.
    bool ok = !m_copyOnly && st.st_nlink == 1
        && ::linkat(dirFd, name.constData(), AT_FDCWD, nativeKept.constData(), 0) == 0;
    if (!ok) {
        const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return false;
        ok = copyInto(fd, keptPath);
        ::close(fd);
    }
    if (!ok)
        return false;
    HistoryEntry e;
    e.path = path;
    e.kind = HistoryEntry::Replaced;
    e.kept = kept;
    e.oldSize = st.st_size;
    e.oldMtimeNs = nanoseconds(st.st_mtim);
    e.oldAtimeNs = nanoseconds(st.st_atim);
    e.oldMode = int(st.st_mode & 07777);
    append(e);
    // The manifest goes down with the first kept file and then every few
    // seconds, so a run that is killed still tells where most old versions
    // are, without a synced rewrite for every file replaced.
    if (m_keptCount == 1 || !m_lastSave.isValid() || m_lastSave.hasExpired(2000)) {
        m_lastSave.start();
        return writeManifest(m_run);
    }
    return true;
}

void Recording::fileWritten(
    const QStringList &components, int dirFd, const QByteArray &name, quint32 crc, bool crcKnown)
{
    struct stat st { };
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!crcKnown && !fileCrc(dirFd, name, &crc))
        return;
    const QString path = joined(components);
    HistoryEntry *e = find(path);
    if (!e) {
        HistoryEntry created;
        created.path = path;
        created.kind = HistoryEntry::File;
        append(created);
        e = &m_run.entries.last();
    }
    e->size = st.st_size;
    e->mtimeNs = nanoseconds(st.st_mtim);
    e->crc = crc;
}

void Recording::linkCreated(const QStringList &components, const QByteArray &target)
{
    const QString path = joined(components);
    // Something this run wrote stood there before the link: whatever its
    // entry says, undo treats what it finds as changed and keeps it.
    if (find(path))
        return;
    HistoryEntry e;
    e.path = path;
    e.kind = HistoryEntry::Link;
    e.linkTarget = QFile::decodeName(target);
    append(e);
}

QString Recording::finish()
{
    if (m_run.entries.isEmpty() || !ensureFolder())
        return {};
    if (!writeManifest(m_run))
        return {};
    return m_run.id;
}

} // namespace pellora::core
