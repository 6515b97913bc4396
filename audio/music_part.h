#pragma once

// The music side of the library: the synthesizer with its SoundFont and the
// loaded segments.
//
// The SoundFont takes tens of milliseconds to load, so the first init() starts
// a loader thread and returns at once; the loader hands the finished
// synthesizer to the mixer's sequencer under the mixer lock. A segment played
// before then starts as soon as the synthesizer arrives. quit() and a later
// init() keep the synthesizer, so re-opening the music part costs nothing.
// A held music part's loader waits for release() before it starts; one
// never released loads nothing. A synthesizer that cannot be made (a damaged
// SoundFont, FluidSynth missing) fails the music part for good: init() then
// answers false, so music is never reported as working when it cannot sound.
//
// Thread: the user-interface thread calls everything here; the loader thread
// only builds the synthesizer and publishes it.

#include "handle_table.h"
#include "mixer.h"
#include "sequence.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// NOLINTNEXTLINE(bugprone-reserved-identifier): FluidSynth's own name
typedef struct _fluid_hashtable_t fluid_settings_t;

namespace tremlo::sound {

// The best General MIDI SoundFont installed, or empty.
std::string findSoundFont();

class MusicPart {
public:
    static constexpr std::size_t kMaxSegments = 256;
    static constexpr int kSegmentHandleKind = 1;

    MusicPart(Mixer& mixer, std::string soundFontPath, bool loadNow, bool held);
    ~MusicPart();
    MusicPart(const MusicPart&) = delete;
    MusicPart& operator=(const MusicPart&) = delete;

    bool init(int outputRate);
    void quit();
    bool ready() const { return m_ready.load(std::memory_order_acquire); }
    void release();
    // Releases a hold and waits for the loader; true when the synthesizer is ready.
    bool waitForSynth();

    std::int32_t load(const std::string& path);
    void free(std::int32_t& handle);
    void freeAll();
    // `held`: it waits unrendered for Mixer::releaseHeldLocked.
    void play(std::int32_t handle, bool held);
    void stop(std::int32_t handle);
    bool isPlaying(std::int32_t handle) const;
    std::int32_t lengthMs(std::int32_t handle) const;
    std::int32_t seekMs(std::int32_t handle) const;
    std::int32_t passEndMs(std::int32_t handle) const;
    void setMasterVolume(int volume);

private:
    enum class Gate { Held, Open, Closed };

    bool loadSynth(int outputRate);
    bool waitForGate();

    Mixer& m_mixer;
    std::string m_soundFontPath;
    bool m_loadNow;
    bool m_open = false;
    std::thread m_loader;
    std::mutex m_gateLock;
    std::condition_variable m_gateChanged;
    Gate m_gate;
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_failed{false};
    fluid_settings_t* m_settings = nullptr;
    // NOLINTNEXTLINE(bugprone-reserved-identifier): FluidSynth's own name
    struct _fluid_synth_t* m_synth = nullptr;
    HandleTable<const Sequence, kMaxSegments, kSegmentHandleKind> m_segments;
};

} // namespace tremlo::sound
