#include "platform/archiver/Report.h"

namespace pellora::arc {

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
    switch (outcome) {
    case Outcome::Extracted:
        what = QStringLiteral("解凍しました");
        ++m_extracted;
        break;
    case Outcome::Replaced:
        what = QStringLiteral("上書きしました");
        ++m_extracted;
        break;
    case Outcome::Kept:
        what = QStringLiteral("既存のファイルが同じか新しいので残しました");
        ++m_kept;
        break;
    case Outcome::FolderMade:
        what = QStringLiteral("フォルダを作成しました");
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
    }
    if (!detail.isEmpty())
        what += QStringLiteral(" (%1)").arg(detail);
    if (outcome == Outcome::FolderMade)
        m_text += QStringLiteral("%1  %2\n").arg(name, what);
    else
        m_text += QStringLiteral("%1  %2 バイト  %3\n").arg(name, groupedNumber(size), what);
}

void Report::header(const QString &detail)
{
    ++m_failed;
    m_text += QStringLiteral("ヘッダーが壊れています (%1)\n").arg(detail);
}

void Report::line(const QString &text)
{
    m_text += text + u'\n';
}

QByteArray Report::text() const
{
    QString summary = QStringLiteral("解凍 %1 個、スキップ %2 個、拒否 %3 個、エラー %4 個")
                          .arg(m_extracted)
                          .arg(m_kept)
                          .arg(m_refused)
                          .arg(m_failed);
    if (m_endedEarly)
        summary += QStringLiteral("。アーカイブが壊れているため途中で終了しました");
    if (m_cancelled)
        summary += QStringLiteral("。中止しました");
    return (m_text + summary + u'\n').toUtf8();
}

QString damageReason(const QString &message)
{
    const QString m = message.toLower();
    QString reason;
    if (m.contains(u"crc") || m.contains(u"checksum"))
        reason = QStringLiteral("CRC エラー");
    else if (m.contains(u"truncat") || m.contains(u"premature") || m.contains(u"unexpected end"))
        reason = QStringLiteral("データが途中で切れています");
    else if (m.contains(u"encrypt"))
        reason = QStringLiteral("暗号化されています");
    else if (m.contains(u"unsupported") || m.contains(u"not supported") || m.contains(u"unknown compression"))
        reason = QStringLiteral("対応していない圧縮方式です");
    else
        reason = QStringLiteral("データが壊れています");
    return message.isEmpty() ? reason : QStringLiteral("%1: %2").arg(reason, message);
}

} // namespace pellora::arc
