#include "pulse_device.h"

#include <algorithm>
#include <cstdio>
#include <pulse/pulseaudio.h>
#include <string_view>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tremlo::sound {
namespace {

using namespace tuning;

constexpr std::size_t kFrameBytes = 2 * sizeof(float);

// What the server holds ahead: one and a half periods, as SDL's device does,
// so a sound that starts while another plays, and the end of one, come as
// soon. The server adds the sink's latency on top.
std::size_t bufferBytes(int periodFrames) {
    return static_cast<std::size_t>(periodFrames) * 3 / 2 * kFrameBytes;
}

pa_buffer_attr bufferAttr(int periodFrames) {
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(bufferBytes(periodFrames));
    // Playing starts with the first period written and goes on through an
    // empty buffer, so a rest and a write at the read index need no refill.
    attr.prebuf = 0;
    attr.minreq = static_cast<std::uint32_t>(static_cast<std::size_t>(periodFrames) * kFrameBytes);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    return attr;
}

// An operation the server may refuse (a stream that died before it was
// asked) comes back as null, which libpulse's unref would abort on.
void release(pa_operation* operation) {
    if (operation)
        pa_operation_unref(operation);
}

pa_usec_t usecOf(std::chrono::microseconds duration) {
    return static_cast<pa_usec_t>(duration.count());
}

// The render thread comes before the programs that merely keep the machine
// busy, as SDL's own audio thread does; without the right to, it stays as it is.
void raiseThisThread() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -20);
}

} // namespace

PulseDevice::PulseDevice(PeriodChoice choice)
    : m_periodFrames(choice.firstFrames ? choice.firstFrames : serverFirstPeriodFrames()),
      m_steps(m_periodFrames.load(), kServerLateWatchesWhileSounding, choice.calmBeforeShorter),
      m_busyCountsAsLate(choice.busyCountsAsLate) {
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop || m_wakeFd < 0)
        return;
    pa_threaded_mainloop_set_name(m_loop, "tremolo-sound");
    // Connecting takes a few milliseconds; it runs alongside the rest of the
    // program's start, and open() waits for it.
    pa_threaded_mainloop_lock(m_loop);
    connectLocked();
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_start(m_loop);
}

