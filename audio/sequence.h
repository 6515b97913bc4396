#pragma once

// The one model of a piece of music that the sequencer plays: MIDI files and
// DirectMusic segments are both read into it.
//
// Times are absolute microseconds from the start of a pass, already resolved
// through the tempo map, so the sequencer never needs to know about ticks and
// lengths and positions stay exact across tempo changes. A Sequence is built
// once on the user-interface thread and never changed afterwards; the audio
// thread reads it through a const pointer.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tremlo::sound {

// The synthesizer runs this many channels. MIDI files use the first 16;
// segments address performance channels, which go far beyond 16 and map onto
// these one to one (see segment_file.h).
inline constexpr int kSynthChannels = 256;

// Not a MIDI message: makes synthesizer channel data1 a drum-kit channel
// (data2 = 1) or a melodic one (data2 = 0). A segment says per instrument
// whether it is a drum kit instead of relying on channel 10, and needs this
// for every channel it uses.
inline constexpr std::uint8_t kChannelTypeStatus = 0xF5;

// Limits every reader keeps to. Four million events is hours of dense music;
// more than that is a hostile or broken file, and refusing it keeps memory
// bounded. SysEx offsets in a Sequence are 32-bit, so a file larger than this
// is refused before reading; no real melody is anywhere near it.
inline constexpr std::size_t kMaxSequenceEvents = 4'000'000;
inline constexpr std::size_t kMaxSequenceFileBytes = std::size_t{1} << 30;

struct SequenceEvent {
    std::int64_t timeUs = 0;
    // A channel voice message (0x80..0xEF) with its one or two data bytes, or
    // 0xF0 for a system-exclusive message whose bytes (without the leading
    // 0xF0 and the trailing 0xF7) are sysex[sysexOffset, sysexOffset + sysexLength),
    // or kChannelTypeStatus.
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    // A channel voice message goes to synthesizer channel
    // channelGroup * 16 + (status & 0x0F); MIDI files leave the group at 0.
    std::uint8_t channelGroup = 0;
    std::uint32_t sysexOffset = 0;
    std::uint32_t sysexLength = 0;
};

struct Sequence {
    // Sorted by timeUs; events at the same time keep their file order.
    std::vector<SequenceEvent> events;
    std::vector<std::uint8_t> sysex;
    // Length of one pass: the time of the latest end of any track.
    std::int64_t lengthUs = 0;
    // Later passes repeat only [loopStartUs, loopEndUs) when a segment marks
    // such a part; loopEndUs 0 means the end of the pass. MIDI files repeat
    // whole.
    std::int64_t loopStartUs = 0;
    std::int64_t loopEndUs = 0;
};

// Whether later passes repeat a marked loop rather than the whole sequence;
// the first pass then ends at the loop's end too.
inline bool hasLoop(const Sequence& sequence) {
    return sequence.loopEndUs > 0 && sequence.loopEndUs <= sequence.lengthUs &&
           sequence.loopStartUs >= 0 && sequence.loopStartUs < sequence.loopEndUs;
}

// Leaves in `sequence` only what the synthesizer carries out without
// allocating, since the audio thread hands every event to it as it plays:
// MIDI Tuning Standard messages go, and so do system-exclusive messages the
// synthesizer would ignore anyway. A melody that retunes its notes therefore
// plays in equal temperament. Applying the tunings on the loading thread
// instead was the other way, and it is not taken: tunings live in the one
// synthesizer every segment shares, which is published to the audio thread
// before any segment loads, so writing them later would allocate under the
// mixer lock; and a tuning message takes effect at its own moment in the piece
// and on channels the reset before every play clears again. Station melodies
// are written for General MIDI in equal temperament, so nothing real is lost.
// Called on the loading thread before the sequence is published.
void keepToWhatTheSynthPlaysWithoutAllocating(Sequence& sequence);

} // namespace tremlo::sound
