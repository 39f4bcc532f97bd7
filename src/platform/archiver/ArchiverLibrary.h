#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include "platform/archiver/EntryName.h"

class QObject;

namespace pellora::arc {

// One entry as the listing calls report it. The program reads only these two
// fields; the size is 64-bit so that entries of 4 GiB and more list truthfully.
// The name is held whole whatever its length: a name cut to a fixed field
// would be chosen as a related file that extraction never creates.
struct INDIVIDUALINFO {
    quint64 dwOriginalSize = 0; // uncompressed size in bytes
    QByteArray szFileName; // path inside the archive, UTF-8, whole
};

// Handle of an archive opened for listing; 0 means the open failed.
using HARC = quintptr;

// Return codes of the command call. 0 is a complete success; callers may read
// the code, though the extraction flow itself relies on the report text.
enum ArchiverResult : int {
    kResultOk = 0,
    kResultEntryErrors = 1, // some entries were refused, damaged or not written
    kResultCancelled = 2, // the user stopped the run
    kResultBadCommand = 3, // the command line could not be understood
    kResultCannotOpen = 4, // the archive could not be opened at all
    kResultDamagedArchive = 5, // a damaged header ended the run early
    kResultOutputFolder = 6, // the output folder could not be created or opened
};

// The operations every archiver library offers: the archive test, the command
// call that fills a text report, and the open / first / next / close listing.
// Names mirror the Windows libraries the program was written against.
class ArchiverLibrary {
public:
    virtual ~ArchiverLibrary();

    // Non-zero when the library accepts the file as an archive of its kind.
    virtual int CheckArchive(const QString &path, int mode) = 0;

    // Runs a command line; writes a NUL-terminated UTF-8 report into output,
    // never more than size bytes (terminator included). owner may be null.
    virtual int Command(QObject *owner, const QString &commandLine, char *output, qsizetype size) = 0;

    virtual HARC OpenArchive(QObject *owner, const QString &path, int mode) = 0;
    // The same, listing names as an extraction with these options makes them
    // (encoding, top folder). A library without them lists as OpenArchive.
    virtual HARC OpenArchiveWith(QObject *owner, const QString &path, const NameOptions &options);
    // 0 when an entry was stored in info; any other value: no more entries.
    virtual int FindFirst(HARC archive, const QString &wildcard, INDIVIDUALINFO *info) = 0;
    virtual int FindNext(HARC archive, INDIVIDUALINFO *info) = 0;
    virtual int CloseArchive(HARC archive) = 0;
};

// Copies a report into a caller's buffer the way the libraries do: cut to fit,
// never in the middle of a UTF-8 sequence, always NUL-terminated.
void copyReport(const QByteArray &report, char *output, qsizetype size);

} // namespace pellora::arc