PulseDevice::~PulseDevice() {
    shutDown();
    if (m_loop) {
        pa_threaded_mainloop_lock(m_loop);
        dropContextLocked();
        pa_threaded_mainloop_unlock(m_loop);
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
    }
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void PulseDevice::connectLocked() {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    m_pulse = pa_context_new(api, "トレモロ");
    m_link = Link::Connecting;
    if (!m_pulse) {
        m_link = Link::Failed;
        return;
    }
    pa_context_set_state_callback(m_pulse, &PulseDevice::onContextState, this);
    // A missing server is not started for us: SDL's device then plays
    // through whatever else the machine has.
    if (pa_context_connect(m_pulse, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        m_link = Link::Failed;
}

void PulseDevice::onContextState(pa_context* context, void* self) {
    auto& device = *static_cast<PulseDevice*>(self);
    if (context != device.m_pulse)
        return;
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        device.m_link = Link::Ready;
        device.m_serverTakesRewrites.store(false, std::memory_order_relaxed);
        release(pa_context_get_server_info(context, &PulseDevice::onServerInfo, &device));
        // Back after the server went away: the stream is taken up again.
        if (device.m_callback && !device.m_stream)
            device.makeStreamLocked();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        device.m_link = Link::Failed;
        if (device.m_callback && !device.m_closing)
            device.scheduleReconnectLocked();
        break;
    default:
        return;
    }
    pa_threaded_mainloop_signal(device.m_loop, 0);
}

// PipeWire's pulse server calls itself "PulseAudio (on PipeWire x.y.z)".
void PulseDevice::onServerInfo(pa_context* context, const pa_server_info* info, void* self) {
    auto& device = *static_cast<PulseDevice*>(self);
    if (context != device.m_pulse || !info || !info->server_name)
        return;
    device.m_serverTakesRewrites.store(std::string_view(info->server_name).find("PipeWire") ==
                                           std::string_view::npos,
                                       std::memory_order_relaxed);
}

void PulseDevice::scheduleReconnectLocked() {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    timeval at{};
    pa_timeval_add(pa_gettimeofday(&at), usecOf(kReconnectInterval));
    if (m_reconnect) {
        api->time_restart(m_reconnect, &at);
        return;
    }
    // The server went away: its context and stream are dead.
    const auto reconnect = [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
        auto& device = *static_cast<PulseDevice*>(self);
        device.dropStreamLocked();
        device.dropContextLocked();
        device.connectLocked();
        if (device.m_link == Link::Failed)
            device.scheduleReconnectLocked();
    };
    m_reconnect = api->time_new(api, &at, reconnect, this);
}

void PulseDevice::dropContextLocked() {
    if (!m_pulse)
        return;
    pa_context_set_state_callback(m_pulse, nullptr, nullptr);
    pa_context_disconnect(m_pulse);
    pa_context_unref(m_pulse);
    m_pulse = nullptr;
    m_link = Link::Failed;
}

int PulseDevice::open(RenderCallback callback, void* context) {
    if (!m_loop)
        return 0;
    pa_threaded_mainloop_lock(m_loop);
    m_closing = false;
    if (!m_pulse)
        connectLocked();
    while (m_link == Link::Connecting)
        pa_threaded_mainloop_wait(m_loop);
    if (m_link != Link::Ready) {
        dropContextLocked();
        pa_threaded_mainloop_unlock(m_loop);
        return 0;
    }
    // The default sink's own rate, so the server need not resample.
    const auto onSink = [](pa_context*, const pa_sink_info* info, int eol, void* self) {
        auto& device = *static_cast<PulseDevice*>(self);
        if (eol == 0 && info)
            device.m_rate = static_cast<int>(info->sample_spec.rate);
        else
            pa_threaded_mainloop_signal(device.m_loop, 0);
    };
    if (pa_operation* asked =
            pa_context_get_sink_info_by_name(m_pulse, "@DEFAULT_SINK@", onSink, this)) {
        while (pa_operation_get_state(asked) == PA_OPERATION_RUNNING)
            pa_threaded_mainloop_wait(m_loop);
        pa_operation_unref(asked);
    }
    if (m_rate <= 0)
        m_rate = kFallbackRate;
    m_callback = callback;
    m_context = context;
    makeStreamLocked();
    while (m_stream && m_streamLink == Link::Connecting)
        pa_threaded_mainloop_wait(m_loop);
    const bool opened = m_stream && m_streamLink == Link::Ready;
    if (opened) {
        std::fprintf(stderr, "%s\n", PeriodSteps::opened(m_rate, periodFrames()).c_str());
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
        m_wakeEvent = api->io_new(
            api, m_wakeFd, PA_IO_EVENT_INPUT,
            [](pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void* self) {
                std::uint64_t count = 0;
                if (read(fd, &count, sizeof count) == sizeof count)
                    static_cast<PulseDevice*>(self)->answerWake();
            },
            this);
    } else {
        m_callback = nullptr;
        dropStreamLocked();
        dropContextLocked();
    }
    pa_threaded_mainloop_unlock(m_loop);
    if (!opened)
        return 0;
    {
        std::lock_guard guard(m_watchLock);
        m_stopWatching = false;
    }
    m_watcher = std::thread([this] { watch(); });
    return m_rate;
}

void PulseDevice::makeStreamLocked() {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(m_rate), 2};
    m_stream = pa_stream_new(m_pulse, "トレモロ", &spec, nullptr);
    m_streamLink = Link::Connecting;
    if (!m_stream) {
        m_streamLink = Link::Failed;
        return;
    }
    pa_stream_set_state_callback(m_stream, &PulseDevice::onStreamState, this);
    pa_stream_set_write_callback(m_stream, &PulseDevice::onWrite, this);
    pa_stream_set_underflow_callback(m_stream, &PulseDevice::onUnderflow, this);
    const pa_buffer_attr attr = bufferAttr(periodFrames());
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY |
                                                      (m_started ? 0 : PA_STREAM_START_CORKED));
    m_quietFrames = 0;
    m_resting = false;
    m_ownChange = Clock::now();
    if (pa_stream_connect_playback(m_stream, nullptr, &attr, flags, nullptr, nullptr) < 0)
        m_streamLink = Link::Failed;
}

