#pragma once

// The fixed sounds that sit beside the program, and the small catalogues of
// door cues and ambiences in the Door and Envir folders beside them:
//
//   switch.wav   the click of the key springing back, mono
//   door.wav     the door-closing announcement after the melody, spoken by
//                espeak-ng at build time (station_speech.h), mono
//   b.wav        the static and pop of a station loudspeaker being keyed, mono
//   envir.wav    the station ambience, stereo, played round and round
//
// Besides the spoken announcements, every sound is made here from oscillators, filters and seeded
// noise, so the repository holds no recorded audio and the same build writes the same bytes.
//
// Single-threaded; used only by the build-time generator and its tests.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tremlo::tools {

inline constexpr int kStationRate = 44100;

struct StationSound {
    // Relative to the program folder, '/'-separated, UTF-8 (the catalogue
    // names are Japanese, as the user sees them in the menus).
    std::string fileName;
    int channels = 1;
    // An ambience: the last frame runs on into the first without a click.
    bool loops = false;
    // Interleaved 16-bit samples at kStationRate.
    std::vector<std::int16_t> samples;

    std::size_t frames() const { return samples.size() / static_cast<std::size_t>(channels); }
};

StationSound renderSwitchClick();
// The chime and warning beeps of a platform door, one of the door catalogue.
StationSound renderDoorCue();
StationSound renderNoiseBurst();
StationSound renderAmbience();

// Every sound this generator writes: the four above, then the catalogues.
std::vector<StationSound> renderStationSounds();

// Writes one sound under folder, making its folder if needed.
bool writeStationSound(const std::filesystem::path& folder, const StationSound& sound,
                       std::string& error);

// Writes every sound under folder, making it and the catalogue folders if
// needed. On failure returns false and says why in error.
bool writeStationSounds(const std::filesystem::path& folder, std::string& error);

} // namespace tremlo::tools
