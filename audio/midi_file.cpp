#include "midi_file.h"

#include <algorithm>
#include <cstring>
#include <utility>

// The reader makes one pass over the chunks. Each track is decoded into events
// stamped with absolute ticks; ticks become microseconds only once the tempo
// map is known, because in types 0 and 1 a tempo change in any track moves
// every later event of every track. Type 2 tracks are converted and appended
// one at a time, each against its own tempo map.
//
// Damaged files are common in the wild, so the reader keeps whatever it could
// decode: a track stops at its first undecodable byte and the rest of the file
// is still read. Only files that are not MIDI at all, or are too large to be a
// sensible piece of music, are refused.

namespace tremlo::sound {
namespace {

constexpr std::uint32_t kDefaultUsPerQuarter = 500'000;
// Keeps every tick-times-tempo product inside 64 bits: 2^32 ticks times at
// most 2^24 us per quarter note. No real piece comes anywhere near it.
constexpr std::uint64_t kMaxTrackTicks = std::uint64_t{1} << 32;
// Type 2 patterns stop being appended beyond this (about 2000 years), so the
// running offset cannot overflow either.
constexpr std::int64_t kMaxPatternOffsetUs = std::int64_t{1} << 56;

constexpr std::size_t kChunkHeaderBytes = 8;
constexpr std::uint32_t kMinHeaderLength = 6;

constexpr std::uint8_t kSysexStart = 0xF0;
constexpr std::uint8_t kSysexEscape = 0xF7;
constexpr std::uint8_t kMeta = 0xFF;
constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
constexpr std::uint8_t kMetaTempo = 0x51;

bool isDataByte(std::uint8_t byte) {
    return byte < 0x80;
}

// Bounds-checked reading over one span: a read that would pass the end fails
// instead.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::size_t remaining() const { return m_bytes.size() - m_pos; }

    std::optional<std::uint8_t> peek() const {
        if (remaining() == 0) {
            return std::nullopt;
        }
        return m_bytes[m_pos];
    }

    std::optional<std::uint8_t> byte() {
        auto value = peek();
        if (value) {
            ++m_pos;
        }
        return value;
    }

    std::optional<std::span<const std::uint8_t>> take(std::size_t count) {
        if (count > remaining()) {
            return std::nullopt;
        }
        auto result = m_bytes.subspan(m_pos, count);
        m_pos += count;
        return result;
    }

    std::optional<std::uint32_t> bigEndian(std::size_t count) {
        auto raw = take(count);
        if (!raw) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (std::uint8_t b : *raw) {
            value = (value << 8) | b;
        }
        return value;
    }

    // At most four bytes: a longer quantity is corruption, not a big number.
    std::optional<std::uint32_t> variableLength() {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4 && i < remaining(); ++i) {
            std::uint8_t b = m_bytes[m_pos + i];
            value = (value << 7) | (b & 0x7Fu);
            if (isDataByte(b)) {
                m_pos += i + 1;
                return value;
            }
        }
        return std::nullopt;
    }

