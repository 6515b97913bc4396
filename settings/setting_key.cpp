#include "setting_key.h"

#include "settings_file.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tremlo {
namespace {

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

// A failing key leaves its field alone and lets the next one be read.
template <typename Step> void runStep(Step&& step) {
    try {
        step();
    } catch (...) {
    }
}

template <typename Int>
void readInteger(const IniProfile& ini, std::string_view section, std::string_view key,
                 Int fallback, Int& field) {
    runStep([&] {
        const std::string text = ini.readValue(key, section);
        if (text.empty()) {
            field = fallback;
            return;
        }
        const auto number = readNumber(text);
        if (!number)
            return;
        const double rounded = roundHalfToEven(*number);
        if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
            rounded > static_cast<double>(std::numeric_limits<Int>::max()))
            return;
        field = static_cast<Int>(rounded);
    });
}

} // namespace

void readKey(const IniProfile& ini, std::string_view section, std::string_view key, bool fallback,
             bool& field) {
    runStep([&] { field = ParseYesNo(ini.readValue(key, section), fallback); });
}

void readKey(const IniProfile& ini, std::string_view section, std::string_view key,
             std::int16_t fallback, std::int16_t& field) {
    readInteger(ini, section, key, fallback, field);
}

void readKey(const IniProfile& ini, std::string_view section, std::string_view key,
             std::int32_t fallback, std::int32_t& field) {
    readInteger(ini, section, key, fallback, field);
}

void readKey(const IniProfile& ini, std::string_view section, std::string_view key, double fallback,
             double& field) {
    runStep([&] {
        const std::string text = ini.readValue(key, section);
        if (text.empty())
            field = fallback;
        else if (const auto number = readNumber(text))
            field = *number;
    });
}

void readKey(const IniProfile& ini, std::string_view section, std::string_view key,
             const std::string& fallback, std::string& field) {
    runStep([&] {
        std::string text = ini.readValue(key, section);
        if (text.empty())
            field = fallback;
        else
            field = std::move(text);
    });
}

std::string keyText(bool flag) {
    return FormatYesNo(flag);
}

std::string keyText(std::int16_t number) {
    return std::to_string(number);
}

std::string keyText(std::int32_t number) {
    return std::to_string(number);
}

// Kept to single precision with seven decimals ("0.3000000"), as the window's
// place always was. Anything that is not a finite single-precision number is
// saved as 0.
std::string keyText(double number) {
    if (!std::isfinite(number) || std::fabs(number) > std::numeric_limits<float>::max())
        number = 0.0;
    double single = static_cast<float>(number);
    if (single == 0.0)
        single = 0.0; // no "-0.0000000"
    char buffer[80];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, single, std::chars_format::fixed, 7);
    return std::string(buffer, result.ptr);
}

std::string keyText(const std::string& text) {
    return text;
}

std::string fileInFolder(const std::string& folder, std::string_view name) {
    if (name.empty())
        return folder;
    return folder.ends_with('/') ? folder + std::string(name) : folder + "/" + std::string(name);
}

} // namespace tremlo
