#include "mixer.h"

#include <algorithm>
#include <thread>

namespace tremlo::sound {
namespace {

static_assert(Mixer::kRewriteFrames + MixScratch::kOutputFrames <= FrameRing::kFrames,
              "a tap reads behind the rewrite window what the last block wrote");

void addInto(float* sum, const float* part, std::size_t frames) noexcept {
    for (std::size_t i = 0; i < frames * 2; ++i)
        sum[i] += part[i];
}

// Hard limit: a sum above full scale would wrap or distort worse in the
// sound server than a clipped sample does here.
void clipInto(float* out, const float* mix, std::size_t frames) noexcept {
    for (std::size_t i = 0; i < frames * 2; ++i)
        out[i] = std::clamp(mix[i], -1.0f, 1.0f);
}

} // namespace

Mixer::Mixer()
    : m_scratch(std::make_unique<MixScratch>()),
      m_musicScratch(std::make_unique<float[]>(MixScratch::kOutputFrames * 2)),
      m_voiceScratch(std::make_unique<float[]>(MixScratch::kOutputFrames * 2)),
      m_rewriteScratch(std::make_unique<float[]>(kRewriteFrames * 2)) {}

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
    return static_cast<Mixer*>(mixer)->render(stereoOut, frames);
}

std::size_t Mixer::rewriteCallback(void* mixer, float* stereoOut, std::size_t frames) noexcept {
    return static_cast<Mixer*>(mixer)->rewrite(stereoOut, frames);
}

void Mixer::setOutputTap(OutputTap* tap) noexcept {
    std::lock_guard guard(m_lock);
    if (m_tap && m_tapFrom < m_handedOut) {
        // Nothing will be written again for a tap that leaves.
        feedTap(m_handedOut);
    }
    m_tap = tap;
    m_tapFrom = m_handedOut;
}

// Frames up to `upTo` go to the tap, in blocks of the scratch's size.
void Mixer::feedTap(std::int64_t upTo) noexcept {
    if (!m_tap)
        return;
    float* block = m_voiceScratch.get();
    while (m_tapFrom < upTo) {
        const auto count = static_cast<std::size_t>(
            std::min<std::int64_t>(upTo - m_tapFrom, MixScratch::kOutputFrames));
        m_mix.read(m_tapFrom, block, count);
        clipInto(block, block, count);
        m_tap->deliver(block, count);
        m_tapFrom += static_cast<std::int64_t>(count);
    }
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
        m_missedFrames.fetch_add(static_cast<std::int64_t>(frames), std::memory_order_relaxed);
        // Whoever holds the lock may be starting a sound.
        return true;
    }
    std::lock_guard guard(m_lock, std::adopt_lock);
    takeMissedFrames();
    releaseUnseenHistory();
    bool sounding = false;
    for (std::size_t done = 0; done < frames;) {
        const auto n =
            static_cast<int>(std::min<std::size_t>(frames - done, MixScratch::kOutputFrames));
        sounding = renderBlock(stereoOut + done * 2, n) || sounding;
        done += static_cast<std::size_t>(n);
    }
    return sounding || m_tap != nullptr;
}

// The silence a missed period handed out joins the history, so that frame
// numbers stay those of the device's stream.
void Mixer::takeMissedFrames() noexcept {
    std::int64_t missed = m_missedFrames.exchange(0, std::memory_order_relaxed);
    while (missed > 0) {
        const auto count =
            static_cast<std::size_t>(std::min<std::int64_t>(missed, MixScratch::kOutputFrames));
        m_mix.zero(m_handedOut, count);
        for (auto& history : m_history)
            if (history.owner)
                history.frames.zero(m_handedOut, count);
        m_handedOut += static_cast<std::int64_t>(count);
        missed -= static_cast<std::int64_t>(count);
        feedTap(m_handedOut - static_cast<std::int64_t>(kRewriteFrames));
    }
}

