#include "pipewire_device.h"

#include "processor_load.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pipewire/pipewire.h>
#include <pthread.h>
#include <sched.h>
#include <spa/param/audio/format-utils.h>
#include <spa/utils/result.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace tremlo::sound {
namespace {

using namespace tuning;

constexpr std::uint32_t kFrameBytes = 2 * sizeof(float);
// How long open() waits for the daemon's answers and for the stream to be
// made; a daemon that takes longer is as good as none.
constexpr int kAnswerSeconds = 3;

std::int64_t steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

timespec timespecOf(std::chrono::nanoseconds duration) {
    return timespec{static_cast<time_t>(duration.count() / 1'000'000'000),
                    static_cast<long>(duration.count() % 1'000'000'000)};
}

std::string latencyOf(int periodFrames, int rate) {
    return std::to_string(periodFrames) + "/" + std::to_string(rate);
}

// PipeWire gives its data thread real-time scheduling where the system grants
// it (client-rt.conf's module-rt: directly, or through RTKit). Where it is
// refused the thread is raised as the PulseAudio stream's is, above programs
// that merely keep the machine busy; without the right to that either, it
// stays as it is.
void raiseThisThreadUnlessRealTime() {
    int policy = SCHED_OTHER;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) == 0 &&
        (policy == SCHED_FIFO || policy == SCHED_RR))
        return;
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -20);
}

} // namespace

// The hooks libpipewire keeps its listeners in, which must outlive them.
struct PipeWireDevice::Listeners {
    spa_hook core{};
    spa_hook registry{};
    spa_hook stream{};
    pw_registry* registryProxy = nullptr;
};

// Where pw_context_connect() looks for the daemon's socket.
bool PipeWireDevice::daemonSocketFound() {
    const char* remote = std::getenv("PIPEWIRE_REMOTE");
    const std::string name = remote && *remote ? remote : "pipewire-0";
    if (name.front() == '/')
        return access(name.c_str(), F_OK) == 0;
    for (const char* variable : {"PIPEWIRE_RUNTIME_DIR", "XDG_RUNTIME_DIR", "USERPROFILE"}) {
        const char* folder = std::getenv(variable);
        if (folder && *folder)
            return access((std::string(folder) + "/" + name).c_str(), F_OK) == 0;
    }
    return false;
}

// Making PipeWire's context reads its configuration and loads its modules,
// 6 to 19 ms on a two-core machine: that runs alongside the rest of the
// program's start, and open() waits for it.
PipeWireDevice::PipeWireDevice(PeriodChoice choice)
    : m_listeners(std::make_unique<Listeners>()),
      m_periodFrames(choice.firstFrames ? choice.firstFrames : serverFirstPeriodFrames()),
      m_steps(m_periodFrames.load(), kServerLateWatchesWhileSounding, choice.calmBeforeShorter),
      m_busyCountsAsLate(choice.busyCountsAsLate), m_warmUp([this] { warmUp(); }) {}

void PipeWireDevice::finishWarmUp() {
    if (m_warmUp.joinable())
        m_warmUp.join();
}