void PulseDevice::onStreamState(pa_stream* stream, void* self) {
    auto& device = *static_cast<PulseDevice*>(self);
    if (stream != device.m_stream)
        return;
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        device.m_streamLink = Link::Ready;
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        device.m_streamLink = Link::Failed;
        break;
    default:
        return;
    }
    pa_threaded_mainloop_signal(device.m_loop, 0);
}

void PulseDevice::dropStreamLocked() {
    if (!m_stream)
        return;
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
    m_streamLink = Link::Failed;
}

void PulseDevice::start() {
    if (!m_loop)
        return;
    pa_threaded_mainloop_lock(m_loop);
    m_started = true;
    if (m_stream) {
        m_ownChange = Clock::now();
        release(pa_stream_cork(m_stream, 0, nullptr, nullptr));
    }
    pa_threaded_mainloop_unlock(m_loop);
}

void PulseDevice::close() {
    shutDown();
}

void PulseDevice::shutDown() {
    if (!m_loop)
        return;
    stopWatching();
    pa_threaded_mainloop_lock(m_loop);
    m_closing = true;
    if (m_wakeEvent) {
        pa_threaded_mainloop_get_api(m_loop)->io_free(m_wakeEvent);
        m_wakeEvent = nullptr;
    }
    dropStreamLocked();
    if (m_reconnect) {
        pa_threaded_mainloop_get_api(m_loop)->time_free(m_reconnect);
        m_reconnect = nullptr;
    }
    if (m_link != Link::Ready)
        dropContextLocked();
    m_callback = nullptr;
    m_started = false;
    pa_threaded_mainloop_unlock(m_loop);
}

void PulseDevice::wake() {
    // Without rewrites the next request renders what was started.
    if (m_wakeFd < 0 || (!rewritesHeldFrames() && !m_quiet.load(std::memory_order_relaxed)))
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
}

void PulseDevice::onWrite(pa_stream* stream, std::size_t bytes, void* self) {
    auto& device = *static_cast<PulseDevice*>(self);
    if (stream != device.m_stream || device.m_resting || !device.m_callback)
        return;
    static thread_local bool raised = false;
    if (!raised) {
        raiseThisThread();
        raised = true;
    }
    device.noteRequestTime();
    // What the server asks for, never more than it holds: the requests it
    // made during a rest are not owed.
    device.fill(std::min(bytes, device.heldBytes()), false);
}

// A request that came so late that a sound broke up counts as a late period
// too (serverRequestLate), as the underrun the server reports does.
void PulseDevice::noteRequestTime() {
    const auto now = Clock::now();
    if (m_lastRequest != Clock::time_point{} && now - m_ownChange > kOwnChangeSettles &&
        serverRequestLate(now - m_lastRequest, static_cast<std::int64_t>(heldBytes() / kFrameBytes),
                          sinkFrames(), m_rate, !m_quiet.load(std::memory_order_relaxed)))
        ++m_underruns;
    m_lastRequest = now;
}

// What the sink had taken from the server's queue ahead of playing it, as the
// last watch's timing update said; none before the first.
std::int64_t PulseDevice::sinkFrames() const {
    const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
    if (!timing)
        return 0;
    return static_cast<std::int64_t>(timing->sink_usec) * m_rate / 1'000'000;
}

