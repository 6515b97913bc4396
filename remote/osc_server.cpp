#include "osc_server.h"

#include <QNetworkDatagram>
#include <algorithm>
#include <chrono>
#include <utility>

namespace tremlo::remote {

Clock steadyClock() {
    return [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
}

bool isLoopbackAddress(const QHostAddress& address) {
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4).isLoopback() : address.isLoopback();
}

std::vector<OscMessage> stateMessages(const RemoteState& state) {
    return {
        {"/tremolo/melody", {std::int32_t{state.melody}}},
        {"/tremolo/door", {std::int32_t{state.door}}},
        {"/tremolo/locked", {std::int32_t{state.switchShown == SwitchShown::Locked}}},
        {"/tremolo/switch", {std::string(switchText(state.switchShown))}},
        {"/tremolo/title", {state.title}},
    };
}

OscServer::OscServer(RemoteSwitch& remoteSwitch, AccessPolicy& policy, Clock clock)
    : m_switch(remoteSwitch), m_policy(policy), m_clock(std::move(clock)) {
    connect(&m_socket, &QUdpSocket::readyRead, this, &OscServer::readDatagrams);
    m_quietCheck.setInterval(static_cast<int>(kOscHoldMs / 4));
    connect(&m_quietCheck, &QTimer::timeout, this, &OscServer::letGoOfQuietSenders);
    m_switch.onChange([this](const RemoteState& state) { sendState(state); });
}

std::optional<std::string> OscServer::listen(quint16 port, bool lan) {
    close();
    const QHostAddress address =
        lan ? QHostAddress(QHostAddress::Any) : QHostAddress(QHostAddress::LocalHost);
    if (!m_socket.bind(address, port))
        return m_socket.errorString().toStdString();
    return std::nullopt;
}

void OscServer::close() {
    m_socket.close();
    m_senders.clear();
    for (const Presser& presser : std::exchange(m_pressers, {}))
        m_switch.letGo(presser.client);
    m_quietCheck.stop();
}

void OscServer::letGoOfQuietSenders() {
    const std::int64_t now = m_clock();
    std::vector<ClientId> quiet;
    std::erase_if(m_pressers, [&](const Presser& presser) {
        if (now - presser.lastPressMs < kOscHoldMs)
            return false;
        quiet.push_back(presser.client);
        return true;
    });
    for (const ClientId client : quiet)
        m_switch.letGo(client);
    if (m_pressers.empty())
        m_quietCheck.stop();
}

void OscServer::act(const QHostAddress& address, quint16 port, const RemoteCommand& command) {
    using Kind = RemoteCommand::Kind;
    auto presser = std::find_if(m_pressers.begin(), m_pressers.end(), [&](const Presser& p) {
        return p.sender.address == address && p.sender.port == port;
    });
    if (command.kind == Kind::Press) {
        if (presser == m_pressers.end()) {
            m_pressers.push_back({{address, port}, m_switch.newClient(), m_clock()});
            presser = std::prev(m_pressers.end());
        }
        presser->lastPressMs = m_clock();
        if (!m_quietCheck.isActive())
            m_quietCheck.start();
    }
    const ClientId client = presser == m_pressers.end() ? kNoClient : presser->client;
    m_switch.command(command, client);
    if (presser != m_pressers.end() && !m_switch.holds(client, RemoteCommand::Button::On) &&
        !m_switch.holds(client, RemoteCommand::Button::Off))
        m_pressers.erase(presser);
}

void OscServer::readDatagrams() {
    while (m_socket.hasPendingDatagrams()) {
        // One byte past the limit tells an oversized datagram from a full one.
        const QNetworkDatagram datagram =
            m_socket.receiveDatagram(static_cast<qint64>(kMaxOscPacketBytes) + 1);
        const QByteArray& data = datagram.data();
        if (!datagram.isValid())
            continue;
        const bool loopback = isLoopbackAddress(datagram.senderAddress());
        const auto messages =
            m_policy.judgeOsc(datagram.senderAddress().toString().toStdString(), loopback,
                              std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                        static_cast<std::size_t>(data.size())),
                              m_clock());
        if (!messages)
            continue;
        remember(datagram.senderAddress(), static_cast<quint16>(datagram.senderPort()));
        for (const auto& message : *messages)
            if (const auto command = oscCommand(message))
                act(datagram.senderAddress(), static_cast<quint16>(datagram.senderPort()),
                    *command);
            else if (message.address == "/tremolo/state")
                sendState(m_switch.state());
    }
}

void OscServer::remember(const QHostAddress& address, quint16 port) {
    const auto same = [&](const Sender& s) { return s.address == address && s.port == port; };
    std::erase_if(m_senders, same);
    if (m_senders.size() >= kMaxSenders)
        m_senders.erase(m_senders.begin());
    m_senders.push_back({address, port});
}

void OscServer::sendState(const RemoteState& state) {
    if (m_senders.empty())
        return;
    std::vector<QByteArray> packets;
    for (const auto& message : stateMessages(state)) {
        const auto bytes = encodeOscMessage(message);
        packets.emplace_back(reinterpret_cast<const char*>(bytes.data()),
                             static_cast<qsizetype>(bytes.size()));
    }
    // A datagram that cannot go now is lost, as UDP loses them; the next
    // change tells the whole state again.
    for (const auto& sender : m_senders)
        for (const auto& packet : packets)
            m_socket.writeDatagram(packet, sender.address, sender.port);
}

} // namespace tremlo::remote
