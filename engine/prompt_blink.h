#pragma once

// The blinking prompt of the key-capture dialog, without the widget: a timer
// (Timer1) that turns the prompt off and on every 500 ms, so the prompt is
// shown for half a second and hidden for half a second while the dialog
// waits for a key. The dialog only forwards the visibility to its label.
//
// Thread: the user-interface thread; the ticks arrive on it.

#include "timer.h"

#include <functional>
#include <memory>

namespace tremlo {

class PromptBlink {
public:
    static constexpr int kIntervalMs = 500;

    // Starts blinking at once, with the prompt shown; `show` hears every change.
    PromptBlink(TimerFactory& timers, std::function<void(bool shown)> show);

    void stop() { m_timer->setEnabled(false); }
    bool shown() const { return m_shown; }
    bool running() const { return m_timer->enabled(); }

private:
    void Timer1_Timer();

    std::function<void(bool)> m_show;
    std::unique_ptr<Timer> m_timer;
    bool m_shown = true;
};

} // namespace tremlo
