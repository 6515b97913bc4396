// 入力機器の設定: captures from each kind of source, live lamps, and what OK
// and Cancel leave behind.

#include "frm_input.h"
#include "offscreen_application.h"
#include "poll_input_loop.h"
#include "virtual_time.h"

#include <QKeySequenceEdit>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

namespace tremlo::test {
namespace {

using input::InputChange;
using input::InputControl;
using input::SwitchButton;

struct FakeSource : input::InputSource {
    explicit FakeSource(input::FoundDevice device) : found(std::move(device)) {}
    void watch(const std::vector<InputControl>& bindings) override { watched = bindings.size(); }
    void setListeningToAll(bool all) override { listening = all; }
    std::vector<input::FoundDevice> devices() const override { return {found}; }
    input::FoundDevice found;
    std::size_t watched = 0;
    bool listening = false;
};

struct CountingButtons : input::SwitchButtons {
    void press(SwitchButton) override { ++presses; }
    void release(SwitchButton) override { ++releases; }
    int presses = 0, releases = 0;
};

class InputDialogTest : public WithApplication, public ::testing::Test {
protected:
    InputDialogTest() {
        inputs.addSource(input::SourceKind::Controller, pad);
        inputs.addSource(input::SourceKind::Serial, line);
        inputs.addSource(input::SourceKind::Midi, pedal);
        inputs.setBindings({"controller:button 1@pad", "", "", ""});
    }
    ui::InputDialogParts parts() {
        return {inputs, time,
                [this](const InputSettings& chosen) {
                    applied = chosen;
                    inputs.setBindings(chosen);
                    return std::vector<std::string>();
                },
                nullptr, [] { return QStringLiteral("ON: granted CTRL+F9"); }};
    }
    void send(std::string_view control, bool pressed) {
        inputs.inputChanged({*InputControl::parse(control), pressed, false});
        loop.runPending();
    }

    VirtualTime time;
    CountingButtons buttons;
    testing::PollInputLoop loop;
    input::SwitchInputs inputs{loop, buttons, nullptr};
    FakeSource pad{{input::SourceKind::Controller, "pad", "Arcade encoder"}};
    FakeSource line{{input::SourceKind::Serial, "/dev/ttyUSB0", "/dev/ttyUSB0"}};
    FakeSource pedal{{input::SourceKind::Midi, "Pedal:0", "Pedal:0"}};
    std::optional<InputSettings> applied;
};

TEST_F(InputDialogTest, EachSourceCapturesWhileEverySourceListensAndTheSwitchStaysStill) {
    struct Case {
        SwitchButton button;
        std::string_view control;
        bool pressed;
        const char* binding;
        const char* shown;
    };
    const Case cases[] = {
        {SwitchButton::Off, "controller:button 2@pad", true, "controller:button 2@pad",
         "ゲームコントローラー「Arcade encoder」 ボタン 2"},
        {SwitchButton::On, "serial:DSR@/dev/ttyUSB0", false, "serial:!DSR@/dev/ttyUSB0",
         "シリアル「/dev/ttyUSB0」 DSR 線（反転）"},
        {SwitchButton::On, "midi:ch 1 cc 64@Pedal:0", true, "midi:ch 1 cc 64@Pedal:0",
         "MIDI「Pedal:0」 チャンネル 1 コントロール 64"},
    };
    for (const Case& c : cases) {
        ui::frmInput dialog(parts());
        EXPECT_EQ(dialog.lstDevices()->count(), 3);
        dialog.capture(c.button);
        EXPECT_TRUE(pad.listening && line.listening && pedal.listening);
        send(c.control, c.pressed);
        EXPECT_FALSE(pad.listening || line.listening || pedal.listening) << c.binding;
        EXPECT_EQ(c.button == SwitchButton::On ? dialog.pending().OnInput
                                               : dialog.pending().OffInput,
                  c.binding);
        EXPECT_EQ(dialog.lblInput(c.button)->text().toStdString(), c.shown);
        EXPECT_EQ(buttons.presses, 0) << c.binding;
    }
}

// Listening to a serial port raises its DTR and RTS: a capture listens to
// one only when it is selected in the list.
TEST_F(InputDialogTest, ACaptureListensToTheSerialPortSelectedAndNoOther) {
    ui::frmInput dialog(parts());
    for (const int row : {-1, 0, 1}) {
        dialog.lstDevices()->setCurrentRow(row);
        dialog.capture(SwitchButton::On);
        EXPECT_EQ(line.watched, row == 1 ? 1U : 0U) << row;
        EXPECT_EQ(pad.watched, 1U) << row;
    }
}

TEST_F(InputDialogTest, NewBindingsWorkAtOnceOkKeepsThemAndCancelPutsTheOldOnesBack) {
    {
        ui::frmInput dialog(parts());
        dialog.capture(SwitchButton::Off);
        send("controller:button 4@pad", true);
        send("controller:button 4@pad", false);
        const QPixmap dark = dialog.imgLamp(SwitchButton::Off)->pixmap();
        send("controller:button 4@pad", true);
        EXPECT_EQ(buttons.presses, 1);
        EXPECT_NE(dialog.imgLamp(SwitchButton::Off)->pixmap().toImage(), dark.toImage());
        send("controller:button 4@pad", false);
        dialog.reject();
    }
    EXPECT_EQ(inputs.bindings().OffInput, "");
    EXPECT_FALSE(applied);

    // What the desktop granted is shown where the keys are set.
    ui::frmInput dialog(parts());
    EXPECT_EQ(dialog.findChild<QLabel*>("lblGlobalNote")->text(), "ON: granted CTRL+F9");
    dialog.cmdClear(SwitchButton::On)->click();
    dialog.keyGlobal(SwitchButton::On)
        ->setKeySequence(QKeySequence(QStringLiteral("Ctrl+Shift+F9")));
    dialog.cmdOK()->click();
    ASSERT_TRUE(applied);
    EXPECT_EQ(*applied, (InputSettings{"", "", "Ctrl+Shift+F9", ""}));
}

} // namespace
} // namespace tremlo::test
