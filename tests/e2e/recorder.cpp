// Records a PulseAudio source (the null sink's monitor in the end-to-end
// tests) with a CLOCK_MONOTONIC time stamp on every chunk, so the recording
// can be laid against the moments the harness pressed a key.
//
//   e2e_recorder [--let-suspend] SOURCE OUTPUT [FRAGMENT_FRAMES]
//
// OUTPUT is a sequence of records: a little-endian int64, the monotonic time
// in nanoseconds taken just after the chunk was read, then kChunkFrames
// frames of interleaved float32 stereo at kRate. The stamp says when the
// whole chunk was in hand; the chunk's first frame may have arrived up to one
// chunk (1.3 ms) earlier. SIGTERM or SIGINT ends the recording cleanly.
//
// libpulse rather than parec and a reader in Python: parec hands its output
// on through a pipe in its own blocks, and a Python thread can wait for the
// interpreter lock, so neither stamp would be this close to arrival.
//
// FRAGMENT_FRAMES (default one chunk) is how much the server gathers before
// it hands the recording over. One chunk gives the closest stamps, but the
// null sink then renders its monitor in 1.3 ms blocks, which no desktop's
// sink does, and on a quiet machine it made gaps of silence in a stream that
// was never late; a benchmark that counts gaps asks for larger fragments.
//
// --let-suspend: the recording does not keep the sink awake, so a sink that
// suspends when idle still does (PulseAudio's module-suspend-on-idle,
// WirePlumber's node suspend). While it sleeps no chunk comes, and the
// stamps jump by the time it slept.

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pulse/pulseaudio.h>

namespace {

constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr int kChunkFrames = 64;

volatile std::sig_atomic_t g_stop = 0;

// Through libpulse's signal events, which wake the loop out of its wait: a
// sink asleep hands over nothing that would.
void requestStop(pa_mainloop_api* api, pa_signal_event*, int, void*) {
    g_stop = 1;
    api->quit(api, 0);
}

std::int64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The loop runs until `ready` says yes, or the connection failed.
template <typename Ready> bool iterateUntil(pa_mainloop* loop, Ready ready) {
    while (!g_stop) {
        const int state = ready();
        if (state != 0)
            return state > 0;
        if (pa_mainloop_iterate(loop, 1, nullptr) < 0)
            return false;
    }
    return false;
}

int contextReady(pa_context* context) {
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        return 1;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        return -1;
    default:
        return 0;
    }
}

int streamReady(pa_stream* stream) {
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        return 1;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        return -1;
    default:
        return 0;
    }
}

// Gathers what the server hands over into whole chunks and writes each with
// the moment it was complete.
class ChunkWriter {
public:
    explicit ChunkWriter(std::FILE* out) : m_out(out) {}

    // `data` null is a hole in the recording: silence.
    void take(const void* data, std::size_t bytes) {
        const auto* from = static_cast<const std::uint8_t*>(data);
        while (bytes > 0) {
            const std::size_t room = sizeof m_chunk - m_filled;
            const std::size_t size = std::min(room, bytes);
            auto* to = reinterpret_cast<std::uint8_t*>(m_chunk.data()) + m_filled;
            if (from) {
                std::memcpy(to, from, size);
                from += size;
            } else {
                std::memset(to, 0, size);
            }
            m_filled += size;
            bytes -= size;
            if (m_filled == sizeof m_chunk)
                writeChunk();
        }
    }

    long chunks() const { return m_chunks; }

private:
    void writeChunk() {
        const std::int64_t stamp = monotonicNs();
        std::fwrite(&stamp, sizeof stamp, 1, m_out);
        std::fwrite(m_chunk.data(), sizeof m_chunk, 1, m_out);
        m_filled = 0;
        // Ten times a second, so a reader can follow the recording while it
        // runs.
        if (++m_chunks % (kRate / kChunkFrames / 10) == 0)
            std::fflush(m_out);
    }

