// Start-up and shut-down on the offline library, with a program folder made
// for each test.

#include "engine_rig.h"
#include "settings_file.h"
#include "startup.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>
#include <utility>

namespace tremlo::test {
namespace {

namespace fs = std::filesystem;

// A device that refuses to open a number of times first.
class ReluctantDevice : public sound::OutputDevice {
public:
    explicit ReluctantDevice(int refusals) : m_refusals(refusals) {}
    int open(sound::RenderCallback, void*) override { return m_refusals-- > 0 ? 0 : 8000; }
    void start() override {}
    void close() override {}
    int periodFrames() const override { return 256; }

private:
    int m_refusals;
};

struct FakeWindows : SettingsWindows, StartupView, QuietLoaderViews {
    // SettingsWindows
    void setBusyCursor(bool) override {}
    void setSpeedSliderRange(int minimum, int maximum) override {
        sliderRange = {minimum, maximum};
    }
    bool otherInstanceRunning() const override { return otherInstance; }
    void moveMainWindow(double x, double y) override { movedTo = {x, y}; }
    void makeWindowsTopMost() override { topMost = true; }
    void setMainWindowWidth(int width) override { mainWidth = width; }
    void setDoorTimerInterval(int ms) override { doorInterval = ms; }
    std::optional<std::pair<double, double>> mainWindowPosition() const override {
        return std::pair(0.25, 0.5);
    }
    // StartupView
    bool askRetryAudio(const std::string& text) override {
        retryQuestions.push_back(text);
        endRequested = endRequested || endAt == "question";
        return retries-- > 0;
    }
    void showStartFailure(const std::string& text) override { failure = text; }
    void dropFile(const std::string& path) override {
        dropped.push_back(path);
        endRequested = endRequested || endAt == "drop";
    }
    void showStatusPanel() override { panelShown = true; }
    void showEnvir(bool on) override { envirShown = on; }

    std::pair<int, int> sliderRange{};
    bool otherInstance = false;
    std::pair<double, double> movedTo{-1, -1};
    bool topMost = false, panelShown = false, envirShown = false;
    int mainWidth = 0, doorInterval = 0, retries = 0;
    std::vector<std::string> retryQuestions, dropped;
    std::string failure;
    // Where a request to end comes: "question", "drop" or nowhere.
    std::string endAt;
    bool endRequested = false;
};

class StartupTest : public ::testing::Test {
protected:
    StartupTest()
        : program(fs::temp_directory_path() / ("tremolo-start-" + std::to_string(::getpid()))) {
        fs::create_directories(program);
    }
    ~StartupTest() override { fs::remove_all(program); }

