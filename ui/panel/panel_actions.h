#pragma once

// What the status panel's controls do beyond the switch: the wiring gives the
// panel these actions, which run the menus' commands and open their menus.
//
// Thread: the user-interface thread.

#include <QPoint>
#include <string>

class QKeyEvent;

namespace tremlo::ui {

class PanelActions {
public:
    virtual ~PanelActions() = default;
    virtual void stepEffect() = 0;  // imgEFCTButton
    virtual void showOptions() = 0; // imgOPTButton, with stay-on-top lifted around it
    virtual void showAbout() = 0;   // imgVERButton, likewise
    virtual void quit() = 0;        // imgPowerButton: the main window unloads
    virtual void openFile() = 0;    // imgEjectButton 0
    virtual void popupOptionMenu(QPoint globalPosition) = 0; // imgEjectButton 1: mnuTopOption
    virtual void popupDoors(QPoint globalPosition) = 0;      // imgDoor: mnuDoors2
    virtual void popupEnvirs(QPoint globalPosition) = 0;     // imgEnvir: mnuEnvirs2
    virtual void CyclePan() = 0;                             // imgLRButton
    virtual void openPlaylist(const std::string& path) = 0;  // a dropped playlist
    // A key that reached the panel while the user had not chosen it, by a
    // click, since it last became active: it is the switch window's.
    virtual void keyForSwitch(const QKeyEvent& event) = 0;
};

} // namespace tremlo::ui
