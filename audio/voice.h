#pragma once

// One WAVE buffer with its playback state: the unit that dsCreateDSB makes and
// the mixer plays.
//
// Thread: made and destroyed on the user-interface thread, outside the mixer
// lock (that is where the resampler is allocated and freed). The ...Locked
// control calls run on the user-interface thread with the mixer lock held;
// mixInto runs on the audio thread with the same lock held. isPlaying() and
// positionFrames() are atomics read without the lock.
//
// Units: positions and lengths in frames of the buffer's own rate; volume and
// pan in hundredths of a decibel; frequency in samples per second.

#include "sample_data.h"

#include <atomic>
#include <cstdint>
#include <memory>

typedef struct SRC_STATE_tag SRC_STATE;

namespace tremlo::sound {

// Work space of the audio thread, allocated once with the mixer.
struct MixScratch {
    static constexpr int kInputFrames = 8192;
    static constexpr int kOutputFrames = 1024;
    float input[kInputFrames * 2];
    float resampled[kOutputFrames * 2];
};

float gainOfVolume(int volume);

class Voice {
public:
    // Gain changes glide over this many frames (under 1.5 ms): long enough
    // that a sudden silencing does not click, short enough to count as "at
    // once".
    static constexpr int kGainRampFrames = 64;

    // Returns nothing when the resampler cannot be made.
    static std::unique_ptr<Voice> create(std::shared_ptr<const SampleData> data);
    ~Voice();
    Voice(const Voice&) = delete;
    Voice& operator=(const Voice&) = delete;

    const SampleData& data() const { return *m_data; }
    bool isPlaying() const { return m_playing.load(std::memory_order_acquire); }
    std::int64_t positionFrames() const { return m_positionFrames.load(std::memory_order_acquire); }
    // The rate it plays at now; only the user-interface thread sets it, so
    // that thread reads it without the lock.
    int frequency() const { return m_frequency; }
    // Started, not yet finished or stopped, and not held back; under the
    // mixer lock.
    bool activeLocked() const { return m_active && !m_held; }
    // Held, a started voice waits unrendered (SoundLibrary::holdStarts).
    bool heldLocked() const { return m_held; }
    void setHeldLocked(bool held) { m_held = held; }
    // Whether the last mixInto went through the resampler; audio thread.
    bool resampling() const { return m_resampling; }

    void playLocked(bool looping);
    void stopLocked();
    void setVolumeLocked(int volume);
    void setPanLocked(int pan);
    void setFrequencyLocked(int samplesPerSecond);
    void setPositionLocked(std::int64_t frame);

    // What commands changed since the last period, for writing again the
    // frames the server still holds (Mixer::rewrite): kFresh, render it from
    // where it is now; kRemoved, take out what it added; kRegain, what it
    // added was at gainsBeforeLocked() and is now at the new gains.
    enum Change : std::uint8_t { kFresh = 1, kRemoved = 2, kRegain = 4 };
    std::uint8_t changesLocked() const { return m_changes; }
    void clearChangesLocked() { m_changes = 0; }
    const float* gainsBeforeLocked() const { return m_gainBefore; }
    const float* targetGainsLocked() const { return m_targetGain; }
    // Those frames were written again at the new gains: no glide is left.
    void settleGainLocked();
    // The mixer's record of what this voice added (-1 for none), and the
    // frame up to which it added to the mix without one.
    int historySlotLocked() const { return m_historySlot; }
    void setHistorySlotLocked(int slot) { m_historySlot = slot; }
    std::int64_t unrecordedUntilLocked() const { return m_unrecordedUntil; }
    void setUnrecordedUntilLocked(std::int64_t frame) { m_unrecordedUntil = frame; }

    // Adds up to `frames` frames (at most MixScratch::kOutputFrames) of this
    // voice into stereoOut.
    void mixInto(float* stereoOut, int frames, int outputRate, MixScratch& scratch) noexcept;

private:
    explicit Voice(std::shared_ptr<const SampleData> data, SRC_STATE* resampler);

    void updateGainsLocked();
    bool soundingLocked() const { return m_active && !m_held; }
    void finish() noexcept;
    void mixDirect(float* stereoOut, int frames, MixScratch& scratch) noexcept;
    void mixResampled(float* stereoOut, int frames, int outputRate, MixScratch& scratch) noexcept;
    void beginResampling(int outputRate) noexcept;
    int readInput(float* out, int frames) noexcept;
    void addWithGain(const float* in, int frames, float* stereoOut) noexcept;

    std::shared_ptr<const SampleData> m_data;
    SRC_STATE* m_resampler;

    // Control, set by the user-interface thread.
    int m_volume = 0;
    int m_pan = 0;
    int m_frequency;
    bool m_looping = false;
    bool m_active = false;
    bool m_held = false;
    bool m_restart = false;

    // Render state, owned by the audio thread once m_active is set.
    std::int64_t m_position = 0;
    bool m_resampling = false;
    bool m_inputEnded = false;
    std::int64_t m_discardFrames = 0;
    float m_gain[2] = {1.0f, 1.0f};
    float m_targetGain[2] = {1.0f, 1.0f};
    float m_gainStep[2] = {0.0f, 0.0f};
    int m_rampFrames = 0;

    std::uint8_t m_changes = 0;
    float m_gainBefore[2] = {1.0f, 1.0f};
    int m_historySlot = -1;
    std::int64_t m_unrecordedUntil = 0;

    std::atomic<bool> m_playing{false};
    std::atomic<std::int64_t> m_positionFrames{0};
};

} // namespace tremlo::sound
