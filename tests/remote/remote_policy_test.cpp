// Who may press the switch from afar: each rule a row, judged by a fresh
// policy after the failures the row's address has already had.

#include "remote_policy.h"

#include <gtest/gtest.h>

namespace tremlo::remote::test {
namespace {

constexpr const char* kToken = "q3Xv0Jr8cW1tZk7nB2mA5g";
constexpr const char* kPhone = "192.168.1.20";

std::vector<std::uint8_t> oscBytes(const OscMessage& message) {
    return encodeOscMessage(message);
}

// A bundle of `count` copies of `message`; none is an empty bundle.
std::vector<std::uint8_t> bundleOf(const OscMessage& message, int count) {
    std::vector<std::uint8_t> out{'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const auto element = encodeOscMessage(message);
    for (int i = 0; i < count; ++i) {
        out.insert(out.end(), {0, 0, 0, static_cast<std::uint8_t>(element.size())});
        out.insert(out.end(), element.begin(), element.end());
    }
    return out;
}

const OscMessage kNext{"/tremolo/next", {}};
const OscMessage kReleaseOn{"/tremolo/on", {std::int32_t{0}}};
// A release, then 31 steps.
std::vector<std::uint8_t> releaseAndSteps(const OscMessage& release, const OscMessage& step) {
    auto out = bundleOf(step, 31);
    const auto first = encodeOscMessage(release);
    std::vector<std::uint8_t> element{0, 0, 0, static_cast<std::uint8_t>(first.size())};
    element.insert(element.end(), first.begin(), first.end());
    out.insert(out.begin() + 16, element.begin(), element.end());
    return out;
}

const OscMessage kNextWithToken{"/tremolo/next", {std::string(kToken)}};
const OscMessage kReleaseOnWithToken{"/tremolo/on", {std::string(kToken), std::int32_t{0}}};

struct Row {
    const char* name;
    int failuresBefore; // refused tokens from kPhone, at time 0
    std::int64_t atMs;
    std::optional<HttpRequestFacts> http; // else the datagram below
    std::vector<std::uint8_t> datagram;
    bool datagramFromLoopback = false;
    Verdict expected;
    int sends = 1; // the datagram, at once; the last one is judged
    // What an allowed datagram's messages are, when not the press below.
    std::optional<std::vector<OscMessage>> passed = std::nullopt;
    bool peersAnywhere = false; // the user widened LAN access
};

HttpRequestFacts fromPhone(std::optional<std::string> token) {
    return {kPhone, false, "192.168.1.10:8470", std::nullopt, std::move(token), 300};
}

HttpRequestFacts local(std::string host, std::optional<std::string> origin) {
    return {"127.0.0.1", true, std::move(host), std::move(origin), std::nullopt, 300};
}

HttpRequestFacts fromPeer(std::string peer) {
    HttpRequestFacts facts = fromPhone(kToken);
    facts.peer = std::move(peer);
    return facts;
}

HttpRequestFacts withBytes(HttpRequestFacts facts, std::size_t bytes) {
    facts.bytes = bytes;
    return facts;
}

HttpRequestFacts withOrigin(HttpRequestFacts facts, std::string origin) {
    facts.origin = std::move(origin);
    return facts;
}

const Row kRows[] = {
    {"LoopbackNeedsNoToken",
     0,
     0,
     local("127.0.0.1:8470", "http://127.0.0.1:8470"),
     {},
     false,
     Verdict::Allow},
    {"LoopbackByName", 0, 0, local("localhost:8470", std::nullopt), {}, false, Verdict::Allow},
    {"LanWithoutToken", 0, 0, fromPhone(std::nullopt), {}, false, Verdict::Unauthorized},
    {"LanWrongToken", 0, 0, fromPhone("q3Xv0Jr8cW1tZk7nB2mA5h"), {}, false, Verdict::Unauthorized},
    {"LanShortToken", 0, 0, fromPhone("q3Xv0Jr8"), {}, false, Verdict::Unauthorized},
    {"LanRightToken", 0, 0, fromPhone(kToken), {}, false, Verdict::Allow},
    {"ForeignOriginOnLoopback",
     0,
     0,
     local("127.0.0.1:8470", "https://evil.example"),
     {},
     false,
     Verdict::Forbidden},
    {"ForeignOriginWithToken",
     0,
     0,
     withOrigin(fromPhone(kToken), "http://evil.example"),
     {},
     false,
     Verdict::Forbidden},
    // A site whose name the attacker points at 127.0.0.1 is its own origin.
    {"RebindingHostOnLoopback",
     0,
     0,
     local("evil.example:8470", "http://evil.example:8470"),
     {},
     false,
     Verdict::Forbidden},
    {"TooLargeRequest",
     0,
     0,
     withBytes(fromPhone(kToken), kMaxRequestBytes + 1),
     {},
     false,
     Verdict::TooLarge},
    {"FourFailuresStillLetIn", 4, 1000, fromPhone(kToken), {}, false, Verdict::Allow},
    // Anyone can forge the phone's address: the right token always passes.
    {"RightTokenAfterFiveFailures", 5, 1000, fromPhone(kToken), {}, false, Verdict::Allow},
    {"ShutOutEnds", 5, 60'000, fromPhone(kToken), {}, false, Verdict::Allow},
    {"RightTokenAfterManyFailures", 40, 0, fromPhone(kToken), {}, false, Verdict::Allow},
    // Wrong tokens are throttled as a whole, whatever address they name.
    {"WrongTokenAfterManyFailures",
     40,
     0,
     [] {
         HttpRequestFacts facts = fromPeer("10.0.0.9");
         facts.token = "wrong";
         return facts;
     }(),
     {},
     false,
     Verdict::TooMany},
    // Local means the local network, not every address that reaches a port.
    {"GlobalIPv4Peer", 0, 0, fromPeer("203.0.113.5"), {}, false, Verdict::Forbidden},
    {"GlobalIPv6Peer", 0, 0, fromPeer("2001:db8::5"), {}, false, Verdict::Forbidden},
    {"MappedGlobalPeer", 0, 0, fromPeer("::ffff:8.8.8.8"), {}, false, Verdict::Forbidden},
    {"PublicNextToPrivate", 0, 0, fromPeer("172.32.0.1"), {}, false, Verdict::Forbidden},
    {"PrivateIPv4Peer", 0, 0, fromPeer("172.16.4.2"), {}, false, Verdict::Allow},
    {"UniqueLocalPeer", 0, 0, fromPeer("fd12:3456::5"), {}, false, Verdict::Allow},
    {"LinkLocalPeer", 0, 0, fromPeer("fe80::1%eth0"), {}, false, Verdict::Allow},
    {"MappedPrivatePeer", 0, 0, fromPeer("::ffff:10.1.2.3"), {}, false, Verdict::Allow},
    {"GlobalPeerWhenWidened",
     0,
     0,
     fromPeer("203.0.113.5"),
     {},
     false,
     Verdict::Allow,
     1,
     std::nullopt,
     true},
    {"ShutOutIsPerAddress",
     5,
     1000,
     local("127.0.0.1:8470", std::nullopt),
     {},
     false,
     Verdict::Allow},
    {"JunkDatagram", 0, 0, std::nullopt, {0xde, 0xad, 0xbe, 0xef, 0, 0, 0, 0}, true, Verdict::Drop},
    {"OversizedDatagram", 0, 0, std::nullopt,
     oscBytes({"/tremolo/on", {std::string(kMaxOscPacketBytes, 'x')}}), true, Verdict::Drop},
    {"LoopbackDatagram", 0, 0, std::nullopt, oscBytes({"/tremolo/on", {std::int32_t{1}}}), true,
     Verdict::Allow},
    {"LanDatagramWithoutToken", 0, 0, std::nullopt, oscBytes({"/tremolo/on", {std::int32_t{1}}}),
     false, Verdict::Drop},
    {"LanDatagramWrongToken", 0, 0, std::nullopt,
     oscBytes({"/tremolo/on", {std::string("guess"), std::int32_t{1}}}), false, Verdict::Drop},
    {"LanDatagramWithToken", 0, 0, std::nullopt,
     oscBytes({"/tremolo/on", {std::string(kToken), std::int32_t{1}}}), false, Verdict::Allow},
    {"LanDatagramAfterFailures", 5, 1000, std::nullopt,
     oscBytes({"/tremolo/on", {std::string(kToken), std::int32_t{1}}}), false, Verdict::Allow},
    // An empty bundle holds no token to check: it must not earn an answer.
    {"LanEmptyBundle", 0, 0, std::nullopt, bundleOf(kNext, 0), false, Verdict::Drop},
    {"LoopbackEmptyBundle", 0, 0, std::nullopt, bundleOf(kNext, 0), true, Verdict::Allow, 1,
     std::vector<OscMessage>{}},
    // The budget counts messages, not datagrams.
    {"ThirtyTwoStepsSpendThirtyTwo", 0, 0, std::nullopt, bundleOf(kNextWithToken, 32), false,
     Verdict::Allow, kMaxOscMessagesPerSecond / 32, std::vector<OscMessage>(32, kNext)},
    {"ThirtyTwoStepsOverBudget", 0, 0, std::nullopt, bundleOf(kNextWithToken, 32), false,
     Verdict::Drop, kMaxOscMessagesPerSecond / 32 + 1},
    {"LoopbackStepsOverBudget", 0, 0, std::nullopt, bundleOf(kNext, 32), true, Verdict::Drop,
     kMaxOscMessagesPerSecond / 32 + 1},
    // A flood of releases never keeps a held switch down.
    {"ReleasesCostNothing", 0, 0, std::nullopt, bundleOf(kReleaseOnWithToken, 32), false,
     Verdict::Allow, 10, std::vector<OscMessage>(32, kReleaseOn)},
    {"ReleaseGoesPastBudget", 0, 0, std::nullopt,
     releaseAndSteps(kReleaseOnWithToken, kNextWithToken), false, Verdict::Allow,
     kMaxOscMessagesPerSecond / 31 + 1, std::vector<OscMessage>{kReleaseOn}},
    {"GlobalDatagramWithToken", 0, 0, std::nullopt,
     oscBytes({"/tremolo/on", {std::string(kToken), std::int32_t{1}}}), false, Verdict::Drop, 1,
     std::nullopt},
};

class AccessRules : public testing::TestWithParam<Row> {};

TEST_P(AccessRules, Verdict) {
    const Row& row = GetParam();
    AccessPolicy policy(kToken);
    policy.setPeersAnywhere(row.peersAnywhere);
    // Half the failures from the page, half from datagrams, all from one
    // address that anyone could have forged.
    for (int i = 0; i < row.failuresBefore; ++i) {
        if (i % 2 == 0)
            ASSERT_NE(policy.judgeHttp(fromPhone("wrong"), 0), Verdict::Allow);
        else
            ASSERT_FALSE(policy.judgeOsc(kPhone, false,
                                         oscBytes({"/tremolo/on", {std::string("wrong")}}), 0));
    }
    if (row.http) {
        EXPECT_EQ(policy.judgeHttp(*row.http, row.atMs), row.expected);
        return;
    }
    const std::string peer = row.datagramFromLoopback                      ? "127.0.0.1"
                             : std::string(row.name).starts_with("Global") ? "198.51.100.7"
                                                                           : kPhone;
    std::optional<std::vector<OscMessage>> messages;
    for (int i = 0; i < row.sends; ++i)
        messages = policy.judgeOsc(peer, row.datagramFromLoopback, row.datagram, row.atMs);
    EXPECT_EQ(messages ? Verdict::Allow : Verdict::Drop, row.expected);
    // What passes acts as if the token had never been there.
    if (messages) {
        EXPECT_EQ(*messages,
                  row.passed.value_or(std::vector<OscMessage>{{"/tremolo/on", {std::int32_t{1}}}}));
    }
}

INSTANTIATE_TEST_SUITE_P(Remote, AccessRules, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

// An event refused at the limit leaves no trace: the second after the first
// taken one is whole again.
TEST(RateLimit, RefusedEventsDoNotCount) {
    RateLimit rate(2);
    EXPECT_TRUE(rate.take(0));
    EXPECT_TRUE(rate.take(500));
    EXPECT_FALSE(rate.take(999));
    EXPECT_TRUE(rate.take(1000));
    EXPECT_FALSE(rate.take(1499));
    EXPECT_TRUE(rate.take(1500));
}

} // namespace
} // namespace tremlo::remote::test
