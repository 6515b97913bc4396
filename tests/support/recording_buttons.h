#pragma once

// The switch's four button operations as the inputs press them, written down
// in order: "+on -on +off ".

#include "switch_inputs.h"

#include <string>

namespace tremlo::input {

struct RecordingButtons : SwitchButtons {
    void press(SwitchButton b) override { log += b == SwitchButton::On ? "+on " : "+off "; }
    void release(SwitchButton b) override { log += b == SwitchButton::On ? "-on " : "-off "; }
    std::string log;
};

} // namespace tremlo::input
