#pragma once

// The switch as every remote control sees it: what it can be told
// (RemoteCommand, a file to load) and what it shows (RemoteState), the same
// for the desktop's media controls, OSC and the phone page.
//
// How the parts talk: the engine and the loader show themselves through this
// object's views, which pass everything on to the windows unchanged and then
// tell the remotes when the state they show has changed. A remote's command
// goes to the actions the program wires in: the engine's button operations
// and the shelf's commands, never anything a window does not do itself.
//
// Thread: the user-interface thread.

#include "commands.h"
#include "melody_engine.h"
#include "playback_state.h"
#include "remote_policy.h"
#include "sound_library.h"
#include "views.h"

#include <functional>
#include <string>
#include <vector>

namespace tremlo::remote {

enum class SwitchShown { Off, Pressed, Locked };

struct RemoteState {
    bool melody = false; // the melody lamp: the melody sounds
    bool door = false;   // the door lamp: the announcement sounds
    SwitchShown switchShown = SwitchShown::Off;
    std::string title;         // the loaded melody's file name, without its ending
    std::string path;          // that file; empty when none is loaded
    std::int32_t lengthMs = 0; // one pass of it; 0 when not known
    bool operator==(const RemoteState&) const = default;
};

const char* switchText(SwitchShown shown);

struct SwitchActions {
    std::function<void(const RemoteCommand&)> command;
    // Loads a melody as a drop on the switch does.
    std::function<void(const std::string& path)> openFile;
};

// The engine's button operations for presses, releases and clicks (a press
// and its release, so the lock and spring modes behave as for a mouse
// click) and the shelf's commands for steps; `openFile` loads as a drop.
SwitchActions engineActions(MelodyEngine& engine, Commands& commands,
                            std::function<void(const std::string& path)> openFile);

class RemoteSwitch : public SwitchView, public StatusLamps, public MainWindowView {
public:
    RemoteSwitch(const PlaybackState& state, const sound::SoundLibrary& library,
                 SwitchView& switchView, StatusLamps& lamps, MainWindowView& mainWindow);

    void setActions(SwitchActions actions) { m_actions = std::move(actions); }
    void command(const RemoteCommand& command);
    void openFile(const std::string& path);

    const RemoteState& state() const { return m_shown; }
    // Called after each change of the state, with the new one.
    void onChange(std::function<void(const RemoteState&)> listener);
    // For remotes that go before the engine does: it may still show things
    // as it is taken down.
    void forgetListeners() { m_listeners.clear(); }

    void setOnPicture(OnPicture picture) override;
    void setOffPicture(OffPicture picture) override;
    void repaint() override;
    void setStatusLED(Lamp lamp, bool lit) override;
    void setCaption(const std::string& caption) override;
    void setTitleBarToolTip(const std::string& text) override;
    void BringToFront() override;

private:
    void publish();

    const PlaybackState& m_state;
    const sound::SoundLibrary& m_library;
    SwitchView& m_switchView;
    StatusLamps& m_lamps;
    MainWindowView& m_mainWindow;
    SwitchActions m_actions;
    // The lamps are known only from what the engine shows on them.
    bool m_melodyLit = false;
    bool m_doorLit = false;
    OnPicture m_onPicture = OnPicture::imgOnA;
    // What the remotes were last told.
    RemoteState m_shown;
    std::vector<std::function<void(const RemoteState&)>> m_listeners;
};

} // namespace tremlo::remote
