#pragma once

#include <QString>
#include <QStringView>
#include <QVariant>

#include <optional>
#include <string_view>

namespace pellora::core {

// The settings live in QSettings("Vorn", "Pellora"): on Linux the INI file
// $XDG_CONFIG_HOME/Vorn/Pellora.conf with every value under [General]. Callers
// choose the value type on every call with the registry's own type numbers.
inline constexpr int kRegSz = 1; // text
inline constexpr int kRegDword = 4; // signed 32-bit number

// Stores value under name: as text for kRegSz, as a whole 32-bit number for
// kRegDword (a fraction becomes the nearest whole number). Any other type, a
// value that is no number or does not fit 32 bits, or a name that is empty or
// holds a '/' or '\' stores nothing and leaves the previous value. Failures are
// logged, never shown.
void WriteSetting(const QString &name, int valueType, const QVariant &value);

// The stored value as a QString (kRegSz) or an int (kRegDword), or defaultValue
// exactly as given when the value is missing, the type is neither, or what is
// stored cannot be that type: a number setting holding anything but a whole
// decimal number in 32 bits reads as the default. Texts of any length read back
// unchanged, up to a NUL if one was stored.
QVariant ReadSetting(const QString &name, int valueType, const QVariant &defaultValue);

// The default value of a file-type key, from the shared MIME database: the key
// ".ext" yields the MIME type name registered for that extension, the key of a
// MIME type name yields its description. Keys that are neither, unknown keys
// and named values read as defaultValue, as does kRegDword unless the text is a
// whole number.
QVariant ReadClassesRootValue(
    const QString &keyPath, const QString &valueName, int valueType, const QVariant &defaultValue);

// Removes every setting by removing the settings file; its folder stays. Gives
// the reason when the file is still there afterwards.
std::optional<QString> DeleteSettingsKey();

enum class SettingKind { Number, YesNo, Text };

// One row of the settings table. A yes/no setting is a number written as 0 or
// 1, and any non-zero number reads as yes.
struct Setting {
    std::u16string_view name;
    SettingKind kind;
    qint32 number = 0; // the default of a number or yes/no setting
    std::u16string_view text = {}; // the default of a text setting

    constexpr int valueType() const { return kind == SettingKind::Text ? kRegSz : kRegDword; }
    QString key() const { return QString::fromUtf16(name.data(), qsizetype(name.size())); }
};

// Every setting the program keeps, with the default most of its readers pass.
inline constexpr Setting kSettings[] = {
    { u"Top", SettingKind::Number, 0 },
    { u"Left", SettingKind::Number, 0 },
    { u"Height", SettingKind::Number, 5000 },
    { u"Width", SettingKind::Number, 7000 },
    { u"Column1Width", SettingKind::Number, 1440 },
    { u"Column2Width", SettingKind::Number, 1440 },
    { u"Column3Width", SettingKind::Number, 2300 },
    { u"Column4Width", SettingKind::Number, 1440 }, // the match chooser passes kChooserColumn4Width
    { u"ListFullRowSelect", SettingKind::YesNo, 0 },
    { u"ListGridLines", SettingKind::YesNo, 0 },
    { u"ShowToolBar", SettingKind::YesNo, 1 },
    { u"ShowStatusBar", SettingKind::YesNo, 1 },
    { u"NoRemoveBox", SettingKind::YesNo, 0 },
    { u"DefaultItemFolder", SettingKind::Text },
    { u"ArchiveOperationFolder", SettingKind::Text },
    { u"ArchiveOperationTargetFolder", SettingKind::YesNo, 1 },
    { u"ArchiveOperation", SettingKind::Number, 0 }, // 0 nothing, 1 recycle bin, 2 move, 3 copy
    { u"UnlhaCommandLine", SettingKind::Text },
    { u"UnzipCommandLine", SettingKind::Text },
    { u"CabCommandLine", SettingKind::Text },
    { u"LibarchiveCommandLine", SettingKind::Text },
    { u"NoLog", SettingKind::YesNo, 0 },
    { u"RunExplorer", SettingKind::YesNo, 0 },
    { u"DefaultMeltFolder", SettingKind::Text },
    { u"DefaultArchiveFolder", SettingKind::YesNo, 0 },
    { u"AddArchiveName", SettingKind::YesNo, 0 },
    // Empty: files without an associated application open in Pellora's own
    // text viewer. The options dialog passes "" for both commands as well.
    { u"DefaultFileViewer", SettingKind::Text },
    // The quoted folder is appended, so the command ends with a blank.
    { u"DefaultFiler", SettingKind::Text, 0, u"xdg-open " },
    { u"AddFolderName", SettingKind::YesNo, 0 },
    // Undo history: runs kept per item, and megabytes of replaced files kept in all.
    { u"HistoryRuns", SettingKind::Number, 5 },
    { u"HistoryMegabytes", SettingKind::Number, 2048 },
    // The download watch started at login, and the folder it watches (empty:
    // the user's download folder).
    { u"WatchAtLogin", SettingKind::YesNo, 0 },
    { u"WatchFolder", SettingKind::Text },
};

// The match chooser shows the related file narrower than the main window does.
inline constexpr qint32 kChooserColumn4Width = 1400;

// The table row called name, or null.
constexpr const Setting *findSetting(std::u16string_view name)
{
    for (const Setting &s : kSettings) {
        if (s.name == name)
            return &s;
    }
    return nullptr;
}

// The table row called name; a name that is not in the table fails to compile.
consteval const Setting &setting(std::u16string_view name)
{
    for (const Setting &s : kSettings) {
        if (s.name == name)
            return s;
    }
    throw "no such setting";
}

// The table default as ReadSetting hands it back: int, bool or QString.
QVariant defaultValue(const Setting &s);

qint32 readNumber(const Setting &s);
qint32 readNumber(const Setting &s, qint32 fallback);
bool readYesNo(const Setting &s);
QString readText(const Setting &s);
QString readText(const Setting &s, const QString &fallback);

void writeNumber(const Setting &s, qint32 value);
void writeYesNo(const Setting &s, bool yes);
void writeText(const Setting &s, const QString &value);

} // namespace pellora::core
