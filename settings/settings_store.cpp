#include "settings_store.h"

#include "settings_file.h"

#include <algorithm>

namespace tremlo {

SettingsStore::SettingsStore(IniProfile& file, std::string programFolder)
    : m_file(file), m_programFolder(std::move(programFolder)) {}

void SettingsStore::LoadSettings(Settings& settings, SettingsWindows& windows, MenuChecks& checks) {
    windows.setBusyCursor(true); // 1
    // 2-3: every key stands alone; one that cannot be read keeps its field.
    const LoadedSettingsFile place = readSettingsFile(m_file, settings, m_programFolder);
    windows.setSpeedSliderRange(settings.SetFreqSldMin, settings.SetFreqSldMax); // 4
    if (!windows.otherInstanceRunning() && settings.FixWindowPos)                // 5
        windows.moveMainWindow(place.XPosR, place.YPosR);
    if (settings.TopMost) { // 6
        windows.makeWindowsTopMost();
        checks.mnuTopMost = true;
    }
    checks.mnuUseFadeIn = checks.mnuUseFadeIn2 = settings.EffectTokyo != 0; // 7
    checks.mnuUseFadeOut = checks.mnuUseFadeOut2 = settings.EffectTachikawa != 0;
    checks.mnuEffectUrawa = checks.mnuEffectUrawa2 = settings.EffectUrawa != 0;
    windows.setMainWindowWidth(48);                                     // 8
    settings.DoorDelay = std::max<std::int16_t>(settings.DoorDelay, 0); // 9
    settings.DoorThreshold = std::max<std::int16_t>(settings.DoorThreshold, 0);
    windows.setDoorTimerInterval(settings.DoorDelay + 1); // 10
    windows.setBusyCursor(false);                         // 11
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
