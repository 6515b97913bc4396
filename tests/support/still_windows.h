#pragma once

// Windows that the settings place nowhere: for tests of what the settings and
// their dialogs do, not of where windows go.

#include "settings_store.h"

namespace tremlo::test {

struct StillWindows : SettingsWindows {
    void setBusyCursor(bool) override {}
    void setSpeedSliderRange(int, int) override {}
    bool otherInstanceRunning() const override { return false; }
    void moveMainWindow(double, double) override {}
    void makeWindowsTopMost() override {}
    void setMainWindowWidth(int) override {}
    void setDoorTimerInterval(int) override {}
    std::optional<std::pair<double, double>> mainWindowPosition() const override { return place; }
    // Where the main window is said to be; none as on Wayland.
    std::optional<std::pair<double, double>> place = std::pair(0.25, 0.5);
};

} // namespace tremlo::test
