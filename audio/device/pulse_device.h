#pragma once

// The output on a PulseAudio server (PipeWire's pulse server too), through
// libpulse's own stream rather than SDL's.
//
// What SDL cannot do and this device does: a sound that starts while the
// server holds nothing but silence from us is written at the server's read
// index, over that silence, so it does not wait behind the stream's buffer.
// A press from quiet is then heard after the sink's own latency, whatever
// the period, and the buffer can be as long as a busy machine needs. A sound
// that starts while another plays still queues behind what the server holds.
//
// The server tells of each underrun it has, so late periods are counted from
// what was really heard rather than guessed from callback times, and a longer
// period is a new buffer size for the same stream, taken without a gap, even
// while a sound plays.
//
// When nothing has sounded for a while the device rests: it leaves the
// server's requests unanswered, so nothing wakes the program, and the server
// plays silence for the empty stream. wake() ends the rest with a write at
// the read index. When the server goes away the device connects again every
// quarter second and takes up its stream at the same rate; the mixer never
// notices.
//
// Thread: open, start, close and wake are called from the library's thread;
// libpulse calls everything else (the render callback too) on its mainloop
// thread, under the mainloop's lock.

#include "output_device.h"
#include "period_steps.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

struct pa_context;
struct pa_io_event;
struct pa_stream;
struct pa_threaded_mainloop;
struct pa_time_event;

namespace tremlo::sound {

class PulseDevice : public OutputDevice {
public:
    using Clock = std::chrono::steady_clock;
    explicit PulseDevice(std::chrono::seconds calmBeforeShorter = PeriodSteps::kCalmBeforeShorter);
    ~PulseDevice() override;

    // 0 when no server answers (and none is started for it).
    int open(RenderCallback callback, void* context) override;
    void start() override;
    void close() override;
    int periodFrames() const override { return m_periodFrames.load(std::memory_order_relaxed); }
    void wake() override;

private:
    enum class Link { Connecting, Ready, Failed };

    // All of these run under the mainloop's lock.
    void connectLocked();
    void dropStreamLocked();
    void dropContextLocked();
    void makeStreamLocked();
    void setBufferLocked(int periodFrames);
    void fill(std::size_t bytes, bool atReadIndex);
    void answerWake();
    std::size_t heldBytes() const;
    void noteUnderrun();
    void noteRequestTime();
    void watchPeriodLocked(bool saturated);
    void watch();
    void stopWatching();
    // close(), also for the destructor, where a virtual call would not do.
    void shutDown();
    void scheduleReconnectLocked();

    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onWrite(pa_stream* stream, std::size_t bytes, void* self);
    static void onUnderflow(pa_stream* stream, void* self);

    RenderCallback m_callback = nullptr;
    void* m_context = nullptr;
    int m_rate = 0;
    std::atomic<int> m_periodFrames{PeriodSteps::kShortestFrames};
    bool m_started = false;
    bool m_closing = false;

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_pulse = nullptr;
    pa_stream* m_stream = nullptr;
    Link m_link = Link::Connecting;
    Link m_streamLink = Link::Connecting;
    pa_io_event* m_wakeEvent = nullptr;
    pa_time_event* m_reconnect = nullptr;
    int m_wakeFd = -1;

    // Frames since something last sounded; at rest the server holds only
    // silence from us, or nothing.
    std::int64_t m_quietFrames = 0;
    std::atomic<bool> m_quiet{true};
    bool m_resting = false;
    // When the device last started, rested or changed its period.
    Clock::time_point m_ownChange{};
    // Underruns the server reported and requests that came late.
    int m_underruns = 0;
    Clock::time_point m_lastRequest{};
    int m_underrunsAnswered = 0;
    PeriodSteps m_steps;

    // The period is watched from a thread of its own, which reads the
    // machine's load: the mainloop's thread renders and touches no file.
    std::thread m_watcher;
    std::mutex m_watchLock;
    std::condition_variable m_watchEnds;
    bool m_stopWatching = false; // under m_watchLock
};

} // namespace tremlo::sound