// Whole periods, so that the server gets what it was told to expect; what
// is left of a request comes with the next. libpulse's write buffer holds a
// little under 64 KiB, less than a period of 8,192 frames: a period that
// does not fit is written in as many pieces as it takes.
void PulseDevice::fill(std::size_t bytes, bool atReadIndex) {
    const int period = periodFrames();
    const std::size_t periodBytes = static_cast<std::size_t>(period) * kFrameBytes;
    std::size_t left = bytes / periodBytes * periodBytes;
    pa_seek_mode_t seek = atReadIndex ? PA_SEEK_RELATIVE_ON_READ : PA_SEEK_RELATIVE;
    while (left > 0) {
        std::size_t size = left;
        void* data = nullptr;
        if (pa_stream_begin_write(m_stream, &data, &size) < 0 || !data)
            break;
        size = std::min(size, left) / kFrameBytes * kFrameBytes;
        if (size == 0) {
            pa_stream_cancel_write(m_stream);
            break;
        }
        auto* out = static_cast<float*>(data);
        for (std::size_t done = 0; done < size;) {
            const std::size_t frames = std::min(size - done, periodBytes) / kFrameBytes;
            renderInto(out + done / sizeof(float), frames);
            done += frames * kFrameBytes;
        }
        pa_stream_write(m_stream, data, size, nullptr, 0, seek);
        seek = PA_SEEK_RELATIVE;
        left -= size;
    }
    if (m_quietFrames >= kQuietBeforeRest.count() * m_rate) {
        m_resting = true;
        m_ownChange = Clock::now();
        release(pa_stream_cork(m_stream, 1, nullptr, nullptr));
    }
}

void PulseDevice::renderInto(float* out, std::size_t frames) {
    if (m_callback(m_context, out, frames)) {
        m_quietFrames = 0;
        m_quiet.store(false, std::memory_order_relaxed);
    } else {
        m_quietFrames += static_cast<std::int64_t>(frames);
        m_quiet.store(true, std::memory_order_relaxed);
    }
}

// Something was started or changed. When all the server holds of ours is
// silence (or nothing, at rest), the sound is written over it from the read
// index on. Otherwise what the server holds is written again once a timing
// update has said where its read index is.
void PulseDevice::answerWake() {
    if (!m_stream || m_streamLink != Link::Ready || !m_started || !m_callback)
        return;
    const int period = periodFrames();
    const std::size_t held = heldBytes();
    if (!m_resting && m_quietFrames < static_cast<std::int64_t>(held / kFrameBytes) + period) {
        if (rewritesHeldFrames())
            release(pa_stream_update_timing_info(m_stream, &PulseDevice::onRewriteTiming, this));
        return;
    }
    // Uncorked before the write: PulseAudio drops the first half millisecond
    // of what was written at the read index while the stream was corked.
    if (m_resting) {
        m_resting = false;
        m_lastRequest = {};
        release(pa_stream_cork(m_stream, 0, nullptr, nullptr));
    }
    fill(held, true);
}

void PulseDevice::onRewriteTiming(pa_stream* stream, int success, void* self) {
    auto& device = *static_cast<PulseDevice*>(self);
    if (success && stream == device.m_stream && !device.m_resting && device.m_callback)
        device.rewriteHeld();
}

