// Feeds arbitrary bytes to the segment reader. tools/test seeds it with
// segments made by make_segment from the test MIDI files, in every record
// size it writes, so the fuzzer starts inside every track kind.

#include "segment_file.h"
#include "sequence_invariants.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto sequence = tremlo::sound::readSegmentFile({data, size});
    if (!sequence)
        return 0;
    // A segment the reader accepts has a length to repeat.
    if (sequence->lengthUs <= 0)
        std::abort();
    abortUnlessPlayable(*sequence);
    return 0;
}