    std::optional<std::span<const std::uint8_t>> lengthPrefixed() {
        auto length = variableLength();
        return length ? take(*length) : std::nullopt;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

// How ticks relate to time. For metrical files a unit is a quarter note whose
// length the tempo sets; for SMPTE files it is one second and tempo is ignored.
struct Division {
    std::uint64_t ticksPerUnit = 0;
    std::uint64_t usPerUnit = 0;
    bool followsTempo = true;
};

struct Header {
    std::uint16_t format = 0;
    std::uint16_t trackCount = 0;
    Division division;
    std::size_t bodyOffset = 0;
};

std::optional<Division> decodeDivision(std::uint16_t raw) {
    if (raw == 0) {
        return std::nullopt;
    }
    if ((raw & 0x8000u) == 0) {
        return Division{raw, kDefaultUsPerQuarter, true};
    }
    auto framesPerSecond = static_cast<std::uint64_t>(-static_cast<std::int8_t>(raw >> 8));
    std::uint64_t ticksPerFrame = raw & 0xFFu;
    if (ticksPerFrame == 0) {
        return std::nullopt;
    }
    // 29 stands for NTSC drop-frame, really 30000/1001 frames per second.
    if (framesPerSecond == 29) {
        return Division{ticksPerFrame * 30'000, 1'001'000'000, false};
    }
    return Division{framesPerSecond * ticksPerFrame, 1'000'000, false};
}

std::optional<Header> readHeader(std::span<const std::uint8_t> bytes) {
    ByteReader in(bytes);
    auto id = in.take(4);
    if (!id || std::memcmp(id->data(), "MThd", 4) != 0) {
        return std::nullopt;
    }
    auto length = in.bigEndian(4);
    if (!length || *length < kMinHeaderLength || *length > in.remaining()) {
        return std::nullopt;
    }
    // The length check above guarantees these three fields are present.
    auto format = *in.bigEndian(2);
    auto trackCount = *in.bigEndian(2);
    auto division = decodeDivision(static_cast<std::uint16_t>(*in.bigEndian(2)));
    if (format > 2 || !division) {
        return std::nullopt;
    }
    return Header{static_cast<std::uint16_t>(format), static_cast<std::uint16_t>(trackCount),
                  *division, kChunkHeaderBytes + *length};
}

struct TickedEvent {
    std::uint64_t tick = 0;
    SequenceEvent event;
};

struct TempoChange {
    std::uint64_t tick = 0;
    std::uint32_t usPerQuarter = 0;
};

struct Track {
    std::vector<TickedEvent> events;
    std::vector<TempoChange> tempoChanges;
    std::uint64_t endTick = 0;
};

// Decodes one MTrk chunk. SysEx bytes go straight into the shared buffer so
// the events can refer to them by offset.
class TrackReader {
public:
    TrackReader(std::span<const std::uint8_t> chunk, std::vector<std::uint8_t>& sysex,
                std::size_t& eventBudget)
        : m_in(chunk), m_sysex(sysex), m_eventBudget(eventBudget) {}

    // Nothing when the file holds more events than the reader accepts.
    std::optional<Track> read() {
        while (!m_ended && readEvent()) {
            m_track.endTick = m_tick;
        }
        if (m_overBudget) {
            return std::nullopt;
        }
        return std::move(m_track);
    }

private:
    bool readEvent() {
        auto delta = m_in.variableLength();
        if (!delta || *delta > kMaxTrackTicks - m_tick) {
            return false;
        }
        m_tick += *delta;
        auto first = m_in.byte();
        if (!first) {
            return false;
        }
        if (*first != kSysexEscape) {
            m_openSysex = false;
        }
        if (isDataByte(*first)) {
            return m_runningStatus != 0 && readChannelMessage(m_runningStatus, *first);
        }
        if (*first < kSysexStart) {
            m_runningStatus = *first;
            auto data1 = m_in.byte();
            return data1 && readChannelMessage(*first, *data1);
        }
        if (*first == kMeta) {
            return readMeta();
        }
        if (*first == kSysexStart || *first == kSysexEscape) {
            return readSysex(*first);
        }
        skipSystemMessage(*first);
        return true;
    }

    bool readChannelMessage(std::uint8_t status, std::uint8_t data1) {
        if (!isDataByte(data1)) {
            return false;
        }
        SequenceEvent event;
        event.status = status;
        event.data1 = data1;
        // Program change and channel pressure carry a single data byte.
        if ((status & 0xE0u) != 0xC0u) {
            auto data2 = m_in.byte();
            if (!data2 || !isDataByte(*data2)) {
                return false;
            }
            event.data2 = *data2;
        }
        return emit(event);
    }

    // Meta events do not touch running status: files in the wild continue a
    // note run with bare data bytes right after a lyric or marker.
    bool readMeta() {
        auto type = m_in.byte();
        if (!type) {
            return false;
        }
        // Accepted even when its length byte was cut off, as in files
        // truncated by one byte.
        if (*type == kMetaEndOfTrack) {
            m_ended = true;
            return true;
        }
        auto payload = m_in.lengthPrefixed();
        if (!payload) {
            return false;
        }
        if (*type == kMetaTempo && payload->size() >= 3) {
            return addTempo(*payload);
        }
        return true;
    }

    bool addTempo(std::span<const std::uint8_t> payload) {
        auto usPerQuarter = (std::uint32_t{payload[0]} << 16) | (std::uint32_t{payload[1]} << 8) |
                            std::uint32_t{payload[2]};
        // A zero tempo would stop time; such an event is ignored.
        if (usPerQuarter == 0) {
            return true;
        }
        if (!spendBudget()) {
            return false;
        }
        m_track.tempoChanges.push_back({m_tick, usPerQuarter});
        return true;
    }

    // An F0 message without its closing F7 continues in the F7 packets that
    // follow it; those are joined to it so the synthesizer receives one whole
    // message. An F7 packet on its own carries arbitrary bytes and is passed on
    // as its own message.
    bool readSysex(std::uint8_t status) {
        // A message cut off by the end of the track is dropped rather than
        // sent half-way to the synthesizer.
        auto payload = m_in.lengthPrefixed();
        if (!payload) {
            return false;
        }
        bool continues = status == kSysexEscape && m_openSysex;
        if (!continues && !payload->empty() && payload->front() == kSysexStart) {
            *payload = payload->subspan(1);
        }
        bool terminated = !payload->empty() && payload->back() == kSysexEscape;
        if (terminated) {
            *payload = payload->first(payload->size() - 1);
        }
        if (continues) {
            m_sysex.insert(m_sysex.end(), payload->begin(), payload->end());
            m_track.events[m_openSysexIndex].event.sysexLength +=
                static_cast<std::uint32_t>(payload->size());
            m_openSysex = !terminated;
            return true;
        }
        if (payload->empty()) {
            return true;
        }
        SequenceEvent event;
        event.status = kSysexStart;
        event.sysexOffset = static_cast<std::uint32_t>(m_sysex.size());
        event.sysexLength = static_cast<std::uint32_t>(payload->size());
        if (!emit(event)) {
            return false;
        }
        m_sysex.insert(m_sysex.end(), payload->begin(), payload->end());
        m_openSysex = status == kSysexStart && !terminated;
        m_openSysexIndex = m_track.events.size() - 1;
        return true;
    }

    // System common and real-time bytes have no place in a file. They are
    // skipped with the data bytes they would carry on a cable, and leave
    // running status alone so the notes after them still play.
    void skipSystemMessage(std::uint8_t status) {
        std::size_t dataBytes = status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
        while (dataBytes-- > 0 && m_in.peek() && isDataByte(*m_in.peek())) {
            m_in.byte();
        }
    }

    bool spendBudget() {
        if (m_eventBudget == 0) {
            m_overBudget = true;
            return false;
        }
        --m_eventBudget;
        return true;
    }

    bool emit(const SequenceEvent& event) {
        if (!spendBudget()) {
            return false;
        }
        m_track.events.push_back({m_tick, event});
        return true;
    }

    ByteReader m_in;
    std::vector<std::uint8_t>& m_sysex;
    std::size_t& m_eventBudget;
    Track m_track;
    std::uint64_t m_tick = 0;
    std::uint8_t m_runningStatus = 0;
    bool m_ended = false;
    bool m_overBudget = false;
    bool m_openSysex = false;
    std::size_t m_openSysexIndex = 0;
};

// Converts ticks to microseconds with integer arithmetic from the start of
// the segment each tick falls in, so no rounding error builds up over a long
// piece. Queries must come in non-decreasing tick order.
class TempoMap {
public:
    TempoMap(const Division& division, std::span<const TempoChange> sortedChanges)
        : m_ticksPerUnit(division.ticksPerUnit) {
        m_segments.push_back({0, 0, division.usPerUnit});
        if (!division.followsTempo) {
            return;
        }
        for (const TempoChange& change : sortedChanges) {
            Segment& last = m_segments.back();
            if (change.tick == last.tick) {
                last.usPerUnit = change.usPerQuarter;
            } else {
                m_segments.push_back(
                    {change.tick, usWithin(last, change.tick), change.usPerQuarter});
            }
        }
    }

    std::int64_t toUs(std::uint64_t tick) {
        while (m_cursor + 1 < m_segments.size() && m_segments[m_cursor + 1].tick <= tick) {
            ++m_cursor;
        }
        return usWithin(m_segments[m_cursor], tick);
    }

private:
    struct Segment {
        std::uint64_t tick = 0;
        std::int64_t startUs = 0;
        std::uint64_t usPerUnit = 0;
    };

    std::int64_t usWithin(const Segment& segment, std::uint64_t tick) const {
        auto elapsed = (tick - segment.tick) * segment.usPerUnit / m_ticksPerUnit;
        return segment.startUs + static_cast<std::int64_t>(elapsed);
    }

    std::vector<Segment> m_segments;
    std::uint64_t m_ticksPerUnit;
    std::size_t m_cursor = 0;
};

template <typename Ticked> void sortByTick(std::vector<Ticked>& items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const Ticked& a, const Ticked& b) { return a.tick < b.tick; });
}

