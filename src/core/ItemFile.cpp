#include "core/ItemFile.h"

#include "platform/Paths.h"
#include "platform/TextCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>
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

// The fields of one line, read as the Windows program reads a field: blanks
// before it are skipped; a field that opens with a double quote runs to the
// next double quote, and whatever follows that quote up to the comma or the
// line end is passed over; any other field runs to the next comma or the line
// end. A text with a quote inside ("Foo "Pro" Edition") is thus cut at that
// quote, as that program cuts it.
//
// The format has no escapes, so a line that the writer could not have made
// cannot be trusted and is refused rather than guessed at: a quoted field
// left open, and a double quote inside an unquoted field.
struct LineFields {
    QStringView fields[5];
    int count = 0; // 5 stands for five or more: too many for one record
    bool cut = false;
    bool refused = false;
};

LineFields splitLine(QStringView line)
{
    LineFields out;
    qsizetype i = 0;
    const qsizetype n = line.size();
    for (;;) {
        if (out.count == 5)
            return out;
        while (i < n && isBlank(line[i]))
            ++i;
        if (i < n && line[i] == kQuote) {
            const qsizetype close = line.indexOf(kQuote, i + 1);
            if (close < 0) {
                out.refused = true;
                return out;
            }
            out.fields[out.count++] = line.sliced(i + 1, close - i - 1);
            i = close + 1;
            while (i < n && isBlank(line[i]))
                ++i;
            if (i < n && line[i] != kComma) {
                out.cut = true;
                i = line.indexOf(kComma, i);
                if (i < 0)
                    i = n;
            }
        } else {
            qsizetype end = line.indexOf(kComma, i);
            if (end < 0)
                end = n;
            const QStringView text = line.sliced(i, end - i);
            if (text.contains(kQuote)) {
                out.refused = true;
                return out;
            }
            out.fields[out.count++] = text;
            i = end;
        }
        if (i >= n)
            return out;
        ++i; // the comma
    }
}

// Puts lines together into records. The Windows program reads a stream of
// fields, so a record whose fields run on over the next lines is read whole.
// Lines whose fields do not add up to exactly four at a line end are no
// record: taking four of them would shift texts into the wrong fields (a
// fifth field would become the next record's title) and could send an
// archive into a folder made of a pattern.
class RecordAssembler {
public:
    RecordAssembler(const std::function<void(const ItemFields &)> &visit, ItemFileScan &scan)
        : m_visit(visit)
        , m_scan(scan)
    {
    }

    void line(QStringView text, int lineNumber)
    {
        if (text.trimmed().isEmpty()) {
            dropPending();
            return;
        }
        const LineFields line = splitLine(text);
        if (line.refused || line.count > 4) {
            dropPending();
            refuse(lineNumber);
            return;
        }
        if (m_pendingCount > 0) {
            if (m_pendingCount + line.count <= 4) {
                for (int f = 0; f < line.count; ++f)
                    m_pending[m_pendingCount++] = line.fields[f].toString();
                m_pendingCut = m_pendingCut || line.cut;
                if (m_pendingCount == 4) {
                    deliver({ m_pending[0], m_pending[1], m_pending[2], m_pending[3] }, m_pendingCut);
                    m_pendingCount = 0;
                }
                return;
            }
            dropPending();
        }
        if (line.count == 4) {
            deliver({ line.fields[0], line.fields[1], line.fields[2], line.fields[3] }, line.cut);
            return;
        }
        for (int f = 0; f < line.count; ++f)
            m_pending[f] = line.fields[f].toString();
        m_pendingCount = line.count;
        m_pendingCut = line.cut;
        m_pendingLine = lineNumber;
    }

    // A line whose bytes are no text in any encoding the list may use.
    void undecodable(int lineNumber)
    {
        dropPending();
        refuse(lineNumber);
    }

