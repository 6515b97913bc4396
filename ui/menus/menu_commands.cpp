#include "menu_commands.h"

#include "frm_add_platform.h"

#include <QWidget>

namespace tremlo::ui {

MenuCommands::MenuCommands(Commands& commands, const Settings& settings, SoundLoader& loader,
                           QWidget& mainWindow, CommandDialogs dialogs, std::string programFolder)
    : m_commands(commands), m_settings(settings), m_loader(loader), m_mainWindow(mainWindow),
      m_dialogs(std::move(dialogs)), m_programFolder(std::move(programFolder)) {}

void MenuCommands::mnuFileOpen_Click() {
    // The dialog and the loader each may fail; the command then just ends.
    // The loader tells the user of an unreadable file itself, and an opened
    // file, unlike a dropped one, is never started; a playlist loads its
    // first entry as a drop does, since it is a shelf the user steps along.
    try {
        const std::string path = m_dialogs.showOpenFileDialog ? m_dialogs.showOpenFileDialog() : "";
        if (isPlaylistPath(path))
            m_commands.openPlaylist(path);
        else if (!path.empty())
            m_loader.LoadSoundFile(path);
    } catch (...) {
    }
}

void MenuCommands::mnuAddToStationSet_Click() {
    std::optional<PlatformNames> names;
    m_commands.runModal([&] { names = askPlatformNames(&m_mainWindow); });
    if (names)
        m_commands.addToStationSet(names->line, names->station, names->platform);
}

void MenuCommands::mnuVolume_Click() {
    if (m_dialogs.showVolume)
        m_dialogs.showVolume();
}

void MenuCommands::mnuPan_Click(int index) {
    if (index < 0 || index > static_cast<int>(Pan::Right))
        return;
    m_commands.setPan(static_cast<Pan>(index));
}

// A document that cannot be opened is not reported.
void MenuCommands::mnuHelp_Click() {
    if (m_dialogs.openDocument)
        m_dialogs.openDocument(m_programFolder + "/Readme.html");
}

// The main window's unload frees the sounds, saves the settings and ends the
// process.
void MenuCommands::mnuExit_Click() {
    m_mainWindow.close();
}

} // namespace tremlo::ui
