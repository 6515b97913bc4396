#include "qt_input_loop.h"

#include <QMetaObject>
#include <QSocketNotifier>

namespace tremlo {

QtInputLoop::QtInputLoop() = default;
QtInputLoop::~QtInputLoop() = default;

void QtInputLoop::post(std::function<void()> task) {
    // The queued call owns its copy of the task and frees it once run, or
    // with m_context; the analyzer cannot see into Qt's event queue.
    // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks)
    QMetaObject::invokeMethod(&m_context, std::move(task), Qt::QueuedConnection);
}

int QtInputLoop::watchReadable(int fd, std::function<void()> onReadable) {
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &m_context,
                     [onReadable = std::move(onReadable)] { onReadable(); });
    const int id = m_nextId++;
    m_notifiers.emplace(id, std::move(notifier));
    return id;
}

void QtInputLoop::unwatch(int id) {
    m_notifiers.erase(id);
}

} // namespace tremlo
