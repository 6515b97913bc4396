#include "serial_lines.h"

#include "user_text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/serial.h>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace tremlo::input {

namespace fs = std::filesystem;

namespace {

// Default action "ignore", and nothing else in the program sends it to a
// thread: the watcher threads' wake-up.
constexpr int kWakeSignal = SIGURG;

void ignoreWake(int) {}

void installWakeHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = ignoreWake;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: the blocked ioctl must return
        ::sigaction(kWakeSignal, &action, nullptr);
    });
}

class KernelStatusLines : public StatusLineIo {
public:
    int raise(int fd, int bits) override { return result(::ioctl(fd, TIOCMBIS, &bits)); }
    int levels(int fd, int& bits) override { return result(::ioctl(fd, TIOCMGET, &bits)); }
    int counts(int fd, LineCounts& counts) override {
        serial_icounter_struct kernel{};
        if (::ioctl(fd, TIOCGICOUNT, &kernel) < 0)
            return errno;
        counts = {kernel.dsr, kernel.cts, kernel.dcd, kernel.rng};
        return 0;
    }
    int waitForChange(int fd, int lineBits) override {
        return result(::ioctl(fd, TIOCMIWAIT, static_cast<unsigned long>(lineBits)));
    }

private:
    static int result(int returned) { return returned < 0 ? errno : 0; }
};

struct Line {
    const char* name;
    int LineCounts::*count;
    int bit;
    // Edges a counter shows for one press and release: the serial core
    // counts only the trailing edge of a ring.
    int tapEdges;
};

constexpr Line kLines[] = {{"DSR", &LineCounts::dsr, TIOCM_DSR, 2},
                           {"CTS", &LineCounts::cts, TIOCM_CTS, 2},
                           {"DCD", &LineCounts::dcd, TIOCM_CD, 2},
                           {"RI", &LineCounts::ri, TIOCM_RI, 1}};
constexpr int kLineBits = TIOCM_DSR | TIOCM_CTS | TIOCM_CD | TIOCM_RI;

InputControl lineControl(const std::string& device, const Line& line) {
    return InputControl::of(SourceKind::Serial, line.name, device);
}

std::optional<LineCounts> readCounts(StatusLineIo& io, int fd) {
    LineCounts counts;
    if (io.counts(fd, counts) != 0)
        return std::nullopt;
    return counts;
}

bool isAbsence(int error) {
    return error == ENOENT || error == ENXIO || error == ENODEV || error == EIO;
}

bool isNoLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

// The deepest folder of `path` that exists, and the name in it that leads to
// `path`: what has to appear there for `path` to come back.
std::pair<std::string, std::string> nearestFolder(const std::string& path) {
    fs::path folder = fs::path(path).parent_path();
    fs::path child = fs::path(path).filename();
    std::error_code error;
    while (!folder.empty() && !fs::is_directory(folder, error) && folder != folder.root_path()) {
        child = folder.filename();
        folder = folder.parent_path();
    }
    return {folder.empty() ? "." : folder.string(), child.string()};
}

// A ttyS port that the serial core found hardware for.
bool isRealSerialPort(const std::string& name) {
    const fs::path sys = fs::path("/sys/class/tty") / name;
    std::error_code error;
    if (!fs::exists(sys / "device", error))
        return false;
    std::ifstream type(sys / "type");
    int portType = 0;
    return static_cast<bool>(type >> portType) && portType != 0; // 0: PORT_UNKNOWN
}

} // namespace

StatusLineIo& kernelStatusLines() {
    static KernelStatusLines lines;
    return lines;
}

std::vector<InputChange> lineChanges(const std::string& device, int before, int now,
                                     const LineCounts* countsBefore, const LineCounts* countsNow) {
    std::vector<InputChange> changes;
    for (const Line& line : kLines) {
        const bool was = (before & line.bit) != 0;
        const bool is = (now & line.bit) != 0;
        const int edges =
            countsBefore && countsNow ? countsNow->*line.count - countsBefore->*line.count : 0;
        if (was == is && edges >= line.tapEdges)
            changes.push_back({lineControl(device, line), !is, false});
        if (was != is || edges >= line.tapEdges)
            changes.push_back({lineControl(device, line), is, false});
    }
    return changes;
}

