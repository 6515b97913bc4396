// Segments through the library's music operations, rendered offline: they
// sound like the MIDI files they were made from, and pass, length, position
// and refusal behave as for MIDI melodies.

#include "looped_segment.h"
#include "segment_maker.h"
#include "test_support.h"

#include <cmath>
#include <gtest/gtest.h>

namespace tremlo::sound::test {
namespace {

namespace seg = tools::segment;
constexpr int kRate = 48000;

TempFile saveSegment(const seg::Bytes& bytes) {
    return TempFile::holding(bytes, ".sgt");
}

TempFile segmentFrom(const std::string& midiPath, const seg::Options& options = {}) {
    std::string error;
    const auto bytes = seg::fromMidi(readFile(midiPath), options, error);
    EXPECT_TRUE(bytes) << error;
    return saveSegment(bytes.value_or(seg::Bytes{}));
}

// The amplitude of one frequency in the left channel over frames [from, to).
double toneLevel(const std::vector<float>& stereo, std::size_t from, std::size_t to, double hz) {
    double re = 0.0, im = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        const double phase = 2.0 * M_PI * hz * static_cast<double>(i) / kRate;
        re += stereo[i * 2] * std::cos(phase);
        im += stereo[i * 2] * std::sin(phase);
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(to - from);
}

SoundLibraryOptions loadNow() {
    SoundLibraryOptions options;
    options.loadSoundFontNow = true;
    return options;
}

std::vector<float> renderMelody(const std::string& path, std::size_t frames) {
    OfflineLibrary lib(kRate, loadNow());
    EXPECT_NE(lib.library->dsInitMusic(), 0) << "a General MIDI SoundFont must be installed";
    const SoundHandle h = lib.library->dsLoadMusicSegment(path, 32);
    EXPECT_NE(h, 0) << path;
    lib.library->dsPlayMusicSegment(h, 1000);
    return lib.render(frames);
}

class SoundsLikeItsMidiFile
    : public ::testing::TestWithParam<std::tuple<const char*, std::uint32_t>> {};

TEST_P(SoundsLikeItsMidiFile, WindowByWindow) {
    const auto& [name, channelOffset] = GetParam();
    const std::string midi = std::string(TREMLO_TESTDATA_DIR) + "/mid/jazz-soft/" + name;
    seg::Options options;
    options.channelOffset = channelOffset;
    const std::size_t frames = std::size_t{kRate} * 3;
    const auto expected = renderMelody(midi, frames);
    const auto actual = renderMelody(segmentFrom(midi, options), frames);
    // 10 ms windows: a wrong note, instrument, drum kit or a shifted onset
    // shows at once; the microsecond of timing the two readers may differ by
    // does not.
    const std::size_t window = kRate / 100;
    double loudest = 0.0;
    for (std::size_t from = 0; from + window <= frames; from += window)
        loudest = std::max(loudest, rms(expected, 0, from, from + window));
    ASSERT_GT(loudest, 0.01);
    for (std::size_t from = 0; from + window <= frames; from += window) {
        for (int channel = 0; channel < 2; ++channel)
            EXPECT_NEAR(rms(actual, channel, from, from + window),
                        rms(expected, channel, from, from + window), loudest * 0.02)
                << "channel " << channel << " at frame " << from;
    }
}

INSTANTIATE_TEST_SUITE_P(
    JazzSoft, SoundsLikeItsMidiFile,
    ::testing::Combine(::testing::Values("test-c-major-scale.mid", "test-multichannel-chords-3.mid",
                                         "test-all-gm-percussion.mid"),
                       ::testing::Values(0u, 32u)),
    [](const auto& info) {
        std::string name = std::get<0>(info.param);
        name = name.substr(5, name.size() - 9);
        std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
        return name + (std::get<1>(info.param) ? "_AboveChannel15" : "");
    });

TEST(SegmentPlayback, LengthPositionAndPassesAcrossATempoChange) {
    // An organ note held through one beat at 120 BPM and one at 240: 750 ms.
    const auto segment = segmentFrom(MidiWriter()
                                         .event(0, {0xC0, 19})
                                         .event(0, {0x90, 60, 100})
                                         .tempo(480, 250000)
                                         .event(480, {0x80, 60, 0})
                                         .end(0)
                                         .save());
    OfflineLibrary lib(kRate, loadNow());
    ASSERT_NE(lib.library->dsInitMusic(), 0);
    const SoundHandle h = lib.library->dsLoadMusicSegment(segment, 32);
    ASSERT_NE(h, 0);
    EXPECT_EQ(lib.library->dsGetLengthMSec(h), 750);
    lib.library->dsPlayMusicSegment(h, 1000);
    const auto out = lib.render(kRate * 9 / 10);
    EXPECT_EQ(lib.library->dsGetSeekMSec(h), 150) << "the second pass has begun";
    EXPECT_NE(lib.library->dsIsPlayingMusicSegment(h), 0);
    const double steady = rms(out, 0, kRate / 10, kRate * 7 / 10);
    EXPECT_GT(steady, 0.01);
    EXPECT_GT(rms(out, 0, kRate * 3 / 4, kRate * 3 / 4 + kRate / 50), steady * 0.2)
        << "no gap between passes";

    lib.library->dsStopMusicSegment(h);
    EXPECT_EQ(lib.library->dsIsPlayingMusicSegment(h), 0);
    const auto after = lib.render(lib.library->periodFrames());
    EXPECT_EQ(peak(after, 0, 0, after.size() / 2), 0.0);
}

TEST(SegmentPlayback, LaterPassesRepeatTheLoopedPart) {
    const auto segment = saveSegment(tremlo::test::loopedFluteSegment());
    OfflineLibrary lib(kRate, loadNow());
    ASSERT_NE(lib.library->dsInitMusic(), 0);
    const SoundHandle h = lib.library->dsLoadMusicSegment(segment, 32);
    ASSERT_NE(h, 0);
    EXPECT_EQ(lib.library->dsGetLengthMSec(h), 1500);
    lib.library->dsPlayMusicSegment(h, 1000);
    const auto out = lib.render(kRate * 7 / 4);
    EXPECT_EQ(lib.library->dsGetSeekMSec(h), 750)
        << "1 s to the loop's end, then 250 ms into the loop again";
    // Which of the three notes is loudest over 300 ms from a given time.
    auto noteAt = [&](double fromSeconds) {
        const auto from = static_cast<std::size_t>(fromSeconds * kRate);
        int loudest = 0;
        double best = 0.0;
        for (int key : {60, 67, 72}) {
            const double level = toneLevel(out, from, from + kRate * 3 / 10,
                                           440.0 * std::pow(2.0, (key - 69) / 12.0));
            if (level > best) {
                best = level;
                loudest = key;
            }
        }
        return loudest;
    };
    EXPECT_EQ(noteAt(0.1), 60);
    EXPECT_EQ(noteAt(0.6), 67);
    EXPECT_EQ(noteAt(1.1), 67) << "the loop again, not the last beat";
    EXPECT_EQ(noteAt(1.4), 67);
}

TEST(SegmentPlayback, SegmentsThatCannotPlayGiveNoHandle) {
    OfflineLibrary lib(kRate, loadNow());
    ASSERT_NE(lib.library->dsInitMusic(), 0);
    const auto header = seg::segmentHeader({}, 64);
    const auto styleOnly = saveSegment(seg::segmentForm(
        header, {seg::trackForm(seg::Track::Style, seg::form("LIST", "sttr", {})),
                 seg::trackForm(seg::Track::Chord, seg::form("LIST", "cord", {}))}));
    EXPECT_EQ(lib.library->dsLoadMusicSegment(styleOnly, 32), 0);

    auto bytes = readFile(
        segmentFrom(std::string(TREMLO_TESTDATA_DIR) + "/mid/jazz-soft/test-c-major-scale.mid"));
    bytes.resize(bytes.size() / 2);
    EXPECT_EQ(lib.library->dsLoadMusicSegment(saveSegment(bytes), 32), 0);
}

} // namespace
} // namespace tremlo::sound::test
