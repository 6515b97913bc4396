#pragma once

// The menu commands on the offline sound library, with a program folder of
// their own in a temporary folder (fixed sounds, Door and Envir catalogues, a
// real settings file) and a log of what the panel, the dialogs and the window
// placement were asked to do, in order.

#include "engine_rig.h"
#include "frm_menus.h"
#include "logging_panel.h"
#include "offscreen_application.h"
#include "still_windows.h"
#include "test_folder.h"

#include <QMenu>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>

namespace tremlo::test {

class MenusTest : public WithApplication, public ::testing::Test {
protected:
    MenusTest() {
        namespace fs = std::filesystem;
        fs::create_directories(folder.file("Door"));
        fs::create_directories(folder.file("Envir"));
        fs::create_directories(folder.file("Melody"));
        // Lengths tell the loaded files apart; the fixed sounds are in lower
        // case, as the build makes them.
        tone("door.wav", 300);
        tone("Door/A&B.wav", 400);
        tone("Door/ブザー.wav", 500);
        tone("envir.wav", 600);
        tone("Envir/ホーム.wav", 700);
        tone("melody.wav", 800);
        tone("Melody/b.wav", 900);
        tone("Melody/A.wav", 1000);
        Settings& s = rig.settings;
        s.Door = s.UseEnvir = s.UsePanel = s.TopMost = false;
        s.DoorWAV = s.EnvirWAV = "";
        ui::CommandDialogs dialogs{
            [this] {
                log.push_back("open dialog");
                if (openThrows)
                    throw std::runtime_error("dialog failed");
                return openPath;
            },
            [this] { log.push_back("volume"); },
            [this] {
                log.push_back("options");
                if (optionsTurnsTopMostOff)
                    rig.settings.TopMost = false;
            },
            [this] { log.push_back("about"); },
            [this] { log.push_back("input devices"); },
            [this](const std::string& path) { log.push_back("open " + path); }};
        commands = std::make_unique<ui::MenuCommands>(programCommands, rig.settings, loader,
                                                      mainWindow, dialogs, folder.path());
        // Made before the catalogues, as in the program.
        menus = std::make_unique<ui::frmMenus>(*commands, rig.settings, doors, envirs, rig.state,
                                               shelf);
        builder.BuildDoorCatalogue(doors);
        builder.BuildEnvirCatalogue(envirs);
        shelf.BuildMelodyShelf();
    }

    void tone(const std::string& name, int ms) {
        const auto wave = sound::test::makeSine(300, ms * 8, 8000);
        std::ofstream(folder.file(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(wave.data()),
                   static_cast<std::streamsize>(wave.size()));
    }
    std::int32_t lengthMs(SoundHandle sound) { return rig.library().dsGetBufferMSec(sound); }
    std::string saved(const std::string& key) { return ini.readValue(key); }
    bool savedAtAll() { return std::filesystem::exists(ini.path()); }
    // The check mark of a menu item as a menu opening now would show it.
    bool marked(const char* item) {
        menus->refresh();
        showMelodies();
        return menus->item(item)->isChecked();
    }
    // The shelf's items are made as their submenu opens.
    void showMelodies() { emit menus->menu("mnuMelodies")->aboutToShow(); }
    // Clears the log and the settings file, to see what one command does.
    void fresh() {
        log.clear();
        std::filesystem::remove(ini.path());
    }

    EngineRig rig;
    TestFolder folder;
    QuietViews views;
    SoundLoader loader{
        rig.state, rig.library(), {views, views, views, views, views}, folder.path(), 7};
    CatalogueBuilder builder{folder.path(), rig.settings, rig.state, rig.library(), loader};
    IniProfile ini{folder.file("tremlo.ini")};
    SettingsStore store{ini, folder.path()};
    StillWindows windows;
    Catalogue doors, envirs;
    Log log;
    LoggingPanel panel{log};
    QWidget& mainWindow = panel.mainWindow;
    std::unique_ptr<Timer> doorTimer = rig.time.createTimer("Timer1");
    MelodyShelf shelf{ini, {folder.file("Melody")}};
    // A drop as the program makes it, less the event pump and the switch.
    Commands programCommands{{rig.settings, rig.state, rig.library(), loader, doors, envirs,
                              builder, store, windows, panel, panel, *doorTimer, folder.path(),
                              shelf,
                              [this](const std::string& path) {
                                  log.push_back("drop " + fileNameOf(path));
                                  loader.LoadSoundFile(path);
                              },
                              &views}};
    std::string openPath;
    bool openThrows = false;
    bool optionsTurnsTopMostOff = false;
    std::unique_ptr<ui::MenuCommands> commands;
    std::unique_ptr<ui::frmMenus> menus;
};

} // namespace tremlo::test