struct SerialSource::Device {
    explicit Device(std::string path) : path(std::move(path)) {}

    std::string path;
    std::shared_ptr<Watcher> watcher; // while open
    bool waiting = false;             // for `child` to change in `folder`
    std::string folder;
    std::string child;
    std::string lastMessage;
    bool raised = false;   // DTR and RTS, since it was opened
    bool troubled = false; // a message said something is wrong
    bool wentAway = false; // the trouble began with it unplugged
};

// One open device's thread and what it needs; touched by the user-interface
// thread only before the thread starts and after it has been told to stop.
struct SerialSource::Watcher {
    Watcher(SerialSource& source, Device& device, int fd)
        : source(&source), device(&device), path(device.path), fd(fd), io(source.m_io),
          loop(source.m_loop) {}

    SerialSource* source;
    Device* device;
    std::string path;
    int fd;
    StatusLineIo& io;
    InputLoop& loop;
    std::weak_ptr<Watcher> self;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool exited = false;
    std::thread thread;

    void run(int levels, std::optional<LineCounts> counts);
    void post(std::vector<InputChange> changes);
    void fail(int error);
    void halt();
};

void SerialSource::Watcher::run(int levels, std::optional<LineCounts> counts) {
    // The thread that made this one may have the wake-up blocked.
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, kWakeSignal);
    ::pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);

    // Edges since the lines were first read would not wake the first wait.
    std::optional<LineCounts> latest = readCounts(io, fd);
    bool reread = latest && counts && *latest != *counts;
    while (!stop) {
        if (!reread) {
            const int error = io.waitForChange(fd, kLineBits);
            if (stop)
                break;
            if (error == EINTR)
                continue;
            if (error != 0) {
                fail(error);
                break;
            }
        }
        const std::optional<LineCounts> now = readCounts(io, fd);
        int bits = 0;
        if (const int error = io.levels(fd, bits); error != 0) {
            fail(error);
            break;
        }
        std::vector<InputChange> changes =
            lineChanges(path, levels, bits, counts ? &*counts : nullptr, now ? &*now : nullptr);
        if (!changes.empty())
            post(std::move(changes));
        levels = bits;
        counts = now;
        // TIOCMIWAIT counts from when it is entered: an edge after the reads
        // above would be missed by it, so the counters are looked at again.
        latest = readCounts(io, fd);
        reread = latest && counts && *latest != *counts;
    }
    const std::lock_guard lock(mutex);
    exited = true;
    ended.notify_all();
}

void SerialSource::Watcher::post(std::vector<InputChange> changes) {
    loop.post([weak = self, changes = std::move(changes)] {
        const std::shared_ptr<Watcher> watcher = weak.lock();
        for (const InputChange& change : changes) {
            // A change may end a capture, and that may close this device.
            if (!watcher || watcher->stop)
                return;
            watcher->source->m_sink.inputChanged(change);
        }
    });
}

void SerialSource::Watcher::fail(int error) {
    loop.post([weak = self, error] {
        if (const std::shared_ptr<Watcher> watcher = weak.lock(); watcher && !watcher->stop)
            watcher->source->failed(*watcher->device, error, true);
    });
}

void SerialSource::Watcher::halt() {
    stop = true;
    std::unique_lock lock(mutex);
    while (!exited) {
        // Sent again and again: one that came just before the ioctl was
        // entered has not ended it.
        ::pthread_kill(thread.native_handle(), kWakeSignal);
        ended.wait_for(lock, std::chrono::milliseconds(10));
    }
    lock.unlock();
    thread.join();
}

SerialSource::SerialSource(InputLoop& loop, InputSink& sink, StatusLineIo& io,
                           std::function<std::vector<FoundDevice>()> findPorts)
    : m_loop(loop), m_sink(sink), m_io(io), m_findPorts(std::move(findPorts)) {
    installWakeHandler();
}

SerialSource::~SerialSource() {
    for (auto& [path, device] : m_devices)
        close(*device);
    if (m_inotify >= 0) {
        m_loop.unwatch(m_inotifyWatch);
        ::close(m_inotify);
    }
}

