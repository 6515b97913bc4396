// Loading melodies: what the windows show, what the user is told, and that
// no temporary copy is left behind.

#include "engine_rig.h"
#include "sound_loading.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tremlo::test {
namespace {

namespace fs = std::filesystem;

struct Message {
    std::string text, title;
    MessageIcon icon;
};

class RecordingLoaderView : public MainWindowView, public StatusDisplay, public UserFeedback {
public:
    void setCaption(const std::string& text) override { caption = text; }
    void setTitleBarToolTip(const std::string& text) override { toolTip = text; }
    void BringToFront() override { ++broughtToFront; }
    void setFileInfo(const std::string& text) override { fileInfo = text; }
    void ShowStatusMessage(const std::string& text, bool flash) override {
        status = text;
        flashed = flash;
    }
    void showMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
        messages.push_back({text, title, icon});
    }
    void setWaitCursor(bool on) override { waiting = on; }
    void addRecentDocument(const std::string& path) override { recent.push_back(path); }

    std::string caption, toolTip, fileInfo, status;
    bool flashed = false, waiting = false;
    int broughtToFront = 0;
    std::vector<Message> messages;
    std::vector<std::string> recent;
};

class SoundLoadingTest : public ::testing::Test {
protected:
    SoundLoadingTest()
        : folder(fs::temp_directory_path() / ("tremlo-load-" + std::to_string(::getpid()))),
          work(folder / "program") {
        fs::create_directories(work);
        loader = std::make_unique<SoundLoader>(rig.state, rig.library(),
                                               LoaderViews{rig.view, view, view, view, rig.view},
                                               work.string(), 4321);
    }
    ~SoundLoadingTest() override { fs::remove_all(folder); }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        auto path = (folder / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string tone(const std::string& name, int ms = 1000, int channels = 1) {
        return write(name, sound::test::makeSine(440, 8000 * ms / 1000, 8000, channels));
    }
    bool workFolderIsEmpty() const { return fs::is_empty(work); }

    EngineRig rig{{.capture = false}};
    RecordingLoaderView view;
    fs::path folder, work;
    std::unique_ptr<SoundLoader> loader;
};

TEST_F(SoundLoadingTest, AWaveMelodyLoadsAndIsShownWithItsFormat) {
    rig.view.onPicture = OnPicture::imgOnC;
    rig.state.OnSwitchState = SwitchPosition::Locked;
    const auto path = tone("chime.wav", 4500, 2);
    loader->LoadSoundFile(path);
    EXPECT_NE(rig.state.MelodyBuffer, 0);
    EXPECT_EQ(rig.state.MelodySegment, 0);
    EXPECT_EQ(view.caption, "chime.wav - トレモロ");
    EXPECT_EQ(view.toolTip, "chime.wav - トレモロ");
    EXPECT_EQ(view.fileInfo, "chime.wav");
    EXPECT_EQ(view.status, "4.500 秒, 8,000 Hz, 16 ビット, ステレオ");
    EXPECT_TRUE(view.flashed);
    EXPECT_EQ(view.broughtToFront, 1);
    EXPECT_EQ(view.recent, std::vector<std::string>{path});
    EXPECT_FALSE(view.waiting);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(rig.state.OnSwitchState, SwitchPosition::Off);
    EXPECT_EQ(rig.view.onPicture, OnPicture::imgOnA);
    EXPECT_FALSE(rig.library().dsIsPlaying(rig.state.MelodyBuffer)) << "nothing is started";
    EXPECT_TRUE(workFolderIsEmpty()) << "no temporary copy outlives the load";
}

TEST_F(SoundLoadingTest, AMidiMelodyReplacesAPlayingWaveOne) {
    loader->LoadSoundFile(tone("first.wav"));
    rig.library().dsPlayLooping(rig.state.MelodyBuffer);
    const SoundHandle old = rig.state.MelodyBuffer;
    const auto midi =
        sound::test::MidiWriter().event(0, {0x90, 60, 100}).event(720, {0x80, 60, 0}).end(0).save();
    const auto path = (folder / "Tune.MID").string();
    fs::copy_file(midi.path(), path);
    loader->LoadSoundFile(path);
    EXPECT_EQ(rig.state.MelodyBuffer, 0);
    EXPECT_NE(rig.state.MelodySegment, 0);
    EXPECT_EQ(rig.library().dsIsPlaying(old), 0) << "the old melody was released";
    EXPECT_EQ(view.caption, "Tune.MID - トレモロ");
    EXPECT_EQ(view.status, "0.750 秒");
    EXPECT_TRUE(workFolderIsEmpty());
}

TEST(SoundLoadingMusic, WhenTheSynthesizerCannotBeMadeAMidiMelodyIsRefusedNotLitAndSilent) {
    const auto damaged =
        sound::test::TempFile::holding(std::vector<std::uint8_t>(4096, 0x5A), ".sf2");
    const auto midi =
        sound::test::MidiWriter().event(0, {0x90, 60, 100}).event(480, {0x80, 60, 0}).end(0).save();
    for (const bool held : {false, true}) {
        SCOPED_TRACE(held ? "SoundFont still to load" : "SoundFont loaded at once");
        EngineRig rig({.capture = false, .soundFontPath = damaged.path(), .holdSoundFont = held});
        RecordingLoaderView view;
        SoundLoader loader(rig.state, rig.library(),
                           LoaderViews{rig.view, view, view, view, rig.view},
                           fs::temp_directory_path().string(), 4321);
        loader.LoadSoundFile(midi.path());
        EXPECT_EQ(rig.state.MelodySegment, 0);
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].text, "DirectMusicが使えません。");
        EXPECT_FALSE(view.waiting);
        rig.engine().PressOnButton();
        EXPECT_FALSE(rig.view.lamps[0]) << "no lamp for a melody that cannot sound";
    }
}

