// How far a sound server honours a write at the read index while a stream
// plays: a quiet tone keeps `queued` milliseconds queued, and loud bursts are
// written over it at the read index, then appended behind it; each is timed
// from its write to its first sample on the default sink's monitor.
//
//     seek_probe [QUEUED_MS [BURSTS]]      (100 ms, 12 bursts of each)
//
// SEEK_PROBE_SOURCE names the monitor to record (PipeWire's pulse server
// gave nothing through @DEFAULT_MONITOR@, the default).
//
// Prints seek_on_read_heard_ms and appended_heard_ms (medians), how many
// bursts of each were never heard, and the target length the server granted. Run it inside the
// server to measure, e.g. tools/test --with-services --server pipewire
// build-release/bench/seek_probe.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <pulse/pulseaudio.h>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr std::size_t kFrameBytes = 2 * sizeof(float);
constexpr float kToneLevel = 0.05f;
constexpr float kBurstLevel = 0.8f;
constexpr float kHeardLevel = 0.4f;
// A burst's time when it was never heard (a heard one may come out a little
// under zero: the stamps are those of the recorder's chunks).
constexpr double kLost = -1e9;

struct Probe {
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = nullptr;
    pa_stream* play = nullptr;
    pa_stream* record = nullptr;
    std::int64_t toneFrame = 0;
    std::vector<float> scratch;

    void iterate() { pa_mainloop_iterate(loop, 1, nullptr); }

    void write(std::size_t frames, float level, double hz, pa_seek_mode_t seek) {
        scratch.assign(frames * 2, 0.0f);
        for (std::size_t i = 0; i < frames; ++i) {
            const double phase = 2.0 * std::numbers::pi * hz * double(toneFrame + i) / kRate;
            scratch[2 * i] = scratch[2 * i + 1] = level * static_cast<float>(std::sin(phase));
        }
        pa_stream_write(play, scratch.data(), frames * kFrameBytes, nullptr, 0, seek);
    }

    // Keeps the queue full of the quiet tone.
    void topUp() {
        const std::size_t bytes = pa_stream_writable_size(play);
        if (bytes == static_cast<std::size_t>(-1))
            return;
        const std::size_t writable = bytes / kFrameBytes;
        if (writable >= 256) {
            write(writable, kToneLevel, 500.0, PA_SEEK_RELATIVE);
            toneFrame += static_cast<std::int64_t>(writable);
        }
    }

    // When the monitor brought the first loud sample, as the moment that
    // sample reached the recording; nothing when none came yet.
    bool heardLoud(Clock::time_point& at) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        bool heard = false;
        while (!heard && pa_stream_readable_size(record) > 0 &&
               pa_stream_peek(record, &data, &bytes) == 0 && (data || bytes)) {
            const auto arrived = Clock::now();
            const std::size_t frames = bytes / kFrameBytes;
            for (std::size_t i = 0; data && i < frames; ++i) {
                if (std::fabs(static_cast<const float*>(data)[2 * i]) > kHeardLevel) {
                    at = arrived - std::chrono::microseconds((frames - i) * 1'000'000 / kRate);
                    heard = true;
                    break;
                }
            }
            pa_stream_drop(record);
        }
        return heard;
    }

    // Writes one burst and waits for it, then for the queue to hold only
    // the tone again. Milliseconds from the write to the burst heard, kLost
    // for a burst not heard within a second.
    double timeBurst(pa_seek_mode_t seek) {
        write(kRate / 20, kBurstLevel, 1000.0, seek);
        const auto written = Clock::now();
        Clock::time_point heardAt{};
        const auto givenUp = written + std::chrono::seconds(1);
        while (!heardLoud(heardAt)) {
            if (Clock::now() > givenUp)
                return kLost;
            iterate();
            topUp();
        }
        for (const auto until = Clock::now() + std::chrono::milliseconds(600);
             Clock::now() < until;) {
            iterate();
            topUp();
            Clock::time_point rest{};
            heardLoud(rest);
        }
        return std::chrono::duration<double, std::milli>(heardAt - written).count();
    }
};

