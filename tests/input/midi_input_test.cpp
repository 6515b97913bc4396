// MIDI events decoded into presses, and the source on the real ALSA
// sequencer where the machine has one.

#include "midi_input.h"
#include "poll_input_loop.h"
#include "recording_buttons.h"
#include "switch_inputs.h"

#include <algorithm>
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace tremlo::input {
namespace {

using Type = MidiEvent::Type;

TEST(MidiInput, NotesAndControllersPressOnceAtEachChangeOfLevel) {
    struct Case {
        const char* name;
        std::vector<MidiEvent> events;
        const char* changes;
        const char* buttons; // On bound to note 36 on any channel, Off to ch 2 cc 64
    };
    const Case cases[] = {
        {"a note sounds and stops",
         {{Type::NoteOn, 9, 36, 100, "pads"}, {Type::NoteOff, 9, 36, 64, "pads"}},
         "+ch 10 note 36@pads -ch 10 note 36@pads ",
         "+on -on "},
        {"velocity 0 stops a note",
         {{Type::NoteOn, 0, 36, 1, "pads"}, {Type::NoteOn, 0, 36, 0, "pads"}},
         "+ch 1 note 36@pads -ch 1 note 36@pads ",
         "+on -on "},
        {"a stray stop and a repeated start are no change",
         {{Type::NoteOff, 0, 36, 0, "pads"},
          {Type::NoteOn, 0, 36, 90, "pads"},
          {Type::NoteOn, 0, 36, 120, "pads"}},
         "+ch 1 note 36@pads ",
         "+on "},
        {"a pedal presses from 64 and moving within a half is no change",
         {{Type::Controller, 1, 64, 63, "pedal"},
          {Type::Controller, 1, 64, 64, "pedal"},
          {Type::Controller, 1, 64, 110, "pedal"},
          {Type::Controller, 1, 64, 127, "pedal"},
          {Type::Controller, 1, 64, 63, "pedal"},
          {Type::Controller, 1, 64, 0, "pedal"}},
         "+ch 2 cc 64@pedal -ch 2 cc 64@pedal ",
         "+off -off "},
        {"channels, numbers and devices are apart",
         {{Type::Controller, 0, 64, 127, "pedal"},
          {Type::Controller, 1, 65, 127, "pedal"},
          {Type::NoteOn, 2, 36, 100, "pads"},
          {Type::NoteOn, 2, 36, 100, "keys"},
          {Type::NoteOn, 2, 37, 100, "keys"},
          {Type::Controller, 15, 64, 127, "pedal"}},
         "+ch 1 cc 64@pedal +ch 2 cc 65@pedal +ch 3 note 36@pads +ch 3 note 36@keys "
         "+ch 3 note 37@keys +ch 16 cc 64@pedal ",
         "+on "},
    };
    for (const Case& c : cases) {
        testing::PollInputLoop loop;
        RecordingButtons buttons;
        SwitchInputs inputs(loop, buttons, nullptr);
        inputs.setBindings({"midi:note 36@", "midi:ch 2 cc 64@", "", ""});
        std::set<std::string> held;
        std::string changes;
        for (const MidiEvent& event : c.events)
            if (const std::optional<InputChange> change = decodeMidiEvent(event, held)) {
                changes += (change->pressed ? "+" : "-") + change->control.control + "@" +
                           change->control.device + " ";
                inputs.inputChanged(*change);
            }
        EXPECT_EQ(changes, c.changes) << c.name;
        loop.runPending();
        EXPECT_EQ(buttons.log, c.buttons) << c.name;
    }
}

// Names as ALSA gives them, cut at 64 bytes wherever that falls; the device
// text goes into the settings file, which must hold it as it is.
TEST(MidiInput, ADeviceIsNamedByWholeCharactersWithoutBlanksAtTheEnd) {
    const struct {
        std::string_view client;
        std::string_view port;
        const char* device;
    } cases[] = {
        {"nanoPAD2", "nanoPAD2 MIDI 1", "nanoPAD2:nanoPAD2 MIDI 1"},
        // 鍵 is E9 8D B5: two of its three bytes, and all three.
        {"\xe9\x8d", "\xe9\x8d\xb5", ":\xe9\x8d\xb5"},
        {"Pedal", "\xe9\x8d\xb5\xe9", "Pedal:\xe9\x8d\xb5"},
        {"Pedal ", "Port \t", "Pedal :Port"},
        {"Pedal", "Port \xe9", "Pedal:Port"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(midiDeviceName(c.client, c.port), c.device) << c.device;
}

// Another program's keyboard on the sequencer: whether anyone listens to it,
// and a key pressed.
bool listenedTo(snd_seq_t* seq, int port) {
    snd_seq_query_subscribe_t* query = nullptr;
    snd_seq_query_subscribe_malloc(&query);
    const snd_seq_addr_t root{static_cast<unsigned char>(snd_seq_client_id(seq)),
                              static_cast<unsigned char>(port)};
    snd_seq_query_subscribe_set_root(query, &root);
    snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_READ);
    snd_seq_query_subscribe_set_index(query, 0);
    const bool any = snd_seq_query_port_subscribers(seq, query) == 0;
    snd_seq_query_subscribe_free(query);
    return any;
}

void noteOn(snd_seq_t* seq, int port, int channel, int note) {
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_source(&event, port);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    snd_seq_ev_set_noteon(&event, channel, note, 100);
    snd_seq_event_output_direct(seq, &event);
}

TEST(MidiInput, ABoundPortIsConnectedWhenItAppearsAndPressesTheSwitch) {
    testing::PollInputLoop loop;
    RecordingButtons buttons;
    std::string messages;
    SwitchInputs inputs(loop, buttons, [&messages](const std::string& text) { messages += text; });
    MidiSource source(loop, inputs);
    inputs.addSource(SourceKind::Midi, source);
    if (::access("/dev/snd/seq", R_OK | W_OK) != 0) {
        // Without a sequencer the source is quiet, and no worse.
        EXPECT_TRUE(source.devices().empty());
        EXPECT_EQ(messages, "");
        GTEST_SKIP() << "no ALSA sequencer here: /dev/snd/seq is missing (load snd-seq, "
                        "or snd-seq-dummy on a machine without sound hardware)";
    }

    // The binding comes first: the source waits for the port to appear.
    const std::string client = "鍵盤試験 " + std::to_string(::getpid());
    const std::string device = client + ":鍵盤";
    inputs.setBindings({"midi:note 60@" + device, "", "", ""});
    snd_seq_t* opened = nullptr;
    ASSERT_EQ(snd_seq_open(&opened, "default", SND_SEQ_OPEN_OUTPUT, 0), 0);
    std::unique_ptr<snd_seq_t, decltype(&snd_seq_close)> keyboard(opened, snd_seq_close);
    snd_seq_set_client_name(keyboard.get(), client.c_str());
    const int port = snd_seq_create_simple_port(
        keyboard.get(), "鍵盤", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    ASSERT_TRUE(loop.runUntil([&] { return listenedTo(keyboard.get(), port); }));
    const std::vector<FoundDevice> found = source.devices();
    EXPECT_TRUE(std::any_of(found.begin(), found.end(),
                            [&](const FoundDevice& each) { return each.device == device; }));

    noteOn(keyboard.get(), port, 2, 60);
    ASSERT_TRUE(loop.runUntil([&] { return buttons.log == "+on "; })) << buttons.log;
    // The keyboard unplugged while its key is down lets go of the switch.
    keyboard.reset();
    EXPECT_TRUE(loop.runUntil([&] { return buttons.log == "+on -on "; })) << buttons.log;
}

} // namespace
} // namespace tremlo::input
