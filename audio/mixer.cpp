#include "mixer.h"

#include <algorithm>
#include <thread>

namespace tremlo::sound {

Mixer::Mixer()
    : m_scratch(std::make_unique<MixScratch>()),
      m_musicScratch(std::make_unique<float[]>(MixScratch::kOutputFrames * 2)) {}

void Mixer::setOutputRateLocked(int rate) {
    m_rate = rate;
    m_sequencer.setOutputRateLocked(rate);
}

bool Mixer::releaseHeldLocked() {
    bool released = m_sequencer.heldLocked();
    m_sequencer.setHeldLocked(false);
    for (auto& slot : m_voices) {
        if (slot.object && slot.object->heldLocked()) {
            slot.object->setHeldLocked(false);
            released = true;
        }
    }
    return released;
}

bool Mixer::renderCallback(void* mixer, float* stereoOut, std::size_t frames) noexcept {
    auto& self = *static_cast<Mixer*>(mixer);
    const bool sounding = self.render(stereoOut, frames);
    return self.tapOutput(stereoOut, frames) || sounding;
}

bool Mixer::tapOutput(const float* stereoOut, std::size_t frames) noexcept {
    m_inTap.store(true);
    OutputTap* tap = m_tap.load();
    if (tap)
        tap->deliver(stereoOut, frames);
    m_inTap.store(false);
    return tap != nullptr;
}

void Mixer::setOutputTap(OutputTap* tap) noexcept {
    m_tap.store(tap);
    // One period's deliver at most: a copy into a ring.
    while (m_inTap.load())
        std::this_thread::yield();
}

bool Mixer::lockForPeriod() noexcept {
    if (m_lock.try_lock())
        return true;
    // Yielding rather than blocking on the mutex keeps the wait bounded, and
    // gives a holder preempted on this core the chance to finish.
    const auto giveUpAt = std::chrono::steady_clock::now() + kLockWaitLimit;
    do {
        std::this_thread::yield();
        if (m_lock.try_lock())
            return true;
    } while (std::chrono::steady_clock::now() < giveUpAt);
    return false;
}

bool Mixer::render(float* stereoOut, std::size_t frames) noexcept {
    if (!lockForPeriod()) {
        std::fill(stereoOut, stereoOut + frames * 2, 0.0f);
        m_missedPeriods.fetch_add(1, std::memory_order_relaxed);
        // Whoever holds the lock may be starting a sound.
        return true;
    }
    std::lock_guard guard(m_lock, std::adopt_lock);
    bool sounding = false;
    for (std::size_t done = 0; done < frames;) {
        const auto n =
            static_cast<int>(std::min<std::size_t>(frames - done, MixScratch::kOutputFrames));
        sounding = renderBlock(stereoOut + done * 2, n) || sounding;
        done += static_cast<std::size_t>(n);
    }
    return sounding;
}

bool Mixer::renderBlock(float* stereoOut, int frames) noexcept {
    std::fill(stereoOut, stereoOut + frames * 2, 0.0f);
    // A voice that ends within the block still sounded in it.
    bool sounding = m_sequencer.playsLocked();
    bool resampled = false;
    for (auto& slot : m_voices) {
        if (slot.object && slot.object->activeLocked()) {
            slot.object->mixInto(stereoOut, frames, m_rate, *m_scratch);
            resampled = resampled || slot.object->resampling();
            sounding = true;
        }
    }
    if (resampled)
        m_resampledBlocks.fetch_add(1, std::memory_order_relaxed);
    m_sequencer.render(stereoOut, frames, m_musicScratch.get());
    // Hard limit: a sum above full scale would wrap or distort worse in the
    // sound server than a clipped sample does here.
    for (int i = 0; i < frames * 2; ++i)
        stereoOut[i] = std::clamp(stereoOut[i], -1.0f, 1.0f);
    return sounding;
}

} // namespace tremlo::sound