    void tone(const fs::path& path, int ms) { writeTone(path, ms); }
    std::string iniText() const {
        std::ifstream in(program / "tremlo.ini");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Everything start-up needs, on a library whose device refuses `refusals` times.
    struct Program {
        Program(const fs::path& folder, int refusals, sound::SoundLibraryOptions options,
                FakeWindows& windows, RecordingView& switchView)
            : library(std::make_unique<ReluctantDevice>(refusals), std::move(options)),
              ini((folder / "tremlo.ini").string()), store(ini, folder.string()),
              loader(state, library, {switchView, windows, windows, windows, switchView},
                     folder.string(), 99),
              catalogues(folder.string(), settings, state, library, loader),
              startup({settings, state, library, loader, store, windows, catalogues, door, envir,
                       switchView, windows, windows},
                      folder.string()) {}
        Settings settings;
        PlaybackState state;
        sound::SoundLibrary library;
        IniProfile ini;
        SettingsStore store;
        SoundLoader loader;
        CatalogueBuilder catalogues;
        Catalogue door, envir;
        Startup startup;
    };

    fs::path program;
    FakeWindows windows;
    RecordingView switchView;
};

TEST_F(StartupTest, StartsInOrderAndEndsByFreeingAndSaving) {
    tone(program / "switch.wav", 50);
    tone(program / "Door.wav", 1000); // the name matches without regard to case
    tone(program / "envir.wav", 2000);
    tone(program / "Envir" / "rain.wav", 3000);
    std::ofstream(program / "tremlo.ini") << "[TREMLO 1.10]\nEnvirWAV=rain.wav\nDoorDelay=700\n";
    std::ofstream(program / "~tremlo.mid") << "left over by an old version";
    // Copies of runs that ended (this run's number 99 included: an earlier
    // run had it) go; those of a run still going, and other names, stay.
    const std::string running = "~tremlo" + std::to_string(::getppid()) + ".mp3";
    for (const std::string name : {"~tremlo999999999.wav", "~tremlo99.flac", running.c_str(),
                                   "~tremlo12x.wav", "~tremlo123.txt"})
        std::ofstream(program / name) << "a copy";
    Program p(program, 0, {}, windows, switchView);

    ASSERT_EQ(p.startup.start("/music/tune.wav"), StartupResult::Running);
    EXPECT_FALSE(windows.panelShown) << "the panel comes once the main window shows";
    p.startup.finish();
    EXPECT_NE(p.state.ClickBuffer, 0);
    EXPECT_EQ(p.library.dsGetBufferMSec(p.state.DoorBuffer), 1000);
    EXPECT_EQ(p.state.NoiseBuffer, 0) << "a missing fixed sound stays silent";
    EXPECT_TRUE(windows.messages.empty());
    EXPECT_FALSE(fs::exists(program / "~tremlo.mid"));
    EXPECT_FALSE(fs::exists(program / "~tremlo999999999.wav"));
    EXPECT_FALSE(fs::exists(program / "~tremlo99.flac"));
    EXPECT_TRUE(fs::exists(program / running));
    EXPECT_TRUE(fs::exists(program / "~tremlo12x.wav"));
    EXPECT_TRUE(fs::exists(program / "~tremlo123.txt"));
    EXPECT_EQ(windows.doorInterval, 701);
    EXPECT_EQ(windows.mainWidth, 48);
    EXPECT_EQ(windows.sliderRange, std::make_pair(-6, 6));
    EXPECT_TRUE(windows.topMost);
    EXPECT_EQ(p.envir.checked, 1u);
    EXPECT_EQ(p.library.dsGetBufferMSec(p.state.EnvirBuffer), 3000);
    EXPECT_TRUE(p.library.dsIsPlaying(p.state.EnvirBuffer)) << "the chosen ambience loops";
    EXPECT_EQ(windows.dropped, std::vector<std::string>{"/music/tune.wav"});
    EXPECT_TRUE(windows.panelShown);
    EXPECT_TRUE(windows.envirShown);
    EXPECT_TRUE(p.settings.TopMost && p.settings.Door && p.settings.UseEnvir &&
                p.settings.UsePanel);
    EXPECT_FALSE(p.settings.EffectTachikawa);
    EXPECT_EQ(switchView.onPicture, OnPicture::imgOnA);

    const SoundHandle envir = p.state.EnvirBuffer;
    p.startup.shutDown();
    EXPECT_EQ(p.library.dsIsPlaying(envir), 0);
    EXPECT_EQ(p.state.EnvirBuffer, 0);
    const std::string saved = iniText();
    EXPECT_NE(saved.find("XPosR=0.2500000"), std::string::npos);
    EXPECT_NE(saved.find("EnvirWAV=rain.wav"), std::string::npos);
    EXPECT_NE(saved.find("DoorDelay=700"), std::string::npos);
}

TEST_F(StartupTest, AudioIsAskedForAgainUntilItOpens) {
    windows.retries = 2;
    Program p(program, 2, {}, windows, switchView);
    EXPECT_EQ(p.startup.start(""), StartupResult::Running);
    p.startup.finish();
    EXPECT_EQ(windows.retryQuestions.size(), 2u);
    EXPECT_EQ(
        windows.retryQuestions[0],
        "DirectSoundが使えません。\r\n\r\nサウンド機能とDirectXが正しくインストールされていないか、"
        "他のアプリケーションがサウンドを再生中です。");
    EXPECT_TRUE(windows.failure.empty());
    EXPECT_TRUE(windows.dropped.empty()) << "no command line, nothing dropped";
}

TEST_F(StartupTest, GivingUpOnAudioEndsWithoutTouchingTheSettings) {
    std::ofstream(program / "tremlo.ini") << "[TREMLO 1.10]\nDoor=No\n";
    Program p(program, 1000, {}, windows, switchView);
    EXPECT_EQ(p.startup.start("/music/tune.wav"), StartupResult::AudioRefused);
    EXPECT_EQ(windows.failure, "トレモロを起動できませんでした。");
    p.startup.finish();
    EXPECT_FALSE(windows.panelShown) << "nothing more after giving up";
    EXPECT_TRUE(windows.dropped.empty());
    p.startup.shutDown();
    EXPECT_EQ(iniText(), "[TREMLO 1.10]\nDoor=No\n");
}

TEST_F(StartupTest, WithoutMusicStartUpStopsAndTheStoredSettingsSurviveShutDown) {
    std::ofstream(program / "tremlo.ini") << "[TREMLO 1.10]\nDoorWAV=chime.wav\n";
    sound::SoundLibraryOptions noSoundFont;
    noSoundFont.soundFontPath = (program / "missing.sf2").string();
    Program p(program, 0, noSoundFont, windows, switchView);
    EXPECT_EQ(p.startup.start("/music/tune.wav"), StartupResult::MusicFailed);
    EXPECT_EQ(windows.messages, std::vector<std::string>{"DirectMusicが使えません。"});
    EXPECT_EQ(windows.doorInterval, 0) << "the settings were never read";
    p.startup.shutDown();
    EXPECT_EQ(iniText(), "[TREMLO 1.10]\nDoorWAV=chime.wav\n");
}

// A request to end (a signal) during start-up: start-up stops at its next
// step, asks nothing more, and shut-down writes the settings only when they
// had been read, whole.
struct EndCase {
    const char* name;
    const char* endAt;
    int refusals;
    std::size_t questions;
    bool settingsRead;
};

void PrintTo(const EndCase& c, std::ostream* out) {
    *out << c.name;
}

class StartupEndTest : public StartupTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(StartupEndTest, ARequestToEndStopsStartUpAtItsNextStep) {
    const EndCase& c = GetParam();
    std::ofstream(program / "tremlo.ini") << "[TREMLO 1.10]\nDoor=No\n";
    windows.endAt = c.endAt;
    windows.retries = 5; // the box gives way to the request as Retry would not
    Program p(program, c.refusals, {}, windows, switchView);
    p.startup.stopWhen([this] { return windows.endRequested; });
    EXPECT_EQ(p.startup.start("/music/tune.wav"), StartupResult::Ended);
    EXPECT_EQ(windows.retryQuestions.size(), c.questions);
    EXPECT_TRUE(windows.failure.empty()) << "no box after the request";
    EXPECT_EQ(p.store.loaded(), c.settingsRead);
    p.startup.finish();
    EXPECT_FALSE(windows.panelShown);
    p.startup.shutDown();
    const std::string saved = iniText();
    EXPECT_NE(saved.find("Door=No"), std::string::npos);
    EXPECT_EQ(saved.find("XPosR=") != std::string::npos, c.settingsRead);
}

INSTANTIATE_TEST_SUITE_P(Ends, StartupEndTest,
                         ::testing::Values(EndCase{"WhileAskingForAudio", "question", 3, 1, false},
                                           EndCase{"WhileLoadingTheFile", "drop", 0, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tremlo::test
