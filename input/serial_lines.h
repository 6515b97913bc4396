#pragma once

// A switch box wired across a serial port's modem-status lines: each button
// joins an output line the port holds high (DTR, RTS) to a status line (DSR,
// CTS, DCD, RI), so pressing it raises that line.
//
// Only a port named in a binding (or chosen in the input dialog for a
// capture) has DTR and RTS raised. Raising them resets an Arduino-type board
// and disturbs a modem or a port another program drives, so a capture
// listens to no other port, and a binding without a device listens to every
// port without raising anything: the lines are then as the port's driver
// left them (most raise them when a port is opened while no program has it
// open).
//
// Each open device has a thread of its own blocked in TIOCMIWAIT; on a wake it
// re-reads the lines and hands what changed to the user-interface thread.
// TIOCMIWAIT has no way to be woken from outside and closing the descriptor
// does not end it, so a thread is stopped by a flag and a thread-directed
// signal whose handler does nothing and is installed without SA_RESTART: the
// ioctl returns EINTR and the thread sees the flag. The signal is sent again
// until the thread has gone, since one sent just before the thread entered
// the ioctl would be spent before it blocked.
//
// A device that is absent, unplugged or may not be opened is waited for with
// inotify on its folder (the nearest one that exists) and opened again when
// its name shows up or changes owner.
//
// Thread: the user-interface thread; the watcher threads only post.

#include "input_source.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tremlo::input {

// Edge counters of the four status lines, as TIOCGICOUNT gives them.
struct LineCounts {
    int dsr = 0;
    int cts = 0;
    int dcd = 0;
    int ri = 0;
    bool operator==(const LineCounts&) const = default;
};

// The modem-status ioctls. Each returns 0 or an errno. Called from the
// watcher threads as well, so an implementation must be thread-safe.
class StatusLineIo {
public:
    virtual ~StatusLineIo() = default;
    virtual int raise(int fd, int bits) = 0;             // TIOCMBIS
    virtual int levels(int fd, int& bits) = 0;           // TIOCMGET
    virtual int counts(int fd, LineCounts& counts) = 0;  // TIOCGICOUNT
    virtual int waitForChange(int fd, int lineBits) = 0; // TIOCMIWAIT; EINTR on a signal
};

// The kernel's.
StatusLineIo& kernelStatusLines();

// What a read of the lines tells against the last one: the changes to report,
// in order, ending at the levels read now. A counter that moved while its
// level did not is a press and release too short to be seen.
std::vector<InputChange> lineChanges(const std::string& device, int before, int now,
                                     const LineCounts* countsBefore, const LineCounts* countsNow);

class SerialSource : public InputSource {
public:
    // `findPorts` lists the ports a binding without a device listens to;
    // none: the ports of /dev.
    SerialSource(InputLoop& loop, InputSink& sink, StatusLineIo& io = kernelStatusLines(),
                 std::function<std::vector<FoundDevice>()> findPorts = nullptr);
    ~SerialSource() override;
    SerialSource(const SerialSource&) = delete;
    SerialSource& operator=(const SerialSource&) = delete;

    void watch(const std::vector<InputControl>& bindings) override;
    // A capture listens only to the ports bound or chosen for it.
    void setListeningToAll(bool all) override;
    std::vector<FoundDevice> devices() const override;

private:
    struct Watcher;
    struct Device;

    void update();
    void open(Device& device);
    void close(Device& device);
    void failed(Device& device, int error, bool wasOpen);
    void say(Device& device, const std::string& text);
    void waitFor(Device& device);
    void armFolders();
    void onFolderEvents();

    InputLoop& m_loop;
    InputSink& m_sink;
    StatusLineIo& m_io;
    std::function<std::vector<FoundDevice>()> m_findPorts;
    std::set<std::string> m_bound; // named by a binding: DTR and RTS raised
    bool m_anyPort = false;        // a binding without a device
    std::map<std::string, std::unique_ptr<Device>> m_devices;
    int m_inotify = -1;
    int m_inotifyWatch = 0;
    std::map<std::string, int> m_folders; // folder → inotify watch
};

} // namespace tremlo::input
