#pragma once

// The whole program, every part made once and in the order start-up needs:
// the members below are declared in that order, so construction is the first
// half of start-up and destruction the reverse. How the parts talk: the
// windows and the switch box give commands (Commands, MenuCommands) and the
// melody engine's four button operations; the engine plays through the sound
// library and shows itself through the views that the switch window and the
// status panel implement; Qt reaches the engine only through the adapters of
// qt/ (timers, the event pump, message boxes).
//
// Thread: the user-interface thread.

#include "catalogues.h"
#include "command_line.h"
#include "commands.h"
#include "frm_input.h"
#include "frm_main.h"
#include "frm_menus.h"
#include "frm_options.h"
#include "frm_volume.h"
#include "global_keys.h"
#include "melody_engine.h"
#include "melody_shelf.h"
#include "menu_commands.h"
#include "open_file_dialog.h"
#include "panel_wiring.h"
#include "program_windows.h"
#include "qt_feedback.h"
#include "qt_timer.h"
#include "record_command.h"
#include "recorder.h"
#include "remote_control.h"
#include "remote_switch.h"
#include "settings_store.h"
#include "sound_library.h"
#include "sound_loading.h"
#include "sound_prefetch.h"
#include "startup.h"
#include "status_panel_host.h"
#include "switch_box.h"

#include <QApplication>
#include <QTranslator>
#include <string>
#include <vector>

namespace tremlo {

class TerminationRequests;

// The steps that follow construction, in the order run() takes them, each
// with the steps it needs done before it; tests hold the order to those needs.
struct StartStep {
    const char* name;
    std::vector<const char*> after;
};
std::vector<StartStep> startSteps();

class Program {
public:
    Program(int argc, char** argv, TerminationRequests& termination);
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Start-up's steps, then the event loop; the process's exit status.
    int run();

private:
    struct Step;
    static const std::vector<Step>& steps();
    friend std::vector<StartStep> startSteps();

    void connectCommands();
    void placeMainWindow();
    // The steps of run(); false ends the program there.
    bool buildShelf();
    bool startSoundsAndSettings();
    bool restoreShelfPosition();
    bool loadSwitchBox();
    bool takeGlobalKeys();
    void tellMissingKeyRoute();
    bool startRemotes();
    std::vector<std::string> applyRemotes(const RemoteSettings& chosen);
    void showRefusals(const std::vector<std::string>& messages);
    bool showWindow();
    bool finishStart();
    bool answerSignals();
    bool startRecording();
    bool endedByRequest();

    TerminationRequests& m_termination;
    // The fixed sounds are read and decoded while Qt starts, and the sound
    // server is connected to while Qt connects to the display.
    std::string m_executableFolder;
    SoundPrefetch m_prefetch;
    sound::SoundLibrary m_library;
    // Staying on top, placing the windows and the system-wide keys work best
    // on X11: under a Wayland session the program runs through XWayland,
    // unless the user chose a platform.
    QtArguments m_qtArguments;
    QApplication m_application;
    QTranslator m_translator, m_qtTranslator;
    std::string m_folder;
    std::string m_workFolder;

    Settings m_settings;
    PlaybackState m_state;
    IniProfile m_settingsFile;
    SettingsStore m_store;
    Language m_language;
    // After the language: their first entry is a text for the user.
    Catalogue m_doorCatalogue, m_envirCatalogue;

    QtTimerFactory m_timers;
    QtEventPump m_pump;
    QtUserFeedback m_feedback;
    ui::frmMain m_mainWindow;
    StatusPanelHost m_panel;
    // The switch and lamps as the remote controls see them: the engine and
    // the loader show themselves through it, and it passes all on.
    remote::RemoteSwitch m_remoteSwitch;
    MelodyEngine m_engine;
    SoundLoader m_loader;
    CatalogueBuilder m_catalogues;
    ProgramWindows m_windows;
    Startup m_startup;
    // A switch box wired to the computer presses the same four operations.
    SwitchBox m_switchBox;
    GlobalKeys m_globalKeys;

    // The commands, the menus and the dialogs they open.
    PanelViewOverHost m_panelView;
    MelodyShelf m_shelf;
    Commands m_commands;
    ui::OpenFileDialog m_openFile;
    ui::VolumeDialogHost m_volume;
    ui::InputDialogParts m_inputParts;
    remote::RemoteControl m_remote;
    ui::RemotePageParts m_remoteParts;
    ui::OptionsParts m_optionsParts;
    ui::CommandDialogs m_dialogs;
    ui::MenuCommands m_menuCommands;
    ui::frmMenus m_menus;
    PanelActionsOverCommands m_panelActions;
    // Last made and first gone: a recording's file is finished before
    // anything it hears from is.
    recording::Recorder m_recorder;
    RecordCommand m_record;

    std::string m_commandLinePath;
    StartupResult m_started = StartupResult::Running;
    bool m_toldMissingKeyRoute = false;
};

} // namespace tremlo
