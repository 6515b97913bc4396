// MIDI segments played through the sequencer and FluidSynth, rendered offline.

#include "midi_file.h"
#include "test_support.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace tremlo::sound::test {
namespace {

constexpr int kRate = 48000;

SoundLibraryOptions loadNow() {
    SoundLibraryOptions options;
    options.loadSoundFontNow = true;
    return options;
}

// A held organ note (it does not decay) from the start to the end of the
// piece: one beat at 120 bpm, then one at 240 bpm, so the pass lasts 750 ms.
TempFile heldNoteAcrossATempoChange() {
    return MidiWriter()
        .event(0, {0xC0, 19})
        .event(0, {0x90, 60, 100})
        .tempo(480, 250000)
        .event(480, {0x80, 60, 0})
        .end(0)
        .save();
}

class MusicPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(lib.library->dsInitMusic(), 0) << "a General MIDI SoundFont must be installed";
        ASSERT_TRUE(lib.library->musicReady());
    }
    OfflineLibrary lib{kRate, loadNow()};
};

TEST_F(MusicPlayback, LengthAndSeekAreExactAcrossTempoChanges) {
    SoundHandle h = lib.library->dsLoadMusicSegment(heldNoteAcrossATempoChange(), 32);
    ASSERT_NE(h, 0);
    EXPECT_EQ(lib.library->dsGetLengthMSec(h), 750);
    EXPECT_EQ(lib.library->dsGetSeekMSec(h), 0);
    lib.library->dsPlayMusicSegment(h, 1000);
    EXPECT_NE(lib.library->dsIsPlayingMusicSegment(h), 0);
    lib.render(kRate * 6 / 10);
    EXPECT_EQ(lib.library->dsGetSeekMSec(h), 600);
    lib.render(kRate * 3 / 10); // past the end of the first pass
    EXPECT_EQ(lib.library->dsGetSeekMSec(h), 150);
    EXPECT_NE(lib.library->dsIsPlayingMusicSegment(h), 0);
}

TEST_F(MusicPlayback, ASegmentStartedInAHoldBeginsAtTheRelease) {
    SoundHandle h = lib.library->dsLoadMusicSegment(heldNoteAcrossATempoChange(), 32);
    ASSERT_NE(h, 0);
    ASSERT_TRUE(lib.library->holdStarts());
    lib.library->dsPlayMusicSegment(h, 1000);
    EXPECT_NE(lib.library->dsIsPlayingMusicSegment(h), 0);
    const auto held = lib.render(kRate / 10);
    EXPECT_EQ(peak(held, 0, 0, kRate / 10), 0.0);
    EXPECT_EQ(lib.library->dsGetSeekMSec(h), 0);
    lib.library->releaseStarts();
    lib.render(kRate / 10);
    EXPECT_EQ(lib.library->dsGetSeekMSec(h), 100);
}

TEST_F(MusicPlayback, PassFollowsPassWithoutAGap) {
    SoundHandle h = lib.library->dsLoadMusicSegment(heldNoteAcrossATempoChange(), 32);
    lib.library->dsPlayMusicSegment(h, 1000);
    const auto out = lib.render(kRate * 2);
    const double steady = rms(out, 0, kRate / 10, kRate * 7 / 10);
    ASSERT_GT(steady, 0.01);
    // Every 5 ms window from the first attack on, the wraps at 750 and
    // 1500 ms included, carries sound.
    const std::size_t window = kRate / 200;
    for (std::size_t from = kRate / 20; from + window <= out.size() / 2; from += window)
        EXPECT_GT(rms(out, 0, from, from + window), steady * 0.2) << "gap at frame " << from;
}

