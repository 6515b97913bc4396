// Feeds arbitrary bytes to the MIDI file reader. Seed it with
// tests/data/mid/jazz-soft, whose damaged files already reach most of the
// recovery paths.

#include "midi_file.h"
#include "sequence_invariants.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto sequence = tremlo::sound::readMidiFile({data, size});
    if (!sequence)
        return 0;
    abortUnlessPlayable(*sequence);
    return 0;
}