// Appends events already in tick order, shifted by offsetUs; returns the
// time at which the track ends, without the offset.
std::int64_t appendTimed(const Track& track, TempoMap& tempoMap, std::int64_t offsetUs,
                         std::vector<SequenceEvent>& out) {
    for (const TickedEvent& ticked : track.events) {
        SequenceEvent event = ticked.event;
        event.timeUs = offsetUs + tempoMap.toUs(ticked.tick);
        out.push_back(event);
    }
    return tempoMap.toUs(track.endTick);
}

// Collects tracks as they are read. Types 0 and 1 are merged into one
// timeline at the end; type 2 patterns are laid end to end as they arrive.
class SequenceBuilder {
public:
    SequenceBuilder(const Division& division, bool patterns)
        : m_division(division), m_patterns(patterns) {}

    std::vector<std::uint8_t>& sysex() { return m_sequence.sysex; }

    bool wantsMoreTracks() const { return m_sequence.lengthUs <= kMaxPatternOffsetUs; }

    void add(const Track& track) {
        if (m_patterns) {
            appendPattern(track);
            return;
        }
        m_merged.endTick = std::max(m_merged.endTick, track.endTick);
        m_merged.events.insert(m_merged.events.end(), track.events.begin(), track.events.end());
        m_merged.tempoChanges.insert(m_merged.tempoChanges.end(), track.tempoChanges.begin(),
                                     track.tempoChanges.end());
    }

