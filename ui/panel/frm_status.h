#pragma once

// frmStatus, the status panel: a borderless strip that sits beside the switch
// and shows what is loaded, the two lamps (melody, door announcement), the pan,
// door, environment and effect indicators, and a flashing status message.
//
// How it is built: the window paints its face picture and holds its elements
// as children, each named by its program name (imgStatusLED0, lblStatus, ...)
// so the menus and tests find them. Pictures are PanelPicture labels that know
// which picture they show and fetch it again when the screen's pixel ratio
// changes. The message blinking lives in StatusFlash on an injected timer; the
// window only forwards the label's visibility. The panel is dragged by its face
// and by the elements that have no click of their own, through the window
// system's own move.
//
// The engine reaches the panel through StatusLamps and StatusDisplay; the menus
// through the show* setters. What the buttons, keys and drops do is
// PanelControls', which connect() puts on the panel once the engine exists;
// until then the panel only shows. A panel made again after it was closed starts
// from its design state, so whoever re-creates it calls showCurrentState()
// right after.
//
// Thread: the user-interface thread. Coordinates are logical pixels.

#include "panel_picture.h"
#include "playback_state.h"
#include "settings.h"
#include "status_flash.h"
#include "timer.h"
#include "views.h"
#include "window_drag.h"

#include <QSet>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <string>

class QLabel;

namespace tremlo {
class EventPump;
class MelodyEngine;
class SoundLoader;
} // namespace tremlo

namespace tremlo::ui {

class PanelActions;
class PanelControls;

// The point size of lblFileInfo on a screen of the given logical DPI: 9 pt at
// 96 DPI, smaller on denser settings, so the file line keeps its width in
// pixels and long names fit the status window as they were laid out.
double fileInfoPointSize(double logicalDpi);

class frmStatus : public QWidget, public StatusLamps, public StatusDisplay {
    Q_OBJECT
public:
    // Builds the panel in its design state, places it beside the main window
    // whose frame is `mainFrame`, and shows the lamps dark, the effect, door
    // and button pictures per `settings`. The window is not shown.
    frmStatus(const Settings& settings, TimerFactory& timers, const QRect& mainFrame,
              QWidget* parent = nullptr);
    ~frmStatus() override;

    // Gives the buttons, keys and drops their work. A panel made again is
    // connected again.
    void connect(MelodyEngine& engine, SoundLoader& loader, EventPump& pump, Settings& settings,
                 PanelActions& actions);
    // The signal-and-slot connect stays callable beside the one above.
    using QObject::connect;
    // Loads one sound file from its own folder, and starts it when
    // AutoPlayAtDrop is set. Does nothing on a panel not connected.
    void DropFile(const std::string& path);

    // Top edge level with the main window, left edge 1.15 main-window widths
    // to the right of the main window's left edge.
    void placeBeside(const QRect& mainFrame);

    void setStatusLED(Lamp lamp, bool lit) override;
    void setFileInfo(const std::string& text) override;
    void ShowStatusMessage(const std::string& text, bool flash) override;
    // The REC lamp: "REC 1:23" while recording, with the sound lost to a
    // slow disk after it; hidden when `on` is false.
    void showRecording(bool on, std::int64_t elapsedMs, std::int64_t lostMs);

    void showPan(Pan mode);
    void showDoor(bool on);
    void showEnvir(bool on);
    void showEffects(bool tokyo, bool tachikawa, bool urawa);
    // Brings a freshly made panel up to date: file line, lamps, pan, door,
    // environment and effect indicators. Staying on top is the window
    // placement's business (SetTopMost), not the panel's.
    // `statusMessage` is the last message shown, if any: it goes into the
    // label with its flash already over.
    void showCurrentState(const Settings& settings, const PlaybackState& state,
                          const std::string& fileInfo, bool melodyLampLit, bool doorLampLit,
                          const std::optional<std::string>& statusMessage = std::nullopt);

    QWidget* picStatusWindow() const { return m_picStatusWindow; }
    PanelPicture* imgLRButton() const { return m_imgLRButton; }
    PanelPicture* imgDoor() const { return m_imgDoor; }
    PanelPicture* imgEnvir() const { return m_imgEnvir; }
    PanelPicture* imgEffect(int index) const { return m_imgEffect.at(index); }
    QLabel* lblFileInfo() const { return m_lblFileInfo; }
    QLabel* lblStatus() const { return m_lblStatus; }
    QLabel* lblRecording() const { return m_lblRecording; }
    PanelPicture* imgEjectButton(int index) const { return m_imgEjectButton.at(index); }
    PanelPicture* imgStatusLED(int index) const { return m_imgStatusLED.at(index); }
    PanelPicture* imgEFCTButton() const { return m_imgEFCTButton; }
    PanelPicture* imgVERButton() const { return m_imgVERButton; }
    PanelPicture* imgOPTButton() const { return m_imgOPTButton; }
    PanelPicture* imgPowerButton() const { return m_imgPowerButton; }
    const StatusFlash& tmrStatusFlash() const { return *m_flash; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Hands the drag to the window system; tests count the calls instead.
    virtual void beginWindowMove(const QMouseEvent& event);

private:
    void buildStatusWindow();
    void buildFace();
    void initialise(const QRect& mainFrame);
    void load(const Settings& settings);
    PanelPicture* addPicture(const QString& name, const QRect& bounds, QWidget* parent,
                             const QString& toolTip, bool clickable);
    void releaseMenuButtons();
    void refreshPictures();
    void maybeMove(const QMouseEvent& event);

    QPixmap m_face;

    QWidget* m_picStatusWindow = nullptr;
    PanelPicture* m_imgLRButton = nullptr;
    PanelPicture* m_imgDoor = nullptr;
    PanelPicture* m_imgEnvir = nullptr;
    std::array<PanelPicture*, 3> m_imgEffect{}; // Tokyo, Tachikawa, Urawa
    QLabel* m_lblFileInfo = nullptr;
    QLabel* m_lblStatus = nullptr;
    QLabel* m_lblRecording = nullptr;

    std::array<PanelPicture*, 2> m_imgEjectButton{};
    std::array<PanelPicture*, 2> m_imgStatusLED{}; // indexed by Lamp
    PanelPicture* m_imgEFCTButton = nullptr;
    PanelPicture* m_imgVERButton = nullptr;
    PanelPicture* m_imgOPTButton = nullptr;
    PanelPicture* m_imgPowerButton = nullptr;

    // Every element's mouse moves pass through eventFilter; those of the
    // elements here drag the panel.
    QSet<const QObject*> m_dragHandles;

    std::unique_ptr<StatusFlash> m_flash;
    WindowDrag m_drag;
    std::unique_ptr<PanelControls> m_controls;
};

} // namespace tremlo::ui
