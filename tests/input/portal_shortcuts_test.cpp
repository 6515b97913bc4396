// The system-wide keys through the desktop portal: the client's whole D-Bus
// conversation against a stand-in portal on a private session bus of the
// test's own, which grants the keys and sends their presses and releases.

#include "offscreen_application.h"
#include "portal_shortcuts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace tremlo {
namespace {

// One entry of the portal's a(sa{sv}), as the stand-in reads and answers it.
struct Shortcut {
    QString id;
    QVariantMap properties;
};

} // namespace
} // namespace tremlo

Q_DECLARE_METATYPE(tremlo::Shortcut)

namespace tremlo {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// Grants every key asked for, describing it as "granted <trigger>", and
// answers each request through its Request object, as a real portal does.
class StandInPortal : public QDBusVirtualObject {
public:
    explicit StandInPortal(QDBusConnection bus) : m_bus(std::move(bus)) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        const QString member = message.member();
        if (member == QLatin1String("Close")) {
            closed.push_back(message.path());
            m_bus.send(message.createReply());
            return true;
        }
        if (member != QLatin1String("CreateSession") && member != QLatin1String("BindShortcuts"))
            return false;
        const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().back());
        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString request = kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') +
                                options.value(QStringLiteral("handle_token")).toString();
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));

        QVariantMap results;
        if (member == QLatin1String("CreateSession")) {
            session = kPath + QStringLiteral("/session/") + sender + QLatin1Char('/') +
                      options.value(QStringLiteral("session_handle_token")).toString();
            results.insert(QStringLiteral("session_handle"), session);
        } else {
            boundSession = message.arguments()[0].value<QDBusObjectPath>().path();
            QList<Shortcut> granted;
            for (const Shortcut& wanted :
                 qdbus_cast<QList<Shortcut>>(message.arguments()[1].value<QDBusArgument>())) {
                const QString trigger =
                    wanted.properties.value(QStringLiteral("preferred_trigger")).toString();
                asked.emplace_back(wanted.id, trigger);
                granted.push_back({wanted.id,
                                   {{QStringLiteral("trigger_description"),
                                     QStringLiteral("granted ") + trigger}}});
            }
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(granted));
        }
        QDBusMessage response = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << uint(refuse ? 1 : 0) << results;
        m_bus.send(response);
        return true;
    }

    // Activated or Deactivated, as the desktop sends them for a key.
    void send(const char* member, const QString& inSession, const QString& id) {
        QDBusMessage signal =
            QDBusMessage::createSignal(kPath, kInterface, QString::fromLatin1(member));
        signal << QVariant::fromValue(QDBusObjectPath(inSession)) << id << qulonglong(1)
               << QVariantMap();
        m_bus.send(signal);
    }

    QString session, boundSession;
    std::vector<std::pair<QString, QString>> asked; // id, preferred trigger
    std::vector<QString> closed;
    bool refuse = false;

private:
    QDBusConnection m_bus;
};

// A session bus of the test's own, stopped with the fixture.
class PortalShortcutsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::application();
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<QList<Shortcut>>();
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
