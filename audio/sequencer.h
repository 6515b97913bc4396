#pragma once

// Plays one Sequence into the FluidSynth synthesizer, pass after pass, inside
// the mixer.
//
// The synthesizer is rendered in pieces that end exactly at event times, so
// every event sounds on its own frame and positions are exact. One segment
// sounds at a time; playing another one replaces it.
//
// Thread: the ...Locked calls run on the user-interface thread (or the loader
// thread, for setSynthLocked) with the mixer lock held; render runs on the
// audio thread with the same lock held. playingHandle() and positionFrames()
// are atomics read without the lock.
//
// Units: frames of the output rate; master volume in hundredths of a decibel.

#include "sequence.h"

#include <atomic>
#include <cstdint>

// NOLINTNEXTLINE(bugprone-reserved-identifier): FluidSynth's own name
typedef struct _fluid_synth_t fluid_synth_t;

namespace tremlo::sound {

class Sequencer {
public:
    void setOutputRateLocked(int rate) { m_rate = rate; }
    void setSynthLocked(fluid_synth_t* synth);
    fluid_synth_t* synthLocked() const { return m_synth; }

    void playLocked(const Sequence* sequence, std::int32_t handle);
    void stopLocked();
    void setMasterVolumeLocked(int volume);

    std::int32_t playingHandle() const { return m_playingHandle.load(std::memory_order_acquire); }
    std::int64_t positionFrames() const { return m_positionFrames.load(std::memory_order_acquire); }
    int outputRate() const { return m_rate; }
    // A segment is playing, or waits for the synthesizer to play, and is not
    // held back; under the mixer lock.
    bool playsLocked() const { return m_sequence != nullptr && !m_held; }
    // Held, a started segment waits unrendered (SoundLibrary::holdStarts).
    bool heldLocked() const { return m_held; }
    void setHeldLocked(bool held) { m_held = held; }

    // Adds `frames` frames of music into stereoOut; scratch holds as many
    // stereo frames.
    void render(float* stereoOut, int frames, float* scratch) noexcept;

private:
    std::int64_t frameOf(std::int64_t timeUs) const noexcept;
    void dispatch(const SequenceEvent& event) noexcept;
    void resetSynth() noexcept;
    int renderSynth(float* stereoOut, int frames, float* scratch) noexcept;

    static constexpr unsigned kDrumBank = 128;

    fluid_synth_t* m_synth = nullptr;
    int m_channelCount = 0;
    int m_rate = 48000;
    const Sequence* m_sequence = nullptr;
    bool m_held = false;
    bool m_resetPending = false;
    std::int64_t m_position = 0;
    std::int64_t m_lengthFrames = 0;
    // Where a pass ends and where the next one starts, in frames; the first
    // event of the next pass.
    std::int64_t m_loopEndFrames = 0;
    std::int64_t m_loopStartFrames = 0;
    std::size_t m_loopStartEvent = 0;
    std::size_t m_nextEvent = 0;
    float m_masterGain = 1.0f;
    float m_appliedMasterGain = 1.0f;

    std::atomic<std::int32_t> m_playingHandle{0};
    std::atomic<std::int64_t> m_positionFrames{0};
};

} // namespace tremlo::sound
