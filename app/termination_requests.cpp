#include "termination_requests.h"

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QWidget>
#include <atomic>
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
std::atomic<bool> g_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used in a signal handler");

void onSignal(int number) {
    const int savedErrno = errno;
    // Asked again: whatever the first request waits on (the sound server, a
    // box, a stalled write) the user will not wait for.
    if (g_requested.exchange(true) && (number == SIGINT || number == SIGTERM)) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        ::sigaction(number, &action, nullptr);
        ::raise(number); // taken as the handler returns
        errno = savedErrno;
        return;
    }
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

bool TerminationRequests::requested() {
    return g_requested.load();
}

void TerminationRequests::watch(QGuiApplication& application) {
    if (m_pipe[0] < 0 || m_notifier)
        return;
    // Owned by the application: it must go before the event loop's thread
    // data does.
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, &application);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(m_pipe[0], bytes, sizeof bytes) > 0) {
        }
        onRequest();
    });
}

void TerminationRequests::answer(QGuiApplication& application, std::function<void()> quit,
                                 std::function<void()> checkpoint) {
    m_quit = std::move(quit);
    watch(application);
    // The session ends as a signal would end us. A snapshot of the session
    // leaves us running, with the settings saved in case the end that
    // follows comes without a word.
    connect(&application, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { onRequest(); });
    connect(&application, &QGuiApplication::saveStateRequest, this,
            [checkpoint = std::move(checkpoint)](QSessionManager&) {
                if (checkpoint)
                    checkpoint();
            });
}

void TerminationRequests::onRequest() {
    if (!m_quit) {
        // Start-up sees the request at its next step; a box it waits in
        // closes as its Cancel or OK would.
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
        return;
    }
    if (m_quitting)
        return;
    m_quitting = true;
    m_quit();
}

} // namespace tremlo
