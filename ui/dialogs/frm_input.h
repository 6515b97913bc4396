#pragma once

// frmInput, 入力機器の設定: the switch box wired to the computer. It lists
// the controllers, serial devices and MIDI ports found now, binds one input
// each to ON and OFF by capture (the first input the user works is the
// answer, as in the key-capture dialog; Escape is no answer and cancels
// nothing while a capture waits), shows a lamp per binding that lights while
// its input holds the button, and sets the system-wide keys. A capture
// listens to a serial port only when it is bound or selected in the list,
// since listening raises the port's DTR and RTS.
//
// The bindings apply while the dialog is open, so the lamps and the switch
// answer the box at once; OK keeps them and writes [Input], Cancel puts the
// old ones back.
//
// Thread: the user-interface thread. Coordinates are logical pixels.

#include "input_settings.h"
#include "prompt_blink.h"
#include "switch_inputs.h"
#include "timer.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QDialogButtonBox;
class QGroupBox;
class QKeySequenceEdit;
class QLabel;
class QListWidget;
class QPushButton;

namespace tremlo::ui {

struct InputDialogParts {
    input::SwitchInputs& inputs;
    TimerFactory& timers; // the capture prompt's blink
    // Keeps and writes the bindings and grabs the keys; the messages of what
    // could not be done.
    std::function<std::vector<std::string>(const InputSettings&)> apply;
    QWidget* owner = nullptr;
    // How the system-wide keys are bound here and what the desktop granted;
    // none: the plain note.
    std::function<QString()> globalKeysNote = {};
};

// A binding as people read it: "ゲームコントローラー「name」 ボタン 3". A
// device not found now is named by its id and marked 未接続.
QString describeInput(const std::string& bindingText, const std::vector<input::FoundDevice>& found);

class frmInput : public QDialog {
public:
    explicit frmInput(InputDialogParts parts);
    ~frmInput() override;

    const InputSettings& pending() const { return m_pending; }
    // Starts waiting for ON's or OFF's input, as its 取得 button does.
    void capture(input::SwitchButton button);

    QListWidget* lstDevices() const { return m_lstDevices; }
    QLabel* lblInput(input::SwitchButton button) const;
    QLabel* imgLamp(input::SwitchButton button) const;
    QPushButton* cmdCapture(input::SwitchButton button) const;
    QPushButton* cmdClear(input::SwitchButton button) const;
    QKeySequenceEdit* keyGlobal(input::SwitchButton button) const;
    QPushButton* cmdOK() const { return m_cmdOK; }

protected:
    bool event(QEvent* event) override;
    void done(int result) override;

private:
    struct Row {
        QLabel* input = nullptr;
        QLabel* lamp = nullptr;
        QPushButton* capture = nullptr;
        QPushButton* clear = nullptr;
        QKeySequenceEdit* globalKey = nullptr;
    };

    // The constructor's steps, in its order.
    QGroupBox* buildDeviceList();
    QGroupBox* buildBindingRows();
    QGroupBox* buildGlobalKeys();
    QDialogButtonBox* buildButtons();
    void followInputs();

    void refreshDevices();
    void showBindings();
    void showLamps();
    void setBinding(input::SwitchButton button, const std::string& text);
    void stopCapture();
    void cmdOK_Click();
    Row& row(input::SwitchButton button) {
        return m_rows[button == input::SwitchButton::On ? 0 : 1];
    }
    const Row& row(input::SwitchButton button) const {
        return m_rows[button == input::SwitchButton::On ? 0 : 1];
    }

    InputDialogParts m_parts;
    const InputSettings m_original;
    InputSettings m_pending;
    std::vector<input::FoundDevice> m_found;
    Row m_rows[2];
    // Before the child widgets: making one sends the dialog an event, which
    // event() answers by reading it.
    std::optional<input::SwitchButton> m_capturing;
    QListWidget* m_lstDevices;
    QLabel* m_lblPrompt;
    QPushButton* m_cmdOK;
    std::unique_ptr<PromptBlink> m_blink;
};

// Runs the dialog modally over parts.owner.
void showInputDialog(InputDialogParts& parts);

} // namespace tremlo::ui
