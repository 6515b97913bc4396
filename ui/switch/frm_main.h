#pragma once

// The switch window: a small borderless picture of the station's push-button
// box, with the ON key above the OFF key and a grip along the top.
//
// It only routes input: presses and releases of the keys (by any mouse
// button, or by the keyboard) go to the melody engine's four button
// operations; a right press elsewhere asks for the shortcut menu; a left drag
// elsewhere moves the window; dropped sound files are loaded through DropFile.
// The keys take the focus by Tab, and the Menu key or Shift+F10 asks for the
// shortcut menu as a right press does.
// Shift+Right and Shift+Left step along the melody shelf, and a dropped
// playlist becomes the shelf; both through the commands the wiring gives.
// It shows what the engine tells it through SwitchView and MainWindowView.
//
// Thread: the user-interface thread.

#include "event_pump.h"
#include "melody_engine.h"
#include "settings.h"
#include "sound_loading.h"
#include "views.h"
#include "virtual_keys.h"
#include "window_drag.h"

#include <QPixmap>
#include <QWidget>
#include <functional>
#include <string>

namespace tremlo::ui {

class PictureElement;

class frmMain : public QWidget, public SwitchView, public MainWindowView {
public:
    static constexpr int kWidth = 48;
    static constexpr int kHeight = 95;

    explicit frmMain(Settings& settings);

    // The engine, the loader and the event pump exist after the window, since
    // they show themselves through it.
    void connectEngine(MelodyEngine& engine, SoundLoader& loader, EventPump& pump);
    // Asked for at a right press on the background or the grip, with the
    // pointer's position on the screen.
    void onShortcutMenu(std::function<void(QPoint)> open) { m_openShortcutMenu = std::move(open); }
    // 次のメロディ (+1) and 前のメロディ (-1), asked for by the keys.
    void onStepMelody(std::function<void(int)> step) { m_stepMelody = std::move(step); }
    // A playlist dropped or named on the command line.
    void onPlaylist(std::function<void(const std::string&)> open) {
        m_openPlaylist = std::move(open);
    }
    // Runs when the window is closed: the program's shut-down.
    void onUnload(std::function<void()> unload) { m_unload = std::move(unload); }

    // Loads one sound file, and starts it when AutoPlayAtDrop is set; a
    // playlist goes to the shelf.
    void DropFile(const std::string& path);

    // SwitchView
    void setOnPicture(OnPicture picture) override;
    void setOffPicture(OffPicture picture) override;
    void repaint() override { QWidget::repaint(); }

    // MainWindowView
    void setCaption(const std::string& caption) override;
    void setTitleBarToolTip(const std::string& text) override;
    void BringToFront() override;

    QWidget* imgOn() const;
    QWidget* imgOff() const;
    QWidget* imgTitleBar() const { return m_titleBar; }
    // Whether ON stays down when let go (the lock is in effect).
    bool onKeyLocks() const { return !m_settings.NoLockOnButton; }
    // Whether `key` shows itself pushed in: what the switch position looks
    // like from outside, for assistive technology.
    bool keyShownDown(const QWidget* key) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    Settings& m_settings;
    MelodyEngine* m_engine = nullptr;
    SoundLoader* m_loader = nullptr;
    EventPump* m_pump = nullptr;
    PictureElement* m_on;
    PictureElement* m_off;
    QWidget* m_titleBar;
    QPixmap m_body;
    WindowDrag m_drag;
    std::function<void(QPoint)> m_openShortcutMenu;
    std::function<void()> m_unload;
    std::function<void(int)> m_stepMelody;
    std::function<void(const std::string&)> m_openPlaylist;
    KeyRepeats m_repeats;
};

} // namespace tremlo::ui
