#pragma once

// Loading the settings and saving them: the program's section of the
// settings file and what loading applies to the windows at once (the main
// window's place and width, stay-on-top, the door timer, the speed slider's
// range), and the sections of their own, [Input], [Shelf], [Remote], [Volume]
// and [Interface], as they are.
//
// Thread: the user-interface thread.

#include "ini_profile.h"
#include "input_settings.h"
#include "interface_language.h"
#include "remote_settings.h"
#include "settings.h"
#include "shelf_settings.h"
#include "volume_settings.h"

#include <optional>
#include <string>
#include <utility>

namespace tremlo {

// The windows as loading and saving see them.
class SettingsWindows {
public:
    virtual ~SettingsWindows() = default;
    virtual void setBusyCursor(bool busy) = 0;
    // Makes the speed dialog (hidden) when it does not exist yet.
    virtual void setSpeedSliderRange(int minimum, int maximum) = 0;
    virtual bool otherInstanceRunning() const = 0;
    // Puts the main window's top-left corner at these fractions of the screen.
    virtual void moveMainWindow(double xFraction, double yFraction) = 0;
    // Stay-on-top for the status panel (made hidden when missing), then the
    // main window.
    virtual void makeWindowsTopMost() = 0;
    virtual void setMainWindowWidth(int width) = 0;
    virtual void setDoorTimerInterval(int ms) = 0;
    // The main window's top-left corner as fractions of the screen; none
    // where the window system does not tell a program where its windows are
    // (Wayland), and the place in the file is then kept as it is.
    virtual std::optional<std::pair<double, double>> mainWindowPosition() const = 0;
};

class SettingsStore {
public:
    SettingsStore(IniProfile& file, std::string programFolder);

    void LoadSettings(Settings& settings, SettingsWindows& windows);
    // Writes every key; false when the file could not be written.
    bool SaveSettings(const Settings& settings, SettingsWindows& windows);
    bool loaded() const { return m_loaded; }

    InputSettings loadInput() const;
    // False when a key could not be written.
    bool saveInput(const InputSettings& input);
    ShelfSettings loadShelf() const;
    // False when a key could not be written.
    bool saveShelf(const ShelfSettings& shelf);
    RemoteSettings loadRemote() const;
    // False when a key could not be written.
    bool saveRemote(const RemoteSettings& remote);
    VolumeSettings loadVolume() const;
    // False when a key could not be written.
    bool saveVolume(const VolumeSettings& volume);
    InterfaceSettings loadInterface() const;
    // False when the key could not be written.
    bool saveInterface(const InterfaceSettings& interface);

private:
    IniProfile& m_file;
    std::string m_programFolder;
    bool m_loaded = false;
};

} // namespace tremlo