// A record whose voice was freed, or has stopped with nothing left to write
// again, is free for another.
void Mixer::releaseUnseenHistory() noexcept {
    for (auto& history : m_history)
        history.seen = false;
    for (auto& slot : m_voices) {
        Voice* voice = slot.object.get();
        if (!voice || voice->historySlotLocked() < 0)
            continue;
        VoiceHistory& history = m_history[static_cast<std::size_t>(voice->historySlotLocked())];
        const bool needed =
            voice->activeLocked() || voice->heldLocked() || voice->changesLocked() != 0 ||
            history.addedUntil > m_handedOut - static_cast<std::int64_t>(kRewriteFrames);
        if (history.owner == voice && needed)
            history.seen = true;
        else
            voice->setHistorySlotLocked(-1);
    }
    for (auto& history : m_history)
        if (!history.seen)
            history.owner = nullptr;
}

int Mixer::claimHistory(Voice& voice) noexcept {
    if (voice.historySlotLocked() >= 0)
        return voice.historySlotLocked();
    for (std::size_t i = 0; i < m_history.size(); ++i) {
        if (m_history[i].owner)
            continue;
        // Before the claim the voice added nothing that a record would hold.
        m_history[i].owner = &voice;
        m_history[i].seen = true;
        m_history[i].frames.clear();
        m_history[i].addedUntil = 0;
        voice.setHistorySlotLocked(static_cast<int>(i));
        return static_cast<int>(i);
    }
    return -1;
}

// The voice's part goes to the output and to its record, which holds
// silence wherever the voice added nothing.
void Mixer::mixVoice(Voice& voice, float* stereoOut, int frames) noexcept {
    const int slot = claimHistory(voice);
    if (slot < 0) {
        voice.mixInto(stereoOut, frames, m_rate, *m_scratch);
        voice.setUnrecordedUntilLocked(m_handedOut + frames);
        return;
    }
    float* part = m_voiceScratch.get();
    const auto count = static_cast<std::size_t>(frames);
    std::fill_n(part, count * 2, 0.0f);
    voice.mixInto(part, frames, m_rate, *m_scratch);
    addInto(stereoOut, part, count);
    VoiceHistory& history = m_history[static_cast<std::size_t>(slot)];
    history.frames.write(m_handedOut, part, count);
    history.addedUntil = m_handedOut + frames;
}

bool Mixer::renderBlock(float* stereoOut, int frames) noexcept {
    const auto count = static_cast<std::size_t>(frames);
    std::fill(stereoOut, stereoOut + count * 2, 0.0f);
    // A voice that ends within the block still sounded in it.
    bool sounding = m_sequencer.playsLocked();
    bool resampled = false;
    for (auto& history : m_history)
        if (history.owner && !history.owner->activeLocked())
            history.frames.zero(m_handedOut, count);
    for (auto& slot : m_voices) {
        Voice* voice = slot.object.get();
        if (!voice)
            continue;
        // From here on a change is in the periods the device asks for.
        if (!voice->heldLocked())
            voice->clearChangesLocked();
        if (voice->activeLocked()) {
            mixVoice(*voice, stereoOut, frames);
            resampled = resampled || voice->resampling();
            sounding = true;
        }
    }
    if (resampled)
        m_resampledBlocks.fetch_add(1, std::memory_order_relaxed);
    m_sequencer.render(stereoOut, frames, m_musicScratch.get());
    m_mix.write(m_handedOut, stereoOut, count);
    m_handedOut += frames;
    feedTap(m_handedOut - static_cast<std::int64_t>(kRewriteFrames));
    clipInto(stereoOut, stereoOut, count);
    return sounding;
}

