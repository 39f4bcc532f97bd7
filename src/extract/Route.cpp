#include "extract/Route.h"

#include "core/ItemListStore.h"
#include "core/Startup.h"
#include "core/clsItem.h"
#include "platform/archiver/ArchiverLibrary.h"
#include "platform/archiver/Report.h"

#include <QFileInfo>

namespace pellora::extract {

RouteOutcome routeArchive(const QString &path)
{
    RouteOutcome outcome;
    const QFileInfo info(path);
    core::clsItem item(QStringList{});
    // A folder or a missing file is no archive, whatever a library says.
    if (info.isFile())
        item.setPath(info.absoluteFilePath());
    if (item.Path().isEmpty() || item.ArchiveType().isEmpty()) {
        outcome.report = QStringLiteral("指定されたファイルは未対応の形式であるか壊れています。");
        return outcome;
    }
    const QList<core::ItemRecord> candidates = core::matchingItemsInFile(item.Name(), core::currentItemListPath());
    for (const core::ItemRecord &candidate : candidates)
        outcome.candidates << candidate.Title;
    if (candidates.isEmpty()) {
        outcome.result = RouteResult::NoMatch;
        return outcome;
    }
    if (candidates.size() > 1) {
        outcome.result = RouteResult::SeveralMatches;
        return outcome;
    }
    item.setTitle(candidates.first().Title);
    item.setOutput(candidates.first().Output);
    item.setRelation(candidates.first().Relation);
    item.setOptions(core::itemOptionsOf(core::currentItemListPath(), candidates.first()));
    outcome.title = item.Title();
    outcome.output = item.Output();
    const int code = item.MeltUnattended(&outcome.report);
    if (code == arc::kResultOk)
        outcome.result = RouteResult::Extracted;
    else if (code == arc::kResultCannotOpen || code == arc::kResultDamagedArchive)
        outcome.result = RouteResult::Unsupported;
    else
        outcome.result = RouteResult::Failed;
    return outcome;
}

QString routeSummary(const QString &path, const RouteOutcome &outcome)
{
    QString text = arc::escapeControls(path) + QStringLiteral(": ");
    QStringList names;
    for (const QString &name : outcome.candidates)
        names << arc::escapeControls(name);
    switch (outcome.result) {
    case RouteResult::Extracted:
        text += QStringLiteral("解凍しました (%1)").arg(names.join(u", "));
        break;
    case RouteResult::NoMatch:
        text += QStringLiteral("一致するアイテムがありません");
        break;
    case RouteResult::SeveralMatches:
        text += QStringLiteral("複数のアイテムに一致したため解凍していません (%1)").arg(names.join(u", "));
        break;
    case RouteResult::Failed:
        text += QStringLiteral("解凍できませんでした (%1)").arg(names.join(u", "));
        break;
    case RouteResult::Unsupported:
        // Damage the run itself found, after an item matched.
        text += names.isEmpty() ? QStringLiteral("未対応の形式であるか壊れています")
                                : QStringLiteral("アーカイブが壊れています (%1)").arg(names.join(u", "));
        break;
    }
    text += u'\n';
    // The library's report is escaped line by line already; a refusal's
    // reason may hold names from the item list and is escaped here.
    if (!outcome.report.isEmpty()) {
        QString report = outcome.report;
        if (!report.endsWith(u'\n'))
            report += u'\n';
        for (const QStringView line : QStringView(report).chopped(1).split(u'\n'))
            text += arc::escapeControls(line.toString()) + u'\n';
    }
    return text;
}

} // namespace pellora::extract
