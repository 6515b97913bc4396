#pragma once

// The commands of the two menus: the shortcut menu mnuTitle on the switch and
// the option menu mnuTopOption on the status panel. An item of the option menu
// whose name ends in 2 runs its twin's command. The status panel's effect and
// pan buttons run the same steps (stepEffect, CyclePan).
//
// Every command keeps the check marks (MenuChecks) mirroring the state they
// stand for, updates the status panel's indicators and saves the settings
// where the program saves them.
//
// Thread: the user-interface thread.

#include "catalogues.h"
#include "menu_checks.h"
#include "playback_state.h"
#include "settings.h"
#include "settings_store.h"
#include "sound_library.h"
#include "sound_loading.h"

#include <functional>
#include <string>

class QWidget;

namespace tremlo {

// The status panel as the commands see it; it exists or is made on use.
class PanelControl {
public:
    virtual ~PanelControl() = default;
    virtual QWidget* panelWindow() = 0; // made (hidden) when missing
    virtual void showDoor(bool on) = 0;
    virtual void showEnvir(bool on) = 0;
    virtual void showEffects(bool tokyo, bool tachikawa, bool urawa) = 0;
    virtual void showPan(int panMode) = 0;
    // Places the panel beside the main window and shows it.
    virtual void showPanel() = 0;
    // Closes the panel; the next use makes a new one.
    virtual void unloadPanel() = 0;
};

// The dialogs and the outside world the commands open.
struct CommandDialogs {
    // The chosen file's full path, or empty when cancelled.
    std::function<std::string()> showOpenFileDialog;
    std::function<void()> showVolume;  // modeless; brought forward when open
    std::function<void()> showOptions; // modal
    std::function<void()> showAbout;   // modal, owned by the main window
    std::function<void(const std::string& path)> openDocument;
};

struct CommandParts {
    Settings& settings;
    PlaybackState& state;
    sound::SoundLibrary& library;
    SoundLoader& loader;
    MenuChecks& checks;
    Catalogue& doorCatalogue;
    Catalogue& envirCatalogue;
    CatalogueBuilder& catalogueBuilder;
    SettingsStore& store;
    SettingsWindows& settingsWindows;
    PanelControl& panel;
    QWidget& mainWindow;
    CommandDialogs dialogs;
    std::string programFolder;
};

class MenuCommands {
public:
    explicit MenuCommands(CommandParts parts);
    virtual ~MenuCommands() = default;

    void mnuFileOpen_Click();
    void mnuUseDoor_Click();
    void mnuDoor_Click(int index);
    void mnuUseEnvir_Click();
    void mnuEnvir_Click(int index);
    void mnuUseFadeIn_Click();
    void mnuUseFadeOut_Click();
    void mnuEffectUrawa_Click();
    void mnuVolume_Click();
    void mnuPan_Click(int index);
    void mnuTopMost_Click();
    void mnuUsePanel_Click();
    void mnuOptions_Click();
    void mnuAbout_Click();
    void mnuHelp_Click();
    void mnuExit_Click();

    // The status panel's effect button: the next of the six effect states.
    void stepEffect();
    // The status panel's pan indicator: centre, left, right, centre.
    void CyclePan();

    // Lifts stay-on-top around a modal dialog and puts it back afterwards.
    void runModal(const std::function<void()>& dialog);

protected:
    // Stay-on-top for one window, through SetTopMost; tests record the order
    // in which the windows are changed here.
    virtual void setWindowTopMost(QWidget* window, VbBool flag);

private:
    void chooseSound(int index, Catalogue& catalogue, SoundHandle& sound,
                     const std::string& fixedName, const std::string& folder,
                     std::string& savedChoice);
    void saveSettings();
    void showEffects();
    void applyPan();

    CommandParts m_parts;
};

} // namespace tremlo
