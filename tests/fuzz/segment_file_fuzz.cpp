// Feeds arbitrary bytes to the segment reader. tools/test seeds it with
// segments made by make_segment from the test MIDI files, in every record
// size it writes, so the fuzzer starts inside every track kind.

#include "segment_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto sequence = tremlo::sound::readSegmentFile({data, size});
    if (!sequence) {
        return 0;
    }
    // What the sequencer relies on: a length to repeat, a loop inside it,
    // time order, nothing past the end, and SysEx ranges inside the buffer.
    if (sequence->lengthUs <= 0 || sequence->loopStartUs < 0 ||
        sequence->loopEndUs > sequence->lengthUs ||
        (sequence->loopEndUs > 0 && sequence->loopStartUs >= sequence->loopEndUs)) {
        std::abort();
    }
    std::int64_t previousUs = 0;
    for (const auto& event : sequence->events) {
        bool sysexInside =
            std::uint64_t{event.sysexOffset} + event.sysexLength <= sequence->sysex.size();
        if (event.timeUs < previousUs || event.timeUs > sequence->lengthUs || !sysexInside) {
            std::abort();
        }
        previousUs = event.timeUs;
    }
    return 0;
}
