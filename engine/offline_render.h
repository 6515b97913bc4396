#pragma once

// An offline render: a script of switch operations played through the
// program's own engine (the same switch, timers, effects, door announcement,
// ambience and run-outs as a live run) on an offline device, driven by a
// SampleClock instead of the wall clock, and written to a sound file as fast
// as the machine allows. The same script gives the same file, byte for byte.
//
// Nothing of the user's is changed: the settings are read from a private
// copy (the shelf writes its position as it steps), temporary copies of
// melodies go into a private folder, and the output is written as a file
// without a name that takes the output's name, whole, once every frame is
// written and read back. A script that cannot run to its end (see
// render_script.h), a melody that cannot be loaded, a disk that fails or a
// request to stop leaves no output at all, and no part of one; a process
// killed outright leaves at most the private folder.
//
// Thread: the calling thread does everything; no Qt.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tremlo {

struct RenderJob {
    std::string scriptPath;
    std::string outputPath; // FLAC, or WAVE by its ending
    // Loaded as a file named on the command line is; empty for the shelf's
    // melody of the last run, as a live run without one does.
    std::string melodyPath;
    std::string settingsPath; // read, never written
    // The user named the settings file: one that is not there is refused
    // rather than rendered with the defaults, as a live first run would be.
    bool settingsNamed = false;
    std::string programFolder; // the fixed sounds, Door and Envir
    std::vector<std::string> melodyFolders;
    // Frames a second of the output; 0 for 44.1 kHz when every WAVE the
    // performance plays has that rate and plays at its own speed, else 48 kHz.
    int rate = 0;
    // Where the SoundFont is; empty for the best one installed.
    std::string soundFontPath;
    // Asked now and then (every few thousand frames); true ends the render
    // with nothing written. Any thread may make it true.
    std::function<bool()> stopRequested;
};

// Told now and then while the render runs: seconds written and seconds in
// all. A render made again at another rate starts telling from 0 again.
using RenderProgress = std::function<void(std::int64_t doneSeconds, std::int64_t totalSeconds)>;

// Nullopt when the whole performance is in the output, else what stopped it.
std::optional<std::string> renderPerformance(const RenderJob& job, const RenderProgress& progress);

} // namespace tremlo
