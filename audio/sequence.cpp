#include "sequence.h"

#include <algorithm>
#include <span>

namespace tremlo::sound {
namespace {

constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kRpnLsb = 100;
constexpr std::uint8_t kRpnTuningProgram = 3;
// The null parameter: a data entry that follows it changes nothing.
constexpr std::uint8_t kRpnNull = 127;

// The system-exclusive messages FluidSynth 2.3 carries out in place: GM and
// GM2 system on, Roland GS DT1 (GS reset, drum part) and Yamaha XG system on,
// each a reset of channels that already exist. FluidSynth ignores every other
// kind except MIDI Tuning Standard messages, and each of those builds a new
// tuning on the heap (and frees the one it replaces). Listing what may pass,
// rather than what may not, keeps a later FluidSynth's new handlers off the
// audio thread until someone has read them.
bool synthActsWithoutAllocating(std::span<const std::uint8_t> message) {
    // Shorter messages FluidSynth ignores.
    if (message.size() < 4)
        return false;
    switch (message[0]) {
    case 0x7E: // universal non-real-time; sub-ID 9 is General MIDI
        return message[2] == 0x09;
    case 0x41: // Roland, GS model, DT1
        return message[2] == 0x42 && message[3] == 0x12;
    case 0x43: // Yamaha, XG model
        return message[2] == 0x4C;
    default:
        return false;
    }
}

} // namespace

void keepToWhatTheSynthPlaysWithoutAllocating(Sequence& sequence) {
    const auto& bytes = sequence.sysex;
    std::erase_if(sequence.events, [&](const SequenceEvent& event) {
        if (event.status != 0xF0)
            return false;
        if (std::size_t{event.sysexOffset} + event.sysexLength > bytes.size())
            return true;
        return !synthActsWithoutAllocating(
            std::span(bytes).subspan(event.sysexOffset, event.sysexLength));
    });
    // Selecting a tuning program by RPN makes FluidSynth build a default
    // tuning when the program has none, and without the tuning messages above
    // none ever has one: the selection could only ever pick equal temperament,
    // which is what the channel plays anyway. Pointing the RPN at the null
    // parameter instead of dropping the controller keeps the data entry that
    // follows from landing on whichever parameter was selected before.
    for (SequenceEvent& event : sequence.events) {
        if ((event.status & 0xF0) == kControlChange && event.data1 == kRpnLsb &&
            event.data2 == kRpnTuningProgram)
            event.data2 = kRpnNull;
    }
}

} // namespace tremlo::sound
