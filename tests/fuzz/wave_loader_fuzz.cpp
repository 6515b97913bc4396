// Feeds arbitrary bytes to the WAVE loader (which also reads MP3, Ogg and
// FLAC files, and RF64 and RIFX WAVE files; tools/test seeds it with each): it must refuse or
// decode, never crash, hang or read outside the bytes, and what it decodes must be sane.

#include "wave_loader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto decoded = tremlo::sound::decodeWave({data, size});
    if (!decoded)
        return 0;
    const std::size_t samples =
        decoded->pcm16.empty() ? decoded->pcmFloat.size() : decoded->pcm16.size();
    if ((decoded->channels != 1 && decoded->channels != 2) || decoded->samplesPerSecond <= 0 ||
        decoded->frames <= 0 ||
        samples !=
            static_cast<std::size_t>(decoded->frames) * static_cast<std::size_t>(decoded->channels))
        std::abort();
    return 0;
}
