#include "core/ItemFile.h"

#include "platform/Paths.h"
#include "platform/TextCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>

#include <filesystem>
#include <system_error>

Q_LOGGING_CATEGORY(lcItemFile, "pellora.core.itemfile")

namespace pellora::core {

namespace {

constexpr QChar kQuote = u'"';
constexpr QChar kComma = u',';

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// One line as a record of exactly four fields, or nothing.
//
// A field is read as the Windows program reads it: blanks before it are
// skipped; a field that opens with a double quote runs to the next double
// quote; any other field runs to the next comma or the line end.
//
// The format has no escapes, so a record that does not fit it cannot be
// trusted and is dropped whole rather than guessed at: a quoted field left
// open, anything but blanks between a closing quote and the comma (a stray
// quote inside the text), a double quote inside an unquoted field, and a line
// of fewer or more than four fields (cut short, or a comma inside a text).
// Keeping the first four fields of a longer line would shift the texts into
// the wrong places and could send an archive into a folder made of a pattern.
bool parseRecord(QStringView line, ItemFields &record)
{
    QStringView fields[4];
    int count = 0;
    qsizetype i = 0;
    const qsizetype n = line.size();
    for (;;) {
        if (count == 4)
            return false;
        while (i < n && isBlank(line[i]))
            ++i;
        if (i < n && line[i] == kQuote) {
            const qsizetype close = line.indexOf(kQuote, i + 1);
            if (close < 0)
                return false;
            fields[count++] = line.sliced(i + 1, close - i - 1);
            i = close + 1;
            while (i < n && isBlank(line[i]))
                ++i;
            if (i < n && line[i] != kComma)
                return false;
        } else {
            qsizetype end = line.indexOf(kComma, i);
            if (end < 0)
                end = n;
            const QStringView text = line.sliced(i, end - i);
            if (text.contains(kQuote))
                return false;
            fields[count++] = text;
            i = end;
        }
        if (i >= n)
            break;
        ++i; // the comma
    }
    if (count != 4)
        return false;
    record = { fields[0], fields[1], fields[2], fields[3] };
    return true;
}

QString systemMessage(const std::error_code &error)
{
    return QString::fromLocal8Bit(error.message());
}

} // namespace

ItemFileEncoding visitItemFile(QByteArrayView bytes, const std::function<void(const ItemFields &)> &visit)
{
    const ItemFileEncoding encoding = platform::isValidUtf8(bytes) ? ItemFileEncoding::Utf8 : ItemFileEncoding::Cp932;
    // A Shift_JIS file (from the Windows program) is decoded whole; a UTF-8
    // one line by line, so that a list of a hundred thousand items never
    // needs a second copy of itself in memory.
    const QString legacy = encoding == ItemFileEncoding::Cp932 ? platform::decodeCp932(bytes.toByteArray()) : QString();
    QString decodedLine;
    int lineNumber = 0;
    ItemFields record;
    auto handle = [&](QStringView line) {
        ++lineNumber;
        if (line.trimmed().isEmpty())
            return;
        if (parseRecord(line, record))
            visit(record);
        else
            qCWarning(lcItemFile) << "skipping malformed item record on line" << lineNumber;
    };
    // Records end with CR LF; a lone LF or CR (a file edited elsewhere) ends
    // one too. Neither byte occurs inside a UTF-8 or Shift_JIS character.
    auto lines = [&](auto text, auto &&each) {
        qsizetype start = 0;
        const qsizetype size = text.size();
        while (start < size) {
            qsizetype end = start;
            while (end < size && text[end] != u'\r' && text[end] != u'\n')
                ++end;
            each(text.sliced(start, end - start));
            if (end < size && text[end] == u'\r' && end + 1 < size && text[end + 1] == u'\n')
                ++end;
            start = end + 1;
        }
    };
    if (encoding == ItemFileEncoding::Cp932) {
        lines(QStringView(legacy), handle);
    } else {
        // A byte-order mark left by a Windows editor is not part of the first title.
        const QByteArrayView text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes;
        lines(text, [&](QByteArrayView line) {
            decodedLine = QString::fromUtf8(line);
            handle(decodedLine);
        });
    }
    return encoding;
}

ItemFileContents parseItemFile(const QByteArray &bytes)
{
    ItemFileContents contents;
    contents.records.reserve(bytes.count('\n') + 1);
    contents.encoding = visitItemFile(QByteArrayView(bytes), [&contents](const ItemFields &f) {
        contents.records.append(
            { f.Title.toString(), f.Pattern.toString(), f.Output.toString(), f.Relation.toString() });
    });
    return contents;
}

std::optional<QByteArray> formatItemFile(const QList<ItemRecord> &records, ItemFileEncoding encoding)
{
    const QString between = QStringLiteral("\",\"");
    const QString end = QStringLiteral("\"\r\n");
    QString text;
    for (const ItemRecord &r : records)
        text += kQuote + r.Title + between + r.Pattern + between + r.Output + between + r.Relation + end;
    if (encoding == ItemFileEncoding::Utf8)
        return text.toUtf8();
    return platform::encodeCp932(text);
}

bool isStorableItemText(QStringView text)
{
    return !text.contains(kQuote) && !text.contains(u'\r') && !text.contains(u'\n');
}

ItemFile::ItemFile(QString path)
    : m_path(std::move(path))
{
}

ItemFile::ReadResult ItemFile::read()
{
    // A folder, a FIFO or a device of that name is no item file; a FIFO is never
    // opened, since reading one would wait for a writer.
    if (!QFileInfo(m_path).isFile()) {
        m_encoding = ItemFileEncoding::Utf8;
        return {};
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return { {}, ItemFileError{ m_path, file.errorString() } };
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return { {}, ItemFileError{ m_path, file.errorString() } };
    ItemFileContents contents = parseItemFile(bytes);
    m_encoding = contents.encoding;
    return { std::move(contents.records), std::nullopt };
}

std::optional<ItemFileError> ItemFile::write(const QList<ItemRecord> &records)
{
    ItemFileEncoding encoding = m_encoding;
    std::optional<QByteArray> bytes = formatItemFile(records, encoding);
    if (!bytes) {
        // Some text has no Shift_JIS form: UTF-8 holds it, and Pellora reads both.
        encoding = ItemFileEncoding::Utf8;
        bytes = formatItemFile(records, encoding);
    }

    // The first save of an installed copy goes to a data folder that may not exist yet.
    std::error_code error;
    std::filesystem::create_directories(QFileInfo(m_path).absolutePath().toStdU16String(), error);
    if (error)
        return ItemFileError{ m_path, systemMessage(error) };

    // Truncating the old file first would lose every item if the write then
    // failed; the new contents replace it only once they are completely on disk.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return ItemFileError{ m_path, file.errorString() };
    // Flushed here because QSaveFile::commit() in Qt 6.4 renames the file into
    // place even when flushing its buffer fails (a full disk, a size limit),
    // which would replace every item with a cut-off list.
    if (file.write(*bytes) != bytes->size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return ItemFileError{ m_path, reason };
    }
    if (!file.commit())
        return ItemFileError{ m_path, file.errorString() };
    m_encoding = encoding;
    return std::nullopt;
}

QString itemFilePath(const QString &executableFolder, const QString &dataFolder)
{
    const QString name = QStringLiteral("ITEM.DAT");
    const QFileInfo folder(executableFolder);
    const QString beside = QDir(executableFolder).filePath(name);
    // A list beside a portable copy is its list, also where the folder is
    // read-only (a copy on a read-only medium, or locked down later).
    if (folder.isDir() && (folder.isWritable() || QFileInfo(beside).isFile())
        && !platform::isInstalledCopy(executableFolder))
        return beside;
    return QDir(dataFolder).filePath(name);
}

QString itemFilePath()
{
    return itemFilePath(QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Pellora"));
}

} // namespace pellora::core
