#pragma once

// Game controllers and joysticks, USB arcade encoder boards among them,
// through SDL's joystick API: every button, hat direction and half of an axis
// is a control that goes down and up.
//
//   controller:button 3@<GUID>   controller:hat 0 up@<GUID>   controller:axis 1 -@<GUID>
//
// SDL starts from the loop, soon after the source is made. Every joystick is
// opened, whatever the bindings say; they are cheap, and a capture then sees
// them all. A joystick plugged in later is opened at once, and one pulled out
// releases what it held. Two joysticks of the same make share a GUID, and so
// report as one device.
//
// Nothing polls. SDL without video would wake every few milliseconds to look
// for events, so the source waits instead on the descriptors that change
// when a joystick does: each open joystick's evdev node (its own reading
// descriptor beside SDL's; the kernel hands an event to every reader at once)
// and /dev/input for joysticks coming and going. Woken, it lets SDL read, and
// takes only the joystick events from SDL's queue. SDL is told to find
// joysticks through /dev/input (inotify) rather than udev, so that when
// /dev/input changes, SDL has already seen it too.
//
// For the benchmark and the end-to-end tests, the environment variable
// TREMLO_VIRTUAL_CONTROLLER may name a FIFO (made when missing). The source
// then plugs in SDL's virtual joystick "tremolo virtual" (4 buttons and a hat,
// GUID kVirtualControllerGuid) and reads single bytes from the FIFO:
//   'A'..'D' buttons 0..3 down   'a'..'d' up   '-' pull it out   '+' plug it back
//   '8' '2' '4' '6' the hat up, down, left, right   '5' the hat centred
// Each byte is handed to SDL and SDL is pumped at once, so the change takes
// the way a real joystick's does (virtual_controller.h).
//
// Thread: the user-interface thread.

#include "input_source.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tremlo::input {

inline constexpr std::string_view kVirtualControllerGuid = "ff0005bf8b7d00005472000000007603";

class VirtualController;

class ControllerSource : public InputSource {
public:
    // Reads TREMLO_VIRTUAL_CONTROLLER.
    ControllerSource(InputLoop& loop, InputSink& sink);
    // `virtualControllerFifo` empty: no virtual joystick.
    ControllerSource(InputLoop& loop, InputSink& sink, const std::string& virtualControllerFifo);
    ~ControllerSource() override;

    ControllerSource(const ControllerSource&) = delete;
    ControllerSource& operator=(const ControllerSource&) = delete;

    // Every joystick reports anyway; the bindings are only kept.
    void watch(const std::vector<InputControl>& bindings) override;
    void setListeningToAll(bool all) override;
    std::vector<FoundDevice> devices() const override;

private:
    struct Joystick;

    void start(const std::string& virtualControllerFifo);
    void watchDeviceFolder();
    void open(int deviceIndex);
    void nodeReadable(int instance);
    void close(int instance);
    void pump();
    // Controls that went down (true) or up, by name. A joystick's state is
    // brought up to date before any change of it is reported.
    using Changes = std::vector<std::pair<std::string, bool>>;
    void report(const std::string& guidOfJoystick, const Changes& changes, bool initial);
    void setButton(Joystick& joystick, int button, bool pressed, Changes& changes);
    void setHat(Joystick& joystick, int hat, unsigned value, Changes& changes);
    void setAxis(Joystick& joystick, int axis, int value, Changes& changes);

    InputLoop& m_loop;
    InputSink& m_sink;
    bool m_started = false;
    int m_deviceFolder = -1; // inotify on /dev/input
    int m_deviceFolderWatch = 0;
    std::unique_ptr<VirtualController> m_virtual;         // only when a FIFO is named
    std::map<int, std::unique_ptr<Joystick>> m_joysticks; // by SDL instance id
    std::vector<InputControl> m_bindings;
    bool m_listeningToAll = false;
    std::shared_ptr<bool> m_alive; // for the start posted to the loop
};

} // namespace tremlo::input
