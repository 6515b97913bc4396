#include "midi_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

namespace tremlo::sound {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes bigEndian(std::uint32_t value, int count) {
    Bytes out;
    for (int shift = 8 * (count - 1); shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return out;
}

Bytes vlq(std::uint32_t value) {
    Bytes out{static_cast<std::uint8_t>(value & 0x7F)};
    while ((value >>= 7) != 0) {
        out.insert(out.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
    }
    return out;
}

Bytes chunk(const std::string& id, const Bytes& body) {
    return Bytes(id.begin(), id.end()) + bigEndian(static_cast<std::uint32_t>(body.size()), 4) +
           body;
}

Bytes header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division) {
    return chunk("MThd", bigEndian(format, 2) + bigEndian(tracks, 2) + bigEndian(division, 2));
}

Bytes track(const Bytes& body) {
    return chunk("MTrk", body);
}

// One event after a delta time in ticks.
Bytes at(std::uint32_t delta, const Bytes& event) {
    return vlq(delta) + event;
}

Bytes tempo(std::uint32_t usPerQuarter) {
    return Bytes{0xFF, 0x51, 0x03} + bigEndian(usPerQuarter, 3);
}

const Bytes kEndOfTrack{0xFF, 0x2F, 0x00};

std::optional<Sequence> read(const Bytes& bytes) {
    return readMidiFile(bytes);
}

std::vector<std::int64_t> timesOf(const Sequence& sequence) {
    std::vector<std::int64_t> times;
    for (const SequenceEvent& event : sequence.events) {
        times.push_back(event.timeUs);
    }
    return times;
}

std::vector<int> statusesOf(const Sequence& sequence) {
    std::vector<int> statuses;
    for (const SequenceEvent& event : sequence.events) {
        statuses.push_back(event.status);
    }
    return statuses;
}

Bytes sysexOf(const Sequence& sequence, const SequenceEvent& event) {
    auto begin = sequence.sysex.begin() + event.sysexOffset;
    return Bytes(begin, begin + event.sysexLength);
}

std::size_t soundingNoteOns(const Sequence& sequence) {
    return std::count_if(sequence.events.begin(), sequence.events.end(),
                         [](const auto& e) { return (e.status & 0xF0) == 0x90 && e.data2 > 0; });
}

TEST(MidiFileTiming, LengthFollowsATempoChangeMidPiece) {
    auto file = header(0, 1, 480) +
                track(at(0, tempo(500'000)) + at(0, {0x90, 60, 100}) + at(480, tempo(250'000)) +
                      at(480, {0x80, 60, 0}) + at(0, kEndOfTrack));
    auto sequence = read(file);
    ASSERT_TRUE(sequence);
    EXPECT_EQ(timesOf(*sequence), (std::vector<std::int64_t>{0, 750'000}));
    EXPECT_EQ(sequence->lengthUs, 750'000);
}

// The second tempo change sits in track 1 and must still move track 0's later
// note; events at the same tick keep track order.
TEST(MidiFileTiming, TempoInAnyTrackOfType1AppliesToAllTracks) {
    auto track0 = track(at(0, tempo(1'000'000)) + at(96, {0xB0, 7, 100}) + at(96, {0x90, 60, 100}) +
                        at(0, kEndOfTrack));
    auto track1 = track(at(96, tempo(500'000)) + at(0, {0x91, 62, 100}) + at(96, {0x81, 62, 0}) +
                        at(96, kEndOfTrack));
    auto sequence = read(header(1, 2, 96) + track0 + track1);
    ASSERT_TRUE(sequence);
    EXPECT_EQ(statusesOf(*sequence), (std::vector<int>{0xB0, 0x91, 0x90, 0x81}));
    EXPECT_EQ(timesOf(*sequence),
              (std::vector<std::int64_t>{1'000'000, 1'000'000, 1'500'000, 1'500'000}));
    EXPECT_EQ(sequence->lengthUs, 2'000'000);
}

// A third of a second per tick: rounding each delta on its own would lose a
// microsecond per event and drift a full millisecond by the end.
TEST(MidiFileTiming, ManySmallDeltasDoNotDrift) {
    Bytes body = at(0, tempo(1'000'000));
    for (int i = 0; i < 3000; ++i) {
        body = body + at(1, {0xC0, 0});
    }
    auto sequence = read(header(0, 1, 3) + track(body + at(0, kEndOfTrack)));
    ASSERT_TRUE(sequence);
    ASSERT_EQ(sequence->events.size(), 3000u);
    EXPECT_EQ(sequence->events.front().timeUs, 333'333);
    EXPECT_EQ(sequence->events.back().timeUs, 1'000'000'000);
}

TEST(MidiFileTiming, SmpteDivisionIgnoresTempo) {
    // 25 frames per second, 40 ticks per frame: one millisecond per tick.
    auto sequence =
        read(header(0, 1, 0xE728) +
             track(at(0, tempo(250'000)) + at(1000, {0x90, 60, 100}) + at(500, kEndOfTrack)));
    ASSERT_TRUE(sequence);
    EXPECT_EQ(timesOf(*sequence), (std::vector<std::int64_t>{1'000'000}));
    EXPECT_EQ(sequence->lengthUs, 1'500'000);

    // 29 means drop-frame: 30000 frames take 1001 seconds.
    auto dropFrame = read(header(0, 1, 0xE301) + track(at(30'000, {0x90, 60, 100})));
    ASSERT_TRUE(dropFrame);
    EXPECT_EQ(timesOf(*dropFrame), (std::vector<std::int64_t>{1'001'000'000}));
}

TEST(MidiFileTiming, Type2PatternsPlayInTurnEachFromTheDefaultTempo) {
    auto pattern0 = track(at(0, tempo(250'000)) + at(0, {0x90, 60, 100}) + at(96, kEndOfTrack));
    auto pattern1 = track(at(0, {0x91, 62, 100}) + at(96, {0x81, 62, 0}) + at(0, kEndOfTrack));
    auto sequence = read(header(2, 2, 96) + pattern0 + pattern1);
    ASSERT_TRUE(sequence);
    EXPECT_EQ(statusesOf(*sequence), (std::vector<int>{0x90, 0x91, 0x81}));
    EXPECT_EQ(timesOf(*sequence), (std::vector<std::int64_t>{0, 250'000, 750'000}));
    EXPECT_EQ(sequence->lengthUs, 750'000);
}

TEST(MidiFileTiming, TrackWithoutEndOfTrackEndsAtItsLastEvent) {
    // The last note-on lost its velocity byte to truncation.
    auto sequence = read(header(0, 1, 96) + track(at(0, {0x90, 60, 100}) + at(96, {0x80, 60, 0}) +
                                                  at(96, {0x90, 62})));
    ASSERT_TRUE(sequence);
    EXPECT_EQ(sequence->events.size(), 2u);
    EXPECT_EQ(sequence->lengthUs, 500'000);
}

TEST(MidiFileEvents, RunningStatusContinuesAfterMetaAndSysex) {
    auto body = at(0, {0x90, 60, 100}) + at(0, {0xFF, 0x01, 0x02, 'h', 'i'}) + at(10, {62, 100}) +
                at(0, {0xF0, 0x02, 0x7E, 0xF7}) + at(10, {64, 100}) + at(0, {0xC3, 5}) +
                at(0, {6}) + at(0, kEndOfTrack);
    auto sequence = read(header(0, 1, 96) + track(body));
    ASSERT_TRUE(sequence);
    EXPECT_EQ(statusesOf(*sequence), (std::vector<int>{0x90, 0x90, 0xF0, 0x90, 0xC3, 0xC3}));
    EXPECT_EQ(sequence->events[1].data1, 62);
    EXPECT_EQ(sequence->events[3].data1, 64);
    EXPECT_EQ(sequence->events[3].data2, 100);
    EXPECT_EQ(sequence->events[5].data1, 6);
}

TEST(MidiFileEvents, DataByteWithNoStatusEndsOnlyItsTrack) {
    auto broken = track(at(0, {60, 100}) + at(0, {0x90, 60, 100}) + at(0, kEndOfTrack));
    auto good = track(at(0, {0x91, 62, 100}) + at(0, kEndOfTrack));
    auto sequence = read(header(1, 2, 96) + broken + good);
    ASSERT_TRUE(sequence);
    EXPECT_EQ(statusesOf(*sequence), (std::vector<int>{0x91}));
}

TEST(MidiFileEvents, SysexIsStoredWithoutFramingBytes) {
    auto body = at(0, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}) + at(0, {0xF7, 0x02, 0x41, 0x42}) +
                // One message split into two packets is delivered whole.
                at(0, {0xF0, 0x02, 0x43, 0x10}) + at(5, {0xF7, 0x03, 0x4C, 0x00, 0xF7}) +
                at(0, {0x90, 60, 100}) + at(0, kEndOfTrack);
    auto sequence = read(header(0, 1, 96) + track(body));
    ASSERT_TRUE(sequence);
    ASSERT_EQ(statusesOf(*sequence), (std::vector<int>{0xF0, 0xF0, 0xF0, 0x90}));
    EXPECT_EQ(sysexOf(*sequence, sequence->events[0]), (Bytes{0x7E, 0x7F}));
    EXPECT_EQ(sysexOf(*sequence, sequence->events[1]), (Bytes{0x41, 0x42}));
    EXPECT_EQ(sysexOf(*sequence, sequence->events[2]), (Bytes{0x43, 0x10, 0x4C, 0x00}));
    EXPECT_EQ(sequence->events[3].timeUs, 5 * 500'000 / 96);
}

TEST(MidiFileEvents, SystemBytesInATrackAreSkippedWithTheirData) {
    auto body = at(0, {0x90, 60, 100}) + at(0, {0xF2, 0x7F, 0x7F}) + at(0, {0xF1, 0x7F}) +
                at(0, {0xF3, 0x01}) + at(0, {0xF8}) + at(0, {0xF4}) + at(0, {0xFE}) +
                at(96, {62, 100}) + at(0, kEndOfTrack);
    auto sequence = read(header(0, 1, 96) + track(body));
    ASSERT_TRUE(sequence);
    EXPECT_EQ(statusesOf(*sequence), (std::vector<int>{0x90, 0x90}));
    EXPECT_EQ(timesOf(*sequence), (std::vector<std::int64_t>{0, 500'000}));
}

TEST(MidiFileEvents, VariableLengthOverFourBytesEndsTheTrack) {
    auto body = at(0, {0x90, 60, 100}) + Bytes{0x81, 0x80, 0x80, 0x80, 0x00, 0x80, 60, 0};
    auto sequence = read(header(0, 1, 96) + track(body));
    ASSERT_TRUE(sequence);
    EXPECT_EQ(statusesOf(*sequence), (std::vector<int>{0x90}));
}

TEST(MidiFileStructure, ToleratesOddButReadableLayouts) {
    auto note = track(at(0, {0x90, 60, 100}) + at(0, kEndOfTrack));
    auto junk = chunk("JUNK", {1, 2, 3});
    auto overlong = Bytes{'M', 'T', 'r', 'k', 0x00, 0x10, 0x00, 0x00} + at(0, {0x90, 60, 100});
    struct Case {
        const char* what;
        Bytes file;
        std::size_t noteOns;
    };
    const Case cases[] = {
        {"header longer than six bytes", chunk("MThd", Bytes{0, 0, 0, 1, 0, 96, 0xAA, 0xBB}) + note,
         1},
        {"junk chunks before and between tracks", header(1, 2, 96) + junk + note + junk + note, 2},
        {"fewer tracks than announced", header(1, 9, 96) + note, 1},
        {"more tracks than announced", header(1, 1, 96) + note + note, 1},
        {"track length running past the file", header(0, 1, 96) + overlong, 1},
        {"valid header without tracks", header(0, 1, 96), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto sequence = read(c.file);
        ASSERT_TRUE(sequence);
        EXPECT_EQ(soundingNoteOns(*sequence), c.noteOns);
    }
}

TEST(MidiFileStructure, RefusesWhatIsNotAMidiFile) {
    auto note = track(at(0, {0x90, 60, 100}) + at(0, kEndOfTrack));
    EXPECT_FALSE(read({}));
    EXPECT_FALSE(read(Bytes{'M', 'T', 'h', 'd'}));
    EXPECT_FALSE(read(note));
    EXPECT_FALSE(read(header(0, 1, 0) + note));
    EXPECT_FALSE(read(header(3, 1, 96) + note));
    EXPECT_FALSE(read(chunk("MThd", Bytes{0, 0, 0, 1}) + note));
    EXPECT_FALSE(read(Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1}));
    // An SMPTE division with no ticks per frame is as meaningless as zero.
    EXPECT_FALSE(read(header(0, 1, 0xE700) + note));
}

TEST(MidiFileStructure, RefusesMoreEventsThanItCanHold) {
    // Program changes under running status: two bytes per event.
    Bytes body{0x00, 0xC0, 0x00};
    body.reserve(body.size() + 2 * 4'000'000);
    for (int i = 0; i < 4'000'000; ++i) {
        body.push_back(0x00);
        body.push_back(0x00);
    }
    EXPECT_FALSE(read(header(0, 1, 96) + track(body)));
}

std::filesystem::path jazzSoftDir() {
    return std::filesystem::path(TREMLO_TESTDATA_DIR) / "mid" / "jazz-soft";
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(MidiFileCorpus, EveryFileReadsWithoutCrashing) {
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(jazzSoftDir())) {
        SCOPED_TRACE(entry.path().filename().string());
        auto sequence = readMidiFile(readFile(entry.path()));
        if (sequence) {
            EXPECT_TRUE(
                std::is_sorted(sequence->events.begin(), sequence->events.end(),
                               [](const auto& a, const auto& b) { return a.timeUs < b.timeUs; }));
            for (const SequenceEvent& event : sequence->events) {
                EXPECT_LE(event.timeUs, sequence->lengthUs);
                EXPECT_LE(event.sysexOffset + event.sysexLength, sequence->sysex.size());
            }
        }
        ++files;
    }
    EXPECT_GT(files, 50u);
}

struct KnownFile {
    std::string name;
    // Nothing when the file must be refused.
    std::optional<std::size_t> noteOns;
};

class MidiFileKnown : public testing::TestWithParam<KnownFile> {};

TEST_P(MidiFileKnown, ReadsAsItsAuthorMeant) {
    auto sequence = readMidiFile(readFile(jazzSoftDir() / GetParam().name));
    ASSERT_EQ(sequence.has_value(), GetParam().noteOns.has_value());
    if (sequence) {
        EXPECT_EQ(soundingNoteOns(*sequence), *GetParam().noteOns);
    }
}

INSTANTIATE_TEST_SUITE_P(
    JazzSoft, MidiFileKnown,
    testing::Values(
        KnownFile{"test-c-major-scale.mid", 8}, KnownFile{"test-running-status-metaevent.mid", 8},
        KnownFile{"test-running-status-sysex.mid", 8}, KnownFile{"test-illegal-message-all.mid", 8},
        KnownFile{"test-non-midi-track.mid", 8}, KnownFile{"test-corrupt-file-missing-byte.mid", 8},
        KnownFile{"test-corrupt-file-extra-byte.mid", 8}, KnownFile{"test-vlq-4-byte.mid", 8},
        KnownFile{"test-2-tracks-type-0.mid", 16}, KnownFile{"test-2-tracks-type-2.mid", 16},
        KnownFile{"test-empty.mid", 0}, KnownFile{"test-not-a-midi-file.mid", std::nullopt},
        KnownFile{"test-empty-file.mid", std::nullopt},
        KnownFile{"test-syx-7e-06-01-id-request.syx", std::nullopt}),
    [](const testing::TestParamInfo<KnownFile>& info) {
        std::string name = info.param.name;
        std::replace_if(
            name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
        return name;
    });

TEST(MidiFileCorpusTiming, TrackLengthIncludesTrailingSilence) {
    // The note ends on beat one and the track half a note later, at 96 ticks
    // per quarter note and the default tempo.
    auto sequence = readMidiFile(readFile(jazzSoftDir() / "test-track-length.mid"));
    ASSERT_TRUE(sequence);
    EXPECT_EQ(sequence->lengthUs, 1'500'000);
}

TEST(MidiFileCorpusTiming, Type2TracksDoNotOverlap) {
    auto sequence = readMidiFile(readFile(jazzSoftDir() / "test-2-tracks-type-2.mid"));
    ASSERT_TRUE(sequence);
    auto firstOfSecond = std::find_if(sequence->events.begin(), sequence->events.end(),
                                      [](const auto& e) { return (e.status & 0x0F) == 1; });
    ASSERT_NE(firstOfSecond, sequence->events.end());
    EXPECT_TRUE(std::all_of(firstOfSecond, sequence->events.end(),
                            [](const auto& e) { return (e.status & 0x0F) == 1; }));
}

} // namespace
} // namespace tremlo::sound
