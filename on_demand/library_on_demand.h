#pragma once

// A shared library opened the first time the program needs it rather than
// before main. FluidSynth and SDL bring thirty-odd libraries with them (JACK,
// PulseAudio, glib, Wayland, a dozen codecs), and loading those costs the
// dynamic loader milliseconds the switch window should not wait for: the
// synthesizer is first needed on the SoundFont's own thread, the sound server
// on the device's warm-up thread.
//
// The program calls the library's functions by their usual names; a file of
// forwarding functions (sndfile_on_demand.cpp, fluidsynth_on_demand.cpp,
// device/sdl_on_demand.cpp, made with forward_on_demand.h) defines those
// names, opens the library on the first call and answers with the function's
// failure value when it cannot be opened.

#include <atomic>
#include <mutex>

namespace tremlo::sound {

class LibraryOnDemand {
public:
    // `resolve` looks up every function the program uses in the opened
    // library and returns false when one is missing.
    using Resolve = bool (*)(void* handle);

    constexpr LibraryOnDemand(const char* soname, Resolve resolve)
        : m_soname(soname), m_resolve(resolve) {}

    // Whether the library and all its functions are there. The first call
    // opens it, from whichever thread makes it; later calls cost one atomic
    // load, so the audio thread may make them.
    bool ready() {
        if (m_ready.load(std::memory_order_acquire))
            return true;
        std::call_once(m_once, [this] { m_ready.store(open(), std::memory_order_release); });
        return m_ready.load(std::memory_order_acquire);
    }

private:
    bool open();

    const char* m_soname;
    Resolve m_resolve;
    std::once_flag m_once;
    std::atomic<bool> m_ready{false};
};

} // namespace tremlo::sound
