// The system-wide keys through the desktop portal: the client's whole D-Bus
// conversation against a stand-in portal on a private session bus of the
// test's own, which grants the keys and sends their presses and releases.

#include "offscreen_application.h"
#include "portal_shortcuts.h"
#include "standin_portal.h"

#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace tremlo {
namespace {

using test::StandInPortal;
const QString kPath = test::kPortalPath;

// A session bus of the test's own, stopped with the fixture.
class PortalShortcutsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::application();
        test::registerPortalTypes();
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                QStringLiteral("--print-address=1"),
                                QStringLiteral("--address=unix:path=") + m_folder.path() +
                                    QStringLiteral("/bus")});
        ASSERT_TRUE(m_daemon.waitForReadyRead(30000)) << "dbus-daemon did not start";
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    void TearDown() override {
        for (const QString& name : m_names)
            QDBusConnection::disconnectFromBus(name);
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            m_daemon.waitForFinished(30000);
        }
    }

    QDBusConnection connect(const QString& name) {
        m_names.push_back(name);
        return QDBusConnection::connectToBus(m_address, name);
    }

    // Runs the event loop until `done`; the deadline only keeps a broken
    // conversation from hanging the suite.
    template <typename Done> bool until(Done done) {
        const QDeadlineTimer deadline(30000);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return done();
    }

    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    std::vector<QString> m_names;
};

using Keys = std::vector<std::pair<input::SwitchButton, bool>>;

TEST_F(PortalShortcutsTest, TheGrantedKeysPressAndReleaseInTheirSessionOnly) {
    QDBusConnection portalBus = connect(QStringLiteral("portal"));
    StandInPortal portal(portalBus);
    ASSERT_TRUE(portalBus.registerVirtualObject(kPath, &portal, QDBusConnection::SubPath));
    ASSERT_TRUE(portalBus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

    Keys keys;
    PortalShortcuts shortcuts(
        connect(QStringLiteral("client")),
        [&](input::SwitchButton button, bool pressed) { keys.emplace_back(button, pressed); });
    shortcuts.setKeys("Ctrl+Shift+F9", "Meta+A");
    EXPECT_EQ(shortcuts.state(), PortalShortcuts::State::Asking);
    ASSERT_TRUE(until([&] { return shortcuts.state() != PortalShortcuts::State::Asking; }));
    ASSERT_EQ(shortcuts.state(), PortalShortcuts::State::Bound);
    EXPECT_EQ(portal.boundSession, portal.session);
    EXPECT_EQ(portal.asked, (std::vector<std::pair<QString, QString>>{{"on", "CTRL+SHIFT+F9"},
                                                                      {"off", "LOGO+a"}}));
    EXPECT_EQ(shortcuts.granted(input::SwitchButton::On), QString("granted CTRL+SHIFT+F9"));
    EXPECT_EQ(shortcuts.granted(input::SwitchButton::Off), QString("granted LOGO+a"));

    // A key held: pressed, then released; one of another session is not ours.
    portal.send("Activated", portal.session, QStringLiteral("on"));
    portal.send("Activated", portal.session + QStringLiteral("x"), QStringLiteral("off"));
    portal.send("Deactivated", portal.session, QStringLiteral("on"));
    portal.send("Activated", portal.session, QStringLiteral("off"));
    ASSERT_TRUE(until([&] { return keys.size() == 3; }));
    EXPECT_EQ(keys, (Keys{{input::SwitchButton::On, true},
                          {input::SwitchButton::On, false},
                          {input::SwitchButton::Off, true}}));

    // New keys: the held one lets go, the old session closes, a new one is
    // bound; a refusal is said as such.
    const QString first = portal.session;
    portal.refuse = true;
    shortcuts.setKeys("F8", "");
    EXPECT_EQ(keys.back(), std::pair(input::SwitchButton::Off, false));
    ASSERT_TRUE(until([&] { return shortcuts.state() == PortalShortcuts::State::Refused; }));
    EXPECT_EQ(portal.closed, std::vector<QString>{first});
}

TEST_F(PortalShortcutsTest, WithoutAPortalTheKeysAreSaidToBeUnavailable) {
    PortalShortcuts shortcuts(connect(QStringLiteral("client")), [](input::SwitchButton, bool) {});
    shortcuts.setKeys("F8", "F9");
    ASSERT_TRUE(until([&] { return shortcuts.state() != PortalShortcuts::State::Asking; }));
    EXPECT_EQ(shortcuts.state(), PortalShortcuts::State::Unavailable);
    EXPECT_TRUE(shortcuts.granted(input::SwitchButton::On).isEmpty());
}

TEST(PortalTrigger, KeysAreAskedForInTheShortcutsNotation) {
    EXPECT_EQ(portalTriggerOf("Ctrl+Alt+F9"), "CTRL+ALT+F9");
    EXPECT_EQ(portalTriggerOf("Shift+Num+5"), "SHIFT+KP_5");
    EXPECT_EQ(portalTriggerOf("Ctrl+Henkan"), "CTRL+Henkan_Mode");
    EXPECT_EQ(portalTriggerOf("Shift"), std::nullopt);
}

} // namespace
} // namespace tremlo
