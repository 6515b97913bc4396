// The program's timers and event pump on a real Qt event loop.

#include "melody_engine.h"
#include "offline_device.h"
#include "qt_timer.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <ctime>
#include <gtest/gtest.h>
#include <vector>

namespace tremlo::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class QtPumpTest : public ::testing::Test {
protected:
    int argc = 1;
    char name[8] = "tremlo";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    QtEventPump pump;
    QtTimerFactory timers;
};

TEST_F(QtPumpTest, AWaitWithNothingToDoEndsAtItsDeadlineAndSleeps) {
    const auto start = Clock::now();
    const double cpuStart = processCpuSeconds();
    pump.waitFor(300ms, [] { return false; });
    const auto elapsed = Clock::now() - start;
    const double cpu = processCpuSeconds() - cpuStart;
    EXPECT_GE(elapsed, 300ms) << "never ends early";
    // A polling loop would burn the whole wait; sleeping costs next to nothing.
    EXPECT_LT(cpu, 0.3 * std::chrono::duration<double>(elapsed).count());
}

TEST_F(QtPumpTest, TheEventThatMakesItDoneEndsTheWaitAndTimersTickMeanwhile) {
    bool done = false;
    int ticks = 0;
    auto timer = timers.createTimer("tmrTest");
    timer->setInterval(10);
    timer->onTick([&] {
        if (++ticks == 3) {
            timer->setEnabled(false);
            done = true;
        }
    });
    timer->setEnabled(true);
    const auto start = Clock::now();
    pump.waitFor(60s, [&] { return done; });
    EXPECT_TRUE(done);
    EXPECT_EQ(ticks, 3) << "a disabled timer ticks no more";
    EXPECT_LT(Clock::now() - start, 60s);
}

TEST_F(QtPumpTest, WaitsNestAndTheOuterOneSeesWhatTheInnerOneDid) {
    std::vector<std::string> order;
    bool outerDone = false;
    QTimer::singleShot(10, [&] {
        order.push_back("inner starts");
        bool innerDone = false;
        QTimer::singleShot(10, [&] { innerDone = true; });
        pump.waitFor(60s, [&] { return innerDone; });
        order.push_back("inner ends");
        outerDone = true;
    });
    pump.waitFor(60s, [&] { return outerDone; });
    order.push_back("outer ends");
    EXPECT_EQ(order, (std::vector<std::string>{"inner starts", "inner ends", "outer ends"}));
}

TEST_F(QtPumpTest, SettingTheIntervalOfARunningTimerRestartsIt) {
    auto timer = timers.createTimer("tmrTest");
    int ticks = 0;
    timer->onTick([&] { ++ticks; });
    timer->setInterval(0);
    timer->setEnabled(true);
    EXPECT_TRUE(timer->enabled());
    pump.waitFor(50ms, [] { return false; });
    EXPECT_EQ(ticks, 0) << "an interval of 0 never ticks";
    timer->setInterval(5);
    pump.waitFor(60s, [&] { return ticks > 0; });
    EXPECT_GT(ticks, 0);
    timer->setEnabled(false);
    EXPECT_FALSE(timer->enabled());
    EXPECT_EQ(timer->interval(), 5);
}

struct QuietView : SwitchView, StatusLamps {
    void setOnPicture(OnPicture) override {}
    void setOffPicture(OffPicture) override {}
    void repaint() override {}
    void setStatusLED(Lamp, bool) override {}
};

TEST_F(QtPumpTest, OnDuringARealRunOutCancelsTheWaitAndTheMelodyGoesOn) {
    sound::SoundLibrary library(std::make_unique<sound::OfflineDevice>(8000, 256));
    library.dsInit2(0, 2);
    Settings settings = defaultSettings("/nonexistent");
    settings.EffectTachikawa = true;
    PlaybackState state;
    const auto wave = sound::test::makeSine(250.0, 8000 * 30, 8000); // 30 s: a long run-out
    state.MelodyBuffer = library.dsCreateDSB(wave.data(), wave.size(), 1);
    QuietView view;
    MelodyEngine engine(settings, state, library, timers, pump, {view, view});

    engine.PressOnButton();
    engine.ReleaseOnButton();
    std::vector<std::string> order;
    QTimer::singleShot(20, [&] {
        order.push_back("ON during the wait");
        engine.PressOnButton();
    });
    const auto start = Clock::now();
    engine.PressOffButton(); // waits for the rest of the 30 s pass
    order.push_back("OFF returned");
    EXPECT_LT(Clock::now() - start, 29s);
    EXPECT_EQ(order, (std::vector<std::string>{"ON during the wait", "OFF returned"}));
    EXPECT_EQ(state.RunOutActive, false);
    EXPECT_EQ(state.OnSwitchState, SwitchPosition::Pressed);
    EXPECT_EQ(library.dsIsPlaying(state.MelodyBuffer), 1) << "the old wait stopped nothing";
    library.dsFree(state.MelodyBuffer);
}

} // namespace
} // namespace tremlo::test
