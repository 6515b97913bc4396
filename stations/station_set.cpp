#include "station_set.h"

#include "bounded_file.h"
#include "ini_profile.h"
#include "user_text.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

namespace tremlo {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kVersionKey = "tremolo-stations";
constexpr const char* kStep = " ▸ ";

constexpr std::string_view kVolumeKeys[kVolumeSoundCount] = {"melody", "door", "ambience", "click",
                                                             "noise"};

// "3 行 5 列" of byte `offset`: lines counted from 1 by their line feeds,
// columns in characters, not bytes, as an editor shows them.
std::string placeOf(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t k = 0; k < offset; ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        if (byte == '\n') {
            ++line;
            column = 1;
        } else if ((byte & 0xC0) != 0x80) {
            ++column;
        }
    }
    return fillIn(userText("StationSet", "%1 行 %2 列"),
                  {std::to_string(line), std::to_string(column)});
}

// Where the brackets first nest deeper than kMaxStationSetDepth, strings
// skipped; nullopt when they never do.
std::optional<std::size_t> tooDeep(std::string_view text) {
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        if (inString) {
            if (c == '\\')
                ++k;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxStationSetDepth)
                return k;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return std::nullopt;
}

// A wrong value, named by the platform (or line or station) and key.
struct Fault {
    std::string message;
};

std::string quotedKey(std::string_view key) {
    return "\"" + std::string(key) + "\"";
}

// `text` names the place %1, the key %2 and what it may be %3.
Fault faultAt(const std::string& where, std::string_view key, const std::string& text,
              std::string_view allowed = {}) {
    return {fillIn(text, {where, quotedKey(key), allowed})};
}

