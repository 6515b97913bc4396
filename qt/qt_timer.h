#pragma once

// The program's timers and event pump, on Qt's event loop.
//
// Thread: the user-interface thread (the one running the Qt event loop).

#include "event_pump.h"
#include "timer.h"

namespace tremlo {

class QtTimerFactory : public TimerFactory {
public:
    std::unique_ptr<Timer> createTimer(const std::string& name) override;
};

// Waits in a nested event loop that sleeps until the next event: no CPU is
// spent while nothing happens, and the wait ends in the same pass of the loop
// as the event that makes done() true.
class QtEventPump : public EventPump {
public:
    void processEvents() override;
    void waitFor(std::chrono::microseconds duration, const std::function<bool()>& done) override;
};

} // namespace tremlo