TEST_F(MusicPlayback, MasterVolumeScalesSegmentsInHundredthsOfADecibel) {
    const auto path = heldNoteAcrossATempoChange();
    SoundHandle h = lib.library->dsLoadMusicSegment(path, 32);
    lib.library->dsPlayMusicSegment(h, 1000);
    const auto full = lib.render(kRate / 2);

    OfflineLibrary quieter(kRate, loadNow());
    quieter.library->dsInitMusic();
    quieter.library->dsSetMasterVolume(-1000);
    SoundHandle q = quieter.library->dsLoadMusicSegment(path, 32);
    quieter.library->dsPlayMusicSegment(q, 1000);
    const auto low = quieter.render(kRate / 2);
    EXPECT_NEAR(decibels(rms(low, 0, kRate / 10, kRate / 2) / rms(full, 0, kRate / 10, kRate / 2)),
                -10.0, 0.05);

    quieter.library->dsSetMasterVolume(-10000);
    quieter.render(256);
    const auto silent = quieter.render(4800);
    EXPECT_EQ(peak(silent, 0, 0, 4800), 0.0);
}

TEST_F(MusicPlayback, StopSilencesAtOnceAndPlayStartsAgainFromTheTop) {
    SoundHandle h = lib.library->dsLoadMusicSegment(heldNoteAcrossATempoChange(), 32);
    lib.library->dsPlayMusicSegment(h, 1000);
    lib.render(kRate / 4);
    lib.library->dsStopMusicSegment(h);
    EXPECT_EQ(lib.library->dsIsPlayingMusicSegment(h), 0);
    const auto out = lib.render(lib.library->periodFrames());
    EXPECT_EQ(peak(out, 0, 0, out.size() / 2), 0.0);

    lib.library->dsPlayMusicSegment(h, 1000);
    EXPECT_EQ(lib.library->dsGetSeekMSec(h), 0);
    const auto again = lib.render(kRate / 4);
    EXPECT_GT(rms(again, 0, kRate / 10, kRate / 4), 0.01);
}

TEST_F(MusicPlayback, HandlesZeroStaleAndFreedWhilePlaying) {
    auto& l = *lib.library;
    for (SoundHandle h : {0, 7, -1}) {
        l.dsPlayMusicSegment(h, 1000);
        l.dsStopMusicSegment(h);
        EXPECT_EQ(l.dsIsPlayingMusicSegment(h), 0);
        EXPECT_EQ(l.dsGetLengthMSec(h), 0);
        EXPECT_EQ(l.dsGetSeekMSec(h), 0);
        l.dsFreeMusicSegment(h);
        EXPECT_EQ(h, 0);
    }
    SoundHandle h = l.dsLoadMusicSegment(heldNoteAcrossATempoChange(), 32);
    const SoundHandle kept = h;
    l.dsPlayMusicSegment(h, 1000);
    lib.render(1000);
    l.dsFreeMusicSegment(h);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(l.dsIsPlayingMusicSegment(kept), 0);
    EXPECT_EQ(l.dsGetLengthMSec(kept), 0);
    const auto out = lib.render(1000);
    EXPECT_EQ(peak(out, 0, 0, 1000), 0.0);

    // A buffer handle is not a segment handle.
    SoundHandle buffer = lib.load(makeSine(440, 4800, kRate));
    EXPECT_EQ(l.dsGetLengthMSec(buffer), 0);
    l.dsFreeMusicSegment(buffer);
    EXPECT_EQ(l.dsGetBufferMSec(lib.load(makeSine(440, 4800, kRate))), 100);
}

TEST_F(MusicPlayback, FilesThatAreNotMidiAreRefused) {
    EXPECT_EQ(lib.library->dsLoadMusicSegment("/nonexistent/tune.mid", 32), 0);
    const auto path = std::filesystem::temp_directory_path() / "tremlo-test-not-midi.mid";
    std::ofstream(path) << "RIFF this is not a MIDI file";
    EXPECT_EQ(lib.library->dsLoadMusicSegment(path.string(), 32), 0);
    std::filesystem::remove(path);
}

