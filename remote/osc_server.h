#pragma once

// OSC over UDP: datagrams from stream decks and control surfaces press the
// switch, and the switch's state goes back to the senders heard last.
//
// How the parts talk: each datagram is judged whole by the AccessPolicy
// (token, shut-out, well-formedness) and its commands go to the
// RemoteSwitch; its state changes come back as /tremolo/melody,
// /tremolo/door, /tremolo/locked (ints 0 or 1), /tremolo/switch (text) and
// /tremolo/title (text), sent to the address and port each sender sent from.
//
// Thread: the user-interface thread; the socket never blocks it.

#include "remote_clock.h"
#include "remote_policy.h"
#include "remote_switch.h"

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>
#include <optional>
#include <string>
#include <vector>

namespace tremlo::remote {

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

private:
    void readDatagrams();
    void remember(const QHostAddress& address, quint16 port);
    void sendState(const RemoteState& state);

    struct Sender {
        QHostAddress address;
        quint16 port;
    };
    static constexpr std::size_t kMaxSenders = 8;

    RemoteSwitch& m_switch;
    AccessPolicy& m_policy;
    Clock m_clock;
    RateLimit m_rate{kMaxDatagramsPerSecond};
    QUdpSocket m_socket;
    std::vector<Sender> m_senders; // the latest last
};

// True for the loopback addresses, an IPv4 one mapped into IPv6 included.
bool isLoopbackAddress(const QHostAddress& address);

} // namespace tremlo::remote
