// Feeds arbitrary bytes to the MIDI file reader. Seed it with
// tests/data/mid/jazz-soft, whose damaged files already reach most of the
// recovery paths.

#include "midi_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto sequence = tremlo::sound::readMidiFile({data, size});
    if (!sequence) {
        return 0;
    }
    // What the sequencer relies on: time order, nothing past the end, and
    // SysEx ranges inside the buffer.
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
