#include "segment_maker.h"

#include <algorithm>
#include <array>
#include <bit>
#include <deque>
#include <map>
#include <tuple>

namespace tremlo::tools::segment {
namespace {

constexpr std::int64_t kTicksPerQuarter = 768;

// Track class identifiers {D2AC28xx-B39B-11D1-8704-00600893B1BD}, told apart
// by their first byte.
Bytes trackClass(std::uint8_t first) {
    return {first, 0x28, 0xAC, 0xD2, 0x9B, 0xB3, 0xD1, 0x11,
            0x87,  0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD};
}

const Bytes kCollectionClass = {0xB0, 0xF4, 0x0F, 0x48, 0xB2, 0x28, 0xD1, 0x11,
                                0xBE, 0xF7, 0x00, 0xC0, 0x4F, 0xBF, 0x8F, 0xEF};

Bytes fitted(Bytes record, std::uint32_t size) {
    record.resize(size, 0);
    return record;
}

Bytes records(const std::vector<Bytes>& items, std::uint32_t recordBytes) {
    Bytes out;
    putU32(out, recordBytes);
    for (const Bytes& item : items) {
        Bytes record = fitted(item, recordBytes);
        out.insert(out.end(), record.begin(), record.end());
    }
    return out;
}

Bytes utf16(const std::string& text) {
    Bytes out;
    for (char c : text)
        putU16(out, static_cast<std::uint8_t>(c));
    putU16(out, 0);
    return out;
}

// --- A standard MIDI file, kept in ticks -----------------------------------

struct MidiEvent {
    std::int64_t tick = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    std::uint32_t tempo = 0; // microseconds per quarter note, for tempo events
    Bytes sysex;             // with the leading F0, for SysEx events
    std::uint8_t meta = 0;
    Bytes metaData;
};

struct MidiFile {
    int division = 0;
    std::int64_t endTick = 0;
    std::vector<MidiEvent> events; // tick order, then track order, then file order
};

class MidiParser {
public:
    explicit MidiParser(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::optional<MidiFile> parse(std::string& error) {
        if (m_bytes.size() < 14 || std::string(m_bytes.begin(), m_bytes.begin() + 4) != "MThd") {
            error = "not a MIDI file";
            return std::nullopt;
        }
        const auto headerLength = bigEndian(4, 4);
        const auto format = bigEndian(8, 2);
        const auto tracks = bigEndian(10, 2);
        file.division = static_cast<int>(bigEndian(12, 2));
        if (format > 1 || file.division == 0 || (file.division & 0x8000) != 0) {
            error = "only MIDI files of type 0 or 1 with ticks per quarter note are converted";
            return std::nullopt;
        }
        std::size_t pos = 8 + headerLength;
        for (std::uint32_t track = 0; track < tracks; ++track) {
            if (pos + 8 > m_bytes.size()) {
                error = "the file ends before its last track";
                return std::nullopt;
            }
            const auto length = bigEndian(pos + 4, 4);
            const bool isTrack =
                std::string(m_bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                            m_bytes.begin() + static_cast<std::ptrdiff_t>(pos + 4)) == "MTrk";
            if (length > m_bytes.size() - pos - 8) {
                error = "a track runs past the end of the file";
                return std::nullopt;
            }
            if (!isTrack) {
                --track;
            } else if (!parseTrack(pos + 8, pos + 8 + length, error)) {
                return std::nullopt;
            }
            pos += 8 + length;
        }
        std::stable_sort(file.events.begin(), file.events.end(),
                         [](const MidiEvent& a, const MidiEvent& b) { return a.tick < b.tick; });
        return std::move(file);
    }

private:
    std::uint32_t bigEndian(std::size_t pos, int count) const {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i)
            value = value << 8 | m_bytes[pos + static_cast<std::size_t>(i)];
        return value;
    }

