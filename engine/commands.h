#pragma once

// The commands the user gives through the menus, the status panel's buttons,
// the options dialog's OK and the speed window: one function per command,
// whichever control gives it, so the menu item and the panel button that do
// the same thing cannot drift apart.
//
// How the parts talk: a command changes Settings or the PlaybackState, plays,
// stops or re-pans sounds through the sound library, saves the settings where
// the program saves them, and shows the result on the status panel through
// PanelView and on the windows' stacking through WindowStacking. Check marks
// are not kept here or anywhere: a menu reads them from Settings and the
// PlaybackState when it opens. Opening dialogs is the windows' business; the
// commands only lift stay-on-top around a modal one (runModal).
//
// Thread: the user-interface thread.

#include "catalogues.h"
#include "melody_shelf.h"
#include "playback_state.h"
#include "settings.h"
#include "settings_store.h"
#include "sound_library.h"
#include "sound_loading.h"
#include "timer.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tremlo {

// The status panel as the commands see it; the panel window is made (hidden)
// when a command needs it and it does not exist.
class PanelView {
public:
    virtual ~PanelView() = default;
    virtual void showDoor(bool on) = 0;
    virtual void showEnvir(bool on) = 0;
    virtual void showEffects(bool tokyo, bool tachikawa, bool urawa) = 0;
    virtual void showPan(Pan mode) = 0;
    // Places the panel beside the main window and shows it.
    virtual void showPanel() = 0;
    // Closes the panel; the next use makes a new one.
    virtual void unloadPanel() = 0;
};

enum class ProgramWindow { Main, Panel };

// Stay-on-top of the program's two windows (SetTopMost).
class WindowStacking {
public:
    virtual ~WindowStacking() = default;
    virtual void setTopMost(ProgramWindow window, bool topMost) = 0;
};

// coefficient^step × fileRate, to the nearest integer with ties to even. Not
// limited to what the sound library plays; only kept within 32 bits (0 when
// the power is not a number).
std::int32_t speedRate(double coefficient, int step, std::int32_t fileRate);

// The speed window's slider at `step`: the WAVE melody loaded now plays at
// SetFreqCoefficient^step times its file's own rate. Steps never accumulate,
// so 0 restores the file's own speed exactly. A MIDI or segment melody has no
// buffer and keeps its speed.
void changeMelodySpeed(const Settings& settings, const PlaybackState& state,
                       sound::SoundLibrary& library, int step);

// A volume in percent of full level as the library's hundredths of a
// decibel: 100 is 0, 50 is -602 (half the amplitude), 0 and below silence.
std::int32_t volumeLevel(int percent);

struct CommandParts {
    Settings& settings;
    PlaybackState& state;
    sound::SoundLibrary& library;
    SoundLoader& loader;
    Catalogue& doorCatalogue;
    Catalogue& envirCatalogue;
    CatalogueBuilder& catalogueBuilder;
    SettingsStore& store;
    SettingsWindows& settingsWindows;
    PanelView& panel;
    WindowStacking& stacking;
    Timer& doorTimer; // Timer1, DoorDelay + 1 ms after OFF
    std::string programFolder;
    MelodyShelf& shelf;
    // Loads a file as a drop on the switch does, AutoPlayAtDrop included.
    std::function<void(const std::string& path)> dropFile;
    // Where the shelf's refusals are told; none tells nothing.
    UserFeedback* feedback = nullptr;
};

class Commands {
public:
    explicit Commands(CommandParts parts);

    // The door announcement after OFF (mnuUseDoor) and which one (mnuDoor:
    // entry `index` of the door catalogue, 0 the fixed door.wav).
    void setUseDoor(bool on);
    void chooseDoor(int index);
    // The station ambience (mnuUseEnvir) and which one (mnuEnvir).
    void setUseEnvir(bool on);
    void chooseEnvir(int index);

    // The three effects: 東京 (mnuUseFadeIn), 立川 (mnuUseFadeOut) and 浦和
    // (mnuEffectUrawa). Tachikawa and Urawa exclude each other: turning one
    // on turns the other off.
    void setEffectTokyo(bool on);
    void setEffectTachikawa(bool on);
    void setEffectUrawa(bool on);
    // The status panel's effect button: the next of the six effect states.
    void stepEffect();

