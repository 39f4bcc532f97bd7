// Listing an archive (the format test, then open / first / next / close) is
// what the program does with every archive it is given, before the user has
// agreed to anything: any file must list without harm.
//
// Input: a byte choosing the library (value % 3: LZH, ZIP, CAB) and the
// wildcard, then the archive's bytes.

#include "ArchiveInput.h"

#include "platform/TextCodec.h"
#include "platform/archiver/ArchiverRegistry.h"

#include <QList>

#include <cstring>
#include <utility>

using namespace pellora::arc;
using pellora::fuzz::check;

namespace {

constexpr int kMostEntries = 100000;

using Listing = QList<std::pair<QByteArray, quint64>>;

Listing list(ArchiverLibrary &library, HARC handle, const QString &wildcard)
{
    Listing out;
    INDIVIDUALINFO info;
    for (int r = library.FindFirst(handle, wildcard, &info); r == 0; r = library.FindNext(handle, &info)) {
        const QByteArray &name = info.szFileName;
        check(!name.contains('\0'), "a listed name holds a NUL");
        check(pellora::platform::isValidUtf8(name), "a listed name is not UTF-8", QString::fromLatin1(name.toHex()));
        out.append({ name, info.dwOriginalSize });
        check(out.size() <= kMostEntries, "the listing does not end");
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    pellora::fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const ArchiveFormat format = pellora::fuzz::formatOf(data[0]);
    static const char *const kLibraries[] = { kUnlhaLibrary, kUnzipLibrary, kCabLibrary };
    static const QString kWildcards[]
        = { QStringLiteral("*.*"), QString(), QStringLiteral("*.txt"), QStringLiteral("doc/*") };
    const QString wildcard = kWildcards[(data[0] / 3) % 4];
    const QString path = pellora::fuzz::writeArchive(data + 1, size - 1);

    const auto library = ArchiverRegistry::find(QLatin1String(kLibraries[int(format)]));
    check(library != nullptr, "a built-in library is missing");
    library->CheckArchive(path, 0);
    const HARC handle = library->OpenArchive(nullptr, path, 0);
    if (!handle)
        return 0;
    const Listing first = list(*library, handle, wildcard);
    // A second first search starts over: the same file lists the same way.
    const Listing second = list(*library, handle, wildcard);
    check(first == second, "listing the same archive twice gives two listings");
    INDIVIDUALINFO info;
    check(library->FindNext(handle, &info) != 0, "the listing goes on after its end");
    check(library->CloseArchive(handle) == 0, "an open handle does not close");
    check(library->CloseArchive(handle) != 0, "a closed handle closes again");
    return 0;
}
