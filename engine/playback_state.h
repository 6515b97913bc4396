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
#include "volume_settings.h"

#include <algorithm>
#include <array>
#include <cstdint>
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
    // What each sound plays at, indexed by VolumeSound, in hundredths of a
    // decibel (0 full level, -10000 silence): the [Volume] settings, or the
    // loaded platform's own. The effects attenuate from here, so Tachikawa's
    // -10 dB stays 10 dB below the melody's volume.
    std::array<std::int32_t, kVolumeSoundCount> Levels{};

    std::int32_t level(VolumeSound sound) const { return Levels[static_cast<std::size_t>(sound)]; }
    // `attenuation` below the sound's level, never below silence.
    std::int32_t levelBelow(VolumeSound sound, std::int32_t attenuation) const {
        return std::max<std::int32_t>(level(sound) + attenuation, -10000);
    }
};

} // namespace tremlo
