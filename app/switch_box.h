#pragma once

// The switch box wired to the computer: the device sources, the bindings of
// [Input] and the switch they press, on the program's event loop. Made once
// the melody engine and the status panel exist; the input dialog and the
// system-wide keys reach the bindings through inputs().
//
// Thread: the user-interface thread.

#include "ini_profile.h"
#include "input_source.h"
#include "melody_engine.h"
#include "qt_input_loop.h"
#include "switch_inputs.h"
#include "views.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tremlo {

// The melody engine's four button operations, as the inputs press them.
class EngineSwitchButtons : public input::SwitchButtons {
public:
    explicit EngineSwitchButtons(MelodyEngine& engine) : m_engine(engine) {}
    void press(input::SwitchButton button) override;
    void release(input::SwitchButton button) override;

private:
    MelodyEngine& m_engine;
};

class SwitchBox {
public:
    SwitchBox(MelodyEngine& engine, StatusDisplay& status, IniProfile& settingsFile);
    ~SwitchBox();

    input::SwitchInputs& inputs() { return m_inputs; }
    input::InputLoop& loop() { return m_loop; }
    // Reads [Input] and watches what it names.
    void load();
    // Keeps new bindings and writes them to [Input]. They work at once
    // either way; nullopt once the file holds them as they are, else the
    // message that says they will be gone at the next start.
    std::optional<std::string> save(const InputSettings& input);

private:
    IniProfile& m_settingsFile;
    QtInputLoop m_loop;
    EngineSwitchButtons m_buttons;
    input::SwitchInputs m_inputs;
    std::vector<std::unique_ptr<input::InputSource>> m_sources;
};

} // namespace tremlo
