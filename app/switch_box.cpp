#include "switch_box.h"

#include "controllers.h"
#include "input_settings.h"
#include "midi_input.h"
#include "serial_lines.h"

#include <QCoreApplication>

namespace tremlo {

void EngineSwitchButtons::press(input::SwitchButton button) {
    button == input::SwitchButton::On ? m_engine.PressOnButton() : m_engine.PressOffButton();
}

void EngineSwitchButtons::release(input::SwitchButton button) {
    button == input::SwitchButton::On ? m_engine.ReleaseOnButton() : m_engine.ReleaseOffButton();
}

SwitchBox::SwitchBox(MelodyEngine& engine, StatusDisplay& status, IniProfile& settingsFile)
    : m_settingsFile(settingsFile), m_buttons(engine),
      m_inputs(m_loop, m_buttons,
               [&status](const std::string& text) { status.ShowStatusMessage(text, true); }) {
    // Each device source joins here: m_sources.push_back(...), then
    // m_inputs.addSource(kind, *m_sources.back()).
    m_sources.push_back(std::make_unique<input::MidiSource>(m_loop, m_inputs));
    m_inputs.addSource(input::SourceKind::Midi, *m_sources.back());
    m_sources.push_back(std::make_unique<input::SerialSource>(m_loop, m_inputs));
    m_inputs.addSource(input::SourceKind::Serial, *m_sources.back());
    m_sources.push_back(std::make_unique<input::ControllerSource>(m_loop, m_inputs));
    m_inputs.addSource(input::SourceKind::Controller, *m_sources.back());
}

SwitchBox::~SwitchBox() {
    // The sources go first: a thread of theirs may still post to the loop.
    m_sources.clear();
}

void SwitchBox::load() {
    m_inputs.setBindings(readInputSettings(m_settingsFile));
}

std::optional<std::string> SwitchBox::save(const InputSettings& input) {
    m_inputs.setBindings(input);
    // Read back, since the file drops what it cannot hold as it is (blanks
    // at the end of a value, text that is not UTF-8) without a failed write.
    if (writeInputSettings(m_settingsFile, input) && readInputSettings(m_settingsFile) == input)
        return std::nullopt;
    return QCoreApplication::translate("SwitchBox",
                                       "入力機器の設定を %1 に保存できませんでした。いまの割り当て"
                                       "は次に起動したときには元に戻ります。")
        .arg(QString::fromStdString(m_settingsFile.path()))
        .toStdString();
}

} // namespace tremlo
