#pragma once

// Decoding of whole WAVE files held in memory, through libsndfile.

#include "sample_data.h"

#include <cstdint>
#include <memory>
#include <span>

namespace tremlo::sound {

// Returns nothing for bytes that are not a WAVE file libsndfile can decode, or
// that decode to no samples. Never reads outside the given bytes.
std::shared_ptr<const SampleData> decodeWave(std::span<const std::uint8_t> bytes);

} // namespace tremlo::sound
