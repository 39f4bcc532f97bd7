#include "core/ItemListStore.h"

#include "platform/FileLock.h"
#include "platform/Paths.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <vector>

Q_LOGGING_CATEGORY(lcItemList, "pellora.core.itemlist")

namespace pellora::core {

namespace {

const QString kFileName = QStringLiteral("ITEM.DAT");

// A save waits this long for another process's save (which takes
// milliseconds) before it tells the user.
constexpr std::chrono::milliseconds kLockWait{ 5000 };

// Whether a write at path would be refused for want of permission: its
// folder exists and is read-only, or the file is. A folder that does not
// exist yet is created by the write.
bool cannotWriteAt(const QString &path)
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (folder.exists() && !folder.isWritable())
        return true;
    const QFileInfo file(path);
    return file.isFile() && !file.isWritable();
}

QString dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Pellora");
}

} // namespace

QList<ItemRecord> mergeItemLists(
    const QList<ItemRecord> &base, const QList<ItemRecord> &mine, const QList<ItemRecord> &theirs)
{
    // The usual cases, without the bookkeeping: nobody else saved, or this
    // window changed nothing (then the other side's order, moves included,
    // is the one to keep).
    if (theirs == base)
        return mine;
    if (mine == base)
        return theirs;
    // How many of each record this window removed: base less mine. What is
    // left of mine after taking base's records out is what it added.
    QHash<ItemRecord, int> removedHere;
    for (const ItemRecord &r : base)
        ++removedHere[r];
    std::vector<bool> addedHere(size_t(mine.size()), false);
    for (qsizetype i = 0; i < mine.size(); ++i) {
        auto it = removedHere.find(mine.at(i));
        if (it != removedHere.end() && it.value() > 0)
            --it.value();
        else
            addedHere[size_t(i)] = true;
    }

    // Each of this window's records from base stays while theirs still holds
    // it; the instance of theirs it stands for is marked with its place.
    QHash<ItemRecord, QList<qsizetype>> instances;
    for (qsizetype j = 0; j < theirs.size(); ++j)
        instances[theirs.at(j)].append(j);
    QHash<ItemRecord, qsizetype> used;
    std::vector<qsizetype> placeOf(size_t(theirs.size()), -1);
    QList<ItemRecord> kept;
    for (qsizetype i = 0; i < mine.size(); ++i) {
        const ItemRecord &r = mine.at(i);
        if (!addedHere[size_t(i)]) {
            const QList<qsizetype> &list = instances[r];
            qsizetype &next = used[r];
            if (next >= list.size())
                continue; // removed (or edited) elsewhere
            placeOf[size_t(list.at(next++))] = kept.size();
        }
        kept.append(r);
    }

    // The rest of theirs: records this window removed go; the others were
    // added elsewhere and follow their predecessor in theirs.
    std::vector<QList<ItemRecord>> after(size_t(kept.size()) + 1);
    size_t slot = 0;
    for (qsizetype j = 0; j < theirs.size(); ++j) {
        if (placeOf[size_t(j)] >= 0) {
            slot = size_t(placeOf[size_t(j)]) + 1;
            continue;
        }
        const ItemRecord &r = theirs.at(j);
        auto it = removedHere.find(r);
        if (it != removedHere.end() && it.value() > 0) {
            --it.value();
            continue;
        }
        after[slot].append(r);
    }
    QList<ItemRecord> merged = after[0];
    merged.reserve(kept.size() + theirs.size());
    for (qsizetype k = 0; k < kept.size(); ++k) {
        merged.append(kept.at(k));
        merged.append(after[size_t(k) + 1]);
    }
    return merged;
}

ItemListPlace itemListPlace(const QString &executableFolder, const QString &dataFolder)
{
    ItemListPlace place;
    place.home = itemFilePath(executableFolder, dataFolder);
    if (QFileInfo(place.home).absolutePath() == QFileInfo(QDir(dataFolder).filePath(kFileName)).absolutePath())
        return place;
    // One stand-in per portable copy: several copies, and an installed one,
    // each keep their own list, and none overwrites another's.
    const QByteArray folder = QFile::encodeName(QDir::cleanPath(QFileInfo(executableFolder).absoluteFilePath()));
    const QString tag
        = QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16));
    place.standIn = QDir(dataFolder).filePath(QStringLiteral("portable-") + tag + u'/' + kFileName);
    return place;
}

ItemListPlace itemListPlace()
{
    return itemListPlace(QCoreApplication::applicationDirPath(), dataFolder());
}

QString currentItemListPath(const ItemListPlace &place)
{
    if (place.standIn.isEmpty())
        return place.home;
    const QFileInfo standIn(place.standIn);
    if (!standIn.isFile())
        return place.home;
    const QFileInfo home(place.home);
    if (!home.isFile() || standIn.lastModified() >= home.lastModified())
        return place.standIn;
    return place.home;
}

QString currentItemListPath()
{
    return currentItemListPath(itemListPlace());
}

ItemListStore::ItemListStore(ItemListPlace place)
    : m_place(std::move(place))
{
}

namespace {

// What tells one version of a file from the next without reading it: a save
// puts a new file in place, with its own time.
QString fileStamp(const QString &path)
{
    const QFileInfo info(path);
    return path + u'|' + QString::number(info.lastModified().toMSecsSinceEpoch()) + u'|' + QString::number(info.size());
}

// The list and its options file: a save writes both, the options last.
QString stampOf(const QString &path)
{
    return fileStamp(path) + u'|' + fileStamp(itemOptionsPath(path));
}

} // namespace

