#include "controllers.h"

#include "virtual_controller.h"

#include <SDL.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <span>
#include <string_view>
#include <sys/inotify.h>
#include <unistd.h>

namespace tremlo::input {
namespace {

// An axis counts as pushed past half its range, and as let go again only
// under three eighths, so that a stick resting near the middle of the two
// does not chatter.
constexpr int kAxisPressed = 16384;
constexpr int kAxisReleased = 12288;

constexpr std::array<std::pair<unsigned, std::string_view>, 4> kHatDirections{{
    {SDL_HAT_UP, "up"},
    {SDL_HAT_DOWN, "down"},
    {SDL_HAT_LEFT, "left"},
    {SDL_HAT_RIGHT, "right"},
}};

void setHints() {
    // A switch box is pressed while the melody program is behind the
    // station's other windows.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // udev tells SDL of a new joystick some time after /dev/input shows it;
    // SDL's own inotify sees it when ours does.
    SDL_SetHint("SDL_JOYSTICK_DISABLE_UDEV", "1");
    // SDL's HIDAPI drivers read hidraw nodes this source does not wait on;
    // through evdev every joystick wakes it the same way.
    SDL_SetHint(SDL_HINT_JOYSTICK_HIDAPI, "0");
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
}

int openNonBlocking(const char* path, int flags) {
    return ::open(path, flags | O_NONBLOCK | O_CLOEXEC);
}

// Empties a descriptor that only says "look now"; false once it has gone
// away for good (a pulled-out device), when it must no longer be watched.
bool drain(int fd) {
    std::array<char, 4096> buffer;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got > 0)
            continue;
        return got < 0 && (errno == EAGAIN || errno == EINTR);
    }
}

std::string guidText(SDL_Joystick* handle) {
    std::array<char, 33> text{};
    SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(handle), text.data(),
                              static_cast<int>(text.size()));
    return text.data();
}

} // namespace

struct ControllerSource::Joystick {
    SDL_Joystick* handle = nullptr;
    std::string guid;
    std::string name;
    int node = -1; // our reader of its evdev node
    int nodeWatch = 0;
    std::vector<bool> buttons;
    std::vector<unsigned> hats;
    std::vector<int> axes; // -1, 0, +1
};

ControllerSource::ControllerSource(InputLoop& loop, InputSink& sink)
    : ControllerSource(loop, sink, [] {
          const char* fifo = std::getenv("TREMLO_VIRTUAL_CONTROLLER");
          return std::string(fifo ? fifo : "");
      }()) {}

ControllerSource::ControllerSource(InputLoop& loop, InputSink& sink,
                                   const std::string& virtualControllerFifo)
    : m_loop(loop), m_sink(sink), m_alive(std::make_shared<bool>(true)) {
    // Later, from the loop: the sound device's thread may be starting SDL's
    // audio now, and the window should not wait for that.
    m_loop.post([this, alive = std::weak_ptr<bool>(m_alive), virtualControllerFifo] {
        if (alive.lock())
            start(virtualControllerFifo);
    });
}

void ControllerSource::start(const std::string& virtualControllerFifo) {
    setHints();
    m_started = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
    if (!m_started)
        return;
    watchDeviceFolder();
    for (int index = 0; index < SDL_NumJoysticks(); ++index)
        open(index);
    if (!virtualControllerFifo.empty()) {
        m_virtual = std::make_unique<VirtualController>(
            m_loop, m_sink,
            [this](SDL_JoystickID instance) -> SDL_Joystick* {
                const auto joystick = m_joysticks.find(instance);
                return joystick == m_joysticks.end() ? nullptr : joystick->second->handle;
            },
            [this] { pump(); });
        m_virtual->start(virtualControllerFifo);
    }
    pump();
}

