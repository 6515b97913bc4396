#pragma once

// Who may press the switch from afar, as plain decisions of what a request
// is: the HTTP and WebSocket requests of the phone page, the OSC datagrams,
// and the commands they carry. Nothing here reads a socket or a clock; the
// servers hand in the facts and the time, so every rule is tried in tests.
//
// The rules: a sender on this computer needs nothing more; another computer
// must be on the local network (a private IPv4, unique-local or link-local
// IPv6 address) and give the token (compared in constant time). A browser
// page of another site is refused by its Origin, and one that reaches the
// loopback address under a name of its own (DNS rebinding) by its Host.
// The right token always passes: a source address can be forged, so wrong
// tokens are throttled as a whole, never per address. Each kind of sender
// (this computer, the token, the rest) has a budget of its own, counted in
// messages, so that junk never spends what the deck needs.
//
// Thread: the user-interface thread.

#include "osc_packet.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace tremlo::remote {

// Limits of the phone page's server, all in one place.
inline constexpr std::size_t kMaxRequestBytes = 8192; // an HTTP request's head
inline constexpr std::size_t kMaxMessageBytes = 256;  // a WebSocket message
inline constexpr int kMaxConnections = 16;            // sockets open at once
inline constexpr int kMaxMessagesPerSecond = 20;      // per WebSocket
inline constexpr int kMaxUnfinishedHeads = 16;        // request heads not yet whole
inline constexpr int kMaxUnfinishedHeadsPerAddress = 4;
inline constexpr int kMaxOscMessagesPerSecond = 100; // OSC, each kind of sender
inline constexpr int kMaxWrongTokensPerSecond = 20;  // every sender together

// The answer to a request: go on, or the HTTP status to refuse it with.
enum class Verdict {
    Allow = 200,
    TooLarge = 413,
    Unauthorized = 401,
    Forbidden = 403,
    TooMany = 429,
    Drop = 0, // a datagram: nothing is answered
};

struct HttpRequestFacts {
    std::string peer; // the sender's address, as text
    bool peerLoopback = false;
    std::string host;                  // the Host header, empty when none
    std::optional<std::string> origin; // the Origin header, when sent
    std::optional<std::string> token;  // the token query parameter, when given
    std::size_t bytes = 0;             // the request's head
};

// The same strings, in the same time whatever they hold, so that the time of
// a refusal does not tell how much of a guessed token was right.
bool sameToken(std::string_view given, std::string_view token);

// What a remote asks of the switch.
struct RemoteCommand {
    enum class Kind { Press, Release, Click, Step };
    enum class Button { On, Off };
    Kind kind = Kind::Click;
    Button button = Button::On;
    int step = 0; // 1 next, -1 previous
    bool operator==(const RemoteCommand&) const = default;
};

// /tremolo/on and /tremolo/off with 1 (press), 0 (release) or nothing (both),
// /tremolo/next and /tremolo/previous. `token` is the first argument's, taken
// off before this is asked. Unknown addresses and arguments give nullopt.
std::optional<RemoteCommand> oscCommand(const OscMessage& message);

// At most `perSecond` events in any second; refused ones are not counted.
class RateLimit {
public:
    explicit RateLimit(int perSecond) : m_perSecond(perSecond) {}
    // `count` events at once, all or none.
    bool take(std::int64_t nowMs, int count = 1);

private:
    int m_perSecond;
    std::deque<std::int64_t> m_taken;
};

class AccessPolicy {
public:
    explicit AccessPolicy(std::string token = {}) : m_token(std::move(token)) {}
    void setToken(std::string token) { m_token = std::move(token); }
    // Lets peers on any address in, still with the token: the user's own
    // widening of LAN access.
    void setPeersAnywhere(bool anywhere) { m_peersAnywhere = anywhere; }

    // The page, or the upgrade of its socket, at `nowMs`.
    Verdict judgeHttp(const HttpRequestFacts& request, std::int64_t nowMs);

    // One datagram: its messages with a sender's token taken off them, or
    // nullopt to drop it whole. A sender on another computer puts the token
    // first in every message, and an empty bundle from it is dropped: only
    // a sender that proved itself is answered. Each message but a release
    // spends one of its sender's budget, so a release always gets through.
    std::optional<std::vector<OscMessage>> judgeOsc(const std::string& peer, bool peerLoopback,
                                                    std::span<const std::uint8_t> datagram,
                                                    std::int64_t nowMs);

private:
    bool peerAllowed(const std::string& peer, bool peerLoopback) const;

    std::string m_token;
    bool m_peersAnywhere = false;
    RateLimit m_wrongTokens{kMaxWrongTokensPerSecond};
    RateLimit m_loopbackOsc{kMaxOscMessagesPerSecond};
    RateLimit m_tokenOsc{kMaxOscMessagesPerSecond};
};

// Hosts that name this computer's loopback interface, with or without a port.
bool isLoopbackHost(std::string_view host);

// Addresses of the local network as text: private IPv4, unique-local and
// link-local IPv6, and IPv4 ones mapped into IPv6. Global addresses, and
// anything that does not parse, are not.
bool isLanAddress(std::string_view address);

} // namespace tremlo::remote
