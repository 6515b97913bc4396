#pragma once

// The switch box's inputs as the switch sees them: changes from every source
// (controllers, serial lines, MIDI, the system-wide keys) matched against the
// bindings of [Input] and turned into the four button operations, with the
// guards the keyboard has: a repeated press does nothing, and neither does a
// release without a press, so a source that bounces or a device pulled out
// while held cannot leave the switch inconsistent.
//
// The input dialog captures through here too: while a capture is open, the
// first change the user makes is its answer and the switch is left alone.
//
// The button operations run from the event loop, in the order the changes
// came, never from inside a source's report: an operation may wait in a
// nested event loop (a run-out), and a source called again from there would
// find its device freed under it or hand on newer changes before older ones.
// The lamps and the guards follow each change at once.
//
// Thread: the user-interface thread.

#include "input_settings.h"
#include "input_source.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tremlo::input {

// The four button operations, as the melody engine offers them.
class SwitchButtons {
public:
    virtual ~SwitchButtons() = default;
    virtual void press(SwitchButton button) = 0;
    virtual void release(SwitchButton button) = 0;
};

// Where a binding comes from: the two of [Input]'s controls, and the two
// system-wide keys.
enum class BindingSlot { OnInput, OffInput, GlobalOnKey, GlobalOffKey };
inline constexpr int kBindingSlots = 4;

class SwitchInputs : public InputSink {
public:
    SwitchInputs(InputLoop& loop, SwitchButtons& buttons,
                 std::function<void(const std::string&)> showMessage);

    // The bindings of [Input]; each source is told which of its devices to
    // watch. Held controls whose binding changes are released first.
    void setBindings(const InputSettings& input);
    const InputSettings& bindings() const { return m_bindings; }
    void addSource(SourceKind kind, InputSource& source);
    InputSource* source(SourceKind kind) const;
    // Every device the sources see now.
    std::vector<FoundDevice> devices() const;

    // A system-wide key went down (repeats included) or up.
    void globalKey(SwitchButton button, bool pressed);

    // InputSink
    void inputChanged(const InputChange& change) override;
    void deviceGone(SourceKind kind, std::string_view device) override;
    void inputMessage(const std::string& text) override;

    // The first change the user makes while a capture is open is handed to
    // `answer` as a binding (a serial line that opens is bound inverted), and
    // the capture ends. Every source listens to every device meanwhile, but
    // for the serial ports, of which only those bound and those `chosen`
    // (their control left empty) are listened to.
    void beginCapture(std::function<void(const InputControl&)> answer,
                      std::vector<InputControl> chosen = {});
    void endCapture();
    bool capturing() const { return static_cast<bool>(m_capture); }

    // Lit while that binding holds its button down; `changed` runs whenever
    // a lamp changes.
    bool lampLit(BindingSlot slot) const { return m_held[static_cast<int>(slot)]; }
    void onLampsChanged(std::function<void()> changed) { m_lampsChanged = std::move(changed); }

private:
    void setHeld(BindingSlot slot, bool held);
    void watchBoundDevices();
    void listenToAll(bool all);

    struct Source {
        SourceKind kind;
        InputSource* source;
    };

    InputLoop& m_loop;
    SwitchButtons& m_buttons;
    std::function<void(const std::string&)> m_showMessage;
    InputSettings m_bindings;
    std::array<std::optional<InputControl>, 2> m_controls; // OnInput, OffInput parsed
    std::array<bool, kBindingSlots> m_held{};
    std::vector<Source> m_sources;
    std::function<void(const InputControl&)> m_capture;
    std::vector<InputControl> m_chosen; // while a capture is open
    std::function<void()> m_lampsChanged;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true); // for what is posted
};

} // namespace tremlo::input
