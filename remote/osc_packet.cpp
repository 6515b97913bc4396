#include "osc_packet.h"

#include <bit>
#include <cstring>
#include <string_view>

namespace tremlo::remote {
namespace {

constexpr std::string_view kBundleTag{"#bundle\0", 8};

// A cursor over the datagram; every read checks the bytes left first.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_at == m_bytes.size(); }

    std::optional<std::uint32_t> word() {
        if (m_bytes.size() - m_at < 4)
            return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = (value << 8) | m_bytes[m_at++];
        return value;
    }

    std::optional<std::uint64_t> doubleWord() {
        const auto high = word();
        const auto low = high ? word() : std::nullopt;
        if (!low)
            return std::nullopt;
        return (std::uint64_t{*high} << 32) | *low;
    }

    // A string ends at its first zero byte and is padded with zeros to a
    // multiple of four.
    std::optional<std::string> string() {
        const auto rest = m_bytes.subspan(m_at);
        if (rest.empty())
            return std::nullopt;
        const auto* end =
            static_cast<const std::uint8_t*>(std::memchr(rest.data(), 0, rest.size()));
        if (end == nullptr)
            return std::nullopt;
        const std::size_t length = static_cast<std::size_t>(end - rest.data());
        const std::size_t padded = (length + 4) & ~std::size_t{3};
        if (padded > rest.size())
            return std::nullopt;
        for (std::size_t i = length; i < padded; ++i)
            if (rest[i] != 0)
                return std::nullopt;
        std::string text(reinterpret_cast<const char*>(rest.data()), length);
        m_at += padded;
        return text;
    }

    std::optional<std::span<const std::uint8_t>> bytes(std::size_t count) {
        const std::size_t padded = (count + 3) & ~std::size_t{3};
        if (count > m_bytes.size() - m_at || padded > m_bytes.size() - m_at)
            return std::nullopt;
        const auto taken = m_bytes.subspan(m_at, count);
        m_at += padded;
        return taken;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_at = 0;
};

std::optional<OscArgument> readArgument(char tag, Reader& reader) {
    switch (tag) {
    case 'i':
        if (const auto w = reader.word())
            return OscArgument{static_cast<std::int32_t>(*w)};
        return std::nullopt;
    case 'f':
        if (const auto w = reader.word())
            return OscArgument{std::bit_cast<float>(*w)};
        return std::nullopt;
    case 's':
    case 'S':
        if (auto text = reader.string())
            return OscArgument{std::move(*text)};
        return std::nullopt;
    case 'b': {
        const auto size = reader.word();
        const auto data = size ? reader.bytes(*size) : std::nullopt;
        if (!data)
            return std::nullopt;
        return OscArgument{OscBlob(data->begin(), data->end())};
    }
    case 'h':
    case 't':
        if (const auto w = reader.doubleWord())
            return OscArgument{static_cast<std::int64_t>(*w)};
        return std::nullopt;
    case 'd':
        if (const auto w = reader.doubleWord())
            return OscArgument{std::bit_cast<double>(*w)};
        return std::nullopt;
    case 'T':
        return OscArgument{true};
    case 'F':
        return OscArgument{false};
    case 'N':
    case 'I':
        return OscArgument{OscNothing{}};
    default:
        // Arrays and kinds this program has no use for: the sender means
        // something else than a switch.
        return std::nullopt;
    }
}

std::optional<OscMessage> readMessage(std::span<const std::uint8_t> bytes) {
    Reader reader(bytes);
    OscMessage message;
    auto address = reader.string();
    if (!address || !address->starts_with('/'))
        return std::nullopt;
    message.address = std::move(*address);
    // A message without a type tag string is an old sender's without arguments.
    if (reader.atEnd())
        return message;
    const auto tags = reader.string();
    if (!tags || !tags->starts_with(','))
        return std::nullopt;
    for (const char tag : std::string_view(*tags).substr(1)) {
        auto argument = readArgument(tag, reader);
        if (!argument)
            return std::nullopt;
        message.arguments.push_back(std::move(*argument));
    }
    if (!reader.atEnd())
        return std::nullopt;
    return message;
}

bool readPacket(std::span<const std::uint8_t> bytes, int depth, std::vector<OscMessage>& into) {
    if (bytes.size() < 4 || bytes.size() % 4 != 0)
        return false;
    if (bytes.size() < kBundleTag.size() ||
        std::memcmp(bytes.data(), kBundleTag.data(), kBundleTag.size()) != 0) {
        if (into.size() >= kMaxOscMessages)
            return false;
        auto message = readMessage(bytes);
        if (!message)
            return false;
        into.push_back(std::move(*message));
        return true;
    }
    if (depth >= kMaxOscBundleDepth)
        return false;
    Reader reader(bytes.subspan(kBundleTag.size()));
    if (!reader.doubleWord()) // the time tag
        return false;
    while (!reader.atEnd()) {
        const auto size = reader.word();
        const auto element = size ? reader.bytes(*size) : std::nullopt;
        if (!element || element->size() != *size || !readPacket(*element, depth + 1, into))
            return false;
    }
    return true;
}

void putWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void putString(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
    do
        out.push_back(0);
    while (out.size() % 4 != 0);
}

} // namespace

std::optional<std::vector<OscMessage>> parseOscPacket(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kMaxOscPacketBytes)
        return std::nullopt;
    std::vector<OscMessage> messages;
    if (!readPacket(bytes, 0, messages))
        return std::nullopt;
    return messages;
}

std::vector<std::uint8_t> encodeOscMessage(const OscMessage& message) {
    std::vector<std::uint8_t> out;
    std::string tags = ",";
    for (const auto& argument : message.arguments) {
        if (std::holds_alternative<std::int32_t>(argument))
            tags += 'i';
        else if (std::holds_alternative<float>(argument))
            tags += 'f';
        else if (std::holds_alternative<std::string>(argument))
            tags += 's';
        else if (const bool* flag = std::get_if<bool>(&argument))
            tags += *flag ? 'T' : 'F';
    }
    putString(out, message.address);
    putString(out, tags);
    for (const auto& argument : message.arguments) {
        if (const auto* number = std::get_if<std::int32_t>(&argument))
            putWord(out, static_cast<std::uint32_t>(*number));
        else if (const auto* real = std::get_if<float>(&argument))
            putWord(out, std::bit_cast<std::uint32_t>(*real));
        else if (const auto* text = std::get_if<std::string>(&argument))
            putString(out, *text);
    }
    return out;
}

} // namespace tremlo::remote
