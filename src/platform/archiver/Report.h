#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pellora::arc {

// The text report of one command call: a line per entry (name with "/"
// separators, size, what happened), then a summary line. LF line ends.
// Every text given is made one line with its control characters escaped, so
// no name or library message can add a line of its own or reach a terminal.
class Report final {
public:
    enum class Outcome { Extracted, Replaced, Kept, FolderMade, Refused, Damaged, NotWritten, Encrypted };

    void entry(const QString &name, qint64 size, Outcome outcome, const QString &detail = {});
    void header(const QString &detail); // a header that could not be read
    void failure(const QString &text); // the run could not start: counted as an error
    // A line about the run as a whole (how names were made); kept whatever the size.
    void note(const QString &text);

    void cancelled() { m_cancelled = true; }
    void endedEarly() { m_endedEarly = true; }
    bool hasErrors() const { return m_refused + m_failed > 0; }

    // The text with its summary, in at most limit bytes when limit >= 0. A
    // report too long for that keeps every error and refusal line, as many
    // other lines from its head and tail as fit, and says how many it left out.
    QByteArray text(qsizetype limit = -1) const;

private:
    struct Line {
        QByteArray text; // UTF-8 with its LF
        bool notable; // an error or refusal: kept whatever the size
    };
    void add(const QString &text, bool notable);

    QList<Line> m_lines;
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

// The text with every control character (C0, DEL, C1, line and paragraph
// separators, bidirectional overrides) written as a visible escape: "\n",
// "\t", "\r", "\x1b", "\u202e".
QString escapeControls(const QString &text);

// 1234567 -> "1,234,567"
QString groupedNumber(qint64 value);

} // namespace pellora::arc
