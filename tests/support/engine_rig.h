#pragma once

// The melody engine on the real sound library, rendered offline in virtual
// time, with a view that records what the windows would show.

#include "melody_engine.h"
#include "offline_device.h"
#include "test_support.h"
#include "virtual_time.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tremlo::test {

class RecordingView : public SwitchView, public StatusLamps {
public:
    void setOnPicture(OnPicture picture) override { onPicture = picture; }
    void setOffPicture(OffPicture picture) override { offPicture = picture; }
    void repaint() override {
        ++repaints;
        if (onRepaint)
            onRepaint();
    }
    void setStatusLED(Lamp lamp, bool lit) override { lamps[static_cast<int>(lamp)] = lit; }

    OnPicture onPicture = OnPicture::imgOnA;
    OffPicture offPicture = OffPicture::imgOffA;
    int repaints = 0;
    bool lamps[2] = {false, false};
    std::function<void()> onRepaint;
};

// A 440 Hz tone of `ms` milliseconds at 8 kHz written as a WAVE file, its
// folders made as needed.
inline void writeTone(const std::filesystem::path& path, int ms) {
    std::filesystem::create_directories(path.parent_path());
    const auto wave = sound::test::makeSine(440, 8000 * ms / 1000, 8000);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(wave.data()),
               static_cast<std::streamsize>(wave.size()));
}

// The loader's views, showing nothing and keeping the texts of the message
// boxes it was asked for.
struct QuietLoaderViews : MainWindowView, StatusDisplay, UserFeedback {
    void setCaption(const std::string&) override {}
    void setTitleBarToolTip(const std::string&) override {}
    void BringToFront() override {}
    void setFileInfo(const std::string&) override {}
    void ShowStatusMessage(const std::string&, bool) override {}
    void showMessage(const std::string& text, const std::string&, MessageIcon) override {
        messages.push_back(text);
    }
    void setWaitCursor(bool) override {}
    void addRecentDocument(const std::string&) override {}
    std::vector<std::string> messages;
};

// Every view the loader takes, showing nothing.
struct QuietViews : QuietLoaderViews, SwitchView, StatusLamps {
    void setOnPicture(OnPicture) override {}
    void setOffPicture(OffPicture) override {}
    void repaint() override {}
    void setStatusLED(Lamp, bool) override {}
};

// Test sounds: pure tones of their own frequency each, so every sound can be
// measured on its own in the mix.
inline constexpr double kMelodyHz = 250.0;
inline constexpr double kDoorHz = 500.0;
inline constexpr double kNoiseHz = 1000.0;
inline constexpr double kClickHz = 1500.0;
inline constexpr double kToneAmplitude = 0.2;

struct EngineRigOptions {
    int rate = 8000;
    bool capture = true;
    int melodyMs = 2000;
    int doorMs = 1000;
    int noiseMs = 300;
    int clickMs = 50;
    // The installed SoundFont when empty. A held one loads only when a
    // melody needs it; otherwise it loads at once.
    std::string soundFontPath = {};
    bool holdSoundFont = false;
};

class EngineRig {
public:
    explicit EngineRig(EngineRigOptions options = {});

    // Puts a melody into the playback state the way a load does.
    void loadWaveMelody(int lengthMs);
    void loadMidiMelody(int lengthMs);
    void unloadMelody();

    // Level of one test tone in decibels relative to its full level, over
    // [fromMs, toMs) of what was rendered; -inf when absent.
    double toneDb(double hz, std::int64_t fromMs, std::int64_t toMs, int channel = 0) const;
    bool sounds(double hz, std::int64_t fromMs, std::int64_t toMs, int channel = 0) const {
        return toneDb(hz, fromMs, toMs, channel) > -40.0;
    }
    // Overall level, for the synthesizer's melodies.
    double rmsAt(std::int64_t fromMs, std::int64_t toMs, int channel = 0) const;

    sound::SoundLibrary& library() { return *m_library; }
    MelodyEngine& engine() { return *m_engine; }

    EngineRigOptions options;
    sound::OfflineDevice* device = nullptr;
    VirtualTime time;
    RecordingView view;
    Settings settings;
    PlaybackState state;

private:
    std::unique_ptr<sound::SoundLibrary> m_library;
    std::vector<std::unique_ptr<sound::test::TempFile>> m_files;
    std::unique_ptr<MelodyEngine> m_engine;
};

} // namespace tremlo::test
