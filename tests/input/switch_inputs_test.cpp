// Bindings turned into the four button operations, and captures.

#include "poll_input_loop.h"
#include "recording_buttons.h"
#include "switch_inputs.h"

#include <gtest/gtest.h>

namespace tremlo::input {
namespace {

InputChange change(std::string_view text, bool pressed, bool initial = false) {
    return {*InputControl::parse(text), pressed, initial};
}

struct Step {
    std::string_view control; // empty: the device below went away
    bool pressed;
};

struct Case {
    const char* name;
    InputSettings bindings;
    std::vector<Step> steps;
    const char* log;
};

TEST(SwitchInputs, ChangesPressTheBoundButtonsOnceWithTheKeyboardsGuards) {
    const std::string pad = "controller:button 3@pad";
    const Case cases[] = {
        {"press and release", {pad, "", "", ""}, {{pad, true}, {pad, false}}, "+on -on "},
        {"repeats and a stray release do nothing",
         {pad, "", "", ""},
         {{pad, false}, {pad, true}, {pad, true}, {pad, false}, {pad, false}},
         "+on -on "},
        {"another device's same button is not ours",
         {pad, "", "", ""},
         {{"controller:button 3@other", true}},
         ""},
        {"an empty device in a binding is any device",
         {"controller:button 3@", "", "", ""},
         {{"controller:button 3@other", true}},
         "+on "},
        {"an inverted line presses when it falls",
         {"", "serial:!CTS@/dev/ttyUSB0", "", ""},
         {{"serial:CTS@/dev/ttyUSB0", true}, {"serial:CTS@/dev/ttyUSB0", false}},
         "+off "},
        {"a note without a channel matches every channel",
         {"midi:note 36@pads", "midi:ch 2 cc 64@pads", "", ""},
         {{"midi:ch 10 note 36@pads", true},
          {"midi:ch 1 cc 64@pads", true},
          {"midi:ch 2 cc 64@pads", true}},
         "+on +off "},
        {"a binding without a device lets go when the device goes",
         {"controller:button 3@", "", "", ""},
         {{pad, true}, {"", false}},
         "+on -on "},
        {"a device pulled out while held releases it",
         {pad, "controller:button 4@pad", "", ""},
         {{pad, true}, {"controller:button 4@pad", true}, {"", false}},
         "+on +off -on -off "},
    };
    for (const Case& c : cases) {
        testing::PollInputLoop loop;
        RecordingButtons buttons;
        SwitchInputs inputs(loop, buttons, nullptr);
        inputs.setBindings(c.bindings);
        for (const Step& step : c.steps)
            step.control.empty() ? inputs.deviceGone(SourceKind::Controller, "pad")
                                 : inputs.inputChanged(change(step.control, step.pressed));
        loop.runPending();
        EXPECT_EQ(buttons.log, c.log) << c.name;
    }
}

TEST(InputControl, ABindingTextNeedsAKindAControlAndADevicePart) {
    const struct {
        std::string_view text;
        std::optional<InputControl> control;
    } cases[] = {
        {"k:c@d", InputControl{"k", "c", "d"}},
        {"serial:!CTS@", InputControl{"serial", "!CTS", ""}},
        // The device comes last and may hold anything.
        {"midi:cc 64@Pad@2:Port 1", InputControl{"midi", "cc 64", "Pad@2:Port 1"}},
        {":c@d", std::nullopt},
        {"k:@d", std::nullopt},
        {"k:c", std::nullopt},
        {"k@d", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(InputControl::parse(c.text), c.control) << c.text;
        if (c.control) {
            EXPECT_EQ(c.control->text(), c.text);
        }
    }
}

TEST(SwitchInputs, ACaptureTakesTheFirstThingTheUserDoesAndLeavesTheSwitchAlone) {
    struct CaptureCase {
        std::vector<InputChange> changes;
        const char* answer;
    };
    const CaptureCase cases[] = {
        {{change("controller:button 1@pad", false), change("controller:button 2@pad", true)},
         "controller:button 2@pad"},
        {{change("serial:DSR@/dev/ttyS0", true, true), change("serial:DSR@/dev/ttyS0", false)},
         "serial:!DSR@/dev/ttyS0"},
        {{change("midi:ch 1 note 60@k", true)}, "midi:ch 1 note 60@k"},
    };
    for (const CaptureCase& c : cases) {
        testing::PollInputLoop loop;
        RecordingButtons buttons;
        SwitchInputs inputs(loop, buttons, nullptr);
        inputs.setBindings({"controller:button 2@pad", "", "", ""});
        std::string answer;
        inputs.beginCapture([&](const InputControl& control) { answer = control.text(); });
        for (const InputChange& each : c.changes)
            inputs.inputChanged(each);
        EXPECT_EQ(answer, c.answer);
        EXPECT_FALSE(inputs.capturing());
        loop.runPending();
        EXPECT_EQ(buttons.log, "");
    }
}

} // namespace
} // namespace tremlo::input
