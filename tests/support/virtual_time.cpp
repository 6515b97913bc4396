#include "virtual_time.h"

#include <algorithm>
#include <limits>

namespace tremlo::test {

struct VirtualTime::ManualTimer : Timer {
    ManualTimer(VirtualTime& time, std::string timerName)
        : clock(time), name(std::move(timerName)) {
        clock.m_timers.push_back(this);
    }
    ~ManualTimer() override { std::erase(clock.m_timers, this); }

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
        dueUs = clock.m_nowUs + std::int64_t{intervalMs} * 1000;
        order = clock.m_sequence++;
    }
    bool ticking() const { return isEnabled && intervalMs > 0; }

    VirtualTime& clock;
    std::string name;
    int intervalMs = 0;
    bool isEnabled = false;
    std::int64_t dueUs = 0;
    std::uint64_t order = 0;
    std::function<void()> handler;
};

void VirtualTime::attachDevice(sound::OfflineDevice* device, int rate, bool capture) {
    m_device = device;
    m_rate = rate;
    m_capture = capture;
}

void VirtualTime::at(std::int64_t ms, std::function<void()> action) {
    m_actions.emplace(ms * 1000, std::move(action));
}

void VirtualTime::runUntil(std::int64_t ms) {
    advance(ms * 1000, true, {});
}

std::unique_ptr<Timer> VirtualTime::createTimer(const std::string& name) {
    return std::make_unique<ManualTimer>(*this, name);
}

void VirtualTime::waitFor(std::chrono::microseconds duration, const std::function<bool()>& done) {
    ++m_waitDepth;
    advance(m_nowUs + duration.count(), false, done);
    --m_waitDepth;
}

void VirtualTime::advance(std::int64_t targetUs, bool inclusive,
                          const std::function<bool()>& done) {
    const auto due = [&](std::int64_t at) { return inclusive ? at <= targetUs : at < targetUs; };
    for (;;) {
        if (done && done())
            return;
        ManualTimer* timer = nullptr;
        for (ManualTimer* candidate : m_timers) {
            if (!candidate->ticking() || !due(candidate->dueUs))
                continue;
            if (!timer || candidate->dueUs < timer->dueUs ||
                (candidate->dueUs == timer->dueUs && candidate->order < timer->order))
                timer = candidate;
        }
        const bool actionDue = !m_actions.empty() && due(m_actions.begin()->first) &&
                               (!timer || m_actions.begin()->first <= timer->dueUs);
        if (actionDue) {
            auto node = m_actions.extract(m_actions.begin());
            renderTo(node.key());
            m_nowUs = std::max(m_nowUs, node.key());
            node.mapped()();
        } else if (timer) {
            renderTo(timer->dueUs);
            m_nowUs = std::max(m_nowUs, timer->dueUs);
            // Periodic, like the form timers: the next tick is one interval on.
            timer->arm();
            if (timer->handler)
                timer->handler();
        } else {
            renderTo(targetUs);
            m_nowUs = std::max(m_nowUs, targetUs);
            return;
        }
    }
}

void VirtualTime::renderTo(std::int64_t us) {
    if (!m_device || us <= m_nowUs)
        return;
    const std::int64_t frames = us * m_rate / 1000000 - m_renderedFrames;
    if (frames <= 0)
        return;
    const auto out = m_device->render(static_cast<std::size_t>(frames));
    if (m_capture)
        m_captured.insert(m_captured.end(), out.begin(), out.end());
    m_renderedFrames += frames;
}

} // namespace tremlo::test
