#pragma once

// What a switch box is made of, whatever wires it: controls of devices that
// are pressed and released, and the sources that watch them.
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
// Thread: the user-interface thread, except InputLoop::post.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tremlo::input {

enum class SwitchButton { On, Off };

struct InputControl {
    std::string kind;    // "controller", "serial" or "midi"
    std::string control; // within the device
    std::string device;  // empty in a binding: any device of that kind

    bool operator==(const InputControl&) const = default;

    std::string text() const;
    // nullopt for empty or malformed text.
    static std::optional<InputControl> parse(std::string_view text);
};

inline constexpr std::string_view kController = "controller";
inline constexpr std::string_view kSerial = "serial";
inline constexpr std::string_view kMidi = "midi";

// True when a change reported for `reported` concerns `binding`; `inverted`
// then says whether the binding reads it the other way round. A binding's
// "!" inverts; a MIDI binding without a channel matches every channel.
bool bindingMatches(const InputControl& binding, const InputControl& reported, bool& inverted);

// A control went down or up. `initial` marks the level a source found when
// it opened a device: it counts for the switch, but is no answer to a
// capture, which waits for something the user did.
struct InputChange {
    InputControl control;
    bool pressed = false;
    bool initial = false;
};

// A device a source can see now, for the input dialog.
struct FoundDevice {
    std::string kind;
    std::string device; // as in InputControl
    std::string name;   // for people
};

// Where sources deliver, on the user-interface thread. A source is not
// re-entrant: a sink returns without running the event loop (a switch
// operation that waits, as a run-out does, is posted to the loop instead).
class InputSink {
public:
    virtual ~InputSink() = default;
    virtual void inputChanged(const InputChange& change) = 0;
    // The device went away: whatever of it was held is released.
    virtual void deviceGone(std::string_view kind, std::string_view device) = 0;
    // One line for the panel's message line.
    virtual void inputMessage(const std::string& text) = 0;
};

// The event loop as the sources see it: no source polls; each waits on a
// descriptor or a thread of its own.
class InputLoop {
public:
    virtual ~InputLoop() = default;
    // Runs `task` on the user-interface thread soon. Any thread may call it.
    virtual void post(std::function<void()> task) = 0;
    // Calls onReadable on the user-interface thread whenever fd can be
    // read, until unwatch(id).
    virtual int watchReadable(int fd, std::function<void()> onReadable) = 0;
    virtual void unwatch(int id) = 0;
};

// One kind of device: controllers, serial lines or MIDI ports.
class InputSource {
public:
    virtual ~InputSource() = default;
    // The bindings of this kind to keep watched. Devices they name are
    // opened, or waited for while absent; others are let go. A binding
    // whose control is empty names a device chosen for a capture.
    virtual void watch(const std::vector<InputControl>& bindings) = 0;
    // While true (the input dialog is capturing), every device found is
    // watched, whatever the bindings say.
    virtual void setListeningToAll(bool all) = 0;
    virtual std::vector<FoundDevice> devices() const = 0;
};

} // namespace tremlo::input
