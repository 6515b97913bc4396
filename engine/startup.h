#pragma once

// Start-up and shut-down of the whole program, in their fixed order: the
// sound library (retried as long as the user asks), the music part, the fixed
// sounds, the settings, the catalogues, a file from the command line, the
// status panel and the station ambience; and at the end everything freed, the
// settings saved and the temporary copies removed.
//
// Thread: the user-interface thread.

#include "catalogues.h"
#include "playback_state.h"
#include "settings.h"
#include "settings_store.h"
#include "sound_library.h"
#include "sound_loading.h"
#include "views.h"

#include <functional>
#include <string>
#include <vector>

namespace tremlo {

// The fixed sounds start-up loads from the program folder, in its order.
std::vector<std::string> fixedSoundPaths(const std::string& programFolder);

// What start-up asks of the windows.
class StartupView {
public:
    virtual ~StartupView() = default;
    // The warning box with Retry and Cancel; true for Retry.
    virtual bool askRetryAudio(const std::string& text) = 0;
    // A box with an error icon and OK.
    virtual void showStartFailure(const std::string& text) = 0;
    virtual void dropFile(const std::string& path) = 0;
    virtual void showStatusPanel() = 0;
    // The panel's environment indicator.
    virtual void showEnvir(bool on) = 0;
};

struct StartupParts {
    Settings& settings;
    PlaybackState& state;
    sound::SoundLibrary& library;
    SoundLoader& loader;
    SettingsStore& store;
    SettingsWindows& settingsWindows;
    CatalogueBuilder& catalogueBuilder;
    Catalogue& doorCatalogue;
    Catalogue& envirCatalogue;
    SwitchView& switchView;
    UserFeedback& feedback;
    StartupView& view;
};

enum class StartupResult {
    Running,
    // The user gave up on the sound output: end at once, saving nothing.
    AudioRefused,
    // The music part failed: the window stays, without sounds or settings.
    MusicFailed,
    // The system asked the program to end: shut down as 終了 does, at once.
    Ended,
};

class Startup {
public:
    Startup(StartupParts parts, std::string programFolder);

    // `commandLinePath` is the whole command line as one path, quotes removed.
    // Runs start-up up to the point where the main window is ready to be
    // shown: sound, settings, catalogues and the command line's file.
    StartupResult start(const std::string& commandLinePath);
    // Asked between start-up's steps and before each retry question: true
    // stops start-up there (StartupResult::Ended), settings read or not, so
    // shutDown writes only whole settings that were read.
    void stopWhen(std::function<bool()> endRequested) { m_endRequested = std::move(endRequested); }
    // The rest, once the main window shows: the status panel, the station
    // ambience. Nothing when start-up stopped early.
    void finish();
    // Ends everything; the caller then ends the process at once.
    void shutDown();

private:
    void deleteStaleCopies(std::initializer_list<const char*> endings);
    bool ending() const { return m_endRequested && m_endRequested(); }

    StartupParts m_parts;
    std::string m_programFolder;
    bool m_running = false;
    std::function<bool()> m_endRequested;
};

} // namespace tremlo
