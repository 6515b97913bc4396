#include "offline_device.h"

#include <algorithm>

namespace tremlo::sound {

OfflineDevice::OfflineDevice(int rate, int periodFrames, bool canOpen)
    : m_rate(rate), m_periodFrames(periodFrames), m_canOpen(canOpen) {}

int OfflineDevice::open(RenderCallback callback, void* context) {
    if (!m_canOpen)
        return 0;
    m_callback = callback;
    m_context = context;
    return m_rate;
}

void OfflineDevice::close() {
    m_started = false;
    m_callback = nullptr;
    m_context = nullptr;
}

void OfflineDevice::render(float* stereoOut, std::size_t frames) {
    const auto period = static_cast<std::size_t>(m_periodFrames);
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(period, frames - done);
        if (m_started && m_callback)
            static_cast<void>(m_callback(m_context, stereoOut + done * 2, n));
        else
            std::fill(stereoOut + done * 2, stereoOut + (done + n) * 2, 0.0f);
        done += n;
    }
}

std::vector<float> OfflineDevice::render(std::size_t frames) {
    std::vector<float> out(frames * 2);
    render(out.data(), frames);
    return out;
}

std::vector<float> OfflineDevice::rewrite(std::size_t frames) {
    std::vector<float> out(frames * 2);
    const std::size_t written =
        m_started && m_callback && m_rewrite ? m_rewrite(m_context, out.data(), frames) : 0;
    out.resize(written * 2);
    return out;
}

} // namespace tremlo::sound
