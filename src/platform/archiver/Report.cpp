#include "platform/archiver/Report.h"

#include <vector>

namespace pellora::arc {

namespace {

// A library's message as one line: libarchive ends some of its messages with a line end.
QString oneLine(const QString &message)
{
    qsizetype end = message.size();
    while (end > 0 && (message.at(end - 1) == u'\n' || message.at(end - 1) == u'\r'))
        --end;
    return escapeControls(message.left(end));
}

QByteArray omission(qsizetype lines)
{
    return QStringLiteral("…… %1 行を省略しました ……\n").arg(lines).toUtf8();
}

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x061c || c == 0x200e || c == 0x200f || c == 0x2028
        || c == 0x2029 || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString escapeControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!isControl(u)) {
            out += c;
            continue;
        }
        switch (u) {
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        default:
            out += u <= 0xff ? QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'))
                             : QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
        }
    }
    return out;
}

QString groupedNumber(qint64 value)
{
    QString digits = QString::number(value < 0 ? -value : value);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, u',');
    return value < 0 ? u'-' + digits : digits;
}

void Report::entry(const QString &name, qint64 size, Outcome outcome, const QString &detail)
{
    QString what;
    bool notable = true;
    switch (outcome) {
    case Outcome::Extracted:
        what = QStringLiteral("解凍しました");
        ++m_extracted;
        notable = false;
        break;
    case Outcome::Replaced:
        what = QStringLiteral("上書きしました");
        ++m_extracted;
        notable = false;
        break;
    case Outcome::Kept:
        what = QStringLiteral("既存のファイルが同じか新しいので残しました");
        ++m_kept;
        notable = false;
        break;
    case Outcome::FolderMade:
        what = QStringLiteral("フォルダを作成しました");
        notable = false;
        break;
    case Outcome::Refused:
        what = QStringLiteral("解凍しませんでした");
        ++m_refused;
        break;
    case Outcome::Damaged:
        what = QStringLiteral("破損しています");
        ++m_failed;
        break;
    case Outcome::NotWritten:
        what = QStringLiteral("書き込めませんでした");
        ++m_failed;
        break;
    case Outcome::Encrypted:
        // Not damage: the data may be perfectly sound, it only cannot be read without its password.
        what = QStringLiteral("解凍しませんでした (暗号化されています)");
        ++m_failed;
        break;
    }
    if (!detail.isEmpty())
        what += QStringLiteral(" (%1)").arg(oneLine(detail));
    const QString shown = escapeControls(name);
    if (outcome == Outcome::FolderMade)
        add(QStringLiteral("%1  %2").arg(shown, what), notable);
    else
        add(QStringLiteral("%1  %2 バイト  %3").arg(shown, groupedNumber(size), what), notable);
}

void Report::header(const QString &detail)
{
    ++m_failed;
    add(QStringLiteral("ヘッダーが壊れています (%1)").arg(oneLine(detail)), true);
}

void Report::note(const QString &text)
{
    add(escapeControls(text), true);
}

void Report::failure(const QString &text)
{
    ++m_failed;
    add(oneLine(text), true);
}

void Report::add(const QString &text, bool notable)
{
    m_lines.append({ text.toUtf8() + '\n', notable });
}

QByteArray Report::text(qsizetype limit) const
{
    QString summaryText = QStringLiteral("解凍 %1 個、スキップ %2 個、拒否 %3 個、エラー %4 個")
                              .arg(m_extracted)
                              .arg(m_kept)
                              .arg(m_refused)
                              .arg(m_failed);
    if (m_endedEarly)
        summaryText += QStringLiteral("。アーカイブが壊れているため途中で終了しました");
    if (m_cancelled)
        summaryText += QStringLiteral("。中止しました");
    const QByteArray summary = summaryText.toUtf8() + '\n';

    qsizetype total = summary.size();
    for (const Line &line : m_lines)
        total += line.text.size();
    if (limit < 0 || total <= limit) {
        QByteArray all;
        all.reserve(total);
        for (const Line &line : m_lines)
            all += line.text;
        return all + summary;
    }

    const qsizetype count = m_lines.size();
    const qsizetype markWidth = omission(count).size();
    // Room for the kept lines, the summary and a mark after the last kept line.
    qsizetype room = limit - summary.size() - markWidth;
    if (room <= 0)
        return summary;
    std::vector<bool> keep(size_t(count), false);

    // Errors and refusals first, each with room for a mark before it. Should
    // even they not fit, the first and the last of them stay.
    std::vector<qsizetype> notable;
    qsizetype notableCost = 0;
    for (qsizetype i = 0; i < count; ++i) {
        if (m_lines.at(i).notable) {
            notable.push_back(i);
            notableCost += m_lines.at(i).text.size() + markWidth;
        }
    }
    if (notableCost <= room) {
        for (const qsizetype i : notable)
            keep[size_t(i)] = true;
        room -= notableCost;
    } else {
        qsizetype headRoom = room / 2;
        size_t front = 0;
        for (; front < notable.size(); ++front) {
            const qsizetype cost = m_lines.at(notable[front]).text.size() + markWidth;
            if (cost > headRoom)
                break;
            keep[size_t(notable[front])] = true;
            headRoom -= cost;
        }
        qsizetype tailRoom = room - (room / 2 - headRoom);
        for (size_t back = notable.size(); back > front; --back) {
            const qsizetype cost = m_lines.at(notable[back - 1]).text.size() + markWidth;
            if (cost > tailRoom)
                break;
            keep[size_t(notable[back - 1])] = true;
            tailRoom -= cost;
        }
        room = 0;
    }

    // Then the other lines: an unbroken run from the head, one from the tail.
    qsizetype headRoom = room / 2;
    qsizetype head = 0;
    for (; head < count; ++head) {
        if (keep[size_t(head)])
            continue;
        const qsizetype cost = m_lines.at(head).text.size();
        if (cost > headRoom)
            break;
        keep[size_t(head)] = true;
        headRoom -= cost;
    }
    qsizetype tailRoom = room - (room / 2 - headRoom);
    for (qsizetype tail = count - 1; tail > head; --tail) {
        if (keep[size_t(tail)])
            continue;
        const qsizetype cost = m_lines.at(tail).text.size();
        if (cost > tailRoom)
            break;
        keep[size_t(tail)] = true;
        tailRoom -= cost;
    }

    QByteArray out;
    out.reserve(limit);
    qsizetype leftOut = 0;
    for (qsizetype i = 0; i < count; ++i) {
        if (!keep[size_t(i)]) {
            ++leftOut;
            continue;
        }
        if (leftOut > 0)
            out += omission(leftOut);
        leftOut = 0;
        out += m_lines.at(i).text;
    }
    if (leftOut > 0)
        out += omission(leftOut);
    return out + summary;
}

QString damageReason(const QString &message)
{
    const QString m = message.toLower();
    QString reason;
    if (m.contains(u"crc") || m.contains(u"checksum"))
        reason = QStringLiteral("CRC エラー");
    else if (m.contains(u"truncat") || m.contains(u"premature") || m.contains(u"unexpected end"))
        reason = QStringLiteral("データが途中で切れています");
    else if (m.contains(u"encrypt") || m.contains(u"passphrase") || m.contains(u"password"))
        reason = QStringLiteral("暗号化されています");
    else if (m.contains(u"unsupported") || m.contains(u"not supported") || m.contains(u"unknown compression"))
        reason = QStringLiteral("対応していない圧縮方式です");
    else
        reason = QStringLiteral("データが壊れています");
    return message.isEmpty() ? reason : QStringLiteral("%1: %2").arg(reason, message);
}

} // namespace pellora::arc
