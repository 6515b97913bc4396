#pragma once

// An output device that renders exactly as many frames as it is asked for,
// through the same mixer as a real device. Tests and benchmarks drive it.
//
// Thread: render() is called from the test's own thread; it plays the part of
// the audio thread.

#include "output_device.h"

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace tremlo::sound {

class OfflineDevice : public OutputDevice {
public:
    explicit OfflineDevice(int rate = 48000, int periodFrames = 256, bool canOpen = true);

    int open(RenderCallback callback, void* context) override;
    void start() override { m_started = true; }
    void close() override;
    int periodFrames() const override { return m_periodFrames; }
    void wake() override {
        if (m_onWake)
            m_onWake();
    }
    // Called at each wake(): a test renders there what the server's stream
    // would write at once for a start from quiet.
    void setOnWake(std::function<void()> onWake) { m_onWake = std::move(onWake); }

    // Renders frames in periods, as a real device would; before start() or
    // after close() the output is silence.
    void render(float* stereoOut, std::size_t frames);
    std::vector<float> render(std::size_t frames);
    void allowRewrites(RewriteCallback rewrite) override { m_rewrite = rewrite; }
    // What the server's stream writes again over the last `frames` frames it
    // holds after a change: the frames rendered again, the last of them last.
    std::vector<float> rewrite(std::size_t frames);

private:
    int m_rate;
    int m_periodFrames;
    bool m_canOpen;
    bool m_started = false;
    RenderCallback m_callback = nullptr;
    RewriteCallback m_rewrite = nullptr;
    void* m_context = nullptr;
    std::function<void()> m_onWake;
};

} // namespace tremlo::sound
