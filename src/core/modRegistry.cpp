#include "core/modRegistry.h"

#include <QFile>
#include <QLoggingCategory>
#include <QMetaType>
#include <QMimeDatabase>
#include <QSettings>
#include <QStringList>

#include <cmath>
#include <limits>

namespace pellora::core {

namespace {

Q_LOGGING_CATEGORY(lcSettings, "pellora.settings")

constexpr qint64 kMinNumber = std::numeric_limits<qint32>::min();
constexpr qint64 kMaxNumber = std::numeric_limits<qint32>::max();

QSettings openSettings()
{
    return QSettings(QStringLiteral("Vorn"), QStringLiteral("Pellora"));
}

bool isKnownType(int valueType)
{
    return valueType == kRegSz || valueType == kRegDword;
}

// The key has no subkeys: QSettings would turn a separator into a group.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\');
}

std::optional<qint32> fitting(qint64 n)
{
    if (n < kMinNumber || n > kMaxNumber)
        return std::nullopt;
    return qint32(n);
}

// What a caller hands over as a number: integers, booleans as 0 / 1, fractions
// rounded to the nearest whole number, texts that spell a number. Anything that
// does not fit 32 bits is refused rather than cut, so the stored value stays.
std::optional<qint32> numberToWrite(const QVariant &value)
{
    bool ok = false;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return fitting(value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong n = value.toULongLong();
        return n > qulonglong(kMaxNumber) ? std::nullopt : std::optional<qint32>(qint32(n));
    }
    default:
        break;
    }
    const double d
        = value.typeId() == QMetaType::QString ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    const double whole = std::nearbyint(d);
    if (whole < double(kMinNumber) || whole > double(kMaxNumber))
        return std::nullopt;
    return qint32(whole);
}

// A number read back from the file, which anyone may have edited: only a
// whole decimal number within 32 bits counts, everything else is no number.
std::optional<qint32> storedNumber(const QVariant &stored)
{
    bool ok = false;
    switch (stored.typeId()) {
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const qint32 n = stored.toString().trimmed().toInt(&ok, 10);
        return ok ? std::optional<qint32>(n) : std::nullopt;
    }
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return fitting(stored.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong n = stored.toULongLong();
        return n > qulonglong(kMaxNumber) ? std::nullopt : std::optional<qint32>(qint32(n));
    }
    default:
        return std::nullopt;
    }
}

std::optional<QString> storedText(const QVariant &stored)
{
    QString text;
    // An unquoted value with commas comes back from the INI file as a list;
    // joining restores what was typed, including a trailing ", ".
    if (stored.typeId() == QMetaType::QStringList)
        text = stored.toStringList().join(QStringLiteral(", "));
    else if (stored.typeId() == QMetaType::QString || stored.typeId() == QMetaType::QByteArray || storedNumber(stored))
        text = stored.toString();
    else
        return std::nullopt;
    // Registry texts end at their first NUL; a stored NUL must not leak into
    // command lines and paths.
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

QVariant convertStored(const QVariant &stored, int valueType, const QVariant &defaultValue)
{
    if (!stored.isValid())
        return defaultValue;
    if (valueType == kRegSz) {
        if (const auto text = storedText(stored))
            return *text;
    } else if (valueType == kRegDword) {
        if (const auto number = storedNumber(stored))
            return *number;
    }
    return defaultValue;
}

// The default value of a key under the file-type root, or invalid when the
// key does not exist.
QVariant fileTypeValue(const QString &keyPath)
{
    const QMimeDatabase db;
    const bool isExtension
        = keyPath.size() > 1 && keyPath.startsWith(u'.') && !keyPath.contains(u'/') && !keyPath.contains(u'\\');
    if (isExtension) {
        // Matching by name only: no file is looked at.
        const QMimeType type = db.mimeTypeForFile(QStringLiteral("x") + keyPath, QMimeDatabase::MatchExtension);
        if (type.isValid() && !type.isDefault())
            return type.name();
        return {};
    }
    if (keyPath.contains(u'/')) {
        const QMimeType type = db.mimeTypeForName(keyPath);
        if (type.isValid())
            return type.comment();
    }
    return {};
}

} // namespace

void WriteSetting(const QString &name, int valueType, const QVariant &value)
{
    if (!isPlainName(name)) {
        qCWarning(lcSettings) << "not a setting name:" << name;
        return;
    }
    QVariant stored;
    if (valueType == kRegSz) {
        stored = value.toString();
    } else if (valueType == kRegDword) {
        const auto number = numberToWrite(value);
        if (!number) {
            qCWarning(lcSettings) << "not a 32-bit number for" << name << ':' << value;
            return;
        }
        stored = *number;
    } else {
        qCWarning(lcSettings) << "unknown value type" << valueType << "for" << name;
        return;
    }
    QSettings settings = openSettings();
    settings.setValue(name, stored);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qCWarning(lcSettings) << "could not store" << name << "in" << settings.fileName();
}

QVariant ReadSetting(const QString &name, int valueType, const QVariant &defaultValue)
{
    if (!isKnownType(valueType) || !isPlainName(name))
        return defaultValue;
    const QSettings settings = openSettings();
    return convertStored(settings.value(name), valueType, defaultValue);
}

QVariant ReadClassesRootValue(
    const QString &keyPath, const QString &valueName, int valueType, const QVariant &defaultValue)
{
    // File types carry only their default value here.
    if (!isKnownType(valueType) || !valueName.isEmpty())
        return defaultValue;
    return convertStored(fileTypeValue(keyPath), valueType, defaultValue);
}

std::optional<QString> DeleteSettingsKey()
{
    QString path;
    {
        // Where the settings are a registry key, clear() is the deletion; over
        // a file it also empties what this process holds of it in memory.
        QSettings settings = openSettings();
        path = settings.fileName();
        settings.clear();
        settings.sync();
    }
    QFile file(path);
    if (file.exists() && !file.remove()) {
        qCWarning(lcSettings) << "could not remove" << path << ':' << file.errorString();
        return file.errorString();
    }
    return std::nullopt;
}

QVariant defaultValue(const Setting &s)
{
    switch (s.kind) {
    case SettingKind::Number:
        return s.number;
    case SettingKind::YesNo:
        return s.number != 0;
    case SettingKind::Text:
        break;
    }
    return QString::fromUtf16(s.text.data(), qsizetype(s.text.size()));
}

qint32 readNumber(const Setting &s)
{
    return readNumber(s, s.number);
}

qint32 readNumber(const Setting &s, qint32 fallback)
{
    return ReadSetting(s.key(), kRegDword, fallback).toInt();
}

bool readYesNo(const Setting &s)
{
    return readNumber(s) != 0;
}

QString readText(const Setting &s)
{
    return readText(s, defaultValue(s).toString());
}

QString readText(const Setting &s, const QString &fallback)
{
    return ReadSetting(s.key(), kRegSz, fallback).toString();
}

void writeNumber(const Setting &s, qint32 value)
{
    WriteSetting(s.key(), kRegDword, value);
}

void writeYesNo(const Setting &s, bool yes)
{
    WriteSetting(s.key(), kRegDword, yes ? 1 : 0);
}

void writeText(const Setting &s, const QString &value)
{
    WriteSetting(s.key(), kRegSz, value);
}

} // namespace pellora::core
