#pragma once

// The real output: SDL2 audio on the user's sound server.
//
// The device asks for the server's own rate and the shortest period the
// machine keeps whole, with the server holding one and a half periods (the
// stream's target length), so a press sounds within about two periods. It
// starts at the shortest. Periods that come late (underruns, see
// noteCallbackTime) make it take one twice as long, with a buffer as much
// longer, up to the longest. A new stream takes over from the old one with a
// silence of a few milliseconds (changePeriodLocked), so the change waits
// for a silent period, unless late periods keep coming while a sound plays
// and break it worse. The silent periods after opening are the probe: a
// machine too busy for the shortest period has mostly left it before
// anything sounds. After a long calm the device tries the shorter period
// again, and waits twice as long the next time if that was too soon. When
// the sound server goes away (it is restarted, or the user switches
// outputs) a watcher thread re-opens the device at the same rate once the
// server is back; the mixer never notices.
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
    explicit SdlDevice(std::chrono::seconds calmBeforeShorter = PeriodSteps::kCalmBeforeShorter);
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
    int m_askedPeriodFrames = PeriodSteps::kShortestFrames; // under m_lock
    std::atomic<int> m_periodFrames{PeriodSteps::kShortestFrames};
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
    // Underruns since the device was made (any thread), and how many of
    // them the watcher has answered.
    std::atomic<std::uint64_t> m_underruns{0};
    std::uint64_t m_underrunsAnswered = 0; // under m_lock
    PeriodSteps m_steps;                   // under m_lock
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
