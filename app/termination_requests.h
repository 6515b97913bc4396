#pragma once

// The ways the system asks the program to end: SIGTERM (kill, a shutdown),
// SIGINT (Ctrl+C in the terminal it runs in), SIGHUP (that terminal closed)
// and the end of the desktop session. Each is answered as 終了 is answered,
// so the sounds stop and the settings are saved before the process ends.
//
// The signal handlers only note the request and write the signal's number
// to a pipe; the answer runs later on the user-interface thread. During
// start-up, which may wait on the sound server or in a message box, the
// request closes the box it waits in and start-up ends at its next step
// (requested()). A second SIGINT or SIGTERM is not waited on: the process
// ends at once, by that signal. The settings file is written whole or not at
// all, so even that leaves no half-written file.
//
// Thread: the user-interface thread; one object per process.

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <functional>

class QGuiApplication;

namespace tremlo {

class TerminationRequests : public QObject {
public:
    // Catches the three signals from now on; before this they end the
    // process at once, as they do by default.
    TerminationRequests();
    ~TerminationRequests() override;
    TerminationRequests(const TerminationRequests&) = delete;
    TerminationRequests& operator=(const TerminationRequests&) = delete;

    // Whether a signal has asked the program to end; any thread.
    static bool requested();

    // Once the application exists: a request that comes while start-up waits
    // in a message box closes the box.
    void watch(QGuiApplication& application);
    // `quit` ends the program the way 終了 does; it runs once, for the first
    // request. `checkpoint` saves what a session manager would otherwise lose
    // when it takes a snapshot of the session without ending it.
    void answer(QGuiApplication& application, std::function<void()> quit,
                std::function<void()> checkpoint);

private:
    void onRequest();

    int m_pipe[2] = {-1, -1};
    QPointer<QSocketNotifier> m_notifier;
    std::function<void()> m_quit;
    bool m_quitting = false;
};

} // namespace tremlo