TEST_F(MusicPlayback, ReopeningTheMusicPartKeepsTheSoundFont) {
    SoundHandle h = lib.library->dsLoadMusicSegment(heldNoteAcrossATempoChange(), 32);
    lib.library->dsPlayMusicSegment(h, 1000);
    lib.library->dsQuitMusic();
    EXPECT_EQ(lib.library->dsIsPlayingMusicSegment(h), 0) << "closing the music part stops it";
    ASSERT_NE(lib.library->dsInitMusic(), 0);
    EXPECT_TRUE(lib.library->musicReady());
    lib.library->dsPlayMusicSegment(h, 1000);
    const auto out = lib.render(kRate / 4);
    EXPECT_GT(rms(out, 0, kRate / 10, kRate / 4), 0.01);
}

TEST_F(MusicPlayback, TuningMessagesNeverReachTheSynthAndTheMelodyKeepsItsPitch) {
    using Bytes = std::vector<std::uint8_t>;
    const Bytes gmOn{0x7E, 0x7F, 0x09, 0x01};
    // Each would sound: +63 or +100 cents on channel 1, or A4 raised a semitone.
    Bytes octaveOneByte{0x7F, 0x7F, 0x08, 0x08, 0x00, 0x00, 0x01};
    octaveOneByte.insert(octaveOneByte.end(), 12, 0x7F);
    Bytes octaveTwoBytes{0x7E, 0x7F, 0x08, 0x09, 0x00, 0x00, 0x01};
    octaveTwoBytes.insert(octaveTwoBytes.end(), 24, 0x7F);
    const Bytes noteTuning{0x7F, 0x7F, 0x08, 0x02, 0x00, 0x01, 69, 70, 0x00, 0x00};
    struct Case {
        const char* name;
        Bytes tuning;
        bool selectTuningProgramByRpn;
    };
    const Case cases[] = {
        {"scale/octave tuning, one byte a note, applied at once", octaveOneByte, false},
        {"scale/octave tuning, two bytes a note", octaveTwoBytes, false},
        {"single-note tuning of the program the channel selects by RPN", noteTuning, true},
    };
    // A4 on an ocarina, nearly a pure tone, held for a second.
    const auto melody = [&](const Bytes* tuning, bool rpn) {
        MidiWriter writer;
        writer.sysex(0, gmOn);
        if (tuning)
            writer.sysex(0, *tuning);
        if (rpn)
            writer.event(0, {0xB0, 101, 0}).event(0, {0xB0, 100, 3}).event(0, {0xB0, 6, 0});
        return writer.event(0, {0xC0, 79})
            .event(0, {0x90, 69, 100})
            .event(960, {0x80, 69, 0})
            .end(0)
            .save();
    };
    const auto render = [&](const std::string& path) {
        OfflineLibrary other(kRate, loadNow());
        other.library->dsInitMusic();
        other.library->dsPlayMusicSegment(other.library->dsLoadMusicSegment(path, 32), 1000);
        return other.render(kRate / 2);
    };
    const auto untuned = render(melody(nullptr, false));
    ASSERT_NEAR(frequency(untuned, 0, kRate / 10, kRate / 2, kRate), 440.0, 1.0);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = melody(&c.tuning, c.selectTuningProgramByRpn);
        auto sequence = readMidiFile(readFile(file));
        ASSERT_TRUE(sequence);
        keepToWhatTheSynthPlaysWithoutAllocating(*sequence);
        std::vector<Bytes> sysex;
        for (const SequenceEvent& e : sequence->events) {
            if (e.status == 0xF0)
                sysex.emplace_back(sequence->sysex.begin() + e.sysexOffset,
                                   sequence->sysex.begin() + e.sysexOffset + e.sysexLength);
        }
        EXPECT_EQ(sysex, std::vector<Bytes>{gmOn}) << "the reset stays, the tuning goes";
        EXPECT_TRUE(render(file) == untuned) << "sounds, sample for sample, as if never there";
    }
}

