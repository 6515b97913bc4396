#include "sample_clock.h"

#include <algorithm>

namespace tremlo {

struct SampleClock::FrameTimer : Timer {
    FrameTimer(SampleClock& owner, std::string timerName)
        : clock(owner), name(std::move(timerName)) {
        clock.m_timers.push_back(this);
    }
    ~FrameTimer() override { std::erase(clock.m_timers, this); }

    void setInterval(int ms) override {
        intervalMs = ms;
        if (isEnabled)
            arm();
    }
    int interval() const override { return intervalMs; }
    void setEnabled(bool enabled) override {
        if (enabled == isEnabled)
            return;
        isEnabled = enabled;
        if (enabled)
            arm();
    }
    bool enabled() const override { return isEnabled; }
    void onTick(std::function<void()> tick) override { handler = std::move(tick); }

    void arm() {
        due = clock.m_now + clock.framesOfMs(intervalMs);
        order = clock.m_sequence++;
    }
    bool ticking() const { return isEnabled && intervalMs > 0; }

    SampleClock& clock;
    std::string name;
    int intervalMs = 0;
    bool isEnabled = false;
    std::int64_t due = 0;
    std::uint64_t order = 0;
    std::function<void()> handler;
};

SampleClock::SampleClock(int rate, std::function<void(std::int64_t frames)> render)
    : m_rate(rate), m_render(std::move(render)) {}

void SampleClock::at(std::int64_t frame, std::function<void()> action) {
    m_actions.emplace(frame, std::move(action));
}

void SampleClock::runUntil(std::int64_t frame) {
    const std::int64_t outerEnd = m_end;
    m_end = std::min(m_end, frame);
    advance(frame, true, {});
    m_end = outerEnd;
}

std::unique_ptr<Timer> SampleClock::createTimer(const std::string& name) {
    return std::make_unique<FrameTimer>(*this, name);
}

void SampleClock::waitFor(std::chrono::microseconds duration, const std::function<bool()>& done) {
    // At least one frame, so that a wait always lets the sound move on;
    // none at the end of the performance, where nothing moves on.
    const std::int64_t frames =
        std::max<std::int64_t>(1, (duration.count() * m_rate + 500000) / 1000000);
    advance(std::min(m_now + frames, m_end), false, done);
}

void SampleClock::advance(std::int64_t target, bool inclusive, const std::function<bool()>& done) {
    const auto due = [&](std::int64_t at) { return inclusive ? at <= target : at < target; };
    for (;;) {
        if (done && done())
            return;
        FrameTimer* timer = nullptr;
        for (FrameTimer* candidate : m_timers) {
            if (!candidate->ticking() || !due(candidate->due))
                continue;
            if (!timer || candidate->due < timer->due ||
                (candidate->due == timer->due && candidate->order < timer->order))
                timer = candidate;
        }
        const bool actionDue = !m_actions.empty() && due(m_actions.begin()->first) &&
                               (!timer || m_actions.begin()->first <= timer->due);
        if (actionDue) {
            auto node = m_actions.extract(m_actions.begin());
            renderTo(node.key());
            node.mapped()();
        } else if (timer) {
            renderTo(timer->due);
            // Periodic, like the form timers: the next tick is one interval on.
            timer->arm();
            if (timer->handler)
                timer->handler();
        } else {
            renderTo(target);
            return;
        }
    }
}

void SampleClock::renderTo(std::int64_t frame) {
    if (frame <= m_now)
        return;
    m_render(frame - m_now);
    m_now = frame;
}

} // namespace tremlo