    void setPan(Pan mode);
    // The status panel's pan indicator: centre, left, right, centre.
    void CyclePan();

    void setTopMost(bool on);
    // Shows or closes the status panel. Not saved at once: the new value goes
    // with the next save, at the latest when the program ends.
    void setUsePanel(bool on);

    // The options dialog's OK: takes the dialog's fields of `chosen`, applies
    // what must change at once and saves. Applied whether changed or not, so
    // an ambience loop that stopped for any reason starts again, and a visible
    // panel moves back beside the main window.
    void applyOptions(const Settings& chosen);

    // The speed window's slider (see changeMelodySpeed).
    void setSpeed(int step);

    // Each sound's volume (the options page 音量), saved in [Volume]; a loaded
    // platform's own volumes keep precedence over them while it is loaded.
    const VolumeSettings& volumes() const { return m_volume; }
    void setVolumes(const VolumeSettings& volume);
    // At start-up: [Volume] as the file has it, applied before the ambience
    // starts.
    void loadVolumes();

    // The melody shelf: entry `index` of the shelf (mnuMelody), the one after
    // or before the loaded one (次のメロディ, 前のメロディ), each loaded as a
    // drop loads a file. An entry whose file is not there is told in a box
    // and the loaded melody stays.
    void chooseMelody(int index);
    void nextMelody();
    void previousMelody();
    // While held the shelf's position is saved once, when let go.
    void holdShelfSaves(bool held) { m_parts.shelf.holdSaves(held); }
    // On a station set each entry is a platform: choosing or stepping to it
    // applies its door announcement, ambience, effect, pan and volumes as
    // the menus would, then loads its melody. A platform whose file has gone
    // since is stepped past, or told in a box when chosen, and nothing of it
    // is applied. Its own door and ambience leave with it: the next platform
    // that names none, and any shelf after the set, has the user's own.
    //
    // A playlist or station set opened, dropped or named on the command line
    // becomes the shelf and its first entry that is there is loaded; what of it was cut
    // or not found is told in a box. One that cannot be read or names no
    // melody that is there is refused with a box, and the shelf and the
    // loaded melody stay.
    void openPlaylist(const std::string& path);
    // At start-up without a file of the command line: the shelf and entry of
    // the last run, loaded without being started.
    void restoreShelf();

    // この設定を駅セットに追加: the loaded melody with the door, ambience,
    // effect, pan and volumes that sound now, as a new platform under the
    // line and station of those names. It goes into the open station set, or
    // when the shelf is none into a new set named after the line in the
    // user's Stations folder; an open set that has gone is not made again.
    // The set then becomes the shelf with the new platform chosen. A refusal is told in a box and
    // changes nothing. True when the platform was added.
    bool addToStationSet(const std::string& line, const std::string& station,
                         const std::string& platform);

    // Lifts stay-on-top around a modal dialog, so it cannot open behind the
    // windows, and puts it back afterwards as the settings then say.
    void runModal(const std::function<void()>& dialog);

private:
    void chooseSound(int index, Catalogue& catalogue, SoundHandle& sound,
                     const std::string& fixedName, const std::string& folder,
                     std::string& savedChoice);
    void startOrStopEnvir();
    void showOrUnloadPanel();
    void setEffects(bool tokyo, bool tachikawa, bool urawa);
    void applyPan();
    void saveSettings();
    void stepMelody(int direction);
    void dropShelfEntry(const std::optional<std::string>& path);
    bool applyPlatform(std::size_t index);
    Platform currentPlatform(const std::string& name) const;
    void loadSoundFile(SoundHandle& sound, const std::string& path);
    void applyPlatformSound(const std::optional<SoundChoice>& own,
                            std::optional<std::string>& loaded, SoundHandle& sound,
                            const char* fixedName, const std::string& folder,
                            const std::string& chosen);
    void tell(const std::string& text, MessageIcon icon);

    void applyVolumes();

    CommandParts m_parts;
    VolumeSettings m_volume;
    // The loaded platform's own volumes; none without a station set.
    std::array<std::optional<int>, kVolumeSoundCount> m_platformVolume{};
    // The platform's own door and ambience (a path or kBuiltInSound) that the
    // buffers hold in place of the user's choice; none while they hold it.
    std::optional<std::string> m_platformDoor;
    std::optional<std::string> m_platformEnvir;
};

} // namespace tremlo
