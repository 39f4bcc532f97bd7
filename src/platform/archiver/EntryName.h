#pragma once

#include <QString>
#include <QStringList>

namespace pellora::arc {

// An entry's name made safe to join under the output folder.
struct EntryPath {
    QStringList components; // each a plain name: no separator, not "." or ".."
    QString display; // the name with "/" separators, for the report
    QString refusal; // why it is refused (UI language); empty when safe

    bool isSafe() const { return refusal.isEmpty(); }
};

// Splits a decoded name on "/" and "\" alike (Windows archivers write either;
// decoding Shift_JIS first keeps a trailing 0x5C byte inside its character),
// drops empty and "." parts, and refuses absolute names, drive letters and
// ".." anywhere: such a name could reach outside the output folder.
EntryPath makeEntryPath(const QString &decodedName);

// How the archives of one item name their entries.
struct NameOptions {
    QString encoding; // one of nameEncodings(); empty for UTF-8 when valid, else CP932
    bool stripTopFolder = false; // extract the one top folder's contents directly

    friend bool operator==(const NameOptions &, const NameOptions &) = default;
};

// The encodings an item may choose, spelt as iconv and the switches spell them.
const QStringList &nameEncodings();

// The name's bytes in the encoding (empty: UTF-8 when valid, else CP932).
// Bytes that do not decode become U+FFFD, which no file name check lets pass
// unnoticed in the report.
QString decodeEntryName(const QByteArray &raw, const QString &encoding);

// Whether all entries sit under one top folder, told entry by entry.
class TopFolderScan final {
public:
    enum class Finding {
        Empty, // no entry with a safe name
        OneFolder, // every entry lies in folder()
        SeveralTopEntries,
        LoneFile, // a single file at the top, no folder
    };
    void add(const EntryPath &path, bool isFolder);
    Finding finding() const;
    QString folder() const { return finding() == Finding::OneFolder ? m_top : QString(); }

private:
    QString m_top;
    bool m_any = false;
    bool m_severalTops = false;
    bool m_fileAtTop = false;
};

// The path with the top folder taken off, when it starts with it. What is
// left of the folder itself has no components and the refusal of an empty
// name, as "./" has: the output folder itself.
EntryPath withoutTopFolder(EntryPath path, const QString &folder);

} // namespace pellora::arc
