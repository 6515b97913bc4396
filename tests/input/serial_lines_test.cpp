// Switches on a serial port's status lines, through a real pseudo-terminal
// for the opening, unplugging and coming back, with the lines themselves
// scripted (a pseudo-terminal has none), into a real SwitchInputs.

#include "poll_input_loop.h"
#include "recording_buttons.h"
#include "serial_lines.h"
#include "switch_inputs.h"
#include "test_folder.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tremlo::input {
namespace {

using namespace std::chrono_literals;

// Lines the test flips. A wait blocks in poll(2), so the source's wake-up
// signal has to end it just as it ends the kernel's TIOCMIWAIT.
class ScriptedLines : public StatusLineIo {
public:
    explicit ScriptedLines(int levels) : m_levels(levels) {}
    ~ScriptedLines() override { ::close(m_changed); }

    int raise(int, int) override {
        const std::lock_guard lock(m_mutex);
        ++m_raises;
        return m_error;
    }
    int levels(int, int& bits) override {
        const std::lock_guard lock(m_mutex);
        bits = m_levels;
        return m_error;
    }
    int counts(int, LineCounts& counts) override {
        const std::lock_guard lock(m_mutex);
        counts = m_counts;
        return m_error;
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
        const std::lock_guard lock(m_mutex);
        for (const int bit : bits) {
            m_levels ^= bit;
            ++(bit == TIOCM_DSR ? m_counts.dsr : m_counts.cts);
        }
        wake();
    }
    void fail(int error) {
        const std::lock_guard lock(m_mutex);
        m_error = error;
        wake();
    }
    // The source has read every change and waits for the next.
    bool settled() {
        const std::lock_guard lock(m_mutex);
        return m_blocked && m_blockedAt == m_counts;
    }
    // Bound ports raise DTR and RTS at each opening.
    int raises() {
        const std::lock_guard lock(m_mutex);
        return m_raises;
    }

private:
    void wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t put = ::write(m_changed, &one, sizeof one);
    }

    std::mutex m_mutex;
    int m_levels;
    LineCounts m_counts;
    int m_error = 0;
    bool m_blocked = false;
    LineCounts m_blockedAt;
    int m_raises = 0;
    int m_changed = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
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

// The source reporting through here into a real SwitchInputs.
struct Rig : InputSink {
    Rig(ScriptedLines& lines, const InputSettings& bindings, std::vector<FoundDevice> ports = {})
        : lines(lines), ports(std::move(ports)) {
        inputs.setBindings(bindings);
        inputs.addSource(SourceKind::Serial, source);
    }
    void inputChanged(const InputChange& change) override {
        if (!change.initial)
            reported += change.control.control + (change.pressed ? "+ " : "- ");
        else
            opened.insert(change.control.device);
        inputs.inputChanged(change);
    }
    void deviceGone(SourceKind kind, std::string_view device) override {
        inputs.deviceGone(kind, device);
    }
    void inputMessage(const std::string& text) override { messages.push_back(text); }
    bool settle() {
        const bool settled = loop.runUntil([&] { return lines.settled(); });
        loop.runFor(20ms); // what was posted before it settled, and anything more
        return settled;
    }

