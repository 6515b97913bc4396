#pragma once

// Sums every sounding voice and the music into the output.
//
// Thread: render runs on the audio thread and holds the lock for one period;
// the user-interface thread takes the same lock for a few assignments at a
// time (see the ...Locked calls of Voice and Sequencer). Nothing under the
// lock allocates, frees, decodes or touches a file. render waits for the lock
// only so long (see kLockWaitLimit); past that the period is silence and
// missedPeriods() counts it.

#include "frame_ring.h"
#include "handle_table.h"
#include "output_tap.h"
#include "sequencer.h"
#include "voice.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace tremlo::sound {

class Mixer {
public:
    static constexpr std::size_t kMaxBuffers = 1024;
    static constexpr int kBufferHandleKind = 0;
    using VoiceTable = HandleTable<Voice, kMaxBuffers, kBufferHandleKind>;

    Mixer();

    std::mutex& lock() { return m_lock; }
    // The table is changed only on the user-interface thread, under the lock.
    VoiceTable& voicesLocked() { return m_voices; }
    Voice* findVoice(std::int32_t handle) const { return m_voices.find(handle); }
    Sequencer& sequencerLocked() { return m_sequencer; }
    const Sequencer& sequencer() const { return m_sequencer; }

    void setOutputRateLocked(int rate);
    // Lets every held voice and segment sound from the next period; true
    // when one was held.
    bool releaseHeldLocked();
    int outputRate() const { return m_rate; }

    // False when the frames are silence and no voice or segment is left
    // playing, so that nothing moves until something is started.
    bool render(float* stereoOut, std::size_t frames) noexcept;
    static bool renderCallback(void* mixer, float* stereoOut, std::size_t frames) noexcept;

    // Renders again the last `frames` frames handed out (at most
    // kRewriteFrames) with what commands started, stopped, moved or turned
    // up or down since the last period, as if they had come `frames` frames
    // earlier, into stereoOut; answers how many of the last frames it wrote
    // there, 0 when nothing changed that it can write again. A voice whose
    // earlier part cannot be taken out again is left to change at the next
    // period. Audio thread.
    std::size_t rewrite(float* stereoOut, std::size_t frames) noexcept;
    static std::size_t rewriteCallback(void* mixer, float* stereoOut, std::size_t frames) noexcept;
    static constexpr std::size_t kRewriteFrames = 8192;

    // Hands every frame the device gets to `tap` (null for none) from the
    // next period on, once no rewrite can change it any more (kRewriteFrames
    // later); the old tap gets the rest of its frames before this returns,
    // and the audio thread is done with it. While a tap listens the device
    // never rests, so that what it hears is continuous. User-interface
    // thread.
    void setOutputTap(OutputTap* tap) noexcept;

    // Periods rendered as silence because the lock stayed taken; any thread.
    std::uint64_t missedPeriods() const { return m_missedPeriods.load(std::memory_order_relaxed); }
    // Blocks in which a voice was resampled to the output's rate; any thread.
    std::uint64_t resampledBlocks() const {
        return m_resampledBlocks.load(std::memory_order_relaxed);
    }

private:
    // A command holds the lock for well under a microsecond, so a longer wait
    // means its thread was preempted while holding it, and blocking then lasts
    // until the scheduler brings that thread back. Measured with
    // `mixer_bench lock` (a thread sending commands without pause against one
    // asking lock-free queries, load average 6 to 8 on two cores): callbacks
    // blocking on the lock took 20 ms at the 99.9th percentile and 96 ms at
    // worst, against 0.4 ms and 12 ms with only queries; the sound server holds
    // a period or more ahead, 5.3 ms at the shortest (see device/). A quarter of a
    // 256-frame period is the longest wait that still leaves the period its
    // render time; past it one period of silence is the shorter gap. Under
    // that same unbroken stream of commands about one period in ten was given
    // up; a real user sends a few a second.
    // A queue of commands drained by the audio thread would never wait at all,
    // but is not taken: every query answers at once from state a command has
    // already changed (dsIsPlaying right after dsPlay), which a queue would
    // have to rebuild on the user-interface thread.
    static constexpr std::chrono::microseconds kLockWaitLimit{1300};

    // What one voice added to the mix over the last frames. It is kept
    // while any of them may still be written again: a short sound that has
    // ended but whose tail is in the rewrite window is taken out when it is
    // started again, as a sounding one is.
    struct VoiceHistory {
        const Voice* owner = nullptr;
        bool seen = false;
        std::int64_t addedUntil = 0; // the frame after the last it added to
        FrameRing frames;
    };
    static constexpr int kHistorySlots = 12;

    bool lockForPeriod() noexcept;
    bool renderBlock(float* stereoOut, int frames) noexcept;
    void mixVoice(Voice& voice, float* stereoOut, int frames) noexcept;
    int claimHistory(Voice& voice) noexcept;
    void releaseUnseenHistory() noexcept;
    void takeMissedFrames() noexcept;
    void rewriteVoice(Voice& voice, float* mix, std::int64_t from, std::size_t frames) noexcept;
    void feedTap(std::int64_t upTo) noexcept;

    std::mutex m_lock;
    std::atomic<std::uint64_t> m_missedPeriods{0};
    std::atomic<std::uint64_t> m_resampledBlocks{0};
    // Frames a missed period handed out as silence, taken into the history
    // by the next period that gets the lock.
    std::atomic<std::int64_t> m_missedFrames{0};
    // Frames handed out so far, the missed ones included; the unclipped mix
    // and each recorded voice's part of the last FrameRing::kFrames of them.
    std::int64_t m_handedOut = 0;
    FrameRing m_mix;
    std::array<VoiceHistory, kHistorySlots> m_history;
    OutputTap* m_tap = nullptr;
    std::int64_t m_tapFrom = 0;
    VoiceTable m_voices;
    Sequencer m_sequencer;
    int m_rate = 48000;
    std::unique_ptr<MixScratch> m_scratch;
    std::unique_ptr<float[]> m_musicScratch;
    std::unique_ptr<float[]> m_voiceScratch;
    std::unique_ptr<float[]> m_rewriteScratch;
};

} // namespace tremlo::sound