ItemFile::ReadResult ItemListStore::load()
{
    m_path = currentItemListPath(m_place);
    m_stamp = stampOf(m_path);
    ItemFile::ReadResult result = ItemFile(m_path).read();
    m_base = result.records;
    m_baseOptions = ItemOptionsFile(m_path).read();
    m_options = m_baseOptions;
    return result;
}

std::optional<QList<ItemRecord>> ItemListStore::refresh(
    const QList<ItemRecord> &mine, const ItemOptionsMap *mineOptions)
{
    // No lock: a save replaces the file whole, so a reader sees the list
    // before or after it, never half of it.
    const QString current = currentItemListPath(m_place);
    // Folder events come for any file beside the list: a list that is the
    // same file as last seen is not read again.
    if (!QFileInfo(current).isFile() || stampOf(current) == m_stamp)
        return std::nullopt;
    m_stamp = stampOf(current);
    ItemFile::ReadResult read = ItemFile(current).read();
    if (read.error)
        return std::nullopt;
    ItemOptionsMap theirOptions = ItemOptionsFile(current).read();
    if (read.records == m_base && theirOptions == m_baseOptions)
        return std::nullopt;
    QList<ItemRecord> merged = mergeItemLists(m_base, mine, read.records);
    m_options = mergeItemOptions(m_baseOptions, mineOptions ? *mineOptions : m_options, theirOptions);
    m_base = std::move(read.records);
    m_baseOptions = std::move(theirOptions);
    m_path = current;
    return merged;
}

QString ItemListStore::lockPath() const
{
    // Beside the list where that folder takes files, else beside the stand-in.
    if (m_place.standIn.isEmpty() || !cannotWriteAt(m_place.home))
        return m_place.home + QStringLiteral(".lock");
    return m_place.standIn + QStringLiteral(".lock");
}

ItemListStore::SaveResult ItemListStore::save(
    const QList<ItemRecord> &mine, const Arrange &arrange, const ItemOptionsMap *mineOptions)
{
    platform::FileLock lock(lockPath());
    QString reason;
    switch (lock.acquire(kLockWait, &reason)) {
    case platform::FileLock::Result::Taken:
        break;
    case platform::FileLock::Result::Busy:
        return { mine, ItemFileError{ currentItemListPath(m_place), reason }, {} };
    case platform::FileLock::Result::Unavailable:
        // Nowhere to lock is no reason to lose the changes: the write itself
        // still replaces the file whole.
        qCWarning(lcItemList) << "saving the item list without a lock:" << lock.path() << reason;
        break;
    }

    const QString current = currentItemListPath(m_place);
    ItemFile currentFile(current);
    // A list that vanished tells nothing about the items: rather than take
    // every record for removed, the save keeps what this window knew.
    QList<ItemRecord> theirs = m_base;
    if (QFileInfo(current).isFile()) {
        ItemFile::ReadResult read = currentFile.read();
        if (read.error)
            return { mine, read.error, {} };
        theirs = std::move(read.records);
    }
    QList<ItemRecord> merged = mergeItemLists(m_base, mine, theirs);
    // Options that cannot be read are kept aside by the write, not lost.
    ItemOptionsFile currentOptions(current);
    const ItemOptionsMap theirOptions = currentOptions.read();
    const ItemOptionsMap mergedOptions
        = mergeItemOptions(m_baseOptions, mineOptions ? *mineOptions : m_options, theirOptions);
    // Unchanged, the caller's list is already in its order.
    if (arrange && merged != mine)
        merged = arrange(std::move(merged));

    const bool toStandIn = !m_place.standIn.isEmpty() && cannotWriteAt(m_place.home);
    const QString target = toStandIn ? m_place.standIn : m_place.home;
    ItemFile targetFile(target);
    if (target != current)
        targetFile.read(); // for the encoding the list had there
    ItemFile &out = target == current ? currentFile : targetFile;
    if (std::optional<ItemFileError> error = out.write(merged)) {
        // The caller shows the merged list, so theirs is the base it differs from.
        m_base = theirs;
        return { merged, error, {} };
    }
    ItemOptionsFile targetOptions(target);
    if (target != current)
        targetOptions.read(); // for what it holds that this version cannot read
    ItemOptionsFile &optionsOut = target == current ? currentOptions : targetOptions;
    if (std::optional<ItemFileError> error = optionsOut.write(mergedOptions)) {
        // The list is written; the options stay to be saved by the next save.
        m_path = target;
        m_stamp = stampOf(target);
        m_base = merged;
        m_baseOptions = theirOptions;
        m_options = mergedOptions;
        return { merged, error, {} };
    }
    // The stand-in's list has come home: leave no second list behind.
    if (!toStandIn && current == m_place.standIn) {
        QFile::remove(m_place.standIn);
        QFile::remove(itemOptionsPath(m_place.standIn));
    }
    SaveResult result{ merged, std::nullopt, {} };
    if (toStandIn && m_path != m_place.standIn)
        result.movedTo = target;
    m_path = target;
    m_stamp = stampOf(target);
    m_base = std::move(merged);
    m_baseOptions = mergedOptions;
    m_options = mergedOptions;
    result.records = m_base;
    return result;
}

} // namespace pellora::core
