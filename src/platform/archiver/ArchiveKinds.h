#pragma once

#include "platform/archiver/ArchiveFormat.h"

#include <QString>
#include <QStringView>
#include <string_view>

namespace pellora::arc {

inline constexpr auto kUnlhaLibrary = "UNLHA32.DLL";
inline constexpr auto kUnzipLibrary = "UNZIP32.DLL";
inline constexpr auto kCabLibrary = "CAB32.DLL";
inline constexpr auto kLibarchiveLibrary = "LIBARCHIVE.DLL";

// The switch languages the libraries speak (see CommandLine.cpp).
enum class SwitchLanguage { Lzh, Zip, Cab };

// Everything the program knows about one archive kind. A kind is added by
// adding a row here; the detection, the composed command lines, the options
// dialog, the listing and pellora-arc all read this table.
struct ArchiveKindInfo {
    ArchiveFormat format;
    std::u16string_view type; // the kind's name as items carry it: "LZH"
    const char *library; // the library file name the registry knows
    SwitchLanguage language;
    char separator; // between folders in the names the library lists
    std::u16string_view settingKey; // the stored switches chosen in the options dialog
    std::u16string_view baseSwitches; // what every extraction starts with
    std::u16string_view restoreSwitches; // a restore: replace whatever the dates
    std::u16string_view noProgressSwitch;
    std::u16string_view ignoreTimeStampSwitch;
    std::u16string_view ignoreDamagedHeaderSwitch; // empty: the library has none
    std::u16string_view noLinksSwitch; // make no symbolic links; empty: the library makes none anyway
    // Asked only when no kind before it accepted the file. Without it a later
    // kind that accepts the file wins, as the libraries were always asked.
    bool onlyWhenNoOtherAccepts;
};

// In the order the libraries are asked about a file.
inline constexpr ArchiveKindInfo kArchiveKinds[] = {
    { ArchiveFormat::Lzh, u"LZH", kUnlhaLibrary, SwitchLanguage::Lzh, '/', u"UnlhaCommandLine", u"x -a1 -jp1",
        u"x -a1 -jp1 -c", u" -n", u" -c", u" -jc", u"", false },
    { ArchiveFormat::Zip, u"ZIP", kUnzipLibrary, SwitchLanguage::Zip, '/', u"UnzipCommandLine", u"-x -i", u"-x -i -o",
        u" --i", u" -o", u"", u"", false },
    { ArchiveFormat::Cab, u"CAB", kCabLibrary, SwitchLanguage::Cab, '\\', u"CabCommandLine", u"-x -k -n", u"-x -k -n",
        u" -i", u" -o", u"", u"", false },
    // 7z, tar and single compressed files: after the others, so that a file
    // one of them takes (a ZIP with a tar inside it) keeps its kind.
    { ArchiveFormat::Tar, u"TAR", kLibarchiveLibrary, SwitchLanguage::Zip, '/', u"LibarchiveCommandLine", u"-x -i",
        u"-x -i -o", u" --i", u" -o", u"", u" -nl", true },
};

// The row of a kind's name; null for a name no row has.
const ArchiveKindInfo *archiveKindOfType(QStringView type);
// The row of a format (every format has one).
const ArchiveKindInfo &archiveKindOf(ArchiveFormat format);

inline QString toQString(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

} // namespace pellora::arc