TEST_F(SoundLoadingTest, ALoadPutsOutTheLampOfTheMelodyItStops) {
    const auto next = tone("next.wav");
    rig.loadWaveMelody(2000);
    rig.engine().PressOnButton();
    ASSERT_TRUE(rig.view.lamps[0]);
    loader->LoadSoundFile(next);
    EXPECT_FALSE(rig.view.lamps[0]) << "after a sounding melody";

    // Released and OFF pressed: the melody runs out, and the load comes
    // during that wait.
    rig.settings.EffectTachikawa = true;
    rig.time.at(0, [&] { rig.engine().PressOnButton(); });
    rig.time.at(50, [&] { rig.engine().ReleaseOnButton(); });
    rig.time.at(200, [&] { rig.engine().PressOffButton(); });
    bool litDuringRunOut = false;
    rig.time.at(300, [&] {
        litDuringRunOut = rig.view.lamps[0];
        loader->LoadSoundFile(next);
    });
    rig.time.runUntil(1000);
    EXPECT_TRUE(litDuringRunOut);
    EXPECT_FALSE(rig.view.lamps[0]) << "after a melody running out";
}

TEST_F(SoundLoadingTest, AFileThatIsNotASoundIsReportedAndLeavesNoMelody) {
    loader->LoadSoundFile(tone("first.wav"));
    const auto path = write("notes.wav", {'h', 'e', 'l', 'l', 'o'});
    loader->LoadSoundFile(path);
    EXPECT_EQ(rig.state.MelodyBuffer, 0);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].title, "トレモロ エラー");
    EXPECT_EQ(view.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(view.messages[0].text, "指定されたファイル '" + path +
                                         "' が読み込めませんでした。\r\n\r\n"
                                         "サポートされている形式か確認してください。");
    EXPECT_FALSE(view.waiting);
    EXPECT_TRUE(workFolderIsEmpty());
}

// A melody whose samples would pass the memory limit is refused with the
// load-failure box, and the melody loaded before stays, playable; one of
// just the limit loads. 8 kHz 16-bit mono: a second takes 16,000 bytes.
TEST_F(SoundLoadingTest, AMelodyTooLongForMemoryIsRefusedAndTheOldOneStays) {
    loader->limitSampleMemory(16000);
    const auto first = tone("first.wav", 1000);
    loader->LoadSoundFile(first);
    const SoundHandle kept = rig.state.MelodyBuffer;
    ASSERT_NE(kept, 0) << "a melody of just the limit loads";
    // Just past it, found while decoding; and a file whose size alone is
    // more than twice the limit, of any kind, refused before it is copied.
    const std::string midi = (folder / "larger.mid").string();
    std::ofstream(midi, std::ios::binary) << std::string(40000, 'M');
    for (const auto& path : {tone("long.wav", 1001), tone("longer.wav", 2003), midi}) {
        SCOPED_TRACE(path);
        view.messages.clear();
        loader->LoadSoundFile(path);
        EXPECT_EQ(rig.state.MelodyBuffer, kept);
        EXPECT_EQ(rig.state.MelodyPath, first);
        EXPECT_EQ(view.caption, "first.wav - トレモロ");
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].title, "トレモロ エラー");
        EXPECT_EQ(view.messages[0].text, "指定されたファイル '" + path +
                                             "' が読み込めませんでした。\r\n\r\n"
                                             "サポートされている形式か確認してください。");
        EXPECT_FALSE(view.waiting);
        EXPECT_TRUE(workFolderIsEmpty());
    }
    rig.engine().PressOnButton();
    EXPECT_TRUE(rig.library().dsIsPlaying(kept)) << "the old melody still sounds";
}

