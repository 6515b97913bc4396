#include "switch_inputs.h"

namespace tremlo::input {

namespace {

SwitchButton buttonOf(BindingSlot slot) {
    return slot == BindingSlot::OnInput || slot == BindingSlot::GlobalOnKey ? SwitchButton::On
                                                                            : SwitchButton::Off;
}

constexpr std::array<BindingSlot, 2> kControlSlots{BindingSlot::OnInput, BindingSlot::OffInput};

} // namespace

SwitchInputs::SwitchInputs(InputLoop& loop, SwitchButtons& buttons,
                           std::function<void(const std::string&)> showMessage)
    : m_loop(loop), m_buttons(buttons), m_showMessage(std::move(showMessage)) {}

void SwitchInputs::setBindings(const InputSettings& input) {
    const std::array<std::optional<InputControl>, 2> controls{InputControl::parse(input.OnInput),
                                                              InputControl::parse(input.OffInput)};
    for (int i = 0; i < 2; ++i)
        if (controls[i] != m_controls[i])
            setHeld(kControlSlots[i], false);
    if (input.GlobalOnKey != m_bindings.GlobalOnKey)
        setHeld(BindingSlot::GlobalOnKey, false);
    if (input.GlobalOffKey != m_bindings.GlobalOffKey)
        setHeld(BindingSlot::GlobalOffKey, false);
    m_bindings = input;
    m_controls = controls;
    if (!m_capture)
        watchBoundDevices();
}

void SwitchInputs::addSource(SourceKind kind, InputSource& source) {
    m_sources.push_back({kind, &source});
    watchBoundDevices();
}

InputSource* SwitchInputs::source(SourceKind kind) const {
    for (const Source& each : m_sources)
        if (each.kind == kind)
            return each.source;
    return nullptr;
}

std::vector<FoundDevice> SwitchInputs::devices() const {
    std::vector<FoundDevice> found;
    for (const Source& each : m_sources) {
        std::vector<FoundDevice> ofSource = each.source->devices();
        found.insert(found.end(), ofSource.begin(), ofSource.end());
    }
    return found;
}

void SwitchInputs::watchBoundDevices() {
    for (const Source& each : m_sources) {
        std::vector<InputControl> bound;
        for (const std::optional<InputControl>& control : m_controls)
            if (control && control->is(each.kind))
                bound.push_back(*control);
        for (const InputControl& control : m_chosen)
            if (control.is(each.kind))
                bound.push_back(control);
        each.source->watch(bound);
    }
}

void SwitchInputs::listenToAll(bool all) {
    for (const Source& each : m_sources)
        each.source->setListeningToAll(all);
}

void SwitchInputs::globalKey(SwitchButton button, bool pressed) {
    if (m_capture)
        return;
    setHeld(button == SwitchButton::On ? BindingSlot::GlobalOnKey : BindingSlot::GlobalOffKey,
            pressed);
}

void SwitchInputs::inputChanged(const InputChange& change) {
    if (m_capture) {
        if (change.initial)
            return;
        // A switch wired to open its line when pressed shows itself by a
        // line that falls; a controller's release is only the end of a press
        // that began before the capture.
        if (!change.pressed && !change.control.is(SourceKind::Serial))
            return;
        InputControl answer = change.control;
        if (!change.pressed)
            answer.control = "!" + answer.control;
        auto capture = std::move(m_capture);
        endCapture();
        capture(answer);
        return;
    }
    for (int i = 0; i < 2; ++i) {
        bool inverted = false;
        if (m_controls[i] && bindingMatches(*m_controls[i], change.control, inverted))
            setHeld(kControlSlots[i], change.pressed != inverted);
    }
}

void SwitchInputs::deviceGone(SourceKind kind, std::string_view device) {
    for (int i = 0; i < 2; ++i)
        if (m_controls[i] && m_controls[i]->is(kind) &&
            (m_controls[i]->device.empty() || m_controls[i]->device == device))
            setHeld(kControlSlots[i], false);
}

void SwitchInputs::inputMessage(const std::string& text) {
    if (m_showMessage)
        m_showMessage(text);
}

void SwitchInputs::beginCapture(std::function<void(const InputControl&)> answer,
                                std::vector<InputControl> chosen) {
    m_capture = std::move(answer);
    m_chosen = std::move(chosen);
    listenToAll(true);
    watchBoundDevices();
}

void SwitchInputs::endCapture() {
    m_capture = nullptr;
    m_chosen.clear();
    listenToAll(false);
    watchBoundDevices();
}

void SwitchInputs::setHeld(BindingSlot slot, bool held) {
    bool& current = m_held[static_cast<int>(slot)];
    if (current == held)
        return;
    current = held;
    m_loop.post([alive = std::weak_ptr<bool>(m_alive), &buttons = m_buttons,
                 button = buttonOf(slot), held] {
        if (!alive.lock())
            return;
        if (held)
            buttons.press(button);
        else
            buttons.release(button);
    });
    if (m_lampsChanged)
        m_lampsChanged();
}

} // namespace tremlo::input
