#include "segment_file.h"

#include "riff_chunks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <vector>

// One walk over the RIFF tree collects what the sounding tracks hold: notes,
// controller items, curves, band changes and SysEx messages, all stamped with
// music time (768 ticks to the quarter note). Only when every track is read
// are ticks turned into microseconds, because the tempo track may come after
// the tracks whose timing it sets; band changes likewise transpose notes of
// a sequence track read before them.
//
// Records are read field by field at their byte offsets and stepped over by
// the record size the file stores, not by the size this reader knows, so
// files written by older tools (shorter records) and newer ones (longer
// records) read alike; a field a short record lacks keeps its default.
//
// Unlike the MIDI reader, this one gives up at the first damage (a chunk
// running past its parent, a record too short for its fields). MIDI files are
// often hand-edited and partly playable; a damaged segment has no such
// history, and playing a fragment of one would sound like a fault of ours.

namespace tremlo::sound {
namespace {

using namespace riff;

constexpr std::int64_t kTicksPerQuarter = 768;
constexpr double kDefaultTempo = 120.0;
constexpr double kMinTempo = 1.0;
constexpr double kMaxTempo = 1000.0;

// Curves are sent as a run of controller messages, one per this many ticks
// (about 8 ms at 120 BPM): finer than a listener hears a controller step, and
// coarse enough that a long curve does not flood the synthesizer.
constexpr std::int64_t kCurveStepTicks = 12;
constexpr std::int64_t kMaxCurveSteps = 1024;

// Performance channels from here up address every channel at once.
constexpr std::uint32_t kFirstBroadcastChannel = 0xFFFFFFFC;

// The smallest records whose fields this reader uses; anything shorter is damage.
constexpr std::size_t kTrackHeaderBytes = 32;
constexpr std::size_t kSequenceItemMinBytes = 17;
constexpr std::size_t kCurveItemMinBytes = 28;
constexpr std::size_t kTempoItemMinBytes = 16;
constexpr std::size_t kInstrumentMinBytes = 36;
constexpr std::size_t kSysexItemHeaderBytes = 12;

// Segment header flag: the length is given in clock time (100 ns units).
constexpr std::uint32_t kLengthInClockTime = 1;

// Instrument flags.
constexpr std::uint32_t kInstPatch = 0x0001;
constexpr std::uint32_t kInstBankSelect = 0x0002;
constexpr std::uint32_t kInstPan = 0x0020;
constexpr std::uint32_t kInstVolume = 0x0040;
constexpr std::uint32_t kInstTranspose = 0x0080;
constexpr std::uint32_t kInstPitchBendRange = 0x2000;
constexpr std::uint32_t kPatchDrumKit = 0x8000'0000;

enum class CurveType : std::uint8_t {
    PitchBend = 3,
    Controller = 4,
    ChannelPressure = 5,
    KeyPressure = 6,
    Rpn = 7,
    Nrpn = 8,
};

enum class CurveShape : std::uint8_t {
    Linear = 0,
    Instant = 1,
    Exponential = 2,
    Logarithmic = 3,
    Sine = 4
};

// Events are ordered by tick, then by rank, then as they were found: at one
// moment SysEx messages come first (a General MIDI reset among them would
// otherwise undo the channel set-up), then the channel set-up; a note ends
// before the next one on its key starts, and controllers apply before the
// notes they shape.
enum class Rank : std::uint8_t { System, DefaultSetup, Band, NoteOff, Control, NoteOn };

struct TickedEvent {
    std::int64_t tick = 0;
    Rank rank = Rank::Control;
    // For controller messages sent to every channel the segment uses.
    bool broadcast = false;
    SequenceEvent event;
};

struct Note {
    std::int64_t start = 0;
    std::int64_t end = 0;
    int channel = 0;
    int key = 0;
    std::uint8_t velocity = 0;
};

struct TransposeChange {
    std::int64_t tick = 0;
    int semitones = 0;
};

struct TempoChange {
    std::int64_t tick = 0;
    double bpm = kDefaultTempo;
};

struct SegmentHeader {
    std::int64_t lengthTicks = 0;
    std::int64_t playStartTicks = 0;
    std::int64_t loopStartTicks = 0;
    std::int64_t loopEndTicks = 0;
    std::int64_t lengthUs = 0;
};

int synthChannel(std::uint32_t performanceChannel) {
    return static_cast<int>(performanceChannel % kSynthChannels);
}

SequenceEvent channelMessage(int channel, std::uint8_t status, int data1, int data2 = 0) {
    SequenceEvent event;
    event.status = static_cast<std::uint8_t>((status & 0xF0) | (channel & 0x0F));
    event.channelGroup = static_cast<std::uint8_t>(channel / 16);
    event.data1 = static_cast<std::uint8_t>(std::clamp(data1, 0, 127));
    event.data2 = static_cast<std::uint8_t>(std::clamp(data2, 0, 127));
    return event;
}

SequenceEvent channelType(int channel, bool drums) {
    SequenceEvent event;
    event.status = kChannelTypeStatus;
    event.data1 = static_cast<std::uint8_t>(channel);
    event.data2 = drums ? 1 : 0;
    return event;
}

double shaped(CurveShape shape, double x) {
    switch (shape) {
    case CurveShape::Instant:
        return 1.0;
    case CurveShape::Exponential:
        return x * x * x;
    case CurveShape::Logarithmic:
        return 1.0 - (1.0 - x) * (1.0 - x) * (1.0 - x);
    case CurveShape::Sine:
        return (1.0 - std::cos(x * 3.14159265358979323846)) / 2.0;
    case CurveShape::Linear:
    default:
        return x;
    }
}

// Music time to microseconds through the tempo map. Each tempo span starts
// from its own exactly computed offset, so no rounding builds up across a
// long piece. Queries must come in non-decreasing tick order.
class TempoMap {
public:
    explicit TempoMap(std::vector<TempoChange> changes) {
        std::stable_sort(
            changes.begin(), changes.end(),
            [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
        m_spans.push_back({0, 0.0, usPerTick(kDefaultTempo)});
        for (const TempoChange& change : changes) {
            Span& last = m_spans.back();
            if (change.tick == last.tick)
                last.usPerTick = usPerTick(change.bpm);
            else
                m_spans.push_back({change.tick, exactUs(last, change.tick), usPerTick(change.bpm)});
        }
    }

    std::int64_t toUs(std::int64_t tick) {
        while (m_cursor + 1 < m_spans.size() && m_spans[m_cursor + 1].tick <= tick)
            ++m_cursor;
        return std::llround(exactUs(m_spans[m_cursor], tick));
    }

    void rewind() { m_cursor = 0; }

private:
    struct Span {
        std::int64_t tick = 0;
        double startUs = 0.0;
        double usPerTick = 0.0;
    };

    static double usPerTick(double bpm) {
        return 60'000'000.0 / (bpm * static_cast<double>(kTicksPerQuarter));
    }
    static double exactUs(const Span& span, std::int64_t tick) {
        return span.startUs + static_cast<double>(tick - span.tick) * span.usPerTick;
    }

    std::vector<Span> m_spans;
    std::size_t m_cursor = 0;
};

class SegmentReader {
public:
    std::optional<Sequence> read(Bytes bytes);

private:
    bool readForm(Bytes body);
    void readHeader(Bytes data);
    bool readTrackList(Bytes data);
    bool readTrack(Bytes data);
    bool readSequenceTrack(Bytes data);
    bool readSequenceItems(Bytes data);
    bool readCurves(Bytes data);
    bool addCurve(Bytes item);
    bool readTempoTrack(Bytes data);
    bool readSysexTrack(Bytes data);
    bool readBandTrack(Bytes data);
    bool readBandList(Bytes data);
    bool readBand(Bytes data, std::int64_t tick);
    bool addInstrument(Bytes item, std::int64_t tick);
    std::optional<Sequence> finish();

    bool spend(std::size_t count = 1) {
        if (count > m_budget)
            return false;
        m_budget -= count;
        return true;
    }
    bool add(std::int64_t tick, Rank rank, const SequenceEvent& event, bool broadcast = false) {
        if (!spend())
            return false;
        m_events.push_back({std::max<std::int64_t>(0, tick), rank, broadcast, event});
        return true;
    }
    bool addControl(std::int64_t tick, std::uint32_t performanceChannel, std::uint8_t status,
                    int data1, int data2) {
        const bool broadcast = performanceChannel >= kFirstBroadcastChannel;
        const int channel = broadcast ? 0 : synthChannel(performanceChannel);
        if (!broadcast)
            m_used[static_cast<std::size_t>(channel)] = true;
        return add(tick, Rank::Control, channelMessage(channel, status, data1, data2), broadcast);
    }

    std::optional<SegmentHeader> m_header;
    bool m_hasSequenceTrack = false;
    std::vector<TickedEvent> m_events;
    std::vector<Note> m_notes;
    std::vector<TempoChange> m_tempoChanges;
    std::array<std::vector<TransposeChange>, kSynthChannels> m_transposes;
    std::array<bool, kSynthChannels> m_used{};
    std::vector<std::uint8_t> m_sysex;
    std::size_t m_budget = kMaxSequenceEvents;
};

std::optional<Sequence> SegmentReader::read(Bytes bytes) {
    if (bytes.size() > kMaxSequenceFileBytes || !isSegmentFile(bytes))
        return std::nullopt;
    const std::uint32_t formSize = u32At(bytes, 4);
    // A form that claims more than the file holds is a cut-off download.
    if (formSize < 4 || formSize > bytes.size() - 8)
        return std::nullopt;
    if (!readForm(bytes.subspan(12, formSize - 4)))
        return std::nullopt;
    return finish();
}

bool SegmentReader::readForm(Bytes body) {
    ChunkWalker walker(body);
    while (auto chunk = walker.next()) {
        if (chunk->id == fourcc("segh"))
            readHeader(chunk->data);
        else if (chunk->id == fourcc("LIST") && chunk->type == fourcc("trkl") &&
                 !readTrackList(chunk->data))
            return false;
    }
    return !walker.damaged();
}

void SegmentReader::readHeader(Bytes data) {
    SegmentHeader header;
    header.lengthTicks = i32At(data, 4);
    header.playStartTicks = std::max(0, i32At(data, 8));
    header.loopStartTicks = i32At(data, 12);
    header.loopEndTicks = i32At(data, 16);
    const auto clockLength = static_cast<std::int64_t>(u64At(data, 24));
    if ((u32At(data, 32) & kLengthInClockTime) != 0 && clockLength > 0)
        header.lengthUs = clockLength / 10;
    m_header = header;
}

bool SegmentReader::readTrackList(Bytes data) {
    ChunkWalker walker(data);
    while (auto chunk = walker.next()) {
        if (chunk->id == fourcc("RIFF") && chunk->type == fourcc("DMTK") && !readTrack(chunk->data))
            return false;
    }
    return !walker.damaged();
}

bool SegmentReader::readTrack(Bytes data) {
    ChunkWalker walker(data);
    auto header = walker.next();
    if (!header || header->id != fourcc("trkh") || header->data.size() < kTrackHeaderBytes)
        return false;
    const FourCC chunkId = u32At(header->data, 24);
    const FourCC listType = u32At(header->data, 28);
    if ((chunkId == 0) == (listType == 0))
        return false;
    while (auto chunk = walker.next()) {
        const bool matches =
            chunkId != 0 ? chunk->id == chunkId : isList(chunk->id) && chunk->type == listType;
        if (!matches)
            continue;
        // Tracks that do not sound (time signature, chords, markers, lyrics,
        // styles and the rest) are passed over unread.
        switch (chunkId) {
        case fourcc("seqt"):
            return readSequenceTrack(chunk->data);
        case fourcc("tetr"):
            return readTempoTrack(chunk->data);
        case fourcc("syex"):
            return readSysexTrack(chunk->data);
        default:
            break;
        }
        if (listType == fourcc("DMBT"))
            return readBandTrack(chunk->data);
        return true;
    }
    return !walker.damaged();
}

bool SegmentReader::readSequenceTrack(Bytes data) {
    m_hasSequenceTrack = true;
    // Not a LIST, yet it holds chunks.
    ChunkWalker walker(data);
    while (auto chunk = walker.next()) {
        if (chunk->id == fourcc("evtl") && !readSequenceItems(chunk->data))
            return false;
        if (chunk->id == fourcc("curl") && !readCurves(chunk->data))
            return false;
    }
    return !walker.damaged();
}

bool SegmentReader::readSequenceItems(Bytes data) {
    const auto items = recordArray(data, kSequenceItemMinBytes);
    if (!items)
        return false;
    for (std::size_t i = 0; i < items->count(); ++i) {
        const Bytes item = (*items)[i];
        const std::int64_t time = std::int64_t{i32At(item, 0)} + i16At(item, 12);
        const std::int64_t duration = i32At(item, 4);
        const std::uint32_t performanceChannel = u32At(item, 8);
        const std::uint8_t status = u8At(item, 14) & 0xF0;
        const int data1 = u8At(item, 15) & 0x7F;
        const int data2 = u8At(item, 16) & 0x7F;
        if (status == 0x90) {
            // A note-on of velocity 0 would be a note-off, which has no
            // place in a list of notes with durations.
            if (data2 == 0 || performanceChannel >= kFirstBroadcastChannel)
                continue;
            if (!spend(2))
                return false;
            const std::int64_t start = std::max<std::int64_t>(0, time);
            // A note always sounds for at least one tick.
            const std::int64_t end = std::max(time + duration, start + 1);
            const int channel = synthChannel(performanceChannel);
            m_used[static_cast<std::size_t>(channel)] = true;
            m_notes.push_back({start, end, channel, data1, static_cast<std::uint8_t>(data2)});
        } else if (status >= 0xA0 && status <= 0xE0) {
            if (!addControl(time, performanceChannel, status, data1, data2))
                return false;
        }
    }
    return true;
}

bool SegmentReader::readCurves(Bytes data) {
    const auto items = recordArray(data, kCurveItemMinBytes);
    if (!items)
        return false;
    for (std::size_t i = 0; i < items->count(); ++i) {
        if (!addCurve((*items)[i]))
            return false;
    }
    return true;
}

bool SegmentReader::addCurve(Bytes item) {
    const std::int64_t start = std::int64_t{i32At(item, 0)} + i16At(item, 16);
    const std::int64_t duration = std::max(0, i32At(item, 4));
    const std::uint32_t performanceChannel = u32At(item, 12);
    const int from = i16At(item, 18);
    const int to = i16At(item, 20);
    const auto type = static_cast<CurveType>(u8At(item, 24));
    const auto shape = static_cast<CurveShape>(u8At(item, 25));
    const int controller = u8At(item, 26) & 0x7F;
    const int parameter = u16At(item, 28);

    // Pitch bend and the parameter numbers carry 14 bits, the rest 7.
    const bool wide =
        type == CurveType::PitchBend || type == CurveType::Rpn || type == CurveType::Nrpn;
    const int maxValue = wide ? 16383 : 127;
    if (type == CurveType::Rpn || type == CurveType::Nrpn) {
        const bool registered = type == CurveType::Rpn;
        if (!addControl(start, performanceChannel, 0xB0, registered ? 101 : 99, parameter >> 7) ||
            !addControl(start, performanceChannel, 0xB0, registered ? 100 : 98, parameter & 0x7F))
            return false;
    } else if (type < CurveType::PitchBend || type > CurveType::KeyPressure) {
        return true;
    }

    auto send = [&](std::int64_t tick, int value) {
        value = std::clamp(value, 0, maxValue);
        switch (type) {
        case CurveType::PitchBend:
            return addControl(tick, performanceChannel, 0xE0, value & 0x7F, value >> 7);
        case CurveType::Controller:
            return addControl(tick, performanceChannel, 0xB0, controller, value);
        case CurveType::ChannelPressure:
            return addControl(tick, performanceChannel, 0xD0, value, 0);
        case CurveType::KeyPressure:
            return addControl(tick, performanceChannel, 0xA0, controller, value);
        default:
            return addControl(tick, performanceChannel, 0xB0, 6, value >> 7) &&
                   addControl(tick, performanceChannel, 0xB0, 38, value & 0x7F);
        }
    };

    if (shape == CurveShape::Instant || duration == 0)
        return send(start, to);
    const std::int64_t steps =
        std::clamp<std::int64_t>(duration / kCurveStepTicks, 1, kMaxCurveSteps);
    int last = -1;
    for (std::int64_t step = 0; step <= steps; ++step) {
        const double x = static_cast<double>(step) / static_cast<double>(steps);
        const int value = static_cast<int>(std::lround(from + (to - from) * shaped(shape, x)));
        if (value == last)
            continue;
        last = value;
        if (!send(start + duration * step / steps, value))
            return false;
    }
    return true;
}

bool SegmentReader::readTempoTrack(Bytes data) {
    const auto items = recordArray(data, kTempoItemMinBytes);
    if (!items)
        return false;
    for (std::size_t i = 0; i < items->count(); ++i) {
        const Bytes item = (*items)[i];
        const double bpm = std::bit_cast<double>(u64At(item, 8));
        // A tempo outside what any tool lets a user set is corruption; the
        // music keeps the tempo it had.
        if (!(bpm >= kMinTempo && bpm <= kMaxTempo))
            continue;
        if (!spend())
            return false;
        m_tempoChanges.push_back({std::max(0, i32At(item, 0)), bpm});
    }
    return true;
}

bool SegmentReader::readSysexTrack(Bytes data) {
    // The one event chunk without a record size: each message carries its own length.
    std::size_t pos = 0;
    while (pos < data.size()) {
        if (data.size() - pos < kSysexItemHeaderBytes)
            return false;
        const std::int32_t time = i32At(data, pos);
        const std::uint32_t length = u32At(data, pos + 8);
        pos += kSysexItemHeaderBytes;
        if (length > data.size() - pos)
            return false;
        Bytes message = data.subspan(pos, length);
        pos += length;
        if (!message.empty() && message.front() == 0xF0)
            message = message.subspan(1);
        if (!message.empty() && message.back() == 0xF7)
            message = message.first(message.size() - 1);
        if (message.empty())
            continue;
        SequenceEvent event;
        event.status = 0xF0;
        event.sysexOffset = static_cast<std::uint32_t>(m_sysex.size());
        event.sysexLength = static_cast<std::uint32_t>(message.size());
        if (!add(time, Rank::System, event))
            return false;
        m_sysex.insert(m_sysex.end(), message.begin(), message.end());
    }
    return true;
}

bool SegmentReader::readBandTrack(Bytes data) {
    ChunkWalker walker(data);
    while (auto chunk = walker.next()) {
        if (chunk->id == fourcc("LIST") && chunk->type == fourcc("lbdl") &&
            !readBandList(chunk->data))
            return false;
    }
    return !walker.damaged();
}

bool SegmentReader::readBandList(Bytes data) {
    ChunkWalker bands(data);
    while (auto band = bands.next()) {
        if (band->id != fourcc("LIST") || band->type != fourcc("lbnd"))
            continue;
        // The physical time, when given, is when the band really sounds; the
        // older header has only the one time.
        std::int64_t tick = 0;
        ChunkWalker parts(band->data);
        while (auto part = parts.next()) {
            if (part->id == fourcc("bd2h"))
                tick = i32At(part->data, 4, i32At(part->data, 0));
            else if (part->id == fourcc("bdih"))
                tick = i32At(part->data, 0);
            else if (part->id == fourcc("RIFF") && part->type == fourcc("DMBD") &&
                     !readBand(part->data, tick))
                return false;
        }
        if (parts.damaged())
            return false;
    }
    return !bands.damaged();
}

bool SegmentReader::readBand(Bytes data, std::int64_t tick) {
    ChunkWalker walker(data);
    while (auto list = walker.next()) {
        if (list->id != fourcc("LIST") || list->type != fourcc("lbil"))
            continue;
        ChunkWalker instruments(list->data);
        while (auto instrument = instruments.next()) {
            if (instrument->id != fourcc("LIST") || instrument->type != fourcc("lbin"))
                continue;
            // A reference to a DLS collection (LIST DMRF) beside the record
            // is not followed: the SoundFont plays the same bank and program.
            ChunkWalker parts(instrument->data);
            while (auto part = parts.next()) {
                if (part->id == fourcc("bins") && !addInstrument(part->data, tick))
                    return false;
            }
            if (parts.damaged())
                return false;
        }
        if (instruments.damaged())
            return false;
    }
    return !walker.damaged();
}

bool SegmentReader::addInstrument(Bytes item, std::int64_t tick) {
    if (item.size() < kInstrumentMinBytes)
        return false;
    const std::uint32_t patch = u32At(item, 0);
    const std::uint32_t performanceChannel = u32At(item, 24);
    const std::uint32_t flags = u32At(item, 28);
    if (performanceChannel >= kFirstBroadcastChannel)
        return true;
    const int channel = synthChannel(performanceChannel);
    m_used[static_cast<std::size_t>(channel)] = true;
    auto send = [&](int controller, int value) {
        return add(tick, Rank::Band, channelMessage(channel, 0xB0, controller, value));
    };
    if ((flags & kInstPatch) != 0) {
        if (!add(tick, Rank::Band, channelType(channel, (patch & kPatchDrumKit) != 0)))
            return false;
        if ((flags & kInstBankSelect) != 0 &&
            (!send(0, (patch >> 16) & 0x7F) || !send(32, (patch >> 8) & 0x7F)))
            return false;
        if (!add(tick, Rank::Band, channelMessage(channel, 0xC0, patch & 0x7F)))
            return false;
    }
    if ((flags & kInstVolume) != 0 && !send(7, u8At(item, 33)))
        return false;
    if ((flags & kInstPan) != 0 && !send(10, u8At(item, 32)))
        return false;
    // Older records end before the pitch-bend range.
    if ((flags & kInstPitchBendRange) != 0 && item.size() >= 42) {
        const int semitones = i16At(item, 40);
        if (!send(101, 0) || !send(100, 0) || !send(6, semitones) || !send(38, 0) ||
            !send(101, 127) || !send(100, 127))
            return false;
    }
    if ((flags & kInstTranspose) != 0) {
        if (!spend())
            return false;
        m_transposes[static_cast<std::size_t>(channel)].push_back({tick, i16At(item, 34)});
    }
    return true;
}

std::optional<Sequence> SegmentReader::finish() {
    // Without a header there is no segment; without notes nothing would be
    // heard, which a user would take for a fault of the program.
    if (!m_header || !m_hasSequenceTrack || m_notes.empty())
        return std::nullopt;

    for (auto& changes : m_transposes)
        std::stable_sort(
            changes.begin(), changes.end(),
            [](const TransposeChange& a, const TransposeChange& b) { return a.tick < b.tick; });
    std::int64_t lastTick = 0;
    for (const Note& note : m_notes) {
        int key = note.key;
        const auto& changes = m_transposes[static_cast<std::size_t>(note.channel)];
        auto after = std::upper_bound(
            changes.begin(), changes.end(), note.start,
            [](std::int64_t tick, const TransposeChange& change) { return tick < change.tick; });
        if (after != changes.begin())
            key += std::prev(after)->semitones;
        if (key < 0 || key > 127)
            continue;
        m_events.push_back({note.start, Rank::NoteOn, false,
                            channelMessage(note.channel, 0x90, key, note.velocity)});
        m_events.push_back(
            {note.end, Rank::NoteOff, false, channelMessage(note.channel, 0x80, key)});
        lastTick = std::max(lastTick, note.end);
    }

    // Every channel starts in the kind General MIDI gives it: drums on the
    // tenth channel of each group of sixteen, which is how performance
    // channels reach a synthesizer with more than one group.
    std::vector<TickedEvent> events;
    for (int channel = 0; channel < kSynthChannels; ++channel) {
        if (!m_used[static_cast<std::size_t>(channel)])
            continue;
        events.push_back({0, Rank::DefaultSetup, false, channelType(channel, channel % 16 == 9)});
        events.push_back({0, Rank::DefaultSetup, false, channelMessage(channel, 0xC0, 0)});
    }
    for (const TickedEvent& ticked : m_events) {
        lastTick = std::max(lastTick, ticked.tick);
        if (!ticked.broadcast) {
            events.push_back(ticked);
            continue;
        }
        for (int channel = 0; channel < kSynthChannels; ++channel) {
            if (!m_used[static_cast<std::size_t>(channel)])
                continue;
            if (!spend())
                return std::nullopt;
            TickedEvent copy = ticked;
            copy.event = channelMessage(channel, ticked.event.status, ticked.event.data1,
                                        ticked.event.data2);
            events.push_back(copy);
        }
    }
    m_events.clear();

    // Playback starts at the play start. What comes earlier still sets up
    // the channels there; notes that began earlier are not heard.
    const std::int64_t playStart = m_header->playStartTicks;
    std::erase_if(events, [playStart](const TickedEvent& ticked) {
        return ticked.rank == Rank::NoteOn && ticked.tick < playStart;
    });
    std::erase_if(events, [playStart](const TickedEvent& ticked) {
        return ticked.rank == Rank::NoteOff && ticked.tick <= playStart;
    });
    for (TickedEvent& ticked : events)
        ticked.tick = std::max(ticked.tick, playStart);
    std::stable_sort(events.begin(), events.end(), [](const TickedEvent& a, const TickedEvent& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.rank < b.rank;
    });

    TempoMap tempoMap(std::move(m_tempoChanges));
    const std::int64_t startUs = tempoMap.toUs(playStart);
    Sequence sequence;
    if (m_header->lengthUs > 0)
        sequence.lengthUs = m_header->lengthUs;
    else
        sequence.lengthUs =
            tempoMap.toUs(m_header->lengthTicks > 0 ? m_header->lengthTicks : lastTick) - startUs;
    if (sequence.lengthUs <= 0)
        return std::nullopt;
    // The program repeats a segment the way its author looped it: after the
    // first pass, only the part between the loop points. Loop points that
    // lie outside the played part are the authoring tool's leftovers.
    const SegmentHeader& header = *m_header;
    if (header.loopEndTicks > 0 && header.loopStartTicks >= playStart &&
        header.loopStartTicks < header.loopEndTicks) {
        tempoMap.rewind();
        const std::int64_t loopStartUs = tempoMap.toUs(header.loopStartTicks) - startUs;
        const std::int64_t loopEndUs = tempoMap.toUs(header.loopEndTicks) - startUs;
        if (loopEndUs <= sequence.lengthUs && loopStartUs < loopEndUs) {
            sequence.loopStartUs = loopStartUs;
            sequence.loopEndUs = loopEndUs;
        }
    }
    tempoMap.rewind();

    // The pass ends at the segment's length: notes still sounding then are
    // released there, and what comes later is not played. Controllers on the
    // very end still belong to the pass, as in a MIDI file; a note starting
    // there would have no time to sound.
    sequence.events.reserve(events.size());
    for (const TickedEvent& ticked : events) {
        SequenceEvent event = ticked.event;
        event.timeUs = tempoMap.toUs(ticked.tick) - startUs;
        if (event.timeUs >= sequence.lengthUs) {
            if (ticked.rank == Rank::NoteOn ||
                (event.timeUs > sequence.lengthUs && ticked.rank != Rank::NoteOff))
                continue;
            event.timeUs = sequence.lengthUs;
        }
        sequence.events.push_back(event);
    }
    sequence.sysex = std::move(m_sysex);
    return sequence;
}

} // namespace

bool isSegmentFile(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 12 && u32At(bytes, 0) == fourcc("RIFF") &&
           u32At(bytes, 8) == fourcc("DMSG");
}

std::optional<Sequence> readSegmentFile(std::span<const std::uint8_t> bytes) {
    return SegmentReader().read(bytes);
}

} // namespace tremlo::sound
