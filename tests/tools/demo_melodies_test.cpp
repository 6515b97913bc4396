#include "demo_melodies.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <sndfile.h>
#include <utility>

namespace tremlo::tools {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> readBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

class DemoFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tremlo-demo-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
    }
    void TearDown() override { fs::remove_all(m_folder); }
    fs::path m_folder;
};

TEST_F(DemoFiles, WritesBothFilesTheSameEachTime) {
    std::string error;
    ASSERT_TRUE(writeDemoMelodies(m_folder / "first", error)) << error;
    ASSERT_TRUE(writeDemoMelodies(m_folder / "second", error)) << error;
    for (const char* name : {"demo.wav", "demo.mid"}) {
        const auto first = readBytes(m_folder / "first" / name);
        EXPECT_FALSE(first.empty()) << name;
        EXPECT_EQ(first, readBytes(m_folder / "second" / name)) << name;
    }
    EXPECT_FALSE(fs::exists(m_folder / "first" / "demo.wav.part"));

    SF_INFO info{};
    SNDFILE* file = sf_open((m_folder / "first" / "demo.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 2);
    std::vector<std::int16_t> frames(static_cast<std::size_t>(info.frames) * 2);
    EXPECT_EQ(sf_readf_short(file, frames.data(), info.frames), info.frames);
    sf_close(file);
    EXPECT_EQ(frames, renderChimeMelody());
}

TEST(ChimeMelody, LastsSixToEightSecondsAtAModestLevel) {
    const auto frames = renderChimeMelody();
    const double seconds = static_cast<double>(frames.size() / 2) / kChimeRate;
    EXPECT_GE(seconds, 6.0);
    EXPECT_LE(seconds, 8.0);

    int peak = 0;
    bool stereo = false;
    for (std::size_t i = 0; i < frames.size(); i += 2) {
        peak = std::max({peak, std::abs(int{frames[i]}), std::abs(int{frames[i + 1]})});
        stereo = stereo || frames[i] != frames[i + 1];
    }
    const double peakDb = 20.0 * std::log10(peak / 32768.0);
    EXPECT_GT(peakDb, -6.0);
    EXPECT_LT(peakDb, -1.0); // headroom, and certainly no clipping
    EXPECT_TRUE(stereo);
}

// Played in a loop, the step from the last frame to the first must be no
// bigger than the steps inside the melody, or the listener hears a click.
TEST(ChimeMelody, GoesRoundTheLoopWithoutAClick) {
    const auto frames = renderChimeMelody();
    const std::size_t count = frames.size() / 2;
    for (std::size_t channel = 0; channel < 2; ++channel) {
        std::vector<int> steps;
        for (std::size_t i = 1; i < count; ++i) {
            steps.push_back(std::abs(frames[2 * i + channel] - frames[2 * (i - 1) + channel]));
        }
        std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
        const int medianStep = steps[steps.size() / 2];
        ASSERT_GT(medianStep, 50) << "channel " << channel;

        const int wrapStep = std::abs(frames[channel] - frames[2 * (count - 1) + channel]);
        EXPECT_LT(wrapStep, medianStep) << "channel " << channel;
        // The first pass starts from silence, not in the middle of a tail.
        EXPECT_LT(std::abs(int{frames[channel]}), 16) << "channel " << channel;
    }
}

// Variable-length quantities at each width boundary.
TEST(VariableLength, EncodesEachWidthBoundary) {
    const std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> cases = {
        {0x00, {0x00}},
        {0x7F, {0x7F}},
        {0x80, {0x81, 0x00}},
        {0x3FFF, {0xFF, 0x7F}},
        {0x4000, {0x81, 0x80, 0x00}},
        {0x1FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x200000, {0x81, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
        {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& [value, expected] : cases) {
        std::vector<std::uint8_t> out = {0x55};
        appendVariableLength(out, value);
        std::vector<std::uint8_t> want = {0x55};
        want.insert(want.end(), expected.begin(), expected.end());
        EXPECT_EQ(out, want) << std::hex << value;
    }
}

// What the departure tune's file holds, read back by a strict walk of its chunks.
struct MidiSummary {
    int format = -1;
    int tracks = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> tempos; // tick, microseconds per beat
    std::map<int, int> programs;                                 // channel to program
    std::map<std::pair<int, int>, int> heldNotes;                // channel and key to count
    std::uint32_t endTick = 0;
    int division = 0;
    bool wellFormed = false;
};

std::uint32_t bigEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i) {
        value = value << 8 | bytes.at(at + static_cast<std::size_t>(i));
    }
    return value;
}

MidiSummary summarize(const std::vector<std::uint8_t>& bytes) {
    MidiSummary summary;
    if (bytes.size() < 14 || bigEndian(bytes, 0, 4) != 0x4D546864 || bigEndian(bytes, 4, 4) != 6) {
        return summary;
    }
    summary.format = static_cast<int>(bigEndian(bytes, 8, 2));
    const auto declaredTracks = bigEndian(bytes, 10, 2);
    summary.division = static_cast<int>(bigEndian(bytes, 12, 2));
    std::size_t at = 14;
    while (at < bytes.size()) {
        if (at + 8 > bytes.size() || bigEndian(bytes, at, 4) != 0x4D54726B) {
            return summary;
        }
        const std::size_t end = at + 8 + bigEndian(bytes, at + 4, 4);
        if (end > bytes.size()) {
            return summary;
        }
        at += 8;
        std::uint32_t tick = 0;
        bool ended = false;
        while (at < end && !ended) {
            std::uint32_t delta = 0;
            do {
                delta = delta << 7 | (bytes[at] & 0x7F);
            } while (bytes[at++] & 0x80);
            tick += delta;
            const std::uint8_t status = bytes.at(at++);
            if (status == 0xFF) {
                const std::uint8_t type = bytes.at(at++);
                const std::uint8_t length = bytes.at(at++); // our metas are all short
                if (type == 0x51) {
                    summary.tempos.emplace_back(tick, bigEndian(bytes, at, 3));
                }
                ended = type == 0x2F;
                at += length;
            } else {
                const int channel = status & 0x0F;
                const int key = bytes.at(at);
                switch (status & 0xF0) {
                case 0x90:
                    ++summary.heldNotes[{channel, key}];
                    at += 2;
                    break;
                case 0x80:
                    --summary.heldNotes[{channel, key}];
                    at += 2;
                    break;
                case 0xB0:
                    at += 2;
                    break;
                case 0xC0:
                    summary.programs[channel] = key;
                    at += 1;
                    break;
                default:
                    return summary; // nothing else is ever written
                }
            }
        }
        if (!ended || at != end) {
            return summary;
        }
        summary.endTick = std::max(summary.endTick, tick);
        ++summary.tracks;
    }
    summary.wellFormed = summary.tracks == static_cast<int>(declaredTracks);
    return summary;
}

TEST(DepartureMidi, IsAWellFormedTypeOneFileOfAboutEightSeconds) {
    const MidiSummary midi = summarize(composeDepartureMidi());
    ASSERT_TRUE(midi.wellFormed);
    EXPECT_EQ(midi.format, 1);
    EXPECT_GE(midi.tracks, 3);
    for (const auto& [note, held] : midi.heldNotes) {
        EXPECT_EQ(held, 0) << "channel " << note.first << " key " << note.second;
    }

    // Bell-like melody (chromatic percussion), nothing on the drum channel.
    ASSERT_TRUE(midi.programs.contains(0));
    EXPECT_GE(midi.programs.at(0), 8);
    EXPECT_LE(midi.programs.at(0), 15);
    EXPECT_FALSE(midi.programs.contains(9));

    ASSERT_GE(midi.tempos.size(), 2u);
    EXPECT_EQ(midi.tempos.front().first, 0u);
    double seconds = 0.0;
    for (std::size_t i = 0; i < midi.tempos.size(); ++i) {
        const std::uint32_t until =
            i + 1 < midi.tempos.size() ? midi.tempos[i + 1].first : midi.endTick;
        seconds += (until - midi.tempos[i].first) * midi.tempos[i].second / 1e6 / midi.division;
    }
    EXPECT_GT(seconds, 7.0);
    EXPECT_LT(seconds, 9.5);
}

} // namespace
} // namespace tremlo::tools
