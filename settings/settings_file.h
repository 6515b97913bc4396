#pragma once

// What the settings file holds and in what form: where the file lives, how
// its values read into the Settings record and how the record is written
// back. The windows part of loading and saving (placing the window, check
// marks, the door timer) sits on top of readSettingsFile() and
// writeSettingsFile().
//
// Reading is forgiving: each key stands alone, and one whose value cannot go
// into its field (a number too large for it, say) is skipped, so the field
// keeps the value it had, and the rest still load. Numbers always use "."
// as the decimal point, whatever the locale.
//
// Thread: the user-interface thread, like the record itself.

#include "ini_profile.h"
#include "settings.h"
#include "user_folders.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tremlo {

inline constexpr std::string_view kSettingsFileName = "tremlo.ini";

// The key's value, or defaultText when the value is empty or missing.
std::string ReadIniValue(IniProfile& ini, const std::string& key, const std::string& defaultText);

// A failed write is not reported: the settings are saved again at the next
// chance, and the user cannot do anything about it here.
void WriteIniValue(IniProfile& ini, const std::string& key, const std::string& value);

// "yes" and "no" in any ASCII case; anything else gives defaultValue.
bool ParseYesNo(const std::string& text, bool defaultValue);

// "Yes" or "No".
std::string FormatYesNo(bool flag);

// The decimal number at the start of text: optional sign, digits, optional
// "." and digits, optional exponent, up to the first character that cannot
// continue it. Text that does not begin with a number reads as 0. nullopt
// only when the number is too large for a double.
std::optional<double> readNumber(std::string_view text);

// The window position, as fractions of the screen, which the window code
// applies. Each starts at 0 and stays there when its value is too large to
// read.
struct LoadedSettingsFile {
    double XPosR = 0.0;
    double YPosR = 0.0;
};

// Fills the record from the file, key by key, with the defaults of
// defaultSettings(programFolder) for keys the file lacks; a negative
// DoorDelay or DoorThreshold becomes 0. A missing file gives the defaults
// and is not created.
LoadedSettingsFile readSettingsFile(IniProfile& ini, Settings& settings,
                                    const std::string& programFolder);
// Only the window's place, with the defaults of a file that has none.
LoadedSettingsFile readWindowPlace(IniProfile& ini);

// The 25 keys the program saves, in the order it saves them, with their
// values in the file's forms. SetFreqSldMin, SetFreqSldMax and
// SetFreqCoefficient are not among them: the user sets those by hand in the
// file, and a save leaves them as they are.
std::vector<IniProfile::Entry> settingsFileEntries(const Settings& settings, double xPosR,
                                                   double yPosR);

// All of settingsFileEntries() in one replacement of the file. A value the
// file cannot hold (a path that is not UTF-8, say) keeps the stored one and
// does not stop the rest.
bool writeSettingsFile(IniProfile& ini, const Settings& settings, double xPosR, double yPosR);

// True when the program may keep files in its own folder: the folder can be
// written, and no system install owns it. A folder under /usr or /opt belongs
// to the package manager or the administrator even when root could write it,
// and a package's purge would leave our files behind there; a build folder or
// an install under ~/.local is the user's own.
bool programFolderTakesFiles(const std::string& programFolder);

// "tremlo.ini" in the program folder when programFolderTakesFiles(), else in
// configFolderFallback: a write needs to put its temporary and lock files
// beside the settings file. When
// no file has exactly that name but one differs only in ASCII case
// ("TREMLO.INI" copied from Windows), that one is used.
std::string settingsFilePath(const std::string& programFolder,
                             const std::string& configFolderFallback);

} // namespace tremlo
