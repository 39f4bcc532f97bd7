#include "platform/archiver/EntryName.h"

namespace pellora::arc {

EntryPath makeEntryPath(const QString &decodedName)
{
    EntryPath path;
    QString name = decodedName;
    name.replace(u'\\', u'/');
    path.display = name;

    if (name.isEmpty()) {
        path.refusal = QStringLiteral("名前がありません");
        return path;
    }
    if (name.startsWith(u'/')) {
        path.refusal = QStringLiteral("絶対パスです");
        return path;
    }
    if (name.size() >= 2 && name.at(1) == u':' && name.at(0).unicode() < 0x80 && name.at(0).isLetter()) {
        path.refusal = QStringLiteral("ドライブ名が付いています");
        return path;
    }
    for (const QString &part : name.split(u'/')) {
        if (part.isEmpty() || part == u".")
            continue;
        if (part == u"..") {
            path.refusal = QStringLiteral("解凍先フォルダの外を指しています");
            path.components.clear();
            return path;
        }
        if (part.contains(QChar(0))) {
            path.refusal = QStringLiteral("名前に使えない文字があります");
            path.components.clear();
            return path;
        }
        path.components.append(part);
    }
    if (path.components.isEmpty())
        path.refusal = QStringLiteral("名前がありません");
    return path;
}

} // namespace pellora::arc
