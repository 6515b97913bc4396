#include "station_sounds.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sndfile.h>

namespace tremlo::tools {
namespace {

namespace fs = std::filesystem;

// Rendering every sound takes a few seconds in a debug build; once is enough.
const std::vector<StationSound>& sounds() {
    static const std::vector<StationSound> rendered = renderStationSounds();
    return rendered;
}

std::vector<int> channelOf(const StationSound& sound, int channel) {
    std::vector<int> samples;
    for (std::size_t i = static_cast<std::size_t>(channel); i < sound.samples.size();
         i += static_cast<std::size_t>(sound.channels)) {
        samples.push_back(sound.samples[i]);
    }
    return samples;
}

double peakDb(const StationSound& sound) {
    int peak = 0;
    for (std::int16_t sample : sound.samples) {
        peak = std::max(peak, std::abs(int{sample}));
    }
    return 20.0 * std::log10(peak / 32768.0);
}

double levelDb(const std::vector<int>& samples, std::size_t from, std::size_t count) {
    double sum = 0.0;
    for (std::size_t i = from; i < from + count; ++i) {
        sum += double{1.0} * samples[i] * samples[i];
    }
    return 10.0 * std::log10(sum / static_cast<double>(count) + 1.0);
}

struct Expected {
    int channels;
    double minSeconds;
    double maxSeconds;
    double minPeakDb;
    double maxPeakDb;
    bool loops;
};

// What the program and its users expect of each file. Door cues may be mono
// or stereo; the fixed click, noise and door cue are mono because the program
// plays them centred.
const std::map<std::string, Expected> kExpected = {
    {"switch.wav", {1, 0.04, 0.08, -4.0, -2.0, false}},
    {"b.wav", {1, 0.3, 0.5, -4.0, -2.0, false}},
    {"envir.wav", {2, 8.0, 10.0, -13.0, -11.0, true}},
    {"Door/ドア警告音.wav", {1, 3.0, 4.0, -4.0, -2.0, false}},
    {"Door/ドアチャイム.wav", {1, 1.5, 4.0, -4.0, -2.0, false}},
    {"Door/ブザー.wav", {1, 1.5, 4.0, -4.0, -2.0, false}},
    {"Door/ホームドア.wav", {1, 1.5, 4.0, -4.0, -2.0, false}},
    {"Envir/ホーム.wav", {2, 7.0, 11.0, -13.0, -11.0, true}},
    {"Envir/雨の駅.wav", {2, 7.0, 11.0, -13.0, -11.0, true}},
};

TEST(StationSounds, EachHasItsFormatLengthAndLevel) {
    std::set<std::string> seen;
    for (const StationSound& sound : sounds()) {
        SCOPED_TRACE(sound.fileName);
        ASSERT_TRUE(kExpected.contains(sound.fileName));
        EXPECT_TRUE(seen.insert(sound.fileName).second) << "written twice";
        const Expected& expected = kExpected.at(sound.fileName);
        EXPECT_EQ(sound.channels, expected.channels);
        EXPECT_EQ(sound.samples.size() % static_cast<std::size_t>(sound.channels), 0u);
        EXPECT_EQ(sound.loops, expected.loops);
        const double seconds = static_cast<double>(sound.frames()) / kStationRate;
        EXPECT_GE(seconds, expected.minSeconds);
        EXPECT_LE(seconds, expected.maxSeconds);
        EXPECT_GE(peakDb(sound), expected.minPeakDb);
        EXPECT_LE(peakDb(sound), expected.maxPeakDb);
    }
    EXPECT_EQ(seen.size(), kExpected.size());
}

// A sound that is not looped must rise from silence and fall back to it, or
// every start and stop adds a click of its own.
TEST(StationSounds, OneShotsStartAndEndInSilence) {
    for (const StationSound& sound : sounds()) {
        if (sound.loops) {
            continue;
        }
        SCOPED_TRACE(sound.fileName);
        for (int channel = 0; channel < sound.channels; ++channel) {
            const std::vector<int> samples = channelOf(sound, channel);
            EXPECT_LT(std::abs(samples.front()), 16);
            EXPECT_LT(std::abs(samples.back()), 16);
        }
    }
}

// Looped, the step from the last frame to the first must be like the steps
// inside the sound, and the level must not jump between end and start.
TEST(StationSounds, AmbiencesGoRoundTheLoopWithoutAClick) {
    int ambiences = 0;
    for (const StationSound& sound : sounds()) {
        if (!sound.loops) {
            continue;
        }
        ++ambiences;
        SCOPED_TRACE(sound.fileName);
        for (int channel = 0; channel < sound.channels; ++channel) {
            const std::vector<int> samples = channelOf(sound, channel);
            std::vector<int> steps;
            for (std::size_t i = 1; i < samples.size(); ++i) {
                steps.push_back(std::abs(samples[i] - samples[i - 1]));
            }
            std::sort(steps.begin(), steps.end());
            const int typicalStep = steps[steps.size() * 95 / 100];
            ASSERT_GT(typicalStep, 4) << "channel " << channel;
            EXPECT_LE(std::abs(samples.front() - samples.back()), typicalStep)
                << "channel " << channel;

            // The level in 50 ms windows: across the seam it must change no
            // more than it does between neighbouring windows elsewhere.
            const std::size_t window = kStationRate / 20;
            std::vector<double> changes;
            for (std::size_t at = window; at + window <= samples.size(); at += window) {
                changes.push_back(
                    std::abs(levelDb(samples, at, window) - levelDb(samples, at - window, window)));
            }
            std::sort(changes.begin(), changes.end());
            EXPECT_LE(std::abs(levelDb(samples, 0, window) -
                               levelDb(samples, samples.size() - window, window)),
                      changes[changes.size() * 95 / 100])
                << "channel " << channel;
        }
    }
    EXPECT_GE(ambiences, 3);
}

// The key's click must be over before the user can press again; a long tail
// would smear into the melody starting under it.
TEST(StationSounds, SwitchClickIsOverWithinAFewMilliseconds) {
    const StationSound click = renderSwitchClick();
    const std::vector<int> samples = channelOf(click, 0);
    double total = 0.0;
    double early = 0.0;
    const std::size_t earlyFrames = kStationRate * 25 / 1000;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double energy = double{1.0} * samples[i] * samples[i];
        total += energy;
        if (i < earlyFrames) {
            early += energy;
        }
    }
    EXPECT_GT(early / total, 0.99);
}

class StationSoundFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tremlo-sounds-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
    }
    void TearDown() override { fs::remove_all(m_folder); }
    fs::path m_folder;
};

