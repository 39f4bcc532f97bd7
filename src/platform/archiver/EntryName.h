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

} // namespace pellora::arc