const Json* member(const Json& object, std::string_view key) {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::string requiredText(const Json& object, std::string_view key, const std::string& where) {
    const Json* value = member(object, key);
    if (!value)
        throw faultAt(where, key, userText("StationSet", "%1 の %2 がありません。"));
    if (!value->is_string())
        throw faultAt(where, key,
                      userText("StationSet", "%1 の %2 は文字列でなければなりません。"));
    const auto& text = value->get_ref<const std::string&>();
    if (text.empty())
        throw faultAt(where, key, userText("StationSet", "%1 の %2 が空です。"));
    return text;
}

const Json& requiredArray(const Json& object, std::string_view key, const std::string& where) {
    const Json* value = member(object, key);
    if (!value)
        throw faultAt(where, key, userText("StationSet", "%1 の %2 がありません。"));
    if (!value->is_array())
        throw faultAt(where, key, userText("StationSet", "%1 の %2 は配列でなければなりません。"));
    return *value;
}

// The entry's own name for the places below it, or its kind and number when
// it has none that is text (the fault is told by requiredText).
std::string placeName(const Json& entry, const std::string& outer, const std::string& kind,
                      std::size_t index) {
    const Json* name = entry.is_object() ? member(entry, "name") : nullptr;
    const std::string own =
        name && name->is_string() && !name->get_ref<const std::string&>().empty()
            ? name->get_ref<const std::string&>()
            : kind + " " + std::to_string(index + 1);
    return outer.empty() ? own : outer + kStep + own;
}

void requireObject(const Json& entry, const std::string& where) {
    if (!entry.is_object())
        throw Fault{
            fillIn(userText("StationSet", "%1 はオブジェクトでなければなりません。"), {where})};
}

std::string absoluteIn(const std::string& folder, const std::string& path) {
    const fs::path given(path);
    return (given.is_absolute() ? given : fs::path(folder) / given).lexically_normal().string();
}

std::optional<SoundChoice> soundChoice(const Json& object, std::string_view key,
                                       const std::string& where, const std::string& folder) {
    const Json* value = member(object, key);
    if (!value)
        return std::nullopt;
    if (value->is_null())
        return SoundChoice{};
    if (!value->is_string() || value->get_ref<const std::string&>().empty())
        throw faultAt(
            where, key,
            userText("StationSet", "%1 の %2 はファイル名か null でなければなりません。"));
    const auto& name = value->get_ref<const std::string&>();
    return SoundChoice{name == kBuiltInSound ? name : absoluteIn(folder, name)};
}

template <typename Enum, std::size_t N>
std::optional<Enum> namedValue(const Json& object, std::string_view key, const std::string& where,
                               const std::string_view (&names)[N], std::string_view allowed) {
    const Json* value = member(object, key);
    if (!value)
        return std::nullopt;
    if (value->is_string())
        for (std::size_t k = 0; k < N; ++k)
            if (value->get_ref<const std::string&>() == names[k])
                return static_cast<Enum>(k);
    throw faultAt(where, key,
                  userText("StationSet", "%1 の %2 は %3 のどれかでなければなりません。"), allowed);
}

constexpr std::string_view kEffectNames[] = {"none", "tokyo", "tachikawa", "urawa"};
constexpr std::string_view kPanNames[] = {"centre", "left", "right"};

void readVolumes(const Json& object, const std::string& where, Platform& platform) {
    const Json* volume = member(object, "volume");
    if (!volume)
        return;
    if (!volume->is_object())
        throw faultAt(where, "volume",
                      userText("StationSet", "%1 の %2 はオブジェクトでなければなりません。"));
    for (std::size_t k = 0; k < kVolumeSoundCount; ++k) {
        const Json* value = member(*volume, kVolumeKeys[k]);
        if (!value)
            continue;
        // Whole percents only: 50.0 is taken, 50.5 is a slip better told.
        const double number = value->is_number() ? value->get<double>() : -1.0;
        if (!(number >= 0.0 && number <= 100.0) || number != std::floor(number))
            throw faultAt(
                where, "volume." + std::string(kVolumeKeys[k]),
                userText("StationSet", "%1 の %2 は 0 から 100 までの整数でなければなりません。"));
        platform.volume[k] = static_cast<int>(number);
    }
}

Platform readPlatform(const Json& entry, const std::string& where, const std::string& folder) {
    requireObject(entry, where);
    Platform platform;
    platform.name = requiredText(entry, "name", where);
    platform.melody = absoluteIn(folder, requiredText(entry, "melody", where));
    platform.door = soundChoice(entry, "door", where, folder);
    platform.ambience = soundChoice(entry, "ambience", where, folder);
    platform.effect = namedValue<PlatformEffect>(
        entry, "effect", where, kEffectNames,
        userText("StationSet", "\"none\"、\"tokyo\"、\"tachikawa\"、\"urawa\""));
    platform.pan = namedValue<PlatformPan>(
        entry, "pan", where, kPanNames, userText("StationSet", "\"centre\"、\"left\"、\"right\""));
    readVolumes(entry, where, platform);
    return platform;
}

StationSet readSet(const Json& root, const std::string& folder) {
    if (!root.is_object())
        throw Fault{userText(
            "StationSet",
            "駅セットのファイルではありません (全体が JSON のオブジェクトではありません)。")};
    const Json* version = member(root, kVersionKey);
    if (!version)
        throw Fault{
            fillIn(userText("StationSet", "駅セットのファイルではありません (%1 がありません)。"),
                   {quotedKey(kVersionKey)})};
    if (!version->is_number_integer() || version->get<std::int64_t>() < 1)
        throw Fault{fillIn(userText("StationSet", "%1 は 1 以上の整数でなければなりません。"),
                           {quotedKey(kVersionKey)})};
    if (version->get<std::int64_t>() > kStationSetVersion)
        throw Fault{fillIn(
            userText("StationSet",
                     "この駅セットは新しい形式 (版 %1) で書かれています。このプログラムが"
                     "読めるのは版 %2 までです。新しいトレモロで開いてください。"),
            {std::to_string(version->get<std::int64_t>()), std::to_string(kStationSetVersion)})};
    StationSet set;
    std::size_t platforms = 0;
    const Json& lines = requiredArray(root, "lines", userText("StationSet", "駅セット"));
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const std::string lineWhere = placeName(lines[l], {}, userText("StationSet", "路線"), l);
        requireObject(lines[l], lineWhere);
        Line line{requiredText(lines[l], "name", lineWhere), {}};
        const Json& stations = requiredArray(lines[l], "stations", lineWhere);
        for (std::size_t s = 0; s < stations.size(); ++s) {
            const std::string stationWhere =
                placeName(stations[s], lineWhere, userText("StationSet", "駅"), s);
            requireObject(stations[s], stationWhere);
            Station station{requiredText(stations[s], "name", stationWhere), {}};
            const Json& entries = requiredArray(stations[s], "platforms", stationWhere);
            for (std::size_t p = 0; p < entries.size(); ++p) {
                if (++platforms > kMaxPlatforms)
                    throw Fault{
                        fillIn(userText("StationSet", "駅セットのホームが多すぎます (%1 まで)。"),
                               {std::to_string(kMaxPlatforms)})};
                station.platforms.push_back(readPlatform(
                    entries[p],
                    placeName(entries[p], stationWhere, userText("StationSet", "ホーム"), p),
                    folder));
            }
            line.stations.push_back(std::move(station));
        }
        set.lines.push_back(std::move(line));
    }
    if (platforms == 0)
        throw Fault{userText("StationSet", "駅セットにホームが一つもありません。")};
    return set;
}