    bool parseTrack(std::size_t pos, std::size_t end, std::string& error) {
        std::int64_t tick = 0;
        std::uint8_t running = 0;
        auto fail = [&](const char* why) {
            error = why;
            return false;
        };
        auto byte = [&]() -> int { return pos < end ? m_bytes[pos++] : -1; };
        auto quantity = [&]() -> std::int64_t {
            std::int64_t value = 0;
            for (int i = 0; i < 4; ++i) {
                const int b = byte();
                if (b < 0)
                    return -1;
                value = value << 7 | (b & 0x7F);
                if (b < 0x80)
                    return value;
            }
            return -1;
        };
        while (pos < end) {
            const std::int64_t delta = quantity();
            if (delta < 0)
                return fail("a damaged delta time");
            tick += delta;
            int status = byte();
            if (status < 0)
                return fail("a track ends inside an event");
            MidiEvent event;
            event.tick = tick;
            if (status == 0xFF) {
                const int type = byte();
                const std::int64_t length = quantity();
                if (type < 0 || length < 0 || static_cast<std::size_t>(length) > end - pos)
                    return fail("a damaged meta event");
                event.status = 0xFF;
                event.meta = static_cast<std::uint8_t>(type);
                event.metaData.assign(m_bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                                      m_bytes.begin() + static_cast<std::ptrdiff_t>(pos) + length);
                pos += static_cast<std::size_t>(length);
                if (type == 0x2F)
                    break;
                if (type == 0x51 && length >= 3)
                    event.tempo = static_cast<std::uint32_t>(
                        event.metaData[0] << 16 | event.metaData[1] << 8 | event.metaData[2]);
                file.events.push_back(std::move(event));
                continue;
            }
            if (status == 0xF0 || status == 0xF7) {
                const std::int64_t length = quantity();
                if (length < 0 || static_cast<std::size_t>(length) > end - pos)
                    return fail("a damaged SysEx message");
                event.status = 0xF0;
                const std::uint8_t* first = m_bytes.data() + pos;
                event.sysex.assign(first, first + length);
                if (status == 0xF0)
                    event.sysex.insert(event.sysex.begin(), std::uint8_t{0xF0});
                pos += static_cast<std::size_t>(length);
                file.events.push_back(std::move(event));
                continue;
            }
            int data1 = 0;
            if (status < 0x80) {
                if (running == 0)
                    return fail("data without a status");
                data1 = status;
                status = running;
            } else if (status >= 0xF0) {
                return fail("a system message inside a track");
            } else {
                running = static_cast<std::uint8_t>(status);
                data1 = byte();
            }
            const bool oneByte = (status & 0xE0) == 0xC0;
            const int data2 = oneByte ? 0 : byte();
            if (data1 < 0 || data1 > 0x7F || data2 < 0 || data2 > 0x7F)
                return fail("a damaged channel message");
            event.status = static_cast<std::uint8_t>(status);
            event.data1 = static_cast<std::uint8_t>(data1);
            event.data2 = static_cast<std::uint8_t>(data2);
            file.events.push_back(std::move(event));
        }
        file.endTick = std::max(file.endTick, tick);
        return true;
    }

