#include "input_control.h"

namespace tremlo::input {

std::string_view kindText(SourceKind kind) {
    switch (kind) {
    case SourceKind::Controller:
        return "controller";
    case SourceKind::Serial:
        return "serial";
    case SourceKind::Midi:
        return "midi";
    }
    return {};
}

InputControl InputControl::of(SourceKind kind, std::string control, std::string device) {
    return {std::string(kindText(kind)), std::move(control), std::move(device)};
}

std::string InputControl::text() const {
    return kind + ":" + control + "@" + device;
}

std::optional<InputControl> InputControl::parse(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    const std::size_t at = text.find('@', colon + 1);
    if (at == std::string_view::npos || at == colon + 1)
        return std::nullopt;
    return InputControl{std::string(text.substr(0, colon)),
                        std::string(text.substr(colon + 1, at - colon - 1)),
                        std::string(text.substr(at + 1))};
}

namespace {

// "ch 10 note 36" → "note 36"; anything else as it is.
std::string_view withoutChannel(std::string_view control) {
    if (control.substr(0, 3) != "ch ")
        return control;
    const std::size_t space = control.find(' ', 3);
    return space == std::string_view::npos ? control : control.substr(space + 1);
}

} // namespace

bool bindingMatches(const InputControl& binding, const InputControl& reported, bool& inverted) {
    if (binding.kind != reported.kind ||
        (!binding.device.empty() && binding.device != reported.device))
        return false;
    std::string_view bound = binding.control;
    inverted = !bound.empty() && bound.front() == '!';
    if (inverted)
        bound.remove_prefix(1);
    if (bound == reported.control)
        return true;
    return binding.is(SourceKind::Midi) && bound == withoutChannel(bound) &&
           bound == withoutChannel(reported.control);
}

} // namespace tremlo::input
