#pragma once

#include "core/ItemFile.h"
#include "core/ItemOptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTest>

// The item list of a test program. The build puts each test program in a
// folder of its own (tests/CMakeLists.txt); as a portable copy it keeps its
// ITEM.DAT, and the history beside it, there, so tests that write a list can
// run side by side. Header-only, so that only the tests with items pull in
// the core library.
namespace pellora::test {

// Whether this process's ITEM.DAT is the private one: beside the executable,
// in a folder named after it. Check it in initTestCase, before any list is
// written, so that no test ever writes a list it shares with another test or
// a user.
inline bool itemListIsPrivate()
{
    const QFileInfo program(QCoreApplication::applicationFilePath());
    return QFileInfo(core::itemFilePath()).absolutePath() == QCoreApplication::applicationDirPath()
        && program.absoluteDir().dirName() == program.fileName();
}

// Removes this process's ITEM.DAT, or a folder a test made in its place, and
// the items' options beside it.
inline void removeItemFile()
{
    const QString path = core::itemFilePath();
    if (QFileInfo(path).isDir())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
    QFile::remove(core::itemOptionsPath(path));
}

// Items as tests write them: rows of the four texts an item keeps (name,
// pattern, target folder, related file).
inline QList<core::ItemRecord> records(const QList<QStringList> &rows)
{
    QList<core::ItemRecord> out;
    for (const QStringList &r : rows)
        out.append({ r.at(0), r.at(1), r.at(2), r.at(3) });
    return out;
}

// A row named after a letter, with texts of its own, a related file among
// them: A is "A", "a*.zip", "/tools/A/", "a.txt". (letterRow in
// LetterItems.h leaves the related file empty.)
inline QStringList letterRowWithRelatedFile(QChar letter)
{
    const QString l(letter);
    return { l, l.toLower() + QStringLiteral("*.zip"), QStringLiteral("/tools/") + l + u'/',
        l.toLower() + QStringLiteral(".txt") };
}

// "ABC": three such rows.
inline QList<QStringList> lettersRows(const QString &letters)
{
    QList<QStringList> rows;
    for (QChar c : letters)
        rows.append(letterRowWithRelatedFile(c));
    return rows;
}

// Writes rows as this process's ITEM.DAT; fails the test when that fails.
inline void writeItems(const QList<QStringList> &rows)
{
    QVERIFY(!core::ItemFile(core::itemFilePath()).write(records(rows)).has_value());
}

// The rows this process's ITEM.DAT holds.
inline QList<QStringList> storedRows()
{
    QList<QStringList> rows;
    for (const core::ItemRecord &r : core::ItemFile(core::itemFilePath()).read().records)
        rows.append({ r.Title, r.Pattern, r.Output, r.Relation });
    return rows;
}

} // namespace pellora::test
