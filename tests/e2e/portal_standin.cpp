// A stand-in desktop portal for the end-to-end tests of the system-wide keys
// on Wayland: on the session bus it is started with, it owns
// org.freedesktop.portal.Desktop and grants every key asked for. It prints
// "bound TRIGGER..." once the keys are bound; SIGUSR1 then sends Activated
// for ON, SIGUSR2 Deactivated.

#include "standin_portal.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<int> g_pressed{0}, g_released{0};

void onSignal(int number) {
    (number == SIGUSR1 ? g_pressed : g_released).fetch_add(1);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    tremlo::test::registerPortalTypes();
    QDBusConnection bus = QDBusConnection::sessionBus();
    tremlo::test::StandInPortal portal(bus);
    if (!bus.registerVirtualObject(tremlo::test::kPortalPath, &portal, QDBusConnection::SubPath) ||
        !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
        std::fprintf(stderr, "portal_standin: cannot take the portal's name on the bus\n");
        return 1;
    }
    portal.bound = [&portal] {
        std::printf("bound");
        for (const auto& [id, trigger] : portal.asked)
            std::printf(" %s=%s", qPrintable(id), qPrintable(trigger));
        std::printf("\n");
        std::fflush(stdout);
    };
    std::signal(SIGUSR1, onSignal);
    std::signal(SIGUSR2, onSignal);
    // Signals are only counted in the handler; the sends happen here.
    int pressed = 0, released = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (; pressed < g_pressed.load(); ++pressed)
            portal.send("Activated", portal.session, QStringLiteral("on"));
        for (; released < g_released.load(); ++released)
            portal.send("Deactivated", portal.session, QStringLiteral("on"));
    });
    poll.start(5);
    return QCoreApplication::exec();
}
