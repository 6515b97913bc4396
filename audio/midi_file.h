#pragma once

// Reader of standard MIDI files (types 0, 1 and 2) into a Sequence.

#include "sequence.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tremlo::sound {

// Returns nothing for bytes that are not a readable MIDI file. Never throws,
// never reads outside the given bytes, and finishes in time linear in their size.
std::optional<Sequence> readMidiFile(std::span<const std::uint8_t> bytes);

} // namespace tremlo::sound
