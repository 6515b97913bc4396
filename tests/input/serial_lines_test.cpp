// Switches on a serial port's status lines, through a real pseudo-terminal
// for the opening, unplugging and coming back, with the lines themselves
// scripted (a pseudo-terminal has none), into a real SwitchInputs.

#include "poll_input_loop.h"
#include "serial_lines.h"
#include "switch_inputs.h"
#include "test_folder.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tremlo::input {
namespace {

using namespace std::chrono_literals;

// Lines the test toggles. A wait blocks in poll(2), so the source's wake-up
// signal has to end it just as it ends the kernel's TIOCMIWAIT.
class ScriptedLines : public StatusLineIo {
public:
    explicit ScriptedLines(int levels) : m_levels(levels) {}
    ~ScriptedLines() override { ::close(m_changed); }

    int raise(int, int) override {
        return guarded([] { return 0; });
    }
    int levels(int, int& bits) override {
        return guarded([&] { return bits = m_levels, 0; });
    }
    int counts(int, LineCounts& counts) override {
        return guarded([&] { return counts = m_counts, 0; });
    }
    int waitForChange(int, int) override {
        std::unique_lock lock(m_mutex);
        const LineCounts from = m_counts;
        while (m_error == 0 && m_counts == from) {
            m_blockedAt = from;
            m_blocked = true;
            lock.unlock();
            pollfd changed{m_changed, POLLIN, 0};
            const bool interrupted = ::poll(&changed, 1, -1) < 0 && errno == EINTR;
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(m_changed, &count, sizeof count);
            lock.lock();
            m_blocked = false;
            if (interrupted)
                return EINTR;
        }
        return m_error;
    }

    // Each bit flips its line once, all in one go: {DSR, DSR} is a tap
    // shorter than the source's wake-up.
    void flip(const std::vector<int>& bits) {
        change([&] {
            for (const int bit : bits) {
                m_levels ^= bit;
                ++(bit == TIOCM_DSR ? m_counts.dsr : bit == TIOCM_CTS ? m_counts.cts : m_counts.ri);
            }
        });
    }
    void fail(int error) {
        change([&] { m_error = error; });
    }
    // The source has read every change and waits for the next.
    bool settled() {
        const std::lock_guard lock(m_mutex);
        return m_blocked && m_blockedAt == m_counts;
    }

private:
    int guarded(const std::function<int()>& read) {
        const std::lock_guard lock(m_mutex);
        return m_error != 0 ? m_error : read();
    }
    void change(const std::function<void()>& edit) {
        {
            const std::lock_guard lock(m_mutex);
            edit();
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t put = ::write(m_changed, &one, sizeof one);
    }

    std::mutex m_mutex;
    int m_levels;
    LineCounts m_counts;
    int m_error = 0;
    bool m_blocked = false;
    LineCounts m_blockedAt;
    int m_changed = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
};

struct RecordingButtons : SwitchButtons {
    void press(SwitchButton b) override { log += b == SwitchButton::On ? "+on " : "+off "; }
    void release(SwitchButton b) override { log += b == SwitchButton::On ? "-on " : "-off "; }
    std::string log;
};

// What the source reports, on its way to the switch.
struct RecordingSink : InputSink {
    explicit RecordingSink(SwitchInputs& inputs) : inputs(inputs) {}
    void inputChanged(const InputChange& change) override {
        if (!change.initial)
            lines += change.control.control + (change.pressed ? "+ " : "- ");
        inputs.inputChanged(change);
    }
    void deviceGone(std::string_view kind, std::string_view device) override {
        inputs.deviceGone(kind, device);
    }
    void inputMessage(const std::string& text) override { messages.push_back(text); }

    SwitchInputs& inputs;
    std::string lines;
    std::vector<std::string> messages;
};

// A pseudo-terminal reached through a name in a temporary folder, as a USB
// adapter is through /dev: the name can go away and come back.
struct PseudoTerminal {
    PseudoTerminal() : master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        ::grantpt(master);
        ::unlockpt(master);
        plugIn();
    }
    ~PseudoTerminal() { ::close(master); }
    void plugIn() const {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::create_symlink(::ptsname(master), path);
    }
    void unplug() const { std::filesystem::remove(path); }

    int master;
    test::TestFolder folder;
    std::string path = folder.file("by-id/usb-Switch_Box-if00");
};

struct Rig {
    Rig(StatusLineIo& io, const InputSettings& bindings) : io(io) {
        inputs.setBindings(bindings);
        inputs.addSource(kSerial, source);
    }
    void settle(ScriptedLines& lines) {
        ASSERT_TRUE(loop.runUntil([&] { return lines.settled(); }));
        loop.runFor(20ms); // what was posted before it settled
    }

