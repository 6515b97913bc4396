// The segment reader against segments made by tools/segment_maker: from the
// test MIDI files (the same notes at the same times as the MIDI reader gives)
// and put together piece by piece for what the MIDI route does not make.

#include "midi_file.h"
#include "segment_file.h"
#include "segment_maker.h"
#include "test_support.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace tremlo::sound {
namespace {

namespace seg = tools::segment;
using seg::Bytes;

std::string testMidi(const std::string& name) {
    return std::string(TREMLO_TESTDATA_DIR) + "/mid/jazz-soft/" + name;
}

struct Note {
    int channel, key, velocity;
    std::int64_t onUs, offUs;
};

int channelOf(const SequenceEvent& event) {
    return event.channelGroup * 16 + (event.status & 0x0F);
}

// Notes paired first in, first out per channel and key, sorted so that small
// differences in timing cannot reorder them.
std::vector<Note> notesOf(const Sequence& sequence, int channelShift = 0) {
    std::vector<Note> notes;
    for (std::size_t i = 0; i < sequence.events.size(); ++i) {
        const auto& on = sequence.events[i];
        if ((on.status & 0xF0) != 0x90 || on.data2 == 0)
            continue;
        Note note{channelOf(on) - channelShift, on.data1, on.data2, on.timeUs, sequence.lengthUs};
        for (std::size_t j = i + 1; j < sequence.events.size(); ++j) {
            const auto& off = sequence.events[j];
            const int kind = off.status & 0xF0;
            if ((kind == 0x80 || (kind == 0x90 && off.data2 == 0)) &&
                channelOf(off) == channelOf(on) && off.data1 == on.data1) {
                note.offUs = off.timeUs;
                break;
            }
        }
        notes.push_back(note);
    }
    std::sort(notes.begin(), notes.end(), [](const Note& a, const Note& b) {
        return std::tie(a.channel, a.key, a.onUs) < std::tie(b.channel, b.key, b.onUs);
    });
    return notes;
}

// Controllers other than bank select (which segments carry in their bands),
// pressure and pitch bend, as (channel, status, data1, data2, time).
std::vector<std::tuple<int, int, int, int, std::int64_t>> controlsOf(const Sequence& sequence,
                                                                     int channelShift = 0) {
    std::vector<std::tuple<int, int, int, int, std::int64_t>> controls;
    for (const auto& e : sequence.events) {
        const int kind = e.status & 0xF0;
        if (kind == 0xA0 || kind == 0xD0 || kind == 0xE0 ||
            (kind == 0xB0 && e.data1 != 0 && e.data1 != 32))
            controls.emplace_back(channelOf(e) - channelShift, kind, e.data1, e.data2, e.timeUs);
    }
    std::stable_sort(controls.begin(), controls.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<2>(a)) < std::tie(std::get<0>(b), std::get<2>(b));
    });
    return controls;
}

struct Variant {
    const char* name;
    seg::Options options;
};

seg::Options older() {
    seg::Options o;
    o.headerBytes = 24;
    o.instrumentBytes = 40;
    o.olderBandHeader = true;
    o.bareTimeSignature = true;
    return o;
}
seg::Options curves(std::uint32_t bytes) {
    seg::Options o;
    o.controllersAsCurves = true;
    o.curveBytes = bytes;
    return o;
}
seg::Options wide() {
    seg::Options o;
    o.headerBytes = 40;
    o.sequenceItemBytes = 24;
    o.channelOffset = 32;
    return o;
}

const Variant kVariants[] = {{"Newest", {}},
                             {"OlderRecords", older()},
                             {"Curves", curves(32)},
                             {"OlderCurves", curves(28)},
                             {"LongerItemsOnChannelsAbove15", wide()}};

class FromMidi : public ::testing::TestWithParam<std::tuple<const char*, Variant>> {};

