#include "prompt_blink.h"

#include <utility>

namespace tremlo {

PromptBlink::PromptBlink(TimerFactory& timers, std::function<void(bool shown)> show)
    : m_show(std::move(show)), m_timer(timers.createTimer("Timer1")) {
    m_timer->onTick([this] { Timer1_Timer(); });
    m_timer->setInterval(kIntervalMs);
    m_timer->setEnabled(true);
}

void PromptBlink::Timer1_Timer() {
    m_shown = !m_shown;
    if (m_show)
        m_show(m_shown);
}

} // namespace tremlo
