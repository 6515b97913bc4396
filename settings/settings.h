#pragma once

// The one record of the user's preferences, shared by the whole program.
//
// Fields carry the names of their keys in the settings file, where each is
// declared once with its default (settings_keys.h). Flags are plain bools:
// the file's Yes/No forms live only in the settings file code. Integers keep
// the widths the file's values are limited to (16 or 32 bits). Any part of
// the program reads and writes the fields directly; a changed field takes
// effect at the next operation that reads it. Until the settings are loaded
// every field is zero, false or empty, so a record nobody loaded turns every
// option off; defaultSettings() gives the values a field takes when the file
// has none.
//
// Thread: the user-interface thread only.

#include <cstdint>
#include <string>

namespace tremlo {

struct Settings {
    bool TopMost = false;
    bool EffectTokyo = false;
    bool EffectTachikawa = false;
    bool EffectUrawa = false;
    bool Door = false;
    std::int16_t DoorDelay = 0;     // ms
    std::int16_t DoorThreshold = 0; // ms
    bool DoorCut = false;
    bool DoorATOS = false;
    bool Noise = false;
    bool UsePanel = false;
    bool UseEnvir = false;
    bool FixWindowPos = false;
    std::int16_t DefExt = 0;
    std::string DefDir;
    std::string DoorWAV;
    std::string EnvirWAV;
    bool PlayClickSound = false;
    bool NoLockOnButton = false;
    bool AutoPlayAtDrop = false;
    std::int16_t AddOnButtonKeyCode = 0;  // Windows virtual-key code
    std::int16_t AddOffButtonKeyCode = 0; // Windows virtual-key code
    std::int32_t SetFreqSldMin = 0;
    std::int32_t SetFreqSldMax = 0;
    double SetFreqCoefficient = 0.0;
    bool ShiftForce = false;
};

// The values the fields take when the settings file gives none. Paths are
// made from the program folder (without a trailing separator).
Settings defaultSettings(const std::string& programFolder);

} // namespace tremlo
