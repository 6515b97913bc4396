#pragma once

// The narrow views through which the engine shows what it does. The windows
// implement them; tests record them.
//
// Thread: the user-interface thread.

#include <string>

namespace tremlo {

// Picture holders of the switch keys, copied into imgOn and imgOff.
enum class OnPicture { imgOnA, imgOnB, imgOnC }; // raised, pushed in, locked in
enum class OffPicture { imgOffA, imgOffB };      // raised, pushed in

class SwitchView {
public:
    virtual ~SwitchView() = default;
    virtual void setOnPicture(OnPicture picture) = 0;
    virtual void setOffPicture(OffPicture picture) = 0;
    // Paints the switch at once, before anything sounds or stops.
    virtual void repaint() = 0;
};

// The lamps of the status panel: imgStatusLED(0) is the melody lamp,
// imgStatusLED(1) the door lamp; each shows imgLED(0) (dark) or imgLED(1) (lit).
enum class Lamp { Melody = 0, Door = 1 };

class StatusLamps {
public:
    virtual ~StatusLamps() = default;
    virtual void setStatusLED(Lamp lamp, bool lit) = 0;
};

// The status panel as the loader sees it: the file label lblFileInfo and the
// flashing status message.
class StatusDisplay {
public:
    virtual ~StatusDisplay() = default;
    virtual void setFileInfo(const std::string& text) = 0;
    virtual void ShowStatusMessage(const std::string& text, bool flash) = 0;
};

// The main window as the loader sees it.
class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    virtual void setCaption(const std::string& caption) = 0;
    // The tooltip of imgTitleBar.
    virtual void setTitleBarToolTip(const std::string& text) = 0;
    virtual void BringToFront() = 0;
};

enum class MessageIcon { None, Warning, Error };

// Message boxes, the wait pointer and the desktop's list of recently used
// documents.
class UserFeedback {
public:
    virtual ~UserFeedback() = default;
    // A box with only an OK button; returns when the user has closed it.
    virtual void showMessage(const std::string& text, const std::string& title,
                             MessageIcon icon) = 0;
    virtual void setWaitCursor(bool waiting) = 0;
    virtual void addRecentDocument(const std::string& path) = 0;
};

} // namespace tremlo
