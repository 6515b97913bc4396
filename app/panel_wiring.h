#pragma once

// The status panel joined to the commands: the panel and the windows'
// stacking as the commands see them (PanelView, WindowStacking), and the
// panel's buttons running the menus' handlers (PanelActions).
//
// Thread: the user-interface thread.

#include "commands.h"
#include "frm_main.h"
#include "frm_menus.h"
#include "menu_commands.h"
#include "panel_actions.h"
#include "status_panel_host.h"

namespace tremlo {

class PanelViewOverHost : public PanelView, public WindowStacking {
public:
    PanelViewOverHost(StatusPanelHost& host, ui::frmMain& mainWindow)
        : m_host(host), m_main(mainWindow) {}

    void showDoor(bool on) override { m_host.panel().showDoor(on); }
    void showEnvir(bool on) override { m_host.panel().showEnvir(on); }
    void showEffects(bool tokyo, bool tachikawa, bool urawa) override {
        m_host.panel().showEffects(tokyo, tachikawa, urawa);
    }
    void showPan(Pan mode) override { m_host.panel().showPan(mode); }
    void showPanel() override;
    void unloadPanel() override { m_host.unload(); }

    void setTopMost(ProgramWindow window, bool topMost) override;

private:
    StatusPanelHost& m_host;
    ui::frmMain& m_main;
};

class PanelActionsOverCommands : public ui::PanelActions {
public:
    PanelActionsOverCommands(ui::MenuCommands& commands, ui::frmMenus& menus,
                             StatusPanelHost& panel, ui::frmMain& mainWindow)
        : m_commands(commands), m_menus(menus), m_panel(panel), m_main(mainWindow) {}

    void stepEffect() override { m_commands.stepEffect(); }
    void showOptions() override { m_commands.mnuOptions_Click(); }
    void showAbout() override { m_commands.mnuAbout_Click(); }
    void quit() override { m_commands.mnuExit_Click(); }
    void openFile() override { m_commands.mnuFileOpen_Click(); }
    // Only the panel's own clicks open these, so the panel is there.
    void popupOptionMenu(QPoint at) override { m_menus.popupTopOption(at, &m_panel.panel()); }
    void popupDoors(QPoint at) override { m_menus.popupDoors2(at, &m_panel.panel()); }
    void popupEnvirs(QPoint at) override { m_menus.popupEnvirs2(at, &m_panel.panel()); }
    void CyclePan() override { m_commands.CyclePan(); }
    void openPlaylist(const std::string& path) override { m_commands.openPlaylist(path); }
    void keyForSwitch(const QKeyEvent& event) override;

private:
    ui::MenuCommands& m_commands;
    ui::frmMenus& m_menus;
    StatusPanelHost& m_panel;
    ui::frmMain& m_main;
};

} // namespace tremlo
