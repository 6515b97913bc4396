#pragma once

// OSC 1.0 packets: a message or a bundle of them, read from one UDP datagram
// and written for the state the program sends back. Plain functions of bytes,
// so that anything a sender can put on the wire is tried by the fuzzer.
//
// A packet is taken whole or not at all: one malformed, truncated or
// oversized part drops every message of it, so half a bundle never acts.
// Bundles' time tags are not waited for; a switch is pressed when told.
//
// Thread: any; no state.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace tremlo::remote {

// Larger datagrams are dropped unread; a switch message is a few dozen bytes.
inline constexpr std::size_t kMaxOscPacketBytes = 4096;
inline constexpr int kMaxOscBundleDepth = 4;
inline constexpr std::size_t kMaxOscMessages = 32;

// T, F, N and I carry no bytes: T and F read as bools, N and I as nothing.
struct OscNothing {
    bool operator==(const OscNothing&) const = default;
};
using OscBlob = std::vector<std::uint8_t>;
// i, f, s and S, b, h and t, d, T and F, N and I.
using OscArgument =
    std::variant<std::int32_t, float, std::string, OscBlob, std::int64_t, double, bool, OscNothing>;

struct OscMessage {
    std::string address;
    std::vector<OscArgument> arguments;

    bool operator==(const OscMessage&) const = default;
};

// The messages of a packet in their order, nested bundles opened; nullopt
// when the packet is not well formed or goes past the limits above.
std::optional<std::vector<OscMessage>> parseOscPacket(std::span<const std::uint8_t> bytes);

// One message with int, float, string and bool arguments as OSC 1.0 lays
// them out (other kinds are not written and are left out).
std::vector<std::uint8_t> encodeOscMessage(const OscMessage& message);

} // namespace tremlo::remote