    std::span<const std::uint8_t> m_bytes;
    MidiFile file;
};

} // namespace

void putU16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void putU32(Bytes& out, std::uint32_t value) {
    putU16(out, static_cast<std::uint16_t>(value));
    putU16(out, static_cast<std::uint16_t>(value >> 16));
}

void putU64(Bytes& out, std::uint64_t value) {
    putU32(out, static_cast<std::uint32_t>(value));
    putU32(out, static_cast<std::uint32_t>(value >> 32));
}

Bytes chunk(const std::string& id, const Bytes& body) {
    Bytes out(id.begin(), id.end());
    putU32(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2 != 0)
        out.push_back(0);
    return out;
}

Bytes form(const std::string& id, const std::string& type, const Bytes& body) {
    Bytes data(type.begin(), type.end());
    data.insert(data.end(), body.begin(), body.end());
    return chunk(id, data);
}

Bytes join(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes trackForm(Track track, const Bytes& data) {
    static const std::map<Track, std::tuple<std::uint8_t, const char*, const char*>> kKinds = {
        {Track::Tempo, {0x85, "tetr", nullptr}}, {Track::Sequence, {0x86, "seqt", nullptr}},
        {Track::SysEx, {0x87, "syex", nullptr}}, {Track::TimeSignature, {0x88, nullptr, "TIMS"}},
        {Track::Band, {0x94, nullptr, "DMBT"}},  {Track::Chord, {0x8B, nullptr, "cord"}},
        {Track::Style, {0x8D, nullptr, "sttr"}},
    };
    const auto& [first, chunkId, listType] = kKinds.at(track);
    // A time-signature track of older files is its bare chunk.
    const bool bareChunk = track == Track::TimeSignature && data.size() >= 4 &&
                           std::string(data.begin(), data.begin() + 4) == "tims";
    Bytes header = trackClass(first);
    putU32(header, 0); // position
    putU32(header, 1); // group
    auto fourcc = [](const char* text) {
        return text ? std::uint32_t{static_cast<std::uint8_t>(text[0])} |
                          std::uint32_t{static_cast<std::uint8_t>(text[1])} << 8 |
                          std::uint32_t{static_cast<std::uint8_t>(text[2])} << 16 |
                          std::uint32_t{static_cast<std::uint8_t>(text[3])} << 24
                    : 0u;
    };
    putU32(header, fourcc(bareChunk ? "tims" : chunkId));
    putU32(header, bareChunk ? 0 : fourcc(listType));
    return form("RIFF", "DMTK", join({chunk("trkh", header), data}));
}

Bytes segmentHeader(const Header& header, std::uint32_t bytes) {
    Bytes out;
    putU32(out, header.repeats);
    putU32(out, static_cast<std::uint32_t>(header.lengthTicks));
    putU32(out, static_cast<std::uint32_t>(header.playStartTicks));
    putU32(out, static_cast<std::uint32_t>(header.loopStartTicks));
    putU32(out, static_cast<std::uint32_t>(header.loopEndTicks));
    putU32(out, 0); // resolution
    putU64(out, static_cast<std::uint64_t>(header.lengthClock100ns));
    putU32(out, header.lengthInClockTime ? 1 : 0);
    return chunk("segh", fitted(out, bytes));
}

Bytes segmentForm(const Bytes& header, const std::vector<Bytes>& tracks) {
    return form("RIFF", "DMSG", join({header, form("LIST", "trkl", join(tracks))}));
}

Bytes sequenceItems(const std::vector<SequenceItem>& items, std::uint32_t recordBytes) {
    std::vector<Bytes> out;
    for (const SequenceItem& item : items) {
        Bytes record;
        putU32(record, static_cast<std::uint32_t>(item.time));
        putU32(record, static_cast<std::uint32_t>(item.duration));
        putU32(record, item.performanceChannel);
        putU16(record, static_cast<std::uint16_t>(item.offset));
        record.insert(record.end(), {item.status, item.data1, item.data2});
        out.push_back(record);
    }
    return chunk("evtl", records(out, recordBytes));
}

Bytes curveItems(const std::vector<CurveItem>& items, std::uint32_t recordBytes) {
    std::vector<Bytes> out;
    for (const CurveItem& item : items) {
        Bytes record;
        putU32(record, static_cast<std::uint32_t>(item.start));
        putU32(record, static_cast<std::uint32_t>(item.duration));
        putU32(record, 0); // reset duration
        putU32(record, item.performanceChannel);
        putU16(record, static_cast<std::uint16_t>(item.offset));
        putU16(record, static_cast<std::uint16_t>(item.startValue));
        putU16(record, static_cast<std::uint16_t>(item.endValue));
        putU16(record, 0); // reset value
        record.insert(record.end(), {item.type, item.shape, item.controller, item.flags});
        putU16(record, item.parameter);
        putU16(record, 0); // merge index
        out.push_back(record);
    }
    return chunk("curl", records(out, recordBytes));
}

Bytes sequenceTrackData(const Bytes& events, const Bytes& curves) {
    return chunk("seqt", join({events, curves}));
}

Bytes tempoTrackData(const std::vector<TempoItem>& items) {
    std::vector<Bytes> out;
    for (const TempoItem& item : items) {
        Bytes record;
        putU32(record, static_cast<std::uint32_t>(item.time));
        putU32(record, 0); // the double sits on an 8-byte boundary
        putU64(record, std::bit_cast<std::uint64_t>(item.bpm));
        out.push_back(record);
    }
    return chunk("tetr", records(out, 16));
}

Bytes sysexTrackData(const std::vector<SysexItem>& items) {
    Bytes out;
    for (const SysexItem& item : items) {
        putU32(out, static_cast<std::uint32_t>(item.time));
        putU32(out, item.performanceChannel);
        putU32(out, static_cast<std::uint32_t>(item.bytes.size()));
        out.insert(out.end(), item.bytes.begin(), item.bytes.end());
    }
    return chunk("syex", out);
}

Bytes timeSignatureTrackData(std::int32_t time, std::uint8_t beats, std::uint8_t beat, bool bare) {
    Bytes record;
    putU32(record, static_cast<std::uint32_t>(time));
    record.insert(record.end(), {beats, beat});
    putU16(record, 4); // grids per beat
    const Bytes tims = chunk("tims", records({record}, 8));
    return bare ? tims : form("LIST", "TIMS", tims);
}

Bytes bandTrackData(const std::vector<Band>& bands, std::uint32_t instrumentBytes,
                    bool olderBandHeader) {
    std::vector<Bytes> bandLists;
    for (const Band& band : bands) {
        std::vector<Bytes> instruments;
        for (const Instrument& instrument : band.instruments) {
            Bytes record;
            putU32(record, instrument.patch);
            putU32(record, 0); // assigned patch
            for (int i = 0; i < 4; ++i)
                putU32(record, 0xFFFFFFFF); // every key
            putU32(record, instrument.performanceChannel);
            putU32(record, instrument.flags);
            record.insert(record.end(), {instrument.pan, instrument.volume});
            putU16(record, static_cast<std::uint16_t>(instrument.transpose));
            putU32(record, 0); // channel priority
            putU16(record, static_cast<std::uint16_t>(instrument.pitchBendRange));
            putU16(record, 0);
            Bytes parts = chunk("bins", fitted(record, instrumentBytes));
            if (!instrument.collection.empty()) {
                Bytes reference = kCollectionClass;
                putU32(reference, 0x10); // the file name is valid
                parts = join({parts, form("LIST", "DMRF",
                                          join({chunk("refh", reference),
                                                chunk("file", utf16(instrument.collection))}))});
            }
            instruments.push_back(form("LIST", "lbin", parts));
        }
        Bytes time;
        putU32(time, static_cast<std::uint32_t>(band.time));
        if (!olderBandHeader)
            putU32(time, static_cast<std::uint32_t>(band.time));
        bandLists.push_back(
            form("LIST", "lbnd",
                 join({chunk(olderBandHeader ? "bdih" : "bd2h", time),
                       form("RIFF", "DMBD", form("LIST", "lbil", join(instruments)))})));
    }
    Bytes autoDownload;
    putU32(autoDownload, 1);
    return form("RIFF", "DMBT",
                join({chunk("bdth", autoDownload), form("LIST", "lbdl", join(bandLists))}));
}

std::optional<Bytes> fromMidi(std::span<const std::uint8_t> midi, const Options& options,
                              std::string& error) {
    auto file = MidiParser(midi).parse(error);
    if (!file)
        return std::nullopt;
    const std::int64_t division = file->division;
    // Music time has 768 ticks to the quarter note; the nearest one is taken.
    auto musicTime = [division](std::int64_t tick) {
        return static_cast<std::int32_t>((tick * kTicksPerQuarter * 2 + division) / (division * 2));
    };

    std::vector<SequenceItem> items;
    std::vector<CurveItem> curves;
    std::vector<TempoItem> tempos;
    std::vector<SysexItem> sysex;
    std::vector<Band> bands;
    std::array<std::uint8_t, 16> bankMsb{};
    std::array<std::uint8_t, 16> bankLsb{};
    std::map<std::pair<int, int>, std::deque<std::size_t>> sounding;
    int beats = 4;
    int beat = 4;
    bool timeSignatureSeen = false;

    for (const MidiEvent& event : file->events) {
        const std::int32_t time = musicTime(event.tick);
        const int channel = event.status & 0x0F;
        const std::uint32_t performanceChannel =
            options.channelOffset + static_cast<std::uint32_t>(channel);
        const int kind = event.status & 0xF0;
        if (event.status == 0xFF) {
            if (event.meta == 0x51 && event.tempo > 0)
                tempos.push_back({time, 60'000'000.0 / event.tempo});
            if (event.meta == 0x58 && event.metaData.size() >= 2 && !timeSignatureSeen) {
                beats = event.metaData[0];
                beat = 1 << std::min<int>(event.metaData[1], 7);
                timeSignatureSeen = true;
            }
        } else if (event.status == 0xF0) {
            sysex.push_back({time, 0, event.sysex});
        } else if (kind == 0x90 && event.data2 > 0) {
            sounding[{channel, event.data1}].push_back(items.size());
            items.push_back({time, 0, performanceChannel, 0, 0x90, event.data1, event.data2});
        } else if (kind == 0x80 || kind == 0x90) {
            auto& open = sounding[{channel, event.data1}];
            if (!open.empty()) {
                SequenceItem& note = items[open.front()];
                note.duration = time - note.time;
                open.pop_front();
            }
        } else if (kind == 0xB0 && (event.data1 == 0 || event.data1 == 32)) {
            // Bank selects travel with the program, in the band.
            (event.data1 == 0 ? bankMsb : bankLsb)[static_cast<std::size_t>(channel)] = event.data2;
        } else if (kind == 0xC0) {
            Instrument instrument;
            instrument.patch = std::uint32_t{event.data1} |
                               std::uint32_t{bankLsb[static_cast<std::size_t>(channel)]} << 8 |
                               std::uint32_t{bankMsb[static_cast<std::size_t>(channel)]} << 16 |
                               (channel == 9 ? 0x8000'0000u : 0u);
            instrument.performanceChannel = performanceChannel;
            instrument.flags = 0x0001 | 0x0002 | 0x0100; // patch, bank select, General MIDI
            if (bands.empty() || bands.back().time != time)
                bands.push_back({time, {}});
            bands.back().instruments.push_back(instrument);
        } else if (options.controllersAsCurves) {
            CurveItem curve;
            curve.start = time;
            curve.performanceChannel = performanceChannel;
            curve.shape = 1; // instant
            int value = event.data2;
            if (kind == 0xB0) {
                curve.type = 4;
                curve.controller = event.data1;
            } else if (kind == 0xE0) {
                curve.type = 3;
                value = event.data1 | event.data2 << 7;
            } else if (kind == 0xD0) {
                curve.type = 5;
                value = event.data1;
            } else {
                curve.type = 6;
                curve.controller = event.data1;
            }
            curve.startValue = curve.endValue = static_cast<std::int16_t>(value);
            curves.push_back(curve);
        } else {
            items.push_back({time, 0, performanceChannel, 0, static_cast<std::uint8_t>(kind),
                             event.data1, event.data2});
        }
    }
    const std::int32_t length = musicTime(file->endTick);
    // Notes never switched off last to the end of the piece.
    for (auto& [key, open] : sounding) {
        for (std::size_t index : open)
            items[index].duration = std::max(0, length - items[index].time);
    }

    std::vector<Bytes> tracks;
    tracks.push_back(trackForm(Track::Tempo, tempoTrackData(tempos)));
    tracks.push_back(
        trackForm(Track::TimeSignature, timeSignatureTrackData(0, static_cast<std::uint8_t>(beats),
                                                               static_cast<std::uint8_t>(beat),
                                                               options.bareTimeSignature)));
    if (!bands.empty())
        tracks.push_back(trackForm(
            Track::Band, bandTrackData(bands, options.instrumentBytes, options.olderBandHeader)));
    tracks.push_back(trackForm(
        Track::Sequence,
        sequenceTrackData(sequenceItems(items, options.sequenceItemBytes),
                          curves.empty() ? Bytes{} : curveItems(curves, options.curveBytes))));
    if (!sysex.empty())
        tracks.push_back(trackForm(Track::SysEx, sysexTrackData(sysex)));
    Header header;
    header.lengthTicks = length;
    return segmentForm(segmentHeader(header, options.headerBytes), tracks);
}

} // namespace tremlo::tools::segment
