// What a remote's message asks of the switch, from the bytes on the wire:
// OSC datagrams (messages and bundles) and the phone page's JSON. Anything
// malformed, truncated or unknown asks nothing.

#include "web_server.h"

#include <cstring>
#include <gtest/gtest.h>

namespace tremlo::remote::test {
namespace {

using Kind = RemoteCommand::Kind;
using Button = RemoteCommand::Button;
using Bytes = std::vector<std::uint8_t>;

Bytes osc(const OscMessage& message) {
    return encodeOscMessage(message);
}

Bytes bundle(std::initializer_list<Bytes> elements) {
    Bytes out{'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1};
    for (const Bytes& element : elements) {
        const auto size = static_cast<std::uint32_t>(element.size());
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<std::uint8_t>(size >> shift));
        out.insert(out.end(), element.begin(), element.end());
    }
    return out;
}

Bytes withTags(const char* address, const char* tags, Bytes data) {
    Bytes out = osc({address, {}});
    out.resize(out.size() - 4); // the empty tag string
    const std::size_t at = out.size();
    out.insert(out.end(), tags, tags + std::strlen(tags));
    do
        out.push_back(0);
    while ((out.size() - at) % 4 != 0);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes truncated(Bytes bytes, std::size_t drop) {
    bytes.resize(bytes.size() - drop);
    return bytes;
}

struct Row {
    const char* name;
    std::optional<Bytes> datagram; // else the JSON below
    const char* json;
    std::vector<RemoteCommand> expected;
};

const Bytes kPress = osc({"/tremolo/on", {std::int32_t{1}}});

const Row kRows[] = {
    {"OscPressInt", kPress, nullptr, {{Kind::Press, Button::On}}},
    {"OscReleaseFloat", osc({"/tremolo/off", {0.0F}}), nullptr, {{Kind::Release, Button::Off}}},
    {"OscPressBool", osc({"/tremolo/off", {true}}), nullptr, {{Kind::Press, Button::Off}}},
    {"OscNoArgumentClicks", osc({"/tremolo/on", {}}), nullptr, {{Kind::Click, Button::On}}},
    {"OscWithoutTypeTags",
     Bytes{'/', 't', 'r', 'e', 'm', 'o', 'l', 'o', '/', 'o', 'f', 'f', 0, 0, 0, 0},
     nullptr,
     {{Kind::Click, Button::Off}}},
    {"OscNext", osc({"/tremolo/next", {}}), nullptr, {{Kind::Step, Button::On, 1}}},
    {"OscPrevious", osc({"/tremolo/previous", {}}), nullptr, {{Kind::Step, Button::On, -1}}},
    {"OscNestedBundleInOrder",
     bundle(
         {kPress, bundle({osc({"/tremolo/on", {std::int32_t{0}}}), osc({"/tremolo/next", {}})})}),
     nullptr,
     {{Kind::Press, Button::On}, {Kind::Release, Button::On}, {Kind::Step, Button::On, 1}}},
    {"OscUnknownAddress", osc({"/tremolo/play", {}}), nullptr, {}},
    {"OscStringArgument", osc({"/tremolo/on", {std::string("1")}}), nullptr, {}},
    {"OscTruncated", truncated(kPress, 4), nullptr, {}},
    {"OscUnpaddedLength", truncated(kPress, 1), nullptr, {}},
    {"OscArgumentMissing", withTags("/tremolo/on", ",ii", {0, 0, 0, 1}), nullptr, {}},
    {"OscTrailingBytes", withTags("/tremolo/on", ",", {0, 0, 0, 1}), nullptr, {}},
    {"OscUnknownKind", withTags("/tremolo/on", ",[i]", {0, 0, 0, 1}), nullptr, {}},
    {"OscBlobPastEnd", withTags("/tremolo/on", ",b", {0, 0, 1, 0, 1, 2, 3, 4}), nullptr, {}},
    {"OscPaddingNotZero",
     Bytes{'/', 't', 'r', 'e', 'm', 'o', 'l', 'o', '/', 'o', 'f', 'f', 0, 'x', 0, 0},
     nullptr,
     {}},
    {"OscNoSlash", Bytes{'t', 'r', 'e', 0, ',', 0, 0, 0}, nullptr, {}},
    // One bad element drops its whole bundle, so half of it never acts.
    {"OscBundleWithBadElement", bundle({kPress, truncated(kPress, 4)}), nullptr, {}},
    {"OscBundleSizePastEnd", truncated(bundle({kPress}), 4), nullptr, {}},
    {"OscBundlesTooDeep", bundle({bundle({bundle({bundle({bundle({kPress})})})})}), nullptr, {}},
    {"OscEmpty", Bytes{}, nullptr, {}},
    {"JsonPressOn", std::nullopt, R"({"press":"on"})", {{Kind::Press, Button::On}}},
    {"JsonReleaseOff", std::nullopt, R"({"release":"off"})", {{Kind::Release, Button::Off}}},
    {"JsonStepBack", std::nullopt, R"({"step":-1})", {{Kind::Step, Button::On, -1}}},
    {"JsonStepTooFar", std::nullopt, R"({"step":5})", {}},
    {"JsonUnknownButton", std::nullopt, R"({"press":"door"})", {}},
    {"JsonTwoCommands", std::nullopt, R"({"press":"on","step":1})", {}},
    {"JsonFileIsNotACommand", std::nullopt, R"({"open":"/etc/passwd"})", {}},
    {"JsonNotJson", std::nullopt, "press on", {}},
};

class RemoteMessages : public testing::TestWithParam<Row> {};

TEST_P(RemoteMessages, Commands) {
    const Row& row = GetParam();
    std::vector<RemoteCommand> commands;
    if (row.datagram) {
        if (const auto messages = parseOscPacket(*row.datagram))
            for (const auto& message : *messages)
                if (const auto command = oscCommand(message))
                    commands.push_back(*command);
    } else if (const auto command = webCommand(QByteArray(row.json))) {
        commands.push_back(*command);
    }
    EXPECT_EQ(commands, row.expected);
}

INSTANTIATE_TEST_SUITE_P(Remote, RemoteMessages, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tremlo::remote::test