// The frames between the server's read index, moved on by the time since the
// update, and its write index are written again from their absolute index.
// A seek other than a relative one is what the server corrects its request
// count for: the frames it wanted are the same after as before. Frames the
// server read meanwhile are no loss: PulseAudio takes back what its sink had
// taken ahead (a rewind), PipeWire skips what it has played.
void PulseDevice::rewriteHeld() {
    const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
    if (!timing || timing->write_index_corrupt || timing->read_index_corrupt)
        return;
    timeval now{};
    pa_gettimeofday(&now);
    const pa_usec_t since = pa_timeval_cmp(&now, &timing->timestamp) > 0
                                ? pa_timeval_diff(&now, &timing->timestamp)
                                : 0;
    const auto readSince = static_cast<std::int64_t>((since + usecOf(kRewriteMargin)) *
                                                     static_cast<pa_usec_t>(m_rate) / 1'000'000);
    const std::int64_t held =
        (timing->write_index - timing->read_index) / static_cast<std::int64_t>(kFrameBytes) -
        readSince;
    if (held <= 0)
        return;
    std::size_t size = static_cast<std::size_t>(held) * kFrameBytes;
    void* data = nullptr;
    if (pa_stream_begin_write(m_stream, &data, &size) < 0 || !data)
        return;
    const std::size_t written = m_rewrite(m_context, static_cast<float*>(data), size / kFrameBytes);
    if (written == 0) {
        pa_stream_cancel_write(m_stream);
        return;
    }
    const std::int64_t bytes = static_cast<std::int64_t>(written * kFrameBytes);
    pa_stream_write(m_stream, data, static_cast<std::size_t>(bytes), nullptr,
                    timing->write_index - bytes, PA_SEEK_ABSOLUTE);
    m_quietFrames = 0;
    m_quiet.store(false, std::memory_order_relaxed);
}

// The server's own target length, which it sets from ours and the sink's
// latency.
std::size_t PulseDevice::heldBytes() const {
    const pa_buffer_attr* attr = pa_stream_get_buffer_attr(m_stream);
    return attr ? attr->tlength : bufferBytes(periodFrames());
}

void PulseDevice::onUnderflow(pa_stream* stream, void* self) {
    auto& device = *static_cast<PulseDevice*>(self);
    if (stream == device.m_stream)
        device.noteUnderrun();
}

// An underrun over silence is not heard: the server played silence for
// silence.
void PulseDevice::noteUnderrun() {
    if (m_resting || m_quiet.load(std::memory_order_relaxed) ||
        Clock::now() - m_ownChange < kOwnChangeSettles)
        return;
    ++m_underruns;
}

// At rest nothing can break up, and the watch only looks, seldom, for the
// rest's end; the load is measured afresh after it.
void PulseDevice::watch() {
    ProcessorLoad load;
    bool resting = false;
    std::unique_lock guard(m_watchLock);
    while (!m_watchEnds.wait_for(guard, resting ? kRestingWatchInterval : kWatchInterval,
                                 [this] { return m_stopWatching; })) {
        const bool saturated = !resting && m_busyCountsAsLate && load.saturated();
        pa_threaded_mainloop_lock(m_loop);
        if (!resting)
            watchPeriodLocked(saturated);
        resting = m_resting;
        pa_threaded_mainloop_unlock(m_loop);
        if (resting)
            load = ProcessorLoad();
    }
}

void PulseDevice::stopWatching() {
    {
        std::lock_guard guard(m_watchLock);
        m_stopWatching = true;
    }
    m_watchEnds.notify_all();
    if (m_watcher.joinable())
        m_watcher.join();
}

void PulseDevice::watchPeriodLocked(bool saturated) {
    if (!m_stream || m_streamLink != Link::Ready)
        return;
    // What the sink holds ahead, which a late request is measured against,
    // asked for by each watch rather than by libpulse's own timer, which
    // would go on waking the program at rest.
    release(pa_stream_update_timing_info(m_stream, nullptr, nullptr));
    const auto now = Clock::now();
    const int period = periodFrames();
    const int next =
        m_steps.look(m_underruns, saturated, period, m_quiet.load(std::memory_order_relaxed), now);
    if (next == period)
        return;
    setBufferLocked(next);
    std::fprintf(stderr, "%s\n", m_steps.changed(period, next, now).c_str());
}

// The same stream takes the new sizes: nothing it holds is dropped.
void PulseDevice::setBufferLocked(int periodFrames) {
    const pa_buffer_attr attr = bufferAttr(periodFrames);
    m_periodFrames.store(periodFrames, std::memory_order_relaxed);
    m_ownChange = Clock::now();
    release(pa_stream_set_buffer_attr(m_stream, &attr, nullptr, nullptr));
}

} // namespace tremlo::sound
