#pragma once

// What the status panel's controls do: the four large buttons that go down
// while held, the two small eject buttons, the clickable pan, door and
// environment indicators, the ON and OFF keys and sound files dropped on the
// panel.
//
// frmStatus only draws. Once the engine exists, the panel makes one of these,
// which watches the panel and every element through an event filter: it sees
// a key before the element that has the focus, and a mouse press or release
// before the panel's own drag handling, so a click on a button never moves the
// window. The switch itself is the engine's (PressOnButton ...); everything
// else a control starts (dialogs, menus, the pan step, quitting) goes through
// PanelActions, which the wiring provides.
//
// A release is reported to the element the button went down on, wherever the
// pointer is by then, so the large buttons test the release point themselves
// and act only when it is inside; the other elements act on every release.
//
// Thread: the user-interface thread. Positions are logical pixels.

#include "event_pump.h"
#include "melody_engine.h"
#include "panel_actions.h"
#include "settings.h"
#include "sound_loading.h"

#include <QObject>
#include <QPoint>
#include <array>
#include <string>

class QDropEvent;
class QKeyEvent;
class QMouseEvent;

namespace tremlo::art {
struct Picture;
}

namespace tremlo::ui {

class frmStatus;
class PanelPicture;

class PanelControls : public QObject {
public:
    // Takes over input on `panel` and its elements, and lets the panel take
    // dropped files.
    PanelControls(frmStatus& panel, MelodyEngine& engine, SoundLoader& loader, EventPump& pump,
                  const Settings& settings, PanelActions& actions);
    ~PanelControls() override;

    // Loads one dropped sound file from its own folder, and starts it when
    // AutoPlayAtDrop is set; a playlist goes to the shelf.
    void DropFile(const std::string& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A large button and what it shows and does.
    struct LargeButton {
        PanelPicture* element;
        const art::Picture* up;
        const art::Picture* down;
        void (PanelActions::*action)();
    };

    const LargeButton* largeButton(const QObject* element) const;
    bool mousePress(QObject* watched, const QMouseEvent& event);
    bool mouseRelease(QObject* watched, const QMouseEvent& event);
    void releaseLargeButton(const LargeButton& button, const QMouseEvent& event);
    bool key(const QKeyEvent& event);
    bool refusesDropAt(QPoint panelPosition) const;
    bool dragEnter(QDropEvent& event);
    bool dragOver(QDropEvent& event);
    bool drop(QDropEvent& event);

    frmStatus& m_panel;
    MelodyEngine& m_engine;
    SoundLoader& m_loader;
    EventPump& m_pump;
    const Settings& m_settings;
    PanelActions& m_actions;
    std::array<LargeButton, 4> m_largeButtons;
    // Set by a left drag on imgDoor: the window system moved the panel, and
    // the release that ends the move is not a click on the indicator.
    bool m_doorDragged = false;
    // Set by a press on the panel, cleared when it stops being active. The
    // panel takes the switch's keys without a modifier only once the user has
    // chosen it: a compositor that activates every new window (Wayland's
    // do, whatever the window asks) must not make stray typing play.
    bool m_chosenByClick = false;
};

} // namespace tremlo::ui
