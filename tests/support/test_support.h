#pragma once

// Helpers for tests that render the library offline: WAVE files made in
// memory, a library on an offline device, and measurements of the output.

#include "offline_device.h"
#include "sound_library.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tremlo::sound::test {

// A PCM WAVE file (8, 16, 24 or 32-bit integer, or 32-bit float with
// floatingPoint) whose samples come from `sample(frame, channel)` in [-1, 1].
std::vector<std::uint8_t> makeWave(int rate, int channels, int bits, std::int64_t frames,
                                   const std::function<double(std::int64_t, int)>& sample,
                                   bool floatingPoint = false);

std::vector<std::uint8_t> makeSine(double hz, std::int64_t frames, int rate, int channels = 1,
                                   double amplitude = 0.5, int bits = 16);

// A library on an offline device, opened.
struct OfflineLibrary {
    explicit OfflineLibrary(int rate = 48000, SoundLibraryOptions options = {},
                            int periodFrames = 256);
    SoundHandle load(const std::vector<std::uint8_t>& wave);
    std::vector<float> render(std::size_t frames) { return device->render(frames); }

    OfflineDevice* device;
    std::unique_ptr<SoundLibrary> library;
};

// Measurements of interleaved stereo output, over frames [from, to).
double rms(const std::vector<float>& stereo, int channel, std::size_t from, std::size_t to);
double peak(const std::vector<float>& stereo, int channel, std::size_t from, std::size_t to);
// The largest step between neighbouring samples: a click shows as a step far
// above what the signal's own slope allows.
double largestStep(const std::vector<float>& stereo, int channel, std::size_t from, std::size_t to);
// Frequency from the rising zero crossings, interpolated between samples.
double frequency(const std::vector<float>& stereo, int channel, std::size_t from, std::size_t to,
                 int rate);
double decibels(double ratio);

std::vector<std::uint8_t> readFile(const std::string& path);

// A file in the temporary folder, removed with the object.
class TempFile {
public:
    explicit TempFile(std::string path) : m_path(std::move(path)) {}
    // A new file of these bytes, its name unique to this process and ending in
    // `extension` (".mid", ".sgt"), as the loaders look at endings.
    static TempFile holding(const std::vector<std::uint8_t>& bytes, const std::string& extension);
    TempFile(TempFile&& other) noexcept : m_path(std::exchange(other.m_path, {})) {}
    TempFile& operator=(TempFile&&) = delete;
    ~TempFile();
    const std::string& path() const { return m_path; }
    operator const std::string&() const { return m_path; }

private:
    std::string m_path;
};

// A small standard MIDI file writer: one track, events given with delta ticks.
class MidiWriter {
public:
    explicit MidiWriter(int ticksPerQuarter = 480) : m_ticksPerQuarter(ticksPerQuarter) {}

    MidiWriter& event(std::uint32_t delta, std::initializer_list<std::uint8_t> bytes);
    // A system-exclusive message, given without its framing bytes.
    MidiWriter& sysex(std::uint32_t delta, const std::vector<std::uint8_t>& message);
    MidiWriter& tempo(std::uint32_t delta, std::uint32_t usPerQuarter);
    MidiWriter& end(std::uint32_t delta);
    TempFile save() const;

private:
    void putVariableLength(std::uint32_t value);

    int m_ticksPerQuarter;
    std::vector<std::uint8_t> m_track;
};

} // namespace tremlo::sound::test
