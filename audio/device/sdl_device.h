#pragma once

// SDL2's output, where no sound server of the pulse kind answers (or
// TREMLO_AUDIO=sdl asks for it): ALSA and the other servers SDL knows. A
// longer period is a new stream that takes over with a short silence; how
// and why: docs/audio-periods.md.
//
// Thread: open, start, close and wake on the library's thread; SDL calls the
// render callback on its own audio thread; a watcher thread changes the
// period and re-opens a lost device.

#include "output_device.h"
#include "period_steps.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tremlo::sound {

class SdlDevice : public OutputDevice {
public:
    explicit SdlDevice(PeriodChoice choice = {});
    ~SdlDevice() override;

    int open(RenderCallback callback, void* context) override;
    void start() override;
    void close() override;
    int periodFrames() const override { return m_periodFrames.load(std::memory_order_relaxed); }
    void wake() override;

private:
    static void sdlCallback(void* self, std::uint8_t* stream, int bytes) noexcept;
    void render(float* stereoOut, std::size_t frames) noexcept;
    // True when woken, false when the rest ran out first.
    bool rest() noexcept;
    // An SDL device opened, paused, and what its period makes of it.
    struct Stream {
        std::uint32_t id = 0; // an SDL_AudioDeviceID; 0 when none could open
        int periodFrames = 0;
        std::chrono::steady_clock::duration lateAfter{};
    };
    Stream openStreamLocked(int periodFrames);
    void takeStreamLocked(const Stream& stream);
    bool openDeviceLocked();
    // Hands over to a new stream of the given period; false without a
    // device or a server.
    bool changePeriodLocked(int periodFrames);
    void noteCallbackTime() noexcept;
    // close(), also for the destructor, where a virtual call would not do.
    void shutDown();
    void finishWarmUp();
    void watch();

    RenderCallback m_callback = nullptr;
    void* m_context = nullptr;
    int m_rate = 0;
    int m_askedPeriodFrames = tuning::kShortestFrames; // under m_lock
    std::atomic<int> m_periodFrames{tuning::kShortestFrames};
    std::uint32_t m_deviceId = 0; // an SDL_AudioDeviceID
    bool m_started = false;

    // Connecting to the sound server takes a few milliseconds; it starts when
    // the device is made and open() waits for it, so it runs alongside the
    // rest of the program's start.
    std::thread m_warmUp;
    bool m_warmedUp = false;

    // The audio thread's own count of frames since something last sounded.
    std::int64_t m_quietFrames = 0;
    // The audio thread's own: when the last callback began, and how long
    // after it the next one may begin before the server has run dry. Set
    // on opening, before SDL starts its thread.
    std::chrono::steady_clock::time_point m_lastCallback{};
    std::chrono::steady_clock::duration m_lateAfter{};
    // Underruns since the device was made (any thread).
    std::atomic<std::uint64_t> m_underruns{0};
    PeriodSteps m_steps; // under m_lock
    // Set by the audio thread when a period held nothing, and cleared by the
    // next sound. A press while the stream changes sounds a few
    // milliseconds late but whole: the mixer waits for the new stream.
    std::atomic<bool> m_quiet{false};
    // PULSE_LATENCY_MSEC as the user set it, else 0.
    const int m_userServerBufferMsec;

    std::mutex m_restLock;
    std::condition_variable m_restEnds;
    bool m_wakeAsked = false; // under m_restLock
    bool m_closing = false;   // under m_restLock

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopWatching = false;
    std::thread m_watcher;
};

} // namespace tremlo::sound
