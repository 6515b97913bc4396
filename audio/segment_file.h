#pragma once

// Reader of DirectMusic segment files (RIFF form DMSG) into a Sequence.
//
// Only segments that carry their music as notes play: the sequence track
// (notes, controllers and curves), with the tempo, band and SysEx tracks that
// shape it. Segments that need the style engine (style, pattern, chord-map
// tracks and no sequence track) are refused, as are damaged files, so the
// program reports a load error instead of playing silence.
//
// A pass plays from the segment's play start to its end; the program's
// further passes repeat the part between its loop points when it has them.
//
// Performance channels become synthesizer channels one to one up to
// kSynthChannels; higher ones wrap around onto that range. Instruments that
// name a DLS collection play the General MIDI SoundFont's instrument with the
// same bank and program.

#include "sequence.h"

#include <cstdint>
#include <optional>
#include <span>

namespace tremlo::sound {

// True when the bytes start like a segment file; they may still be damaged.
bool isSegmentFile(std::span<const std::uint8_t> bytes);

// Returns nothing for bytes that are not a playable segment. Never throws,
// never reads outside the given bytes, and keeps memory bounded.
std::optional<Sequence> readSegmentFile(std::span<const std::uint8_t> bytes);

} // namespace tremlo::sound
