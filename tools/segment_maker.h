#pragma once

// Writes DirectMusic segment files (RIFF form DMSG) whose music is a sequence
// track: the test segments for the segment reader, made from MIDI files.
//
// A MIDI file becomes a tempo track, a time-signature track, a band track (one
// band per moment at which programs change, drum kits flagged on channel 10),
// a sequence track of notes with durations and controller items (or curves),
// and a SysEx track. The options choose the record sizes that older authoring
// tools wrote, so the reader's handling of them can be tested.
//
// The pieces the writer is built from are public too, so tests can put
// together segments the MIDI route does not make (damaged ones included).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tremlo::tools::segment {

using Bytes = std::vector<std::uint8_t>;

struct Options {
    // 24, 40, 56 or 64 bytes of segment header.
    std::uint32_t headerBytes = 64;
    // Sequence items are 20 bytes; more tests that the reader steps by the
    // stored size.
    std::uint32_t sequenceItemBytes = 20;
    // 28 (older files) or 32.
    std::uint32_t curveBytes = 32;
    // 40 (older files, no pitch-bend range) or 44.
    std::uint32_t instrumentBytes = 44;
    // Added to each MIDI channel to make its performance channel.
    std::uint32_t channelOffset = 0;
    // Controllers, pitch bend and pressure as curves that jump to their
    // value, instead of sequence items.
    bool controllersAsCurves = false;
    // The older band header (one time) instead of logical and physical times.
    bool olderBandHeader = false;
    // The time signature as a bare chunk, not in a LIST.
    bool bareTimeSignature = false;
};

// The segment for a standard MIDI file of type 0 or 1 with metrical timing,
// or nothing (with a reason in error) for anything else or a damaged file.
std::optional<Bytes> fromMidi(std::span<const std::uint8_t> midi, const Options& options,
                              std::string& error);

// --- Building blocks -------------------------------------------------------

void putU16(Bytes& out, std::uint16_t value);
void putU32(Bytes& out, std::uint32_t value);
void putU64(Bytes& out, std::uint64_t value);

Bytes chunk(const std::string& id, const Bytes& body);
// A RIFF or LIST chunk of the given type.
Bytes form(const std::string& id, const std::string& type, const Bytes& body);
Bytes join(const std::vector<Bytes>& parts);

enum class Track { Tempo, Sequence, SysEx, TimeSignature, Band, Chord, Style };

// RIFF DMTK with its track header; data is the track's own chunk, whose id
// (plain chunk) or type (RIFF/LIST) the header names.
Bytes trackForm(Track track, const Bytes& data);

struct Header {
    std::int32_t lengthTicks = 0;
    std::int32_t playStartTicks = 0;
    std::int32_t loopStartTicks = 0;
    std::int32_t loopEndTicks = 0;
    std::uint32_t repeats = 0;
    std::int64_t lengthClock100ns = 0;
    bool lengthInClockTime = false;
};
Bytes segmentHeader(const Header& header, std::uint32_t bytes);
Bytes segmentForm(const Bytes& header, const std::vector<Bytes>& tracks);

// Array chunk records, written at the given record size (padded or cut).
struct SequenceItem {
    std::int32_t time = 0;
    std::int32_t duration = 0;
    std::uint32_t performanceChannel = 0;
    std::int16_t offset = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
};
Bytes sequenceItems(const std::vector<SequenceItem>& items, std::uint32_t recordBytes);

struct CurveItem {
    std::int32_t start = 0;
    std::int32_t duration = 0;
    std::uint32_t performanceChannel = 0;
    std::int16_t offset = 0;
    std::int16_t startValue = 0;
    std::int16_t endValue = 0;
    std::uint8_t type = 4;
    std::uint8_t shape = 1;
    std::uint8_t controller = 0;
    std::uint8_t flags = 0;
    std::uint16_t parameter = 0;
};
Bytes curveItems(const std::vector<CurveItem>& items, std::uint32_t recordBytes);
// The seqt chunk from its two lists (either may be empty).
Bytes sequenceTrackData(const Bytes& events, const Bytes& curves);

struct TempoItem {
    std::int32_t time = 0;
    double bpm = 120.0;
};
Bytes tempoTrackData(const std::vector<TempoItem>& items);

struct SysexItem {
    std::int32_t time = 0;
    std::uint32_t performanceChannel = 0;
    Bytes bytes;
};
Bytes sysexTrackData(const std::vector<SysexItem>& items);

Bytes timeSignatureTrackData(std::int32_t time, std::uint8_t beats, std::uint8_t beat, bool bare);

struct Instrument {
    std::uint32_t patch = 0;
    std::uint32_t performanceChannel = 0;
    std::uint32_t flags = 0;
    std::uint8_t pan = 64;
    std::uint8_t volume = 100;
    std::int16_t transpose = 0;
    std::int16_t pitchBendRange = 2;
    // A DLS collection's file name, referenced beside the instrument.
    std::string collection = {};
};
struct Band {
    std::int32_t time = 0;
    std::vector<Instrument> instruments;
};
Bytes bandTrackData(const std::vector<Band>& bands, std::uint32_t instrumentBytes,
                    bool olderBandHeader);

} // namespace tremlo::tools::segment