void SerialSource::watch(const std::vector<InputControl>& bindings) {
    m_bound.clear();
    m_anyPort = false;
    for (const InputControl& binding : bindings) {
        if (!binding.is(SourceKind::Serial))
            continue;
        if (binding.device.empty())
            m_anyPort = true;
        else
            m_bound.insert(binding.device);
    }
    update();
}

void SerialSource::setListeningToAll(bool) {}

std::vector<FoundDevice> SerialSource::devices() const {
    if (m_findPorts)
        return m_findPorts();
    std::vector<FoundDevice> found;
    std::set<std::string> named; // the ports the by-id names stand for
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/dev/serial/by-id", error)) {
        const fs::path port = fs::canonical(entry.path(), error);
        if (error)
            continue;
        named.insert(port.string());
        found.push_back(
            {SourceKind::Serial, entry.path().string(), entry.path().filename().string()});
    }
    for (const fs::directory_entry& entry : fs::directory_iterator("/dev", error)) {
        const std::string name = entry.path().filename().string();
        const bool usb = name.starts_with("ttyUSB") || name.starts_with("ttyACM");
        if (named.contains(entry.path().string()) ||
            !(usb || (name.starts_with("ttyS") && isRealSerialPort(name))))
            continue;
        found.push_back({SourceKind::Serial, entry.path().string(), entry.path().string()});
    }
    std::sort(found.begin(), found.end(),
              [](const FoundDevice& a, const FoundDevice& b) { return a.device < b.device; });
    return found;
}

void SerialSource::update() {
    std::set<std::string> wanted = m_bound;
    if (m_anyPort)
        for (const FoundDevice& found : devices())
            wanted.insert(found.device);

    for (auto each = m_devices.begin(); each != m_devices.end();) {
        if (wanted.contains(each->first)) {
            // Listened to until now, bound from now on.
            Device& device = *each->second;
            if (device.watcher && !device.raised && m_bound.contains(device.path))
                device.raised = m_io.raise(device.watcher->fd, TIOCM_DTR | TIOCM_RTS) == 0;
            ++each;
            continue;
        }
        close(*each->second);
        each = m_devices.erase(each);
    }
    std::vector<std::string> added;
    for (const std::string& path : wanted)
        if (!m_devices.contains(path)) {
            m_devices.emplace(path, std::make_unique<Device>(path));
            added.push_back(path);
        }
    armFolders();
    // Opening reports to the sink, which may come back here: look each up
    // anew.
    for (const std::string& path : added)
        if (const auto device = m_devices.find(path); device != m_devices.end())
            open(*device->second);
}