bool isRegularFile(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// One byte past the limit shows a set that is too large.
std::optional<std::string> readSetFile(const std::string& path) {
    return readRegularFileUpTo(path, kMaxStationSetBytes);
}

// As the file names a sound: relative inside the set's folder.
std::string pathInSet(const std::string& folder, const std::string& path) {
    if (isBuiltInSound(path))
        return path;
    const fs::path absolute = fs::path(path).lexically_normal();
    const fs::path relative = absolute.lexically_relative(fs::path(folder).lexically_normal());
    if (relative.empty() || *relative.begin() == "..")
        return absolute.string();
    return relative == kBuiltInSound ? "./" + relative.string() : relative.string();
}

template <typename Object>
Object platformJson(const Platform& platform, const std::string& folder) {
    Object entry;
    entry["name"] = platform.name;
    entry["melody"] = pathInSet(folder, platform.melody);
    const auto sound = [&](const char* key, const std::optional<SoundChoice>& choice) {
        if (choice)
            entry[key] = *choice ? Object(pathInSet(folder, **choice)) : Object(nullptr);
    };
    sound("door", platform.door);
    sound("ambience", platform.ambience);
    if (platform.effect)
        entry["effect"] = std::string(kEffectNames[static_cast<std::size_t>(*platform.effect)]);
    if (platform.pan)
        entry["pan"] = std::string(kPanNames[static_cast<std::size_t>(*platform.pan)]);
    Object volume = Object::object();
    for (std::size_t k = 0; k < kVolumeSoundCount; ++k)
        if (platform.volume[k])
            volume[std::string(kVolumeKeys[k])] = *platform.volume[k];
    if (!volume.empty())
        entry["volume"] = std::move(volume);
    return entry;
}

// The entry of `array` named `name`, appended when there is none.
template <typename Object>
Object& namedEntry(Object& array, const std::string& name, const char* inner) {
    for (Object& entry : array)
        if (entry.is_object() && entry.value("name", std::string()) == name)
            return entry;
    Object made = Object::object();
    made["name"] = name;
    made[inner] = Object::array();
    array.push_back(std::move(made));
    return array.back();
}

} // namespace

bool isBuiltInSound(const std::string& path) {
    return path == kBuiltInSound;
}

std::string_view volumeKey(VolumeSound sound) {
    return kVolumeKeys[static_cast<std::size_t>(sound)];
}

