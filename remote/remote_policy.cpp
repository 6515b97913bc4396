#include "remote_policy.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cstring>

namespace tremlo::remote {

bool sameToken(std::string_view given, std::string_view token) {
    // No token set means no one from afar is let in.
    if (token.empty())
        return false;
    unsigned char difference = given.size() == token.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ token[i % token.size()]);
    return difference == 0;
}

bool isLoopbackHost(std::string_view host) {
    // The port, when given, follows the last colon after a bracketed name.
    std::string_view name = host;
    if (name.starts_with('[')) {
        const auto close = name.find(']');
        if (close == std::string_view::npos)
            return false;
        name = name.substr(0, close + 1);
    } else if (const auto colon = name.find(':'); colon != std::string_view::npos) {
        name = name.substr(0, colon);
    }
    return name == "localhost" || name == "127.0.0.1" || name == "[::1]";
}

std::optional<RemoteCommand> oscCommand(const OscMessage& message) {
    using Kind = RemoteCommand::Kind;
    using Button = RemoteCommand::Button;
    if (message.address == "/tremolo/next" || message.address == "/tremolo/previous")
        return RemoteCommand{Kind::Step, Button::On, message.address == "/tremolo/next" ? 1 : -1};
    if (message.address != "/tremolo/on" && message.address != "/tremolo/off")
        return std::nullopt;
    const Button button = message.address == "/tremolo/on" ? Button::On : Button::Off;
    if (message.arguments.empty())
        return RemoteCommand{Kind::Click, button};
    // A button of a deck sends 1 when pushed and 0 when let go, as an int, a
    // float or a bool, as its module likes.
    std::optional<bool> pressed;
    const auto& first = message.arguments.front();
    if (const auto* number = std::get_if<std::int32_t>(&first))
        pressed = *number != 0;
    else if (const auto* real = std::get_if<float>(&first))
        pressed = *real >= 0.5F;
    else if (const auto* flag = std::get_if<bool>(&first))
        pressed = *flag;
    if (!pressed)
        return std::nullopt;
    return RemoteCommand{*pressed ? Kind::Press : Kind::Release, button};
}

bool isLanAddress(std::string_view address) {
    // A scope ("fe80::1%eth0") names the interface, not the address.
    const std::string text(address.substr(0, address.find('%')));
    in_addr v4{};
    in6_addr v6{};
    std::array<std::uint8_t, 4> ip{};
    if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        std::memcpy(ip.data(), &v4, 4);
    } else if (::inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        const std::uint8_t* b = v6.s6_addr;
        static constexpr std::uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
        if (std::memcmp(b, kMapped, sizeof kMapped) != 0)
            return (b[0] & 0xfe) == 0xfc || (b[0] == 0xfe && (b[1] & 0xc0) == 0x80);
        std::memcpy(ip.data(), b + 12, 4);
    } else {
        return false;
    }
    return ip[0] == 10 || (ip[0] == 172 && (ip[1] & 0xf0) == 16) || (ip[0] == 192 && ip[1] == 168);
}

bool AccessPolicy::peerAllowed(const std::string& peer, bool peerLoopback) const {
    return peerLoopback || m_peersAnywhere || isLanAddress(peer);
}

Verdict AccessPolicy::judgeHttp(const HttpRequestFacts& request, std::int64_t nowMs) {
    if (request.bytes > kMaxRequestBytes)
        return Verdict::TooLarge;
    if (!peerAllowed(request.peer, request.peerLoopback))
        return Verdict::Forbidden;
    // The page's own origin is the address its browser asked for.
    if (request.origin && *request.origin != "http://" + request.host)
        return Verdict::Forbidden;
    const bool rightToken = request.token && sameToken(*request.token, m_token);
    if (request.peerLoopback)
        return rightToken || isLoopbackHost(request.host) ? Verdict::Allow : Verdict::Forbidden;
    if (rightToken)
        return Verdict::Allow;
    return m_wrongTokens.take(nowMs) ? Verdict::Unauthorized : Verdict::TooMany;
}

std::optional<std::vector<OscMessage>>
AccessPolicy::judgeOsc(const std::string& peer, bool peerLoopback,
                       std::span<const std::uint8_t> datagram, std::int64_t nowMs) {
    if (!peerAllowed(peer, peerLoopback))
        return std::nullopt;
    auto messages = parseOscPacket(datagram);
    if (!messages)
        return std::nullopt;
    if (!peerLoopback) {
        if (messages->empty())
            return std::nullopt;
        for (auto& message : *messages) {
            const auto* given = message.arguments.empty()
                                    ? nullptr
                                    : std::get_if<std::string>(&message.arguments.front());
            if (given == nullptr || !sameToken(*given, m_token)) {
                m_wrongTokens.take(nowMs);
                return std::nullopt;
            }
            message.arguments.erase(message.arguments.begin());
        }
    }
    const auto costs = [](const OscMessage& message) {
        const auto command = oscCommand(message);
        return !command || command->kind != RemoteCommand::Kind::Release;
    };
    const int cost = static_cast<int>(std::count_if(messages->begin(), messages->end(), costs));
    // Past the budget the releases still go, or a held switch would stay
    // held; the rest of the datagram is dropped.
    if (!(peerLoopback ? m_loopbackOsc : m_tokenOsc).take(nowMs, cost)) {
        std::erase_if(*messages, costs);
        if (messages->empty())
            return std::nullopt;
    }
    return messages;
}

bool RateLimit::take(std::int64_t nowMs, int count) {
    while (!m_taken.empty() && nowMs - m_taken.front() >= 1000)
        m_taken.pop_front();
    if (static_cast<int>(m_taken.size()) + count > m_perSecond)
        return false;
    m_taken.insert(m_taken.end(), static_cast<std::size_t>(count), nowMs);
    return true;
}

} // namespace tremlo::remote
