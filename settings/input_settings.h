#pragma once

// The switch-box inputs, kept in a section of their own, "[Input]", so the
// program's section keeps its 25 keys and a file without the section
// behaves as before.
//
//   OnInput=serial:DSR@/dev/ttyUSB0      the control bound to ON
//   OffInput=controller:button 2@0300…   the control bound to OFF
//   GlobalOnKey=Ctrl+Shift+F9            a system-wide key for ON
//   GlobalOffKey=                        none
//
// A binding's text is "<kind>:<control>@<device>" (see input_control.h); the
// keys are Qt's portable key-sequence text. Empty means none. A binding
// naming a device that is not plugged in is kept as it is and waited for.
//
// Thread: the user-interface thread.

#include "ini_profile.h"

#include <string>
#include <string_view>

namespace tremlo {

inline constexpr std::string_view kInputSection = "Input";

struct InputSettings {
    std::string OnInput;
    std::string OffInput;
    std::string GlobalOnKey;
    std::string GlobalOffKey;

    bool operator==(const InputSettings&) const = default;
};

InputSettings readInputSettings(const IniProfile& ini);

// All four keys in one replacement of the file; false when any could not be
// written (the file keeps its old value for that key).
bool writeInputSettings(IniProfile& ini, const InputSettings& input);

} // namespace tremlo
