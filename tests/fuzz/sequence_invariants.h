#pragma once

// What the sequencer relies on in every sequence a reader hands it: a loop
// inside the length, time order, nothing past the end, and SysEx ranges
// inside the buffer. A reader that breaks one is stopped at once, so the
// fuzzer keeps the input.

#include "sequence.h"

#include <cstdint>
#include <cstdlib>

inline void abortUnlessPlayable(const tremlo::sound::Sequence& sequence) {
    if (sequence.loopStartUs < 0 || sequence.loopEndUs > sequence.lengthUs ||
        (sequence.loopEndUs > 0 && sequence.loopStartUs >= sequence.loopEndUs))
        std::abort();
    std::int64_t previousUs = 0;
    for (const auto& event : sequence.events) {
        const bool sysexInside =
            std::uint64_t{event.sysexOffset} + event.sysexLength <= sequence.sysex.size();
        if (event.timeUs < previousUs || event.timeUs > sequence.lengthUs || !sysexInside)
            std::abort();
        previousUs = event.timeUs;
    }
}
