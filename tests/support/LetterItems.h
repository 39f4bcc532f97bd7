#pragma once

#include "core/ItemFile.h"
#include "core/ItemOptions.h"

#include <QStringList>

namespace pellora::test {

// Item lists written as letters in tests: "ABC" is three items, each named
// by its letter and with texts of its own (A: "a*.zip", "/tools/A/", "").
inline QStringList letterRow(QChar name)
{
    return { QString(name), QString(name).toLower() + QStringLiteral("*.zip"), QStringLiteral("/tools/") + name + u'/',
        QString() };
}

inline QList<core::ItemRecord> letterItems(QStringView letters)
{
    QList<core::ItemRecord> records;
    for (QChar c : letters) {
        const QStringList t = letterRow(c);
        records.append({ t.at(0), t.at(1), t.at(2), t.at(3) });
    }
    return records;
}

// The names of a list, one letter each.
inline QString lettersOf(const QList<core::ItemRecord> &records)
{
    QString letters;
    for (const core::ItemRecord &r : records)
        letters += r.Title;
    return letters;
}

// Per-item options as letters: "A=strip,GBK B=BIG5", sorted by item.
inline QString optionsText(const core::ItemOptionsMap &map)
{
    QStringList parts;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        QStringList values;
        if (it->stripTopFolder)
            values << QStringLiteral("strip");
        if (!it->nameEncoding.isEmpty())
            values << it->nameEncoding;
        parts << it.key().Title + u'=' + values.join(u',');
    }
    parts.sort();
    return parts.join(u' ');
}

} // namespace pellora::test
