#pragma once

// The options dialog over the offline sound library, a settings file in a
// temporary folder, a door timer and the key dialog's blink in virtual time,
// and a status panel that logs what it is asked to do.

#include "frm_options.h"
#include "ini_profile.h"
#include "offscreen_application.h"
#include "still_windows.h"
#include "test_folder.h"
#include "test_support.h"
#include "virtual_time.h"

#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tremlo::test {

using Log = std::vector<std::string>;

struct LoggingPanel : PanelControl {
    QWidget* panelWindow() override { return &window; }
    void showDoor(bool on) override { log.push_back(on ? "door on" : "door off"); }
    void showEnvir(bool on) override { log.push_back(on ? "envir on" : "envir off"); }
    void showEffects(bool, bool, bool) override { log.push_back("effects"); }
    void showPan(int) override { log.push_back("pan"); }
    void showPanel() override { log.push_back("show panel"); }
    void unloadPanel() override { log.push_back("unload panel"); }
    Log log;
    QWidget window;
};

inline void pressKey(QWidget* target, int qtKey, Qt::KeyboardModifiers modifiers = {},
                     bool autoRepeat = false) {
    QKeyEvent press(QEvent::KeyPress, qtKey, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(target, &press);
}

// Runs `action` on the modal window that opens next, once its loop runs.
inline void onNextModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] { action(QApplication::activeModalWidget()); });
}

class OptionsTest : public WithApplication, public ::testing::Test {
protected:
    OptionsTest() : settings(defaultSettings(folder.path())) {
        state.EnvirBuffer = lib.load(sound::test::makeSine(300, 8000, 8000));
        doorTimer->setInterval(settings.DoorDelay + 1);
    }

    ui::OptionsParts parts() {
        return {settings, state,   *lib.library, checks, panel,
                store,    windows, *doorTimer,   time,   nullptr};
    }
    std::unique_ptr<ui::frmOptions> open() { return std::make_unique<ui::frmOptions>(parts()); }
    std::string saved(const std::string& key) const { return ini.readValue(key); }
    bool envirPlaying() const { return lib.library->dsIsPlaying(state.EnvirBuffer) != 0; }

    TestFolder folder;
    IniProfile ini{folder.file("tremlo.ini")};
    SettingsStore store{ini, folder.path()};
    Settings settings;
    PlaybackState state;
    sound::test::OfflineLibrary lib{8000};
    MenuChecks checks;
    LoggingPanel panel;
    StillWindows windows;
    VirtualTime time;
    std::unique_ptr<Timer> doorTimer = time.createTimer("Timer1");
};

} // namespace tremlo::test