TEST_P(FromMidi, SameNotesAndControllersAtTheSameTimes) {
    const auto& [file, variant] = GetParam();
    const auto midiBytes = test::readFile(testMidi(file));
    const auto midi = readMidiFile(midiBytes);
    ASSERT_TRUE(midi);
    std::string error;
    const auto segmentBytes = seg::fromMidi(midiBytes, variant.options, error);
    ASSERT_TRUE(segmentBytes) << error;
    const auto segment = readSegmentFile(*segmentBytes);
    ASSERT_TRUE(segment);

    // The file's 96 ticks to the quarter note are exact in music time; a
    // microsecond of rounding in each reader remains.
    constexpr std::int64_t kToleranceUs = 2;
    EXPECT_NEAR(segment->lengthUs, midi->lengthUs, kToleranceUs);
    const int shift = static_cast<int>(variant.options.channelOffset);
    const auto expected = notesOf(*midi);
    const auto actual = notesOf(*segment, shift);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("note " + std::to_string(i));
        EXPECT_EQ(actual[i].channel, expected[i].channel);
        EXPECT_EQ(actual[i].key, expected[i].key);
        EXPECT_EQ(actual[i].velocity, expected[i].velocity);
        EXPECT_NEAR(actual[i].onUs, expected[i].onUs, kToleranceUs);
        // A note switched off as it starts still sounds for one tick.
        const bool instant = expected[i].offUs == expected[i].onUs;
        EXPECT_NEAR(actual[i].offUs, expected[i].offUs, instant ? 2000 : kToleranceUs);
    }
    const auto controls = controlsOf(*segment, shift);
    const auto midiControls = controlsOf(*midi);
    ASSERT_EQ(controls.size(), midiControls.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(std::get<1>(controls[i]), std::get<1>(midiControls[i])) << i;
        EXPECT_EQ(std::get<3>(controls[i]), std::get<3>(midiControls[i])) << i;
        EXPECT_NEAR(std::get<4>(controls[i]), std::get<4>(midiControls[i]), kToleranceUs) << i;
    }
    EXPECT_EQ(segment->sysex, midi->sysex);
    // The tenth channel of each group of sixteen is a drum kit.
    const int drums = 9 + shift;
    const bool drumChannel =
        std::any_of(segment->events.begin(), segment->events.end(), [&](const auto& e) {
            return e.status == kChannelTypeStatus && e.data1 == drums && e.data2 == 1;
        });
    const bool plays =
        std::any_of(segment->events.begin(), segment->events.end(), [&](const auto& e) {
            return (e.status & 0xF0) == 0x90 && channelOf(e) == drums;
        });
    EXPECT_EQ(drumChannel, plays);
}

INSTANTIATE_TEST_SUITE_P(
    JazzSoft, FromMidi,
    ::testing::Combine(::testing::Values("test-c-major-scale.mid", "test-multichannel-chords-1.mid",
                                         "test-multichannel-chords-3.mid",
                                         "test-all-gm-percussion.mid", "test-2-tracks-type-1.mid",
                                         "test-control-40-damper.mid",
                                         "test-rpn-00-00-pitch-bend-range.mid",
                                         "test-note-on-velocity.mid",
                                         "test-sysex-7f-04-04-master-coarse-tuning.mid"),
                       ::testing::ValuesIn(kVariants)),
    [](const auto& info) {
        std::string name = std::get<0>(info.param);
        name = name.substr(5, name.size() - 9);
        std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
        return name + "_" + std::get<1>(info.param).name;
    });

seg::Header ticks(std::int32_t length, std::int32_t playStart = 0) {
    seg::Header header;
    header.lengthTicks = length;
    header.playStartTicks = playStart;
    return header;
}

// A segment of one note on channel 0 from 0 to 768 ticks, with the given
// extra tracks.
Bytes oneNote(std::vector<Bytes> tracks, seg::Header header = ticks(768),
              std::uint32_t headerBytes = 64) {
    tracks.push_back(seg::trackForm(
        seg::Track::Sequence,
        seg::sequenceTrackData(seg::sequenceItems({{0, 768, 0, 0, 0x90, 60, 100}}, 20), {})));
    return seg::segmentForm(seg::segmentHeader(header, headerBytes), tracks);
}

