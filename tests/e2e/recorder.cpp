// Records a PulseAudio source (the null sink's monitor in the end-to-end
// tests) with a CLOCK_MONOTONIC time stamp on every chunk, so the recording
// can be laid against the moments the harness pressed a key.
//
//   e2e_recorder SOURCE OUTPUT [FRAGMENT_FRAMES]
//
// OUTPUT is a sequence of records: a little-endian int64, the monotonic time
// in nanoseconds taken just after the chunk was read, then kChunkFrames
// frames of interleaved float32 stereo at kRate. The stamp says when the
// whole chunk was in hand; the chunk's first frame may have arrived up to one
// chunk (1.3 ms) earlier. SIGTERM or SIGINT ends the recording cleanly.
//
// libpulse-simple rather than parec and a reader in Python: parec hands its
// output on through a pipe in its own blocks, and a Python thread can wait
// for the interpreter lock, so neither stamp would be this close to arrival.
//
// FRAGMENT_FRAMES (default one chunk) is how much the server gathers before
// it hands the recording over. One chunk gives the closest stamps, but the
// null sink then renders its monitor in 1.3 ms blocks, which no desktop's
// sink does, and on a quiet machine it made gaps of silence in a stream that
// was never late; a benchmark that counts gaps asks for larger fragments.

#include <array>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pulse/error.h>
#include <pulse/simple.h>

namespace {

constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr int kChunkFrames = 64;

volatile std::sig_atomic_t g_stop = 0;

void requestStop(int) {
    g_stop = 1;
}

std::int64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

} // namespace

int main(int argc, char* argv[]) {
    const long fragmentFrames = argc == 4 ? std::strtol(argv[3], nullptr, 10) : kChunkFrames;
    if (argc < 3 || argc > 4 || fragmentFrames < kChunkFrames || fragmentFrames > kRate) {
        std::fprintf(stderr, "usage: %s SOURCE OUTPUT [FRAGMENT_FRAMES]\n", argv[0]);
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) {
        std::perror(argv[2]);
        return 1;
    }

    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kRate, kChannels};
    std::array<float, kChunkFrames * kChannels> chunk{};
    // By default one chunk per fragment: the server then hands every chunk
    // over as soon as the sink has rendered it.
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(-1);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(fragmentFrames * kChannels * sizeof(float));
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "tremolo-e2e-recorder", PA_STREAM_RECORD, argv[1],
                                      "recording", &spec, nullptr, &attr, &error);
    if (!stream) {
        std::fprintf(stderr, "cannot record %s: %s\n", argv[1], pa_strerror(error));
        std::fclose(out);
        return 1;
    }

    int status = 0;
    bool toldLatency = false;
    for (long chunks = 0; !g_stop; ++chunks) {
        if (pa_simple_read(stream, chunk.data(), sizeof chunk, &error) < 0) {
            if (g_stop)
                break;
            std::fprintf(stderr, "read failed: %s\n", pa_strerror(error));
            status = 1;
            break;
        }
        const std::int64_t stamp = monotonicNs();
        std::fwrite(&stamp, sizeof stamp, 1, out);
        std::fwrite(chunk.data(), sizeof chunk, 1, out);
        // Ten times a second, so a reader can follow the recording while it
        // runs.
        if (chunks % (kRate / kChunkFrames / 10) == 0)
            std::fflush(out);
        // Once the stream has settled, what the server counts as not yet
        // read by us: reported for the benchmark, not subtracted anywhere.
        if (!toldLatency && chunks == kRate / kChunkFrames) {
            const pa_usec_t latency = pa_simple_get_latency(stream, &error);
            std::fprintf(stderr, "capture latency: %llu us\n",
                         static_cast<unsigned long long>(latency));
            toldLatency = true;
        }
    }
    pa_simple_free(stream);
    if (std::fclose(out) != 0)
        status = 1;
    return status;
}
