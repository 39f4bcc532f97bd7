#pragma once

#include "platform/archiver/ArchiverLibrary.h"

#include <QString>
#include <memory>

namespace pellora::arc {

inline constexpr auto kUnlhaLibrary = "UNLHA32.DLL";
inline constexpr auto kUnzipLibrary = "UNZIP32.DLL";
inline constexpr auto kCabLibrary = "CAB32.DLL";

// Stands in for the system's library search: the program finds its archiver
// libraries here by file name (case-insensitive). The built-in libraries are
// registered on first use; tests replace or remove them.
class ArchiverRegistry final {
public:
    static std::shared_ptr<ArchiverLibrary> find(const QString &fileName);
    static void install(const QString &fileName, std::shared_ptr<ArchiverLibrary> library);
    static void remove(const QString &fileName);
    // Back to the three built-in libraries.
    static void restoreBuiltIns();
};

} // namespace pellora::arc
