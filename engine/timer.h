#pragma once

// Timers of the user interface, made by an injected factory: Qt timers in the
// program, timers on a manual clock in tests.
//
// They behave like the form timers the program was designed around: a timer
// ticks every interval while it is enabled; enabling an enabled timer changes
// nothing, while setting the interval of an enabled timer starts its
// countdown again. An interval of 0 never ticks.
//
// Thread: the user-interface thread; ticks arrive on it.

#include <functional>
#include <memory>
#include <string>

namespace tremlo {

class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    virtual void onTick(std::function<void()> handler) = 0;
};

class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    // The name is the timer's name in the program (tmrDoorThreshold, ...),
    // for diagnostics and tests.
    virtual std::unique_ptr<Timer> createTimer(const std::string& name) = 0;
};

} // namespace tremlo
