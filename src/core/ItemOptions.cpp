#include "core/ItemOptions.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcItemOptions, "pellora.core.itemoptions")

namespace pellora::core {

namespace {

// Far beyond any list a person keeps; a bigger file is not read into memory.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

const QString kItems = QStringLiteral("items");
const QString kName = QStringLiteral("name");
const QString kPattern = QStringLiteral("pattern");
const QString kFolder = QStringLiteral("folder");
const QString kRelated = QStringLiteral("related");
const QString kStrip = QStringLiteral("stripTopFolder");
const QString kEncoding = QStringLiteral("nameEncoding");

std::optional<ItemRecord> recordOf(const QJsonObject &o)
{
    for (const QString &key : { kName, kPattern, kFolder, kRelated })
        if (!o.value(key).isString())
            return std::nullopt;
    return ItemRecord{ o.value(kName).toString(), o.value(kPattern).toString(), o.value(kFolder).toString(),
        o.value(kRelated).toString() };
}

} // namespace

arc::NameOptions ItemOptions::names() const
{
    arc::NameOptions names;
    names.stripTopFolder = stripTopFolder;
    if (arc::nameEncodings().contains(nameEncoding))
        names.encoding = nameEncoding;
    return names;
}

QString itemOptionsPath(const QString &itemListPath)
{
    return itemListPath + QStringLiteral(".options");
}

ItemOptionsContents parseItemOptions(const QByteArray &bytes, bool *ok)
{
    ItemOptionsContents contents;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    *ok = error.error == QJsonParseError::NoError && document.isObject();
    if (!*ok)
        return contents;
    contents.rest = document.object();
    const QJsonValue items = contents.rest.take(kItems);
    for (const QJsonValue &value : items.toArray()) {
        const QJsonObject o = value.toObject();
        const std::optional<ItemRecord> record = value.isObject() ? recordOf(o) : std::nullopt;
        const QJsonValue strip = o.value(kStrip);
        const QJsonValue encoding = o.value(kEncoding);
        if (!record || !(strip.isUndefined() || strip.isBool()) || !(encoding.isUndefined() || encoding.isString())) {
            contents.unreadable.append(value);
            continue;
        }
        ItemOptions options;
        options.stripTopFolder = strip.toBool();
        options.nameEncoding = encoding.toString();
        options.unknown = o;
        for (const QString &key : { kName, kPattern, kFolder, kRelated, kStrip, kEncoding })
            options.unknown.remove(key);
        if (!options.isDefault())
            contents.options.insert(*record, options);
    }
    return contents;
}

QByteArray formatItemOptions(const ItemOptionsContents &contents)
{
    // In a stable order, so an unchanged list writes the same bytes.
    QList<ItemRecord> records = contents.options.keys();
    std::sort(records.begin(), records.end(), [](const ItemRecord &a, const ItemRecord &b) {
        return std::tie(a.Title, a.Pattern, a.Output, a.Relation) < std::tie(b.Title, b.Pattern, b.Output, b.Relation);
    });
    QJsonArray items;
    for (const ItemRecord &record : records) {
        const ItemOptions &options = contents.options.value(record);
        if (options.isDefault())
            continue;
        QJsonObject o = options.unknown;
        o.insert(kName, record.Title);
        o.insert(kPattern, record.Pattern);
        o.insert(kFolder, record.Output);
        o.insert(kRelated, record.Relation);
        if (options.stripTopFolder)
            o.insert(kStrip, true);
        if (!options.nameEncoding.isEmpty())
            o.insert(kEncoding, options.nameEncoding);
        items.append(o);
    }
    for (const QJsonValue &value : contents.unreadable)
        items.append(value);
    QJsonObject top = contents.rest;
    top.insert(kItems, items);
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}

ItemOptionsMap mergeItemOptions(const ItemOptionsMap &base, const ItemOptionsMap &mine, const ItemOptionsMap &theirs)
{
    if (theirs == base)
        return mine;
    if (mine == base)
        return theirs;
    ItemOptionsMap merged;
    const auto take = [&](const ItemRecord &record) {
        if (merged.contains(record))
            return;
        const ItemOptions b = base.value(record);
        const ItemOptions m = mine.value(record);
        const ItemOptions chosen = m == b ? theirs.value(record) : m;
        if (!chosen.isDefault())
            merged.insert(record, chosen);
    };
    for (const ItemOptionsMap *map : { &base, &mine, &theirs })
        for (auto it = map->cbegin(); it != map->cend(); ++it)
            take(it.key());
    return merged;
}

ItemOptionsFile::ItemOptionsFile(const QString &itemListPath)
    : m_path(itemOptionsPath(itemListPath))
{
}

ItemOptionsMap ItemOptionsFile::read()
{
    m_kept = {};
    m_damaged = false;
    const QFileInfo info(m_path);
    if (!info.exists())
        return {};
    QFile file(m_path);
    bool ok = info.isFile() && info.size() <= kMaxFileSize && file.open(QIODevice::ReadOnly);
    const QByteArray bytes = ok ? file.readAll() : QByteArray();
    ItemOptionsContents contents = ok ? parseItemOptions(bytes, &ok) : ItemOptionsContents();
    if (!ok) {
        qCWarning(lcItemOptions) << "item options unreadable, kept aside at the next save:" << m_path;
        m_damaged = true;
        return {};
    }
    ItemOptionsMap options = std::move(contents.options);
    m_kept = std::move(contents);
    return options;
}

std::optional<ItemFileError> ItemOptionsFile::write(const ItemOptionsMap &options)
{
    if (m_damaged) {
        // Whatever the file held is the user's: it moves aside, never under.
        QString aside = m_path + QStringLiteral(".bak");
        for (int n = 1; QFileInfo::exists(aside); ++n)
            aside = m_path + QStringLiteral(".bak.%1").arg(n);
        if (!QFile::rename(m_path, aside))
            return ItemFileError{ m_path, QStringLiteral("読み込めない設定ファイルを退避できません。") };
        m_damaged = false;
    }
    ItemOptionsContents contents = m_kept;
    contents.options = options;
    if (options.isEmpty() && contents.unreadable.isEmpty() && contents.rest.isEmpty()) {
        // No options: no file, so a list that never had any stays a lone ITEM.DAT.
        if (QFileInfo::exists(m_path) && !QFile::remove(m_path))
            return ItemFileError{ m_path, QStringLiteral("ファイルを削除できません。") };
        return std::nullopt;
    }
    return saveWhole(m_path, formatItemOptions(contents));
}

ItemOptions itemOptionsOf(const QString &itemListPath, const ItemRecord &record)
{
    return ItemOptionsFile(itemListPath).read().value(record);
}

} // namespace pellora::core
