#pragma once

#include <QByteArray>
#include <QString>

namespace pellora::arc {

// The text report of one command call: a line per entry (name with "/"
// separators, size, what happened), then a summary line. LF line ends.
class Report final {
public:
    enum class Outcome { Extracted, Replaced, Kept, FolderMade, Refused, Damaged, NotWritten };

    void entry(const QString &name, qint64 size, Outcome outcome, const QString &detail = {});
    void header(const QString &detail); // a header that could not be read
    void line(const QString &text); // anything else worth saying

    void cancelled() { m_cancelled = true; }
    void endedEarly() { m_endedEarly = true; }
    bool hasErrors() const { return m_refused + m_failed > 0; }

    // The whole text with its summary.
    QByteArray text() const;

private:
    QString m_text;
    int m_extracted = 0;
    int m_kept = 0;
    int m_refused = 0;
    int m_failed = 0;
    bool m_cancelled = false;
    bool m_endedEarly = false;
};

// Sorts libarchive's English message for a damaged entry into a reason in the
// UI language, keeping the original after it for diagnosis.
QString damageReason(const QString &libarchiveMessage);

// 1234567 -> "1,234,567"
QString groupedNumber(qint64 value);

} // namespace pellora::arc