    Sequence finish() {
        if (!m_patterns) {
            // Stable, so events at the same tick stay in track order and then
            // in file order within a track.
            sortByTick(m_merged.events);
            sortByTick(m_merged.tempoChanges);
            TempoMap tempoMap(m_division, m_merged.tempoChanges);
            m_sequence.events.reserve(m_merged.events.size());
            m_sequence.lengthUs = appendTimed(m_merged, tempoMap, 0, m_sequence.events);
        }
        return std::move(m_sequence);
    }

private:
    void appendPattern(const Track& track) {
        TempoMap tempoMap(m_division, track.tempoChanges);
        m_sequence.lengthUs += appendTimed(track, tempoMap, m_sequence.lengthUs, m_sequence.events);
    }

    Division m_division;
    bool m_patterns;
    Track m_merged;
    Sequence m_sequence;
};

} // namespace

std::optional<Sequence> readMidiFile(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kMaxSequenceFileBytes) {
        return std::nullopt;
    }
    auto header = readHeader(bytes);
    if (!header) {
        return std::nullopt;
    }
    SequenceBuilder builder(header->division, header->format == 2);
    std::size_t eventBudget = kMaxSequenceEvents;
    // Chunks that are not tracks are skipped; one whose length runs past the
    // file keeps what is there.
    ByteReader in(bytes.subspan(header->bodyOffset));
    std::size_t tracksSeen = 0;
    while (tracksSeen < header->trackCount && in.remaining() >= kChunkHeaderBytes &&
           builder.wantsMoreTracks()) {
        auto id = in.take(4);
        std::uint32_t length = *in.bigEndian(4);
        auto body = *in.take(std::min<std::size_t>(length, in.remaining()));
        if (std::memcmp(id->data(), "MTrk", 4) != 0) {
            continue;
        }
        ++tracksSeen;
        auto track = TrackReader(body, builder.sysex(), eventBudget).read();
        if (!track) {
            return std::nullopt;
        }
        builder.add(*track);
    }
    return builder.finish();
}

} // namespace tremlo::sound
