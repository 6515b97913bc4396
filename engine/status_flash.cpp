#include "status_flash.h"

namespace tremlo {

namespace {
constexpr int kMessageCountdown = 7;
}

StatusFlash::StatusFlash(TimerFactory& timers, SetVisible setVisible)
    : m_timer(timers.createTimer("tmrStatusFlash")), m_setVisible(std::move(setVisible)) {
    m_timer->onTick([this] { tick(); });
    m_timer->setInterval(kFirstWaitMs);
    m_timer->setEnabled(true);
}

void StatusFlash::showMessage(bool flash) {
    m_setVisible(false);
    if (!flash)
        return;
    // Stopped first, so that the new interval counts from now even when the
    // timer was already running.
    m_timer->setEnabled(false);
    m_timer->setInterval(kFirstWaitMs);
    m_countdown = kMessageCountdown;
    m_timer->setEnabled(true);
}

void StatusFlash::settle() {
    m_setVisible(false);
    m_countdown = kMessageCountdown;
    m_timer->setEnabled(false);
}

void StatusFlash::tick() {
    --m_countdown;
    if (m_countdown == 0) {
        m_setVisible(false);
        m_countdown = kMessageCountdown;
        m_timer->setEnabled(false);
    } else if (m_countdown == 1) {
        m_setVisible(true);
        m_timer->setInterval(kHoldMs);
    } else if (m_countdown % 2 == 1) {
        m_setVisible(false);
        m_timer->setInterval(kDarkMs);
    } else {
        m_setVisible(true);
        m_timer->setInterval(kLitMs);
    }
}

} // namespace tremlo