// Opens `device`, or leaves it waiting for its folder to change.
void SerialSource::open(Device& device) {
    for (;;) {
        const auto [folder, child] = nearestFolder(device.path);
        device.waiting = true;
        device.folder = folder;
        device.child = child;
        armFolders();

        const int fd = ::open(device.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        int error = fd < 0 ? errno : 0;
        int levels = 0;
        // DTR and RTS feed the buttons, on the ports chosen for them.
        device.raised = error == 0 && m_bound.contains(device.path);
        if (device.raised)
            error = m_io.raise(fd, TIOCM_DTR | TIOCM_RTS);
        if (error == 0)
            error = m_io.levels(fd, levels);
        if (error != 0) {
            if (fd >= 0)
                ::close(fd);
            // Absent with a folder made since it was watched: watch that.
            if (isAbsence(error) && nearestFolder(device.path).first != folder)
                continue;
            failed(device, error, false);
            return;
        }

        device.waiting = false;
        armFolders();
        if (device.troubled) {
            say(device,
                device.wentAway
                    ? fillIn(userText("Input", "シリアル機器 %1 が戻りました。"), {device.path})
                    : fillIn(userText("Input", "シリアル機器 %1 を開きました。"), {device.path}));
            device.troubled = false;
        }
        const std::optional<LineCounts> counts = readCounts(m_io, fd);
        auto watcher = std::make_shared<Watcher>(*this, device, fd);
        watcher->self = watcher;
        watcher->thread =
            std::thread([raw = watcher.get(), levels, counts] { raw->run(levels, counts); });
        device.watcher = watcher;
        for (const Line& line : kLines) {
            if (watcher->stop)
                return;
            m_sink.inputChanged({lineControl(watcher->path, line), (levels & line.bit) != 0, true});
        }
        return;
    }
}

void SerialSource::close(Device& device) {
    device.waiting = false;
    if (!device.watcher)
        return;
    device.watcher->halt();
    ::close(device.watcher->fd);
    device.watcher.reset();
}

void SerialSource::failed(Device& device, int error, bool wasOpen) {
    close(device);
    const std::string& path = device.path;
    if (wasOpen)
        m_sink.deviceGone(SourceKind::Serial, path);
    if (!device.troubled || !isAbsence(error))
        device.wentAway = wasOpen && isAbsence(error);
    if (isAbsence(error))
        say(device,
            device.wentAway
                ? fillIn(userText("Input", "シリアル機器 %1 が外れました。戻るのを待っています。"),
                         {path})
                : fillIn(userText("Input",
                                  "シリアル機器 %1 が見つかりません。つながるのを待っています。"),
                         {path}));
    else if (error == EACCES || error == EPERM)
        say(device,
            fillIn(
                userText("Input",
                         "シリアル機器 %1 を開けません。ユーザーを dialout グループに加えてください"
                         "（sudo usermod -aG dialout $USER の後、ログインし直し）。"),
                {path}));
    else if (isNoLines(error) && wasOpen) // the lines read, but no waiting for them
        say(device,
            fillIn(userText("Input", "シリアル機器 %1 のドライバーは状態線の変化を知らせません。"
                                     "ほかのシリアル機器をお使いください。"),
                   {path}));
    else if (isNoLines(error))
        say(device, fillIn(userText("Input",
                                    "シリアル機器 %1 には状態線（DSR・CTS・DCD・RI）がありません。"
                                    "スイッチはモデム制御線のあるシリアル機器につないでください。"),
                           {path}));
    else
        say(device, fillIn(userText("Input", "シリアル機器 %1 を使えません（%2）。"),
                           {path, std::strerror(error)}));
    device.troubled = true;
    waitFor(device);
}

void SerialSource::say(Device& device, const std::string& text) {
    if (text == device.lastMessage)
        return;
    device.lastMessage = text;
    m_sink.inputMessage(text);
}

void SerialSource::waitFor(Device& device) {
    std::tie(device.folder, device.child) = nearestFolder(device.path);
    device.waiting = true;
    armFolders();
}

void SerialSource::armFolders() {
    std::set<std::string> needed;
    for (const auto& [path, device] : m_devices)
        if (device->waiting)
            needed.insert(device->folder);
    if (needed.empty() && m_folders.empty())
        return;
    if (m_inotify < 0) {
        m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotify < 0)
            return;
        m_inotifyWatch = m_loop.watchReadable(m_inotify, [this] { onFolderEvents(); });
    }
    for (auto each = m_folders.begin(); each != m_folders.end();) {
        if (needed.contains(each->first)) {
            ++each;
            continue;
        }
        ::inotify_rm_watch(m_inotify, each->second);
        each = m_folders.erase(each);
    }
    // Added each time: a folder removed and made again needs a new watch.
    for (const std::string& folder : needed)
        m_folders[folder] = ::inotify_add_watch(
            m_inotify, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF);
}

void SerialSource::onFolderEvents() {
    std::set<std::pair<std::string, std::string>> touched; // folder, name
    bool everything = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(m_inotify, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            // A watch this source removed itself says IN_IGNORED too.
            const bool ours =
                std::any_of(m_folders.begin(), m_folders.end(),
                            [&](const auto& each) { return each.second == event->wd; });
            if ((event->mask & (IN_Q_OVERFLOW | IN_DELETE_SELF)) ||
                (ours && (event->mask & IN_IGNORED))) {
                everything = true;
                continue;
            }
            for (const auto& [folder, watch] : m_folders)
                if (watch == event->wd)
                    touched.insert({folder, event->len > 0 ? event->name : ""});
        }
    }
    std::vector<std::string> retry;
    for (const auto& [path, device] : m_devices)
        if (device->waiting && (everything || touched.contains({device->folder, device->child})))
            retry.push_back(path);
    for (const std::string& path : retry)
        if (const auto device = m_devices.find(path);
            device != m_devices.end() && device->second->waiting)
            open(*device->second);
    armFolders();
}

} // namespace tremlo::input
