#pragma once

// What the items of the two menus run: the shortcut menu mnuTitle on the
// switch and the option menu mnuTopOption on the status panel. An item of the
// option menu whose name ends in 2 runs its twin's handler. A check item
// turns its setting over; the command itself (Commands) does the work, so the
// status panel's buttons and the options dialog share it. What is left here
// is opening the dialogs and the documents the items name.
//
// Thread: the user-interface thread.

#include "commands.h"
#include "settings.h"
#include "sound_loading.h"

#include <functional>
#include <string>

class QWidget;

namespace tremlo::ui {

// The dialogs and the outside world the menu items open.
struct CommandDialogs {
    // The chosen file's full path, or empty when cancelled.
    std::function<std::string()> showOpenFileDialog;
    std::function<void()> showVolume;       // modeless; brought forward when open
    std::function<void()> showOptions;      // modal
    std::function<void()> showAbout;        // modal, owned by the main window
    std::function<void()> showInputDevices; // modal
    std::function<void(const std::string& path)> openDocument;
};

class MenuCommands {
public:
    MenuCommands(Commands& commands, const Settings& settings, SoundLoader& loader,
                 QWidget& mainWindow, CommandDialogs dialogs, std::string programFolder);

    void mnuFileOpen_Click();
    void mnuMelody_Click(int index) { m_commands.chooseMelody(index); }
    void mnuAddToStationSet_Click();
    void mnuNextMelody_Click() { m_commands.nextMelody(); }
    void mnuPreviousMelody_Click() { m_commands.previousMelody(); }
    void mnuUseDoor_Click() { m_commands.setUseDoor(!m_settings.Door); }
    void mnuDoor_Click(int index) { m_commands.chooseDoor(index); }
    void mnuUseEnvir_Click() { m_commands.setUseEnvir(!m_settings.UseEnvir); }
    void mnuEnvir_Click(int index) { m_commands.chooseEnvir(index); }
    void mnuUseFadeIn_Click() { m_commands.setEffectTokyo(!m_settings.EffectTokyo); }
    void mnuUseFadeOut_Click() { m_commands.setEffectTachikawa(!m_settings.EffectTachikawa); }
    void mnuEffectUrawa_Click() { m_commands.setEffectUrawa(!m_settings.EffectUrawa); }
    void mnuVolume_Click();
    void mnuPan_Click(int index);
    void mnuTopMost_Click() { m_commands.setTopMost(!m_settings.TopMost); }
    void mnuUsePanel_Click() { m_commands.setUsePanel(!m_settings.UsePanel); }
    void mnuOptions_Click() { m_commands.runModal(m_dialogs.showOptions); }
    void mnuAbout_Click() { m_commands.runModal(m_dialogs.showAbout); }
    void mnuInputDevices_Click() { m_commands.runModal(m_dialogs.showInputDevices); }
    void mnuHelp_Click();
    void mnuExit_Click();

    void stepEffect() { m_commands.stepEffect(); }
    void CyclePan() { m_commands.CyclePan(); }
    void openPlaylist(const std::string& path) { m_commands.openPlaylist(path); }
    void stepMelody(int direction) {
        direction > 0 ? m_commands.nextMelody() : m_commands.previousMelody();
    }

private:
    Commands& m_commands;
    const Settings& m_settings;
    SoundLoader& m_loader;
    QWidget& m_mainWindow;
    CommandDialogs m_dialogs;
    std::string m_programFolder;
};

} // namespace tremlo::ui
