// The station effects and the run-out wait, including the orders of events
// that happen while a melody runs out.

#include "commands.h"
#include "engine_rig.h"
#include "looped_segment.h"

#include <gtest/gtest.h>

namespace tremlo::test {
namespace {

using Op = void (MelodyEngine::*)();

class EffectsTest : public ::testing::Test {
protected:
    void at(std::int64_t ms, Op op) {
        rig.time.at(ms, [this, op] { (rig.engine().*op)(); });
    }
    // Lock mode: ON clicked at 0, OFF clicked at `offMs`.
    void clickOnThenOff(std::int64_t offMs) {
        at(0, &MelodyEngine::PressOnButton);
        at(50, &MelodyEngine::ReleaseOnButton);
        at(offMs, &MelodyEngine::PressOffButton);
        at(offMs + 50, &MelodyEngine::ReleaseOffButton);
    }
    bool melodyPlaying() { return rig.library().dsIsPlaying(rig.state.MelodyBuffer) != 0; }

    EngineRig rig;
};

TEST_F(EffectsTest, TachikawaRunsAWaveMelodyOutTenDecibelsDownThenRestoresItsVolume) {
    rig.settings.EffectTachikawa = true;
    rig.loadWaveMelody(2000);
    clickOnThenOff(1000);
    // The pass has 1000 ms left; the wait ends 100 ms before its end. The
    // wait runs inside OFF, so what it shows is probed from within.
    bool playingDuringRunOut = false, lampDuringRunOut = false;
    rig.time.at(1890, [&] {
        playingDuringRunOut = melodyPlaying();
        lampDuringRunOut = rig.view.lamps[0];
    });
    rig.time.runUntil(1900);
    EXPECT_TRUE(playingDuringRunOut);
    EXPECT_TRUE(lampDuringRunOut) << "the lamp stays lit while the melody runs out";
    EXPECT_EQ(rig.time.nowMs(), 1900);
    EXPECT_FALSE(melodyPlaying());
    EXPECT_FALSE(rig.view.lamps[0]);
    EXPECT_EQ(rig.state.RunOutActive, false);
    EXPECT_NEAR(rig.toneDb(kMelodyHz, 1010, 1880), -10.0, 0.5);
    EXPECT_FALSE(rig.sounds(kMelodyHz, 1910, 2200));

    at(5000, &MelodyEngine::PressOnButton); // the next start is at full volume
    rig.time.runUntil(5500);
    EXPECT_NEAR(rig.toneDb(kMelodyHz, 5010, 5490), 0.0, 0.5);
}

TEST_F(EffectsTest, AfterAShortPressTheRunOutKeepsFullVolumeAndNoDoorFollows) {
    rig.settings.EffectTachikawa = true;
    rig.loadWaveMelody(2000);
    clickOnThenOff(300);
    rig.time.runUntil(4000);
    EXPECT_NEAR(rig.toneDb(kMelodyHz, 310, 1890), 0.0, 0.5);
    EXPECT_FALSE(rig.sounds(kMelodyHz, 1910, 2500));
    EXPECT_FALSE(rig.sounds(kDoorHz, 0, 4000));
}

TEST_F(EffectsTest, OnAgainDuringTheRunOutStartsAnewAndTheOldWaitStopsNothing) {
    rig.settings.EffectTachikawa = true;
    rig.loadWaveMelody(2000);
    clickOnThenOff(1000);
    int depthDuringOn = -1;
    rig.time.at(1500, [&] {
        depthDuringOn = rig.time.waitDepth();
        rig.engine().PressOnButton();
    });
    at(1550, &MelodyEngine::ReleaseOnButton);
    rig.time.runUntil(3000);
    EXPECT_EQ(depthDuringOn, 1) << "ON came while the run-out waited";
    EXPECT_TRUE(melodyPlaying());
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked);
    EXPECT_TRUE(rig.view.lamps[0]);
    EXPECT_NEAR(rig.toneDb(kMelodyHz, 1510, 3000), 0.0, 0.5) << "restarted at full volume";
    EXPECT_NEAR(rig.library().dsGetPositionMSec(rig.state.MelodyBuffer), 1500, 40);
}

TEST(EffectsRunOut, DoorCutWithTachikawaMakesTheAnnouncementHeardRightAfterTheMelodyStops) {
    EngineRig rig({.doorMs = 3000});
    rig.settings.EffectTachikawa = true;
    rig.settings.DoorCut = true;
    rig.loadWaveMelody(4000);
    auto& engine = rig.engine();
    rig.time.at(0, [&] { engine.PressOnButton(); });
    rig.time.at(50, [&] { engine.ReleaseOnButton(); });
    rig.time.at(1000, [&] { engine.PressOffButton(); });
    // The run-out lasts until 3900; the door timer fires at 2301 inside it.
    rig.time.runUntil(5000);
    EXPECT_TRUE(rig.view.lamps[1]);
    EXPECT_FALSE(rig.sounds(kDoorHz, 2310, 3890)) << "silent while the melody runs out";
    EXPECT_NEAR(rig.toneDb(kDoorHz, 3910, 4900), 0.0, 0.5) << "heard once the melody stopped";
    EXPECT_FALSE(rig.sounds(kMelodyHz, 3910, 4900));
}

TEST(EffectsRunOut, UrawaSilencesTheRunOutUntilTheDoorTimerRestoresIt) {
    EngineRig rig;
    rig.settings.EffectUrawa = true;
    rig.loadWaveMelody(4000);
    auto& engine = rig.engine();
    rig.time.at(0, [&] { engine.PressOnButton(); });
    rig.time.at(50, [&] { engine.ReleaseOnButton(); });
    rig.time.at(1000, [&] { engine.PressOffButton(); });
    rig.time.runUntil(4500);
    EXPECT_FALSE(rig.sounds(kMelodyHz, 1010, 2290));
    EXPECT_NEAR(rig.toneDb(kMelodyHz, 2310, 3890), 0.0, 0.5);
    EXPECT_FALSE(rig.sounds(kMelodyHz, 3910, 4500));
    EXPECT_FALSE(rig.view.lamps[0]);
}

TEST(EffectsRunOut, UrawaRunsAMidiMelodyOutSilently) {
    EngineRig rig;
    rig.settings.EffectUrawa = true;
    rig.loadMidiMelody(3000);
    auto& engine = rig.engine();
    rig.time.at(0, [&] { engine.PressOnButton(); });
    rig.time.at(50, [&] { engine.ReleaseOnButton(); });
    rig.time.at(1000, [&] { engine.PressOffButton(); });
    bool playingDuringRunOut = false;
    rig.time.at(2200, [&] {
        playingDuringRunOut = rig.library().dsIsPlayingMusicSegment(rig.state.MelodySegment);
    });
    rig.time.runUntil(2200);
    EXPECT_TRUE(playingDuringRunOut);
    EXPECT_GT(rig.rmsAt(500, 990), 0.01);
    EXPECT_LT(rig.rmsAt(1100, 2200), 0.001) << "master volume -10000 while it runs out";
    rig.time.runUntil(3000);
    EXPECT_GT(rig.rmsAt(2400, 2850), 0.01) << "the door timer at 2301 made it heard";
    EXPECT_EQ(rig.library().dsIsPlayingMusicSegment(rig.state.MelodySegment), 0);
}

// Three flute beats of 500 ms whose later passes repeat only the middle one.
sound::test::TempFile loopedSegment() {
    return sound::test::TempFile::holding(loopedFluteSegment(), ".sgt");
}

TEST(EffectsRunOut, TheRunOutEndsWithTheCurrentPassInRealTime) {
    const auto segment = loopedSegment();
    struct Case {
        const char* name;
        std::function<void(EngineRig&)> load;
        std::int64_t offMs, stopMs;
    };
    const Case cases[] = {
        // 2000 ms of an 8 kHz file. Twice as fast, OFF at 500 finds 1000 ms
        // of the file left: 500 ms, and the start would replay at 1000.
        {"TwiceAsFast",
         [](EngineRig& rig) {
             rig.loadWaveMelody(2000);
             rig.library().dsSetFrequency(rig.state.MelodyBuffer, 16000);
         },
         500, 900},
        // Half as fast, OFF at 1000 finds 1500 ms of the file left: 3000 ms.
        {"HalfAsFast",
         [](EngineRig& rig) {
             rig.loadWaveMelody(2000);
             rig.library().dsSetFrequency(rig.state.MelodyBuffer, 4000);
         },
         1000, 3900},
        // The first pass ends with the loop at 1000; OFF at 1200 is 200 ms
        // into the loop again, 300 ms before its end, 800 before the piece's.
        {"SegmentWithALoop",
         [&](EngineRig& rig) {
             rig.unloadMelody();
             rig.state.MelodySegment = rig.library().dsLoadMusicSegment(segment, 32);
         },
         1200, 1400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig({.capture = false});
        rig.settings.EffectTachikawa = true;
        c.load(rig);
        auto& engine = rig.engine();
        auto playing = [&] {
            return rig.library().dsIsPlaying(rig.state.MelodyBuffer) != 0 ||
                   rig.library().dsIsPlayingMusicSegment(rig.state.MelodySegment) != 0;
        };
        bool playingBefore = false, playingAfter = true;
        rig.time.at(0, [&] { engine.PressOnButton(); });
        rig.time.at(50, [&] { engine.ReleaseOnButton(); });
        rig.time.at(c.offMs, [&] { engine.PressOffButton(); });
        rig.time.at(c.stopMs - 50, [&] { playingBefore = playing(); });
        rig.time.at(c.stopMs + 50, [&] { playingAfter = playing(); });
        rig.time.runUntil(c.stopMs + 100);
        EXPECT_TRUE(playingBefore) << "still running out";
        EXPECT_FALSE(playingAfter) << "stopped at the end of the pass";
        EXPECT_FALSE(rig.view.lamps[0]);
    }
}

TEST(EffectsTokyo, TokyoSkipsTheFirst170MsOfAWaveMelodyOnly) {
    EngineRig rig;
    rig.settings.EffectTokyo = true;
    rig.settings.Noise = true;
    rig.loadWaveMelody(2000);
    // Where the melody stands when a device that writes a start at once
    // (the server's stream, from quiet) is woken to write it.
    std::vector<std::int32_t> atWakes;
    rig.device->setOnWake(
        [&] { atWakes.push_back(rig.library().dsGetPositionMSec(rig.state.MelodyBuffer)); });
    rig.time.at(0, [&] { rig.engine().PressOnButton(); });
    rig.time.runUntil(0);
    EXPECT_EQ(atWakes, std::vector<std::int32_t>{170});
    rig.device->setOnWake({});
    EXPECT_EQ(rig.library().dsGetPositionMSec(rig.state.MelodyBuffer), 170);
    rig.time.runUntil(100);
    EXPECT_NEAR(rig.library().dsGetPositionMSec(rig.state.MelodyBuffer), 270, 35);

    rig.loadMidiMelody(2000);
    rig.time.at(200, [&] { rig.engine().PressOnButton(); });
    rig.time.runUntil(200);
    EXPECT_EQ(rig.library().dsGetSeekMSec(rig.state.MelodySegment), 0);
    rig.time.runUntil(300);
    EXPECT_NEAR(rig.library().dsGetSeekMSec(rig.state.MelodySegment), 100, 35);
}

TEST(EffectsRunOut, ALoadDuringTheRunOutCancelsTheWaitAndTheNewMelodyIsLeftAlone) {
    EngineRig rig;
    rig.settings.EffectTachikawa = true;
    rig.loadWaveMelody(3000);
    auto& engine = rig.engine();
    rig.time.at(0, [&] { engine.PressOnButton(); });
    rig.time.at(50, [&] { engine.ReleaseOnButton(); });
    rig.time.at(1000, [&] { engine.PressOffButton(); });
    // A new melody loaded mid run-out: the load clears RunOutActive.
    rig.time.at(1500, [&] {
        rig.loadWaveMelody(2000);
        rig.library().dsPlayLooping(rig.state.MelodyBuffer);
    });
    rig.time.runUntil(4000);
    EXPECT_EQ(rig.time.waitDepth(), 0);
    EXPECT_TRUE(rig.library().dsIsPlaying(rig.state.MelodyBuffer))
        << "the old wait returned without touching the new melody";
}

// Each sound plays at its own volume, and the effects attenuate from there:
// ON clicked at 0, OFF clicked at 1000 (a long press), the door at 2301.
TEST(EffectsVolume, EachSoundPlaysAtItsVolumeAndTheEffectsKeepTheirDistanceBelowIt) {
    struct Case {
        const char* name;
        VolumeSound sound;
        int percent;
        bool tachikawa;
        double hz;
        std::int64_t fromMs, toMs;
        double db; // below -100: silent
    };
    const Case cases[] = {
        {"MelodyAtHalf", VolumeSound::Melody, 50, false, kMelodyHz, 100, 900, -6.02},
        {"MelodySilent", VolumeSound::Melody, 0, false, kMelodyHz, 100, 900, -200},
        {"TachikawaTenBelowTheMelody", VolumeSound::Melody, 50, true, kMelodyHz, 1010, 1880,
         -16.02},
        {"MelodyBackAfterTheCycle", VolumeSound::Melody, 50, true, kMelodyHz, 5010, 5490, -6.02},
        {"Door", VolumeSound::Door, 80, false, kDoorHz, 2320, 3290, -1.94},
        {"NoiseTenBelowWhileTheMelodySounds", VolumeSound::Noise, 50, false, kNoiseHz, 10, 290,
         -16.02},
        {"NoiseAtOff", VolumeSound::Noise, 50, false, kNoiseHz, 1010, 1290, -6.02},
        {"Click", VolumeSound::Click, 25, false, kClickHz, 1002, 1048, -12.04},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EngineRig rig;
        rig.settings.EffectTachikawa = row.tachikawa;
        rig.settings.Noise = true;
        rig.state.Levels[static_cast<std::size_t>(row.sound)] = volumeLevel(row.percent);
        rig.loadWaveMelody(2000);
        auto& engine = rig.engine();
        rig.time.at(0, [&] { engine.PressOnButton(); });
        rig.time.at(50, [&] { engine.ReleaseOnButton(); });
        rig.time.at(1000, [&] { engine.PressOffButton(); });
        rig.time.at(1050, [&] { engine.ReleaseOffButton(); });
        rig.time.at(5000, [&] { engine.PressOnButton(); });
        rig.time.runUntil(5500);
        if (row.db < -100) {
            EXPECT_FALSE(rig.sounds(row.hz, row.fromMs, row.toMs));
        } else {
            EXPECT_NEAR(rig.toneDb(row.hz, row.fromMs, row.toMs), row.db, 0.3);
        }
    }
}

} // namespace
} // namespace tremlo::test