    void finish() { dropPending(); }

private:
    void deliver(const ItemFields &record, bool cut)
    {
        if (cut)
            ++m_scan.cut;
        m_visit(record);
    }
    void refuse(int lineNumber)
    {
        ++m_scan.unreadable;
        qCWarning(lcItemFile) << "skipping malformed item record on line" << lineNumber;
    }
    void dropPending()
    {
        if (m_pendingCount > 0)
            refuse(m_pendingLine);
        m_pendingCount = 0;
    }

    const std::function<void(const ItemFields &)> &m_visit;
    ItemFileScan &m_scan;
    QString m_pending[4];
    int m_pendingCount = 0;
    bool m_pendingCut = false;
    int m_pendingLine = 0;
};

// Calls each for every line of text. Records end with CR LF; a lone LF or CR
// (a file edited elsewhere) ends one too. Neither byte occurs inside a UTF-8
// or Shift_JIS character, so bytes can be cut into lines before decoding.
template <typename Text, typename Each> void forEachLine(Text text, Each &&each)
{
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
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool hasLoneSurrogate(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

// The text of a file that a byte-order mark declares as UTF-16.
QString decodeUtf16(QByteArrayView bytes, bool bigEndian, bool &oddByte)
{
    const qsizetype units = bytes.size() / 2;
    oddByte = bytes.size() % 2 != 0;
    QString text(units, Qt::Uninitialized);
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (qsizetype u = 0; u < units; ++u) {
        const unsigned char a = p[2 * u], b = p[2 * u + 1];
        text[u] = QChar(bigEndian ? char16_t(a << 8 | b) : char16_t(b << 8 | a));
    }
    return text;
}

const QByteArray kUtf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");
const QByteArray kUtf16LeBom = QByteArrayLiteral("\xFF\xFE");
const QByteArray kUtf16BeBom = QByteArrayLiteral("\xFE\xFF");

QString systemMessage(const std::error_code &error)
{
    return QString::fromLocal8Bit(error.message());
}

} // namespace

ItemFileScan visitItemFile(QByteArrayView bytes, const std::function<void(const ItemFields &)> &visit)
{
    ItemFileScan scan;
    RecordAssembler records(visit, scan);
    int lineNumber = 0;

    if (bytes.startsWith(kUtf16LeBom) || bytes.startsWith(kUtf16BeBom)) {
        const bool bigEndian = bytes.startsWith(kUtf16BeBom);
        scan.encoding = bigEndian ? ItemFileEncoding::Utf16Be : ItemFileEncoding::Utf16Le;
        bool oddByte = false;
        const QString text = decodeUtf16(bytes.sliced(2), bigEndian, oddByte);
        forEachLine(QStringView(text), [&](QStringView line) {
            if (hasLoneSurrogate(line))
                records.undecodable(++lineNumber);
            else
                records.line(line, ++lineNumber);
        });
        // Half a character at the end is no text: counted, never guessed at.
        if (oddByte)
            records.undecodable(++lineNumber);
        records.finish();
        return scan;
    }

    // Without a byte-order mark every line is decoded on its own: a list
    // from Windows (Shift_JIS) may have had UTF-8 lines appended here, and a
    // UTF-8 list Shift_JIS ones. A line that is valid UTF-8 is UTF-8, any
    // other must be valid Shift_JIS; a line that is neither is not read,
    // rather than read with replacement characters that a save would make
    // permanent. Decoding line by line also means a list of a hundred
    // thousand items never needs a second copy of itself in memory.
    const bool utf8Bom = bytes.startsWith(kUtf8Bom);
    if (utf8Bom)
        bytes = bytes.sliced(kUtf8Bom.size());
    platform::Cp932Decoder cp932;
    qsizetype utf8Lines = 0, cp932Lines = 0;
    QString decoded;
    forEachLine(bytes, [&](QByteArrayView line) {
        ++lineNumber;
        if (isAscii(line)) {
            decoded = QString::fromLatin1(line);
        } else if (platform::isValidUtf8(line)) {
            decoded = QString::fromUtf8(line);
            ++utf8Lines;
        } else if (std::optional<QString> text = cp932.decode(line)) {
            decoded = std::move(*text);
            ++cp932Lines;
        } else {
            records.undecodable(lineNumber);
            return;
        }
        records.line(decoded, lineNumber);
    });
    records.finish();
    // Written back in the encoding most lines were in; a tie, or no line
    // beyond ASCII, stays UTF-8.
    if (utf8Bom)
        scan.encoding = ItemFileEncoding::Utf8Bom;
    else
        scan.encoding = cp932Lines > utf8Lines ? ItemFileEncoding::Cp932 : ItemFileEncoding::Utf8;
    return scan;
}

ItemFileContents parseItemFile(const QByteArray &bytes)
{
    ItemFileContents contents;
    contents.records.reserve(bytes.count('\n') + 1);
    static_cast<ItemFileScan &>(contents) = visitItemFile(QByteArrayView(bytes), [&contents](const ItemFields &f) {
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
    // An empty list is an empty file in every encoding, mark or not.
    if (records.isEmpty())
        return QByteArray();
    switch (encoding) {
    case ItemFileEncoding::Cp932:
        return platform::encodeCp932(text);
    case ItemFileEncoding::Utf8Bom:
        return kUtf8Bom + text.toUtf8();
    case ItemFileEncoding::Utf16Le:
    case ItemFileEncoding::Utf16Be: {
        const bool bigEndian = encoding == ItemFileEncoding::Utf16Be;
        QByteArray bytes = bigEndian ? kUtf16BeBom : kUtf16LeBom;
        bytes.reserve(2 + 2 * text.size());
        for (const QChar c : std::as_const(text)) {
            const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
            bytes.append(bigEndian ? hi : lo).append(bigEndian ? lo : hi);
        }
        return bytes;
    }
    case ItemFileEncoding::Utf8:
        break;
    }
    return text.toUtf8();
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
    m_incompleteBytes.clear();
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
    if (contents.losesText())
        m_incompleteBytes = bytes;
    return { std::move(contents.records), std::nullopt, contents.unreadable, contents.cut };
}

size_t qHash(const ItemRecord &record, size_t seed)
{
    return qHashMulti(seed, record.Title, record.Pattern, record.Output, record.Relation);
}

// Puts bytes at path whole or not at all.
std::optional<ItemFileError> saveWhole(const QString &path, const QByteArray &bytes)
{
    // Truncating the old file first would lose every item if the write then
    // failed; the new contents replace it only once they are completely on disk.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return ItemFileError{ path, file.errorString() };
    // Flushed here because QSaveFile::commit() in Qt 6.4 renames the file into
    // place even when flushing its buffer fails (a full disk, a size limit),
    // which would replace every item with a cut-off list.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return ItemFileError{ path, reason };
    }
    if (!file.commit())
        return ItemFileError{ path, file.errorString() };
    return std::nullopt;
}

namespace {

bool holdsBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QFileInfo(path).size() == bytes.size() && file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
}

} // namespace

QString ItemFile::backupPath() const
{
    if (m_incompleteBytes.isEmpty())
        return QString();
    // A copy kept earlier may hold other lines that could not be read: it is
    // never replaced, the next free name is taken instead.
    const QString first = m_path + QStringLiteral(".bak");
    for (int n = 1;; ++n) {
        const QString candidate = n == 1 ? first : first + u'.' + QString::number(n);
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
            return candidate;
        if (QFileInfo(candidate).isFile() && holdsBytes(candidate, m_incompleteBytes))
            return candidate;
    }
}

std::optional<ItemFileError> ItemFile::keepBackup()
{
    const QString backup = backupPath();
    if (QFileInfo::exists(backup))
        return std::nullopt; // the same bytes are kept there already
    if (auto error = saveWhole(backup, m_incompleteBytes))
        return error;
    m_incompleteBytes.clear();
    return std::nullopt;
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

    // Lines the list could not read are the user's too: the file they are in
    // is kept aside before a save replaces it.
    if (!m_incompleteBytes.isEmpty()) {
        if (auto backupError = keepBackup())
            return backupError;
    }
    if (auto writeError = saveWhole(m_path, *bytes))
        return writeError;
    m_encoding = encoding;
    m_incompleteBytes.clear();
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
