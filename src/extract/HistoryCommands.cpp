#include "extract/HistoryCommands.h"

#include "core/RunHistory.h"
#include "core/Undo.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <cstring>

namespace pellora::extract {

namespace {

QString describe(const core::HistoryRun &run)
{
    using core::HistoryEntry;
    QString line = QStringLiteral("%1  %2  %3  %4  作成 %5, 置換 %6, フォルダ %7")
                       .arg(run.id, run.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                           run.item.isEmpty() ? run.target : run.item, run.archive)
                       .arg(run.count(HistoryEntry::File) + run.count(HistoryEntry::Link))
                       .arg(run.count(HistoryEntry::Replaced))
                       .arg(run.count(HistoryEntry::Folder));
    if (run.undone)
        line += QStringLiteral("  (元に戻し済み)");
    // Names come from archives and the item list: one run stays one line.
    line.replace(u'\n', u' ').replace(u'\r', u' ');
    return line;
}

} // namespace

std::optional<int> runHistoryCommand(int argc, char *argv[])
{
    if (argc < 2)
        return std::nullopt;
    const char *option = argv[1];
    const bool list = std::strcmp(option, "--history") == 0;
    const bool undoLast = std::strcmp(option, "--undo-last") == 0;
    const bool undoOne = std::strcmp(option, "--undo") == 0;
    if (!list && !undoLast && !undoOne)
        return std::nullopt;

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pellora"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vorn"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int expected = undoOne ? 3 : 2;
    if (argc != expected) {
        err << (undoOne ? "usage: pellora --undo RUN-ID\n" : "usage: pellora --history | --undo-last\n");
        return 2;
    }
    const QString history = core::historyFolder();
    if (list) {
        for (const core::HistoryRun &run : core::listRuns(history))
            out << describe(run) << '\n';
        return 0;
    }
    const core::UndoResult result
        = undoLast ? core::undoLastRun(history) : core::undoRun(history, QString::fromLocal8Bit(argv[2]));
    QTextStream &to = result.status == core::UndoResult::Nothing ? err : out;
    for (const QString &line : result.lines)
        to << line << '\n';
    return result.exitCode();
}

} // namespace pellora::extract
