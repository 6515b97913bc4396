#pragma once

// The one record of the user's preferences, shared by the whole program.
//
// Fields carry the names of their keys in the settings file and keep the
// types that file gives them: booleans are 16-bit, -1 for true and 0 for
// false; integers are 16 or 32 bits. Any part of the program reads and writes
// the fields directly; a changed field takes effect at the next operation that
// reads it. Until the settings are loaded every field is zero, false or empty;
// defaultSettings() gives the values a field takes when the file has none.
//
// Thread: the user-interface thread only.

#include <cstdint>
#include <string>

namespace tremlo {

using VbBool = std::int16_t;
inline constexpr VbBool kTrue = -1;
inline constexpr VbBool kFalse = 0;

constexpr VbBool vbBool(bool value) {
    return value ? kTrue : kFalse;
}

struct Settings {
    VbBool TopMost = kFalse;
    VbBool EffectTokyo = kFalse;
    VbBool EffectTachikawa = kFalse;
    VbBool EffectUrawa = kFalse;
    VbBool Door = kFalse;
    std::int16_t DoorDelay = 0;     // ms
    std::int16_t DoorThreshold = 0; // ms
    VbBool DoorCut = kFalse;
    VbBool DoorATOS = kFalse;
    VbBool Noise = kFalse;
    VbBool UsePanel = kFalse;
    VbBool UseEnvir = kFalse;
    VbBool FixWindowPos = kFalse;
    std::int16_t DefExt = 0;
    std::string DefDir;
    std::string DoorWAV;
    std::string EnvirWAV;
    VbBool PlayClickSound = kFalse;
    VbBool NoLockOnButton = kFalse;
    VbBool AutoPlayAtDrop = kFalse;
    std::int16_t AddOnButtonKeyCode = 0;  // Windows virtual-key code
    std::int16_t AddOffButtonKeyCode = 0; // Windows virtual-key code
    std::int32_t SetFreqSldMin = 0;
    std::int32_t SetFreqSldMax = 0;
    double SetFreqCoefficient = 0.0;
    VbBool ShiftForce = kFalse;
};

// The values the fields take when the settings file gives none. Paths are
// made from the program folder (without a trailing separator).
Settings defaultSettings(const std::string& programFolder);

} // namespace tremlo
