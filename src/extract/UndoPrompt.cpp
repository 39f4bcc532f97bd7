#include "extract/UndoPrompt.h"

#include "core/RunHistory.h"
#include "core/Undo.h"
#include "platform/Shell.h"

#include <QStringList>

namespace pellora::extract {

bool confirmAndUndoRun(const QString &runId)
{
    const int answer = platform::shell().messageBox(
        QStringLiteral("この解凍で置き換えたファイルを戻し、作成したファイルとフォルダを削除します。よろしいですか?"),
        platform::vbYesNo | platform::vbQuestion | platform::vbDefaultButton2, QStringLiteral("Pellora"));
    if (answer != platform::vbYes)
        return false;
    const core::UndoResult result = core::undoRun(core::historyFolder(), runId);
    const QString summary = result.status == core::UndoResult::Restored ? QStringLiteral("解凍の前の状態に戻しました。")
        : result.status == core::UndoResult::Partly ? QStringLiteral("元に戻せなかったものがあります。")
                                                    : QStringLiteral("元に戻せませんでした。");
    // The list can be long; the message shows its start.
    QStringList lines = result.lines.mid(0, 20);
    if (result.lines.size() > lines.size())
        lines.append(QStringLiteral("ほか %1 件").arg(result.lines.size() - lines.size()));
    platform::shell().messageBox(summary + QStringLiteral("\n\n") + lines.join(u'\n'),
        platform::vbOKOnly
            | (result.status == core::UndoResult::Restored ? platform::vbInformation : platform::vbExclamation),
        QStringLiteral("Pellora"));
    return result.status != core::UndoResult::Nothing;
}

} // namespace pellora::extract
