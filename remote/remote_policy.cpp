#include "remote_policy.h"

#include <algorithm>

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

bool AccessPolicy::shutOut(const std::string& peer, std::int64_t nowMs) {
    const auto found = m_failures.find(peer);
    if (found == m_failures.end())
        return false;
    auto& times = found->second;
    if (static_cast<int>(times.size()) >= kFailuresBeforeShutOut &&
        times.back() - times.front() < kFailureWindowMs && nowMs - times.back() < kShutOutMs)
        return true;
    while (!times.empty() && nowMs - times.front() >= kFailureWindowMs)
        times.pop_front();
    if (times.empty())
        m_failures.erase(found);
    return false;
}

void AccessPolicy::fail(const std::string& peer, std::int64_t nowMs) {
    // A flood of addresses cannot grow the record without bound: the least
    // recently failed goes first.
    if (m_failures.size() >= kMaxWatchedAddresses && !m_failures.contains(peer)) {
        const auto oldest = std::min_element(
            m_failures.begin(), m_failures.end(),
            [](const auto& a, const auto& b) { return a.second.back() < b.second.back(); });
        m_failures.erase(oldest);
    }
    auto& times = m_failures[peer];
    times.push_back(nowMs);
    while (static_cast<int>(times.size()) > kFailuresBeforeShutOut)
        times.pop_front();
}

Verdict AccessPolicy::judgeHttp(const HttpRequestFacts& request, std::int64_t nowMs) {
    if (shutOut(request.peer, nowMs))
        return Verdict::TooMany;
    if (request.bytes > kMaxRequestBytes)
        return Verdict::TooLarge;
    // The page's own origin is the address its browser asked for.
    if (request.origin && *request.origin != "http://" + request.host)
        return Verdict::Forbidden;
    const bool rightToken = request.token && sameToken(*request.token, m_token);
    if (request.peerLoopback)
        return rightToken || isLoopbackHost(request.host) ? Verdict::Allow : Verdict::Forbidden;
    if (!rightToken) {
        fail(request.peer, nowMs);
        return Verdict::Unauthorized;
    }
    return Verdict::Allow;
}

std::optional<std::vector<OscMessage>>
AccessPolicy::judgeOsc(const std::string& peer, bool peerLoopback,
                       std::span<const std::uint8_t> datagram, std::int64_t nowMs) {
    if (!peerLoopback && shutOut(peer, nowMs))
        return std::nullopt;
    auto messages = parseOscPacket(datagram);
    if (!messages || peerLoopback)
        return messages;
    for (auto& message : *messages) {
        const auto* given = message.arguments.empty()
                                ? nullptr
                                : std::get_if<std::string>(&message.arguments.front());
        if (given == nullptr || !sameToken(*given, m_token)) {
            fail(peer, nowMs);
            return std::nullopt;
        }
        message.arguments.erase(message.arguments.begin());
    }
    return messages;
}

bool RateLimit::take(std::int64_t nowMs) {
    while (!m_taken.empty() && nowMs - m_taken.front() >= 1000)
        m_taken.pop_front();
    if (static_cast<int>(m_taken.size()) >= m_perSecond)
        return false;
    m_taken.push_back(nowMs);
    return true;
}

} // namespace tremlo::remote
