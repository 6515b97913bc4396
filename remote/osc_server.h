#pragma once

// OSC over UDP: datagrams from stream decks and control surfaces press the
// switch, and the switch's state goes back to the senders heard last.
//
// How the parts talk: each datagram is judged whole by the AccessPolicy
// (address, token, budget, well-formedness) and its commands go to the
// RemoteSwitch; its state changes come back as /tremolo/melody,
// /tremolo/door, /tremolo/locked (ints 0 or 1), /tremolo/switch (text) and
// /tremolo/title (text), sent to the address and port each sender sent from.
//
// A press is held only while its sender keeps telling it: a press not
// repeated, nor released, within kOscHoldMs is let go, as a lost release
// datagram would otherwise leave the switch held and OFF refused.
//
// Thread: the user-interface thread; the socket never blocks it.

#include "remote_clock.h"
#include "remote_policy.h"
#include "remote_switch.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <optional>
#include <string>
#include <vector>

namespace tremlo::remote {

inline constexpr std::int64_t kOscHoldMs = 2000;

// The state as the OSC messages that tell it.
std::vector<OscMessage> stateMessages(const RemoteState& state);

class OscServer : public QObject {
public:
    OscServer(RemoteSwitch& remoteSwitch, AccessPolicy& policy, Clock clock);

    // Listens on `port` of the loopback address, or of every address when
    // `lan`; the reason when it cannot.
    std::optional<std::string> listen(quint16 port, bool lan);
    void close();
    bool listening() const { return m_socket.state() == QAbstractSocket::BoundState; }
    quint16 port() const { return m_socket.localPort(); }
    // Lets go of the presses whose senders have been quiet for kOscHoldMs;
    // a timer calls it, and tests on their own clock.
    void letGoOfQuietSenders();

private:
    void readDatagrams();
    void remember(const QHostAddress& address, quint16 port);
    void sendState(const RemoteState& state);
    void act(const QHostAddress& address, quint16 port, const RemoteCommand& command);

    struct Sender {
        QHostAddress address;
        quint16 port;
    };
    static constexpr std::size_t kMaxSenders = 8;

    RemoteSwitch& m_switch;
    AccessPolicy& m_policy;
    Clock m_clock;
    QUdpSocket m_socket;
    QTimer m_quietCheck;
    std::vector<Sender> m_senders; // the latest last
    // Senders that hold a button, and when they last pressed it.
    struct Presser {
        Sender sender;
        ClientId client;
        std::int64_t lastPressMs;
    };
    std::vector<Presser> m_pressers;
};

// True for the loopback addresses, an IPv4 one mapped into IPv6 included.
bool isLoopbackAddress(const QHostAddress& address);

} // namespace tremlo::remote
