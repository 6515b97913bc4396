// The remotes' servers with real sockets on loopback, on Qt's offscreen
// platform, pressing the engine's switch: what a client that goes, a change
// of the settings or a crowd of idle connections does to the others.

#include "engine_rig.h"
#include "mpris.h"
#include "offscreen_application.h"
#include "remote_control.h"

#include <QEventLoop>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <QWebSocket>
#include <deque>
#include <gtest/gtest.h>

namespace tremlo::remote::test {
namespace {

using tremlo::test::EngineRig;
using tremlo::test::QuietLoaderViews;
using tremlo::test::WithApplication;

constexpr const char* kToken = "q3Xv0Jr8cW1tZk7nB2mA5g";
// A page's socket asked for by hand, as a client that never answers pings.
constexpr const char* kUpgrade = "GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                                 "Connection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";

// Runs events until `done`; false after about 20 s without it, which only a
// fault makes happen, so the limit says nothing about speed.
bool eventually(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer tick;
    tick.start(5);
    for (int i = 0; i < 4000 && !done(); ++i)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The switch of an engine rig as the remotes see it, its presses and
// releases going to the engine as the program's do.
struct ServerRig : WithApplication {
    ServerRig() : remoteSwitch(rig.state, rig.library(), rig.view, rig.view, windowViews) {
        remoteSwitch.setActions({[this](const RemoteCommand& command) {
                                     const bool on = command.button == RemoteCommand::Button::On;
                                     if (command.kind == RemoteCommand::Kind::Press)
                                         on ? engine().PressOnButton() : engine().PressOffButton();
                                     else if (command.kind == RemoteCommand::Kind::Release)
                                         on ? engine().ReleaseOnButton()
                                            : engine().ReleaseOffButton();
                                 },
                                 {},
                                 {},
                                 {}});
        rig.loadWaveMelody(2000);
    }
    MelodyEngine& engine() { return rig.engine(); }
    bool sounding() const { return rig.state.OnSwitchState != SwitchPosition::Off; }

    RemoteSettings settings(bool lan) const {
        RemoteSettings chosen;
        chosen.Web = true;
        chosen.WebPort = port;
        chosen.Lan = lan;
        chosen.Token = kToken;
        return chosen;
    }

    // A connection from `address` (any of 127/8) to the page's port.
    std::unique_ptr<QTcpSocket> from(const char* address) const {
        auto socket = std::make_unique<QTcpSocket>();
        socket->bind(QHostAddress(QString::fromLatin1(address)));
        socket->connectToHost(QHostAddress::LocalHost, port);
        return socket;
    }
    // The status line the server answers `request` with.
    static QByteArray answer(QTcpSocket& socket, const QByteArray& request) {
        socket.write(request);
        eventually([&] { return socket.canReadLine(); });
        return socket.readLine().trimmed();
    }

    // A page's socket on loopback, open once this returns true.
    bool connectPage(QWebSocket& page) {
        page.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)));
        return eventually([&] { return page.state() == QAbstractSocket::ConnectedState; });
    }

    EngineRig rig;
    QuietLoaderViews windowViews;
    RemoteSwitch remoteSwitch;
    std::int64_t nowMs = 0;
    RemoteControl remote{remoteSwitch, {}, [this] { return nowMs; }};
    quint16 port = freePort();
};

// A new token, the page turned off and LAN access turned off each lock out
// the pages already open, not only new ones.
TEST(RemoteServers, SettingsChangeClosesOpenPages) {
    ServerRig rig;
    const auto newToken = [&] {
        RemoteSettings changed = rig.settings(false);
        changed.Token = "another-token-of-22-chr";
        return changed;
    };
    const auto pageOff = [&] {
        RemoteSettings changed = rig.settings(false);
        changed.Web = false;
        return changed;
    };
    const struct {
        const char* name;
        RemoteSettings before;
        RemoteSettings after;
    } changes[] = {
        {"new token", rig.settings(false), newToken()},
        {"page off", rig.settings(false), pageOff()},
        {"LAN off", rig.settings(true), rig.settings(false)},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.name);
        ASSERT_TRUE(rig.remote.apply(change.before).empty());
        QWebSocket page;
        ASSERT_TRUE(rig.connectPage(page));
        rig.remote.apply(change.after);
        EXPECT_TRUE(eventually([&] { return page.state() == QAbstractSocket::UnconnectedState; }));
    }
}

