// The settings file against real processes: saves killed at random moments,
// and two processes saving at once. After each, the file must be whole.

#include "settings_file.h"
#include "test_folder.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tremlo::test {
namespace {

constexpr int kRounds = 200;

const char* const kKeys[] = {"XPosR",
                             "YPosR",
                             "TopMost",
                             "UsePanel",
                             "FixWindowPos",
                             "EffectTokyo",
                             "EffectTachikawa",
                             "EffectUrawa",
                             "Door",
                             "DoorDelay",
                             "DoorThreshold",
                             "DoorCut",
                             "DoorATOS",
                             "Noise",
                             "UseEnvir",
                             "DefExt",
                             "DefDir",
                             "DoorWAV",
                             "EnvirWAV",
                             "PlayClickSound",
                             "NoLockOnButton",
                             "AutoPlayAtDrop",
                             "AddOnButtonKeyCode",
                             "AddOffButtonKeyCode",
                             "ShiftForce"};

// A child process that saves, over and over, records that differ from save
// to save; it never returns.
[[noreturn]] void saveForever(const std::string& path, int seed) {
    IniProfile ini(path);
    Settings s = defaultSettings("/opt/トレモロ/" + std::string(200, 'x'));
    for (int i = 0;; ++i) {
        s.DoorDelay = static_cast<std::int16_t>((seed * 1000 + i) % 30000);
        s.Noise = i % 2 == 0;
        writeSettingsFile(ini, s, 0.25, 0.5);
    }
}

pid_t spawnSaver(const std::string& path, int seed) {
    const pid_t pid = fork();
    if (pid == 0)
        saveForever(path, seed);
    return pid;
}

// Every key is there with a value of the form it is written in, and the
// hand-written line before them is still there.
void expectWholeFile(const std::string& path) {
    const std::string text = readBytes(path);
    ASSERT_EQ(text.rfind("[TREMLO 1.10]\nMyOwnKey=kept\n", 0), 0u) << text;
    IniProfile ini(path);
    for (const char* key : kKeys)
        ASSERT_FALSE(ini.readValue(key).empty()) << key << " lost in:\n" << text;
    ASSERT_EQ(text.back(), '\n') << "cut short";
    const std::string delay = ini.readValue("DoorDelay");
    ASSERT_TRUE(readNumber(delay).has_value());
    ASSERT_TRUE(ini.readValue("Noise") == "Yes" || ini.readValue("Noise") == "No");
}

TEST(SettingsDurability, ASaveKilledAtAnyMomentLeavesAWholeFile) {
    TestFolder folder;
    const std::string path = folder.file("tremlo.ini");
    writeBytes(path, "[TREMLO 1.10]\nMyOwnKey=kept\n");
    {
        IniProfile ini(path);
        ASSERT_TRUE(writeSettingsFile(ini, defaultSettings("/opt"), 0.3, 0.3));
    }
    std::mt19937 random(1207);
    for (int round = 0; round < kRounds; ++round) {
        const pid_t saver = spawnSaver(path, round);
        ASSERT_GT(saver, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        kill(saver, SIGKILL);
        waitpid(saver, nullptr, 0);
        expectWholeFile(path);
        if (HasFatalFailure())
            return;
    }
}

TEST(SettingsDurability, TwoProcessesSavingAtOnceNeverMixOrLoseKeys) {
    TestFolder folder;
    const std::string path = folder.file("tremlo.ini");
    writeBytes(path, "[TREMLO 1.10]\nMyOwnKey=kept\n");
    {
        IniProfile ini(path);
        ASSERT_TRUE(writeSettingsFile(ini, defaultSettings("/opt"), 0.3, 0.3));
    }
    std::mt19937 random(42);
    for (int round = 0; round < kRounds; ++round) {
        const pid_t first = spawnSaver(path, 1);
        const pid_t second = spawnSaver(path, 2);
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + random() % 5000));
        kill(first, SIGKILL);
        kill(second, SIGKILL);
        waitpid(first, nullptr, 0);
        waitpid(second, nullptr, 0);
        expectWholeFile(path);
        if (HasFatalFailure())
            return;
    }
}

} // namespace
} // namespace tremlo::test
