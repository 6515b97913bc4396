// The switch in lock and non-locking mode: every row of its state table, in
// virtual time, checked by what the windows show and what sounds.

#include "engine_rig.h"

#include <gtest/gtest.h>

namespace tremlo::test {
namespace {

using Op = void (MelodyEngine::*)();

class SwitchTest : public ::testing::Test {
protected:
    void SetUp() override { rig.loadWaveMelody(2000); }
    void at(std::int64_t ms, Op op) {
        rig.time.at(ms, [this, op] { (rig.engine().*op)(); });
    }
    bool melodyPlaying() { return rig.library().dsIsPlaying(rig.state.MelodyBuffer) != 0; }

    EngineRig rig;
};

TEST_F(SwitchTest, LockModeOneClickOnStartsTheMelodyUntilOffIsClicked) {
    at(0, &MelodyEngine::PressOnButton);
    rig.time.runUntil(0);
    EXPECT_EQ(rig.view.onPicture, OnPicture::imgOnB);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
    EXPECT_TRUE(melodyPlaying());
    EXPECT_TRUE(rig.view.lamps[0]);

    at(100, &MelodyEngine::ReleaseOnButton);
    rig.time.runUntil(100);
    EXPECT_EQ(rig.view.onPicture, OnPicture::imgOnC);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked);

    at(1000, &MelodyEngine::PressOffButton);
    rig.time.runUntil(1000);
    EXPECT_EQ(rig.view.onPicture, OnPicture::imgOnA);
    EXPECT_EQ(rig.view.offPicture, OffPicture::imgOffB);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    EXPECT_FALSE(melodyPlaying());
    EXPECT_FALSE(rig.view.lamps[0]);
    EXPECT_TRUE(rig.engine().Timer1().enabled());

    at(1100, &MelodyEngine::ReleaseOffButton);
    rig.time.runUntil(1200);
    EXPECT_EQ(rig.view.offPicture, OffPicture::imgOffA);
    EXPECT_EQ(rig.view.onPicture, OnPicture::imgOnA);

    EXPECT_NEAR(rig.toneDb(kMelodyHz, 10, 990), 0.0, 0.5);
    EXPECT_FALSE(rig.sounds(kMelodyHz, 1010, 1200));
    EXPECT_TRUE(rig.sounds(kClickHz, 1000, 1050)) << "the click at OFF";
}

TEST_F(SwitchTest, LockModeOnAgainWhileLockedChangesNothing) {
    at(0, &MelodyEngine::PressOnButton);
    at(100, &MelodyEngine::ReleaseOnButton);
    at(700, &MelodyEngine::PressOnButton);
    at(800, &MelodyEngine::ReleaseOnButton);
    rig.time.runUntil(1000);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked);
    EXPECT_EQ(rig.view.onPicture, OnPicture::imgOnC);
    EXPECT_NEAR(rig.library().dsGetPositionMSec(rig.state.MelodyBuffer), 1000, 40)
        << "the melody was not started again";
    EXPECT_FALSE(rig.sounds(kClickHz, 700, 900));
}

TEST_F(SwitchTest, LockModeOffHeldWhileOnComesUpStopsAtOnceWithoutClickNoiseOrDoor) {
    rig.settings.Noise = true;
    at(0, &MelodyEngine::PressOnButton);
    at(1000, &MelodyEngine::PressOffButton); // ON still held: only the picture
    rig.time.runUntil(1000);
    EXPECT_EQ(rig.view.offPicture, OffPicture::imgOffB);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
    EXPECT_TRUE(melodyPlaying());

    at(1500, &MelodyEngine::ReleaseOnButton);
    rig.time.runUntil(1500);
    EXPECT_EQ(rig.view.onPicture, OnPicture::imgOnA);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    EXPECT_FALSE(melodyPlaying());
    EXPECT_FALSE(rig.view.lamps[0]);
    EXPECT_TRUE(rig.engine().tmrDoorThreshold().enabled()) << "threshold timer restarted";
    EXPECT_FALSE(rig.engine().Timer1().enabled());

    rig.time.runUntil(6000);
    EXPECT_FALSE(rig.sounds(kClickHz, 1500, 1600));
    EXPECT_FALSE(rig.sounds(kNoiseHz, 1500, 2000));
    EXPECT_FALSE(rig.sounds(kDoorHz, 1500, 6000));
}

