#pragma once

// The menu commands on the offline sound library, with a program folder of
// their own in a temporary folder (fixed sounds, Door and Envir catalogues, a
// real settings file) and a log of what the panel, the dialogs and the window
// placement were asked to do, in order.

#include "engine_rig.h"
#include "frm_menus.h"
#include "offscreen_application.h"
#include "still_windows.h"
#include "test_folder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>

namespace tremlo::test {

using Log = std::vector<std::string>;

struct QuietViews : QuietLoaderViews, SwitchView {
    void setOnPicture(OnPicture) override {}
    void setOffPicture(OffPicture) override {}
    void repaint() override {}
};

struct FakePanel : PanelControl {
    explicit FakePanel(Log& log) : log(log) { window.setObjectName("panel"); }
    QWidget* panelWindow() override { return &window; }
    void showDoor(bool on) override { log.push_back(on ? "door on" : "door off"); }
    void showEnvir(bool on) override { log.push_back(on ? "envir on" : "envir off"); }
    void showEffects(bool tokyo, bool tachikawa, bool urawa) override {
        log.push_back(std::string("effects ") + "-T"[tokyo] + "-C"[tachikawa] + "-U"[urawa]);
    }
    void showPan(int panMode) override { log.push_back("pan " + std::to_string(panMode)); }
    void showPanel() override { log.push_back("show panel"); }
    void unloadPanel() override { log.push_back("unload panel"); }
    Log& log;
    QWidget window;
};

// Logs every stay-on-top change, then makes it on the real window.
class LoggingCommands : public MenuCommands {
public:
    LoggingCommands(CommandParts parts, Log& log) : MenuCommands(std::move(parts)), m_log(log) {}

protected:
    void setWindowTopMost(QWidget* window, VbBool flag) override {
        m_log.push_back(window->objectName().toStdString() + (flag == kTrue ? " top" : " normal"));
        MenuCommands::setWindowTopMost(window, flag);
    }

private:
    Log& m_log;
};

class MenusTest : public WithApplication, public ::testing::Test {
protected:
    MenusTest() {
        namespace fs = std::filesystem;
        fs::create_directories(folder.file("Door"));
        fs::create_directories(folder.file("Envir"));
        // Lengths tell the loaded files apart; the fixed sounds are in lower
        // case, as the build makes them.
        tone("door.wav", 300);
        tone("Door/A&B.wav", 400);
        tone("Door/ブザー.wav", 500);
        tone("envir.wav", 600);
        tone("Envir/ホーム.wav", 700);
        tone("melody.wav", 800);
        Settings& s = rig.settings;
        s.Door = s.UseEnvir = s.UsePanel = s.TopMost = kFalse;
        s.DoorWAV = s.EnvirWAV = "";
        mainWindow.setObjectName("main");
        CommandDialogs dialogs{[this] {
                                   log.push_back("open dialog");
                                   if (openThrows)
                                       throw std::runtime_error("dialog failed");
                                   return openPath;
                               },
                               [this] { log.push_back("volume"); },
                               [this] {
                                   log.push_back("options");
                                   if (optionsTurnsTopMostOff)
                                       rig.settings.TopMost = kFalse;
                               },
                               [this] { log.push_back("about"); },
                               [this](const std::string& path) { log.push_back("open " + path); }};
        commands = std::make_unique<LoggingCommands>(
            CommandParts{rig.settings, rig.state, rig.library(), loader, checks, doors, envirs,
                         builder, store, windows, panel, mainWindow, dialogs, folder.path()},
            log);
        // Made before the catalogues, as in the program.
        menus = std::make_unique<ui::frmMenus>(*commands, checks, doors, envirs, rig.state);
        builder.BuildDoorCatalogue(doors);
        builder.BuildEnvirCatalogue(envirs);
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
    // Clears the log and the settings file, to see what one command does.
    void fresh() {
        log.clear();
        std::filesystem::remove(ini.path());
    }

    EngineRig rig;
    TestFolder folder;
    QuietViews views;
    SoundLoader loader{rig.state, rig.library(), {views, views, views, views}, folder.path(), 7};
    CatalogueBuilder builder{folder.path(), rig.settings, rig.state, rig.library(), loader};
    IniProfile ini{folder.file("tremlo.ini")};
    SettingsStore store{ini, folder.path()};
    StillWindows windows;
    MenuChecks checks;
    Catalogue doors, envirs;
    Log log;
    FakePanel panel{log};
    QWidget mainWindow;
    std::string openPath;
    bool openThrows = false;
    bool optionsTurnsTopMostOff = false;
    std::unique_ptr<LoggingCommands> commands;
    std::unique_ptr<ui::frmMenus> menus;
};

} // namespace tremlo::test
