#pragma once

// Sums every sounding voice and the music into the output.
//
// Thread: render runs on the audio thread and holds the lock for one period;
// the user-interface thread takes the same lock for a few assignments at a
// time (see the ...Locked calls of Voice and Sequencer). Nothing under the
// lock allocates, frees, decodes or touches a file.

#include "handle_table.h"
#include "sequencer.h"
#include "voice.h"

#include <cstddef>
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
    int outputRate() const { return m_rate; }

    void render(float* stereoOut, std::size_t frames) noexcept;
    static void renderCallback(void* mixer, float* stereoOut, std::size_t frames) noexcept;

private:
    void renderBlock(float* stereoOut, int frames) noexcept;

    std::mutex m_lock;
    VoiceTable m_voices;
    Sequencer m_sequencer;
    int m_rate = 48000;
    std::unique_ptr<MixScratch> m_scratch;
    std::unique_ptr<float[]> m_musicScratch;
};

} // namespace tremlo::sound
