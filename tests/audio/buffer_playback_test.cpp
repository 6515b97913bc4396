// WAVE buffers played through the mixer, rendered offline and measured.

#include "test_support.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace tremlo::sound::test {
namespace {

constexpr int kRate = 48000;
constexpr double kAmplitude = 0.5;
const double kSineRms = kAmplitude / std::numbers::sqrt2;

// One second of a 1 kHz tone at the device rate: whole cycles, so it loops cleanly.
std::vector<std::uint8_t> tone() {
    return makeSine(1000.0, kRate, kRate);
}

struct VolumeCase {
    const char* name;
    int volume;
    double expectedDb; // relative to full scale of the tone; NAN for silence
};

class VolumeTest : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(VolumeTest, GainFollowsHundredthsOfADecibel) {
    OfflineLibrary lib;
    SoundHandle h = lib.load(tone());
    lib.library->dsSetVolume(h, GetParam().volume);
    lib.library->dsPlay(h);
    const auto out = lib.render(4800);
    for (int channel = 0; channel < 2; ++channel) {
        const double level = rms(out, channel, 256, 4800);
        if (std::isnan(GetParam().expectedDb))
            EXPECT_EQ(level, 0.0);
        else
            EXPECT_NEAR(decibels(level / kSineRms), GetParam().expectedDb, 0.05);
    }
}

INSTANTIATE_TEST_SUITE_P(Volumes, VolumeTest,
                         ::testing::Values(VolumeCase{"Full", 0, 0.0},
                                           VolumeCase{"TenDecibelsDown", -1000, -10.0},
                                           VolumeCase{"ThirtyDecibelsDown", -3000, -30.0},
                                           VolumeCase{"Silent", -10000, NAN},
                                           VolumeCase{"BelowSilentIsSilent", -20000, NAN}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PanCase {
    const char* name;
    int pan;
    double leftDb, rightDb; // NAN for silence
};

class PanTest : public ::testing::TestWithParam<PanCase> {};

TEST_P(PanTest, PanAttenuatesTheFarSideOnly) {
    OfflineLibrary lib;
    SoundHandle h = lib.load(tone());
    lib.library->dsSetPan(h, GetParam().pan);
    lib.library->dsPlayLooping(h);
    const auto out = lib.render(4800);
    const double expected[2] = {GetParam().leftDb, GetParam().rightDb};
    for (int channel = 0; channel < 2; ++channel) {
        const double level = rms(out, channel, 256, 4800);
        if (std::isnan(expected[channel]))
            EXPECT_EQ(level, 0.0) << "channel " << channel;
        else
            EXPECT_NEAR(decibels(level / kSineRms), expected[channel], 0.05)
                << "channel " << channel;
    }
}

INSTANTIATE_TEST_SUITE_P(Pans, PanTest,
                         ::testing::Values(PanCase{"Centre", 0, 0.0, 0.0},
                                           PanCase{"Left", -10000, 0.0, NAN},
                                           PanCase{"Right", 10000, NAN, 0.0},
                                           PanCase{"SomewhatLeft", -2000, 0.0, -20.0},
                                           PanCase{"SomewhatRight", 600, -6.0, 0.0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BufferPlayback, VolumeAndPanCombineAndLastUntilSetAgain) {
    OfflineLibrary lib;
    SoundHandle h = lib.load(tone());
    lib.library->dsSetVolume(h, -600);
    lib.library->dsSetPan(h, -1000);
    lib.library->dsPlay(h);
    lib.render(2400);
    lib.library->dsPlay(h); // a restart keeps both settings
    const auto out = lib.render(4800);
    EXPECT_NEAR(decibels(rms(out, 0, 256, 4800) / kSineRms), -6.0, 0.05);
    EXPECT_NEAR(decibels(rms(out, 1, 256, 4800) / kSineRms), -16.0, 0.05);
}

TEST(BufferPlayback, AtTheDeviceRateTheOriginalSamplesComeOutExactly) {
    for (int bits : {8, 16, 24, 32}) {
        const auto wave = makeWave(kRate, 2, bits, 2000, [](std::int64_t f, int c) {
            return std::sin(0.01 * static_cast<double>(f) * (c + 1)) * 0.9;
        });
        OfflineLibrary lib;
        SoundHandle h = lib.load(wave);
        ASSERT_NE(h, 0) << bits;
        // Setting the buffer's own rate is the same as never changing it.
        lib.library->dsSetFrequency(h, kRate);
        lib.library->dsPlay(h);
        const auto out = lib.render(2000);
        const double scale = std::ldexp(1.0, bits - 1) - 1;
        for (std::int64_t f = 0; f < 2000; f += 97) {
            for (int c = 0; c < 2; ++c) {
                const double original =
                    std::lround(std::sin(0.01 * double(f) * (c + 1)) * 0.9 * scale) /
                    std::ldexp(1.0, bits - 1);
                EXPECT_NEAR(out[f * 2 + c], original, 1e-6) << bits << " bits, frame " << f;
            }
        }
    }
}

TEST(BufferPlayback, LoopsWithoutAGapOrClick) {
    // 441 frames at 44.1 kHz is ten whole cycles of 1 kHz; the loop point
    // falls every 10 ms. Once at the device's own rate, once resampled.
    for (int rate : {44100, 48000}) {
        const std::int64_t frames = rate / 100;
        OfflineLibrary lib(rate);
        SoundHandle h = lib.load(makeSine(1000.0, frames, rate, 1));
        lib.library->dsPlayLooping(h);
        const auto out = lib.render(20000);
        const double slope = 2 * std::numbers::pi * 1000.0 / rate * kAmplitude;
        EXPECT_LT(largestStep(out, 0, 0, 20000), slope * 1.01) << rate;
        EXPECT_NEAR(rms(out, 0, 0, 20000), kSineRms, 0.002) << rate;
        EXPECT_TRUE(lib.library->dsIsPlaying(h));
    }
}

TEST(BufferPlayback, ResampledLoopHasNoGapOrClickEither) {
    OfflineLibrary lib(48000);
    SoundHandle h = lib.load(makeSine(1000.0, 441, 44100, 1));
    lib.library->dsPlayLooping(h);
    lib.render(1000); // past the resampler's start
    const auto out = lib.render(20000);
    const double slope = 2 * std::numbers::pi * 1000.0 / 48000 * kAmplitude;
    EXPECT_LT(largestStep(out, 0, 0, 20000), slope * 1.05);
    EXPECT_NEAR(frequency(out, 0, 0, 20000, 48000), 1000.0, 0.5);
}

TEST(BufferPlayback, FrequencyChangesThePitchWhilePlayingWithoutAClick) {
    OfflineLibrary lib;
    SoundHandle h = lib.load(tone());
    lib.library->dsPlayLooping(h);
    auto before = lib.render(4800);
    EXPECT_NEAR(frequency(before, 0, 0, 4800, kRate), 1000.0, 0.1);

    lib.library->dsSetFrequency(h, 2 * kRate);
    auto faster = lib.render(9600);
    EXPECT_NEAR(frequency(faster, 0, 2400, 9600, kRate), 2000.0, 1.0);
    // At double speed the steepest honest step is twice the original one.
    const double slope = 2 * std::numbers::pi * 2000.0 / kRate * kAmplitude;
    EXPECT_LT(largestStep(faster, 0, 0, 9600), slope * 1.1);

    lib.library->dsSetFrequency(h, 36000);
    auto slower = lib.render(9600);
    EXPECT_NEAR(frequency(slower, 0, 2400, 9600, kRate), 750.0, 1.0);
    EXPECT_LT(largestStep(slower, 0, 0, 9600), slope * 1.1);

    lib.library->dsSetFrequency(h, 0); // back to the buffer's own rate
    auto back = lib.render(9600);
    EXPECT_NEAR(frequency(back, 0, 2400, 9600, kRate), 1000.0, 1.0);
}

TEST(BufferPlayback, PlayRestartsFromTheStartAlsoWhilePlaying) {
    OfflineLibrary lib;
    // A ramp makes every position recognisable.
    const auto wave =
        makeWave(kRate, 1, 16, kRate, [](std::int64_t f, int) { return f / double(kRate); });
    SoundHandle h = lib.load(wave);
    lib.library->dsPlay(h);
    lib.render(12000);
    EXPECT_EQ(lib.library->dsGetPositionMSec(h), 250);
    lib.library->dsPlay(h);
    EXPECT_EQ(lib.library->dsGetPositionMSec(h), 0);
    EXPECT_TRUE(lib.library->dsIsPlaying(h));
    const auto out = lib.render(256);
    EXPECT_NEAR(out[0], 0.0, 1e-4);
    EXPECT_NEAR(out[200 * 2], 200.0 / kRate, 1e-4);
}

// A device that writes a start at once (the server's stream, from quiet)
// writes a held start only at the release, from where the operation's later
// steps put it; a running device's period meanwhile does not play it.
TEST(BufferPlayback, StartsHeldTogetherSoundOnlyFromTheReleaseAndFromWhereTheyWereLeft) {
    OfflineLibrary lib;
    const auto wave =
        makeWave(kRate, 1, 16, kRate, [](std::int64_t f, int) { return f / double(kRate); });
    SoundHandle h = lib.load(wave);
    std::vector<float> written;
    int wakes = 0;
    lib.device->setOnWake([&] {
        ++wakes;
        written = lib.render(256);
    });
    {
        const StartsTogether together(*lib.library);
        EXPECT_FALSE(lib.library->holdStarts()) << "the outer hold is left to its maker";
        lib.library->dsPlayLooping(h);
        EXPECT_EQ(lib.library->dsIsPlaying(h), 1);
        const auto meanwhile = lib.render(256);
        EXPECT_EQ(peak(meanwhile, 0, 0, 256), 0.0);
        lib.library->dsSetPositionMSec(h, 170);
        EXPECT_EQ(wakes, 0);
    }
    ASSERT_EQ(wakes, 1);
    EXPECT_NEAR(written[0], 0.170, 1e-4);
    // Without a hold a start is written as it comes.
    lib.library->dsPlay(h);
    ASSERT_EQ(wakes, 2);
    EXPECT_NEAR(written[0], 0.0, 1e-4);
}

TEST(BufferPlayback, StopIsSilentFromTheNextPeriodAndAnsweredAtOnce) {
    OfflineLibrary lib;
    SoundHandle h = lib.load(tone());
    lib.library->dsPlayLooping(h);
    lib.render(1000);
    lib.library->dsStop(h);
    EXPECT_FALSE(lib.library->dsIsPlaying(h));
    const auto out = lib.render(lib.library->periodFrames());
    EXPECT_EQ(peak(out, 0, 0, out.size() / 2), 0.0);
    EXPECT_EQ(peak(out, 1, 0, out.size() / 2), 0.0);
}

TEST(BufferPlayback, PositionsAndLengthsAreInTheBuffersOwnMilliseconds) {
    OfflineLibrary lib(48000);
    SoundHandle h = lib.load(makeSine(1000.0, 44100 * 2, 44100)); // 2 s at 44.1 kHz
    EXPECT_EQ(lib.library->dsGetBufferMSec(h), 2000);
    lib.library->dsPlay(h);
    lib.library->dsSetPositionMSec(h, 170);
    EXPECT_EQ(lib.library->dsGetPositionMSec(h), 170);
    lib.render(4800); // 100 ms of output
    EXPECT_NEAR(lib.library->dsGetPositionMSec(h), 270, 2);
    lib.library->dsSetPositionMSec(h, 1950);
    lib.render(4800);
    EXPECT_FALSE(lib.library->dsIsPlaying(h)) << "a single play ends at the end of the buffer";
}

TEST(BufferPlayback, ASinglePlayEndsAndAQueryAgreesWithTheLastRequest) {
    OfflineLibrary lib;
    SoundHandle h = lib.load(makeSine(1000.0, 1000, kRate));
    lib.library->dsPlay(h);
    EXPECT_TRUE(lib.library->dsIsPlaying(h));
    lib.render(1256);
    EXPECT_FALSE(lib.library->dsIsPlaying(h));
    lib.library->dsPlayEx(h, -1000, 0, 0);
    EXPECT_TRUE(lib.library->dsIsPlaying(h));
    const auto out = lib.render(800);
    EXPECT_NEAR(decibels(rms(out, 0, 0, 800) / kSineRms), -10.0, 0.1);
}

TEST(BufferHandles, ZeroUnknownAndStaleHandlesDoNothing) {
    OfflineLibrary lib;
    auto& l = *lib.library;
    for (SoundHandle h : {0, 1, -5, 0x7fffffff, 12345}) {
        l.dsPlay(h);
        l.dsPlayEx(h, 0, 0, 0);
        l.dsPlayLooping(h);
        l.dsSetVolume(h, -100);
        l.dsSetPan(h, 100);
        l.dsSetFrequency(h, 22050);
        l.dsSetPositionMSec(h, 10);
        l.dsStop(h);
        EXPECT_EQ(l.dsIsPlaying(h), 0);
        EXPECT_EQ(l.dsGetPositionMSec(h), 0);
        EXPECT_EQ(l.dsGetBufferMSec(h), 0);
        WaveFormat format;
        l.dsGetFormat(h, format);
        EXPECT_EQ(format.samplesPerSecond, 0);
        SoundHandle copy = h;
        l.dsFree(copy);
        EXPECT_EQ(copy, 0);
    }
    SoundHandle first = lib.load(tone());
    const SoundHandle stale = first;
    l.dsFree(first);
    EXPECT_EQ(first, 0);
    SoundHandle second = lib.load(tone()); // takes the same slot
    EXPECT_NE(second, stale);
    l.dsPlay(stale);
    EXPECT_EQ(l.dsIsPlaying(second), 0);
    EXPECT_EQ(l.dsGetBufferMSec(stale), 0);
    SoundHandle staleCopy = stale;
    l.dsFree(staleCopy);
    EXPECT_EQ(l.dsGetBufferMSec(second), 1000)
        << "freeing a stale handle left the new buffer alone";
}

TEST(BufferHandles, FreeWhilePlayingSilencesAndForgets) {
    OfflineLibrary lib;
    SoundHandle h = lib.load(tone());
    const SoundHandle kept = h;
    lib.library->dsPlayLooping(h);
    lib.render(500);
    lib.library->dsFree(h);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(lib.library->dsIsPlaying(kept), 0);
    const auto out = lib.render(1000);
    EXPECT_EQ(peak(out, 0, 0, 1000), 0.0);
}

TEST(BufferPlayback, ManyBuffersSoundAtOnceAndAddUp) {
    OfflineLibrary lib;
    std::vector<SoundHandle> handles;
    const auto quiet = makeSine(1000.0, kRate, kRate, 1, 0.01);
    for (int i = 0; i < 64; ++i) {
        handles.push_back(lib.load(quiet));
        ASSERT_NE(handles.back(), 0);
        lib.library->dsPlayLooping(handles.back());
    }
    const auto out = lib.render(4800);
    EXPECT_NEAR(peak(out, 0, 0, 4800), 0.64, 0.01);
    for (auto& h : handles)
        lib.library->dsFree(h);
}

TEST(BufferPlayback, SoundsAboveFullScaleTogetherAreClippedAtFullScale) {
    OfflineLibrary lib;
    const auto loud = makeSine(1000.0, kRate, kRate, 2, 1.0);
    for (int i = 0; i < 2; ++i)
        lib.library->dsPlay(lib.load(loud));
    const auto out = lib.render(4800);
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_LE(peak(out, channel, 0, 4800), 1.0) << "never beyond full scale";
        EXPECT_GT(peak(out, channel, 0, 4800), 0.99) << "clipped, not made quieter";
    }
}

TEST(BufferPlayback, LongDevicePeriodsGiveTheSamplesOfShortOnes) {
    // The device picks its period when it opens, and under load it may be
    // several times the mixer's own block of 1024 frames.
    const auto melody = MidiWriter()
                            .event(0, {0xC0, 19})
                            .event(0, {0x90, 60, 100})
                            .event(240, {0x90, 67, 100})
                            .event(480, {0x80, 60, 0})
                            .end(0)
                            .save();
    auto renderInPeriodsOf = [&](int periodFrames) {
        SoundLibraryOptions options;
        options.loadSoundFontNow = true;
        OfflineLibrary lib(kRate, options, periodFrames);
        const SoundHandle direct = lib.load(makeSine(440.0, kRate / 2, kRate, 2, 0.3));
        const SoundHandle resampled = lib.load(makeSine(1000.0, 22050 / 5, 22050, 1, 0.3));
        lib.library->dsSetFrequency(resampled, 30000);
        lib.library->dsPlay(direct);
        lib.library->dsPlayLooping(resampled);
        EXPECT_NE(lib.library->dsInitMusic(), 0);
        const SoundHandle music = lib.library->dsLoadMusicSegment(melody, 32);
        lib.library->dsPlayMusicSegment(music, 1000);
        return lib.render(kRate);
    };
    const auto expected = renderInPeriodsOf(256);
    for (int periodFrames : {1025, 4096}) {
        const auto out = renderInPeriodsOf(periodFrames);
        ASSERT_EQ(out.size(), expected.size());
        std::size_t differing = 0;
        for (std::size_t i = 0; i < out.size(); ++i)
            differing += std::abs(out[i] - expected[i]) > 1e-6f ? 1 : 0;
        EXPECT_EQ(differing, 0u) << "periods of " << periodFrames << " frames";
    }
}

TEST(BufferPlayback, NothingSoundsBeforeTheDeviceIsOpenedOrWhenItCannotBe) {
    SoundLibrary refused(std::make_unique<OfflineDevice>(48000, 256, false));
    EXPECT_EQ(refused.dsInit2(0, 2), 0);
    EXPECT_EQ(refused.outputRate(), 0);

    OfflineLibrary lib;
    SoundHandle h = lib.load(tone());
    lib.library->dsPlayLooping(h);
    lib.library->dsQuit();
    EXPECT_EQ(lib.library->dsIsPlaying(h), 0) << "closing frees every buffer";
    EXPECT_EQ(lib.library->dsInit2(0, 2), 1) << "the library opens again";
}

// What the server's stream writes again over the frames it holds after a
// change must be what rendering with the change that many frames earlier
// gives, and a tap must hear that, not what was first handed out.
struct RewriteCase {
    const char* name;
    // The sounds before the change: a looping tone, a looping ramp, a sound
    // at another rate, and a short one that ends inside the held frames;
    // then the change.
    void (*before)(SoundLibrary&, const SoundHandle* sounds);
    void (*change)(SoundLibrary&, const SoundHandle* sounds);
    std::size_t rewritten;
};

class Rewrite : public ::testing::TestWithParam<RewriteCase> {};

struct CollectingTap : OutputTap {
    std::vector<float> heard;
    void deliver(const float* stereo, std::size_t frames) noexcept override {
        heard.insert(heard.end(), stereo, stereo + frames * 2);
    }
};

TEST_P(Rewrite, WritesTheHeldFramesAgainAsIfTheChangeHadComeThatMuchEarlier) {
    // More than one mixing block held, so that each block's frames of a
    // change land where they belong.
    constexpr std::size_t kBefore = 6144;
    constexpr std::size_t kHeld = 4096;
    constexpr std::size_t kAfter = 2048;
    const RewriteCase& c = GetParam();
    const auto sounds = [](OfflineLibrary& lib) {
        return std::array<SoundHandle, 4>{
            lib.load(tone()),
            lib.load(makeWave(kRate, 1, 16, kRate,
                              [](std::int64_t f, int) { return (f % 4800) / 9600.0; })),
            lib.load(makeSine(700.0, 44100, 44100)), lib.load(makeSine(600.0, 3000, kRate))};
    };
    // The reference: the change comes kHeld frames earlier.
    OfflineLibrary early;
    const auto earlySounds = sounds(early);
    c.before(*early.library, earlySounds.data());
    auto expected = early.render(kBefore - kHeld);
    c.change(*early.library, earlySounds.data());
    const auto rest = early.render(kHeld + kAfter);
    expected.insert(expected.end(), rest.begin(), rest.end());

    OfflineLibrary lib;
    const auto handles = sounds(lib);
    CollectingTap tap;
    lib.library->setOutputTap(&tap);
    c.before(*lib.library, handles.data());
    auto timeline = lib.render(kBefore);
    c.change(*lib.library, handles.data());
    const auto again = lib.device->rewrite(kHeld);
    ASSERT_EQ(again.size(), c.rewritten * 2);
    std::copy(again.begin(), again.end(),
              timeline.end() - static_cast<std::ptrdiff_t>(again.size()));
    const auto after = lib.render(kAfter);
    timeline.insert(timeline.end(), after.begin(), after.end());
    lib.library->setOutputTap(nullptr);

    if (c.rewritten > 0) {
        ASSERT_EQ(timeline.size(), expected.size());
        for (std::size_t i = 0; i < timeline.size(); ++i)
            ASSERT_NEAR(timeline[i], expected[i], 1e-5) << "frame " << i / 2;
    }
    ASSERT_EQ(tap.heard.size(), timeline.size());
    EXPECT_TRUE(std::equal(timeline.begin(), timeline.end(), tap.heard.begin()));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Rewrite,
    ::testing::Values(
        RewriteCase{"AStartOverALoop",
                    [](SoundLibrary& l, const SoundHandle* s) { l.dsPlayLooping(s[0]); },
                    [](SoundLibrary& l, const SoundHandle* s) { l.dsPlay(s[1]); }, 4096},
        RewriteCase{"AStartAtAnotherRate",
                    [](SoundLibrary& l, const SoundHandle* s) { l.dsPlayLooping(s[0]); },
                    [](SoundLibrary& l, const SoundHandle* s) { l.dsPlay(s[2]); }, 4096},
        RewriteCase{"AStop",
                    [](SoundLibrary& l, const SoundHandle* s) {
                        l.dsPlayLooping(s[0]);
                        l.dsPlayLooping(s[1]);
                    },
                    [](SoundLibrary& l, const SoundHandle* s) { l.dsStop(s[1]); }, 4096},
        RewriteCase{"AVolumeAndPan",
                    [](SoundLibrary& l, const SoundHandle* s) {
                        l.dsPlayLooping(s[0]);
                        l.dsPlayLooping(s[1]);
                    },
                    [](SoundLibrary& l, const SoundHandle* s) {
                        l.dsSetVolume(s[1], -1200);
                        l.dsSetPan(s[1], 600);
                    },
                    4096},
        RewriteCase{"ARestartWhilePlaying",
                    [](SoundLibrary& l, const SoundHandle* s) { l.dsPlayLooping(s[1]); },
                    [](SoundLibrary& l, const SoundHandle* s) { l.dsPlay(s[1]); }, 4096},
        RewriteCase{"HeldStartsFromWhereTheOperationLeftThem",
                    [](SoundLibrary& l, const SoundHandle* s) { l.dsPlayLooping(s[0]); },
                    [](SoundLibrary& l, const SoundHandle* s) {
                        const StartsTogether together(l);
                        l.dsStop(s[0]);
                        l.dsPlayLooping(s[1]);
                        l.dsSetPositionMSec(s[1], 30);
                    },
                    4096},
        RewriteCase{"ARestartOfAShortSoundWhoseTailIsHeld",
                    [](SoundLibrary& l, const SoundHandle* s) { l.dsPlay(s[3]); },
                    [](SoundLibrary& l, const SoundHandle* s) { l.dsPlay(s[3]); }, 4096},
        RewriteCase{"NothingChanged",
                    [](SoundLibrary& l, const SoundHandle* s) { l.dsPlayLooping(s[0]); },
                    [](SoundLibrary& l, const SoundHandle* s) { l.dsSetVolume(s[2], -600); }, 0}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tremlo::sound::test