// The compressed files and WAVE variants of tests/data, under names in
// capitals: a good one is shown with its codec where a WAVE file shows its
// bits, a damaged one gives the same box as a damaged WAVE file.
TEST_F(SoundLoadingTest, CompressedMelodiesLoadWithTheirCodecAndDamagedOnesAreReported) {
    const struct {
        const char* file;
        const char* name;
        const char* status;
    } cases[] = {
        {"mp3/chime.mp3", "Chime.MP3", "0.400 秒, 44,100 Hz, MP3, モノラル"},
        {"ogg/chime.ogg", "Chime.OGG", "0.400 秒, 44,100 Hz, Vorbis, モノラル"},
        {"ogg/chime.ogg", "Chime.oga", "0.400 秒, 44,100 Hz, Vorbis, モノラル"},
        {"opus/chime.opus", "Chime.Opus", "0.400 秒, 48,000 Hz, Opus, モノラル"},
        {"flac/chime.flac", "Chime.FLAC", "0.400 秒, 44,100 Hz, FLAC, モノラル"},
        {"rf64/chime.wav", "rf64.wav", "0.400 秒, 44,100 Hz, 16 ビット, モノラル"},
        {"rifx/chime.wav", "rifx.wav", "0.400 秒, 44,100 Hz, 16 ビット, モノラル"},
        {"mp3/damaged-chime.mp3", "damaged.mp3", nullptr},
        {"ogg/damaged-chime.ogg", "damaged.ogg", nullptr},
        {"opus/damaged-chime.opus", "damaged.opus", nullptr},
        {"flac/damaged-chime.flac", "damaged.flac", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = (folder / c.name).string();
        fs::copy_file(std::string(TREMLO_TESTDATA_DIR "/") + c.file, path);
        view.messages.clear();
        loader->LoadSoundFile(path);
        if (c.status) {
            EXPECT_NE(rig.state.MelodyBuffer, 0);
            EXPECT_EQ(view.caption, std::string(c.name) + " - トレモロ");
            EXPECT_EQ(view.status, c.status);
            EXPECT_TRUE(view.messages.empty());
        } else {
            EXPECT_EQ(rig.state.MelodyBuffer, 0);
            ASSERT_EQ(view.messages.size(), 1u);
            EXPECT_EQ(view.messages[0].title, "トレモロ エラー");
            EXPECT_EQ(view.messages[0].text, "指定されたファイル '" + path +
                                                 "' が読み込めませんでした。\r\n\r\n"
                                                 "サポートされている形式か確認してください。");
        }
        EXPECT_TRUE(workFolderIsEmpty());
    }
}

TEST_F(SoundLoadingTest, UnknownEndingsAndMissingFilesFailCleanly) {
    for (const std::string& path :
         {tone("sound.wave"), tone("sound.txt"), (folder / "missing.wav").string()}) {
        view.messages.clear();
        loader->LoadSoundFile(path);
        EXPECT_EQ(rig.state.MelodyBuffer, 0) << path;
        ASSERT_EQ(view.messages.size(), 1u) << path;
        EXPECT_EQ(view.messages[0].icon, MessageIcon::Error);
        EXPECT_FALSE(view.waiting) << "the pointer is normal again";
        EXPECT_TRUE(workFolderIsEmpty());
    }
}

TEST_F(SoundLoadingTest, AnEmptyWaveFileIsReportedByTheBufferLoaderToo) {
    loader->LoadSoundFile(write("empty.wav", {}));
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(view.messages[0].title, "トレモロ");
    EXPECT_EQ(view.messages[1].icon, MessageIcon::Error);
}

// In the system's Japanese words, whatever the locale the tests run under.
TEST_F(SoundLoadingTest, TheBufferLoaderTellsWhyItCouldNotReadInJapanese) {
    fs::create_directories(folder / "folder.wav");
    const std::pair<std::string, std::string> cases[] = {
        {write("empty.wav", {}), "ファイルの終わりに到達しました。"},
        {(folder / "folder.wav").string(), "アクセスが拒否されました。"}};
    for (const auto& [path, warning] : cases) {
        view.messages.clear();
        EXPECT_EQ(loader->LoadSoundBuffer(path, 1), 0);
        ASSERT_EQ(view.messages.size(), 1u) << path;
        EXPECT_EQ(view.messages[0].text, warning);
        EXPECT_EQ(view.messages[0].icon, MessageIcon::Warning);
    }
}

TEST_F(SoundLoadingTest, TheBufferLoaderIsSilentAboutAMissingFile) {
    EXPECT_EQ(loader->LoadSoundBuffer((folder / "nothing.wav").string(), 1), 0);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_NE(loader->LoadSoundBuffer(tone("b.wav"), 1), 0);
}

TEST_F(SoundLoadingTest, TheTemporaryCopyIsNamedByTheProcess) {
    EXPECT_EQ(loader->temporaryCopyPath(".mid"), work.string() + "/~tremlo4321.mid");
}

TEST(SoundLoadingText, NamesAndNumbersAreWrittenAsTheWindowsShowThem) {
    EXPECT_EQ(endingOf("/a/B.WAV"), ".wav");
    EXPECT_EQ(endingOf("/a/b.midi"), "midi");
    EXPECT_EQ(endingOf("ab"), "ab");
    EXPECT_EQ(endingOf("/曲/発車メロディ.Wav"), ".wav");
    EXPECT_EQ(fileNameOf("/home/u/a.wav"), "a.wav");
    EXPECT_EQ(fileNameOf("a.wav"), "a.wav");
    EXPECT_EQ(shortNameOf("abcdefghijklmnopqrstu.wav"), "abcdefghijklmnopqrst ... .wav");
    EXPECT_EQ(shortNameOf("abcdefghijklmnopqrst.wav"), "abcdefghijklmnopqrst.wav");
    EXPECT_EQ(shortNameOf("発車メロディ第一番線東京駅上り方面行き電車用.WAV"),
              "発車メロディ第一番線東京駅上り方面行き電 ... .wav");
    EXPECT_EQ(formatSeconds(250), "0.250 秒");
    EXPECT_EQ(formatSeconds(1234500), "1,234.500 秒");
    EXPECT_EQ(formatSeconds(0), "0.000 秒");
    EXPECT_EQ(formatWaveInfo(4500, 44100, 16, 2), "4.500 秒, 44,100 Hz, 16 ビット, ステレオ");
    EXPECT_EQ(formatWaveInfo(1000, 8000, 8, 1), "1.000 秒, 8,000 Hz, 8 ビット, モノラル");
    EXPECT_EQ(formatWaveInfo(1000, 192000, 24, 1), "1.000 秒, 192,000 Hz, 24 ビット, モノラル");
    EXPECT_EQ(formatWaveInfo(4500, 44100, 16, 2, "MP3"), "4.500 秒, 44,100 Hz, MP3, ステレオ");
}

} // namespace
} // namespace tremlo::test

