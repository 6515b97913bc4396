// The real outputs, SDL's, the PulseAudio server's own stream and PipeWire's
// own stream: the library through a private sound server with a null sink,
// whose monitor the test records: PulseAudio, or PipeWire with its pulse
// server when TREMLO_SOUND_SERVER says pipewire (CTest runs the tests on
// both; PipeWire's own stream only has a daemon to play through there).
//
// Each test starts its own daemon, so it can also take the server away and
// bring it back. The daemon is the one every sound test uses, started through
// tests/support/sound_server.py. Without the server's programs the tests are
// skipped.

#include "pipewire_device.h"
#include "pulse_device.h"
#include "sdl_device.h"
#include "sound_library.h"
#include "test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <numbers>
#include <string>
#include <thread>
#include <type_traits>

namespace tremlo::sound::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;

bool commandSucceeds(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The chosen server's daemon, and the clients the tests record with.
bool serverInstalled() {
    const char* chosen = std::getenv("TREMLO_SOUND_SERVER");
    const std::string daemon =
        chosen && std::string(chosen) == "pipewire" ? "pipewire-pulse" : "pulseaudio";
    return commandSucceeds("command -v " + daemon) && commandSucceeds("command -v parec") &&
           commandSucceeds("command -v python3");
}

// PipeWire's three daemons take seconds and an unsteady while to come back
// on a loaded machine, so the server-restart tests, which try the device's
// own reconnection whatever the server, run on PulseAudio, and on PipeWire
// only for PipeWire's own stream, which has no other server to try it on.
bool onPipeWire() {
    const char* chosen = std::getenv("TREMLO_SOUND_SERVER");
    return chosen && std::string(chosen) == "pipewire";
}

template <typename Device> bool restartTriedHere() {
    return !onPipeWire() || std::is_same_v<Device, PipeWireDevice>;
}

// PipeWire's own stream under PulseAudio, where no PipeWire daemon answers.
template <typename Device> bool noDaemonFor() {
    return std::is_same_v<Device, PipeWireDevice> && !onPipeWire();
}
constexpr const char* kNoPipeWire =
    "the tests' sound server is PulseAudio, where no PipeWire daemon answers: PipeWire's own "
    "stream is tried with TREMLO_SOUND_SERVER=pipewire";

// A PulseAudio daemon of the test's own, in a temporary folder, whose
// addresses this process's environment points at.
class PrivateSoundServer {
public:
    PrivateSoundServer() {
        char pattern[] = "/tmp/tremlo-pulse-XXXXXX";
        m_folder = mkdtemp(pattern);
    }
    ~PrivateSoundServer() {
        stop();
        std::filesystem::remove_all(m_folder);
    }

    // The fixture prints the variables to export as NAME=value lines.
    bool start() {
        FILE* out = popen(command("start").c_str(), "r");
        if (!out)
            return false;
        char line[4096];
        while (fgets(line, sizeof line, out)) {
            std::string assignment(line);
            if (!assignment.empty() && assignment.back() == '\n')
                assignment.pop_back();
            const auto equals = assignment.find('=');
            if (equals != std::string::npos)
                setenv(assignment.substr(0, equals).c_str(), assignment.substr(equals + 1).c_str(),
                       1);
        }
        m_running = pclose(out) == 0;
        return m_running;
    }

    void stop() {
        if (m_running)
            commandSucceeds(command("stop"));
        m_running = false;
    }

private:
    std::string command(const std::string& verb) const {
        return "python3 '" TREMLO_SOUND_SERVER "' " + verb + " '" + m_folder + "/run'";
    }

    std::string m_folder;
    bool m_running = false;
};

// Reads the null sink's monitor as float stereo at 48 kHz.
class Recorder {
public:
    Recorder()
        : m_pipe(popen("exec parec -d test.monitor --raw --format=float32le --channels=2 "
                       "--rate=48000 --latency-msec=5 2>/dev/null",
                       "r")) {}
    ~Recorder() {
        if (m_pipe)
            pclose(m_pipe);
    }

    std::vector<float> read(std::size_t frames) {
        std::vector<float> out(frames * 2);
        const std::size_t got = m_pipe ? fread(out.data(), sizeof(float) * 2, frames, m_pipe) : 0;
        out.resize(got * 2);
        return out;
    }

    // Reads 100 ms windows until one holds the given tone, or gives up after
    // `limit` of recorded time.
    bool hearsTone(double hz, std::chrono::seconds limit) {
        for (auto heard = 0ms; heard < limit; heard += 100ms) {
            const auto window = read(kRate / 10);
            if (window.size() < 2 * std::size_t{kRate / 10})
                return false;
            if (rms(window, 0, 0, kRate / 10) > 0.1 &&
                std::fabs(frequency(window, 0, 0, kRate / 10, kRate) - hz) < 5.0)
                return true;
        }
        return false;
    }

    bool hearsSilence(std::chrono::seconds limit) {
        for (auto heard = 0ms; heard < limit; heard += 50ms) {
            const auto window = read(kRate / 20);
            if (window.size() < 2 * std::size_t{kRate / 20})
                return false;
            if (peak(window, 0, 0, kRate / 20) == 0.0 && peak(window, 1, 0, kRate / 20) == 0.0)
                return true;
        }
        return false;
    }

private:
    FILE* m_pipe;
};

template <typename Device> class RealDevice : public ::testing::Test {
protected:
    void SetUp() override {
        if (!serverInstalled())
            GTEST_SKIP() << "no such sound server here";
        if (noDaemonFor<Device>())
            GTEST_SKIP() << kNoPipeWire;
        ASSERT_TRUE(server.start());
    }
    PrivateSoundServer server;
};

// SDL's device, the PulseAudio server's own stream, and PipeWire's.
using Devices = ::testing::Types<SdlDevice, PulseDevice, PipeWireDevice>;
TYPED_TEST_SUITE(RealDevice, Devices);

// In short periods of its own choice, and in the longest a user may ask for,
// which is more than libpulse's write buffer holds at once.
TYPED_TEST(RealDevice, PlaysAtTheServersRateInTheChosenPeriodsAndStops) {
    for (const int firstFrames : {0, tuning::kUserFramesAtMost}) {
        SCOPED_TRACE(firstFrames);
        // As a program starting finds it: SDL's device sets it for itself.
        unsetenv("PULSE_LATENCY_MSEC");
        SoundLibrary library(std::make_unique<TypeParam>(PeriodChoice{.firstFrames = firstFrames}));
        ASSERT_EQ(library.dsInit2(0, 2), 1);
        EXPECT_EQ(library.outputRate(), kRate);
        if (firstFrames == 0)
            EXPECT_LE(library.periodFrames(), 256);
        else
            EXPECT_EQ(library.periodFrames(), firstFrames);

        Recorder recorder;
        const auto wave = makeSine(1000.0, 44100, 44100);
        SoundHandle tone = library.dsCreateDSB(wave.data(), wave.size(), 1);
        library.dsPlayLooping(tone);
        EXPECT_TRUE(recorder.hearsTone(1000.0, 5s));
        library.dsStop(tone);
        EXPECT_TRUE(recorder.hearsSilence(5s));
        library.dsQuit();
    }
}

// After two quiet seconds the device stops asking for periods; the sound that
// wakes it must still come out from its first frame. So must one started
// over a quiet loop, which the server's stream writes over what it holds.
TYPED_TEST(RealDevice, ABurstIsHeardWholeBothWhileRunningAndAfterARest) {
    SoundLibrary library(std::make_unique<TypeParam>());
    ASSERT_EQ(library.dsInit2(0, 2), 1);
    const int burstFrames = kRate / 20;
    const auto wave = makeSine(1000.0, burstFrames, kRate);
    SoundHandle burst = library.dsCreateDSB(wave.data(), wave.size(), 1);
    const auto hum = makeSine(100.0, kRate, kRate, 1, 0.01);
    SoundHandle loop = library.dsCreateDSB(hum.data(), hum.size(), 1);
    Recorder recorder;
    for (const int quietFrames : {kRate / 2, 3 * kRate, kRate / 2}) {
        const bool overLoop = library.dsIsPlaying(loop) != 0;
        SCOPED_TRACE(overLoop                  ? "over a loop"
                     : quietFrames > 2 * kRate ? "after a rest"
                                               : "while running");
        recorder.read(static_cast<std::size_t>(quietFrames));
        library.dsPlay(burst);
        const auto heard = recorder.read(kRate / 2);
        ASSERT_EQ(heard.size(), std::size_t{kRate});
        std::size_t first = heard.size(), last = 0;
        for (std::size_t i = 0; i < heard.size(); i += 2) {
            if (std::fabs(heard[i]) > 0.05f) {
                first = std::min(first, i / 2);
                last = i / 2;
            }
        }
        ASSERT_LT(first, last) << "the burst was not heard";
        // Within one cycle of the tone: a lost period would take 256 frames.
        // Over a loop a null sink may have taken one more block of its own
        // ahead than the device reckoned (kRewriteMargin); a write placed
        // wrongly would cut off far more.
        EXPECT_NEAR(static_cast<double>(last - first), burstFrames, overLoop ? 256.0 : 48.0);
        if (quietFrames > 2 * kRate)
            library.dsPlayLooping(loop);
    }
    library.dsQuit();
}

// A change while a loop plays has the PulseAudio server's stream write again
// what the server holds; written one frame off, the loop would jump. PipeWire's
// own stream, pulled a quantum at a time, must not break it either. The change here
// is a silent start, so the loop must come out as one unbroken tone: for a
// sine, x[n-1] + x[n+1] = 2 cos(w) x[n]. 1001 Hz has no whole number of
// frames in its cycle, so no shift hides in it. Long periods keep a busy
// machine's late periods, which break a tone too, out of it.
TYPED_TEST(RealDevice, ChangesWhileALoopPlaysLeaveItUnbroken) {
    if constexpr (std::is_same_v<TypeParam, SdlDevice>)
        GTEST_SKIP() << "SDL's stream writes nothing again: a change waits for its next period";
    auto device = std::make_unique<TypeParam>(PeriodChoice{.firstFrames = 2048});
    [[maybe_unused]] const auto* stream = device.get();
    SoundLibrary library(std::move(device));
    ASSERT_EQ(library.dsInit2(0, 2), 1);
    constexpr double kHz = 1001.0;
    const auto loopWave = makeSine(kHz, kRate, kRate, 1, 0.5, 32);
    const auto silentWave = makeSine(kHz, kRate / 10, kRate);
    SoundHandle loop = library.dsCreateDSB(loopWave.data(), loopWave.size(), 1);
    SoundHandle silent = library.dsCreateDSB(silentWave.data(), silentWave.size(), 1);
    library.dsSetVolume(silent, -10000);
    Recorder recorder;
    library.dsPlayLooping(loop);
    ASSERT_TRUE(recorder.hearsTone(kHz, 5s));
    if constexpr (std::is_same_v<TypeParam, PulseDevice>) {
        EXPECT_EQ(stream->rewritesHeldFrames(), !onPipeWire())
            << "held frames are written again on PulseAudio only";
    }
    std::atomic<bool> changing{true};
    std::thread changes([&] {
        while (changing) {
            library.dsPlay(silent);
            std::this_thread::sleep_for(23ms);
        }
    });
    const auto heard = recorder.read(kRate);
    changing = false;
    changes.join();
    library.dsQuit();
    ASSERT_EQ(heard.size(), std::size_t{2 * kRate});
    const double twoCos = 2 * std::cos(2 * std::numbers::pi * kHz / kRate);
    double worst = 0;
    for (std::size_t n = 1; n + 1 < kRate; ++n)
        worst = std::max(
            worst, std::fabs(heard[2 * (n - 1)] + heard[2 * (n + 1)] - twoCos * heard[2 * n]));
    EXPECT_LT(worst, 1e-3);
}

TYPED_TEST(RealDevice, SoundComesBackWhenTheServerDoes) {
    if (!restartTriedHere<TypeParam>())
        GTEST_SKIP() << "a server restart is tried on PulseAudio";
    SoundLibrary library(std::make_unique<TypeParam>());
    ASSERT_EQ(library.dsInit2(0, 2), 1);
    const auto wave = makeSine(500.0, 48000, 48000);
    SoundHandle tone = library.dsCreateDSB(wave.data(), wave.size(), 1);
    library.dsPlayLooping(tone);
    {
        Recorder recorder;
        ASSERT_TRUE(recorder.hearsTone(500.0, 5s));
    }
    this->server.stop();
    std::this_thread::sleep_for(500ms); // let the device notice
    EXPECT_EQ(library.dsIsPlaying(tone), 1) << "the library goes on without a server";
    library.dsSetVolume(tone, -600);
    ASSERT_TRUE(this->server.start());
    Recorder recorder;
    EXPECT_TRUE(recorder.hearsTone(500.0, 10s));
    library.dsQuit();
}

// A 500 Hz tone at the server's rate, as a device's render callback.
struct Tone {
    std::int64_t frame = 0;
    static bool render(void* self, float* out, std::size_t frames) noexcept {
        auto& tone = *static_cast<Tone*>(self);
        for (std::size_t i = 0; i < frames; ++i, ++tone.frame) {
            const auto sample = static_cast<float>(
                0.5 * std::sin(2.0 * std::numbers::pi * 500.0 * double(tone.frame) / kRate));
            out[2 * i] = out[2 * i + 1] = sample;
        }
        return true;
    }
};

TYPED_TEST(RealDevice, StartsWhenTheServerWentAwaySinceOpening) {
    if (!restartTriedHere<TypeParam>())
        GTEST_SKIP() << "a server restart is tried on PulseAudio";
    Tone tone;
    TypeParam device;
    ASSERT_EQ(device.open(&Tone::render, &tone), kRate);
    // Started again and again while the server goes away and a while after,
    // so that a start comes after the device has seen it go and before the
    // device tries to reach it again.
    std::atomic<bool> stopped{false};
    std::thread stopping([&] {
        this->server.stop();
        stopped = true;
    });
    const auto startAgain = [&] {
        device.start();
        std::this_thread::sleep_for(5ms);
    };
    while (!stopped)
        startAgain();
    for (const auto until = Clock::now() + 500ms; Clock::now() < until;)
        startAgain();
    stopping.join();
    ASSERT_TRUE(this->server.start());
    Recorder recorder;
    EXPECT_TRUE(recorder.hearsTone(500.0, 10s));
    device.close();
}

// What only a real device shows of the period policy (PeriodSteps decides,
// and is tested on its own): late periods while a sound plays give longer
// periods that the sound goes on in, rather than waiting for a quiet that
// never comes; a calm with nothing sounding gives a shorter one again. The
// callback stalls far past any server's margin, and the calm asks for no
// wait, so neither step can be missed: the shorter period comes at the first
// quiet look, well before the device rests after two quiet seconds. Other
// programs keeping the machine busy would keep the period long. PipeWire's
// graph runs at the shortest quantum any of its clients asks for (here the
// reader that keeps the null sink quick), so PipeWire's own stream is held
// to the quantum it asks for rather than to the frames it is handed.
template <typename Device> class LatePeriods : public ::testing::Test {};
TYPED_TEST_SUITE(LatePeriods, Devices);

TYPED_TEST(LatePeriods, LengthenWhileASoundPlaysAndShortenAfterACalm) {
    if (!serverInstalled())
        GTEST_SKIP() << "no such sound server here";
    if (noDaemonFor<TypeParam>())
        GTEST_SKIP() << kNoPipeWire;
    PrivateSoundServer server;
    ASSERT_TRUE(server.start());
    struct Stalling {
        std::atomic<int> calls{0};
        std::atomic<int> longPeriods{0};
        std::atomic<std::size_t> longest{0};
        std::atomic<bool> calm{false};
        std::atomic<int> shorterWhenCalm{0};
        const OutputDevice* askingDevice = nullptr;
        static bool render(void* self, float* out, std::size_t handed) noexcept {
            auto& stalling = *static_cast<Stalling*>(self);
            const bool calm = stalling.calm;
            const std::size_t frames =
                stalling.askingDevice
                    ? static_cast<std::size_t>(stalling.askingDevice->periodFrames())
                    : handed;
            std::fill(out, out + 2 * handed, calm ? 0.0f : 0.1f);
            if (calm) {
                if (frames < stalling.longest)
                    ++stalling.shorterWhenCalm;
            } else if (frames > 256) {
                ++stalling.longPeriods;
                stalling.longest = std::max(stalling.longest.load(), frames);
            } else if (++stalling.calls % 94 == 0) {
                // Late enough for every server this runs on, twice a second.
                std::this_thread::sleep_for(40ms);
            }
            return !calm;
        }
    } stalling;
    TypeParam device(
        PeriodChoice{.firstFrames = 256, .calmBeforeShorter = 0s, .busyCountsAsLate = false});
    if constexpr (std::is_same_v<TypeParam, PipeWireDevice>)
        stalling.askingDevice = &device;
    ASSERT_GT(device.open(&Stalling::render, &stalling), 0);
    device.start();
    const auto waitFor = [](const std::atomic<int>& count, int enough) {
        for (const auto deadline = Clock::now() + 30s; count < enough && Clock::now() < deadline;)
            std::this_thread::sleep_for(50ms);
    };
    waitFor(stalling.longPeriods, 20);
    EXPECT_GE(stalling.longPeriods, 20) << "still in periods of " << device.periodFrames();
    stalling.calm = true;
    waitFor(stalling.shorterWhenCalm, 5);
    EXPECT_GE(stalling.shorterWhenCalm, 5) << "still in periods of " << device.periodFrames();
    device.close();
}

} // namespace
} // namespace tremlo::sound::test
