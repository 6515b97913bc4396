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

// The program's own door announcement or ambience (the fixed sound beside the
// program), named so in the file and kept so when read, as its path differs
// from one installation to the next. A file of that name in the set's folder
// is written "./built-in".
inline constexpr std::string_view kBuiltInSound = "built-in";
bool isBuiltInSound(const std::string& path);

struct Platform {
    std::string name;
    std::string melody; // absolute
    // Absolute, or kBuiltInSound; nullopt: the user's choice stays.
    std::optional<SoundChoice> door;
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
// naming its platform and key; nullopt when every one is there. The built-in
// sounds are always there.
std::optional<std::string> findMissingFile(const StationSet& set);
// The same for one platform of the set.
std::optional<std::string> findMissingFile(const StationSet& set, const PlatformPlace& place);

// ".stations.json" in any letter case.
bool isStationSetPath(const std::string& path);

// Reads, parses and checks the files of the set at `path` (a regular file of
// at most kMaxStationSetBytes). A link is followed: the sounds are looked for
// beside the set it leads to.
StationSetOutcome loadStationSet(const std::string& path);

enum class AddTo {
    ExistingSet, // the set must be there: one that is gone is not made again
    NewSet,      // made when the file is not there
};

// Adds `platform` to the set in the file at `path`, under the line and
// station of those names (each made, at the end, when the set has none of
// that name), and writes the file again whole: everything else in it, keys
// this program does not know included, stays as it was. It is written as
// the settings file is (see rewriteFile): through a link to the set it leads
// to, keeping its permissions, never over a read-only file, and under the
// same kind of lock beside it, so two programs adding at once keep both
// platforms. Sound paths inside the set's folder are written relative to it,
// so the folder can still be passed on; others stay absolute. Returns the
// message for the user, empty when the file was written; on any failure the
// old file is left untouched.
std::string addPlatformToFile(const std::string& path, const std::string& line,
                              const std::string& station, const Platform& platform, AddTo mode);

} // namespace tremlo
