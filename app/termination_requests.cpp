#include "termination_requests.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tremlo {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the handler, which may run on any thread and may call nothing
// but async-signal-safe functions.
volatile sig_atomic_t g_writeEnd = -1;

void onSignal(int number) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(number);
    // A full pipe already holds a request; this one adds nothing.
    [[maybe_unused]] const ssize_t ignored = ::write(g_writeEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

TerminationRequests::TerminationRequests() {
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return;
    }
    g_writeEnd = m_pipe[1];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls resume: the sound and display threads are
    // not to see EINTR on our account.
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals)
        ::sigaction(number, &action, nullptr);
}

TerminationRequests::~TerminationRequests() {
    if (m_pipe[1] < 0)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : kSignals)
        ::sigaction(number, &action, nullptr);
    g_writeEnd = -1;
    delete m_notifier;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void TerminationRequests::answer(QGuiApplication& application, std::function<void()> quit,
                                 std::function<void()> checkpoint) {
    m_quit = std::move(quit);
    if (m_pipe[0] >= 0) {
        // Owned by the application: it must go before the event loop's
        // thread data does.
        m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, &application);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            char bytes[16];
            while (::read(m_pipe[0], bytes, sizeof bytes) > 0) {
            }
            requested();
        });
    }
    // The session ends as a signal would end us. A snapshot of the session
    // leaves us running, with the settings saved in case the end that
    // follows comes without a word.
    connect(&application, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { requested(); });
    connect(&application, &QGuiApplication::saveStateRequest, this,
            [checkpoint = std::move(checkpoint)](QSessionManager&) {
                if (checkpoint)
                    checkpoint();
            });
}

void TerminationRequests::requested() {
    if (m_quitting || !m_quit)
        return;
    m_quitting = true;
    m_quit();
}

} // namespace tremlo
