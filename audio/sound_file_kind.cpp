#include "sound_file_kind.h"

#include <cstring>

namespace tremlo::sound {
namespace {

bool startsWith(std::span<const std::uint8_t> bytes, const char* magic, std::size_t at = 0) {
    const std::size_t n = std::strlen(magic);
    return bytes.size() >= at + n && std::memcmp(bytes.data() + at, magic, n) == 0;
}

// An ID3v2 tag's head: "ID3", a version and revision that are never 0xFF,
// flags, and a size of four bytes of seven bits each.
bool isId3Tag(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 10 || !startsWith(bytes, "ID3") || bytes[3] == 0xFF || bytes[4] == 0xFF)
        return false;
    for (std::size_t i = 6; i < 10; ++i)
        if (bytes[i] & 0x80)
            return false;
    return true;
}

// Eleven set bits of frame sync alone would take one byte in 2048 of
// arbitrary data for MPEG audio; a real frame header also never holds the
// reserved version (01), layer (00), bitrate (1111) or sample rate (11).
// The free-format bitrate (0000) is real MPEG and stays.
bool isMpegFrameHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 4 || bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0)
        return false;
    const int version = (bytes[1] >> 3) & 0x3;
    const int layer = (bytes[1] >> 1) & 0x3;
    const int bitrate = bytes[2] >> 4;
    const int sampleRate = (bytes[2] >> 2) & 0x3;
    return version != 0x1 && layer != 0x0 && bitrate != 0xF && sampleRate != 0x3;
}

} // namespace

SoundFileKind soundFileKindOf(std::span<const std::uint8_t> bytes) {
    if ((startsWith(bytes, "RIFF") || startsWith(bytes, "RIFX") || startsWith(bytes, "RF64")) &&
        startsWith(bytes, "WAVE", 8))
        return SoundFileKind::Wave;
    if (startsWith(bytes, "OggS"))
        return SoundFileKind::Ogg;
    if (startsWith(bytes, "fLaC"))
        return SoundFileKind::Flac;
    if (isId3Tag(bytes) || isMpegFrameHeader(bytes))
        return SoundFileKind::Mpeg;
    return SoundFileKind::Unknown;
}

} // namespace tremlo::sound
