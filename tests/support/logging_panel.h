#pragma once

// The status panel and the windows' stacking as the commands see them, with
// a log of what they were asked to do, in order. Stay-on-top is also made on
// two real windows, named "main" and "panel".

#include "commands.h"
#include "window_placement.h"

#include <QWidget>
#include <string>
#include <vector>

namespace tremlo::test {

using Log = std::vector<std::string>;

struct LoggingPanel : PanelView, WindowStacking {
    explicit LoggingPanel(Log& log) : log(log) {
        window.setObjectName("panel");
        mainWindow.setObjectName("main");
    }
    void showDoor(bool on) override { log.push_back(on ? "door on" : "door off"); }
    void showEnvir(bool on) override { log.push_back(on ? "envir on" : "envir off"); }
    void showEffects(bool tokyo, bool tachikawa, bool urawa) override {
        log.push_back(std::string("effects ") + "-T"[tokyo] + "-C"[tachikawa] + "-U"[urawa]);
    }
    void showPan(Pan mode) override { log.push_back("pan " + std::to_string(int(mode))); }
    void showPanel() override { log.push_back("show panel"); }
    void unloadPanel() override { log.push_back("unload panel"); }
    void setTopMost(ProgramWindow which, bool topMost) override {
        QWidget& target = which == ProgramWindow::Main ? mainWindow : window;
        log.push_back(target.objectName().toStdString() + (topMost ? " top" : " normal"));
        SetTopMost(&target, topMost);
    }

    Log& log;
    QWidget window;
    QWidget mainWindow;
};

} // namespace tremlo::test
