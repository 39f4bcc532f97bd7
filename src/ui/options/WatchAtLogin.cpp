#include "ui/options/WatchAtLogin.h"

#include "platform/Autostart.h"
#include "platform/Shell.h"

#include <QCoreApplication>

namespace pellora::ui {

namespace {

void tell(const QString &text)
{
    platform::shell().messageBox(text, platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Pellora"));
}

} // namespace

bool applyWatchAtLogin(bool wanted, const QString &folder)
{
    // The entry starts the program at login, in whatever folder the session
    // starts it: a relative folder would name a different place there.
    if (wanted && !folder.isEmpty() && !folder.startsWith(platform::kPathSeparator)) {
        tell(QStringLiteral("監視するフォルダ「%1」は絶対パスではありません。\n%2 で始まるフォルダを指定してください。")
                 .arg(folder, platform::kPathSeparator));
        return platform::watchAutostartIsPellora();
    }
    const QString path = platform::watchAutostartPath();
    const platform::AutostartChange change
        = platform::setWatchAtLogin(wanted, QCoreApplication::applicationFilePath(), folder);
    switch (change.outcome) {
    case platform::AutostartChange::Written:
    case platform::AutostartChange::Removed:
    case platform::AutostartChange::Absent:
        break;
    case platform::AutostartChange::Foreign:
        // Not Pellora's to change; when the watch is being turned off there
        // is nothing of Pellora's to remove either.
        if (wanted)
            tell(QStringLiteral("%1 は Pellora が作ったファイルではないため、書き換えませんでした。\n"
                                "ログイン時の監視は設定されていません。")
                     .arg(path));
        break;
    case platform::AutostartChange::Unwritable:
        tell(QStringLiteral("監視するフォルダ「%1」には自動起動の設定に書けない文字が含まれています。\n"
                            "ログイン時の監視は設定されていません。")
                 .arg(folder));
        break;
    case platform::AutostartChange::Failed:
        tell(wanted ? QStringLiteral("%1 を書き込めません。\n%2\n\nログイン時の監視は設定されていません。")
                          .arg(path, change.reason)
                    : QStringLiteral("%1 を削除できません。\n%2\n\nログイン時の監視は解除されていません。")
                          .arg(path, change.reason));
        break;
    }
    return platform::watchAutostartIsPellora();
}

} // namespace pellora::ui
