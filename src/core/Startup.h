#pragma once

#include "core/ItemFile.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace pellora::core {

class clsItem;

// The items whose pattern matches an archive's file name, in file order.
// Start-up compares without regard to case.
QList<ItemRecord> matchingItems(const QString &archiveName, const QList<ItemRecord> &records);
// The same straight from an item list file, copying only the records that
// match: start-up reads lists of a hundred thousand items this way. A missing
// or unreadable file has no items.
QList<ItemRecord> matchingItemsInFile(const QString &archiveName, const QString &itemFilePath);

// The folder proposed for an archive that matches no item: the archive's own
// folder when "DefaultArchiveFolder" is set, else "DefaultMeltFolder" as
// stored, else the current folder (with a trailing separator).
QString proposedTargetFolder(const clsItem &item);

// What the program prints instead of starting when its one argument asks for
// its usage ("--help") or its version ("--version"), as command-line programs
// answer; empty for any other command line. A file of that name in the current
// folder is still an archive to extract.
QString informationRequest(const QStringList &arguments, const QString &version);

} // namespace pellora::core
