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

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
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
    // Runs a task once the current event is handled. A load, or an OFF
    // that lets the melody run out, lets window events run while it waits,
    // and a remote's call can be one of them, so no command runs inside the
    // call that asked for it. Without it commands run at once (tests).
    std::function<void(std::function<void()>)> later;
    // Held while a run of steps and files loads, so that what is saved of
    // each (the shelf's position) is written once the run has settled.
    std::function<void(bool held)> holdSaves;
};

// The engine's button operations for presses, releases and clicks (a press
// and its release, so the lock and spring modes behave as for a mouse
// click) and the shelf's commands for steps; `openFile` loads as a drop;
// `later` posts to Qt's event loop.
SwitchActions engineActions(MelodyEngine& engine, Commands& commands,
                            std::function<void(const std::string& path)> openFile);

// Who sent a command: a phone's connection or an OSC sender, so that what
// it holds is let go when it goes. kNoClient for whole clicks.
using ClientId = std::uint64_t;
inline constexpr ClientId kNoClient = 0;

class RemoteSwitch : public SwitchView, public StatusLamps, public MainWindowView {
public:
    RemoteSwitch(const PlaybackState& state, const sound::SoundLibrary& library,
                 SwitchView& switchView, StatusLamps& lamps, MainWindowView& mainWindow);

    void setActions(SwitchActions actions) { m_actions = std::move(actions); }
    // Steps and files are loaded later, one load at a time: a step or file
    // asked for while one loads replaces any still waiting, so a flood of
    // them costs one more load, not one each.
    void command(const RemoteCommand& command, ClientId client = kNoClient);
    void openFile(const std::string& path);

    ClientId newClient() { return ++m_lastClient; }
    bool holds(ClientId client, RemoteCommand::Button button) const;
    // The buttons `client` holds are released, unless another client still
    // holds them: a phone that drops mid-press must not keep OFF refused.
    void letGo(ClientId client);

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
    void post(std::function<void()> task);
    void load(std::variant<int, std::string> what);
    void loadWaiting();

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
    struct Held {
        ClientId client;
        RemoteCommand::Button button;
        bool operator==(const Held&) const = default;
    };
    std::vector<Held> m_held;
    ClientId m_lastClient = kNoClient;
    // A step (its direction) or a file, waiting for the load in flight.
    std::optional<std::variant<int, std::string>> m_waiting;
    bool m_loadPosted = false;
    bool m_loading = false;
    // Tells a posted load whether this object is still there.
    std::shared_ptr<RemoteSwitch*> m_self = std::make_shared<RemoteSwitch*>(this);
};

} // namespace tremlo::remote
