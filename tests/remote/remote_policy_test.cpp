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

struct Row {
    const char* name;
    int failuresBefore; // refused tokens from kPhone, at time 0
    std::int64_t atMs;
    std::optional<HttpRequestFacts> http; // else the datagram below
    std::vector<std::uint8_t> datagram;
    bool datagramFromLoopback = false;
    Verdict expected;
};

HttpRequestFacts fromPhone(std::optional<std::string> token) {
    return {kPhone, false, "192.168.1.10:8470", std::nullopt, std::move(token), 300};
}

HttpRequestFacts local(std::string host, std::optional<std::string> origin) {
    return {"127.0.0.1", true, std::move(host), std::move(origin), std::nullopt, 300};
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
    {"FiveFailuresShutOutEvenTheRightToken",
     5,
     1000,
     fromPhone(kToken),
     {},
     false,
     Verdict::TooMany},
    {"ShutOutEnds", 5, kShutOutMs, fromPhone(kToken), {}, false, Verdict::Allow},
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
     oscBytes({"/tremolo/on", {std::string(kToken), std::int32_t{1}}}), false, Verdict::Drop},
};

class AccessRules : public testing::TestWithParam<Row> {};

TEST_P(AccessRules, Verdict) {
    const Row& row = GetParam();
    AccessPolicy policy(kToken);
    for (int i = 0; i < row.failuresBefore; ++i)
        ASSERT_EQ(policy.judgeHttp(fromPhone("wrong"), 0), Verdict::Unauthorized);
    if (row.http) {
        EXPECT_EQ(policy.judgeHttp(*row.http, row.atMs), row.expected);
        return;
    }
    const auto messages = policy.judgeOsc(row.datagramFromLoopback ? "127.0.0.1" : kPhone,
                                          row.datagramFromLoopback, row.datagram, row.atMs);
    EXPECT_EQ(messages ? Verdict::Allow : Verdict::Drop, row.expected);
    // What passes acts as if the token had never been there.
    if (messages) {
        EXPECT_EQ(*messages, (std::vector<OscMessage>{{"/tremolo/on", {std::int32_t{1}}}}));
    }
}

INSTANTIATE_TEST_SUITE_P(Remote, AccessRules, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tremlo::remote::test
