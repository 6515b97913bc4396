#pragma once

// The two demo melodies that sit beside the program so that it sounds right
// after a build: a looping bell chime (WAVE) and a short departure tune
// (standard MIDI file). Both are our own pieces, made at build time from the
// note lists in demo_melodies.cpp, so the repository holds no recorded audio.
//
// Everything here is deterministic: the same build writes the same bytes.
// Single-threaded; used only by the build-time generator and its tests.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tremlo::tools {

inline constexpr int kChimeRate = 44100;
inline constexpr int kChimeChannels = 2;

// The chime as interleaved 16-bit stereo frames at kChimeRate. The buffer is
// exactly one pass of the tune: the last note is damped to silence by the last
// frame and the first note rises from silence, so a player that loops the
// whole buffer goes round without a click. `semitones` moves every note up
// (or down), for the example station pack's platforms that each want a tune of
// their own.
std::vector<std::int16_t> renderChimeMelody(int semitones = 0);

// The departure tune as a standard MIDI file of type 1: a tempo track, a
// melody track on a bell-like General MIDI program and a soft accompaniment.
std::vector<std::uint8_t> composeDepartureMidi();

// Appends a MIDI variable-length quantity; values above 0x0FFFFFFF, which the
// format cannot hold, are clamped to it.
void appendVariableLength(std::vector<std::uint8_t>& out, std::uint32_t value);

// Writes demo.wav and demo.mid into folder, making the folder if needed.
// On failure returns false and says why in error.
bool writeDemoMelodies(const std::filesystem::path& folder, std::string& error);

} // namespace tremlo::tools
