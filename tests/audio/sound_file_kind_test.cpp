// Telling sound files by their first bytes: every MPEG version and layer,
// the containers' magic, and bytes one bit or one byte away from them.

#include "sound_file_kind.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tremlo::sound::test {
namespace {

std::vector<std::uint8_t> bytesOf(std::initializer_list<int> values) {
    std::vector<std::uint8_t> bytes;
    for (int v : values)
        bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

std::vector<std::uint8_t> textThen(const std::string& text, std::initializer_list<int> more = {}) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    for (int v : more)
        bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

TEST(SoundFileKind, IsToldByTheFirstBytes) {
    using K = SoundFileKind;
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        SoundFileKind kind;
    } cases[] = {
        // Frame headers: sync, version (11 = 1, 10 = 2, 00 = 2.5), layer
        // (01 = III, 10 = II, 11 = I), bitrate and sample rate.
        {"MPEG 1 layer III", bytesOf({0xFF, 0xFB, 0x90, 0xC4}), K::Mpeg},
        {"MPEG 1 layer III with CRC", bytesOf({0xFF, 0xFA, 0x90, 0x44}), K::Mpeg},
        {"MPEG 1 layer II", bytesOf({0xFF, 0xFD, 0x90, 0x04}), K::Mpeg},
        {"MPEG 1 layer I", bytesOf({0xFF, 0xFF, 0x90, 0x04}), K::Mpeg},
        {"MPEG 2 layer III at 16 kHz", bytesOf({0xFF, 0xF3, 0x48, 0x44}), K::Mpeg},
        {"MPEG 2 layer II at 22 kHz", bytesOf({0xFF, 0xF5, 0x80, 0x04}), K::Mpeg},
        {"MPEG 2 layer I at 24 kHz", bytesOf({0xFF, 0xF7, 0x84, 0x04}), K::Mpeg},
        {"MPEG 2.5 layer III at 8 kHz", bytesOf({0xFF, 0xE3, 0x58, 0x44}), K::Mpeg},
        {"MPEG 2.5 layer II at 11 kHz", bytesOf({0xFF, 0xE5, 0x50, 0x04}), K::Mpeg},
        {"MPEG 2.5 layer I at 12 kHz", bytesOf({0xFF, 0xE7, 0x54, 0x04}), K::Mpeg},
        {"highest bitrate", bytesOf({0xFF, 0xFB, 0xE0, 0x44}), K::Mpeg},
        {"free-format bitrate", bytesOf({0xFF, 0xFB, 0x00, 0x44}), K::Mpeg},
        {"sync a bit short", bytesOf({0xFF, 0xDB, 0x90, 0x44}), K::Unknown},
        {"sync a bit short in its first byte", bytesOf({0xFE, 0xFB, 0x90, 0x44}), K::Unknown},
        {"reserved version", bytesOf({0xFF, 0xEB, 0x90, 0x44}), K::Unknown},
        {"reserved layer", bytesOf({0xFF, 0xF9, 0x90, 0x44}), K::Unknown},
        {"bad bitrate", bytesOf({0xFF, 0xFB, 0xF0, 0x44}), K::Unknown},
        {"reserved sample rate", bytesOf({0xFF, 0xFB, 0x9C, 0x44}), K::Unknown},
        {"a frame header cut short", bytesOf({0xFF, 0xFB, 0x90}), K::Unknown},
        // ID3v2: version, revision, flags and a size of seven-bit bytes.
        {"ID3v2.4 tag", textThen("ID3", {4, 0, 0, 0, 0, 0x02, 0x7F}), K::Mpeg},
        {"ID3v2.3 tag", textThen("ID3", {3, 0, 0x80, 0x7F, 0x7F, 0x7F, 0x7F}), K::Mpeg},
        {"ID3 tag and the frame after it", textThen("ID3", {4, 0, 0, 0, 0, 0, 0x7F, 0xFF, 0xFB}),
         K::Mpeg},
        {"ID3 with an impossible version", textThen("ID3", {0xFF, 0, 0, 0, 0, 0, 0}), K::Unknown},
        {"ID3 with an impossible revision", textThen("ID3", {4, 0xFF, 0, 0, 0, 0, 0}), K::Unknown},
        {"ID3 size with its top bit set", textThen("ID3", {4, 0, 0, 0, 0, 0x80, 0}), K::Unknown},
        {"ID3 size's last byte, top bit", textThen("ID3", {4, 0, 0, 0, 0, 0, 0x80}), K::Unknown},
        {"ID3 head cut short", textThen("ID3", {4, 0, 0, 0, 0, 0}), K::Unknown},
        {"ID2", textThen("ID2", {4, 0, 0, 0, 0, 0, 0}), K::Unknown},
        {"id3 in lower case", textThen("id3", {4, 0, 0, 0, 0, 0, 0}), K::Unknown},
        // The containers.
        {"Ogg", textThen("OggS", {0}), K::Ogg},
        {"Ogg one letter off", textThen("OggT", {0}), K::Unknown},
        {"Ogg cut short", textThen("Ogg"), K::Unknown},
        {"FLAC", textThen("fLaC", {0}), K::Flac},
        {"FLAC in lower case", textThen("flac", {0}), K::Unknown},
        {"RIFF WAVE", textThen("RIFF\x24\x10\x01\x01WAVE"), K::Wave},
        {"RIFX WAVE", textThen(std::string("RIFX\0\0\x10\x24WAVE", 12)), K::Wave},
        {"RF64 WAVE", textThen("RF64\xFF\xFF\xFF\xFFWAVE"), K::Wave},
        {"RIFF of another kind",
         textThen("RIFF\x24\x10\x01\x01"
                  "AVI "),
         K::Unknown},
        {"RIFF WAVE one letter off", textThen("RIFF\x24\x10\x01\x01WAVF"), K::Unknown},
        {"RIFF WAVE cut short", textThen("RIFF\x24\x10\x01\x01WAV"), K::Unknown},
        {"RIFY WAVE", textThen("RIFY\x24\x10\x01\x01WAVE"), K::Unknown},
        {"nothing", {}, K::Unknown},
        {"text", textThen("hello, world"), K::Unknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(soundFileKindOf(c.bytes), c.kind) << c.name;
}

} // namespace
} // namespace tremlo::sound::test
