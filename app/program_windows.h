#pragma once

// The windows as start-up and the settings see them: message boxes of
// start-up, the main window's place and width, stay-on-top, the door timer,
// the status panel and the other-instance check.
//
// Thread: the user-interface thread.

#include "frm_main.h"
#include "instance_lock.h"
#include "settings_store.h"
#include "startup.h"
#include "status_panel_host.h"
#include "timer.h"

#include <functional>
#include <memory>

namespace tremlo {

class ProgramWindows : public SettingsWindows, public StartupView {
public:
    ProgramWindows(ui::frmMain& mainWindow, StatusPanelHost& panel, Timer& doorTimer);

    // Takes the lock that tells other instances this one runs; false when
    // another instance holds it.
    bool claimInstanceLock();

    // SettingsWindows
    void setBusyCursor(bool busy) override;
    void setSpeedSliderRange(int minimum, int maximum) override;
    bool otherInstanceRunning() const override { return m_otherInstance; }
    void moveMainWindow(double xFraction, double yFraction) override;
    void makeWindowsTopMost() override;
    void setMainWindowWidth(int width) override;
    void setDoorTimerInterval(int ms) override { m_doorTimer.setInterval(ms); }
    std::optional<std::pair<double, double>> mainWindowPosition() const override;

    // StartupView
    bool askRetryAudio(const std::string& text) override;
    void showStartFailure(const std::string& text) override;
    void dropFile(const std::string& path) override { m_main.DropFile(path); }
    void showStatusPanel() override;
    void showEnvir(bool on) override { m_panel.panel().showEnvir(on); }

    // Where the speed slider's range goes once the speed window exists.
    void onSpeedSliderRange(std::function<void(int, int)> apply) {
        m_applyRange = std::move(apply);
    }

private:
    ui::frmMain& m_main;
    StatusPanelHost& m_panel;
    Timer& m_doorTimer;
    std::unique_ptr<InstanceLock> m_lock;
    bool m_otherInstance = false;
    bool m_busy = false;
    std::function<void(int, int)> m_applyRange;
};

} // namespace tremlo