namespace tremlo::test {
namespace {

// The fixed sounds read ahead: the buffer loader takes what the worker read
// only while the file is still that file, and otherwise reads it as always.
TEST_F(SoundLoadingTest, PrefetchedSoundsAreUsedOnlyWhileTheirFilesAreUnchanged) {
    const auto kept = tone("kept.wav", 500);
    const auto changed = tone("changed.wav", 500);
    const auto removed = tone("removed.wav", 500);
    const auto broken = write("broken.wav", {'R', 'I', 'F', 'F'});
    SoundPrefetch prefetch({kept, changed, removed, broken});
    loader->usePrefetched(&prefetch);

    EXPECT_EQ(rig.library().dsGetBufferMSec(loader->LoadSoundBuffer(kept, 1)), 500);
    tone("changed.wav", 1500); // rewritten after the worker read it
    EXPECT_EQ(rig.library().dsGetBufferMSec(loader->LoadSoundBuffer(changed, 1)), 1500);
    fs::remove(removed);
    EXPECT_EQ(loader->LoadSoundBuffer(removed, 1), 0);
    EXPECT_TRUE(view.messages.empty()) << "a missing sound is still no error";
    EXPECT_EQ(loader->LoadSoundBuffer(broken, 1), 0);
    EXPECT_TRUE(view.messages.empty()) << "an undecodable one is loaded, and refused, as always";
    // A second load of the same file reads it again; so does one never asked for.
    EXPECT_EQ(rig.library().dsGetBufferMSec(loader->LoadSoundBuffer(kept, 1)), 500);
    EXPECT_EQ(rig.library().dsGetBufferMSec(loader->LoadSoundBuffer(tone("other.wav", 250), 1)),
              250);
}

TEST_F(SoundLoadingTest, APrefetchNeverAskedStillEndsItsWorker) {
    SoundPrefetch prefetch({tone("a.wav"), (folder / "missing.wav").string()});
}

} // namespace
} // namespace tremlo::test
