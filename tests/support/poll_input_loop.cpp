#include "poll_input_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace tremlo::testing {

PollInputLoop::PollInputLoop() : m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

PollInputLoop::~PollInputLoop() {
    ::close(m_wake);
}

void PollInputLoop::post(std::function<void()> task) {
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
}

int PollInputLoop::watchReadable(int fd, std::function<void()> onReadable) {
    const int id = m_nextId++;
    m_watches.emplace(id, std::make_pair(fd, std::move(onReadable)));
    return id;
}

void PollInputLoop::unwatch(int id) {
    m_watches.erase(id);
}

void PollInputLoop::runOnce(int timeoutMs) {
    // One task at a time from the shared queue, as Qt takes its posted
    // events: a task that runs the loop again (a nested wait) runs those
    // posted before it, in order, before any posted later. Only what was
    // posted before this pass runs in it. A nested pass finds the wake-up
    // already read, so it goes by the queue rather than by the wake-up.
    std::size_t pending = 0;
    {
        const std::lock_guard lock(m_mutex);
        pending = m_tasks.size();
    }
    std::vector<pollfd> fds{{m_wake, POLLIN, 0}};
    std::vector<int> ids;
    for (const auto& [id, watch] : m_watches) {
        fds.push_back({watch.first, POLLIN, 0});
        ids.push_back(id);
    }
    if (::poll(fds.data(), fds.size(), pending > 0 ? 0 : timeoutMs) <= 0 && pending == 0)
        return;
    if (fds[0].revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(m_wake, &count, sizeof count);
        const std::lock_guard lock(m_mutex);
        pending = m_tasks.size();
    }
    for (; pending > 0; --pending) {
        std::function<void()> task;
        {
            const std::lock_guard lock(m_mutex);
            if (m_tasks.empty())
                break;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
        // A callback may have unwatched another.
        const auto watch = m_watches.find(ids[i - 1]);
        if (fds[i].revents != 0 && watch != m_watches.end())
            watch->second.second();
    }
}

bool PollInputLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return done();
        runOnce(static_cast<int>(std::min<long long>(left.count(), 50)));
    }
    return true;
}

void PollInputLoop::runPending() {
    runOnce(0);
}

void PollInputLoop::runFor(std::chrono::milliseconds span) {
    runUntil([] { return false; }, span);
}

} // namespace tremlo::testing
