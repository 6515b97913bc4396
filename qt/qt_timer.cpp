#include "qt_timer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace tremlo {
namespace {

class QtTimer : public Timer {
public:
    explicit QtTimer(const std::string& name) {
        m_timer.setObjectName(QString::fromStdString(name));
        // Coarse timers may fire 5% late; the door delay is counted in ms.
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_handler)
                m_handler();
        });
    }

    void setInterval(int ms) override {
        m_interval = ms;
        if (m_enabled)
            start();
    }
    int interval() const override { return m_interval; }

    void setEnabled(bool enabled) override {
        if (enabled == m_enabled)
            return;
        m_enabled = enabled;
        if (enabled)
            start();
        else
            m_timer.stop();
    }
    bool enabled() const override { return m_enabled; }

    void onTick(std::function<void()> handler) override { m_handler = std::move(handler); }

private:
    void start() {
        if (m_interval > 0)
            m_timer.start(m_interval);
        else
            m_timer.stop();
    }

    QTimer m_timer;
    int m_interval = 0;
    bool m_enabled = false;
    std::function<void()> m_handler;
};

} // namespace

std::unique_ptr<Timer> QtTimerFactory::createTimer(const std::string& name) {
    return std::make_unique<QtTimer>(name);
}

void QtEventPump::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::waitFor(std::chrono::microseconds duration, const std::function<bool()>& done) {
    if (done())
        return;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    bool timedOut = false;
    QObject::connect(&deadline, &QTimer::timeout, [&] { timedOut = true; });
    // Rounded up: the wait never ends before its time.
    deadline.start(static_cast<int>((duration.count() + 999) / 1000));
    // Each pass sleeps until at least one event arrives and runs what is
    // pending; done() can only change inside one of those events.
    while (!timedOut && !done())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace tremlo