    StatusLineIo& io;
    RecordingButtons buttons;
    SwitchInputs inputs{buttons, nullptr};
    RecordingSink sink{inputs};
    testing::PollInputLoop loop;
    SerialSource source{loop, sink, io};
};

struct LineCase {
    const char* name;
    const char* on;
    const char* off;
    int levels; // when opened
    std::vector<std::vector<int>> flips;
    const char* lines;
    const char* log;
};

TEST(SerialSource, LineEdgesReachTheSwitchEndingAtTheLevelTheLineHas) {
    constexpr int dsr = TIOCM_DSR;
    constexpr int cts = TIOCM_CTS;
    const LineCase cases[] = {
        {"a press and a release", "DSR", "", 0, {{dsr}, {dsr}}, "DSR+ DSR- ", "+on -on "},
        {"a tap between two reads", "DSR", "", 0, {{dsr, dsr}}, "DSR+ DSR- ", "+on -on "},
        {"bounces count once",
         "DSR",
         "",
         0,
         {{dsr, dsr, dsr}, {dsr, dsr, dsr}},
         "DSR+ DSR- ",
         "+on -on "},
        {"two lines at once", "DSR", "CTS", 0, {{dsr, cts}}, "DSR+ CTS+ ", "+on +off "},
        {"a line held at opening", "DSR", "", dsr, {{dsr}}, "DSR- ", "+on -on "},
        {"an inverted line presses as it opens",
         "",
         "!CTS",
         cts,
         {{cts}, {cts}},
         "CTS- CTS+ ",
         "+off -off "},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        const PseudoTerminal pty;
        ScriptedLines lines(c.levels);
        auto binding = [&](const char* line) {
            return *line ? "serial:" + std::string(line) + "@" + pty.path : std::string();
        };
        Rig rig(lines, {binding(c.on), binding(c.off), "", ""});
        rig.settle(lines);
        for (const std::vector<int>& flip : c.flips) {
            lines.flip(flip);
            rig.settle(lines);
        }
        EXPECT_EQ(rig.sink.lines, c.lines);
        EXPECT_EQ(rig.buttons.log, c.log);
        EXPECT_TRUE(rig.sink.messages.empty());
    }
}

// The kernel's ioctls, which a pseudo-terminal refuses, counting the tries.
struct CountingKernelLines : StatusLineIo {
    int raise(int fd, int bits) override { return ++tries, kernelStatusLines().raise(fd, bits); }
    int levels(int fd, int& bits) override { return kernelStatusLines().levels(fd, bits); }
    int counts(int fd, LineCounts& counts) override {
        return kernelStatusLines().counts(fd, counts);
    }
    int waitForChange(int fd, int bits) override {
        return kernelStatusLines().waitForChange(fd, bits);
    }
    int tries = 0;
};

struct PlugCase {
    const char* name;
    bool startAbsent; // its folder too
    bool scripted;    // else the kernel's ioctls
    std::vector<const char*> messages;
    const char* log;
};

TEST(SerialSource, APortThatGoesAwayIsWaitedForAndTakenUpAgainWithOneMessageEach) {
    const PlugCase cases[] = {
        {"unplugged while open",
         false,
         true,
         {"が外れました。戻るのを待っています。", "が戻りました。"},
         "+on -on +on "},
        {"absent at start",
         true,
         true,
         {"が見つかりません。つながるのを待っています。", "を開きました。"},
         "+on "},
        {"without status lines, once however often it comes", false, false, {"には状態線"}, ""},
    };
    for (const PlugCase& c : cases) {
        SCOPED_TRACE(c.name);
        const PseudoTerminal pty;
        ScriptedLines scripted(TIOCM_DSR);
        CountingKernelLines kernel;
        if (c.startAbsent)
            std::filesystem::remove_all(std::filesystem::path(pty.path).parent_path());
        Rig rig(c.scripted ? static_cast<StatusLineIo&>(scripted) : kernel,
                {"serial:DSR@" + pty.path, "", "", ""});
        auto said = [&](std::size_t count) {
            return rig.loop.runUntil([&] { return rig.sink.messages.size() >= count; });
        };
        if (!c.startAbsent) {
            if (c.scripted)
                rig.settle(scripted);
            pty.unplug();
            scripted.fail(EIO);
            ASSERT_TRUE(said(1));
        }
        scripted.fail(0);
        pty.plugIn();
        ASSERT_TRUE(rig.loop.runUntil([&] {
            return rig.sink.messages.size() >= c.messages.size() &&
                   (c.scripted ? scripted.settled() : kernel.tries == 2);
        }));
        rig.loop.runFor(50ms); // anything more it would do
        ASSERT_EQ(rig.sink.messages.size(), c.messages.size());
        for (std::size_t i = 0; i < c.messages.size(); ++i)
            EXPECT_TRUE(
                rig.sink.messages[i].starts_with("シリアル機器 " + pty.path + " " + c.messages[i]))
                << rig.sink.messages[i];
        EXPECT_EQ(rig.buttons.log, c.log);
        EXPECT_EQ(kernel.tries, c.scripted ? 0 : 2);
    }
}

} // namespace
} // namespace tremlo::input
