#include "status_flash.h"
#include "virtual_time.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace tremlo {
namespace {

using Step = std::pair<std::int64_t, bool>; // ms, label visible after it

struct FlashRig {
    test::VirtualTime clock;
    std::vector<Step> steps;
    StatusFlash flash{clock, [this](bool visible) { steps.emplace_back(clock.nowMs(), visible); }};
};

std::vector<Step> shifted(std::vector<Step> steps, std::int64_t byMs) {
    for (auto& step : steps)
        step.first += byMs;
    return steps;
}

// What a flashing message does from the moment it is set.
const std::vector<Step> kMessageSequence{{0, false},    {1500, true}, {2250, false}, {2500, true},
                                         {3250, false}, {3500, true}, {4250, true},  {9250, false}};

TEST(StatusFlash, NewPanelBlinksInFromHiddenAndStops) {
    FlashRig rig;
    EXPECT_TRUE(rig.flash.timer().enabled());
    EXPECT_EQ(rig.flash.timer().interval(), 1500);
    rig.clock.runUntil(30000);
    const std::vector<Step> expected{{1500, false}, {1750, true}, {2500, false}, {2750, true},
                                     {3500, false}, {3750, true}, {4500, true},  {9500, false}};
    EXPECT_EQ(rig.steps, expected);
    EXPECT_FALSE(rig.flash.timer().enabled());
    EXPECT_EQ(rig.flash.countdown(), 7);
}

TEST(StatusFlash, FlashingMessageSequence) {
    FlashRig rig;
    rig.flash.showMessage(true);
    rig.clock.runUntil(30000);
    EXPECT_EQ(rig.steps, kMessageSequence);
    EXPECT_FALSE(rig.flash.timer().enabled());
}

TEST(StatusFlash, NewMessageMidSequenceHidesAtOnceAndStartsOver) {
    FlashRig rig;
    rig.flash.showMessage(true);
    // Once while lit in the blinking, once while held lit near the end.
    rig.clock.at(2600, [&] { rig.flash.showMessage(true); });
    rig.clock.at(2600 + 5000, [&] { rig.flash.showMessage(true); });
    rig.clock.runUntil(40000);

    std::vector<Step> expected(kMessageSequence.begin(), kMessageSequence.begin() + 4);
    auto second = shifted(kMessageSequence, 2600);
    expected.insert(expected.end(), second.begin(), second.begin() + 7);
    auto third = shifted(kMessageSequence, 7600);
    expected.insert(expected.end(), third.begin(), third.end());
    EXPECT_EQ(rig.steps, expected);
}

TEST(StatusFlash, SteadyMessageOnlyHidesTheLabel) {
    FlashRig rig;
    rig.clock.runUntil(10000); // the panel's own sequence is over
    rig.steps.clear();
    rig.flash.showMessage(false);
    rig.clock.runUntil(30000);
    EXPECT_EQ(rig.steps, (std::vector<Step>{{10000, false}}));
    EXPECT_FALSE(rig.flash.timer().enabled());

    // During a running sequence it leaves the sequence's timing alone.
    rig.steps.clear();
    rig.flash.showMessage(true);
    rig.clock.at(31000, [&] { rig.flash.showMessage(false); });
    rig.clock.runUntil(60000);
    std::vector<Step> expected{{30000, false}, {31000, false}};
    const auto rest = shifted(kMessageSequence, 30000);
    expected.insert(expected.end(), rest.begin() + 1, rest.end());
    EXPECT_EQ(rig.steps, expected);
}

} // namespace
} // namespace tremlo
