#pragma once

// Taking one sound file that was dropped on a window or named on the command
// line: its folder becomes the current folder, it is loaded, the windows get
// to draw it, and it starts at once when AutoPlayAtDrop is set.
//
// Thread: the user-interface thread.

#include "event_pump.h"
#include "melody_engine.h"
#include "settings.h"
#include "sound_loading.h"

#include <string>

namespace tremlo {

// Touches nothing of the window it came from after the events have run, so
// that window may close meanwhile.
void dropSoundFile(const std::string& path, SoundLoader& loader, EventPump& pump,
                   const Settings& settings, MelodyEngine& engine);

// The same without entering the file's folder: for a file another program
// names, which has no say over where this one stands.
void openSoundFile(const std::string& path, SoundLoader& loader, EventPump& pump,
                   const Settings& settings, MelodyEngine& engine);

} // namespace tremlo