void PipeWireDevice::warmUp() {
    pw_init(nullptr, nullptr);
    m_loop = pw_thread_loop_new("tremolo-sound", nullptr);
    if (!m_loop)
        return;
    // client-rt.conf loads module-rt, which gives the data thread real-time
    // scheduling where the system grants it.
    m_pwContext =
        pw_context_new(pw_thread_loop_get_loop(m_loop),
                       pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    if (!m_pwContext || pw_thread_loop_start(m_loop) < 0)
        return;
    pw_thread_loop_lock(m_loop);
    pw_loop* loop = pw_thread_loop_get_loop(m_loop);
    m_activityEvent = pw_loop_add_event(
        loop,
        [](void* self, std::uint64_t) {
            static_cast<PipeWireDevice*>(self)->answerActivityLocked();
        },
        this);
    m_reconnectTimer = pw_loop_add_timer(
        loop,
        [](void* self, std::uint64_t) {
            auto& device = *static_cast<PipeWireDevice*>(self);
            device.dropStreamLocked();
            device.dropCoreLocked();
            if (!device.connectLocked())
                device.scheduleReconnectLocked();
            else if (device.m_callback)
                device.makeStreamLocked();
        },
        this);
    connectLocked();
    pw_thread_loop_unlock(m_loop);
}

PipeWireDevice::~PipeWireDevice() {
    finishWarmUp();
    shutDown();
    if (m_loop) {
        pw_thread_loop_lock(m_loop);
        dropCoreLocked();
        pw_loop* loop = pw_thread_loop_get_loop(m_loop);
        if (m_activityEvent)
            pw_loop_destroy_source(loop, m_activityEvent);
        if (m_reconnectTimer)
            pw_loop_destroy_source(loop, m_reconnectTimer);
        pw_thread_loop_unlock(m_loop);
        pw_thread_loop_stop(m_loop);
        if (m_pwContext)
            pw_context_destroy(m_pwContext);
        pw_thread_loop_destroy(m_loop);
    }
}

bool PipeWireDevice::connectLocked() {
    if (!m_pwContext)
        return false;
    pw_properties* props = pw_properties_new(PW_KEY_APP_NAME, "トレモロ", PW_KEY_APP_ID, "tremolo",
                                             PW_KEY_APP_ICON_NAME, "tremolo", nullptr);
    m_core = pw_context_connect(m_pwContext, props, 0);
    if (!m_core)
        return false;
    static const pw_core_events coreEvents = [] {
        pw_core_events events{};
        events.version = PW_VERSION_CORE_EVENTS;
        events.info = [](void* self, const pw_core_info* info) {
            auto& device = *static_cast<PipeWireDevice*>(self);
            const char* rate =
                info && info->props ? spa_dict_lookup(info->props, "default.clock.rate") : nullptr;
            if (rate)
                device.m_graphRate = std::atoi(rate);
        };
        events.done = [](void* self, std::uint32_t id, int seq) {
            auto& device = *static_cast<PipeWireDevice*>(self);
            if (id == PW_ID_CORE && seq == device.m_syncSeq) {
                device.m_synced = true;
                pw_thread_loop_signal(device.m_loop, false);
            }
        };
        // The daemon went away: the core and the stream are dead.
        events.error = [](void* self, std::uint32_t id, int, int res, const char*) {
            auto& device = *static_cast<PipeWireDevice*>(self);
            if (id == PW_ID_CORE && res == -EPIPE) {
                device.m_streamFailed = true;
                if (device.m_callback && !device.m_closing)
                    device.scheduleReconnectLocked();
                pw_thread_loop_signal(device.m_loop, false);
            }
        };
        return events;
    }();
    pw_core_add_listener(m_core, &m_listeners->core, &coreEvents, this);
    return true;
}

// Bound only for open()'s look at the graph: otherwise every node that comes
// and goes in the graph would wake the loop.
void PipeWireDevice::dropRegistryLocked() {
    if (!m_listeners->registryProxy)
        return;
    spa_hook_remove(&m_listeners->registry);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(m_listeners->registryProxy));
    m_listeners->registryProxy = nullptr;
}

void PipeWireDevice::dropCoreLocked() {
    dropRegistryLocked();
    if (!m_core)
        return;
    spa_hook_remove(&m_listeners->core);
    pw_core_disconnect(m_core);
    m_core = nullptr;
}

void PipeWireDevice::scheduleReconnectLocked() {
    timespec at = timespecOf(kReconnectInterval);
    pw_loop_update_timer(pw_thread_loop_get_loop(m_loop), m_reconnectTimer, &at, nullptr, false);
}

