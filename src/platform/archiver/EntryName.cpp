#include "platform/archiver/EntryName.h"

#include "platform/TextCodec.h"

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

const QStringList &nameEncodings()
{
    static const QStringList encodings{ QStringLiteral("UTF-8"), QStringLiteral("CP932"), QStringLiteral("GBK"),
        QStringLiteral("BIG5"), QStringLiteral("EUC-KR"), QStringLiteral("CP437") };
    return encodings;
}

QString decodeEntryName(const QByteArray &raw, const QString &encoding)
{
    if (encoding.isEmpty() || !nameEncodings().contains(encoding))
        return platform::decodeUtf8OrCp932(raw);
    if (encoding == u"UTF-8")
        return QString::fromUtf8(raw);
    if (const auto decoded = platform::decodeCharset(raw, encoding.toLatin1().constData()))
        return *decoded;
    // A system without the converter still gets names, if garbled ones.
    return platform::decodeUtf8OrCp932(raw);
}

void TopFolderScan::add(const EntryPath &path, bool isFolder)
{
    if (!path.isSafe() || path.components.isEmpty())
        return; // refused whatever is stripped; no top entry of its own
    const QString &top = path.components.first();
    if (path.components.size() == 1 && !isFolder)
        m_fileAtTop = true;
    if (!m_any) {
        m_any = true;
        m_top = top;
    } else if (top != m_top) {
        m_severalTops = true;
    }
}

TopFolderScan::Finding TopFolderScan::finding() const
{
    if (!m_any)
        return Finding::Empty;
    if (m_severalTops)
        return Finding::SeveralTopEntries;
    return m_fileAtTop ? Finding::LoneFile : Finding::OneFolder;
}

EntryPath withoutTopFolder(EntryPath path, const QString &folder)
{
    if (folder.isEmpty() || !path.isSafe() || path.components.isEmpty() || path.components.first() != folder)
        return path;
    path.components.removeFirst();
    path.display = path.components.join(u'/');
    if (path.components.isEmpty())
        path.refusal = QStringLiteral("名前がありません");
    return path;
}

} // namespace pellora::arc
