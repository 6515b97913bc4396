#include "interface_language.h"

#include "ascii_text.h"
#include "settings_keys.h"

#include <array>

namespace tremlo {
namespace {

constexpr std::array<std::string_view, 3> kChoiceTexts{"Auto", "Japanese", "English"};

bool isCLocale(std::string_view locale) {
    const std::string_view name = locale.substr(0, locale.find('.'));
    return name == "C" || name == "POSIX";
}

// "ja_JP.UTF-8", "ja@x" and "ja" are Japanese; "jav" is not.
bool startsWithLanguage(std::string_view entry, std::string_view language) {
    return entry.substr(0, entry.find_first_of("_.@")) == language;
}

} // namespace

LanguageChoice languageChoiceOf(std::string_view text) {
    for (std::size_t i = 1; i < kChoiceTexts.size(); ++i)
        if (equalsIgnoringAsciiCase(text, kChoiceTexts[i]))
            return static_cast<LanguageChoice>(i);
    return LanguageChoice::Auto;
}

std::string_view languageChoiceText(LanguageChoice choice) {
    return kChoiceTexts[static_cast<std::size_t>(choice)];
}

Language localeLanguage(const EnvironmentLookup& environment) {
    std::string_view locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = environment(name);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    if (locale.empty() || isCLocale(locale))
        return Language::Japanese;
    const char* priorities = environment("LANGUAGE");
    std::string_view list = priorities != nullptr ? priorities : "";
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        const std::string_view entry = list.substr(0, colon);
        if (startsWithLanguage(entry, "ja"))
            return Language::Japanese;
        if (startsWithLanguage(entry, "en"))
            return Language::English;
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    }
    return startsWithLanguage(locale, "ja") ? Language::Japanese : Language::English;
}

Language interfaceLanguage(LanguageChoice choice, const EnvironmentLookup& environment) {
    switch (choice) {
    case LanguageChoice::Japanese:
        return Language::Japanese;
    case LanguageChoice::English:
        return Language::English;
    case LanguageChoice::Auto:
        break;
    }
    return localeLanguage(environment);
}

InterfaceSettings readInterfaceSettings(const IniProfile& ini) {
    InterfaceSettings interface;
    readSection(ini, kInterfaceKeys, interface);
    return interface;
}

bool writeInterfaceSettings(IniProfile& ini, const InterfaceSettings& interface) {
    return writeSection(ini, kInterfaceKeys, interface);
}

} // namespace tremlo
