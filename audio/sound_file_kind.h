#pragma once

// What kind of sound file a run of bytes is, told by its first bytes alone:
// the loader hands each kind to libsndfile expecting that kind back, so an
// Ogg page never decodes as anything but Ogg.
//
// Thread: any; a plain function of the bytes.

#include <cstdint>
#include <span>

namespace tremlo::sound {

enum class SoundFileKind { Unknown, Wave, Ogg, Flac, Mpeg };

// Wave: "RIFF", "RIFX" or "RF64" followed by a size and "WAVE". Ogg: "OggS".
// Flac: "fLaC". Mpeg: an ID3v2 tag, or an MPEG audio frame header of any
// version (1, 2, 2.5) and layer (I, II, III) whose fields hold no reserved
// value. Anything else, and anything too short to tell, is Unknown.
SoundFileKind soundFileKindOf(std::span<const std::uint8_t> bytes);

} // namespace tremlo::sound
