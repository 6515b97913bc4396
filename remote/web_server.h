#pragma once

// The phone page: one port serves the page at "/" and its WebSocket at
// "/ws". Each connection's request head is peeked, not read, until it is
// whole; the AccessPolicy judges it; the page is written and the connection
// closed, or the socket is handed to the WebSocket server, which reads the
// same head as its handshake.
//
// Messages in: {"press":"on"}, {"release":"on"}, {"press":"off"},
// {"release":"off"}, {"step":1}, {"step":-1}. Out, on connecting and on
// every change: {"melody":…,"door":…,"switch":"off|pressed|locked",
// "title":"…"}.
//
// Thread: the user-interface thread. Nothing waits on a socket: a client too
// slow to take what it is sent, or to finish its request, is closed.

#include "remote_clock.h"
#include "remote_policy.h"
#include "remote_switch.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>
#include <QWebSocketServer>
#include <optional>
#include <string>
#include <vector>

class QHostAddress;
class QTcpSocket;
class QWebSocket;

namespace tremlo::remote {

// A WebSocket message as a command; nullopt for anything else.
std::optional<RemoteCommand> webCommand(const QByteArray& message);
// The state as the page's message.
QByteArray stateJson(const RemoteState& state);

class WebServer : public QObject {
public:
    WebServer(RemoteSwitch& remoteSwitch, AccessPolicy& policy, Clock clock);
    ~WebServer() override;

    // Listens on `port` of the loopback address, or of every address when
    // `lan`; the reason when it cannot.
    std::optional<std::string> listen(quint16 port, bool lan);
    void close();
    bool listening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }

private:
    void accept();
    void readHead(QTcpSocket* socket);
    void answer(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body);
    void takeSocket();
    void sendState(const RemoteState& state);
    void sweep();
    int openSockets() const;
    // Connections still sending their request head: all, or from one address.
    int waiting(const QHostAddress* from = nullptr) const;

    RemoteSwitch& m_switch;
    AccessPolicy& m_policy;
    Clock m_clock;
    QTcpServer m_server;
    QWebSocketServer m_sockets;
    // Sockets handed to the WebSocket server, for as long as they live.
    std::vector<QPointer<QTcpSocket>> m_handedOver;
    // Drops the pages that do not read, and pings the rest now and then.
    QTimer m_sweep;
    std::int64_t m_lastPingMs = 0;
};

} // namespace tremlo::remote
