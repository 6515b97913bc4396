#pragma once

// What is loaded and where the switch stands: the sound handles of the
// melody and the fixed sounds, the switch position, the two held buttons, the
// pan and whether a run-out wait is in progress.
//
// One instance lives for the whole run and is passed to everything that
// plays, loads or shows sound. All fields start at zero.
//
// Thread: the user-interface thread only.

#include "settings.h"
#include "sound_library.h"

#include <cstdint>

namespace tremlo {

using sound::SoundHandle;

enum : std::int16_t {
    kSwitchOff = 0,
    kSwitchPressed = 1, // ON held down, melody sounding
    kSwitchLocked = 2,  // ON released but locked in, melody sounding
};

enum : std::int16_t {
    kPanCentre = 0,
    kPanLeft = 1,
    kPanRight = 2,
};

struct PlaybackState {
    SoundHandle MelodyBuffer = 0;  // WAVE melody
    SoundHandle MelodySegment = 0; // MIDI or segment melody; never both at once
    SoundHandle DoorBuffer = 0;
    SoundHandle ClickBuffer = 0;
    SoundHandle NoiseBuffer = 0;
    SoundHandle EnvirBuffer = 0;
    std::int16_t OnSwitchState = kSwitchOff;
    VbBool OnButtonDown = kFalse;
    VbBool OffButtonDown = kFalse;
    std::int16_t PanMode = kPanCentre;
    VbBool RunOutActive = kFalse; // setting it false cancels the wait
};

} // namespace tremlo
