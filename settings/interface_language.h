#pragma once

// The language of the windows: Japanese or English, chosen once at start-up
// from the stored choice in a section of its own, "[Interface]", and, when
// that is Auto, from the locale.
//
//   Language=Auto        Auto, Japanese or English; anything else is Auto
//
// The locale is read as gettext reads it: the first of LC_ALL, LC_MESSAGES
// and LANG that is set and not empty names it. C, POSIX (with or without a
// codeset) and no locale at all keep Japanese, the program's own language;
// there LANGUAGE is ignored, as gettext does. Otherwise the first entry of
// the colon list LANGUAGE that is Japanese or English decides, entries in
// other languages being skipped for want of a translation; failing that the
// locale's own language does: Japanese for ja*, English for any other.
//
// Thread: any; pure functions.

#include "ini_profile.h"

#include <functional>
#include <string>
#include <string_view>

namespace tremlo {

inline constexpr std::string_view kInterfaceSection = "Interface";

enum class Language { Japanese, English };
enum class LanguageChoice { Auto, Japanese, English };

struct InterfaceSettings {
    std::string Language = "Auto";

    bool operator==(const InterfaceSettings&) const = default;
};

LanguageChoice languageChoiceOf(std::string_view text);
std::string_view languageChoiceText(LanguageChoice choice);

// An environment variable's value, or null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

Language localeLanguage(const EnvironmentLookup& environment);
Language interfaceLanguage(LanguageChoice choice, const EnvironmentLookup& environment);

InterfaceSettings readInterfaceSettings(const IniProfile& ini);
// False when the key could not be written.
bool writeInterfaceSettings(IniProfile& ini, const InterfaceSettings& interface);

} // namespace tremlo
