// The door announcement cycle and its three timers, in virtual time.

#include "engine_rig.h"

#include <gtest/gtest.h>

namespace tremlo::test {
namespace {

// Lock mode: ON clicked at `onMs`, OFF clicked at `offMs`.
void clickOnThenOff(EngineRig& rig, std::int64_t onMs, std::int64_t offMs) {
    auto& engine = rig.engine();
    rig.time.at(onMs, [&engine] { engine.PressOnButton(); });
    rig.time.at(onMs + 50, [&engine] { engine.ReleaseOnButton(); });
    rig.time.at(offMs, [&engine] { engine.PressOffButton(); });
    rig.time.at(offMs + 50, [&engine] { engine.ReleaseOffButton(); });
}

TEST(DoorCycle, TheDefaultCycleWithItsTimesAndTheNoiseThreeTimes) {
    EngineRig rig;
    rig.settings.Noise = true;
    rig.loadWaveMelody(2000);
    clickOnThenOff(rig, 0, 1000);

    rig.time.runUntil(2300);
    EXPECT_FALSE(rig.view.lamps[1]);
    rig.time.runUntil(2301); // DoorDelay + 1 ms after OFF
    EXPECT_TRUE(rig.view.lamps[1]);
    EXPECT_TRUE(rig.engine().tmrVolReset().enabled());
    EXPECT_EQ(rig.engine().tmrVolReset().interval(), 1000 + 500);
    rig.time.runUntil(3800);
    EXPECT_TRUE(rig.view.lamps[1]);
    rig.time.runUntil(3801); // the announcement's length + 500 ms later
    EXPECT_FALSE(rig.view.lamps[1]);
    EXPECT_FALSE(rig.engine().tmrVolReset().enabled());
    rig.time.runUntil(4500);

    EXPECT_NEAR(rig.toneDb(kNoiseHz, 0, 290), -10.0, 0.5) << "noise at ON";
    EXPECT_NEAR(rig.toneDb(kNoiseHz, 1000, 1290), 0.0, 0.5) << "noise at OFF";
    EXPECT_FALSE(rig.sounds(kNoiseHz, 1310, 3790));
    EXPECT_NEAR(rig.toneDb(kNoiseHz, 3801, 4090), 0.0, 0.5) << "noise at the end of the cycle";
    EXPECT_FALSE(rig.sounds(kDoorHz, 1000, 2290));
    EXPECT_NEAR(rig.toneDb(kDoorHz, 2310, 3290), 0.0, 0.5);
    EXPECT_FALSE(rig.sounds(kDoorHz, 3310, 4500));
}

TEST(DoorCycle, WithDoorOffThereIsNoAnnouncementButTheCycleStillEnds) {
    EngineRig rig;
    rig.settings.Door = false;
    rig.settings.Noise = true;
    rig.loadWaveMelody(2000);
    clickOnThenOff(rig, 0, 1000);
    rig.time.runUntil(2301);
    EXPECT_FALSE(rig.view.lamps[1]);
    EXPECT_TRUE(rig.engine().tmrVolReset().enabled());
    rig.time.runUntil(4500);
    EXPECT_FALSE(rig.sounds(kDoorHz, 0, 4500));
    EXPECT_NEAR(rig.toneDb(kNoiseHz, 3801, 4090), 0.0, 0.5);
}

TEST(DoorCycle, WithoutADoorSoundTheCycleEndsHalfASecondAfterTheDoorTimer) {
    EngineRig rig;
    rig.library().dsFree(rig.state.DoorBuffer);
    rig.loadWaveMelody(2000);
    clickOnThenOff(rig, 0, 1000);
    rig.time.runUntil(2301);
    EXPECT_EQ(rig.engine().tmrVolReset().interval(), 500);
    EXPECT_TRUE(rig.view.lamps[1]) << "the lamp lights even with nothing to play";
    rig.time.runUntil(2801);
    EXPECT_FALSE(rig.view.lamps[1]);
}

TEST(DoorCycle, DoorDelayZeroFiresOneMillisecondAfterOff) {
    EngineRig rig;
    rig.settings.DoorDelay = 0;
    rig.engine().Timer1().setInterval(rig.settings.DoorDelay + 1);
    rig.loadWaveMelody(2000);
    clickOnThenOff(rig, 0, 1000);
    rig.time.runUntil(1000);
    EXPECT_FALSE(rig.view.lamps[1]);
    rig.time.runUntil(1001);
    EXPECT_TRUE(rig.view.lamps[1]);
}

struct RepeatCase {
    const char* name;
    bool atos;
    bool restarts;
};

class DoorRepeatTest : public ::testing::TestWithParam<RepeatCase> {};

TEST_P(DoorRepeatTest, ASecondAnnouncementRestartsOnlyWithDoorAtos) {
    EngineRig rig({.doorMs = 3000});
    rig.settings.DoorATOS = GetParam().atos;
    rig.loadWaveMelody(2000);
    clickOnThenOff(rig, 0, 1000);    // announcement from 2301
    clickOnThenOff(rig, 2500, 3200); // door timer again at 4501
    rig.time.runUntil(4501);
    const int position = rig.library().dsGetPositionMSec(rig.state.DoorBuffer);
    if (GetParam().restarts)
        EXPECT_LT(position, 40);
    else
        EXPECT_NEAR(position, 2200, 40);
    EXPECT_TRUE(rig.library().dsIsPlaying(rig.state.DoorBuffer));
    EXPECT_EQ(rig.engine().tmrVolReset().interval(), 3500) << "the cycle is restarted either way";
}

INSTANTIATE_TEST_SUITE_P(Atos, DoorRepeatTest,
                         ::testing::Values(RepeatCase{"WithAtos", true, true},
                                           RepeatCase{"WithoutAtos", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DoorCut, OnDuringTheAnnouncementSilencesItAndOffBringsItBack) {
    EngineRig rig({.doorMs = 3000});
    rig.settings.DoorCut = true;
    rig.loadWaveMelody(2000);
    clickOnThenOff(rig, 0, 1000);    // announcement 2301 .. 5301
    clickOnThenOff(rig, 2600, 3500); // a long press in the middle of it
    rig.time.runUntil(5000);
    EXPECT_NEAR(rig.toneDb(kDoorHz, 2310, 2590), 0.0, 0.5);
    EXPECT_FALSE(rig.sounds(kDoorHz, 2610, 3490));
    EXPECT_NEAR(rig.toneDb(kDoorHz, 3510, 4500), 0.0, 0.5);
}

TEST(DoorCut, AnAnnouncementThatEndedSilencedDoesNotSilenceTheNextOne) {
    EngineRig rig;
    rig.settings.DoorCut = true;
    rig.loadWaveMelody(2000);
    clickOnThenOff(rig, 0, 1000);    // announcement 2301 .. 3301
    clickOnThenOff(rig, 2500, 4000); // silences it; it ends silent at 3301
    rig.time.runUntil(5301);         // the next one, with no melody sounding
    EXPECT_TRUE(rig.library().dsIsPlaying(rig.state.DoorBuffer));
    rig.time.runUntil(6000);
    EXPECT_FALSE(rig.sounds(kDoorHz, 2510, 3290));
    EXPECT_NEAR(rig.toneDb(kDoorHz, 5310, 5990), 0.0, 0.5);
}

TEST(DoorCut, AnAnnouncementStartedWhileANewMelodySoundsIsSilent) {
    EngineRig rig({.doorMs = 3000});
    rig.settings.DoorCut = true;
    rig.loadWaveMelody(2000);
    clickOnThenOff(rig, 0, 1000);
    rig.time.at(2000, [&] { rig.engine().PressOnButton(); }); // before the door timer
    rig.time.runUntil(3000);
    EXPECT_TRUE(rig.library().dsIsPlaying(rig.state.DoorBuffer));
    EXPECT_TRUE(rig.view.lamps[1]);
    EXPECT_FALSE(rig.sounds(kDoorHz, 2310, 3000));
}

TEST(DoorPan, TheAnnouncementTakesTheSidesOfThePan) {
    EngineRig rig;
    rig.state.PanMode = Pan::Left;
    rig.loadWaveMelody(2000);
    clickOnThenOff(rig, 0, 1000);
    rig.time.runUntil(3000);
    EXPECT_NEAR(rig.toneDb(kMelodyHz, 10, 990, 0), 0.0, 0.5);
    EXPECT_FALSE(rig.sounds(kMelodyHz, 10, 990, 1));
    EXPECT_NEAR(rig.toneDb(kDoorHz, 2310, 2990, 0), 0.0, 0.5);
    EXPECT_FALSE(rig.sounds(kDoorHz, 2310, 2990, 1));
}

} // namespace
} // namespace tremlo::test