TEST(SegmentFile, LengthFollowsTheTempoMapOrTheClockOrTheEvents) {
    const Bytes tempo =
        seg::trackForm(seg::Track::Tempo, seg::tempoTrackData({{768, 60.0}, {0, 120.0}}));
    // 500 ms of the first beat at 120 BPM, then two beats at 60.
    EXPECT_EQ(readSegmentFile(oneNote({tempo}, ticks(768 * 3)))->lengthUs, 2'500'000);
    EXPECT_EQ(readSegmentFile(oneNote({}, ticks(768 * 3)))->lengthUs, 1'500'000)
        << "120 BPM without a tempo track";
    seg::Header clock = ticks(768 * 3);
    clock.lengthInClockTime = true;
    clock.lengthClock100ns = 12'340'000;
    EXPECT_EQ(readSegmentFile(oneNote({tempo}, clock))->lengthUs, 1'234'000);
    EXPECT_EQ(readSegmentFile(oneNote({tempo}, ticks(0)))->lengthUs, 500'000) << "the note's end";
    seg::Header late = ticks(768 * 3, 768);
    EXPECT_EQ(readSegmentFile(oneNote({tempo}, late))->lengthUs, 2'000'000)
        << "from the play start";
    // A tempo of zero or beyond what can be set is no tempo.
    const Bytes broken =
        seg::trackForm(seg::Track::Tempo, seg::tempoTrackData({{0, 0.0}, {0, 1e9}}));
    EXPECT_EQ(readSegmentFile(oneNote({broken}, ticks(768)))->lengthUs, 500'000);
}

TEST(SegmentFile, EveryHeaderSizeGivesTheSameSequence) {
    const auto newest = readSegmentFile(oneNote({}, ticks(1536), 64));
    ASSERT_TRUE(newest);
    for (std::uint32_t bytes : {24u, 40u, 56u, 12u}) {
        const auto segment = readSegmentFile(oneNote({}, ticks(1536), bytes));
        ASSERT_TRUE(segment) << bytes;
        EXPECT_EQ(segment->lengthUs, newest->lengthUs) << bytes;
        EXPECT_EQ(segment->events.size(), newest->events.size()) << bytes;
    }
}

TEST(SegmentFile, BandsSetKitVolumePanBendRangeAndTranspose) {
    seg::Instrument kit{
        0x8000'0000u | 16, 3, 0x0001 | 0x0020 | 0x0040 | 0x0080 | 0x2000, 20, 90, 0, 12, "gm.dls"};
    seg::Instrument up{.performanceChannel = 3, .flags = 0x0080};
    up.transpose = 5;
    const std::vector<seg::Band> bands{{0, {kit}}, {768, {up}}};
    for (std::uint32_t instrumentBytes : {44u, 40u}) {
        SCOPED_TRACE(instrumentBytes);
        const Bytes notes = seg::sequenceItems({{0, 100, 3, 0, 0x90, 36, 100},
                                                {768, 100, 3, 0, 0x90, 36, 100},
                                                {800, 100, 3, 0, 0x90, 125, 100}},
                                               20);
        const auto segment = readSegmentFile(seg::segmentForm(
            seg::segmentHeader(ticks(1536), 64),
            {seg::trackForm(seg::Track::Band, seg::bandTrackData(bands, instrumentBytes, false)),
             seg::trackForm(seg::Track::Sequence, seg::sequenceTrackData(notes, {}))}));
        ASSERT_TRUE(segment);
        std::vector<std::tuple<int, int, int>> setup; // status, data1, data2 before the first note
        for (const auto& e : segment->events) {
            if ((e.status & 0xF0) == 0x90)
                break;
            setup.emplace_back(e.status, e.data1, e.data2);
        }
        std::vector<std::tuple<int, int, int>> expected{{kChannelTypeStatus, 3, 0},
                                                        {0xC3, 0, 0},
                                                        {kChannelTypeStatus, 3, 1},
                                                        {0xC3, 16, 0},
                                                        {0xB3, 7, 90},
                                                        {0xB3, 10, 20}};
        if (instrumentBytes == 44) {
            for (auto cc : std::vector<std::pair<int, int>>{
                     {101, 0}, {100, 0}, {6, 12}, {38, 0}, {101, 127}, {100, 127}})
                expected.emplace_back(0xB3, cc.first, cc.second);
        }
        EXPECT_EQ(setup, expected);
        // The second band transposes the notes from its time on; a note
        // pushed off the keyboard is dropped.
        const auto notes2 = notesOf(*segment);
        ASSERT_EQ(notes2.size(), 2u);
        EXPECT_EQ(notes2[0].key, 36);
        EXPECT_EQ(notes2[1].key, 41);
    }
}

TEST(SegmentFile, CurvesRampThroughTheirShapeToTheEndValue) {
    seg::CurveItem volume{.duration = 768, .endValue = 127, .type = 4, .shape = 0, .controller = 7};
    seg::CurveItem bend{.endValue = 16383, .type = 3, .shape = 1};
    seg::CurveItem rpn{.endValue = 12 << 7, .type = 7, .shape = 1};
    const auto segment = readSegmentFile(seg::segmentForm(
        seg::segmentHeader(ticks(1536), 64),
        {seg::trackForm(
            seg::Track::Sequence,
            seg::sequenceTrackData(seg::sequenceItems({{0, 768, 0, 0, 0x90, 60, 100}}, 20),
                                   seg::curveItems({volume, bend, rpn}, 32)))}));
    ASSERT_TRUE(segment);
    std::vector<int> volumes;
    std::int64_t lastVolumeUs = 0;
    std::vector<std::pair<int, int>> others;
    for (const auto& e : segment->events) {
        if (e.status == 0xB0 && e.data1 == 7) {
            volumes.push_back(e.data2);
            lastVolumeUs = e.timeUs;
        } else if (e.status == 0xE0 || (e.status == 0xB0 && e.data1 != 7)) {
            others.emplace_back(e.data1, e.data2);
        }
    }
    ASSERT_GT(volumes.size(), 30u);
    EXPECT_EQ(volumes.front(), 0);
    EXPECT_EQ(volumes.back(), 127);
    EXPECT_TRUE(std::is_sorted(volumes.begin(), volumes.end()));
    EXPECT_EQ(lastVolumeUs, 500'000);
    const std::vector<std::pair<int, int>> expected{
        {127, 127}, {101, 0}, {100, 0}, {6, 12}, {38, 0}};
    EXPECT_EQ(others, expected);
}

TEST(SegmentFile, TimesBeforeTheStartAndPastTheEndAreBroughtInside) {
    const Bytes items = seg::sequenceItems({{-50, 768, 0, 0, 0x90, 60, 100},
                                            {768, 768 * 4, 1, 0, 0x90, 62, 100},
                                            {700, 100, 0, 100, 0x90, 64, 100},
                                            {1536, 10, 0, 0, 0x90, 65, 100},
                                            {0, 0, 0xFFFFFFFF, 0, 0xB0, 7, 99}},
                                           20);
    const auto segment = readSegmentFile(seg::segmentForm(
        seg::segmentHeader(ticks(1536), 64),
        {seg::trackForm(seg::Track::Sequence, seg::sequenceTrackData(items, {}))}));
    ASSERT_TRUE(segment);
    const auto notes = notesOf(*segment);
    ASSERT_EQ(notes.size(), 3u) << "the note at the very end is not played";
    EXPECT_EQ(notes[0].onUs, 0);
    EXPECT_EQ(notes[0].offUs, std::llround(718 * 500'000.0 / 768));
    EXPECT_EQ(notes[1].onUs, std::llround(800 * 500'000.0 / 768)) << "offset from the grid";
    EXPECT_EQ(notes[2].offUs, 1'000'000) << "released at the end of the pass";
    int volumeChannels = 0;
    for (const auto& e : segment->events)
        volumeChannels += (e.status & 0xF0) == 0xB0 && e.data1 == 7 && e.data2 == 99;
    EXPECT_EQ(volumeChannels, 2) << "a broadcast reaches both channels in use";
}

TEST(SegmentFile, SysexMessagesArriveWithoutTheirFraming) {
    const Bytes gmOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    const auto segment = readSegmentFile(
        oneNote({seg::trackForm(seg::Track::SysEx, seg::sysexTrackData({{0, 0, gmOn}}))}));
    ASSERT_TRUE(segment);
    EXPECT_EQ(segment->sysex, (Bytes{0x7E, 0x7F, 0x09, 0x01}));
}

Bytes styleTrack() {
    return seg::trackForm(seg::Track::Style, seg::form("LIST", "sttr", {}));
}

TEST(SegmentFile, SegmentsWithoutNotesOrWithDamageAreRefused) {
    const Bytes good = oneNote({styleTrack()});
    ASSERT_TRUE(readSegmentFile(good)) << "a style track beside the sequence track is passed over";
    // Every cut through the file.
    for (std::size_t size = 0; size < good.size(); ++size)
        EXPECT_FALSE(readSegmentFile(std::span(good).first(size))) << size;

    const Bytes band =
        seg::trackForm(seg::Track::Band, seg::bandTrackData({{0, {seg::Instrument{}}}}, 44, false));
    const Bytes header = seg::segmentHeader(ticks(768), 64);
    EXPECT_FALSE(readSegmentFile(seg::segmentForm(header, {styleTrack(), band}))) << "style-based";
    const Bytes notes = seg::trackForm(
        seg::Track::Sequence,
        seg::sequenceTrackData(seg::sequenceItems({{0, 768, 0, 0, 0x90, 60, 100}}, 20), {}));
    EXPECT_FALSE(readSegmentFile(seg::segmentForm({}, {notes}))) << "no header";
    EXPECT_FALSE(readSegmentFile(seg::segmentForm(
        header, {seg::trackForm(seg::Track::Sequence,
                                seg::sequenceTrackData(seg::sequenceItems({}, 20), {}))})))
        << "no notes";

    auto damaged = [&](const Bytes& items) {
        return readSegmentFile(seg::segmentForm(
            header, {seg::trackForm(seg::Track::Sequence, seg::chunk("seqt", items))}));
    };
    EXPECT_FALSE(damaged(seg::sequenceItems({{0, 768, 0, 0, 0x90, 60, 100}}, 0)))
        << "record size 0";
    EXPECT_FALSE(damaged(seg::sequenceItems({{0, 768, 0, 0, 0x90, 60, 100}}, 16)))
        << "records too short";
    Bytes overlong = seg::sequenceItems({{0, 768, 0, 0, 0x90, 60, 100}}, 20);
    overlong[4] = 0xFF; // the evtl chunk claims more than the seqt chunk holds
    EXPECT_FALSE(damaged(overlong));

    Bytes twoKinds = oneNote({});
    const auto trkh =
        std::search(twoKinds.begin(), twoKinds.end(), std::begin("trkh"), std::end("trkh") - 1);
    ASSERT_NE(trkh, twoKinds.end());
    std::fill_n(trkh + 8 + 28, 4, 'x'); // both a chunk id and a list type
    EXPECT_FALSE(readSegmentFile(twoKinds));

    Bytes sysexTooLong = seg::sysexTrackData({{0, 0, {0xF0, 0xF7}}});
    sysexTooLong[8 + 8] = 9;
    EXPECT_FALSE(readSegmentFile(oneNote({seg::trackForm(seg::Track::SysEx, sysexTooLong)})));

    Bytes notASegment = good;
    std::copy_n("DMST", 4, notASegment.begin() + 8);
    EXPECT_FALSE(readSegmentFile(notASegment));
}

} // namespace
} // namespace tremlo::sound
