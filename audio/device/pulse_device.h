#pragma once

// The sound server's own stream (PulseAudio, or PipeWire's pulse server),
// through libpulse. A start from quiet is written at the server's read index,
// over the silence it holds; on PulseAudio, a change while something sounds
// is written again over what the server holds from its read index on; the
// period changes without a gap. How and why: docs/audio-periods.md.
//
// Thread: open, start, close and wake on the library's thread; libpulse calls
// everything else (the render callback too) on its mainloop thread, under the
// mainloop's lock; the period is watched from a thread of its own.

#include "output_device.h"
#include "period_steps.h"
#include "processor_load.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

struct pa_context;
struct pa_server_info;
struct pa_io_event;
struct pa_stream;
struct pa_threaded_mainloop;
struct pa_time_event;

namespace tremlo::sound {

class PulseDevice : public OutputDevice {
public:
    using Clock = std::chrono::steady_clock;
    explicit PulseDevice(PeriodChoice choice = {});
    ~PulseDevice() override;

    // 0 when no server answers (and none is started for it).
    int open(RenderCallback callback, void* context) override;
    void start() override;
    void close() override;
    int periodFrames() const override { return m_periodFrames.load(std::memory_order_relaxed); }
    void wake() override;
    void allowRewrites(RewriteCallback rewrite) override { m_rewrite = rewrite; }
    // Whether a change while something sounds is written over the frames the
    // server holds: only once the server has said it is PulseAudio itself.
    bool rewritesHeldFrames() const {
        return m_rewrite && m_serverTakesRewrites.load(std::memory_order_relaxed);
    }

private:
    enum class Link { Connecting, Ready, Failed };

    // All of these run under the mainloop's lock.
    void connectLocked();
    void dropStreamLocked();
    void dropContextLocked();
    void makeStreamLocked();
    void setBufferLocked(int periodFrames);
    void fill(std::size_t bytes, bool atReadIndex);
    void renderInto(float* out, std::size_t frames);
    void answerWake();
    void rewriteHeld();
    std::size_t heldBytes() const;
    std::int64_t sinkFrames() const;
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
    static void onRewriteTiming(pa_stream* stream, int success, void* self);
    static void onServerInfo(pa_context* context, const pa_server_info* info, void* self);

    RenderCallback m_callback = nullptr;
    RewriteCallback m_rewrite = nullptr;
    // PipeWire's pulse server broke a looping sound where held frames were
    // written again (a click), so there a change waits for the next period.
    std::atomic<bool> m_serverTakesRewrites{false};
    void* m_context = nullptr;
    int m_rate = 0;
    std::atomic<int> m_periodFrames{tuning::kShortestFrames};
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
    std::uint64_t m_underruns = 0;
    Clock::time_point m_lastRequest{};
    PeriodSteps m_steps;
    const bool m_busyCountsAsLate;

    // The period is watched from a thread of its own, which reads the
    // machine's load: the mainloop's thread renders and touches no file.
    std::thread m_watcher;
    std::mutex m_watchLock;
    std::condition_variable m_watchEnds;
    bool m_stopWatching = false; // under m_watchLock
};

} // namespace tremlo::sound
