#pragma once

// The blinking of the status panel's message label lblStatus, driven by the
// timer tmrStatusFlash.
//
// A new message blinks a few times and then stays lit for five seconds before
// it goes out, so a user who looks away still catches it. The sequence is a
// countdown of ticks: odd counts hide the label for a short 250 ms, even counts
// show it for 750 ms, the count of 1 keeps it shown for 5000 ms and the count
// of 0 hides it and stops the timer. The panel starts with the countdown at 8
// and the timer running, so a message set before the panel first appears
// blinks in from hidden.
//
// No widgets here: the label's visibility goes through a callback, so the
// sequence runs on any timer factory, the manual clock of the tests included.
//
// Thread: the user-interface thread; ticks arrive on it.

#include "timer.h"

#include <functional>
#include <memory>

namespace tremlo {

class StatusFlash {
public:
    using SetVisible = std::function<void(bool visible)>;

    StatusFlash(TimerFactory& timers, SetVisible setVisible);
    StatusFlash(const StatusFlash&) = delete;
    StatusFlash& operator=(const StatusFlash&) = delete;

    // A new message: the label goes out at once and, with `flash`, the whole
    // sequence starts over from the first 1500 ms wait.
    void showMessage(bool flash);
    // Ends the sequence where it ends by itself: the label out, the timer
    // stopped. A panel made again uses it, so its opening flash never shows
    // over a message that has already been shown.
    void settle();

    int countdown() const { return m_countdown; }
    const Timer& timer() const { return *m_timer; }

    static constexpr int kFirstWaitMs = 1500;
    static constexpr int kDarkMs = 250;
    static constexpr int kLitMs = 750;
    static constexpr int kHoldMs = 5000;

private:
    void tick();

    std::unique_ptr<Timer> m_timer; // tmrStatusFlash
    SetVisible m_setVisible;
    int m_countdown = 8;
};

} // namespace tremlo
