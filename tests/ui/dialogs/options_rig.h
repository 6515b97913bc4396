#pragma once

// The options dialog over the offline sound library, a settings file in a
// temporary folder, a door timer and the key dialog's blink in virtual time,
// and a status panel that logs what it is asked to do.

#include "engine_rig.h"
#include "frm_options.h"
#include "ini_profile.h"
#include "logging_panel.h"
#include "offscreen_application.h"
#include "still_windows.h"
#include "test_folder.h"
#include "test_support.h"
#include "virtual_time.h"

#include <QKeyEvent>
#include <QSlider>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tremlo::test {

// `xKeyCode`: where the key sits, as the X server reports it; 0 for none.
inline void pressKey(QWidget* target, int qtKey, Qt::KeyboardModifiers modifiers = {},
                     bool autoRepeat = false, quint32 xKeyCode = 0) {
    QKeyEvent press(QEvent::KeyPress, qtKey, modifiers, xKeyCode, 0, 0, QString(), autoRepeat);
    QApplication::sendEvent(target, &press);
}

// Runs `action` on the modal window that opens next, once its loop runs.
inline void onNextModal(const std::function<void(QWidget*)>& action) {
    QTimer::singleShot(0, [action] { action(QApplication::activeModalWidget()); });
}

inline QSlider* volumeSlider(const ui::frmOptions& dialog, const char* name) {
    return dialog.findChild<QSlider*>(QString::fromLatin1(name));
}

class OptionsTest : public WithApplication, public ::testing::Test {
protected:
    OptionsTest() : settings(defaultSettings(folder.path())) {
        state.EnvirBuffer = lib.load(sound::test::makeSine(300, 8000, 8000));
        doorTimer->setInterval(settings.DoorDelay + 1);
    }

    ui::OptionsParts parts() {
        return {settings, commands, time, nullptr, nullptr, nullptr, {}, {}};
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
    Log log;
    LoggingPanel panel{log};
    StillWindows windows;
    VirtualTime time;
    std::unique_ptr<Timer> doorTimer = time.createTimer("Timer1");
    QuietViews views;
    SoundLoader loader{state, *lib.library, {views, views, views, views, views}, folder.path(), 7};
    CatalogueBuilder builder{folder.path(), settings, state, *lib.library, loader};
    Catalogue doors, envirs;
    MelodyShelf shelf{ini, {}};
    Commands commands{{settings,
                       state,
                       *lib.library,
                       loader,
                       doors,
                       envirs,
                       builder,
                       store,
                       windows,
                       panel,
                       panel,
                       *doorTimer,
                       folder.path(),
                       shelf,
                       {}}};
};

} // namespace tremlo::test
