#pragma once

// Virtual time for the engine's tests: a manual clock that is the timer
// factory and the event pump at once, with scripted user actions.
//
// runUntil() and the engine's own waits (EventPump::waitFor) advance the one
// clock, firing timer ticks and scripted actions in time order; at equal
// times user actions come before timer ticks, as input does before timer
// messages. When an offline device is given, it renders exactly the audio
// that the advanced time holds, so what sounds can be measured.

#include "event_pump.h"
#include "offline_device.h"
#include "timer.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tremlo::test {

class VirtualTime : public TimerFactory, public EventPump {
public:
    VirtualTime() = default;
    // Renders the device as time advances; keeps the output when `capture`.
    void attachDevice(sound::OfflineDevice* device, int rate, bool capture);

    std::int64_t nowMs() const { return m_nowUs / 1000; }
    std::int64_t nowUs() const { return m_nowUs; }

    // Schedules a user action at an absolute time in milliseconds.
    void at(std::int64_t ms, std::function<void()> action);
    // Runs every timer tick and action due until `ms` (inclusive).
    void runUntil(std::int64_t ms);
    void runFor(std::int64_t ms) { runUntil(nowMs() + ms); }

    std::unique_ptr<Timer> createTimer(const std::string& name) override;
    void processEvents() override {}
    void waitFor(std::chrono::microseconds duration, const std::function<bool()>& done) override;

    int waitDepth() const { return m_waitDepth; }
    const std::vector<float>& captured() const { return m_captured; }
    int rate() const { return m_rate; }

    struct ManualTimer;

private:
    friend struct ManualTimer;
    void advance(std::int64_t targetUs, bool inclusive, const std::function<bool()>& done);
    void renderTo(std::int64_t us);

    std::int64_t m_nowUs = 0;
    std::uint64_t m_sequence = 0; // orders timers enabled at the same time
    std::multimap<std::int64_t, std::function<void()>> m_actions;
    std::vector<ManualTimer*> m_timers;
    sound::OfflineDevice* m_device = nullptr;
    int m_rate = 0;
    bool m_capture = false;
    std::int64_t m_renderedFrames = 0;
    std::vector<float> m_captured;
    int m_waitDepth = 0;
};

} // namespace tremlo::test