std::vector<PlatformPlace> StationSet::places() const {
    std::vector<PlatformPlace> all;
    for (std::size_t l = 0; l < lines.size(); ++l)
        for (std::size_t s = 0; s < lines[l].stations.size(); ++s)
            for (std::size_t p = 0; p < lines[l].stations[s].platforms.size(); ++p)
                all.push_back({l, s, p});
    return all;
}

const Platform& StationSet::at(const PlatformPlace& place) const {
    return lines.at(place.line).stations.at(place.station).platforms.at(place.platform);
}

std::string StationSet::title(const PlatformPlace& place) const {
    return lines.at(place.line).stations.at(place.station).name + " " + at(place).name;
}

StationSetOutcome parseStationSet(std::string_view bytes, const std::string& folder) {
    if (bytes.size() > kMaxStationSetBytes)
        return {std::nullopt,
                fillIn(userText("StationSet", "駅セットのファイルが大きすぎます (%1 MB まで)。"),
                       {std::to_string(kMaxStationSetBytes >> 20)})};
    if (bytes.starts_with(kUtf8Bom))
        bytes.remove_prefix(kUtf8Bom.size());
    if (const auto deep = tooDeep(bytes))
        return {std::nullopt, fillIn(userText("StationSet", "%1: 入れ子が深すぎます。"),
                                     {placeOf(bytes, *deep)})};
    // The reader reports its faults by exception; none leaves this function.
    Json root;
    try {
        root = Json::parse(bytes.begin(), bytes.end());
    } catch (const Json::parse_error& error) {
        // `byte` counts from 1 and is the character the reader stopped at.
        const std::size_t offset = error.byte > 0 ? error.byte - 1 : 0;
        return {std::nullopt,
                fillIn(userText("StationSet", "%1: JSON の書き方が正しくありません。"),
                       {placeOf(bytes, offset)})};
    } catch (const std::exception&) {
        return {std::nullopt, userText("StationSet", "駅セットを読み込めませんでした。")};
    }
    try {
        return {readSet(root, folder), {}};
    } catch (const Fault& fault) {
        return {std::nullopt, fault.message};
    } catch (const std::exception&) {
        return {std::nullopt, userText("StationSet", "駅セットを読み込めませんでした。")};
    }
}

std::optional<std::string> findMissingFile(const StationSet& set, const PlatformPlace& place) {
    const Platform& platform = set.at(place);
    const std::string where = set.lines[place.line].name + kStep +
                              set.lines[place.line].stations[place.station].name + kStep +
                              platform.name;
    const auto check = [&](std::string_view key,
                           const std::string& path) -> std::optional<std::string> {
        if (isBuiltInSound(path) || isRegularFile(path))
            return std::nullopt;
        return fillIn(userText("StationSet", "%1 の %2 のファイル '%3' が見つかりません。"),
                      {where, quotedKey(key), path});
    };
    if (auto missing = check("melody", platform.melody))
        return missing;
    if (platform.door && *platform.door)
        if (auto missing = check("door", **platform.door))
            return missing;
    if (platform.ambience && *platform.ambience)
        if (auto missing = check("ambience", **platform.ambience))
            return missing;
    return std::nullopt;
}

std::optional<std::string> findMissingFile(const StationSet& set) {
    for (const PlatformPlace& place : set.places())
        if (auto missing = findMissingFile(set, place))
            return missing;
    return std::nullopt;
}

bool isStationSetPath(const std::string& path) {
    constexpr std::string_view kEnding = ".stations.json";
    if (path.size() < kEnding.size())
        return false;
    for (std::size_t k = 0; k < kEnding.size(); ++k) {
        char c = path[path.size() - kEnding.size() + k];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kEnding[k])
            return false;
    }
    return true;
}

