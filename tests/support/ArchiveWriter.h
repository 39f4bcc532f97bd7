#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace pellora::test {

// One file entry: its name exactly as stored, and its content.
using ArchiveEntry = QPair<QByteArray, QByteArray>;

// Writes a ZIP archive of plain file entries with the names exactly as given:
// nothing is cleaned, so a test can build names no well-behaved archiver
// writes (parent-folder parts, absolute paths, very long names). Fails the
// test on error.
void writeZip(const QString &path, const QList<ArchiveEntry> &entries);

// One tar entry: a symbolic link to linkTarget when that is set, else a file.
struct TarEntry {
    QByteArray name;
    QByteArray content;
    QByteArray linkTarget;
};

// Writes a plain tar (pax) of the entries, names and link targets as given.
void writeTar(const QString &path, const QList<TarEntry> &entries);

} // namespace pellora::test