    ScriptedLines& lines;
    std::vector<FoundDevice> ports; // what /dev would hold
    RecordingButtons buttons;
    testing::PollInputLoop loop;
    SwitchInputs inputs{loop, buttons, nullptr};
    SerialSource source{loop, *this, lines, [this] { return ports; }};
    std::string reported;
    std::set<std::string> opened; // devices whose levels were reported
    std::vector<std::string> messages;
};

struct LineCase {
    const char* name;
    const char* on;
    const char* off;
    int levels; // when opened
    std::vector<std::vector<int>> flips;
    const char* reported;
    const char* log;
};

TEST(SerialSource, LineEdgesReachTheSwitchEndingAtTheLevelTheLineHas) {
    constexpr int dsr = TIOCM_DSR;
    constexpr int cts = TIOCM_CTS;
    const std::vector<int> bounce{dsr, dsr, dsr};
    const LineCase cases[] = {
        {"a press and a release", "DSR", "", 0, {{dsr}, {dsr}}, "DSR+ DSR- ", "+on -on "},
        {"a tap between two reads", "DSR", "", 0, {{dsr, dsr}}, "DSR+ DSR- ", "+on -on "},
        {"bounces count once", "DSR", "", 0, {bounce, bounce}, "DSR+ DSR- ", "+on -on "},
        {"two lines at once", "DSR", "CTS", 0, {{dsr, cts}}, "DSR+ CTS+ ", "+on +off "},
        {"a line held at opening", "DSR", "", dsr, {{dsr}}, "DSR- ", "+on -on "},
        {"inverted", "", "!CTS", cts, {{cts}, {cts}}, "CTS- CTS+ ", "+off -off "},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        const PseudoTerminal pty;
        ScriptedLines lines(c.levels);
        auto binding = [&](const std::string& line) {
            return line.empty() ? line : "serial:" + line + "@" + pty.path;
        };
        Rig rig(lines, {binding(c.on), binding(c.off), "", ""});
        ASSERT_TRUE(rig.settle());
        for (const std::vector<int>& flip : c.flips) {
            lines.flip(flip);
            ASSERT_TRUE(rig.settle());
        }
        EXPECT_EQ(rig.reported, c.reported);
        EXPECT_EQ(rig.buttons.log, c.log);
        EXPECT_TRUE(rig.messages.empty());
    }
}

// Raising DTR and RTS resets an Arduino-type board and disturbs a modem:
// only a port the user named or chose has them raised.
TEST(SerialSource, OnlyABoundOrChosenPortHasItsLinesRaised) {
    const PseudoTerminal first;
    const PseudoTerminal second;
    const std::vector<FoundDevice> ports{{SourceKind::Serial, first.path, "first"},
                                         {SourceKind::Serial, second.path, "second"}};
    const struct {
        const char* name;
        std::string on;
        bool capture;
        std::string chosen;
        std::set<std::string> opened;
        int raises;
    } cases[] = {
        {"bound", "serial:DSR@" + first.path, false, "", {first.path}, 1},
        {"a binding without a device", "serial:DSR@", false, "", {first.path, second.path}, 0},
        {"a capture", "", true, "", {}, 0},
        {"a capture from a chosen port", "", true, second.path, {second.path}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLines lines(TIOCM_DSR);
        Rig rig(lines, {c.on, "", "", ""}, ports);
        if (c.capture)
            rig.inputs.beginCapture([](const InputControl&) {},
                                    c.chosen.empty()
                                        ? std::vector<InputControl>{}
                                        : std::vector<InputControl>{{"serial", "", c.chosen}});
        EXPECT_EQ(rig.opened, c.opened);
        EXPECT_EQ(lines.raises(), c.raises);
    }
}

struct PlugCase {
    const char* name;
    bool startAbsent; // its folder too
    int error;        // what the lines say once it is gone
    std::vector<const char*> messages;
    const char* log;
};

TEST(SerialSource, APortThatGoesAwayIsWaitedForAndTakenUpAgainWithOneMessageEach) {
    const PlugCase cases[] = {
        {"unplugged while open",
         false,
         EIO,
         {"が外れました。戻るのを待っています。", "が戻りました。"},
         "+on -on +on "},
        {"absent at start", true, 0, {"が見つかりません。", "を開きました。"}, "+on "},
        // What a pseudo-terminal's own ioctls say.
        {"without status lines, however often it comes", false, ENOTTY, {"には状態線"}, ""},
    };
    for (const PlugCase& c : cases) {
        SCOPED_TRACE(c.name);
        const PseudoTerminal pty;
        ScriptedLines lines(TIOCM_DSR);
        if (c.startAbsent)
            std::filesystem::remove_all(std::filesystem::path(pty.path).parent_path());
        if (c.error == ENOTTY)
            lines.fail(ENOTTY);
        Rig rig(lines, {"serial:DSR@" + pty.path, "", "", ""});
        rig.loop.runUntil([&] { return rig.messages.size() == 1 || lines.settled(); });
        if (!c.startAbsent) {
            pty.unplug();
            lines.fail(c.error);
            rig.loop.runUntil([&] { return rig.messages.size() == 1; });
        }
        lines.fail(c.error == ENOTTY ? ENOTTY : 0);
        pty.plugIn();
        const int opens = c.error == ENOTTY ? 2 : c.startAbsent ? 1 : 2;
        ASSERT_TRUE(rig.loop.runUntil([&] { return lines.raises() == opens; }));
        rig.loop.runFor(50ms); // anything more it would do
        ASSERT_EQ(rig.messages.size(), c.messages.size());
        for (std::size_t i = 0; i < c.messages.size(); ++i)
            EXPECT_TRUE(
                rig.messages[i].starts_with("シリアル機器 " + pty.path + " " + c.messages[i]))
                << rig.messages[i];
        EXPECT_EQ(rig.buttons.log, c.log);
        EXPECT_EQ(lines.raises(), opens);
    }
}

} // namespace
} // namespace tremlo::input
