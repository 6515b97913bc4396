#pragma once

// Reading RIFF files by byte offset: bounds-checked little-endian fields that
// fall back to a default past the end of a record, a walker over chunks laid
// end to end, and the array chunks whose records carry their own size.
// Nothing here trusts a size field: every read stays inside the given span.
//
// Used by the segment reader; plain functions over spans, no state beyond a
// walker's position.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tremlo::sound::riff {

using Bytes = std::span<const std::uint8_t>;
using FourCC = std::uint32_t;

constexpr FourCC fourcc(const char (&text)[5]) {
    return std::uint32_t{static_cast<std::uint8_t>(text[0])} |
           std::uint32_t{static_cast<std::uint8_t>(text[1])} << 8 |
           std::uint32_t{static_cast<std::uint8_t>(text[2])} << 16 |
           std::uint32_t{static_cast<std::uint8_t>(text[3])} << 24;
}

inline std::uint8_t u8At(Bytes bytes, std::size_t offset, std::uint8_t fallback = 0) {
    return offset < bytes.size() ? bytes[offset] : fallback;
}

inline std::uint16_t u16At(Bytes bytes, std::size_t offset, std::uint16_t fallback = 0) {
    if (offset + 2 > bytes.size())
        return fallback;
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

inline std::int16_t i16At(Bytes bytes, std::size_t offset, std::int16_t fallback = 0) {
    return static_cast<std::int16_t>(u16At(bytes, offset, static_cast<std::uint16_t>(fallback)));
}

inline std::uint32_t u32At(Bytes bytes, std::size_t offset, std::uint32_t fallback = 0) {
    if (offset + 4 > bytes.size())
        return fallback;
    return std::uint32_t{bytes[offset]} | std::uint32_t{bytes[offset + 1]} << 8 |
           std::uint32_t{bytes[offset + 2]} << 16 | std::uint32_t{bytes[offset + 3]} << 24;
}

inline std::int32_t i32At(Bytes bytes, std::size_t offset, std::int32_t fallback = 0) {
    return static_cast<std::int32_t>(u32At(bytes, offset, static_cast<std::uint32_t>(fallback)));
}

inline std::uint64_t u64At(Bytes bytes, std::size_t offset, std::uint64_t fallback = 0) {
    if (offset + 8 > bytes.size())
        return fallback;
    return std::uint64_t{u32At(bytes, offset)} | std::uint64_t{u32At(bytes, offset + 4)} << 32;
}

struct Chunk {
    FourCC id = 0;
    // The form or list type, for RIFF and LIST chunks.
    FourCC type = 0;
    // For RIFF and LIST chunks, what follows the type.
    Bytes data;
};

inline bool isList(FourCC id) {
    return id == fourcc("RIFF") || id == fourcc("LIST");
}

// Walks the chunks laid end to end in one span. Sizes exclude the pad byte
// that follows an odd-sized chunk.
class ChunkWalker {
public:
    explicit ChunkWalker(Bytes bytes) : m_bytes(bytes) {}

    // Nothing at the end of the span, or at damage (see damaged()).
    std::optional<Chunk> next() {
        const std::size_t remaining = m_bytes.size() - m_pos;
        // Writers disagree on whether the last chunk's pad byte belongs to
        // its parent, so a lone byte at the end is not damage.
        if (remaining <= 1)
            return std::nullopt;
        if (remaining < 8)
            return fail();
        Chunk chunk;
        chunk.id = u32At(m_bytes, m_pos);
        const std::uint32_t size = u32At(m_bytes, m_pos + 4);
        if (size > remaining - 8)
            return fail();
        chunk.data = m_bytes.subspan(m_pos + 8, size);
        m_pos = std::min(m_bytes.size(), m_pos + 8 + size + (size & 1u));
        if (isList(chunk.id)) {
            if (size < 4)
                return fail();
            chunk.type = u32At(chunk.data, 0);
            chunk.data = chunk.data.subspan(4);
        }
        return chunk;
    }

    bool damaged() const { return m_damaged; }

private:
    std::optional<Chunk> fail() {
        m_damaged = true;
        m_pos = m_bytes.size();
        return std::nullopt;
    }

    Bytes m_bytes;
    std::size_t m_pos = 0;
    bool m_damaged = false;
};

// An array chunk: a 32-bit record size, then records of that size. Bytes
// after the last whole record are ignored.
struct RecordArray {
    Bytes records;
    std::size_t stride = 0;

    std::size_t count() const { return stride == 0 ? 0 : records.size() / stride; }
    Bytes operator[](std::size_t index) const { return records.subspan(index * stride, stride); }
};

inline std::optional<RecordArray> recordArray(Bytes data, std::size_t minRecordBytes) {
    if (data.empty())
        return RecordArray{};
    const std::uint32_t stride = u32At(data, 0, 0);
    if (data.size() < 4 || stride < minRecordBytes)
        return std::nullopt;
    return RecordArray{data.subspan(4), stride};
}

} // namespace tremlo::sound::riff
