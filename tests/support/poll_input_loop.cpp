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
    std::vector<pollfd> fds{{m_wake, POLLIN, 0}};
    std::vector<int> ids;
    for (const auto& [id, watch] : m_watches) {
        fds.push_back({watch.first, POLLIN, 0});
        ids.push_back(id);
    }
    if (::poll(fds.data(), fds.size(), timeoutMs) <= 0)
        return;
    if (fds[0].revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(m_wake, &count, sizeof count);
    }
    std::deque<std::function<void()>> tasks;
    {
        const std::lock_guard lock(m_mutex);
        tasks.swap(m_tasks);
    }
    for (auto& task : tasks)
        task();
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

void PollInputLoop::runFor(std::chrono::milliseconds span) {
    runUntil([] { return false; }, span);
}

} // namespace tremlo::testing
