#pragma once

#include "platform/archiver/ArchiveFormat.h"
#include "platform/archiver/ArchiverLibrary.h"

#include <QHash>
#include <QMutex>
#include <memory>

namespace pellora::arc {

class ArchiveReader;

// One of the built-in libraries: libarchive with only its own formats
// enabled (with all of them, the highest bidder would take archives that
// belong to another library).
class BuiltInArchiver final : public ArchiverLibrary {
public:
    explicit BuiltInArchiver(ArchiveFormat format);
    ~BuiltInArchiver() override;

    int CheckArchive(const QString &path, int mode) override;
    int Command(QObject *owner, const QString &commandLine, char *output, qsizetype size) override;
    HARC OpenArchive(QObject *owner, const QString &path, int mode) override;
    HARC OpenArchiveWith(QObject *owner, const QString &path, const NameOptions &options) override;
    int FindFirst(HARC archive, const QString &wildcard, INDIVIDUALINFO *info) override;
    int FindNext(HARC archive, INDIVIDUALINFO *info) override;
    int CloseArchive(HARC archive) override;

private:
    struct Listing;
    int fillNext(Listing &listing, INDIVIDUALINFO *info);

    ArchiveFormat m_format;
    QMutex m_mutex;
    QHash<HARC, std::shared_ptr<Listing>> m_listings;
    HARC m_nextHandle = 1;
};

} // namespace pellora::arc