    std::FILE* m_out;
    std::array<float, kChunkFrames * kChannels> m_chunk{};
    std::size_t m_filled = 0;
    long m_chunks = 0;
};

int usage(const char* name) {
    std::fprintf(stderr, "usage: %s [--let-suspend] SOURCE OUTPUT [FRAGMENT_FRAMES]\n", name);
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    const char* name = argv[0];
    const bool letSuspend = argc > 1 && std::strcmp(argv[1], "--let-suspend") == 0;
    if (letSuspend) {
        --argc;
        ++argv;
    }
    const long fragmentFrames = argc == 4 ? std::strtol(argv[3], nullptr, 10) : kChunkFrames;
    if (argc < 3 || argc > 4 || fragmentFrames < kChunkFrames || fragmentFrames > kRate)
        return usage(name);
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) {
        std::perror(argv[2]);
        return 1;
    }

    pa_mainloop* loop = pa_mainloop_new();
    pa_signal_init(pa_mainloop_get_api(loop));
    pa_signal_new(SIGTERM, requestStop, nullptr);
    pa_signal_new(SIGINT, requestStop, nullptr);
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "tremolo-e2e-recorder");
    pa_stream* stream = nullptr;
    int status = 1;
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0 ||
        !iterateUntil(loop, [&] { return contextReady(context); })) {
        std::fprintf(stderr, "cannot reach the server: %s\n",
                     pa_strerror(pa_context_errno(context)));
    } else {
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kRate, kChannels};
        // PipeWire's pulse server ignores the flag below; a passive node is
        // its own way of not keeping the sink running.
        pa_proplist* properties = pa_proplist_new();
        if (letSuspend)
            pa_proplist_sets(properties, "node.passive", "true");
        stream = pa_stream_new_with_proplist(context, "recording", &spec, nullptr, properties);
        pa_proplist_free(properties);
        // By default one chunk per fragment: the server then hands every chunk
        // over as soon as the sink has rendered it.
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(-1);
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(fragmentFrames * kChannels * sizeof(float));
        // The flags libpulse-simple's recorder used, which the figures so far
        // were measured with.
        auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
        if (letSuspend)
            flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND);
        if (!stream || pa_stream_connect_record(stream, argv[1], &attr, flags) < 0 ||
            !iterateUntil(loop, [&] { return streamReady(stream); }))
            std::fprintf(stderr, "cannot record %s: %s\n", argv[1],
                         pa_strerror(pa_context_errno(context)));
        else
            status = 0;
    }
    // What a reader waits for when a sink asleep hands over no first chunk.
    if (status == 0)
        std::fprintf(stderr, "recording %s\n", argv[1]);

    ChunkWriter writer(out);
    bool toldLatency = false;
    while (status == 0 && !g_stop) {
        if (pa_mainloop_iterate(loop, 1, nullptr) < 0 || streamReady(stream) < 0) {
            if (g_stop)
                break;
            std::fprintf(stderr, "read failed: %s\n", pa_strerror(pa_context_errno(context)));
            status = 1;
            break;
        }
        const void* data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) == 0 &&
               bytes > 0) {
            writer.take(data, bytes);
            pa_stream_drop(stream);
        }
        // Once the stream has settled, what the server counts as not yet
        // read by us: reported for the benchmark, not subtracted anywhere.
        pa_usec_t latency = 0;
        int negative = 0;
        if (!toldLatency && writer.chunks() >= kRate / kChunkFrames &&
            pa_stream_get_latency(stream, &latency, &negative) == 0) {
            std::fprintf(stderr, "capture latency: %llu us\n",
                         static_cast<unsigned long long>(negative ? 0 : latency));
            toldLatency = true;
        }
    }
    if (stream) {
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_signal_done();
    pa_mainloop_free(loop);
    if (std::fclose(out) != 0)
        status = 1;
    return status;
}
