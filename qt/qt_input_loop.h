#pragma once

// The input sources' event loop on Qt's: descriptors through socket
// notifiers, tasks from other threads as queued calls.
//
// Thread: the user-interface thread; post() from any.

#include "input_source.h"

#include <QObject>
#include <map>
#include <memory>

class QSocketNotifier;

namespace tremlo {

class QtInputLoop : public input::InputLoop {
public:
    QtInputLoop();
    ~QtInputLoop() override;

    void post(std::function<void()> task) override;
    int watchReadable(int fd, std::function<void()> onReadable) override;
    void unwatch(int id) override;

private:
    // The receiver of posted tasks: they are dropped with the loop.
    QObject m_context;
    std::map<int, std::unique_ptr<QSocketNotifier>> m_notifiers;
    int m_nextId = 1;
};

} // namespace tremlo
