#include "menu_commands.h"

#include "window_placement.h"

#include <QWidget>

namespace tremlo {
namespace {

// The library's pan scale for centre, left and right: full left to full right.
constexpr std::int32_t kPanValues[] = {0, -10000, 10000};

} // namespace

MenuCommands::MenuCommands(CommandParts parts) : m_parts(std::move(parts)) {}

void MenuCommands::mnuFileOpen_Click() {
    // The dialog and the loader each may fail; the command then just ends.
    // The loader tells the user of an unreadable file itself, and an opened
    // file, unlike a dropped one, is never started.
    try {
        const std::string path =
            m_parts.dialogs.showOpenFileDialog ? m_parts.dialogs.showOpenFileDialog() : "";
        if (!path.empty())
            m_parts.loader.LoadSoundFile(path);
    } catch (...) {
    }
}

void MenuCommands::mnuUseDoor_Click() {
    Settings& s = m_parts.settings;
    s.Door = vbBool(s.Door == kFalse);
    m_parts.panel.showDoor(s.Door != kFalse);
    m_parts.checks.mnuUseDoor = m_parts.checks.mnuUseDoor2 = s.Door != kFalse;
    saveSettings();
}

void MenuCommands::chooseSound(int index, Catalogue& catalogue, SoundHandle& sound,
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

void MenuCommands::mnuDoor_Click(int index) {
    Catalogue& catalogue = m_parts.doorCatalogue;
    if (index < 0 || static_cast<std::size_t>(index) >= catalogue.entries.size())
        return;
    // The new announcement sounds at the next OFF, with the pan it gets then.
    chooseSound(index, catalogue, m_parts.state.DoorBuffer, "door.wav",
                m_parts.catalogueBuilder.doorFolder(), m_parts.settings.DoorWAV);
    saveSettings();
}

void MenuCommands::mnuUseEnvir_Click() {
    Settings& s = m_parts.settings;
    s.UseEnvir = vbBool(s.UseEnvir == kFalse);
    saveSettings();
    const bool on = s.UseEnvir != kFalse;
    m_parts.panel.showEnvir(on);
    if (on)
        m_parts.library.dsPlayLooping(m_parts.state.EnvirBuffer);
    else
        m_parts.library.dsStop(m_parts.state.EnvirBuffer);
    m_parts.checks.mnuUseEnvir = m_parts.checks.mnuUseEnvir2 = on;
}

void MenuCommands::mnuEnvir_Click(int index) {
    Catalogue& catalogue = m_parts.envirCatalogue;
    if (index < 0 || static_cast<std::size_t>(index) >= catalogue.entries.size())
        return;
    chooseSound(index, catalogue, m_parts.state.EnvirBuffer, "Envir.wav",
                m_parts.catalogueBuilder.envirFolder(), m_parts.settings.EnvirWAV);
    if (m_parts.settings.UseEnvir != kFalse)
        m_parts.library.dsPlayLooping(m_parts.state.EnvirBuffer);
    saveSettings();
}

// Tokyo and Tachikawa go by their check marks, Urawa by its setting; the
// marks and the settings agree at all times, so either reads the same.
void MenuCommands::mnuUseFadeIn_Click() {
    MenuChecks& c = m_parts.checks;
    const bool on = !c.mnuUseFadeIn;
    c.mnuUseFadeIn = c.mnuUseFadeIn2 = on;
    m_parts.settings.EffectTokyo = vbBool(on);
    saveSettings();
    showEffects();
}

void MenuCommands::mnuUseFadeOut_Click() {
    MenuChecks& c = m_parts.checks;
    Settings& s = m_parts.settings;
    const bool on = !c.mnuUseFadeOut;
    c.mnuUseFadeOut = c.mnuUseFadeOut2 = on;
    s.EffectTachikawa = vbBool(on);
    if (on) { // Tachikawa and Urawa exclude each other
        c.mnuEffectUrawa = c.mnuEffectUrawa2 = false;
        s.EffectUrawa = kFalse;
    }
    saveSettings();
    showEffects();
}

void MenuCommands::mnuEffectUrawa_Click() {
    MenuChecks& c = m_parts.checks;
    Settings& s = m_parts.settings;
    s.EffectUrawa = vbBool(s.EffectUrawa == kFalse);
    const bool on = s.EffectUrawa != kFalse;
    c.mnuEffectUrawa = c.mnuEffectUrawa2 = on;
    if (on) {
        c.mnuUseFadeOut = c.mnuUseFadeOut2 = false;
        s.EffectTachikawa = kFalse;
    }
    saveSettings();
    showEffects();
}

void MenuCommands::stepEffect() {
    Settings& s = m_parts.settings;
    const bool tokyo = s.EffectTokyo != kFalse;
    const bool tachikawa = s.EffectTachikawa != kFalse;
    const bool urawa = s.EffectUrawa != kFalse;
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
    s.EffectTokyo = vbBool(next.tokyo);
    s.EffectTachikawa = vbBool(next.tachikawa);
    s.EffectUrawa = vbBool(next.urawa);

    MenuChecks& c = m_parts.checks;
    c.mnuUseFadeIn = c.mnuUseFadeIn2 = next.tokyo;
    c.mnuUseFadeOut = c.mnuUseFadeOut2 = next.tachikawa;
    c.mnuEffectUrawa = c.mnuEffectUrawa2 = next.urawa;
    saveSettings();
    showEffects();
}

void MenuCommands::mnuVolume_Click() {
    if (m_parts.dialogs.showVolume)
        m_parts.dialogs.showVolume();
}

void MenuCommands::mnuPan_Click(int index) {
    if (index < kPanCentre || index > kPanRight)
        return;
    m_parts.state.PanMode = static_cast<std::int16_t>(index);
    applyPan();
}

void MenuCommands::CyclePan() {
    const int next = m_parts.state.PanMode + 1;
    m_parts.state.PanMode =
        static_cast<std::int16_t>(next < kPanCentre || next > kPanRight ? kPanCentre : next);
    applyPan();
}

// The pan items' marks are read from PanMode when a menu opens, so only the
// panel and the sounds follow here. A MIDI or segment melody has no buffer
// (MelodyBuffer 0), so only the door sound is panned then.
void MenuCommands::applyPan() {
    const std::int16_t mode = m_parts.state.PanMode;
    m_parts.panel.showPan(mode);
    m_parts.library.dsSetPan(m_parts.state.MelodyBuffer, kPanValues[mode]);
    m_parts.library.dsSetPan(m_parts.state.DoorBuffer, kPanValues[mode]);
}

void MenuCommands::mnuTopMost_Click() {
    Settings& s = m_parts.settings;
    s.TopMost = vbBool(s.TopMost == kFalse);
    saveSettings();
    setWindowTopMost(m_parts.panel.panelWindow(), s.TopMost);
    setWindowTopMost(&m_parts.mainWindow, s.TopMost);
    m_parts.checks.mnuTopMost = s.TopMost != kFalse;
}

// Not saved here: the new value goes with the next save, at the latest when
// the program ends.
void MenuCommands::mnuUsePanel_Click() {
    Settings& s = m_parts.settings;
    s.UsePanel = vbBool(s.UsePanel == kFalse);
    if (s.UsePanel != kFalse)
        m_parts.panel.showPanel();
    else
        m_parts.panel.unloadPanel();
    m_parts.checks.mnuUsePanel = s.UsePanel != kFalse;
}

void MenuCommands::runModal(const std::function<void()>& dialog) {
    // A dialog must not open behind a window that stays on top.
    if (m_parts.settings.TopMost != kFalse) {
        setWindowTopMost(&m_parts.mainWindow, kFalse);
        setWindowTopMost(m_parts.panel.panelWindow(), kFalse);
    }
    if (dialog)
        dialog();
    // Read again: the options dialog may have changed it.
    if (m_parts.settings.TopMost != kFalse) {
        setWindowTopMost(m_parts.panel.panelWindow(), kTrue);
        setWindowTopMost(&m_parts.mainWindow, kTrue);
    }
}

void MenuCommands::mnuOptions_Click() {
    runModal(m_parts.dialogs.showOptions);
}

void MenuCommands::mnuAbout_Click() {
    runModal(m_parts.dialogs.showAbout);
}

// A document that cannot be opened is not reported.
void MenuCommands::mnuHelp_Click() {
    if (m_parts.dialogs.openDocument)
        m_parts.dialogs.openDocument(m_parts.programFolder + "/Readme.html");
}

// The main window's unload frees the sounds, saves the settings and ends the
// process.
void MenuCommands::mnuExit_Click() {
    m_parts.mainWindow.close();
}

void MenuCommands::setWindowTopMost(QWidget* window, VbBool flag) {
    SetTopMost(window, flag);
}

void MenuCommands::saveSettings() {
    m_parts.store.SaveSettings(m_parts.settings, m_parts.settingsWindows);
}

void MenuCommands::showEffects() {
    const Settings& s = m_parts.settings;
    m_parts.panel.showEffects(s.EffectTokyo != kFalse, s.EffectTachikawa != kFalse,
                              s.EffectUrawa != kFalse);
}

} // namespace tremlo
