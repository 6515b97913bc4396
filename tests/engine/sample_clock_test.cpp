// The offline render's timers keep the contract of the program's own: a
// second OFF enables the running door timer again, which must not start its
// countdown again, while setting the interval does.

#include "sample_clock.h"

#include <gtest/gtest.h>
#include <vector>

namespace tremlo::test {
namespace {

TEST(SampleClock, OnlyANewIntervalStartsARunningTimerAgain) {
    const struct {
        const char* name;
        void (*again)(Timer&);
        std::int64_t tickMs;
    } rows[] = {
        {"enabled again", [](Timer& t) { t.setEnabled(true); }, 100},
        {"interval set again", [](Timer& t) { t.setInterval(100); }, 160},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SampleClock clock(48000, [](std::int64_t) {});
        const auto timer = clock.createTimer("Timer1");
        std::vector<std::int64_t> ticks;
        timer->onTick([&] {
            ticks.push_back(clock.nowFrames());
            timer->setEnabled(false);
        });
        timer->setInterval(100);
        timer->setEnabled(true);
        clock.runUntil(clock.framesOfMs(60));
        row.again(*timer);
        clock.runUntil(clock.framesOfMs(500));
        EXPECT_EQ(ticks, std::vector<std::int64_t>{clock.framesOfMs(row.tickMs)});
    }
}

} // namespace
} // namespace tremlo::test
