// The period policy of the output devices, on time points the test gives:
// each row puts a look at a boundary, so that the neighbouring value fails.

#include "device_tuning.h"
#include "period_steps.h"
#include "processor_load.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tremlo::sound::test {
namespace {

using namespace std::chrono_literals;
using Clock = PeriodSteps::Clock;

// One look of a device's watch, `atMs` after the device opened, and the
// period it should ask for.
struct Look {
    int atMs;
    std::uint64_t lateCount;
    bool quiet;
    int expect;
    bool busy = false;
};

struct StepsCase {
    const char* name;
    int firstFrames;
    int lateWatchesWhileSounding;
    std::vector<Look> looks;
    std::chrono::seconds calm = tuning::kCalmBeforeShorter;
};

constexpr bool kQuiet = true;
constexpr bool kSounding = false;
constexpr int kMinute = 60'000;

class PeriodStepsTest : public ::testing::TestWithParam<StepsCase> {};

// The device takes every period asked for, as the server's stream does.
TEST_P(PeriodStepsTest, AsksForThePeriodTheWatchShouldTake) {
    const StepsCase& row = GetParam();
    PeriodSteps steps(row.firstFrames, row.lateWatchesWhileSounding, row.calm);
    const Clock::time_point opened{1h};
    int current = row.firstFrames;
    for (const Look& look : row.looks) {
        SCOPED_TRACE(look.atMs);
        const auto now = opened + std::chrono::milliseconds(look.atMs);
        const int next = steps.look(look.lateCount, look.busy, current, look.quiet, now);
        EXPECT_EQ(next, look.expect);
        if (next != current)
            steps.changed(current, next, now);
        current = next;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PeriodStepsTest,
    ::testing::Values(
        StepsCase{
            "NothingLateNothingChanges", 256, 1, {{0, 0, kQuiet, 256}, {250, 0, kSounding, 256}}},
        StepsCase{"OneLateWatchWhileQuietDoubles", 256, 3, {{0, 1, kQuiet, 512}}},
        StepsCase{"TheSameCountIsNoNewLatePeriod",
                  256,
                  2,
                  {{0, 1, kSounding, 256}, {250, 1, kSounding, 256}, {500, 1, kSounding, 256}}},
        StepsCase{"ABusyMachineCountsAsLate", 256, 1, {{0, 0, kSounding, 512, true}}},
        StepsCase{"WhileSoundingTheThirdWatchInTheWindowDoubles",
                  256,
                  3,
                  {{0, 1, kSounding, 256}, {5000, 2, kSounding, 256}, {10'000, 3, kSounding, 512}}},
        StepsCase{"AWatchPastTheWindowBeginsANewSpell",
                  256,
                  3,
                  {{0, 1, kSounding, 256},
                   {5000, 2, kSounding, 256},
                   {10'001, 3, kSounding, 256},
                   {10'002, 4, kSounding, 256},
                   {10'003, 5, kSounding, 512}}},
        StepsCase{
            "NeverPastTheLongest", 512, 1, {{0, 1, kSounding, 1024}, {250, 2, kSounding, 1024}}},
        StepsCase{"AFirstPeriodBeyondTheLongestIsKept", 2048, 1, {{0, 1, kQuiet, 2048}}},
        StepsCase{"ShorterOnlyOnceTheCalmIsWhole",
                  256,
                  1,
                  {{0, 1, kQuiet, 512}, {kMinute - 1, 1, kQuiet, 512}, {kMinute, 1, kQuiet, 256}}},
        StepsCase{
            "NotShorterWhileSounding",
            256,
            1,
            {{0, 1, kQuiet, 512}, {kMinute, 1, kSounding, 512}, {kMinute + 1, 1, kQuiet, 256}}},
        StepsCase{"OneStepDownAtATimeAndNeverBelowTheFirst",
                  384,
                  1,
                  {{0, 1, kQuiet, 768},
                   {1, 2, kQuiet, 1024},
                   {kMinute + 1, 2, kQuiet, 512},
                   {2 * kMinute, 2, kQuiet, 512},
                   {2 * kMinute + 1, 2, kQuiet, 384},
                   {9 * kMinute, 2, kQuiet, 384}}},
        // At the longest a late period changes nothing, but the calm
        // starts again from it.
        StepsCase{"TheCalmCountsFromTheLastLatePeriod",
                  512,
                  1,
                  {{0, 1, kQuiet, 1024},
                   {30'000, 2, kQuiet, 1024},
                   {kMinute + 29'999, 2, kQuiet, 1024},
                   {kMinute + 30'000, 2, kQuiet, 512}}},
        StepsCase{"LateSoonAfterShorteningDoublesTheCalm",
                  256,
                  1,
                  {{0, 1, kQuiet, 512},
                   {kMinute, 1, kQuiet, 256},
                   {2 * kMinute - 1, 2, kSounding, 512},
                   {4 * kMinute - 2, 2, kQuiet, 512},
                   {4 * kMinute - 1, 2, kQuiet, 256}}},
        StepsCase{"LateOnlyAfterAWholeCalmKeepsIt",
                  256,
                  1,
                  {{0, 1, kQuiet, 512},
                   {kMinute, 1, kQuiet, 256},
                   {2 * kMinute, 2, kSounding, 512},
                   {3 * kMinute, 2, kQuiet, 256}}},
        StepsCase{"TheCalmNeverPassesTheLongest",
                  256,
                  1,
                  {{0, 1, kQuiet, 512},
                   {32 * kMinute, 1, kQuiet, 256},
                   {32 * kMinute + 1, 2, kSounding, 512},
                   {64 * kMinute + 1, 2, kQuiet, 256}},
                  tuning::kLongestCalm}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PeriodSteps, SaysWhyThePeriodChanged) {
    const Clock::time_point now{1h};
    PeriodSteps steps(256, 1, 60s);
    ASSERT_EQ(steps.look(0, true, 256, kSounding, now), 512);
    EXPECT_EQ(steps.changed(256, 512, now),
              "tremolo: every processor busy, sound now in periods of 512 frames");
    ASSERT_EQ(steps.look(3, true, 512, kSounding, now + 1s), 1024);
    EXPECT_EQ(steps.changed(512, 1024, now + 1s),
              "tremolo: 3 late periods, sound now in periods of 1024 frames");
    ASSERT_EQ(steps.look(3, false, 1024, kQuiet, now + 61s), 512);
    EXPECT_EQ(steps.changed(1024, 512, now + 61s),
              "tremolo: no late periods for 60 s, sound now in periods of 512 frames");
    EXPECT_EQ(PeriodSteps::opened(48000, 256),
              "tremolo: sound at 48000 Hz in periods of 256 frames");
}

// A server request is late, while a sound plays, past all the server held
// and the sink had taken ahead, plus a millisecond; over silence never. An
// SDL callback is late past all the server holds, plus what the sink renders
// ahead.
struct LatenessCase {
    int periodFrames;
    int heldFrames;
    int sinkFrames;
    std::chrono::microseconds lateAfter;
};

TEST(PeriodLateness, AServerRequestIsLateOnlyOnceASoundWouldHaveRunDry) {
    for (const auto& row :
         {LatenessCase{256, 384, 0, 8000us + 1ms}, LatenessCase{256, 384, 480, 18'000us + 1ms},
          LatenessCase{256, 200, 0, 4166us + 1ms}, LatenessCase{1024, 1536, 1024, 53'333us + 1ms},
          // A sink that reports nothing ahead is taken at its word.
          LatenessCase{256, 384, -5, 8000us + 1ms}}) {
        SCOPED_TRACE(testing::Message() << row.periodFrames << " held " << row.heldFrames
                                        << " sink " << row.sinkFrames);
        constexpr bool kSoundPlays = true;
        EXPECT_FALSE(
            serverRequestLate(row.lateAfter, row.heldFrames, row.sinkFrames, 48000, kSoundPlays));
        EXPECT_TRUE(serverRequestLate(row.lateAfter + 1us, row.heldFrames, row.sinkFrames, 48000,
                                      kSoundPlays));
        EXPECT_FALSE(
            serverRequestLate(row.lateAfter * 10, row.heldFrames, row.sinkFrames, 48000, false))
            << "over silence nothing breaks up";
    }
}

TEST(PeriodLateness, SdlHoldsOneAndAHalfPeriodsAndIsLatePastAllItHolds) {
    EXPECT_EQ(sdlServerBufferMsec(256, 48000), 8);
    EXPECT_EQ(sdlServerBufferMsec(257, 48000), 9);
    EXPECT_EQ(sdlServerBufferMsec(1024, 44100), 35);
    EXPECT_EQ(sdlCallbackLateAfter(256, 48000, 8), 10ms);
    // A user's buffer shorter than a period: the period is what is held.
    EXPECT_EQ(sdlCallbackLateAfter(1024, 48000, 5), 21'333us + 2ms);
}

// What the user sets in the environment counts only within its bounds; the
// rows sit on each bound and just past it.
TEST(DeviceTuning, TheUsersPeriodAndBufferCountOnlyWithinTheirBounds) {
    struct Row {
        const char* text;
        int frames;
        int msec;
    };
    for (const Row& row :
         {Row{"31", tuning::kShortestFrames, 31}, Row{"32", 32, 32}, Row{"8192", 8192, 8192},
          Row{"8193", tuning::kShortestFrames, 8193}, Row{"9999", tuning::kShortestFrames, 9999},
          Row{"10000", tuning::kShortestFrames, 0}, Row{"0", tuning::kShortestFrames, 0},
          Row{"-40", tuning::kShortestFrames, 0}}) {
        SCOPED_TRACE(row.text);
        ::setenv("TREMLO_PERIOD_FRAMES", row.text, 1);
        ::setenv("PULSE_LATENCY_MSEC", row.text, 1);
        EXPECT_EQ(tuning::serverFirstPeriodFrames(), row.frames);
        EXPECT_EQ(tuning::userServerBufferMsec(), row.msec);
    }
    ::unsetenv("TREMLO_PERIOD_FRAMES");
    ::unsetenv("PULSE_LATENCY_MSEC");
    EXPECT_EQ(tuning::serverFirstPeriodFrames(), tuning::kShortestFrames);
    EXPECT_EQ(tuning::userServerBufferMsec(), 0);
}

TEST(ProcessorLoad, SaturatedAtNineTenthsSinceTheLookFourBefore) {
    using Times = ProcessorLoad::Times;
    ProcessorLoad load;
    EXPECT_FALSE(load.saturatedAt(Times{1000, 1000})) << "one look tells nothing";
    EXPECT_TRUE(load.saturatedAt(Times{1090, 1100})) << "nine tenths since the first";
    EXPECT_FALSE(load.saturatedAt(Times{1179, 1200}));
    EXPECT_FALSE(load.saturatedAt(Times{1000, 1000})) << "no time since the first";

    ProcessorLoad later;
    for (const std::uint64_t total : {0, 100, 200, 300})
        EXPECT_FALSE(later.saturatedAt(Times{0, total}));
    // Busy since the second look only: not since the look four before...
    EXPECT_FALSE(later.saturatedAt(Times{300, 400}));
    // ...until that look is the second.
    EXPECT_TRUE(later.saturatedAt(Times{400, 500}));

    // Nine tenths over the last four quarters although the last was idle.
    ProcessorLoad busy;
    for (const std::uint64_t ticks : {0, 100, 200, 300, 400})
        busy.saturatedAt(Times{ticks, ticks});
    EXPECT_TRUE(busy.saturatedAt(Times{460, 500}));
}

} // namespace
} // namespace tremlo::sound::test
