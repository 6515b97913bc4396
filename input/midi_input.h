#pragma once

// MIDI keyboards, pads and pedals as a switch box, through the ALSA
// sequencer. The program shows itself there as a client with one port other
// programs may connect to; it also connects the ports its bindings name
// itself, as soon as they appear. Notes press while they sound; a controller
// (a sustain pedal, cc 64) presses from 64 up.
//
// Without a sequencer (no /dev/snd/seq, a machine without sound hardware)
// the source stays silent and sees no devices.
//
// Thread: the user-interface thread.

#include "input_source.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

typedef struct _snd_seq snd_seq_t; // NOLINT: ALSA's own declaration

namespace tremlo::input {

// One sequencer event, as far as a switch cares.
struct MidiEvent {
    enum class Type { NoteOn, NoteOff, Controller };
    Type type;
    int channel; // 0–15
    int number;  // the note or the controller
    int value;   // the velocity or the controller's value
    std::string device;
};

// The change `event` makes, if any. `held` keeps the controls that are down
// (their text form) so that a level repeated is no change: a pedal sending
// 100, 110, 127 presses once.
std::optional<InputChange> decodeMidiEvent(const MidiEvent& event, std::set<std::string>& held);

// A port's device text, "client:port". ALSA keeps each name in 64 bytes and
// cuts it there, in the middle of a character if need be: that part is
// dropped, and so are blanks at the end, which the settings file would not
// keep.
std::string midiDeviceName(std::string_view client, std::string_view port);

class MidiSource : public InputSource {
public:
    MidiSource(InputLoop& loop, InputSink& sink);
    ~MidiSource() override;
    MidiSource(const MidiSource&) = delete;
    MidiSource& operator=(const MidiSource&) = delete;

    void watch(const std::vector<InputControl>& bindings) override;
    void setListeningToAll(bool all) override;
    std::vector<FoundDevice> devices() const override;

private:
    struct Address {
        int client;
        int port;
        auto operator<=>(const Address&) const = default;
    };

    bool open();
    void readEvents();
    void portStarted(Address address);
    void portExited(Address address);
    void clientExited(int client);
    void forgetClient(int client);
    // True when the device held any control.
    bool forgetHeld(const std::string& device);
    // Connects what is wanted now, and lets go of what we connected that is
    // no longer wanted.
    void connectWanted();
    bool wanted(const std::string& device) const;
    void connect(Address address, const std::string& device);
    void disconnect(Address address);
    std::string deviceName(Address address);

    InputLoop& m_loop;
    InputSink& m_sink;
    snd_seq_t* m_seq = nullptr;
    int m_port = -1;
    std::vector<int> m_watches;
    std::set<std::string> m_bound; // devices the bindings name
    bool m_listeningToAll = false;
    std::set<Address> m_connected; // by us; connections others made are theirs
    std::map<Address, std::string> m_names;
    std::set<std::string> m_held;
};

} // namespace tremlo::input