StationSetOutcome loadStationSet(const std::string& path) {
    std::error_code error;
    // The sounds are beside the set itself, not beside a link to it.
    const fs::path absolute =
        fs::path(followLinks(fs::absolute(path, error).lexically_normal().string()))
            .lexically_normal();
    const auto bytes = error ? std::nullopt : readSetFile(absolute.string());
    if (!bytes)
        return {std::nullopt, userText("StationSet", "ファイルを読み込めませんでした。")};
    StationSetOutcome outcome = parseStationSet(*bytes, absolute.parent_path().string());
    if (outcome.set)
        if (auto missing = findMissingFile(*outcome.set))
            return {std::nullopt, *missing};
    return outcome;
}

std::string addPlatformToFile(const std::string& path, const std::string& line,
                              const std::string& station, const Platform& platform, AddTo mode) {
    // Key order is kept, so the rewritten file reads as the user left it.
    using Ordered = nlohmann::ordered_json;
    const auto refused = [&](const std::string& why) {
        return fillIn(userText("StationSet", "駅セット '%1' に書き込めませんでした: %2"),
                      {path, why});
    };
    if (line.empty() || station.empty() || platform.name.empty())
        return refused(userText("StationSet", "路線、駅、ホームの名前が要ります。"));
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error).lexically_normal();
    if (error)
        return refused(userText("StationSet", "ファイル名が正しくありません。"));
    // Relative sounds are written against the set the link leads to.
    const fs::path target = fs::path(followLinks(absolute.string())).lexically_normal();
    const std::string folder = target.parent_path().string();
    const std::string gone =
        userText("StationSet", "ファイルが見つかりません (移動、名前の変更、削除がされたか、"
                               "フォルダーが外されたかもしれません)。");
    if (mode == AddTo::NewSet)
        fs::create_directories(target.parent_path(), error);
    else if (!fs::exists(target, error))
        return refused(gone); // and no lock file left where the set was

    std::string why;
    const auto change = [&](const std::optional<std::string>& bytes) -> std::optional<std::string> {
        Ordered root;
        if (bytes) {
            // Only a set this program reads is changed: one it would refuse
            // is the user's to mend, not to be overwritten.
            const StationSetOutcome outcome = parseStationSet(*bytes, folder);
            if (!outcome.set) {
                why = outcome.message;
                return std::nullopt;
            }
            std::string_view text(*bytes);
            if (text.starts_with(kUtf8Bom))
                text.remove_prefix(kUtf8Bom.size());
            try {
                root = Ordered::parse(text.begin(), text.end());
            } catch (const std::exception&) {
                why = userText("StationSet", "駅セットを読み込めませんでした。");
                return std::nullopt;
            }
        } else if (mode == AddTo::NewSet) {
            root = Ordered::object();
            root[std::string(kVersionKey)] = kStationSetVersion;
            root["lines"] = Ordered::array();
        } else {
            return std::nullopt;
        }
        std::string out;
        try {
            Ordered& stations = namedEntry(root["lines"], line, "stations")["stations"];
            namedEntry(stations, station, "platforms")["platforms"].push_back(
                platformJson<Ordered>(platform, folder));
            out = root.dump(2, ' ', false, Ordered::error_handler_t::strict) + "\n";
        } catch (const std::exception&) {
            why = userText("StationSet", "名前が正しい UTF-8 ではありません。");
            return std::nullopt;
        }
        // Never a file this program would then refuse (too many platforms, say).
        if (const StationSetOutcome check = parseStationSet(out, folder); !check.set) {
            why = check.message;
            return std::nullopt;
        }
        return out;
    };
    switch (rewriteFile(absolute.string(), target.string() + ".lock", change)) {
    case FileRewrite::Written:
        return {};
    case FileRewrite::Declined:
        return refused(why);
    case FileRewrite::Missing:
        return refused(gone);
    case FileRewrite::ReadOnly:
        return refused(userText("StationSet", "ファイルは読み取り専用です。"));
    case FileRewrite::Failed:
        break;
    }
    return refused(userText("StationSet",
                            "ファイルを書き込めませんでした (フォルダーに書き込めないか、"
                            "ディスクがいっぱいです)。"));
}

} // namespace tremlo
