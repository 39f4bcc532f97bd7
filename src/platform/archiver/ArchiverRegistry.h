#pragma once

#include "platform/archiver/ArchiveKinds.h"
#include "platform/archiver/ArchiverLibrary.h"

#include <QString>
#include <memory>

namespace pellora::arc {

// Stands in for the system's library search: the program finds its archiver
// libraries here by file name (case-insensitive). The built-in libraries are
// registered on first use; tests replace or remove them.
class ArchiverRegistry final {
public:
    static std::shared_ptr<ArchiverLibrary> find(const QString &fileName);
    static void install(const QString &fileName, std::shared_ptr<ArchiverLibrary> library);
    static void remove(const QString &fileName);
    // Back to the built-in libraries, one for each row of the kinds table.
    static void restoreBuiltIns();
};

} // namespace pellora::arc
