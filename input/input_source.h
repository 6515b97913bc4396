#pragma once

// The sources of a switch box: what reads one kind of device, the changes it
// reports, where it reports them and the event loop it waits on.
//
// Thread: the user-interface thread, except InputLoop::post.

#include "input_control.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tremlo::input {

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
    SourceKind kind;
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
    virtual void deviceGone(SourceKind kind, std::string_view device) = 0;
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
