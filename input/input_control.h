#pragma once

// The controls of a switch box, whatever wires it: controls of devices that
// are pressed and released, and the bindings that name them. The sources
// that watch them are in input_source.h.
//
// A control is named by its kind, the control within the device and the
// device, in the text form the settings file keeps,
// "<kind>:<control>@<device>":
//   controller:button 3@03000000c82d00000031000011010000   (SDL joystick GUID)
//   controller:hat 0 up@…   controller:axis 1 +@…
//   serial:DSR@/dev/ttyUSB0   serial:!CTS@/dev/ttyUSB0        ("!": inverted)
//   midi:ch 10 note 36@nanoPAD2:nanoPAD2 MIDI 1   midi:cc 64@…   (any channel)
// The device comes last, so it may hold any character; a control never holds
// "@".
//
// Thread: the user-interface thread.

#include <optional>
#include <string>
#include <string_view>

namespace tremlo::input {

enum class SwitchButton { On, Off };

// The kinds of device a source reads.
enum class SourceKind { Controller, Serial, Midi };

// A kind's word in a control's text: "controller", "serial" or "midi".
std::string_view kindText(SourceKind kind);

struct InputControl {
    // The kind's word as the text has it. A binding may name a kind no source
    // reads: it is kept as it was written, and matches nothing.
    std::string kind;
    std::string control; // within the device
    std::string device;  // empty in a binding: any device of that kind

    bool operator==(const InputControl&) const = default;

    bool is(SourceKind sourceKind) const { return kind == kindText(sourceKind); }

    std::string text() const;
    // nullopt for empty or malformed text.
    static std::optional<InputControl> parse(std::string_view text);
    // A control of a source's own kind.
    static InputControl of(SourceKind kind, std::string control, std::string device);
};

// True when a change reported for `reported` concerns `binding`; `inverted`
// then says whether the binding reads it the other way round. A binding's
// "!" inverts; a MIDI binding without a channel matches every channel.
bool bindingMatches(const InputControl& binding, const InputControl& reported, bool& inverted);

} // namespace tremlo::input
