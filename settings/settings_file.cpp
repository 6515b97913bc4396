#include "settings_file.h"

#include "ascii_text.h"
#include "settings_keys.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <unistd.h>

namespace tremlo {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string joinPath(const std::string& folder, std::string_view name) {
    if (folder.empty())
        return std::string(name);
    if (folder.back() == '/')
        return folder + std::string(name);
    return folder + "/" + std::string(name);
}

std::string resolveIgnoringCase(const std::string& folder, std::string_view name) {
    std::string exact = joinPath(folder, name);
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(exact, ec)))
        return exact;
    // With several candidates the first by name wins, so every instance
    // picks the same file whatever order the folder lists them in.
    std::string found;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (equalsIgnoringAsciiCase(candidate, name) && (found.empty() || candidate < found))
            found = candidate;
    }
    return found.empty() ? exact : joinPath(folder, found);
}

} // namespace

std::string ReadIniValue(IniProfile& ini, const std::string& key, const std::string& defaultText) {
    std::string value = ini.readValue(key);
    return value.empty() ? defaultText : value;
}

void WriteIniValue(IniProfile& ini, const std::string& key, const std::string& value) {
    ini.writeValue(key, value);
}

bool ParseYesNo(const std::string& text, bool defaultValue) {
    if (equalsIgnoringAsciiCase(text, "yes"))
        return true;
    if (equalsIgnoringAsciiCase(text, "no"))
        return false;
    return defaultValue;
}

std::string FormatYesNo(bool flag) {
    return flag ? "Yes" : "No";
}

std::optional<double> readNumber(std::string_view text) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        ++i;
    const std::size_t start = i;
    std::size_t intDigits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i)
        ++intDigits;
    std::size_t fracDigits = 0;
    if (i < text.size() && text[i] == '.') {
        std::size_t j = i + 1;
        for (; j < text.size() && isDigit(text[j]); ++j)
            ++fracDigits;
        if (fracDigits > 0)
            i = j;
    }
    if (intDigits + fracDigits == 0)
        return 0.0;

    // An exponent counts only when digits follow its letter and sign.
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        const bool negativeExponent = j < text.size() && text[j] == '-';
        if (j < text.size() && (text[j] == '-' || text[j] == '+'))
            ++j;
        const std::size_t exponentStart = j;
        while (j < text.size() && isDigit(text[j])) {
            if (exponent < 1'000'000'000)
                exponent = exponent * 10 + (text[j] - '0');
            ++j;
        }
        if (j > exponentStart) {
            i = j;
            if (negativeExponent)
                exponent = -exponent;
        }
    }

    const std::string_view digits = text.substr(start, i - start);
    double value = 0.0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Out of range either way: tell a tiny number, which reads as 0,
        // from a huge one by the power of ten of its first significant digit.
        const std::string_view mantissa =
            digits.substr(0, intDigits + (fracDigits > 0 ? 1 + fracDigits : 0));
        const auto first = mantissa.find_first_of("123456789");
        if (first == std::string_view::npos)
            return negative ? -0.0 : 0.0;
        const auto at = static_cast<long long>(first);
        const auto point = static_cast<long long>(intDigits);
        const long long power = at < point ? point - at - 1 : point - at;
        if (power + exponent < 0)
            return negative ? -0.0 : 0.0;
        return std::nullopt;
    }
    if (result.ec != std::errc())
        return 0.0;
    return negative ? -value : value;
}

LoadedSettingsFile readSettingsFile(IniProfile& ini, Settings& s,
                                    const std::string& programFolder) {
    LoadedSettingsFile place;
    readSection(ini, kWindowPlaceKeys, place);
    readSection(ini, kProgramKeys, s, programFolder);
    // The door timers cannot wait a negative time.
    s.DoorDelay = std::max<std::int16_t>(s.DoorDelay, 0);
    s.DoorThreshold = std::max<std::int16_t>(s.DoorThreshold, 0);
    return place;
}

LoadedSettingsFile readWindowPlace(IniProfile& ini) {
    LoadedSettingsFile place;
    readSection(ini, kWindowPlaceKeys, place);
    return place;
}

std::vector<IniProfile::Entry> settingsFileEntries(const Settings& s, double xPosR, double yPosR) {
    std::vector<IniProfile::Entry> entries = sectionEntries(kWindowPlaceKeys, {xPosR, yPosR});
    for (auto& entry : sectionEntries(kProgramKeys, s))
        entries.push_back(std::move(entry));
    return entries;
}

bool writeSettingsFile(IniProfile& ini, const Settings& settings, double xPosR, double yPosR) {
    try {
        return ini.writeValues(settingsFileEntries(settings, xPosR, yPosR));
    } catch (...) {
        return false;
    }
}

bool programFolderTakesFiles(const std::string& programFolder) {
    if (programFolder.empty() || ::access(programFolder.c_str(), W_OK | X_OK) != 0)
        return false;
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::weakly_canonical(programFolder, error);
    if (error)
        return false;
    for (const char* name : {"/usr", "/opt"}) {
        const std::filesystem::path system(name);
        if (std::mismatch(system.begin(), system.end(), folder.begin(), folder.end()).first ==
            system.end())
            return false;
    }
    return true;
}

std::string settingsFilePath(const std::string& programFolder,
                             const std::string& configFolderFallback) {
    return resolveIgnoringCase(programFolderTakesFiles(programFolder) ? programFolder
                                                                      : configFolderFallback,
                               kSettingsFileName);
}

} // namespace tremlo
