// Measures the mixer on the offline device, in a release build.
//
// The standard scene is what the program sounds at its busiest: a 44.1 kHz
// stereo melody looping at a changed rate, a 48 kHz ambience loop, a door
// announcement, a click and a noise. Figures are CPU time of this thread, set
// against a plain copy of the same output measured in the same run, so that a
// loaded machine moves both alike. The lock figures are wall-clock lengths of
// callbacks, set against callbacks of the same run whose competing thread takes
// no lock.

#include "offline_device.h"
#include "sound_library.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace tremlo::sound;

constexpr int kDeviceRate = 48000;
constexpr int kPeriod = 256;
constexpr int kSceneSeconds = 60;
constexpr int kLockCallbacks = 200'000;

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void put(std::vector<char>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

// A 16-bit PCM WAVE file of a few partials, loud from its first sample.
std::vector<char> toneFile(int rate, int channels, double seconds, double hz) {
    const auto frames = static_cast<std::uint32_t>(rate * seconds);
    const std::uint32_t dataBytes = frames * static_cast<std::uint32_t>(channels) * 2;
    std::vector<char> out;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put(out, 36 + dataBytes, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(out, 16, 4);
    put(out, 1, 2);
    put(out, static_cast<std::uint32_t>(channels), 2);
    put(out, static_cast<std::uint32_t>(rate), 4);
    put(out, static_cast<std::uint32_t>(rate * channels * 2), 4);
    put(out, static_cast<std::uint32_t>(channels * 2), 2);
    put(out, 16, 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put(out, dataBytes, 4);
    for (std::uint32_t f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / rate;
        const double v = 0.3 * std::cos(2 * std::numbers::pi * hz * t) +
                         0.1 * std::sin(2 * std::numbers::pi * hz * 3 * t);
        for (int c = 0; c < channels; ++c)
            put(out, static_cast<std::uint32_t>(static_cast<std::int16_t>(v * 32767)), 2);
    }
    return out;
}

struct Scene {
    OfflineDevice* device = nullptr;
    std::unique_ptr<SoundLibrary> library;
    std::vector<SoundHandle> handles;
};

Scene makeScene() {
    Scene scene;
    auto device = std::make_unique<OfflineDevice>(kDeviceRate, kPeriod);
    scene.device = device.get();
    scene.library = std::make_unique<SoundLibrary>(std::move(device));
    scene.library->dsInit2(0, 2);
    auto& lib = *scene.library;
    const std::vector<char> files[] = {
        toneFile(44100, 2, 5.0, 440.0),   // melody
        toneFile(48000, 2, 4.0, 110.0),   // ambience
        toneFile(44100, 1, 3.0, 660.0),   // door announcement
        toneFile(44100, 1, 0.05, 2000.0), // click
        toneFile(44100, 1, 1.0, 3000.0),  // noise
    };
    for (const auto& file : files)
        scene.handles.push_back(lib.dsCreateDSB(file.data(), file.size(), 1));
    lib.dsSetFrequency(scene.handles[0], 47000);
    lib.dsSetVolume(scene.handles[1], -1000);
    lib.dsSetPan(scene.handles[2], -2000);
    // Looping keeps every sound going for the whole measurement.
    for (SoundHandle h : scene.handles)
        lib.dsPlayLooping(h);
    return scene;
}

double mixerCpuSeconds(Scene& scene, std::vector<float>& out) {
    const double start = threadCpuSeconds();
    scene.device->render(out.data(), out.size() / 2);
    return threadCpuSeconds() - start;
}

double copyCpuSeconds(const std::vector<float>& from) {
    std::vector<float> to(from.size());
    // Several copies, so the figure is well above the clock's resolution.
    constexpr int kCopies = 20;
    const double start = threadCpuSeconds();
    for (int i = 0; i < kCopies; ++i) {
        std::memcpy(to.data(), from.data(), from.size() * sizeof(float));
        asm volatile("" : : "r"(to.data()) : "memory");
    }
    return (threadCpuSeconds() - start) / kCopies;
}

long firstSoundFrames() {
    Scene scene = makeScene();
    auto& lib = *scene.library;
    for (SoundHandle h : scene.handles)
        lib.dsStop(h);
    scene.device->render(kPeriod * 4);
    lib.dsPlayLooping(scene.handles[0]);
    const auto out = scene.device->render(kPeriod * 8);
    for (std::size_t i = 0; i < out.size(); ++i)
        if (out[i] != 0.0f)
            return static_cast<long>(i / 2);
    return -1;
}

std::filesystem::path programFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : exe.parent_path();
}

double midiRealtimeFactor() {
    SoundLibraryOptions options;
    options.loadSoundFontNow = true;
    auto device = std::make_unique<OfflineDevice>(kDeviceRate, kPeriod);
    OfflineDevice* offline = device.get();
    SoundLibrary lib(std::move(device), options);
    lib.dsInit2(0, 2);
    if (!lib.dsInitMusic())
        return 0;
    SoundHandle segment = lib.dsLoadMusicSegment((programFolder() / "demo.mid").string(), 32);
    if (!segment)
        return 0;
    lib.dsPlayMusicSegment(segment, 1000);
    constexpr int kSeconds = 30;
    std::vector<float> out(static_cast<std::size_t>(kDeviceRate) * kSeconds * 2);
    const double start = threadCpuSeconds();
    offline->render(out.data(), out.size() / 2);
    return kSeconds / (threadCpuSeconds() - start);
}

// Wall-clock length of each callback, in microseconds, while a second thread
// works the library as fast as it can. With `commands` it sends what a
// pressed button sends (play, stop, pan, volume), each of which takes the
// mixer lock; without, it asks the lock-free queries instead, so the baseline
// has the same two threads competing for the same cores and differs only in
// the lock. Callbacks run back to back, far more often than a device asks,
// so that the rare collision is met many times.
struct CallbackTimes {
    double medianUs = 0;
    double p999Us = 0;
    double worstUs = 0;
    std::uint64_t missedPeriods = 0;
};

CallbackTimes callbackTimesWhileUiWorks(bool commands) {
    Scene scene = makeScene();
    auto& lib = *scene.library;
    std::atomic<bool> done{false};
    std::thread ui([&] {
        // Wraps freely: it only keeps the queries from being optimised away.
        std::uint32_t sink = 0;
        for (std::uint32_t round = 0; !done.load(std::memory_order_relaxed); ++round) {
            const SoundHandle h = scene.handles[round % scene.handles.size()];
            if (commands) {
                lib.dsSetPan(h, round % 2 ? 2000 : -2000);
                lib.dsSetVolume(h, -static_cast<int>(round % 10) * 100);
                lib.dsStop(h);
                lib.dsPlay(h);
            } else {
                sink += static_cast<std::uint32_t>(lib.dsIsPlaying(h) + lib.dsGetPositionMSec(h) +
                                                   lib.dsGetBufferMSec(h) + lib.dsIsPlaying(h));
            }
        }
        asm volatile("" : : "r"(sink));
    });
    std::vector<double> times;
    times.reserve(kLockCallbacks);
    std::vector<float> out(static_cast<std::size_t>(kPeriod) * 2);
    for (int i = 0; i < kLockCallbacks; ++i) {
        const auto start = std::chrono::steady_clock::now();
        scene.device->render(out.data(), kPeriod);
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
        // A device leaves the lock free between periods.
        std::this_thread::yield();
    }
    done = true;
    ui.join();
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 999 / 1000], times.back(),
            lib.missedPeriods()};
}

