// Build-time generator: writes the example station pack, a set of three
// platforms with melodies, door announcements and ambiences of our own, into
// the folder it is given (Stations/トレモロ線 beside the program when the
// build runs it). The melodies are the demo chime in other keys, the
// announcements espeak-ng's, the ambiences two of the Envir catalogue's.

#include "demo_melodies.h"
#include "station_sounds.h"
#include "station_speech.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>

namespace {

namespace fs = std::filesystem;
using tremlo::tools::StationSound;

// The platforms' tunes: the chime in D, in G and in B, so a step to the next
// platform is heard at once.
struct PackMelody {
    const char* fileName;
    int semitones;
};
constexpr PackMelody kMelodies[] = {
    {"melodies/kanegaoka-1.wav", 0},
    {"melodies/kanegaoka-2.wav", 5},
    {"melodies/matsubara-1.wav", -3},
};

constexpr tremlo::tools::Announcement kDoors[] = {
    // 1番線、ドアが閉まります。
    {"door/kanegaoka-1.wav", "いちばんせん、 ドアが しまります。"},
    // 2番線、ドアが閉まります。ご注意ください。
    {"door/kanegaoka-2.wav", "にばんせん、 ドアが しまります。 ごちゅうい ください。"},
    // 松原、1番線のドアが閉まります。駆け込み乗車はおやめください。
    {"door/matsubara-1.wav",
     "まつばら、 いちばんせんの ドアが しまります。 かけこみ じょうしゃは おやめ ください。"},
};

// The catalogue ambiences the pack carries, under its own names.
constexpr std::pair<const char*, const char*> kAmbiences[] = {
    {"Envir/ホーム.wav", "envir/platform.wav"},
    {"Envir/雨の駅.wav", "envir/rain.wav"},
};

constexpr const char* kSetName = "トレモロ線.stations.json";
constexpr const char* kSet = R"({
  "tremolo-stations": 1,
  "lines": [
    { "name": "トレモロ線",
      "stations": [
        { "name": "鐘ヶ丘",
          "platforms": [
            { "name": "1番線",
              "melody": "melodies/kanegaoka-1.wav",
              "door": "door/kanegaoka-1.wav",
              "ambience": "envir/platform.wav",
              "effect": "none",
              "pan": "centre",
              "volume": { "melody": 100, "door": 90, "ambience": 60 } },
            { "name": "2番線",
              "melody": "melodies/kanegaoka-2.wav",
              "door": "door/kanegaoka-2.wav",
              "ambience": "envir/platform.wav",
              "effect": "tokyo",
              "pan": "centre",
              "volume": { "melody": 90, "door": 90, "ambience": 60 } } ] },
        { "name": "松原",
          "platforms": [
            { "name": "1番線",
              "melody": "melodies/matsubara-1.wav",
              "door": "door/matsubara-1.wav",
              "ambience": "envir/rain.wav",
              "effect": "tachikawa",
              "pan": "centre",
              "volume": { "melody": 100, "door": 100, "ambience": 80 } } ] } ] } ]
}
)";

bool writeMelodies(const fs::path& folder, std::string& error) {
    static_assert(tremlo::tools::kChimeRate == tremlo::tools::kStationRate);
    for (const auto& melody : kMelodies) {
        StationSound sound{melody.fileName, tremlo::tools::kChimeChannels, true,
                           tremlo::tools::renderChimeMelody(melody.semitones)};
        if (!tremlo::tools::writeStationSound(folder, sound, error))
            return false;
    }
    return true;
}

bool writeAmbiences(const fs::path& folder, std::string& error) {
    const auto sounds = tremlo::tools::renderStationSounds();
    for (const auto& [catalogueName, packName] : kAmbiences) {
        const auto found =
            std::ranges::find(sounds, std::string(catalogueName), &StationSound::fileName);
        if (found == sounds.end()) {
            error = std::string("no ambience ") + catalogueName + " in the catalogue";
            return false;
        }
        StationSound sound = *found;
        sound.fileName = packName;
        if (!tremlo::tools::writeStationSound(folder, sound, error))
            return false;
    }
    return true;
}

// Last and under a temporary name, so a pack whose set file is there is whole.
bool writeSet(const fs::path& folder, std::string& error) {
    const fs::path path = folder / kSetName;
    fs::path partial = path;
    partial += ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << kSet;
        if (!out.flush()) {
            error = "cannot write " + partial.string();
            return false;
        }
    }
    std::error_code code;
    fs::rename(partial, path, code);
    if (code) {
        error = "cannot rename " + partial.string() + ": " + code.message();
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_station_pack OUTPUT_FOLDER\n";
        return 2;
    }
    const fs::path folder = argv[1];
    std::string error;
    if (!writeMelodies(folder, error) || !writeAmbiences(folder, error) ||
        !tremlo::tools::writeAnnouncements(folder, kDoors, error) || !writeSet(folder, error)) {
        std::cerr << "make_station_pack: " << error << '\n';
        return 1;
    }
    return 0;
}