ControllerSource::~ControllerSource() {
    m_virtual.reset();
    if (m_deviceFolder >= 0) {
        m_loop.unwatch(m_deviceFolderWatch);
        ::close(m_deviceFolder);
    }
    for (auto& [instance, joystick] : m_joysticks) {
        if (joystick->node >= 0) {
            m_loop.unwatch(joystick->nodeWatch);
            ::close(joystick->node);
        }
        SDL_JoystickClose(joystick->handle);
    }
    m_joysticks.clear();
    if (m_started)
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

void ControllerSource::watch(const std::vector<InputControl>& bindings) {
    m_bindings = bindings;
}

void ControllerSource::setListeningToAll(bool all) {
    m_listeningToAll = all;
}

std::vector<FoundDevice> ControllerSource::devices() const {
    std::vector<FoundDevice> found;
    for (const auto& [instance, joystick] : m_joysticks)
        found.push_back({SourceKind::Controller, joystick->guid, joystick->name});
    return found;
}

void ControllerSource::watchDeviceFolder() {
    m_deviceFolder = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // No /dev/input (a machine without any input device): joysticks present
    // at start still work, but none plugged in later.
    if (m_deviceFolder < 0 ||
        ::inotify_add_watch(m_deviceFolder, "/dev/input",
                            IN_CREATE | IN_ATTRIB | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) < 0) {
        if (m_deviceFolder >= 0)
            ::close(m_deviceFolder);
        m_deviceFolder = -1;
        return;
    }
    m_deviceFolderWatch = m_loop.watchReadable(m_deviceFolder, [this] {
        drain(m_deviceFolder);
        pump();
    });
}

void ControllerSource::open(int deviceIndex) {
    const int instance = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    if (instance < 0 || m_joysticks.contains(instance))
        return;
    SDL_Joystick* handle = SDL_JoystickOpen(deviceIndex);
    if (!handle)
        return;
    auto joystick = std::make_unique<Joystick>();
    joystick->handle = handle;
    joystick->guid = guidText(handle);
    const char* name = SDL_JoystickName(handle);
    joystick->name = name ? name : joystick->guid;
    joystick->buttons.resize(static_cast<std::size_t>(std::max(0, SDL_JoystickNumButtons(handle))));
    joystick->hats.resize(static_cast<std::size_t>(std::max(0, SDL_JoystickNumHats(handle))));
    joystick->axes.resize(static_cast<std::size_t>(std::max(0, SDL_JoystickNumAxes(handle))));
    // SDL reads the node itself; ours only wakes the loop when it has
    // something. A virtual joystick has no node: its FIFO wakes it.
    if (const char* path = SDL_JoystickPath(handle);
        path && std::string_view(path).starts_with("/dev/input/")) {
        joystick->node = openNonBlocking(path, O_RDONLY);
        if (joystick->node >= 0) {
            // The callback may end its own watch: nothing of it is used
            // after the call.
            joystick->nodeWatch =
                m_loop.watchReadable(joystick->node, [this, instance] { nodeReadable(instance); });
        }
    }
    Joystick& opened = *m_joysticks.emplace(instance, std::move(joystick)).first->second;
    // What is held already counts, as a level found rather than a press.
    Changes found;
    for (int i = 0; i < static_cast<int>(opened.buttons.size()); ++i)
        setButton(opened, i, SDL_JoystickGetButton(handle, i) != 0, found);
    for (int i = 0; i < static_cast<int>(opened.hats.size()); ++i)
        setHat(opened, i, SDL_JoystickGetHat(handle, i), found);
    for (int i = 0; i < static_cast<int>(opened.axes.size()); ++i)
        setAxis(opened, i, SDL_JoystickGetAxis(handle, i), found);
    report(opened.guid, found, true);
}

void ControllerSource::nodeReadable(int instance) {
    Joystick& joystick = *m_joysticks.at(instance);
    if (!drain(joystick.node)) {
        // Gone: watched on, it would wake the loop for ever. SDL hears of it
        // from /dev/input.
        m_loop.unwatch(joystick.nodeWatch);
        ::close(joystick.node);
        joystick.node = -1;
    }
    pump();
}

void ControllerSource::close(int instance) {
    const auto found = m_joysticks.find(instance);
    if (found == m_joysticks.end())
        return;
    const std::unique_ptr<Joystick> joystick = std::move(found->second);
    m_joysticks.erase(found);
    if (joystick->node >= 0) {
        m_loop.unwatch(joystick->nodeWatch);
        ::close(joystick->node);
    }
    SDL_JoystickClose(joystick->handle);
    if (m_virtual)
        m_virtual->closed(instance);
    m_sink.deviceGone(SourceKind::Controller, joystick->guid);
}

// SDL reads the joysticks and /dev/input and queues what changed; only the
// joystick events are taken, whatever else shares the queue stays.
void ControllerSource::pump() {
    SDL_JoystickUpdate();
    std::array<SDL_Event, 32> events;
    int count = 0;
    while ((count = SDL_PeepEvents(events.data(), static_cast<int>(events.size()), SDL_GETEVENT,
                                   SDL_JOYAXISMOTION, SDL_JOYBATTERYUPDATED)) > 0) {
        for (const SDL_Event& event : std::span(events.data(), static_cast<std::size_t>(count))) {
            if (event.type == SDL_JOYDEVICEADDED) {
                open(event.jdevice.which);
                continue;
            }
            if (event.type == SDL_JOYDEVICEREMOVED) {
                close(event.jdevice.which);
                continue;
            }
            // Every kind of event keeps the instance id in the same place.
            const auto found = m_joysticks.find(event.jbutton.which);
            if (found == m_joysticks.end())
                continue;
            Joystick& joystick = *found->second;
            Changes changes;
            if (event.type == SDL_JOYBUTTONDOWN || event.type == SDL_JOYBUTTONUP)
                setButton(joystick, event.jbutton.button, event.jbutton.state == SDL_PRESSED,
                          changes);
            else if (event.type == SDL_JOYHATMOTION)
                setHat(joystick, event.jhat.hat, event.jhat.value, changes);
            else if (event.type == SDL_JOYAXISMOTION)
                setAxis(joystick, event.jaxis.axis, event.jaxis.value, changes);
            report(joystick.guid, changes, false);
        }
    }
}

void ControllerSource::report(const std::string& guidOfJoystick, const Changes& changes,
                              bool initial) {
    // A copy: nothing of the joystick is touched once the first change is
    // out, whatever the sink does.
    const std::string guid = guidOfJoystick; // NOLINT(performance-unnecessary-copy-initialization)
    for (const auto& [control, pressed] : changes) {
        // A level found at opening is only news when something is held.
        if (!initial || pressed)
            m_sink.inputChanged(
                {InputControl::of(SourceKind::Controller, control, guid), pressed, initial});
    }
}

void ControllerSource::setButton(Joystick& joystick, int button, bool pressed, Changes& changes) {
    if (button < 0 || button >= static_cast<int>(joystick.buttons.size()) ||
        joystick.buttons[button] == pressed)
        return;
    joystick.buttons[button] = pressed;
    changes.emplace_back("button " + std::to_string(button), pressed);
}

void ControllerSource::setHat(Joystick& joystick, int hat, unsigned value, Changes& changes) {
    if (hat < 0 || hat >= static_cast<int>(joystick.hats.size()))
        return;
    const unsigned was = joystick.hats[hat];
    joystick.hats[hat] = value;
    for (const auto& [bit, direction] : kHatDirections)
        if (((was ^ value) & bit) != 0)
            changes.emplace_back("hat " + std::to_string(hat) + " " + std::string(direction),
                                 (value & bit) != 0);
}

void ControllerSource::setAxis(Joystick& joystick, int axis, int value, Changes& changes) {
    if (axis < 0 || axis >= static_cast<int>(joystick.axes.size()))
        return;
    const int was = joystick.axes[axis];
    int now = was;
    if (was > 0 && value < kAxisReleased)
        now = 0;
    if (was < 0 && value > -kAxisReleased)
        now = 0;
    if (value >= kAxisPressed)
        now = 1;
    if (value <= -kAxisPressed)
        now = -1;
    if (now == was)
        return;
    joystick.axes[axis] = now;
    const std::string name = "axis " + std::to_string(axis);
    if (was != 0)
        changes.emplace_back(name + (was > 0 ? " +" : " -"), false);
    if (now != 0)
        changes.emplace_back(name + (now > 0 ? " +" : " -"), true);
}

} // namespace tremlo::input