// A phone that presses ON and drops leaves the switch free: OFF from the
// window stops the melody.
TEST(RemoteServers, VanishedPageLetsGoOfItsPress) {
    ServerRig rig;
    ASSERT_TRUE(rig.remote.apply(rig.settings(false)).empty());
    QWebSocket page;
    ASSERT_TRUE(rig.connectPage(page));
    page.sendTextMessage(QStringLiteral(R"({"press":"on"})"));
    ASSERT_TRUE(eventually([&] { return rig.rig.state.OnButtonDown; }));
    ASSERT_TRUE(rig.sounding());
    page.abort();
    EXPECT_TRUE(eventually([&] { return !rig.rig.state.OnButtonDown; }));
    rig.engine().PressOffButton();
    rig.engine().ReleaseOffButton();
    EXPECT_FALSE(rig.sounding());
}

// Idle request heads from one address take only a few seats of the waiting
// room: the next from it is turned away at once, another address is served.
TEST(RemoteServers, IdleHeadsFromOneAddress) {
    ServerRig rig;
    ASSERT_TRUE(rig.remote.apply(rig.settings(false)).empty());
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < kMaxUnfinishedHeadsPerAddress; ++i) {
        idle.push_back(rig.from("127.0.0.2"));
        ASSERT_TRUE(
            eventually([&] { return idle.back()->state() == QAbstractSocket::ConnectedState; }));
    }
    const QByteArray request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    EXPECT_EQ(ServerRig::answer(*rig.from("127.0.0.2"), request),
              "HTTP/1.1 503 Service Unavailable");
    EXPECT_EQ(ServerRig::answer(*rig.from("127.0.0.1"), request), "HTTP/1.1 200 OK");
}

// The rules and Qt's handshake must judge the same header: one that matters
// comes once, and no line is folded onto the one before.
TEST(RemoteServers, AmbiguousHeadsAreRefused) {
    ServerRig rig;
    ASSERT_TRUE(rig.remote.apply(rig.settings(false)).empty());
    const QByteArray start = "GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    const QByteArray upgrade = "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                               "Sec-WebSocket-Version: 13\r\n";
    const QByteArray key = "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";
    const struct {
        const char* name;
        QByteArray head;
    } heads[] = {
        {"two hosts", start + "Host: evil.example\r\n" + upgrade + key},
        {"two origins",
         start + "Origin: http://127.0.0.1\r\nOrigin: http://evil.example\r\n" + upgrade + key},
        {"two upgrades", start + upgrade + "Upgrade: websocket\r\n" + key},
        {"two keys", start + upgrade + key + key},
        {"a folded line", start + upgrade + key + "X-Note: a\r\n Origin: http://evil.example\r\n"},
    };
    for (const auto& head : heads) {
        SCOPED_TRACE(head.name);
        EXPECT_EQ(ServerRig::answer(*rig.from("127.0.0.1"), head.head + "\r\n"),
                  "HTTP/1.1 400 Bad Request");
    }
}

// An OSC press is held while its sender repeats it; a sender quiet for the
// hold time, its release lost, lets go, and OFF from the window works again.
TEST(RemoteServers, QuietOscSenderLetsGo) {
    ServerRig rig;
    std::int64_t nowMs = 0;
    AccessPolicy policy;
    OscServer osc(rig.remoteSwitch, policy, [&] { return nowMs; });
    ASSERT_FALSE(osc.listen(0, false));
    QUdpSocket deck;
    const auto send = [&](const OscMessage& message) {
        const auto bytes = encodeOscMessage(message);
        deck.writeDatagram(reinterpret_cast<const char*>(bytes.data()),
                           static_cast<qint64>(bytes.size()), QHostAddress::LocalHost, osc.port());
    };
    // The state asked for after a press tells the press was taken.
    const auto press = [&] {
        send({"/tremolo/on", {std::int32_t{1}}});
        send({"/tremolo/state", {}});
        ASSERT_TRUE(eventually([&] { return deck.hasPendingDatagrams(); }));
        while (deck.hasPendingDatagrams())
            deck.receiveDatagram();
    };
    press();
    ASSERT_TRUE(rig.rig.state.OnButtonDown);
    nowMs = kOscHoldMs - 500;
    press();
    nowMs = 2 * kOscHoldMs - 501;
    osc.letGoOfQuietSenders();
    EXPECT_TRUE(rig.rig.state.OnButtonDown) << "the repeat keeps the press";
    nowMs = 2 * kOscHoldMs - 500;
    osc.letGoOfQuietSenders();
    EXPECT_FALSE(rig.rig.state.OnButtonDown);
    rig.engine().PressOffButton();
    rig.engine().ReleaseOffButton();
    EXPECT_FALSE(rig.sounding());
}