std::size_t Mixer::rewrite(float* stereoOut, std::size_t frames) noexcept {
    if (!lockForPeriod())
        return 0;
    std::lock_guard guard(m_lock, std::adopt_lock);
    if (m_missedFrames.load(std::memory_order_relaxed) != 0)
        return 0;
    frames = std::min({frames, kRewriteFrames, static_cast<std::size_t>(m_handedOut)});
    const std::int64_t from = m_handedOut - static_cast<std::int64_t>(frames);
    float* mix = m_rewriteScratch.get();
    bool changed = false;
    for (auto& slot : m_voices) {
        Voice* voice = slot.object.get();
        if (!voice || voice->heldLocked() || voice->changesLocked() == 0)
            continue;
        if (!changed && frames > 0)
            m_mix.read(from, mix, frames);
        changed = true;
        if (frames > 0)
            rewriteVoice(*voice, mix, from, frames);
        voice->clearChangesLocked();
    }
    if (!changed || frames == 0)
        return 0;
    m_mix.write(from, mix, frames);
    clipInto(stereoOut, mix, frames);
    return frames;
}

// `mix` holds the frames from `from` on as they were handed out; the voice's
// part in them becomes what it is after the commands.
void Mixer::rewriteVoice(Voice& voice, float* mix, std::int64_t from, std::size_t frames) noexcept {
    const std::uint8_t changes = voice.changesLocked();
    const int slot = voice.historySlotLocked();
    // It added to these frames without a record, so what it added cannot be
    // found again: it changes at the next period.
    if (voice.unrecordedUntilLocked() > from)
        return;
    float* part = m_voiceScratch.get();
    if ((changes & Voice::kRegain) != 0) {
        if (slot < 0)
            return;
        FrameRing& ring = m_history[static_cast<std::size_t>(slot)].frames;
        const float* before = voice.gainsBeforeLocked();
        const float* after = voice.targetGainsLocked();
        // A gain that was silence gives no part to scale.
        if (before[0] < 1e-4f || before[1] < 1e-4f)
            return;
        const float ratio[2] = {after[0] / before[0], after[1] / before[1]};
        std::int64_t index = 0;
        for (std::size_t done = 0; done < frames;) {
            const std::size_t count =
                std::min<std::size_t>(frames - done, MixScratch::kOutputFrames);
            ring.read(from + static_cast<std::int64_t>(done), part, count);
            for (std::size_t i = 0; i < count; ++i, ++index) {
                // The same glide a gain change takes at a period.
                const float t =
                    std::min(1.0f, static_cast<float>(index + 1) / Voice::kGainRampFrames);
                for (int c = 0; c < 2; ++c) {
                    const float scaled = part[i * 2 + c] * (1.0f + (ratio[c] - 1.0f) * t);
                    mix[(done + i) * 2 + c] += scaled - part[i * 2 + c];
                    part[i * 2 + c] = scaled;
                }
            }
            ring.write(from + static_cast<std::int64_t>(done), part, count);
            done += count;
        }
        voice.settleGainLocked();
        return;
    }
    if ((changes & Voice::kRemoved) != 0 && slot >= 0) {
        FrameRing& ring = m_history[static_cast<std::size_t>(slot)].frames;
        for (std::size_t done = 0; done < frames;) {
            const std::size_t count =
                std::min<std::size_t>(frames - done, MixScratch::kOutputFrames);
            ring.read(from + static_cast<std::int64_t>(done), part, count);
            for (std::size_t i = 0; i < count * 2; ++i)
                mix[done * 2 + i] -= part[i];
            done += count;
        }
        ring.zero(from, frames);
    }
    if ((changes & Voice::kFresh) == 0 || !voice.activeLocked())
        return;
    const int freshSlot = claimHistory(voice);
    for (std::size_t done = 0; done < frames && voice.activeLocked();) {
        const std::size_t count = std::min<std::size_t>(frames - done, MixScratch::kOutputFrames);
        std::fill_n(part, count * 2, 0.0f);
        voice.mixInto(part, static_cast<int>(count), m_rate, *m_scratch);
        addInto(mix + done * 2, part, count);
        if (freshSlot >= 0) {
            VoiceHistory& history = m_history[static_cast<std::size_t>(freshSlot)];
            history.frames.write(from + static_cast<std::int64_t>(done), part, count);
            history.addedUntil = from + static_cast<std::int64_t>(done + count);
        }
        done += count;
    }
    if (freshSlot < 0)
        voice.setUnrecordedUntilLocked(m_handedOut);
}

} // namespace tremlo::sound
