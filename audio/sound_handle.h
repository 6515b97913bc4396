#pragma once

// The name by which the library's user holds a sound: 32 bits, 0 for none.
// Kept apart from the library so that plain state can hold handles without
// the library's whole interface.

#include <cstdint>

namespace tremlo::sound {

using SoundHandle = std::int32_t;

} // namespace tremlo::sound