TEST_F(SwitchTest, LockModeOffHeldPathRunsAMidiMelodyOutOnlyUnderTachikawa) {
    rig.loadMidiMelody(1000);
    rig.settings.EffectTachikawa = true;
    at(0, &MelodyEngine::PressOnButton);
    at(200, &MelodyEngine::PressOffButton);
    at(600, &MelodyEngine::ReleaseOnButton); // short press: no attenuation
    bool playingDuringRunOut = false;
    rig.time.at(700, [&] {
        playingDuringRunOut = rig.library().dsIsPlayingMusicSegment(rig.state.MelodySegment);
    });
    rig.time.runUntil(1000);
    EXPECT_TRUE(playingDuringRunOut);
    EXPECT_EQ(rig.time.waitDepth(), 0);
    EXPECT_EQ(rig.library().dsIsPlayingMusicSegment(rig.state.MelodySegment), 0)
        << "stopped 100 ms before the end of its pass";
    EXPECT_FALSE(rig.view.lamps[0]);

    rig.settings.EffectTachikawa = false;
    at(2000, &MelodyEngine::ReleaseOffButton);
    at(2100, &MelodyEngine::PressOnButton);
    at(2200, &MelodyEngine::PressOffButton);
    at(2300, &MelodyEngine::ReleaseOnButton);
    rig.time.runUntil(2300);
    EXPECT_EQ(rig.library().dsIsPlayingMusicSegment(rig.state.MelodySegment), 0);
}

TEST_F(SwitchTest, LockModeOnUpWhileOffDoesNothing) {
    at(0, &MelodyEngine::ReleaseOnButton);
    rig.time.runUntil(3000);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    EXPECT_EQ(rig.view.repaints, 0);
    EXPECT_FALSE(rig.engine().Timer1().enabled());
    EXPECT_FALSE(rig.sounds(kClickHz, 0, 200));
}

TEST_F(SwitchTest, LockModeOffWhileLockedAndOnHeldAgainOnlyMovesItsPicture) {
    at(0, &MelodyEngine::PressOnButton);
    at(100, &MelodyEngine::ReleaseOnButton);
    at(800, &MelodyEngine::PressOnButton); // held again while locked
    at(900, &MelodyEngine::PressOffButton);
    rig.time.runUntil(1000);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked);
    EXPECT_EQ(rig.view.offPicture, OffPicture::imgOffB);
    EXPECT_TRUE(melodyPlaying());
    at(1100, &MelodyEngine::ReleaseOnButton); // OFF still held: ON was momentary
    rig.time.runUntil(1100);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    EXPECT_FALSE(melodyPlaying());
}

TEST_F(SwitchTest, OffWhileOffOnlyMovesItsPicture) {
    at(0, &MelodyEngine::PressOffButton);
    rig.time.runUntil(0);
    EXPECT_EQ(rig.view.offPicture, OffPicture::imgOffB);
    EXPECT_EQ(rig.state.OffButtonDown, true);
    at(100, &MelodyEngine::ReleaseOffButton);
    rig.time.runUntil(3000);
    EXPECT_EQ(rig.view.offPicture, OffPicture::imgOffA);
    EXPECT_FALSE(rig.sounds(kClickHz, 0, 200));
    EXPECT_FALSE(rig.engine().Timer1().enabled());
    EXPECT_FALSE(rig.sounds(kDoorHz, 0, 3000));
}

TEST_F(SwitchTest, PressingOnWhileOffIsHeldStartsTheMelody) {
    at(0, &MelodyEngine::PressOffButton);
    at(100, &MelodyEngine::PressOnButton);
    rig.time.runUntil(200);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
    EXPECT_TRUE(melodyPlaying());
}

TEST_F(SwitchTest, NonLockingTheMelodySoundsWhileOnIsHeld) {
    rig.settings.NoLockOnButton = true;
    at(0, &MelodyEngine::PressOnButton);
    at(1000, &MelodyEngine::ReleaseOnButton);
    rig.time.runUntil(1000);
    EXPECT_EQ(rig.view.onPicture, OnPicture::imgOnA);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    EXPECT_FALSE(melodyPlaying());
    rig.time.runUntil(3000);
    EXPECT_TRUE(rig.sounds(kMelodyHz, 0, 990));
    EXPECT_TRUE(rig.sounds(kClickHz, 1000, 1050));
    EXPECT_FALSE(rig.sounds(kDoorHz, 2200, 2300));
    EXPECT_TRUE(rig.sounds(kDoorHz, 2310, 2400)) << "door 1301 ms after ON came up";
}

TEST_F(SwitchTest, NonLockingOffOnlyMovesItsPictureWhileOnIsHeld) {
    rig.settings.NoLockOnButton = true;
    at(0, &MelodyEngine::PressOnButton);
    at(600, &MelodyEngine::PressOffButton);
    at(700, &MelodyEngine::ReleaseOffButton);
    rig.time.runUntil(800);
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Pressed);
    EXPECT_TRUE(melodyPlaying());
    EXPECT_EQ(rig.view.offPicture, OffPicture::imgOffA);
}

