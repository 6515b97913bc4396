#include "settings_store.h"

#include "settings_file.h"

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
    windows.setDoorTimerInterval(settings.DoorDelay + 1);
    windows.setBusyCursor(false);
    m_loaded = true;
}

bool SettingsStore::SaveSettings(const Settings& settings, SettingsWindows& windows) {
    windows.setBusyCursor(true);
    const std::optional<std::pair<double, double>> shown = windows.mainWindowPosition();
    const LoadedSettingsFile stored = shown ? LoadedSettingsFile{} : readWindowPlace(m_file);
    const auto [x, y] = shown.value_or(std::pair(stored.XPosR, stored.YPosR));
    const bool written = writeSettingsFile(m_file, settings, x, y);
    windows.setBusyCursor(false);
    return written;
}

InputSettings SettingsStore::loadInput() const {
    return readInputSettings(m_file);
}

bool SettingsStore::saveInput(const InputSettings& input) {
    return writeInputSettings(m_file, input);
}

ShelfSettings SettingsStore::loadShelf() const {
    return readShelfSettings(m_file);
}

bool SettingsStore::saveShelf(const ShelfSettings& shelf) {
    return writeShelfSettings(m_file, shelf);
}

RemoteSettings SettingsStore::loadRemote() const {
    return readRemoteSettings(m_file);
}

bool SettingsStore::saveRemote(const RemoteSettings& remote) {
    return writeRemoteSettings(m_file, remote);
}

VolumeSettings SettingsStore::loadVolume() const {
    return readVolumeSettings(m_file);
}

bool SettingsStore::saveVolume(const VolumeSettings& volume) {
    return writeVolumeSettings(m_file, volume);
}

InterfaceSettings SettingsStore::loadInterface() const {
    return readInterfaceSettings(m_file);
}

bool SettingsStore::saveInterface(const InterfaceSettings& interface) {
    return writeInterfaceSettings(m_file, interface);
}

} // namespace tremlo
