#pragma once

// What is loaded and where the switch stands: the sound handles of the
// melody and the fixed sounds, the switch position, the two held buttons, the
// pan and whether a run-out wait is in progress.
//
// One instance lives for the whole run and is passed to everything that
// plays, loads or shows sound. All fields start at zero or empty.
//
// Thread: the user-interface thread only.

#include "sound_handle.h"

#include <string>

namespace tremlo {

using sound::SoundHandle;

enum class SwitchPosition {
    Off,
    Pressed, // ON held down, melody sounding
    Locked,  // ON released but locked in, melody sounding
};

enum class Pan { Centre, Left, Right };

struct PlaybackState {
    SoundHandle MelodyBuffer = 0;  // WAVE melody
    SoundHandle MelodySegment = 0; // MIDI or segment melody; never both at once
    SoundHandle DoorBuffer = 0;
    SoundHandle ClickBuffer = 0;
    SoundHandle NoiseBuffer = 0;
    SoundHandle EnvirBuffer = 0;
    SwitchPosition OnSwitchState = SwitchPosition::Off;
    bool OnButtonDown = false;
    bool OffButtonDown = false;
    Pan PanMode = Pan::Centre;
    bool RunOutActive = false; // setting it false cancels the wait
    // The file the loaded melody came from; empty when none is loaded.
    std::string MelodyPath;
};

} // namespace tremlo
