#include "settings_file.h"

#include "ascii_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <pwd.h>
#include <unistd.h>

namespace tremlo {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Halves go to the even neighbour, so 1300.5 gives 1300 and 1301.5 gives
// 1302; std::round would push every half away from zero.
double roundHalfToEven(double value) {
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction < 0.5)
        return below;
    if (fraction > 0.5)
        return below + 1.0;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

// A failing step leaves its field alone and lets the next one run.
template <typename Step> void runStep(Step&& step) {
    try {
        step();
    } catch (...) {
    }
}

template <typename Int>
void readInteger(IniProfile& ini, const char* key, Int defaultValue, Int& field) {
    runStep([&] {
        const auto number = readNumber(ReadIniValue(ini, key, std::to_string(defaultValue)));
        if (!number)
            return;
        const double rounded = roundHalfToEven(*number);
        if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
            rounded > static_cast<double>(std::numeric_limits<Int>::max()))
            return;
        field = static_cast<Int>(rounded);
    });
}

void readYesNo(IniProfile& ini, const char* key, bool defaultValue, bool& field) {
    runStep([&] { field = ParseYesNo(ReadIniValue(ini, key, ""), defaultValue); });
}

void readText(IniProfile& ini, const char* key, const std::string& defaultText,
              std::string& field) {
    runStep([&] { field = ReadIniValue(ini, key, defaultText); });
}

void readDouble(IniProfile& ini, const char* key, std::string_view defaultText, double& field) {
    runStep([&] {
        if (const auto number = readNumber(ReadIniValue(ini, key, std::string(defaultText))))
            field = *number;
    });
}

// The shortest text that reads back as the same double.
std::string shortestText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Positions are kept to single precision with seven decimals ("0.3000000").
// Anything that is not a finite single-precision number is no position; it
// is saved as 0.
std::string formatFraction(double value) {
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        value = 0.0;
    double single = static_cast<float>(value);
    if (single == 0.0)
        single = 0.0; // no "-0.0000000"
    char buffer[80];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, single, std::chars_format::fixed, 7);
    return std::string(buffer, result.ptr);
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
    const Settings d = defaultSettings(programFolder);
    LoadedSettingsFile loaded;
    readDouble(ini, "XPosR", "0.3", loaded.XPosR);
    readDouble(ini, "YPosR", "0.3", loaded.YPosR);
    readYesNo(ini, "TopMost", d.TopMost, s.TopMost);
    readYesNo(ini, "EffectTokyo", d.EffectTokyo, s.EffectTokyo);
    readYesNo(ini, "EffectTachikawa", d.EffectTachikawa, s.EffectTachikawa);
    readYesNo(ini, "EffectUrawa", d.EffectUrawa, s.EffectUrawa);
    readYesNo(ini, "Door", d.Door, s.Door);
    readInteger(ini, "DoorDelay", d.DoorDelay, s.DoorDelay);
    readInteger(ini, "DoorThreshold", d.DoorThreshold, s.DoorThreshold);
    readYesNo(ini, "DoorCut", d.DoorCut, s.DoorCut);
    readYesNo(ini, "DoorATOS", d.DoorATOS, s.DoorATOS);
    readYesNo(ini, "Noise", d.Noise, s.Noise);
    readYesNo(ini, "UseEnvir", d.UseEnvir, s.UseEnvir);
    readYesNo(ini, "UsePanel", d.UsePanel, s.UsePanel);
    readYesNo(ini, "FixWindowPos", d.FixWindowPos, s.FixWindowPos);
    readInteger(ini, "DefExt", d.DefExt, s.DefExt);
    readText(ini, "DefDir", d.DefDir, s.DefDir);
    readText(ini, "DoorWAV", d.DoorWAV, s.DoorWAV);
    readText(ini, "EnvirWAV", d.EnvirWAV, s.EnvirWAV);
    readYesNo(ini, "PlayClickSound", d.PlayClickSound, s.PlayClickSound);
    readYesNo(ini, "NoLockOnButton", d.NoLockOnButton, s.NoLockOnButton);
    readYesNo(ini, "AutoPlayAtDrop", d.AutoPlayAtDrop, s.AutoPlayAtDrop);
    readInteger(ini, "AddOnButtonKeyCode", d.AddOnButtonKeyCode, s.AddOnButtonKeyCode);
    readInteger(ini, "AddOffButtonKeyCode", d.AddOffButtonKeyCode, s.AddOffButtonKeyCode);
    readInteger(ini, "SetFreqSldMin", d.SetFreqSldMin, s.SetFreqSldMin);
    readInteger(ini, "SetFreqSldMax", d.SetFreqSldMax, s.SetFreqSldMax);
    readDouble(ini, "SetFreqCoefficient", shortestText(d.SetFreqCoefficient), s.SetFreqCoefficient);
    readYesNo(ini, "ShiftForce", d.ShiftForce, s.ShiftForce);

    // The door timers cannot wait a negative time.
    if (s.DoorDelay < 0)
        s.DoorDelay = 0;
    if (s.DoorThreshold < 0)
        s.DoorThreshold = 0;
    return loaded;
}

std::vector<IniProfile::Entry> settingsFileEntries(const Settings& s, double xPosR, double yPosR) {
    return {
        {"XPosR", formatFraction(xPosR)},
        {"YPosR", formatFraction(yPosR)},
        {"TopMost", FormatYesNo(s.TopMost)},
        {"UsePanel", FormatYesNo(s.UsePanel)},
        {"FixWindowPos", FormatYesNo(s.FixWindowPos)},
        {"EffectTokyo", FormatYesNo(s.EffectTokyo)},
        {"EffectTachikawa", FormatYesNo(s.EffectTachikawa)},
        {"EffectUrawa", FormatYesNo(s.EffectUrawa)},
        {"Door", FormatYesNo(s.Door)},
        {"DoorDelay", std::to_string(s.DoorDelay)},
        {"DoorThreshold", std::to_string(s.DoorThreshold)},
        {"DoorCut", FormatYesNo(s.DoorCut)},
        {"DoorATOS", FormatYesNo(s.DoorATOS)},
        {"Noise", FormatYesNo(s.Noise)},
        {"UseEnvir", FormatYesNo(s.UseEnvir)},
        {"DefExt", std::to_string(s.DefExt)},
        {"DefDir", s.DefDir},
        {"DoorWAV", s.DoorWAV},
        {"EnvirWAV", s.EnvirWAV},
        {"PlayClickSound", FormatYesNo(s.PlayClickSound)},
        {"NoLockOnButton", FormatYesNo(s.NoLockOnButton)},
        {"AutoPlayAtDrop", FormatYesNo(s.AutoPlayAtDrop)},
        {"AddOnButtonKeyCode", std::to_string(s.AddOnButtonKeyCode)},
        {"AddOffButtonKeyCode", std::to_string(s.AddOffButtonKeyCode)},
        {"ShiftForce", FormatYesNo(s.ShiftForce)},
    };
}

bool writeSettingsFile(IniProfile& ini, const Settings& settings, double xPosR, double yPosR) {
    try {
        return ini.writeValues(settingsFileEntries(settings, xPosR, yPosR));
    } catch (...) {
        return false;
    }
}

std::string userConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return joinPath(xdg, "tremolo");
    std::string home;
    if (const char* env = std::getenv("HOME"); env && env[0] != '\0') {
        home = env;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    }
    return joinPath(joinPath(home, ".config"), "tremolo");
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
