#pragma once

// The input sources' event loop for tests: poll(2) over the watched
// descriptors and an eventfd for posted tasks, run by the test for as long as
// it waits. Same contract as the program's loop, no Qt.

#include "input_source.h"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace tremlo::testing {

class PollInputLoop : public input::InputLoop {
public:
    PollInputLoop();
    ~PollInputLoop() override;

    void post(std::function<void()> task) override;
    int watchReadable(int fd, std::function<void()> onReadable) override;
    void unwatch(int id) override;

    // Runs tasks and callbacks until `done` holds or `limit` has passed;
    // returns done().
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Runs the tasks posted so far and the callbacks ready now, waiting for
    // nothing.
    void runPending();
    // Runs whatever is ready now and for `span` more.
    void runFor(std::chrono::milliseconds span);

private:
    void runOnce(int timeoutMs);

    int m_wake;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_tasks;
    std::map<int, std::pair<int, std::function<void()>>> m_watches; // id → fd, callback
    int m_nextId = 1;
};

} // namespace tremlo::testing
