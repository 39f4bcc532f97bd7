#include "core/TargetFolder.h"

#include "platform/Shell.h"

namespace pellora::core {

bool IsAbsoluteFolder(const QString &folder)
{
    return folder.startsWith(platform::kPathSeparator);
}

QString NotAbsoluteFolderMessage(const QString &folder)
{
    return QStringLiteral("解凍先フォルダ「%1」は絶対パスではありません。\n%2 で始まるフォルダを指定してください。")
        .arg(folder, platform::kPathSeparator);
}

QString NotAbsoluteTargetMessage(const QString &item, const QString &folder)
{
    return QStringLiteral("アイテム「%1」の解凍先フォルダ「%2」は絶対パスではないため、解凍しませんでした。")
        .arg(item, folder);
}

} // namespace pellora::core
