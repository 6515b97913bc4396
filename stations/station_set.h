#pragma once

// A station set: lines, their stations and the stations' platforms, each
// platform a melody with the door announcement, ambience, effect, pan and
// volumes that belong to it. Read from a UTF-8 JSON file whose paths are
// relative to its own folder, so a folder with the file and its sounds can be
// passed on as it is.
//
// Every optional field tells "not in the file" (keep what the user has
// chosen) apart from null (none): a file that says nothing of the door leaves
// the door alone, one that says null turns it off.
//
// Thread: any; nothing here keeps state.

#include "volume_settings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tremlo {

// The newest form of the file this program reads.
inline constexpr std::int64_t kStationSetVersion = 1;
// Far beyond any real set; the menu and the start-up would suffer first.
inline constexpr std::size_t kMaxStationSetBytes = std::size_t{16} << 20;
inline constexpr std::size_t kMaxPlatforms = 2000;
// The JSON reader's own stack is not at risk, but a file nested this deep is
// no station set, and freeing it would recurse.
inline constexpr std::size_t kMaxStationSetDepth = 64;

enum class PlatformEffect { None, Tokyo, Tachikawa, Urawa };
enum class PlatformPan { Centre, Left, Right };

// The keys of the sounds' volumes in the file ("melody", "door", ...).
std::string_view volumeKey(VolumeSound sound);

// A sound file or none (nullopt, from null in the file).
using SoundChoice = std::optional<std::string>;

struct Platform {
    std::string name;
    std::string melody;              // absolute
    std::optional<SoundChoice> door; // nullopt: the user's choice stays
    std::optional<SoundChoice> ambience;
    std::optional<PlatformEffect> effect;
    std::optional<PlatformPan> pan;
    // Percent of full level, 0 to 100, indexed by VolumeSound; nullopt: the
    // global volume.
    std::array<std::optional<int>, kVolumeSoundCount> volume{};

    bool operator==(const Platform&) const = default;
};

struct Station {
    std::string name;
    std::vector<Platform> platforms;
};

struct Line {
    std::string name;
    std::vector<Station> stations;
};

// One platform of the set in file order, with where it stands.
struct PlatformPlace {
    std::size_t line = 0;
    std::size_t station = 0;
    std::size_t platform = 0;
};

struct StationSet {
    std::vector<Line> lines;

    // Every platform in file order.
    std::vector<PlatformPlace> places() const;
    const Platform& at(const PlatformPlace& place) const;
    // "品川 1番線": the station's and the platform's names.
    std::string title(const PlatformPlace& place) const;
};

// A set, or why the file is not one: the line and column of a fault of the
// JSON itself, or the platform (line ▸ station ▸ platform) and key of a value
// that is wrong. The message is for the user.
struct StationSetOutcome {
    std::optional<StationSet> set;
    std::string message;
};

// `bytes` is the file (a UTF-8 byte-order mark is skipped); relative paths
// are made absolute against `folder`. Files are not looked at.
StationSetOutcome parseStationSet(std::string_view bytes, const std::string& folder);

// The first sound file the set names that is not a regular file, as a message
// naming its platform and key; nullopt when every one is there.
std::optional<std::string> findMissingFile(const StationSet& set);
// The same for one platform of the set.
std::optional<std::string> findMissingFile(const StationSet& set, const PlatformPlace& place);

// ".stations.json" in any letter case.
bool isStationSetPath(const std::string& path);

// Reads, parses and checks the files of the set at `path` (a regular file of
// at most kMaxStationSetBytes).
StationSetOutcome loadStationSet(const std::string& path);

// Adds `platform` to the set in the file at `path`, under the line and
// station of those names (each made, at the end, when the set has none of
// that name), and writes the file again whole: everything else in it, keys
// this program does not know included, stays as it was. A file that is not
// there is made as a new set. Sound paths inside the set's folder are
// written relative to it, so the folder can still be passed on; others stay
// absolute. Returns the message for the user, empty when the file was
// written; on any failure the old file is left untouched.
std::string addPlatformToFile(const std::string& path, const std::string& line,
                              const std::string& station, const Platform& platform);

} // namespace tremlo
