#include "commands.h"

#include "text_encoding.h"
#include "user_folders.h"
#include "user_text.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

namespace tremlo {
namespace {

// The library's pan scale for centre, left and right: full left to full right.
constexpr std::int32_t kPanValues[] = {0, -10000, 10000};

} // namespace

std::int32_t speedRate(double coefficient, int step, std::int32_t fileRate) {
    // Nearbyint rounds in the current mode, which the program never changes
    // from round-to-nearest-even.
    const double rate = std::nearbyint(std::pow(coefficient, step) * fileRate);
    if (std::isnan(rate))
        return 0;
    // Converting a double beyond 32 bits is undefined; such a rate is far
    // outside anything playable, so its end of the range does as well.
    if (rate >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (rate <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(rate);
}

void changeMelodySpeed(const Settings& settings, const PlaybackState& state,
                       sound::SoundLibrary& library, int step) {
    sound::WaveFormat format{};
    library.dsGetFormat(state.MelodyBuffer, format);
    library.dsSetFrequency(state.MelodyBuffer,
                           speedRate(settings.SetFreqCoefficient, step, format.samplesPerSecond));
}

std::int32_t volumeLevel(int percent) {
    if (percent <= 0)
        return -10000;
    if (percent >= 100)
        return 0;
    return std::max<std::int32_t>(
        -10000, static_cast<std::int32_t>(std::lround(2000.0 * std::log10(percent / 100.0))));
}

Commands::Commands(CommandParts parts) : m_parts(std::move(parts)) {}

void Commands::setUseDoor(bool on) {
    m_parts.settings.Door = on;
    m_parts.panel.showDoor(on);
    saveSettings();
}

void Commands::chooseSound(int index, Catalogue& catalogue, SoundHandle& sound,
                           const std::string& fixedName, const std::string& folder,
                           std::string& savedChoice) {
    m_parts.library.dsStop(sound);
    m_parts.library.dsFree(sound);
    // A missing file leaves the handle 0 and nothing plays; the choice, the
    // stored name and the check mark change all the same.
    if (index == 0) {
        sound =
            m_parts.loader.LoadSoundBuffer(resolveInFolder(m_parts.programFolder, fixedName), 1);
        savedChoice.clear();
    } else {
        const std::string& name = catalogue.entries[static_cast<std::size_t>(index)];
        sound = m_parts.loader.LoadSoundBuffer(folder + "/" + name, 1);
        savedChoice = name;
    }
    catalogue.checked = static_cast<std::size_t>(index);
}

void Commands::chooseDoor(int index) {
    Catalogue& catalogue = m_parts.doorCatalogue;
    if (index < 0 || static_cast<std::size_t>(index) >= catalogue.entries.size())
        return;
    // The new announcement sounds at the next OFF, with the pan it gets then.
    chooseSound(index, catalogue, m_parts.state.DoorBuffer, "door.wav",
                m_parts.catalogueBuilder.doorFolder(), m_parts.settings.DoorWAV);
    m_platformDoor.reset();
    saveSettings();
}

// Saved before the loop starts: the choice is kept even if the sound server
// stalls the start.
void Commands::setUseEnvir(bool on) {
    m_parts.settings.UseEnvir = on;
    saveSettings();
    startOrStopEnvir();
}

void Commands::chooseEnvir(int index) {
    Catalogue& catalogue = m_parts.envirCatalogue;
    if (index < 0 || static_cast<std::size_t>(index) >= catalogue.entries.size())
        return;
    chooseSound(index, catalogue, m_parts.state.EnvirBuffer, "Envir.wav",
                m_parts.catalogueBuilder.envirFolder(), m_parts.settings.EnvirWAV);
    m_platformEnvir.reset();
    m_parts.library.dsSetVolume(m_parts.state.EnvirBuffer,
                                m_parts.state.level(VolumeSound::Ambience));
    if (m_parts.settings.UseEnvir)
        m_parts.library.dsPlayLooping(m_parts.state.EnvirBuffer);
    saveSettings();
}

void Commands::startOrStopEnvir() {
    const bool on = m_parts.settings.UseEnvir;
    m_parts.panel.showEnvir(on);
    if (on)
        m_parts.library.dsPlayLooping(m_parts.state.EnvirBuffer);
    else
        m_parts.library.dsStop(m_parts.state.EnvirBuffer);
}

void Commands::setEffectTokyo(bool on) {
    const Settings& s = m_parts.settings;
    setEffects(on, s.EffectTachikawa, s.EffectUrawa);
}

void Commands::setEffectTachikawa(bool on) {
    const Settings& s = m_parts.settings;
    setEffects(s.EffectTokyo, on, on ? false : s.EffectUrawa);
}

void Commands::setEffectUrawa(bool on) {
    const Settings& s = m_parts.settings;
    setEffects(s.EffectTokyo, on ? false : s.EffectTachikawa, on);
}

void Commands::stepEffect() {
    const Settings& s = m_parts.settings;
    const bool tokyo = s.EffectTokyo;
    const bool tachikawa = s.EffectTachikawa;
    const bool urawa = s.EffectUrawa;
    struct Step {
        bool tokyo, tachikawa, urawa;
    };
    // The first state that matches moves on; Tachikawa and Urawa together
    // match none and stay as they are.
    Step next{tokyo, tachikawa, urawa};
    if (tokyo && urawa && !tachikawa)
        next = {false, false, false};
    else if (!tokyo && !tachikawa && !urawa)
        next = {true, false, false};
    else if (tokyo && !tachikawa && !urawa)
        next = {false, true, false};
    else if (!tokyo && tachikawa && !urawa)
        next = {false, false, true};
    else if (!tokyo && !tachikawa && urawa)
        next = {true, true, false};
    else if (tokyo && tachikawa && !urawa)
        next = {true, false, true};
    setEffects(next.tokyo, next.tachikawa, next.urawa);
}

void Commands::setEffects(bool tokyo, bool tachikawa, bool urawa) {
    Settings& s = m_parts.settings;
    s.EffectTokyo = tokyo;
    s.EffectTachikawa = tachikawa;
    s.EffectUrawa = urawa;
    saveSettings();
    m_parts.panel.showEffects(tokyo, tachikawa, urawa);
}

void Commands::setPan(Pan mode) {
    m_parts.state.PanMode = mode;
    applyPan();
}

void Commands::CyclePan() {
    switch (m_parts.state.PanMode) {
    case Pan::Centre:
        setPan(Pan::Left);
        break;
    case Pan::Left:
        setPan(Pan::Right);
        break;
    case Pan::Right:
        setPan(Pan::Centre);
        break;
    }
}

// A MIDI or segment melody has no buffer (MelodyBuffer 0), so only the door
// sound is panned then.
void Commands::applyPan() {
    const Pan mode = m_parts.state.PanMode;
    const std::int32_t pan = kPanValues[static_cast<int>(mode)];
    m_parts.panel.showPan(mode);
    m_parts.library.dsSetPan(m_parts.state.MelodyBuffer, pan);
    m_parts.library.dsSetPan(m_parts.state.DoorBuffer, pan);
}

void Commands::setTopMost(bool on) {
    m_parts.settings.TopMost = on;
    saveSettings();
    m_parts.stacking.setTopMost(ProgramWindow::Panel, on);
    m_parts.stacking.setTopMost(ProgramWindow::Main, on);
}

void Commands::setUsePanel(bool on) {
    m_parts.settings.UsePanel = on;
    showOrUnloadPanel();
}

void Commands::showOrUnloadPanel() {
    if (m_parts.settings.UsePanel)
        m_parts.panel.showPanel();
    else
        m_parts.panel.unloadPanel();
}

void Commands::applyOptions(const Settings& chosen) {
    Settings& s = m_parts.settings;
    s.TopMost = chosen.TopMost;
    s.Door = chosen.Door;
    m_parts.panel.showDoor(s.Door);
    s.DoorCut = chosen.DoorCut;
    s.DoorATOS = chosen.DoorATOS;
    s.Noise = chosen.Noise;
    s.UseEnvir = chosen.UseEnvir;
    startOrStopEnvir();
    s.PlayClickSound = chosen.PlayClickSound;
    s.NoLockOnButton = chosen.NoLockOnButton;
    s.AutoPlayAtDrop = chosen.AutoPlayAtDrop;
    s.UsePanel = chosen.UsePanel;
    showOrUnloadPanel();
    s.FixWindowPos = chosen.FixWindowPos;
    s.AddOnButtonKeyCode = chosen.AddOnButtonKeyCode;
    s.AddOffButtonKeyCode = chosen.AddOffButtonKeyCode;
    s.ShiftForce = chosen.ShiftForce;
    s.DoorDelay = chosen.DoorDelay;
    s.DoorThreshold = chosen.DoorThreshold;
    m_parts.doorTimer.setInterval(s.DoorDelay + 1);
    saveSettings();
}

void Commands::setSpeed(int step) {
    changeMelodySpeed(m_parts.settings, m_parts.state, m_parts.library, step);
}

void Commands::setVolumes(const VolumeSettings& volume) {
    m_volume = volume;
    m_parts.store.saveVolume(m_volume);
    applyVolumes();
}

void Commands::loadVolumes() {
    m_volume = m_parts.store.loadVolume();
    applyVolumes();
}

// The melody, the door and the noise take their level whenever they start;
// the ambience loops on and the click's buffer stays, so those are set now.
void Commands::applyVolumes() {
    PlaybackState& state = m_parts.state;
    for (std::size_t k = 0; k < kVolumeSoundCount; ++k) {
        const auto sound = static_cast<VolumeSound>(k);
        state.Levels[k] = volumeLevel(m_platformVolume[k].value_or(m_volume.percent(sound)));
    }
    m_parts.library.dsSetVolume(state.EnvirBuffer, state.level(VolumeSound::Ambience));
    m_parts.library.dsSetVolume(state.ClickBuffer, state.level(VolumeSound::Click));
    if (!state.RunOutActive && state.OnSwitchState != SwitchPosition::Off) {
        m_parts.library.dsSetVolume(state.MelodyBuffer, state.level(VolumeSound::Melody));
        m_parts.library.dsSetMasterVolume(state.level(VolumeSound::Melody));
    }
}

// Checked before the loader is given the file: the loader lets go of the
// loaded melody first, and a file that is not there would leave none.
void Commands::chooseMelody(int index) {
    const MelodyShelf& shelf = m_parts.shelf;
    if (index < 0 || static_cast<std::size_t>(index) >= shelf.entries().size())
        return;
    const auto path = m_parts.shelf.choose(static_cast<std::size_t>(index));
    if (path) {
        if (applyPlatform(static_cast<std::size_t>(index)))
            dropShelfEntry(path);
    } else if (const auto missing = shelf.missingFileOf(static_cast<std::size_t>(index))) {
        tell(readableText(*missing), MessageIcon::Warning);
    } else {
        tell(fillIn(userText("Engine", "指定されたファイル '%1' が見つかりません。"),
                    {readableText(shelf.entries()[static_cast<std::size_t>(index)].path)}),
             MessageIcon::Warning);
    }
}

void Commands::nextMelody() {
    stepMelody(+1);
}

void Commands::previousMelody() {
    stepMelody(-1);
}

void Commands::stepMelody(int direction) {
    const auto path = m_parts.shelf.step(direction, m_parts.state.MelodyPath);
    if (!path) {
        if (!m_parts.shelf.entries().empty())
            tell(userText("Engine", "メロディ棚のファイルがどれも見つかりません。"),
                 MessageIcon::Warning);
    } else if (applyPlatform(m_parts.shelf.chosen())) {
        dropShelfEntry(path);
    }
}

void Commands::openPlaylist(const std::string& path) {
    const PlaylistOutcome outcome = m_parts.shelf.openPlaylist(path);
    if (!outcome.message.empty())
        tell(outcome.message, outcome.opened ? MessageIcon::Warning : MessageIcon::Error);
    if (!outcome.opened)
        return;
    const auto first = m_parts.shelf.step(+1, {});
    if (first && applyPlatform(m_parts.shelf.chosen()))
        dropShelfEntry(first);
}

void Commands::restoreShelf() {
    const auto path = m_parts.shelf.restore();
    if (path && applyPlatform(m_parts.shelf.chosen()))
        m_parts.loader.LoadSoundFile(*path);
}

namespace {

// A file name made of the line's name: what a file name cannot hold becomes
// "_", and a set already there is never written over.
std::string newSetPath(const std::string& line) {
    std::string base = line;
    for (char& c : base)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    const std::string folder = userDataFolder() + "/Stations/";
    std::string path = folder + base + ".stations.json";
    std::error_code error;
    for (int n = 2; std::filesystem::exists(std::filesystem::symlink_status(path, error)); ++n)
        path = folder + base + " (" + std::to_string(n) + ").stations.json";
    return path;
}

} // namespace

// What sounds now: the platform's own door and ambience that the buffers
// hold, else the catalogues' choices; all five volumes as they are heard.
// The program's own sounds are stored as such, not by their path here, so
// the set opens on any installation.
Platform Commands::currentPlatform(const std::string& name) const {
    const Settings& settings = m_parts.settings;
    const auto sound = [&](bool on, const std::optional<std::string>& own,
                           const std::string& chosen, const char* fixedName,
                           const std::string& folder) -> SoundChoice {
        if (!on)
            return std::nullopt;
        const std::string path = own              ? *own
                                 : chosen.empty() ? std::string(kBuiltInSound)
                                                  : folder + "/" + chosen;
        return path == resolveInFolder(m_parts.programFolder, fixedName)
                   ? std::string(kBuiltInSound)
                   : path;
    };
    Platform platform;
    platform.name = name;
    platform.melody = m_parts.state.MelodyPath;
    platform.door = sound(settings.Door, m_platformDoor, settings.DoorWAV, "door.wav",
                          m_parts.catalogueBuilder.doorFolder());
    platform.ambience = sound(settings.UseEnvir, m_platformEnvir, settings.EnvirWAV, "Envir.wav",
                              m_parts.catalogueBuilder.envirFolder());
    // A platform holds one effect; 浦和 and 立川 outrank 東京 as they change
    // more of the sound.
    platform.effect = settings.EffectUrawa       ? PlatformEffect::Urawa
                      : settings.EffectTachikawa ? PlatformEffect::Tachikawa
                      : settings.EffectTokyo     ? PlatformEffect::Tokyo
                                                 : PlatformEffect::None;
    platform.pan = static_cast<PlatformPan>(m_parts.state.PanMode);
    for (std::size_t k = 0; k < kVolumeSoundCount; ++k)
        platform.volume[k] =
            m_platformVolume[k].value_or(m_volume.percent(static_cast<VolumeSound>(k)));
    return platform;
}

bool Commands::addToStationSet(const std::string& line, const std::string& station,
                               const std::string& platformName) {
    if (m_parts.state.MelodyPath.empty()) {
        tell(userText("Engine", "メロディが読み込まれていません。"), MessageIcon::Warning);
        return false;
    }
    MelodyShelf& shelf = m_parts.shelf;
    const Platform platform = currentPlatform(platformName);
    const bool intoOpenSet = shelf.stationSet() != nullptr;
    const std::string path = intoOpenSet ? shelf.playlist() : newSetPath(line);
    if (const std::string refused = addPlatformToFile(
            path, line, station, platform, intoOpenSet ? AddTo::ExistingSet : AddTo::NewSet);
        !refused.empty()) {
        tell(readableText(refused), MessageIcon::Error);
        return false;
    }
    const PlaylistOutcome outcome = shelf.openPlaylist(path);
    if (!outcome.message.empty())
        tell(outcome.message, outcome.opened ? MessageIcon::Warning : MessageIcon::Error);
    const StationSet* set = shelf.stationSet();
    if (!outcome.opened || !set)
        return true;
    // The new platform is the last of its station; the melody is already
    // loaded, so it is only chosen.
    const std::vector<PlatformPlace> places = set->places();
    for (std::size_t k = places.size(); k-- > 0;) {
        const PlatformPlace& place = places[k];
        if (set->lines[place.line].name == line &&
            set->lines[place.line].stations[place.station].name == station) {
            shelf.choose(k);
            m_platformVolume = platform.volume;
            break;
        }
    }
    return true;
}

// A door or ambience file of the platform's own, which no catalogue lists:
// loaded in place of the catalogue's choice, which stays saved as it was,
// so the user's own choice returns with the next pick from the menu.
void Commands::loadSoundFile(SoundHandle& sound, const std::string& path) {
    m_parts.library.dsStop(sound);
    m_parts.library.dsFree(sound);
    sound = m_parts.loader.LoadSoundBuffer(path, 1);
}

// The platform's own sound in the buffer, or, where it names none (a key left
// out, null, or no platform at all), the user's own choice back in place of
// the last platform's.
void Commands::applyPlatformSound(const std::optional<SoundChoice>& own,
                                  std::optional<std::string>& loaded, SoundHandle& sound,
                                  const char* fixedName, const std::string& folder,
                                  const std::string& chosen) {
    if (own && *own) {
        loadSoundFile(sound, isBuiltInSound(**own)
                                 ? resolveInFolder(m_parts.programFolder, fixedName)
                                 : **own);
        loaded = **own;
    } else if (loaded) {
        loadSoundFile(sound, chosen.empty() ? resolveInFolder(m_parts.programFolder, fixedName)
                                            : folder + "/" + chosen);
        loaded.reset();
    }
}

// False, changing nothing, when a file of the platform has gone since the set
// was opened. Off the station set every sound takes the global volume and the
// user's door and ambience again.
bool Commands::applyPlatform(std::size_t index) {
    const Platform* platform = m_parts.shelf.platform(index);
    if (platform) {
        if (const auto missing = m_parts.shelf.missingFileOf(index)) {
            tell(readableText(*missing), MessageIcon::Warning);
            return false;
        }
    }
    // The new buffers first, so the volumes reach them before they sound.
    PlaybackState& state = m_parts.state;
    const bool envirChanges =
        (platform && platform->ambience && *platform->ambience) || m_platformEnvir;
    applyPlatformSound(platform ? platform->door : std::nullopt, m_platformDoor, state.DoorBuffer,
                       "door.wav", m_parts.catalogueBuilder.doorFolder(), m_parts.settings.DoorWAV);
    applyPlatformSound(platform ? platform->ambience : std::nullopt, m_platformEnvir,
                       state.EnvirBuffer, "Envir.wav", m_parts.catalogueBuilder.envirFolder(),
                       m_parts.settings.EnvirWAV);
    m_platformVolume = platform ? platform->volume : decltype(m_platformVolume){};
    applyVolumes();
    if (!platform) {
        if (envirChanges)
            startOrStopEnvir();
        return true;
    }
    if (envirChanges && !platform->ambience)
        startOrStopEnvir();
    if (platform->door)
        setUseDoor(platform->door->has_value());
    if (platform->ambience)
        setUseEnvir(platform->ambience->has_value());
    if (platform->effect) {
        const PlatformEffect effect = *platform->effect;
        setEffects(effect == PlatformEffect::Tokyo, effect == PlatformEffect::Tachikawa,
                   effect == PlatformEffect::Urawa);
    }
    if (platform->pan)
        setPan(static_cast<Pan>(*platform->pan));
    return true;
}

void Commands::dropShelfEntry(const std::optional<std::string>& path) {
    if (path && m_parts.dropFile)
        m_parts.dropFile(*path);
}

void Commands::tell(const std::string& text, MessageIcon icon) {
    if (m_parts.feedback)
        m_parts.feedback->showMessage(text, userText("Engine", "トレモロ"), icon);
}

void Commands::runModal(const std::function<void()>& dialog) {
    if (m_parts.settings.TopMost) {
        m_parts.stacking.setTopMost(ProgramWindow::Main, false);
        m_parts.stacking.setTopMost(ProgramWindow::Panel, false);
    }
    if (dialog)
        dialog();
    // Read again: the options dialog may have changed it.
    if (m_parts.settings.TopMost) {
        m_parts.stacking.setTopMost(ProgramWindow::Panel, true);
        m_parts.stacking.setTopMost(ProgramWindow::Main, true);
    }
}

void Commands::saveSettings() {
    m_parts.store.SaveSettings(m_parts.settings, m_parts.settingsWindows);
}

} // namespace tremlo
