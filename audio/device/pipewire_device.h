#pragma once

// PipeWire's own stream, through libpipewire: the graph pulls one quantum at
// a time, which the render callback writes straight into the buffer it
// hands over, so a press is heard within a quantum and nothing queued need
// be written again. The quantum is asked for through node.latency and
// follows the same period policy as the other outputs; the stream goes
// inactive at rest. How and why: docs/audio-periods.md.
//
// Thread: open, start, close and wake on the library's thread; the stream's
// and the core's events, rest and reconnection on the thread loop's thread,
// under its lock; the render callback on PipeWire's data thread (real-time
// where the system grants it), which never takes that lock; the period is
// watched from a thread of its own.

#include "output_device.h"
#include "period_steps.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

struct pw_context;
struct pw_core;
struct pw_stream;
struct pw_thread_loop;
struct spa_source;

namespace tremlo::sound {

class PipeWireDevice : public OutputDevice {
public:
    using Clock = std::chrono::steady_clock;
    explicit PipeWireDevice(PeriodChoice choice = {});
    ~PipeWireDevice() override;

    // Whether a PipeWire daemon's socket is where the device would connect:
    // a daemon may answer there.
    static bool daemonSocketFound();
    // 0 when no daemon answers, or its graph has no sink to play through
    // (PipeWire running beside PulseAudio, for video only).
    int open(RenderCallback callback, void* context) override;
    void start() override;
    void close() override;
    // The quantum asked for; the graph may run shorter for another client.
    int periodFrames() const override { return m_periodFrames.load(std::memory_order_relaxed); }
    void wake() override;

private:
    void warmUp();
    void finishWarmUp();
    // All of these run on the thread loop's thread or under its lock.
    bool connectLocked();
    void dropCoreLocked();
    void dropRegistryLocked();
    void makeStreamLocked();
    void dropStreamLocked();
    void askLatencyLocked(int periodFrames);
    void answerActivityLocked();
    void scheduleReconnectLocked();
    void watchPeriodLocked(bool saturated);
    void watch();
    void stopWatching();
    // close(), also for the destructor, where a virtual call would not do.
    void shutDown();

    void process() noexcept;
    void noteTicks(std::uint64_t ticks, std::uint64_t lastFrames) noexcept;

    struct Listeners;
    std::unique_ptr<Listeners> m_listeners;

    RenderCallback m_callback = nullptr;
    void* m_context = nullptr;
    int m_rate = 0;
    std::atomic<int> m_periodFrames;
    bool m_started = false;
    bool m_closing = false;

    pw_thread_loop* m_loop = nullptr;
    pw_context* m_pwContext = nullptr;
    pw_core* m_core = nullptr;
    // Set before the stream connects and cleared after it is destroyed, so
    // the data thread reads it while it cannot change.
    pw_stream* m_stream = nullptr;
    bool m_streamFailed = false;
    spa_source* m_activityEvent = nullptr;
    spa_source* m_reconnectTimer = nullptr;
    // What open() learns in one round trip to the daemon.
    int m_graphRate = 0;
    bool m_graphHasSink = false;
    bool m_synced = false;
    int m_syncSeq = 0;

    // Rest. The data thread asks for it after a quiet spell (it may not
    // change the stream itself); the loop's thread makes the stream inactive
    // unless a wake came since the silence was rendered, and active again at
    // the next wake. Each wake counts, so none is lost between the two.
    std::atomic<std::uint64_t> m_wakes{0};
    std::atomic<std::uint64_t> m_wakesAtRest{0};
    std::atomic<bool> m_restAsked{false};
    std::atomic<bool> m_inactive{true};

    // The data thread's own.
    std::int64_t m_quietFrames = 0;
    std::uint64_t m_lastTicks = 0;
    std::uint64_t m_lastFrames = 0;
    bool m_raised = false;
    std::atomic<bool> m_quiet{true};
    // Cycles the graph ran without this stream's quantum while it sounded;
    // none count for a while after the device's own change (its start, a
    // rest's end, a new quantum), given in steady-clock nanoseconds.
    std::atomic<std::uint64_t> m_latePeriods{0};
    std::atomic<std::int64_t> m_ownChangeNs{0};
    // The frames the graph last handed over, and the last the watch reported.
    std::atomic<int> m_handedFrames{0};
    int m_reportedQuantum = 0;

    PeriodSteps m_steps;
    const bool m_busyCountsAsLate;

    std::thread m_watcher;
    std::mutex m_watchLock;
    std::condition_variable m_watchEnds;
    bool m_stopWatching = false; // under m_watchLock
    // Declared last, so that it starts once the rest is made.
    std::thread m_warmUp;
};

} // namespace tremlo::sound
