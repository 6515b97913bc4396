#include "remote_switch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <filesystem>

namespace tremlo::remote {

const char* switchText(SwitchShown shown) {
    switch (shown) {
    case SwitchShown::Pressed:
        return "pressed";
    case SwitchShown::Locked:
        return "locked";
    case SwitchShown::Off:
        break;
    }
    return "off";
}

SwitchActions engineActions(MelodyEngine& engine, Commands& commands,
                            std::function<void(const std::string& path)> openFile) {
    auto command = [&engine, &commands](const RemoteCommand& command) {
        using Kind = RemoteCommand::Kind;
        const bool on = command.button == RemoteCommand::Button::On;
        switch (command.kind) {
        case Kind::Step:
            command.step > 0 ? commands.nextMelody() : commands.previousMelody();
            return;
        case Kind::Press:
            on ? engine.PressOnButton() : engine.PressOffButton();
            return;
        case Kind::Release:
            on ? engine.ReleaseOnButton() : engine.ReleaseOffButton();
            return;
        case Kind::Click:
            on ? engine.PressOnButton() : engine.PressOffButton();
            on ? engine.ReleaseOnButton() : engine.ReleaseOffButton();
            return;
        }
    };
    auto later = [](std::function<void()> task) {
        // The queued call owns its copy of the task and frees it once run,
        // or with the application; the analyzer cannot see into Qt's queue.
        // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks)
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task),
                                  Qt::QueuedConnection);
    };
    auto holdSaves = [&commands](bool held) { commands.holdShelfSaves(held); };
    return {command, std::move(openFile), later, holdSaves};
}

RemoteSwitch::RemoteSwitch(const PlaybackState& state, const sound::SoundLibrary& library,
                           SwitchView& switchView, StatusLamps& lamps, MainWindowView& mainWindow)
    : m_state(state), m_library(library), m_switchView(switchView), m_lamps(lamps),
      m_mainWindow(mainWindow) {}

void RemoteSwitch::command(const RemoteCommand& command, ClientId client) {
    using Kind = RemoteCommand::Kind;
    if (command.kind == Kind::Step) {
        load(command.step);
        return;
    }
    if (client != kNoClient && command.kind == Kind::Press && !holds(client, command.button))
        m_held.push_back({client, command.button});
    if (command.kind == Kind::Release)
        std::erase(m_held, Held{client, command.button});
    post([this, command] {
        if (m_actions.command)
            m_actions.command(command);
    });
}

// Each on its own, so that a press that comes while an OFF waits for the
// melody to run out is taken at once, as the window's would be.
void RemoteSwitch::post(std::function<void()> task) {
    if (!m_actions.later) {
        task();
        return;
    }
    m_actions.later([self = std::weak_ptr<RemoteSwitch*>(m_self), task = std::move(task)] {
        if (self.lock())
            task();
    });
}

void RemoteSwitch::openFile(const std::string& path) {
    load(path);
}

bool RemoteSwitch::holds(ClientId client, RemoteCommand::Button button) const {
    return std::find(m_held.begin(), m_held.end(), Held{client, button}) != m_held.end();
}

void RemoteSwitch::letGo(ClientId client) {
    std::vector<RemoteCommand::Button> released;
    for (const Held& held : m_held)
        if (held.client == client)
            released.push_back(held.button);
    std::erase_if(m_held, [client](const Held& held) { return held.client == client; });
    for (const auto button : released) {
        const bool stillHeld =
            std::any_of(m_held.begin(), m_held.end(),
                        [button](const Held& held) { return held.button == button; });
        if (!stillHeld)
            post([this, button] {
                if (m_actions.command)
                    m_actions.command({RemoteCommand::Kind::Release, button});
            });
    }
}

void RemoteSwitch::load(std::variant<int, std::string> what) {
    m_waiting = std::move(what);
    if (m_loading || m_loadPosted)
        return;
    m_loadPosted = true;
    post([this] { loadWaiting(); });
}

void RemoteSwitch::loadWaiting() {
    m_loadPosted = false;
    m_loading = true;
    if (m_actions.holdSaves)
        m_actions.holdSaves(true);
    while (m_waiting) {
        auto what = std::move(*m_waiting);
        m_waiting.reset();
        if (const int* step = std::get_if<int>(&what)) {
            if (m_actions.command)
                m_actions.command({RemoteCommand::Kind::Step, RemoteCommand::Button::On, *step});
        } else if (m_actions.openFile) {
            m_actions.openFile(std::get<std::string>(what));
        }
    }
    m_loading = false;
    if (m_actions.holdSaves)
        m_actions.holdSaves(false);
}

void RemoteSwitch::onChange(std::function<void(const RemoteState&)> listener) {
    m_listeners.push_back(std::move(listener));
}

void RemoteSwitch::setOnPicture(OnPicture picture) {
    m_switchView.setOnPicture(picture);
    m_onPicture = picture;
    publish();
}

void RemoteSwitch::setOffPicture(OffPicture picture) {
    m_switchView.setOffPicture(picture);
}

void RemoteSwitch::repaint() {
    m_switchView.repaint();
}

void RemoteSwitch::setStatusLED(Lamp lamp, bool lit) {
    m_lamps.setStatusLED(lamp, lit);
    (lamp == Lamp::Melody ? m_melodyLit : m_doorLit) = lit;
    publish();
}

void RemoteSwitch::setCaption(const std::string& caption) {
    m_mainWindow.setCaption(caption);
    publish();
}

void RemoteSwitch::setTitleBarToolTip(const std::string& text) {
    m_mainWindow.setTitleBarToolTip(text);
}

void RemoteSwitch::BringToFront() {
    m_mainWindow.BringToFront();
}

void RemoteSwitch::publish() {
    RemoteState now;
    now.melody = m_melodyLit;
    now.door = m_doorLit;
    // The picture, not the position: the engine moves the picture first.
    switch (m_onPicture) {
    case OnPicture::imgOnA:
        now.switchShown = SwitchShown::Off;
        break;
    case OnPicture::imgOnB:
        now.switchShown = SwitchShown::Pressed;
        break;
    case OnPicture::imgOnC:
        now.switchShown = SwitchShown::Locked;
        break;
    }
    now.path = m_state.MelodyPath;
    now.title = std::filesystem::path(m_state.MelodyPath).stem().string();
    if (m_state.MelodyBuffer)
        now.lengthMs = m_library.dsGetBufferMSec(m_state.MelodyBuffer);
    else if (m_state.MelodySegment)
        now.lengthMs = m_library.dsGetLengthMSec(m_state.MelodySegment);
    if (now == m_shown)
        return;
    m_shown = std::move(now);
    for (const auto& listener : m_listeners)
        listener(m_shown);
}

} // namespace tremlo::remote
