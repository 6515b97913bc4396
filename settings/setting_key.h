#pragma once

// One key of the settings file, as its section's table declares it: its name,
// the field of the section's record it fills, its default and whether a save
// writes it. The field's type gives the key's form in the file: Yes/No for a
// flag, a decimal integer, a number with seven decimals, text as it is. The
// tables themselves are in settings_keys.h; readSection(), writeSection() and
// sectionDefaults() turn any section's table into a read, a write and its
// defaults.
//
// Thread: the user-interface thread.

#include "ini_profile.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace tremlo {

// A default text that names a file in the program folder ("" is the folder
// itself), which is known only at run time.
enum class InProgramFolder : bool { No, Yes };
// A key the user sets by hand is read but never written, so a save leaves it
// as the user wrote it.
enum class Saved : bool { No, Yes };

template <typename Record> struct SettingKey {
    using Field = std::variant<bool Record::*, std::int16_t Record::*, std::int32_t Record::*,
                               double Record::*, std::string Record::*>;
    using Default = std::variant<bool, std::int16_t, std::int32_t, double, std::string_view>;

    // The default has the field's own type, so a table cannot give a flag
    // a number.
    template <typename T>
    requires(!std::is_same_v<T, std::string>) constexpr SettingKey(std::string_view key,
                                                                   T Record::*member,
                                                                   std::type_identity_t<T> fallback,
                                                                   Saved saves = Saved::Yes)
        : name(key), field(member), byDefault(std::in_place_type<T>, fallback),
          saved(saves == Saved::Yes) {}
    constexpr SettingKey(std::string_view key, std::string Record::*member,
                         std::string_view fallback, InProgramFolder where = InProgramFolder::No)
        : name(key), field(member), byDefault(std::in_place_type<std::string_view>, fallback),
          inProgramFolder(where == InProgramFolder::Yes) {}

    std::string_view name;
    Field field;
    Default byDefault;
    bool saved = true;
    bool inProgramFolder = false;
};

// Reading one value into its field. An empty or missing value gives
// `fallback`; a value that cannot go into the field (a number too large for
// it, say) leaves the field as it was; a flag that is neither yes nor no, in
// any ASCII case, is `fallback`.
void readKey(const IniProfile& ini, std::string_view section, std::string_view key, bool fallback,
             bool& field);
void readKey(const IniProfile& ini, std::string_view section, std::string_view key,
             std::int16_t fallback, std::int16_t& field);
void readKey(const IniProfile& ini, std::string_view section, std::string_view key,
             std::int32_t fallback, std::int32_t& field);
void readKey(const IniProfile& ini, std::string_view section, std::string_view key, double fallback,
             double& field);
void readKey(const IniProfile& ini, std::string_view section, std::string_view key,
             const std::string& fallback, std::string& field);

// A value in its file form.
std::string keyText(bool flag);
std::string keyText(std::int16_t number);
std::string keyText(std::int32_t number);
std::string keyText(double number);
std::string keyText(const std::string& text);

// "/" joined with "Door.wav" is "/Door.wav", not "//Door.wav"; an empty name
// is the folder itself.
std::string fileInFolder(const std::string& folder, std::string_view name);

// A section of the file and its keys, in the order a save writes them.
template <typename Record, std::size_t N> struct SectionKeys {
    std::string_view section;
    std::array<SettingKey<Record>, N> keys;
};

namespace detail {
template <typename Record, typename T>
T defaultOf(const SettingKey<Record>& key, const std::string& programFolder) {
    if constexpr (std::is_same_v<T, std::string>) {
        const auto text = std::get<std::string_view>(key.byDefault);
        return key.inProgramFolder ? fileInFolder(programFolder, text) : std::string(text);
    } else {
        return std::get<T>(key.byDefault);
    }
}
} // namespace detail

// The record with every field of the section at its default.
template <typename Record, std::size_t N>
Record sectionDefaults(const SectionKeys<Record, N>& table, const std::string& programFolder) {
    Record record{};
    for (const auto& key : table.keys)
        std::visit(
            [&]<typename T>(T Record::*member) {
                record.*member = detail::defaultOf<Record, T>(key, programFolder);
            },
            key.field);
    return record;
}

// Every key of the section read into `record`, each on its own.
template <typename Record, std::size_t N>
void readSection(const IniProfile& ini, const SectionKeys<Record, N>& table, Record& record,
                 const std::string& programFolder = {}) {
    for (const auto& key : table.keys)
        std::visit(
            [&]<typename T>(T Record::*member) {
                readKey(ini, table.section, key.name,
                        detail::defaultOf<Record, T>(key, programFolder), record.*member);
            },
            key.field);
}

// The section's saved keys with their values in the file's forms, in the
// table's order.
template <typename Record, std::size_t N>
std::vector<IniProfile::Entry> sectionEntries(const SectionKeys<Record, N>& table,
                                              const Record& record) {
    std::vector<IniProfile::Entry> entries;
    for (const auto& key : table.keys)
        if (key.saved)
            std::visit(
                [&](auto member) { entries.emplace_back(key.name, keyText(record.*member)); },
                key.field);
    return entries;
}

// The section's saved keys in one replacement of the file; false when any
// could not be written (the file keeps its old value for that key).
template <typename Record, std::size_t N>
bool writeSection(IniProfile& ini, const SectionKeys<Record, N>& table, const Record& record) {
    try {
        return ini.writeValues(sectionEntries(table, record), table.section);
    } catch (...) {
        return false;
    }
}

} // namespace tremlo
