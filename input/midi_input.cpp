#include "midi_input.h"

#include "text_encoding.h"

#include <alsa/asoundlib.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <poll.h>
#include <unistd.h>

namespace tremlo::input {

std::optional<InputChange> decodeMidiEvent(const MidiEvent& event, std::set<std::string>& held) {
    const std::string channel = "ch " + std::to_string(event.channel + 1);
    const bool note = event.type != MidiEvent::Type::Controller;
    InputChange change{
        InputControl::of(SourceKind::Midi,
                         channel + (note ? " note " : " cc ") + std::to_string(event.number),
                         event.device),
        note ? event.type == MidiEvent::Type::NoteOn && event.value > 0 : event.value >= 64};
    const std::string key = change.control.text();
    if (held.contains(key) == change.pressed)
        return std::nullopt;
    if (change.pressed)
        held.insert(key);
    else
        held.erase(key);
    return change;
}

namespace {

constexpr const char* kSequencerDevice = "/dev/snd/seq";
constexpr const char* kClientName = "トレモロ";
constexpr const char* kPortName = "スイッチ";

std::optional<MidiEvent> midiEventOf(const snd_seq_event_t& event) {
    switch (event.type) {
    case SND_SEQ_EVENT_NOTEON:
    case SND_SEQ_EVENT_NOTEOFF:
        return MidiEvent{event.type == SND_SEQ_EVENT_NOTEON ? MidiEvent::Type::NoteOn
                                                            : MidiEvent::Type::NoteOff,
                         event.data.note.channel,
                         event.data.note.note,
                         event.data.note.velocity,
                         {}};
    case SND_SEQ_EVENT_CONTROLLER:
        if (event.data.control.param > 127)
            return std::nullopt;
        return MidiEvent{MidiEvent::Type::Controller,
                         event.data.control.channel,
                         static_cast<int>(event.data.control.param),
                         event.data.control.value,
                         {}};
    default:
        return std::nullopt;
    }
}

struct ClientInfo {
    ClientInfo() { snd_seq_client_info_malloc(&info); }
    ~ClientInfo() { snd_seq_client_info_free(info); }
    ClientInfo(const ClientInfo&) = delete;
    ClientInfo& operator=(const ClientInfo&) = delete;
    snd_seq_client_info_t* info = nullptr;
};

struct PortInfo {
    PortInfo() { snd_seq_port_info_malloc(&info); }
    ~PortInfo() { snd_seq_port_info_free(info); }
    PortInfo(const PortInfo&) = delete;
    PortInfo& operator=(const PortInfo&) = delete;
    snd_seq_port_info_t* info = nullptr;
};

// A port others can read MIDI from: neither ours nor the sequencer's own.
bool isMidiSource(snd_seq_t* seq, const snd_seq_port_info_t* port) {
    const int client = snd_seq_port_info_get_client(port);
    if (client == SND_SEQ_CLIENT_SYSTEM || client == snd_seq_client_id(seq))
        return false;
    const unsigned int caps = snd_seq_port_info_get_capability(port);
    const unsigned int readable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
    const unsigned int midi = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;
    return (caps & readable) == readable && (caps & SND_SEQ_PORT_CAP_NO_EXPORT) == 0 &&
           (snd_seq_port_info_get_type(port) & midi) != 0;
}

std::string nameOf(snd_seq_client_info_t* client, const snd_seq_port_info_t* port) {
    return midiDeviceName(snd_seq_client_info_get_name(client), snd_seq_port_info_get_name(port));
}

// Without the part of a character that a cut left at its end.
std::string_view wholeCharacters(std::string_view name) {
    // A character is at most four bytes: at most three of it are left.
    for (std::size_t cut = 1; cut <= 3 && cut <= name.size() && !isValidUtf8(name); ++cut)
        if (isValidUtf8(name.substr(0, name.size() - cut)))
            return name.substr(0, name.size() - cut);
    return name;
}

// Calls found(device, client, port) for each MIDI source port there is now.
template <typename Found> void forEachMidiSource(snd_seq_t* seq, Found found) {
    ClientInfo client;
    PortInfo port;
    snd_seq_client_info_set_client(client.info, -1);
    while (snd_seq_query_next_client(seq, client.info) >= 0) {
        snd_seq_port_info_set_client(port.info, snd_seq_client_info_get_client(client.info));
        snd_seq_port_info_set_port(port.info, -1);
        while (snd_seq_query_next_port(seq, port.info) >= 0)
            if (isMidiSource(seq, port.info))
                found(nameOf(client.info, port.info), snd_seq_port_info_get_client(port.info),
                      snd_seq_port_info_get_port(port.info));
    }
}

} // namespace

std::string midiDeviceName(std::string_view client, std::string_view port) {
    std::string name = std::string(wholeCharacters(client)) + ":";
    name += wholeCharacters(port);
    while (name.ends_with(' ') || name.ends_with('\t'))
        name.pop_back();
    return name;
}

MidiSource::MidiSource(InputLoop& loop, InputSink& sink) : m_loop(loop), m_sink(sink) {
    if (open())
        return;
    if (m_seq)
        snd_seq_close(m_seq);
    m_seq = nullptr;
}

MidiSource::~MidiSource() {
    for (const int id : m_watches)
        m_loop.unwatch(id);
    // Closing takes our connections with it.
    if (m_seq)
        snd_seq_close(m_seq);
}

bool MidiSource::open() {
    // A machine without sound hardware has no sequencer; that is no fault to
    // show, and ALSA need not be asked (it would complain on its own).
    if (::access(kSequencerDevice, R_OK | W_OK) != 0) {
        std::fprintf(stderr, "tremolo: no MIDI input: %s: %s\n", kSequencerDevice,
                     std::strerror(errno));
        return false;
    }
    int error = snd_seq_open(&m_seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
    if (error >= 0)
        error = snd_seq_set_client_name(m_seq, kClientName);
    if (error >= 0)
        error = m_port = snd_seq_create_simple_port(
            m_seq, kPortName, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
            SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    // Ports coming and going are announced there; a bound port that appears
    // late is connected when it does.
    if (error >= 0)
        error = snd_seq_connect_from(m_seq, m_port, SND_SEQ_CLIENT_SYSTEM,
                                     SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    if (error < 0) {
        std::fprintf(stderr, "tremolo: no MIDI input: the ALSA sequencer: %s\n",
                     snd_strerror(error));
        return false;
    }
    const int count = snd_seq_poll_descriptors_count(m_seq, POLLIN);
    std::vector<pollfd> descriptors(static_cast<std::size_t>(count));
    snd_seq_poll_descriptors(m_seq, descriptors.data(), static_cast<unsigned int>(count), POLLIN);
    for (const pollfd& each : descriptors)
        m_watches.push_back(m_loop.watchReadable(each.fd, [this] { readEvents(); }));
    return true;
}

void MidiSource::watch(const std::vector<InputControl>& bindings) {
    m_bound.clear();
    for (const InputControl& binding : bindings)
        if (binding.is(SourceKind::Midi) && !binding.device.empty())
            m_bound.insert(binding.device);
    connectWanted();
}

void MidiSource::setListeningToAll(bool all) {
    m_listeningToAll = all;
    connectWanted();
}

std::vector<FoundDevice> MidiSource::devices() const {
    std::vector<FoundDevice> found;
    if (m_seq)
        forEachMidiSource(m_seq, [&found](const std::string& device, int, int) {
            found.push_back({SourceKind::Midi, device, device});
        });
    return found;
}

void MidiSource::readEvents() {
    // Everything waiting is read: the descriptor wakes the loop once for
    // what may be many events.
    for (;;) {
        snd_seq_event_t* event = nullptr;
        const int result = snd_seq_event_input(m_seq, &event);
        if (result == -ENOSPC)
            continue; // the queue overflowed; what was lost is lost
        if (result < 0 || !event)
            return;
        const Address source{event->source.client, event->source.port};
        switch (event->type) {
        case SND_SEQ_EVENT_PORT_START:
            portStarted({event->data.addr.client, event->data.addr.port});
            break;
        case SND_SEQ_EVENT_PORT_EXIT:
            portExited({event->data.addr.client, event->data.addr.port});
            break;
        case SND_SEQ_EVENT_PORT_CHANGE:
            m_names.erase({event->data.addr.client, event->data.addr.port});
            break;
        case SND_SEQ_EVENT_CLIENT_CHANGE:
            forgetClient(event->data.addr.client);
            break;
        case SND_SEQ_EVENT_CLIENT_EXIT:
            clientExited(event->data.addr.client);
            break;
        case SND_SEQ_EVENT_PORT_UNSUBSCRIBED:
            // Someone let go of a connection we made.
            if (event->data.connect.dest.client == snd_seq_client_id(m_seq) &&
                event->data.connect.dest.port == m_port)
                m_connected.erase(
                    {event->data.connect.sender.client, event->data.connect.sender.port});
            break;
        default:
            if (std::optional<MidiEvent> midi = midiEventOf(*event)) {
                midi->device = deviceName(source);
                if (std::optional<InputChange> change = decodeMidiEvent(*midi, m_held))
                    m_sink.inputChanged(*change);
            }
        }
    }
}

void MidiSource::portStarted(Address address) {
    PortInfo port;
    ClientInfo client;
    if (snd_seq_get_any_port_info(m_seq, address.client, address.port, port.info) < 0 ||
        snd_seq_get_any_client_info(m_seq, address.client, client.info) < 0 ||
        !isMidiSource(m_seq, port.info))
        return;
    const std::string device = nameOf(client.info, port.info);
    m_names[address] = device;
    if (wanted(device))
        connect(address, device);
}

void MidiSource::portExited(Address address) {
    m_connected.erase(address);
    const auto name = m_names.find(address);
    if (name == m_names.end())
        return;
    const std::string device = name->second;
    m_names.erase(name);
    if (forgetHeld(device))
        m_sink.deviceGone(SourceKind::Midi, device);
}

bool MidiSource::forgetHeld(const std::string& device) {
    return std::erase_if(m_held, [&device](const std::string& held) {
               return std::string_view(held).substr(held.find('@') + 1) == device;
           }) > 0;
}

void MidiSource::clientExited(int client) {
    // Its ports' exits come first; this is for any that did not.
    std::vector<Address> ports;
    for (const auto& [address, name] : m_names)
        if (address.client == client)
            ports.push_back(address);
    for (const Address& address : ports)
        portExited(address);
}

void MidiSource::forgetClient(int client) {
    std::erase_if(m_names, [client](const auto& each) { return each.first.client == client; });
}

bool MidiSource::wanted(const std::string& device) const {
    return m_listeningToAll || m_bound.contains(device);
}

void MidiSource::connectWanted() {
    if (!m_seq)
        return;
    std::set<Address> keep;
    forEachMidiSource(m_seq, [this, &keep](const std::string& device, int client, int port) {
        const Address address{client, port};
        m_names[address] = device;
        if (!wanted(device))
            return;
        keep.insert(address);
        if (!m_connected.contains(address))
            connect(address, device);
    });
    for (auto each = m_connected.begin(); each != m_connected.end();) {
        const Address address = *each++;
        if (!keep.contains(address))
            disconnect(address);
    }
}

void MidiSource::connect(Address address, const std::string& device) {
    const int error = snd_seq_connect_from(m_seq, m_port, address.client, address.port);
    if (error == 0)
        m_connected.insert(address);
    // Already connected (by whoever wired the port to us) is as good.
    else if (error != -EBUSY)
        std::fprintf(stderr, "tremolo: cannot connect the MIDI port %s: %s\n", device.c_str(),
                     snd_strerror(error));
}

void MidiSource::disconnect(Address address) {
    snd_seq_disconnect_from(m_seq, m_port, address.client, address.port);
    m_connected.erase(address);
    // What it held is no longer heard; a later press must count again.
    if (const auto name = m_names.find(address); name != m_names.end())
        forgetHeld(name->second);
}

std::string MidiSource::deviceName(Address address) {
    if (const auto known = m_names.find(address); known != m_names.end())
        return known->second;
    PortInfo port;
    ClientInfo client;
    if (snd_seq_get_any_port_info(m_seq, address.client, address.port, port.info) < 0 ||
        snd_seq_get_any_client_info(m_seq, address.client, client.info) < 0)
        return std::to_string(address.client) + ":" + std::to_string(address.port);
    return m_names[address] = nameOf(client.info, port.info);
}

} // namespace tremlo::input