TEST_F(SwitchTest, NonLockingOnUpActsWhateverTheSwitchShowed) {
    rig.settings.NoLockOnButton = true;
    at(0, &MelodyEngine::ReleaseOnButton); // a release with no press before it
    rig.time.runUntil(0);
    EXPECT_EQ(rig.view.onPicture, OnPicture::imgOnA);
    EXPECT_TRUE(rig.engine().Timer1().enabled()) << "the threshold timer was idle";
    rig.time.runUntil(100);
    EXPECT_TRUE(rig.sounds(kClickHz, 0, 50));
}

TEST_F(SwitchTest, TheSwitchIsPaintedBeforeTheMelodySounds) {
    bool playingAtRepaint = true;
    rig.view.onRepaint = [&] { playingAtRepaint = melodyPlaying(); };
    at(0, &MelodyEngine::PressOnButton);
    rig.time.runUntil(0);
    EXPECT_EQ(rig.view.repaints, 1);
    EXPECT_FALSE(playingAtRepaint);
}

TEST_F(SwitchTest, KeyRepeatOnlyStartsTheMelodyOnce) {
    for (int ms = 0; ms <= 1000; ms += 33)
        at(ms, &MelodyEngine::PressOnButton);
    rig.time.runUntil(1000);
    EXPECT_NEAR(rig.library().dsGetPositionMSec(rig.state.MelodyBuffer), 1000, 40);
    EXPECT_EQ(rig.view.repaints, 1);
    EXPECT_EQ(rig.state.OnButtonDown, true);
}

TEST_F(SwitchTest, WithNoMelodyTheSwitchStillMovesClicksAndArmsItsTimers) {
    rig.unloadMelody();
    rig.settings.Noise = true;
    at(0, &MelodyEngine::PressOnButton);
    rig.time.runUntil(0);
    EXPECT_EQ(rig.view.onPicture, OnPicture::imgOnB);
    EXPECT_TRUE(rig.engine().tmrDoorThreshold().enabled());
    EXPECT_FALSE(rig.view.lamps[0]);
    at(100, &MelodyEngine::ReleaseOnButton);
    at(1000, &MelodyEngine::PressOffButton);
    rig.time.runUntil(1000);
    EXPECT_TRUE(rig.engine().Timer1().enabled());
    EXPECT_FALSE(rig.view.lamps[0]);
    rig.time.runUntil(2500);
    EXPECT_NEAR(rig.toneDb(kNoiseHz, 0, 290), -10.0, 0.5);
    EXPECT_NEAR(rig.toneDb(kNoiseHz, 1000, 1290), 0.0, 0.5);
    EXPECT_TRUE(rig.sounds(kClickHz, 1000, 1050));
    EXPECT_TRUE(rig.sounds(kDoorHz, 2310, 2400));
}

TEST_F(SwitchTest, AShortPressIsNotFollowedByTheDoorAnnouncement) {
    rig.settings.NoLockOnButton = true;
    at(0, &MelodyEngine::PressOnButton);
    at(300, &MelodyEngine::ReleaseOnButton);
    rig.time.runUntil(5000);
    EXPECT_FALSE(rig.engine().Timer1().enabled());
    EXPECT_FALSE(rig.sounds(kDoorHz, 0, 5000));
    EXPECT_FALSE(rig.view.lamps[1]);
}

struct ThresholdCase {
    std::int16_t threshold;
    int expectedInterval;
};

class ThresholdTest : public ::testing::TestWithParam<ThresholdCase> {};

TEST_P(ThresholdTest, ThresholdTimerRunsOneMillisecondLongerThanTheSetting) {
    EngineRig rig({.capture = false});
    rig.settings.DoorThreshold = GetParam().threshold;
    rig.loadWaveMelody(500);
    rig.time.at(0, [&] { rig.engine().PressOnButton(); });
    rig.time.runUntil(0);
    EXPECT_EQ(rig.engine().tmrDoorThreshold().interval(), GetParam().expectedInterval);
    rig.time.runUntil(GetParam().expectedInterval - 1);
    EXPECT_TRUE(rig.engine().tmrDoorThreshold().enabled());
    rig.time.runUntil(GetParam().expectedInterval);
    EXPECT_FALSE(rig.engine().tmrDoorThreshold().enabled());
}

INSTANTIATE_TEST_SUITE_P(Thresholds, ThresholdTest,
                         ::testing::Values(ThresholdCase{0, 1}, ThresholdCase{500, 501},
                                           ThresholdCase{32767, 32768}));

} // namespace
} // namespace tremlo::test