int PipeWireDevice::open(RenderCallback callback, void* context) {
    finishWarmUp();
    if (!m_loop)
        return 0;
    pw_thread_loop_lock(m_loop);
    m_closing = false;
    m_streamFailed = false;
    if (!m_core)
        connectLocked();
    if (!m_core) {
        pw_thread_loop_unlock(m_loop);
        return 0;
    }
    // One round trip tells the graph's rate (the core's info comes first) and
    // whether it has a sink at all.
    static const pw_registry_events registryEvents = [] {
        pw_registry_events events{};
        events.version = PW_VERSION_REGISTRY_EVENTS;
        events.global = [](void* self, std::uint32_t, std::uint32_t, const char* type,
                           std::uint32_t, const spa_dict* props) {
            auto& device = *static_cast<PipeWireDevice*>(self);
            const char* mediaClass = props ? spa_dict_lookup(props, PW_KEY_MEDIA_CLASS) : nullptr;
            if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0 && mediaClass &&
                (std::strcmp(mediaClass, "Audio/Sink") == 0 ||
                 std::strcmp(mediaClass, "Audio/Duplex") == 0))
                device.m_graphHasSink = true;
        };
        return events;
    }();
    m_graphHasSink = false;
    m_listeners->registryProxy = pw_core_get_registry(m_core, PW_VERSION_REGISTRY, 0);
    if (m_listeners->registryProxy)
        pw_registry_add_listener(m_listeners->registryProxy, &m_listeners->registry,
                                 &registryEvents, this);
    m_synced = false;
    m_syncSeq = pw_core_sync(m_core, PW_ID_CORE, 0);
    while (!m_synced && !m_streamFailed)
        if (pw_thread_loop_timed_wait(m_loop, kAnswerSeconds) != 0)
            break;
    dropRegistryLocked();
    if (!m_synced || !m_graphHasSink) {
        dropCoreLocked();
        pw_thread_loop_unlock(m_loop);
        return 0;
    }
    m_rate = m_graphRate > 0 ? m_graphRate : kFallbackRate;
    m_callback = callback;
    m_context = context;
    makeStreamLocked();
    bool opened = false;
    while (m_stream && !m_streamFailed) {
        const pw_stream_state state = pw_stream_get_state(m_stream, nullptr);
        if (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING) {
            opened = true;
            break;
        }
        if (state == PW_STREAM_STATE_ERROR ||
            pw_thread_loop_timed_wait(m_loop, kAnswerSeconds) != 0)
            break;
    }
    if (opened) {
        std::fprintf(stderr, "%s\n", PeriodSteps::opened(m_rate, periodFrames()).c_str());
    } else {
        dropStreamLocked();
        m_callback = nullptr;
        dropCoreLocked();
    }
    pw_thread_loop_unlock(m_loop);
    if (!opened)
        return 0;
    {
        std::lock_guard guard(m_watchLock);
        m_stopWatching = false;
    }
    m_watcher = std::thread([this] { watch(); });
    return m_rate;
}

void PipeWireDevice::makeStreamLocked() {
    pw_properties* props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE, "Music",
        PW_KEY_APP_NAME, "トレモロ", PW_KEY_NODE_NAME, "tremolo", PW_KEY_NODE_DESCRIPTION,
        "トレモロ (tremolo)", PW_KEY_MEDIA_NAME, "トレモロ", PW_KEY_NODE_LATENCY,
        latencyOf(periodFrames(), m_rate).c_str(), nullptr);
    m_streamFailed = false;
    m_stream = pw_stream_new(m_core, "トレモロ", props);
    if (!m_stream) {
        m_streamFailed = true;
        return;
    }
    static const pw_stream_events streamEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = [](void* self, pw_stream_state, pw_stream_state state, const char*) {
            auto& device = *static_cast<PipeWireDevice*>(self);
            if (state == PW_STREAM_STATE_ERROR)
                device.m_streamFailed = true;
            pw_thread_loop_signal(device.m_loop, false);
        };
        events.process = [](void* self) { static_cast<PipeWireDevice*>(self)->process(); };
        return events;
    }();
    pw_stream_add_listener(m_stream, &m_listeners->stream, &streamEvents, this);

    std::uint8_t podBuffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(podBuffer, sizeof podBuffer);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = static_cast<std::uint32_t>(m_rate);
    info.channels = 2;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    m_quiet.store(true, std::memory_order_relaxed);
    m_restAsked.store(false);
    m_inactive.store(!m_started);
    m_ownChangeNs.store(steadyNs(), std::memory_order_relaxed);
    // The render callback runs on the data thread, not the loop's, so that it
    // never waits behind the lock library calls take.
    const auto flags = static_cast<pw_stream_flags>(
        PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS |
        (m_started ? 0 : PW_STREAM_FLAG_INACTIVE));
    if (pw_stream_connect(m_stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1) < 0)
        m_streamFailed = true;
}

