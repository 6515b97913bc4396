#pragma once

// A segment whose later passes repeat only a loop: a flute plays C4, G4 and
// C5 for a beat each, and the loop is the G4 beat. For the test programs that
// link the segment maker.

#include "segment_maker.h"

namespace tremlo::test {

inline tools::segment::Bytes loopedFluteSegment() {
    namespace seg = tools::segment;
    seg::Instrument flute;
    flute.patch = 73;
    flute.flags = 0x0001;
    const auto items = seg::sequenceItems({{0, 768, 0, 0, 0x90, 60, 100},
                                           {768, 768, 0, 0, 0x90, 67, 100},
                                           {1536, 768, 0, 0, 0x90, 72, 100}},
                                          20);
    seg::Header header;
    header.lengthTicks = 768 * 3;
    header.loopStartTicks = 768;
    header.loopEndTicks = 768 * 2;
    return seg::segmentForm(
        seg::segmentHeader(header, 64),
        {seg::trackForm(seg::Track::Band, seg::bandTrackData({{0, {flute}}}, 44, false)),
         seg::trackForm(seg::Track::Sequence, seg::sequenceTrackData(items, {}))});
}

} // namespace tremlo::test