TEST(MusicLoading, ASegmentPlayedBeforeTheSoundFontIsReadyStartsWhenItIs) {
    OfflineLibrary lib(kRate);
    ASSERT_NE(lib.library->dsInitMusic(), 0);
    SoundHandle h = lib.library->dsLoadMusicSegment(heldNoteAcrossATempoChange(), 32);
    lib.library->dsPlayMusicSegment(h, 1000);
    EXPECT_NE(lib.library->dsIsPlayingMusicSegment(h), 0);
    // Waits for the loader thread, however long this machine takes.
    while (!lib.library->musicReady())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto out = lib.render(kRate / 4);
    EXPECT_GT(rms(out, 0, kRate / 10, kRate / 4), 0.01);
    EXPECT_EQ(lib.library->dsGetSeekMSec(h), 250);
}

TEST(MusicLoading, AHeldSoundFontLoadsOnlyOnceReleased) {
    SoundLibraryOptions options;
    options.holdSoundFont = true;
    OfflineLibrary lib(kRate, options);
    ASSERT_NE(lib.library->dsInitMusic(), 0) << "the music part answers at once";
    SoundHandle h = lib.library->dsLoadMusicSegment(heldNoteAcrossATempoChange(), 32);
    lib.library->dsPlayMusicSegment(h, 1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(lib.library->musicReady()) << "held: nothing loads, however long it waits";
    lib.library->releaseSoundFont();
    while (!lib.library->musicReady())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto out = lib.render(kRate / 4);
    EXPECT_GT(rms(out, 0, kRate / 10, kRate / 4), 0.01) << "the waiting segment sounds";
}

TEST(MusicLoading, MusicWorksOnlyOnceTheSynthesizerIsMade) {
    const auto damaged = TempFile::holding(std::vector<std::uint8_t>(4096, 0x5A), ".sf2");
    struct Case {
        const char* name;
        std::string soundFont; // empty: the installed one
        bool held;
        bool works;
    };
    const Case cases[] = {
        {"InstalledAtOnce", "", false, true},
        {"InstalledHeld", "", true, true},
        {"DamagedAtOnce", damaged.path(), false, false},
        {"DamagedHeld", damaged.path(), true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SoundLibraryOptions options;
        options.soundFontPath = c.soundFont;
        options.loadSoundFontNow = !c.held;
        options.holdSoundFont = c.held;
        OfflineLibrary lib(kRate, options);
        const std::int32_t first = lib.library->dsInitMusic();
        if (c.held) {
            EXPECT_NE(first, 0) << "still to load, it may yet work";
        }
        EXPECT_EQ(lib.library->waitForMusic(), c.works) << "a wait ends the hold";
        EXPECT_EQ(lib.library->dsInitMusic() != 0, c.works) << "and its outcome stays";
        EXPECT_EQ(lib.library->dsLoadMusicSegment(heldNoteAcrossATempoChange(), 32) != 0, c.works);
    }
}

TEST(MusicLoading, ALibraryEndingWithItsSoundFontHeldEndsAtOnce) {
    SoundLibraryOptions options;
    options.holdSoundFont = true;
    OfflineLibrary lib(kRate, options);
    ASSERT_NE(lib.library->dsInitMusic(), 0);
    lib.library.reset(); // would never return if the held loader were waited for
}

TEST(MusicLoading, EveryTestMidiFileLoadsOrIsRefusedAndPlaysWithoutHarm) {
    OfflineLibrary lib(kRate, loadNow());
    ASSERT_NE(lib.library->dsInitMusic(), 0);
    int loaded = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(TREMLO_TESTDATA_DIR) + "/mid/jazz-soft")) {
        SoundHandle h = lib.library->dsLoadMusicSegment(entry.path().string(), 32);
        if (!h)
            continue;
        ++loaded;
        lib.library->dsPlayMusicSegment(h, 1000);
        lib.render(kRate / 10);
        EXPECT_GE(lib.library->dsGetSeekMSec(h), 0) << entry.path();
        lib.library->dsFreeMusicSegment(h);
    }
    EXPECT_GT(loaded, 50);
}

} // namespace
} // namespace tremlo::sound::test
