#pragma once

// Decoding of whole sound files held in memory, through libsndfile: WAVE
// (RIFF, RIFX and RF64) and the compressed files melodies come in (MP3, Ogg
// Vorbis, Ogg Opus, FLAC). The name is the WAVE file's, which came first.
//
// Thread: any; each call decodes on the thread that makes it.

#include "sample_data.h"

#include <cstdint>
#include <memory>
#include <span>

namespace tremlo::sound {

// The most memory one sound's decoded samples may take: the smaller of
// 2 GiB and half the machine's memory. A longer sound is refused rather
// than left to push the machine into swapping or the program into an
// allocation failure.
std::size_t sampleMemoryLimit();

struct DecodeResult {
    std::shared_ptr<const SampleData> samples; // null when refused
    // Refused for its size: its samples would pass the limit, or memory ran
    // out while decoding. Otherwise a refusal means "not a sound".
    bool tooLarge = false;
};

// Decodes within `memoryLimitBytes` of samples, counted as the decoder
// delivers them, never from what a header claims. Refuses bytes that are
// not such a file libsndfile can decode, or that decode to no samples.
// Never reads outside the given bytes, and no allocation failure escapes.
DecodeResult decodeSound(std::span<const std::uint8_t> bytes, std::size_t memoryLimitBytes);

// decodeSound within sampleMemoryLimit(), for callers that only need to
// know whether it worked.
std::shared_ptr<const SampleData> decodeWave(std::span<const std::uint8_t> bytes);

} // namespace tremlo::sound
