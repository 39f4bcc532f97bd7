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

} // namespace pellora::test
