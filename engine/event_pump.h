#pragma once

// Letting pending window events run while an operation waits.
//
// The program's pump runs a nested Qt event loop; the tests' pump advances a
// manual clock and plays scripted user actions at their times, so every
// re-entrant order of events can be tested exactly.
//
// Thread: the user-interface thread.

#include <chrono>
#include <functional>

namespace tremlo {

class EventPump {
public:
    virtual ~EventPump() = default;
    // Runs pending events and returns.
    virtual void processEvents() = 0;
    // Runs events until `duration` has passed or `done()` is true, whichever
    // comes first. done() can only change inside an event, so it is checked
    // after each one; waiting costs no CPU.
    virtual void waitFor(std::chrono::microseconds duration, const std::function<bool()>& done) = 0;
};

} // namespace tremlo
