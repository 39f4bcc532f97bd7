#pragma once

#include <QString>
#include <QStringList>

namespace pellora::extract {

// How routing one archive ended; the values are the exit codes of a
// command-line route, which scripts act on.
enum class RouteResult : int {
    Extracted = 0,
    NoMatch = 3,
    SeveralMatches = 4, // nothing extracted: only the user can choose
    Failed = 5, // refused or failed entries, or refused before the run: the archive stays
    Unsupported = 6, // no library accepts it, or it is damaged
};

struct RouteOutcome {
    RouteResult result = RouteResult::Unsupported;
    QString title; // the matching item's name, when one matched
    QString output; // its target folder
    QStringList candidates; // the names of the items matched, in list order
    QString report; // what the library reported or why nothing ran, LF line ends
};

// Routes an archive as start-up does with one match, but for a run nobody
// watches: no window, nothing opened; a complete extraction disposes of the
// archive as configured.
RouteOutcome routeArchive(const QString &path);

// The outcome as lines for standard output: the archive, what happened and
// the report, every name escaped so that none can add a line or reach the
// terminal as a control sequence.
QString routeSummary(const QString &path, const RouteOutcome &outcome);

} // namespace pellora::extract