// What lands on disk is a plain 16-bit WAVE at 44.1 kHz holding exactly what
// a separate render made: the files are the same on every build.
TEST_F(StationSoundFiles, WritesEveryFileAsRendered) {
    std::string error;
    ASSERT_TRUE(writeStationSounds(m_folder / "program", error)) << error;
    for (const StationSound& sound : sounds()) {
        SCOPED_TRACE(sound.fileName);
        const fs::path path = m_folder / "program" / sound.fileName;
        EXPECT_FALSE(fs::exists(fs::path(path).concat(".part")));
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        EXPECT_EQ(info.samplerate, 44100);
        EXPECT_EQ(info.channels, sound.channels);
        std::vector<std::int16_t> samples(static_cast<std::size_t>(info.frames * info.channels));
        EXPECT_EQ(sf_readf_short(file, samples.data(), info.frames), info.frames);
        sf_close(file);
        EXPECT_EQ(samples, sound.samples);
    }
}

TEST_F(StationSoundFiles, SaysWhyWhenTheFolderCannotBeMade) {
    const fs::path blocked = m_folder / "file";
    std::ofstream(blocked) << "not a folder";
    std::string error;
    EXPECT_FALSE(writeStationSounds(blocked / "program", error));
    EXPECT_NE(error.find("program"), std::string::npos) << error;
}

} // namespace
} // namespace tremlo::tools