// Destroying the stream waits for its data thread to leave the callback.
void PipeWireDevice::dropStreamLocked() {
    if (!m_stream)
        return;
    pw_stream* stream = m_stream;
    spa_hook_remove(&m_listeners->stream);
    pw_stream_destroy(stream);
    m_stream = nullptr;
}

void PipeWireDevice::start() {
    if (!m_loop)
        return;
    pw_thread_loop_lock(m_loop);
    m_started = true;
    if (m_stream) {
        m_ownChangeNs.store(steadyNs(), std::memory_order_relaxed);
        m_inactive.store(false);
        pw_stream_set_active(m_stream, true);
    }
    pw_thread_loop_unlock(m_loop);
}

void PipeWireDevice::close() {
    shutDown();
}

void PipeWireDevice::shutDown() {
    if (!m_loop)
        return;
    stopWatching();
    pw_thread_loop_lock(m_loop);
    m_closing = true;
    dropStreamLocked();
    if (m_reconnectTimer) {
        timespec never{};
        pw_loop_update_timer(pw_thread_loop_get_loop(m_loop), m_reconnectTimer, &never, nullptr,
                             false);
    }
    m_callback = nullptr;
    m_started = false;
    pw_thread_loop_unlock(m_loop);
}

// Cheap enough for every play: a count, and at rest a signal to the loop.
void PipeWireDevice::wake() {
    m_wakes.fetch_add(1);
    if (m_inactive.load() && m_started && m_activityEvent)
        pw_loop_signal_event(pw_thread_loop_get_loop(m_loop), m_activityEvent);
}

// The data thread asked for a rest, or a wake came at rest. A rest waits
// for nothing but stops only when no wake came after the silence that asked
// for it: marked inactive first, so that a wake from then on signals again.
void PipeWireDevice::answerActivityLocked() {
    if (!m_stream || !m_started || m_closing)
        return;
    if (m_inactive.load()) {
        if (m_wakes.load() == m_wakesAtRest.load())
            return;
        m_ownChangeNs.store(steadyNs(), std::memory_order_relaxed);
        m_inactive.store(false);
        m_restAsked.store(false);
        pw_stream_set_active(m_stream, true);
        return;
    }
    if (!m_restAsked.load())
        return;
    m_inactive.store(true);
    if (m_wakes.load() != m_wakesAtRest.load()) {
        m_inactive.store(false);
        m_restAsked.store(false);
        return;
    }
    m_ownChangeNs.store(steadyNs(), std::memory_order_relaxed);
    pw_stream_set_active(m_stream, false);
}

// One quantum: rendered straight into the buffer the graph plays next.
void PipeWireDevice::process() noexcept {
    pw_stream* stream = m_stream;
    if (!stream || !m_callback)
        return;
    if (!m_raised) {
        raiseThisThreadUnlessRealTime();
        m_raised = true;
    }
    pw_buffer* buffer = pw_stream_dequeue_buffer(stream);
    if (!buffer)
        return;
    spa_data& data = buffer->buffer->datas[0];
    if (!data.data) {
        pw_stream_queue_buffer(stream, buffer);
        return;
    }
    std::uint64_t frames = data.maxsize / kFrameBytes;
    if (buffer->requested)
        frames = std::min<std::uint64_t>(frames, buffer->requested);
    // Read before rendering: a wake after it may have started what the
    // render did not yet see.
    const std::uint64_t wakes = m_wakes.load();
    const bool sounding = m_callback(m_context, static_cast<float*>(data.data), frames);
    data.chunk->offset = 0;
    data.chunk->stride = kFrameBytes;
    data.chunk->size = static_cast<std::uint32_t>(frames * kFrameBytes);
    pw_stream_queue_buffer(stream, buffer);

    m_handedFrames.store(static_cast<int>(frames), std::memory_order_relaxed);
    pw_time time{};
    if (pw_stream_get_time_n(stream, &time, sizeof time) == 0 && time.rate.denom != 0)
        noteTicks(time.ticks, frames);
    m_quiet.store(!sounding, std::memory_order_relaxed);
    if (sounding) {
        m_quietFrames = 0;
        return;
    }
    m_quietFrames += static_cast<std::int64_t>(frames);
    if (m_quietFrames >= kQuietBeforeRest.count() * m_rate && !m_restAsked.load()) {
        m_quietFrames = 0;
        m_wakesAtRest.store(wakes);
        m_restAsked.store(true);
        pw_loop_signal_event(pw_thread_loop_get_loop(m_loop), m_activityEvent);
    }
}

