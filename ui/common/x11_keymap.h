#pragma once

// What a key makes in the X server's keymap, for telling the layout's keys
// apart (see virtual_keys.h).
//
// Thread: the user-interface thread.

#include "virtual_keys.h"

#include <cstdint>

namespace tremlo {

// The symbols of X key code `xKeyCode` in the keyboard's active group, read
// afresh from the server so a layout switched while the program runs
// counts. Empty when the program does not run on X.
KeySymbols x11KeySymbols(std::uint32_t xKeyCode);

} // namespace tremlo