void printLockFigures() {
    const CallbackTimes quiet = callbackTimesWhileUiWorks(false);
    const CallbackTimes busy = callbackTimesWhileUiWorks(true);
    const double periodUs = kPeriod * 1e6 / kDeviceRate;
    std::printf("callback_median_us: %.1f (queries) %.1f (commands)\n", quiet.medianUs,
                busy.medianUs);
    std::printf("callback_p999_us: %.1f (queries) %.1f (commands)\n", quiet.p999Us, busy.p999Us);
    std::printf("callback_worst_us: %.1f (queries) %.1f (commands)\n", quiet.worstUs, busy.worstUs);
    std::printf("lock_p999_ratio: %.2f\n", busy.p999Us / quiet.p999Us);
    std::printf("lock_worst_ratio: %.2f\n", busy.worstUs / quiet.worstUs);
    std::printf("lock_worst_extra_percent_of_period: %.2f\n",
                std::max(0.0, busy.worstUs - quiet.worstUs) / periodUs * 100.0);
    std::printf("lock_missed_periods: %llu of %d\n",
                static_cast<unsigned long long>(busy.missedPeriods), kLockCallbacks);
}

} // namespace

// `mixer_bench lock` measures only what the mixer lock costs the callback.
int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "lock") == 0) {
        printLockFigures();
        return 0;
    }
    Scene scene = makeScene();
    std::vector<float> out(static_cast<std::size_t>(kDeviceRate) * kSceneSeconds * 2);
    scene.device->render(kDeviceRate); // warm up
    const double mixSeconds = mixerCpuSeconds(scene, out);
    const double copySeconds = copyCpuSeconds(out);

    std::printf("mixer_cpu_percent: %.3f\n", mixSeconds / kSceneSeconds * 100.0);
    std::printf("mixer_vs_copy_ratio: %.1f\n", mixSeconds / copySeconds);
    std::printf("first_sound_frames: %ld\n", firstSoundFrames());
    std::printf("midi_realtime_factor: %.1f\n", midiRealtimeFactor());

    printLockFigures();
    return 0;
}
