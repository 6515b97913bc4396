#pragma once

// The last frames of a stereo stream, reached by their frame number since the
// stream began. Made off the audio thread; its calls never allocate. Its
// zeros come from the system's zeroed pages, so a ring never written takes
// no memory.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace tremlo::sound {

class FrameRing {
public:
    // A power of two: a period of 8,192 frames (the longest a device is
    // asked for) and a window of as much behind it.
    static constexpr std::int64_t kFrames = 16384;

    void write(std::int64_t at, const float* stereo, std::size_t frames) noexcept {
        m_written = true;
        visit(at, frames, [&](float* ring, std::size_t done, std::size_t count) {
            std::copy_n(stereo + done * 2, count * 2, ring);
        });
    }
    void read(std::int64_t at, float* stereo, std::size_t frames) const noexcept {
        const_cast<FrameRing*>(this)->visit(
            at, frames, [&](const float* ring, std::size_t done, std::size_t count) {
                std::copy_n(ring, count * 2, stereo + done * 2);
            });
    }
    void zero(std::int64_t at, std::size_t frames) noexcept {
        visit(at, frames, [](float* ring, std::size_t, std::size_t count) {
            std::fill_n(ring, count * 2, 0.0f);
        });
    }
    void clear() noexcept {
        if (m_written)
            std::fill_n(m_samples.get(), kFrames * 2, 0.0f);
        m_written = false;
    }

private:
    // Calls `step` for each stretch that does not wrap.
    template <typename Step> void visit(std::int64_t at, std::size_t frames, Step step) noexcept {
        for (std::size_t done = 0; done < frames;) {
            const auto offset = static_cast<std::size_t>(at + static_cast<std::int64_t>(done)) &
                                static_cast<std::size_t>(kFrames - 1);
            const std::size_t count =
                std::min(frames - done, static_cast<std::size_t>(kFrames) - offset);
            step(m_samples.get() + offset * 2, done, count);
            done += count;
        }
    }

    struct Free {
        void operator()(float* samples) const noexcept { std::free(samples); }
    };
    std::unique_ptr<float[], Free> m_samples{
        static_cast<float*>(std::calloc(static_cast<std::size_t>(kFrames) * 2, sizeof(float)))};
    bool m_written = false;
};

} // namespace tremlo::sound
