#pragma once

// Decoded samples of one sound buffer (from a WAVE or compressed file), immutable once made.
//
// Samples keep a compact form: sources of 16 bits or fewer (8-bit PCM, ADPCM,
// A-law, µ-law) are held as 16-bit integers, wider or floating-point sources as
// 32-bit floats. More than two channels are mixed down to stereo at load, so
// the mixer only ever meets mono or stereo.

#include <cstdint>
#include <string>
#include <vector>

namespace tremlo::sound {

struct SampleData {
    int channels = 0;         // 1 or 2, as stored
    int bitsPerSample = 0;    // of the file
    int samplesPerSecond = 0; // of the file
    std::int64_t frames = 0;
    std::string codec;               // of a compressed file ("MP3", "FLAC", ...); empty for WAVE
    std::vector<std::int16_t> pcm16; // used when not empty
    std::vector<float> pcmFloat;     // used otherwise

    // Copies frames [from, from + count) as floats into out (interleaved with
    // the buffer's own channel count).
    void readFloat(std::int64_t from, std::int64_t count, float* out) const noexcept {
        const std::int64_t n = count * channels;
        const std::int64_t start = from * channels;
        if (!pcm16.empty()) {
            for (std::int64_t i = 0; i < n; ++i)
                out[i] = pcm16[static_cast<std::size_t>(start + i)] * (1.0f / 32768.0f);
        } else {
            for (std::int64_t i = 0; i < n; ++i)
                out[i] = pcmFloat[static_cast<std::size_t>(start + i)];
        }
    }
};

} // namespace tremlo::sound
