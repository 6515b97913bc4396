#pragma once

// The real output: SDL2 audio on the user's sound server.
//
// The device asks for the server's own rate and a short period, and sets the
// server's buffering to match, so that a press sounds within one period and
// the short period does not drop out. When the sound server goes away (it is
// restarted, or the user switches outputs) a watcher thread re-opens the
// device at the same rate once the server is back; the mixer never notices.
//
// When nothing has sounded for a while the device rests: its render callback
// waits, unwoken, instead of returning periods of silence, so neither SDL's
// thread nor the server's stream wakes the program (a paused SDL device would
// go on writing silence every period). The sound server plays silence for the
// empty stream. wake() ends the rest: the waiting callback returns its period
// of silence and the next one, asked for at once since the stream has run
// dry, holds the sound that woke it. That one period ahead is needed: the
// server drops the first milliseconds written to a stream starting again from
// dry (heard as a clipped start through the null sink), and the sound still
// comes sooner than through a running stream's queue. Nothing moves while the
// device rests, since nothing plays.
//
// Thread: open, start and close are called from the library's thread; SDL
// calls the render callback on its own audio thread; the watcher thread only
// re-opens.

#include "output_device.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tremlo::sound {

class SdlDevice : public OutputDevice {
public:
    static constexpr int kPeriodFrames = 256;

    SdlDevice();
    ~SdlDevice() override;

    int open(RenderCallback callback, void* context) override;
    void start() override;
    void close() override;
    int periodFrames() const override { return m_periodFrames; }
    void wake() override;

private:
    static void sdlCallback(void* self, std::uint8_t* stream, int bytes) noexcept;
    void render(float* stereoOut, std::size_t frames) noexcept;
    // True when woken, false when the rest ran out first.
    bool rest() noexcept;
    bool openDeviceLocked();
    // close(), also for the destructor, where a virtual call would not do.
    void shutDown();
    void finishWarmUp();
    void watch();

    RenderCallback m_callback = nullptr;
    void* m_context = nullptr;
    int m_rate = 0;
    int m_periodFrames = kPeriodFrames;
    std::uint32_t m_deviceId = 0; // an SDL_AudioDeviceID
    bool m_started = false;

    // Connecting to the sound server takes a few milliseconds; it starts when
    // the device is made and open() waits for it, so it runs alongside the
    // rest of the program's start.
    std::thread m_warmUp;
    bool m_warmedUp = false;

    // The audio thread's own count of frames since something last sounded.
    std::int64_t m_quietFrames = 0;
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