// Of the bursts heard; a lost one counts as later than any.
double median(std::vector<double> values) {
    for (double& value : values)
        if (value <= kLost)
            value = 1e9;
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

std::string shown(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", ms);
    return ms <= kLost ? "lost" : text;
}

long lost(const std::vector<double>& values) {
    return std::count_if(values.begin(), values.end(), [](double value) { return value <= kLost; });
}

} // namespace

int main(int argc, char** argv) {
    const int queuedMs = argc > 1 ? std::atoi(argv[1]) : 100;
    const int bursts = argc > 2 ? std::atoi(argv[2]) : 12;
    Probe probe;
    probe.context = pa_context_new(pa_mainloop_get_api(probe.loop), "seek_probe");
    pa_context_connect(probe.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    while (pa_context_get_state(probe.context) != PA_CONTEXT_READY) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(probe.context))) {
            std::fprintf(stderr, "seek_probe: no sound server\n");
            return 1;
        }
        probe.iterate();
    }
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, kRate, 2};
    probe.play = pa_stream_new(probe.context, "seek_probe play", &spec, nullptr);
    probe.record = pa_stream_new(probe.context, "seek_probe record", &spec, nullptr);
    const pa_buffer_attr playAttr{static_cast<std::uint32_t>(-1),
                                  static_cast<std::uint32_t>(kRate * queuedMs / 1000 * kFrameBytes),
                                  0, 256 * kFrameBytes, static_cast<std::uint32_t>(-1)};
    pa_stream_connect_playback(probe.play, nullptr, &playAttr, PA_STREAM_ADJUST_LATENCY, nullptr,
                               nullptr);
    const pa_buffer_attr recordAttr{static_cast<std::uint32_t>(-1), 0, 0, 0, 240 * kFrameBytes};
    const char* source = std::getenv("SEEK_PROBE_SOURCE");
    pa_stream_connect_record(probe.record, source ? source : "@DEFAULT_MONITOR@", &recordAttr,
                             PA_STREAM_ADJUST_LATENCY);
    while (pa_stream_get_state(probe.play) != PA_STREAM_READY ||
           pa_stream_get_state(probe.record) != PA_STREAM_READY)
        probe.iterate();
    // Both streams settle before the first burst.
    Clock::time_point ignored{};
    for (const auto until = Clock::now() + std::chrono::milliseconds(1500); Clock::now() < until;) {
        probe.iterate();
        probe.topUp();
        probe.heardLoud(ignored);
    }
    std::vector<double> onRead, appended;
    for (int i = 0; i < bursts; ++i) {
        onRead.push_back(probe.timeBurst(PA_SEEK_RELATIVE_ON_READ));
        appended.push_back(probe.timeBurst(PA_SEEK_RELATIVE));
    }
    const pa_buffer_attr* granted = pa_stream_get_buffer_attr(probe.play);
    std::printf("queued_ms: %.1f\n",
                granted ? granted->tlength / double(kFrameBytes * kRate) * 1000 : 0.0);
    std::printf("seek_on_read_heard_ms: %.1f\n", median(onRead));
    std::printf("appended_heard_ms: %.1f\n", median(appended));
    std::printf("seek_on_read_lost: %ld of %d\n", lost(onRead), bursts);
    std::printf("appended_lost: %ld of %d\n", lost(appended), bursts);
    std::fprintf(stderr, "each, in turn:");
    for (std::size_t i = 0; i < onRead.size(); ++i)
        std::fprintf(stderr, " %s/%s", shown(onRead[i]).c_str(), shown(appended[i]).c_str());
    std::fprintf(stderr, " (at the read index/appended)\n");
    pa_stream_disconnect(probe.play);
    pa_stream_disconnect(probe.record);
    pa_context_disconnect(probe.context);
    pa_stream_unref(probe.play);
    pa_stream_unref(probe.record);
    pa_context_unref(probe.context);
    pa_mainloop_free(probe.loop);
    return 0;
}
