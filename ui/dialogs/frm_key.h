#pragma once

// frmKey, the key-capture dialog: a small borderless window over the options
// dialog that asks for the key to work the ON or OFF button besides the
// built-in keys. The first key that goes down while it has the focus is the
// answer: its Windows virtual-key code goes into KeyCaptureResult and the
// window closes at once. Every key counts, Shift, Ctrl, Alt and Escape
// included, so nothing cancels it; while it waits, the prompt blinks.
//
// KeyCaptureResult belongs to the caller, who sets it to 0 before opening the
// dialog and reads it afterwards; a value above 0 means a key was captured.
//
// Thread: the user-interface thread. Coordinates are logical pixels.

#include "prompt_blink.h"
#include "timer.h"
#include "virtual_keys.h"

#include <QDialog>
#include <cstdint>

class QGroupBox;
class QLabel;

namespace tremlo::ui {

class frmKey : public QDialog {
public:
    static constexpr QSize kClientSize{529, 89};

    // Centred over `owner` when shown. The prompt starts shown and blinking.
    frmKey(QWidget* owner, TimerFactory& timers, std::int16_t& KeyCaptureResult);

    QGroupBox* Frame1() const { return m_frame1; }
    QLabel* Label1() const { return m_label1; }
    const PromptBlink& blink() const { return m_blink; }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Form_KeyDown(int virtualKey);

    std::int16_t& m_result;
    QGroupBox* m_frame1;
    QLabel* m_label1;
    PromptBlink m_blink;
    KeyRepeats m_repeats;
};

// Runs the dialog modally over `owner`; the key's code, or 0 when the key has
// no virtual-key code.
std::int16_t captureKey(QWidget* owner, TimerFactory& timers);

} // namespace tremlo::ui
