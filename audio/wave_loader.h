#pragma once

// Decoding of whole sound files held in memory, through libsndfile: WAVE
// (RIFF, RIFX and RF64) and the compressed files melodies come in (MP3, Ogg
// Vorbis, Ogg Opus, FLAC). The name is the WAVE file's, which came first.

#include "sample_data.h"

#include <cstdint>
#include <memory>
#include <span>

namespace tremlo::sound {

// Returns nothing for bytes that are not such a file libsndfile can decode, or
// that decode to no samples. Never reads outside the given bytes.
std::shared_ptr<const SampleData> decodeWave(std::span<const std::uint8_t> bytes);

} // namespace tremlo::sound