// A client that pings and never reads would have Qt queue every pong: it
// is dropped once its unsent bytes pass the limit, however fast it sends.
TEST(RemoteServers, PageThatNeverReadsIsDropped) {
    ServerRig rig;
    ASSERT_TRUE(rig.remote.apply(rig.settings(false)).empty());
    QTcpSocket client;
    client.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    client.connectToHost(QHostAddress::LocalHost, rig.port);
    ASSERT_TRUE(eventually([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    client.write(kUpgrade);
    ASSERT_TRUE(eventually([&] { return client.canReadLine(); }));
    ASSERT_EQ(client.readLine().trimmed(), "HTTP/1.1 101 Switching Protocols");
    // Masked pings of 125 bytes, as a browser would send them.
    QByteArray ping("\x89\xfd\0\0\0\0", 6);
    ping.append(125, 'p');
    QByteArray burst;
    for (int i = 0; i < 1000; ++i)
        burst += ping;
    // Up to 400 MB of pings; the fault this catches never closes.
    int bursts = 0;
    EXPECT_TRUE(eventually([&] {
        if (client.state() != QAbstractSocket::ConnectedState)
            return true;
        if (client.bytesToWrite() < burst.size() && bursts < 3000) {
            client.write(burst);
            ++bursts;
        }
        return false;
    }));
}

// A page that has said nothing, not even a pong, for a long time is gone:
// its socket is closed rather than kept for ever.
TEST(RemoteServers, SilentPageIsClosed) {
    ServerRig rig;
    ASSERT_TRUE(rig.remote.apply(rig.settings(false)).empty());
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, rig.port);
    client.write(kUpgrade);
    ASSERT_TRUE(eventually([&] { return client.canReadLine(); }));
    ASSERT_EQ(client.readLine().trimmed(), "HTTP/1.1 101 Switching Protocols");
    rig.nowMs = 75'000;
    EXPECT_TRUE(eventually([&] { return client.state() != QAbstractSocket::ConnectedState; }));
}

// A load lets window events run, and a queued media-controls call is one of
// them: the calls must wait for the load, never start one inside it.
TEST(RemoteServers, QueuedMediaStepsNeverNest) {
    tremlo::test::application();
    EngineRig engineRig;
    QuietLoaderViews windowViews;
    RemoteSwitch remoteSwitch(engineRig.state, engineRig.library(), engineRig.view, engineRig.view,
                              windowViews);
    Mpris mpris(remoteSwitch, {});
    auto* player = mpris.findChild<MprisPlayer*>();
    ASSERT_NE(player, nullptr);

    std::deque<std::function<void()>> posted;
    int callsWaiting = 1000;
    // What the event pump would deliver: ten of the bus's calls, then the
    // tasks posted so far.
    const auto processEvents = [&] {
        for (int i = 0; i < 10 && callsWaiting > 0; ++i, --callsWaiting)
            player->Next();
        while (!posted.empty()) {
            auto task = std::move(posted.front());
            posted.pop_front();
            task();
        }
    };
    int depth = 0;
    int deepest = 0;
    int loads = 0;
    int clicks = 0;
    bool savesHeld = false;
    int settled = 0;
    remoteSwitch.setActions({[&](const RemoteCommand& command) {
                                 if (command.kind != RemoteCommand::Kind::Step) {
                                     ++clicks;
                                     return;
                                 }
                                 ++loads;
                                 EXPECT_TRUE(savesHeld);
                                 deepest = std::max(deepest, ++depth);
                                 processEvents();
                                 --depth;
                             },
                             {},
                             [&](std::function<void()> task) { posted.push_back(std::move(task)); },
                             [&](bool held) {
                                 settled += savesHeld && !held;
                                 savesHeld = held;
                             }});
    // A press, too, waits for the event loop: the call returns first.
    player->Stop();
    EXPECT_EQ(clicks, 0);
    while (callsWaiting > 0 || !posted.empty())
        processEvents();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(deepest, 1);
    // The calls that came during one load are one more load, and the run is
    // saved once, when it has settled.
    EXPECT_EQ(loads, 100);
    EXPECT_EQ(settled, 1);
}

} // namespace
} // namespace tremlo::remote::test
