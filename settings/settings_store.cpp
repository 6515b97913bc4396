#include "settings_store.h"

#include "settings_file.h"

#include <algorithm>

namespace tremlo {

SettingsStore::SettingsStore(IniProfile& file, std::string programFolder)
    : m_file(file), m_programFolder(std::move(programFolder)) {}

void SettingsStore::LoadSettings(Settings& settings, SettingsWindows& windows) {
    windows.setBusyCursor(true);
    // Every key stands alone; one that cannot be read keeps its field.
    const LoadedSettingsFile place = readSettingsFile(m_file, settings, m_programFolder);
    windows.setSpeedSliderRange(settings.SetFreqSldMin, settings.SetFreqSldMax);
    if (!windows.otherInstanceRunning() && settings.FixWindowPos)
        windows.moveMainWindow(place.XPosR, place.YPosR);
    if (settings.TopMost)
        windows.makeWindowsTopMost();
    windows.setMainWindowWidth(48);
    settings.DoorDelay = std::max<std::int16_t>(settings.DoorDelay, 0);
    settings.DoorThreshold = std::max<std::int16_t>(settings.DoorThreshold, 0);
    windows.setDoorTimerInterval(settings.DoorDelay + 1);
    windows.setBusyCursor(false);
    m_loaded = true;
}

bool SettingsStore::SaveSettings(const Settings& settings, SettingsWindows& windows) {
    windows.setBusyCursor(true);
    const auto [x, y] = windows.mainWindowPosition();
    const bool written = writeSettingsFile(m_file, settings, x, y);
    windows.setBusyCursor(false);
    return written;
}

} // namespace tremlo
