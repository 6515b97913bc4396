// The real output: the library on SDL through a private PulseAudio daemon
// with a null sink, whose monitor the test records.
//
// Each test starts its own daemon, so it can also take the server away and
// bring it back. Without a pulseaudio binary the tests are skipped.

#include "sdl_device.h"
#include "sound_library.h"
#include "test_support.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tremlo::sound::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;

bool commandSucceeds(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A PulseAudio daemon of the test's own, in a temporary folder, whose
// addresses this process's environment points at.
class PrivateSoundServer {
public:
    PrivateSoundServer() {
        char pattern[] = "/tmp/tremlo-pulse-XXXXXX";
        m_folder = mkdtemp(pattern);
        std::filesystem::create_directories(m_folder + "/pulse");
        std::filesystem::create_directories(m_folder + "/home");
        setenv("XDG_RUNTIME_DIR", m_folder.c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", (m_folder + "/pulse").c_str(), 1);
        setenv("PULSE_STATE_PATH", (m_folder + "/state").c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + m_folder + "/pulse/native").c_str(), 1);
        setenv("PULSE_COOKIE", (m_folder + "/cookie").c_str(), 1);
        setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    }
    ~PrivateSoundServer() {
        stop();
        std::filesystem::remove_all(m_folder);
    }

    bool start() {
        const std::string socket =
            "module-native-protocol-unix auth-anonymous=1 socket=" + m_folder + "/pulse/native";
        const std::string sink = "module-null-sink sink_name=tremlo rate=48000 channels=2";
        const std::string home = "HOME=" + m_folder + "/home";
        const char* argv[] = {"env",
                              "-u",
                              "DISPLAY",
                              home.c_str(),
                              "DBUS_SESSION_BUS_ADDRESS=disabled:",
                              "pulseaudio",
                              "-n",
                              "--daemonize=no",
                              "--exit-idle-time=-1",
                              "--use-pid-file=no",
                              "--log-target=stderr",
                              "-L",
                              socket.c_str(),
                              "-L",
                              sink.c_str(),
                              nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, (m_folder + "/log").c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0600);
        const int error =
            posix_spawnp(&m_pid, "env", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            return false;
        const auto deadline = Clock::now() + 15s;
        while (Clock::now() < deadline) {
            if (commandSucceeds("pactl info"))
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    void stop() {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }

private:
    std::string m_folder;
    pid_t m_pid = 0;
};

// Reads the null sink's monitor as float stereo at 48 kHz.
class Recorder {
public:
    Recorder()
        : m_pipe(popen("exec parec -d tremlo.monitor --raw --format=float32le --channels=2 "
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
            if (window.size() < kRate / 10 * 2)
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
            if (window.size() < kRate / 20 * 2)
                return false;
            if (peak(window, 0, 0, kRate / 20) == 0.0 && peak(window, 1, 0, kRate / 20) == 0.0)
                return true;
        }
        return false;
    }

private:
    FILE* m_pipe;
};

class RealDevice : public ::testing::Test {
protected:
    void SetUp() override {
        if (!commandSucceeds("command -v pulseaudio") || !commandSucceeds("command -v parec"))
            GTEST_SKIP() << "no PulseAudio here";
        ASSERT_TRUE(server.start());
    }
    PrivateSoundServer server;
};

TEST_F(RealDevice, PlaysAtTheServersRateInShortPeriodsAndStops) {
    SoundLibrary library(std::make_unique<SdlDevice>());
    ASSERT_EQ(library.dsInit2(0, 2), 1);
    EXPECT_EQ(library.outputRate(), kRate);
    EXPECT_LE(library.periodFrames(), 256);

    Recorder recorder;
    const auto wave = makeSine(1000.0, 44100, 44100);
    SoundHandle tone = library.dsCreateDSB(wave.data(), wave.size(), 1);
    library.dsPlayLooping(tone);
    EXPECT_TRUE(recorder.hearsTone(1000.0, 5s));
    library.dsStop(tone);
    EXPECT_TRUE(recorder.hearsSilence(5s));
    library.dsQuit();
}

TEST_F(RealDevice, SoundComesBackWhenTheServerDoes) {
    SoundLibrary library(std::make_unique<SdlDevice>());
    ASSERT_EQ(library.dsInit2(0, 2), 1);
    const auto wave = makeSine(500.0, 48000, 48000);
    SoundHandle tone = library.dsCreateDSB(wave.data(), wave.size(), 1);
    library.dsPlayLooping(tone);
    {
        Recorder recorder;
        ASSERT_TRUE(recorder.hearsTone(500.0, 5s));
    }
    server.stop();
    std::this_thread::sleep_for(500ms); // let the device notice
    EXPECT_EQ(library.dsIsPlaying(tone), 1) << "the library goes on without a server";
    library.dsSetVolume(tone, -600);
    ASSERT_TRUE(server.start());
    Recorder recorder;
    EXPECT_TRUE(recorder.hearsTone(500.0, 10s));
    library.dsQuit();
}

} // namespace
} // namespace tremlo::sound::test
