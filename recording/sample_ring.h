#pragma once

// A single-producer, single-consumer ring of stereo frames: the audio thread
// puts each period in, the writer thread takes them out. Lock-free and
// allocation-free after construction. A period that does not fit whole is
// left out and counted, so the file skips it rather than the audio thread
// waiting for the disk.
//
// Thread: push() on one thread (the producer), pop() on one other.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tremlo::recording {

class SampleRing {
public:
    // Room for at least `frames` frames.
    explicit SampleRing(std::size_t frames)
        : m_capacity(std::bit_ceil(std::max<std::size_t>(frames, 2))),
          m_samples(std::make_unique<float[]>(m_capacity * 2)) {}

    // All of the frames, or none (counted in droppedFrames()).
    bool push(const float* stereo, std::size_t frames) noexcept {
        const std::uint64_t head = m_head.load(std::memory_order_relaxed);
        const std::uint64_t tail = m_tail.load(std::memory_order_acquire);
        if (m_capacity - (head - tail) < frames) {
            m_dropped.fetch_add(frames, std::memory_order_relaxed);
            return false;
        }
        copyIn(stereo, frames, head);
        m_head.store(head + frames, std::memory_order_release);
        return true;
    }

    // Up to `frames` frames into `stereo`; how many.
    std::size_t pop(float* stereo, std::size_t frames) noexcept {
        const std::uint64_t tail = m_tail.load(std::memory_order_relaxed);
        const std::uint64_t head = m_head.load(std::memory_order_acquire);
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(head - tail, frames));
        copyOut(stereo, n, tail);
        m_tail.store(tail + n, std::memory_order_release);
        return n;
    }

    std::uint64_t pushedFrames() const { return m_head.load(std::memory_order_acquire); }
    std::uint64_t droppedFrames() const { return m_dropped.load(std::memory_order_relaxed); }
    std::size_t capacityFrames() const { return m_capacity; }

private:
    // Each copy goes in at most two pieces, round the end of the buffer.
    void copyIn(const float* stereo, std::size_t frames, std::uint64_t at) noexcept {
        const auto start = static_cast<std::size_t>(at & (m_capacity - 1));
        const std::size_t first = std::min(frames, m_capacity - start);
        std::copy_n(stereo, first * 2, m_samples.get() + start * 2);
        std::copy_n(stereo + first * 2, (frames - first) * 2, m_samples.get());
    }
    void copyOut(float* stereo, std::size_t frames, std::uint64_t at) const noexcept {
        const auto start = static_cast<std::size_t>(at & (m_capacity - 1));
        const std::size_t first = std::min(frames, m_capacity - start);
        std::copy_n(m_samples.get() + start * 2, first * 2, stereo);
        std::copy_n(m_samples.get(), (frames - first) * 2, stereo + first * 2);
    }

    const std::size_t m_capacity;
    std::unique_ptr<float[]> m_samples;
    alignas(64) std::atomic<std::uint64_t> m_head{0}; // frames ever pushed
    alignas(64) std::atomic<std::uint64_t> m_tail{0}; // frames ever popped
    std::atomic<std::uint64_t> m_dropped{0};
};

} // namespace tremlo::recording