// The graph's clock moved on by more than the last quantum since the last
// call: it ran a cycle without this stream's sound, which a listener heard
// while something sounded. Late as the PulseAudio stream counts a request
// later than all the server held would last: here the graph holds one
// quantum.
void PipeWireDevice::noteTicks(std::uint64_t ticks, std::uint64_t frames) noexcept {
    const std::uint64_t lastTicks = m_lastTicks, lastFrames = m_lastFrames;
    m_lastTicks = ticks;
    m_lastFrames = frames;
    if (lastFrames == 0 || ticks <= lastTicks || m_quiet.load(std::memory_order_relaxed))
        return;
    const auto sinceOwnChange =
        std::chrono::nanoseconds(steadyNs() - m_ownChangeNs.load(std::memory_order_relaxed));
    if (sinceOwnChange > kOwnChangeSettles && ticks - lastTicks > lastFrames)
        m_latePeriods.fetch_add(1, std::memory_order_relaxed);
}

// At rest nothing can break up, and the watch only looks, seldom, for the
// rest's end; the load is measured afresh after it.
void PipeWireDevice::watch() {
    ProcessorLoad load;
    bool resting = false;
    std::unique_lock guard(m_watchLock);
    while (!m_watchEnds.wait_for(guard, resting ? kRestingWatchInterval : kWatchInterval,
                                 [this] { return m_stopWatching; })) {
        const bool saturated = !resting && m_busyCountsAsLate && load.saturated();
        pw_thread_loop_lock(m_loop);
        if (!resting)
            watchPeriodLocked(saturated);
        resting = m_inactive.load();
        pw_thread_loop_unlock(m_loop);
        if (resting)
            load = ProcessorLoad();
    }
}

void PipeWireDevice::stopWatching() {
    {
        std::lock_guard guard(m_watchLock);
        m_stopWatching = true;
    }
    m_watchEnds.notify_all();
    if (m_watcher.joinable())
        m_watcher.join();
}

void PipeWireDevice::watchPeriodLocked(bool saturated) {
    if (!m_stream || m_streamFailed)
        return;
    // The graph runs at the shortest quantum any of its nodes asks for, which
    // may not be the one asked for: said whenever it changes, so that a user
    // and the benchmarks know what a press waits for.
    const int handed = m_handedFrames.load(std::memory_order_relaxed);
    if (handed != 0 && handed != m_reportedQuantum) {
        m_reportedQuantum = handed;
        std::fprintf(stderr, "tremolo: the graph pulls %d frames a cycle\n", handed);
    }
    const auto now = Clock::now();
    const int period = periodFrames();
    const int next = m_steps.look(m_latePeriods.load(std::memory_order_relaxed), saturated, period,
                                  m_quiet.load(std::memory_order_relaxed), now);
    if (next == period)
        return;
    askLatencyLocked(next);
    std::fprintf(stderr, "%s\n", m_steps.changed(period, next, now).c_str());
}

// The graph takes the new quantum at its next cycle, without a gap.
void PipeWireDevice::askLatencyLocked(int periodFrames) {
    m_periodFrames.store(periodFrames, std::memory_order_relaxed);
    m_ownChangeNs.store(steadyNs(), std::memory_order_relaxed);
    const std::string latency = latencyOf(periodFrames, m_rate);
    const spa_dict_item item = SPA_DICT_ITEM_INIT(PW_KEY_NODE_LATENCY, latency.c_str());
    const spa_dict dict = SPA_DICT_INIT(&item, 1);
    pw_stream_update_properties(m_stream, &dict);
}

} // namespace tremlo::sound
