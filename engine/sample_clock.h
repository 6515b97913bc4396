#pragma once

// The clock of an offline render: time is the count of frames rendered, and
// it moves only when the render asks, as fast as the machine allows.
//
// It is the engine's timer factory and event pump at once. runUntil() and
// the engine's own waits (EventPump::waitFor, a run-out) advance the one
// clock: before anything due at frame F runs, exactly the frames up to F are
// rendered, so a sound it starts begins at frame F. At the same frame script
// events run before timer ticks, in the order they were scheduled, as input
// comes before timer messages in a live run. A timer of `ms` milliseconds
// ticks round(ms × rate / 1000) frames after it was armed.
//
// Thread: the one thread that renders; there is no other.

#include "event_pump.h"
#include "timer.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tremlo {

class SampleClock : public TimerFactory, public EventPump {
public:
    // `render` renders the next `frames` frames of the output.
    SampleClock(int rate, std::function<void(std::int64_t frames)> render);
    // Outlives every timer it made.
    ~SampleClock() override = default;
    SampleClock(const SampleClock&) = delete;
    SampleClock& operator=(const SampleClock&) = delete;

    int rate() const { return m_rate; }
    std::int64_t nowFrames() const { return m_now; }
    std::int64_t framesOfMs(std::int64_t ms) const { return (ms * m_rate + 500) / 1000; }

    // Schedules an action at an absolute frame.
    void at(std::int64_t frame, std::function<void()> action);
    // Runs everything due up to `frame` (inclusive) and renders up to it.
    // A wait inside (a run-out) ends at `frame` too, however long it was
    // meant to be: the performance ends there, to the sample.
    void runUntil(std::int64_t frame);

    std::unique_ptr<Timer> createTimer(const std::string& name) override;
    void processEvents() override {}
    void waitFor(std::chrono::microseconds duration, const std::function<bool()>& done) override;

    struct FrameTimer;

private:
    friend struct FrameTimer;
    void advance(std::int64_t target, bool inclusive, const std::function<bool()>& done);
    void renderTo(std::int64_t frame);

    int m_rate;
    std::function<void(std::int64_t)> m_render;
    std::int64_t m_now = 0;
    std::int64_t m_end = INT64_MAX; // no frame at or past it is rendered
    std::uint64_t m_sequence = 0;   // orders timers armed at the same frame
    std::multimap<std::int64_t, std::function<void()>> m_actions;
    std::vector<FrameTimer*> m_timers;
};

} // namespace tremlo
