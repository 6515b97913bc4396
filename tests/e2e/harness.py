"""Runs the real トレモロ program under a private X server and sound server.

A Session starts, in a temporary folder of its own, Xvfb on a free display
with openbox, and a PulseAudio daemon with a null sink named "test". The
program runs against them, xdotool drives it, and a Recording of the sink's
monitor, stamped with CLOCK_MONOTONIC by recorder.cpp, is what the checks
listen to. Everything started here is stopped by its PID when the session
ends, after a failure too; children also get SIGTERM if the harness itself
dies.

Standard library only: the tests run on a fresh Debian machine whose Python
has nothing else.
"""

import array
import bisect
import contextlib
import ctypes
import math
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import sound_server  # noqa: E402

RATE = 48000
CHUNK_FRAMES = 64
_STAMP = struct.Struct("<q")
_RECORD_BYTES = _STAMP.size + CHUNK_FRAMES * 2 * 4

# Window sizes the program gives its two windows.
SWITCH_SIZE = (48, 95)
PANEL_SIZE = (600, 61)
ON_KEY = (14, 30, 22, 22)  # x, y, width, height within the switch window
OFF_KEY = (14, 59, 22, 22)
TITLE = "トレモロ"
ERROR_TITLE = "トレモロ エラー"

HERE = os.path.dirname(os.path.abspath(__file__))

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


class HarnessError(Exception):
    """Something the harness needs did not happen; the message says what."""


def _die_with_harness():
    # Runs in the child between fork and exec: a harness killed outright
    # (a ctest time-out) must not leave servers behind.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


def _raise_on_sigterm(signum, frame):
    raise SystemExit(128 + signum)


def log(message):
    print(f"[e2e {time.strftime('%H:%M:%S')}] {message}", file=sys.stderr, flush=True)


def wait_until(predicate, timeout, what, alive=None):
    """Polls predicate until it returns something true and returns that.

    Fails when the time is up, or at once when `alive` (a Popen) has exited.
    """
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result:
            return result
        if alive is not None and alive.poll() is not None:
            raise HarnessError(f"{what}: process {alive.pid} exited with {alive.returncode}")
        if time.monotonic() > deadline:
            raise HarnessError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.05)


class Session:
    """The private X and sound servers, and every process started in them."""

    def __init__(self, keep_folder=False, suspend_idle_seconds=None):
        """suspend_idle_seconds: a sink that suspends when idle
        (sound_server.SoundServer); record it with let_suspend."""
        self.keep_folder = keep_folder
        self.suspend_idle_seconds = suspend_idle_seconds
        self.sound_server = None
        self.folder = None
        self.env = None
        self.display = None
        self._processes = []  # (name, Popen), oldest first

    def __enter__(self):
        signal.signal(signal.SIGTERM, _raise_on_sigterm)
        # Short, so the Pulse socket's path stays far inside the limit for
        # a socket name.
        self.folder = tempfile.mkdtemp(prefix="tremlo-e2e.", dir="/tmp")
        try:
            self.env = self._base_environment()
            self._start_sound_server()
            self._start_x_server()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    # ---- processes ------------------------------------------------------

    def spawn(self, name, argv, env=None, cwd=None):
        logfile = open(self.path(f"{name}.log"), "ab")
        try:
            process = subprocess.Popen(
                argv, env=env or self.env, cwd=cwd or self.folder, stdin=subprocess.DEVNULL,
                stdout=logfile, stderr=subprocess.STDOUT, preexec_fn=_die_with_harness)
        finally:
            logfile.close()
        self._processes.append((name, process))
        return process

    def stop(self, process, grace=5.0):
        """Stops one process started here: SIGTERM, then SIGKILL after `grace` s."""
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(grace)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self._processes = [(n, p) for n, p in self._processes if p is not process]

    def log_tail(self, name, lines=30):
        try:
            with open(self.path(f"{name}.log"), "rb") as f:
                text = f.read().decode("utf-8", "replace")
        except OSError:
            return f"(no {name}.log)"
        return "\n".join(text.splitlines()[-lines:])

    def close(self):
        failed = False
        for name, process in reversed(self._processes):
            try:
                self.stop(process)
            except Exception as error:  # keep stopping the others
                failed = True
                print(f"could not stop {name} ({process.pid}): {error}", file=sys.stderr)
        self._processes = []
        if self.folder and not self.keep_folder and not failed:
            shutil.rmtree(self.folder, ignore_errors=True)
        elif self.folder:
            log(f"logs kept in {self.folder}")

    def run(self, argv, timeout=30, check=True):
        """Runs a short tool inside the session and returns its output."""
        result = subprocess.run(argv, env=self.env, cwd=self.folder, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=timeout)
        if check and result.returncode != 0:
            raise HarnessError(f"{' '.join(argv)} failed ({result.returncode}): "
                               f"{result.stderr.decode('utf-8', 'replace').strip()}")
        return result.stdout.decode("utf-8", "replace")

    def succeeds(self, argv):
        try:
            return subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=10).returncode == 0
        except subprocess.TimeoutExpired:
            return False

    # ---- services -------------------------------------------------------

    def _base_environment(self):
        run = self.path("run")
        home = self.path("home")
        for folder in (run, os.path.join(run, "pulse"), home):
            os.makedirs(folder, mode=0o700, exist_ok=True)
        env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "SESSION_MANAGER", "QT_SCALE_FACTOR",
                     "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
                     "PULSE_LATENCY_MSEC", "SDL_AUDIO_DEVICE_NAME"):
            env.pop(name, None)
        # Every Pulse client, the program included, finds the private daemon
        # through these and writes nothing outside the folder.
        env.update(sound_server.client_environment(run))
        env.update({
            # The user's settings, recent files and caches stay out of it.
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "DBUS_SESSION_BUS_ADDRESS": "disabled:",
            "LANG": "C.UTF-8",
            "QT_QPA_PLATFORM": "xcb",
            "QT_ACCESSIBILITY": "0",
            "NO_AT_BRIDGE": "1",
        })
        return env

    def sink_rate(self):
        text = self.run(["pactl", "list", "sinks"])
        match = re.search(r"Sample Spec\w*: \S+ \d+ch (\d+)Hz", text)
        if not match:
            raise HarnessError("pactl list sinks shows no sample rate")
        return int(match.group(1))

    def sink_state(self):
        """RUNNING, IDLE or SUSPENDED: the null sink's state as listed."""
        return self.sound_server.sink_state()

    def _start_sound_server(self):
        # Started through the session, so that its processes die with the
        # harness and are stopped with the others.
        server = sound_server.SoundServer(
            self.path("run"), base_env=self.env, log_folder=self.folder,
            spawn=lambda name, argv, env: self.spawn(name, argv, env=env),
            suspend_idle_seconds=self.suspend_idle_seconds)
        self.sound_server = server
        try:
            server.start()
        except sound_server.SoundServerError as error:
            raise HarnessError(str(error)) from None
        log(f"{server.server} up, null sink 'test' ({self.env['PULSE_SERVER']})")

    def _start_x_server(self):
        for number in range(99, 200):
            if os.path.exists(f"/tmp/.X{number}-lock") or \
                    os.path.exists(f"/tmp/.X11-unix/X{number}"):
                continue
            # -noreset: without it the server resets as the probe below
            # disconnects, and openbox, the next client, may find no server.
            xvfb = self.spawn(f"xvfb-{number}", [
                "Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                "-noreset"])
            probe = ["xdpyinfo", "-display", f":{number}"]
            try:
                wait_until(lambda: self.succeeds(probe), 20, "Xvfb", alive=xvfb)
            except HarnessError:
                self.stop(xvfb)
                continue
            # Another job's server may have taken the display between the
            # look and the start.
            if self._lock_holder(number) != xvfb.pid:
                self.stop(xvfb)
                continue
            self.display = f":{number}"
            break
        else:
            raise HarnessError("no free X display from :99 to :199")
        self.env["DISPLAY"] = self.display
        openbox = self.spawn("openbox", ["openbox"])
        try:
            wait_until(lambda: "window id" in self.run(
                ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False),
                20, "openbox", alive=openbox)
        except HarnessError as error:
            raise HarnessError(f"{error}\n{self.log_tail('openbox')}") from None
        log(f"Xvfb with openbox on {self.display}")

    @staticmethod
    def _lock_holder(number):
        try:
            with open(f"/tmp/.X{number}-lock") as f:
                return int(f.read().strip())
        except (OSError, ValueError):
            return None

    # ---- the program ----------------------------------------------------

    def install_program(self, program, settings=None, sections=None):
        """A private program folder: the executable and the files beside it.

        The program keeps its settings file and the temporary copies of
        melodies in its own folder; a copy keeps the build folder clean and
        starts every run from the settings given here (the defaults when
        none), and from `sections`, {name: {key: value}}, after them. Other
        executables in the build's bin folder are left out.
        """
        source = os.path.dirname(os.path.abspath(program))
        folder = self.path("program")
        os.makedirs(folder, exist_ok=True)
        for entry in os.scandir(source):
            target = os.path.join(folder, entry.name)
            if entry.is_dir():
                shutil.copytree(entry.path, target, dirs_exist_ok=True)
            elif entry.path == os.path.abspath(program) or not os.access(entry.path, os.X_OK):
                shutil.copy2(entry.path, target)
        if settings or sections:
            with open(os.path.join(folder, "tremlo.ini"), "w", encoding="utf-8") as f:
                for name, keys in {"TREMLO 1.10": settings or {}, **(sections or {})}.items():
                    f.write(f"[{name}]\r\n")
                    for key, value in keys.items():
                        f.write(f"{key}={value}\r\n")
        return os.path.join(folder, os.path.basename(program))

    def start_program(self, program, argument=None, env=None):
        argv = [program] + ([argument] if argument else [])
        return Program(self, self.spawn("tremolo", argv, env=env))

    def start_recording(self, recorder, fragment_frames=None, let_suspend=False):
        return Recording(self, recorder, fragment_frames, let_suspend)


class Window:
    def __init__(self, session, wid):
        self.session = session
        self.id = wid

    def geometry(self):
        """(x, y, width, height) on the screen."""
        text = self.session.run(["xdotool", "getwindowgeometry", "--shell", self.id])
        values = dict(line.split("=", 1) for line in text.split() if "=" in line)
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def name(self):
        return self.session.run(["xdotool", "getwindowname", self.id], check=False).rstrip("\n")

    def exists(self):
        return self.session.succeeds(["xdotool", "getwindowname", self.id])

    def activate(self):
        """Gives the window the keyboard: xdotool types into the active window."""
        def active():
            self.session.run(["xdotool", "windowactivate", self.id], check=False)
            return self.session.run(["xdotool", "getactivewindow"], check=False).strip() == self.id
        wait_until(active, 20, f"window {self.id} to become active")

    def grab(self):
        """The window's pixels as an Image."""
        data = subprocess.run(["import", "-silent", "-window", self.id, "-depth", "8",
                               "ppm:-"],
                              env=self.session.env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=30, check=True).stdout
        return Image.from_ppm(data)

    def save_png(self, path):
        self.session.run(["import", "-silent", "-window", self.id, path])


class Program:
    """The running program and its windows."""

    def __init__(self, session, process):
        self.session = session
        self.process = process

    @property
    def pid(self):
        return self.process.pid

    def alive(self):
        return self.process.poll() is None

    def check_alive(self):
        if not self.alive():
            raise HarnessError(f"the program exited with {self.process.returncode}:\n"
                               + self.session.log_tail("tremolo"))

    def windows(self, pid=True):
        """The program's visible windows (every one's with pid=False), as {id: name}."""
        owner = ["--pid", str(self.pid)] if pid else []
        text = self.session.run(["xdotool", "search", "--all", "--onlyvisible", *owner,
                                 "--name", ""], check=False)
        found = {}
        for wid in text.split():
            window = Window(self.session, wid)
            name = window.name()
            if name:
                found[wid] = name
        return found

    def wait_window(self, name=None, size=None, timeout=30):
        """The program's visible window with this exact name and/or size."""
        def look():
            for wid, title in self.windows().items():
                window = Window(self.session, wid)
                if name is not None and title != name:
                    continue
                try:
                    if size is not None and window.geometry()[2:] != size:
                        continue
                except HarnessError:  # gone again, a passing window
                    continue
                return window
            return None
        what = f"a window named {name!r}" if name else f"a {size[0]}x{size[1]} window"
        try:
            return wait_until(look, timeout, what, alive=self.process)
        except HarnessError as error:
            raise HarnessError(f"{error}\n{self.report()}") from None

    def report(self):
        """What the program shows and where its threads wait, for a failure."""
        lines = [f"the program's visible windows: {self.windows()}",
                 f"all visible windows: {self.windows(pid=False)}"]
        for task in sorted(os.listdir(f"/proc/{self.pid}/task")) if self.alive() else []:
            try:
                with open(f"/proc/{self.pid}/task/{task}/comm") as f:
                    comm = f.read().strip()
                with open(f"/proc/{self.pid}/task/{task}/wchan") as f:
                    wchan = f.read().strip()
            except OSError:
                continue
            lines.append(f"thread {task} {comm}: waiting in {wchan or '-'}")
        return "\n".join(lines)

    def switch_window(self, timeout=30):
        return self.wait_window(size=SWITCH_SIZE, timeout=timeout)

    def panel_window(self, timeout=30):
        return self.wait_window(size=PANEL_SIZE, timeout=timeout)


class VirtualController:
    """The program's virtual game controller (input/controllers.h):
    a FIFO the program reads when TREMLO_VIRTUAL_CONTROLLER names it."""

    GUID = "ff0005bf8b7d00005472000000007603"

    def __init__(self, session):
        self.path = session.path("controller")
        os.mkfifo(self.path)
        self.env = dict(session.env, TREMLO_VIRTUAL_CONTROLLER=self.path)
        self._fd = None

    @staticmethod
    def binding(button):
        return f"controller:button {button}@{VirtualController.GUID}"

    def send(self, text):
        """'A'..'D' press buttons 0..3, 'a'..'d' release them."""
        if self._fd is None:
            # The program opens its end once its loop runs.
            self._fd = wait_until(lambda: self._open(), 10, "the program's controller FIFO")
        os.write(self._fd, text.encode())

    def _open(self):
        try:
            return os.open(self.path, os.O_WRONLY | os.O_NONBLOCK)
        except OSError:
            return None

    def close(self):
        if self._fd is not None:
            os.close(self._fd)
            self._fd = None


class Input:
    """xdotool's keys (into the active window) and pointer."""

    def __init__(self, session):
        self.session = session

    def xdotool(self, *args):
        self.session.run(["xdotool", *args])

    def keydown(self, keys):
        self.xdotool("keydown", keys)

    def keyup(self, keys):
        self.xdotool("keyup", keys)

    def tap(self, keys, hold=0.1):
        self.keydown(keys)
        time.sleep(hold)
        self.keyup(keys)

    def move(self, x, y):
        self.xdotool("mousemove", "--sync", str(x), str(y))

    def drag(self, start, end, button=1, steps=10, step_seconds=0.03):
        """Button down at `start`, moves `step_seconds` apart, up at `end`."""
        self.move(*start)
        self.xdotool("mousedown", str(button))
        for step in range(1, steps + 1):
            time.sleep(step_seconds)
            x = start[0] + (end[0] - start[0]) * step // steps
            y = start[1] + (end[1] - start[1]) * step // steps
            self.xdotool("mousemove", str(x), str(y))
        time.sleep(step_seconds)
        self.xdotool("mouseup", str(button))



class XTestKeys:
    """Keys sent straight to the X server through the XTest extension, from
    this process: no helper program starts between the time stamp and the
    key, so a latency measured from the stamp is the program's own."""

    def __init__(self, session):
        import ctypes
        import ctypes.util
        self._x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self._xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        self._x11.XOpenDisplay.restype = ctypes.c_void_p
        self._x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self._x11.XStringToKeysym.restype = ctypes.c_ulong
        self._x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self._x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self._x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self._x11.XFlush.argtypes = [ctypes.c_void_p]
        self._x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                 ctypes.c_ulong]
        self._display = self._x11.XOpenDisplay(session.env["DISPLAY"].encode())
        if not self._display:
            raise HarnessError("cannot open the X display for XTest")

    def _send(self, key, down):
        names = {"shift": "Shift_L", "ctrl": "Control_L", "alt": "Alt_L"}
        keysym = self._x11.XStringToKeysym(names.get(key, key).encode())
        keycode = self._x11.XKeysymToKeycode(self._display, keysym)
        self._xtst.XTestFakeKeyEvent(self._display, keycode, 1 if down else 0, 0)
        self._x11.XFlush(self._display)

    def keydown(self, key):
        self._send(key, True)

    def keyup(self, key):
        self._send(key, False)

    def close(self):
        if self._display:
            self._x11.XCloseDisplay(self._display)
            self._display = None

class Image:
    """RGB pixels, row by row."""

    def __init__(self, width, height, pixels):
        self.width = width
        self.height = height
        self.pixels = pixels

    @staticmethod
    def from_ppm(data):
        tokens = []
        position = 0
        while len(tokens) < 4:
            while data[position:position + 1].isspace():
                position += 1
            if data[position:position + 1] == b"#":
                position = data.index(b"\n", position)
                continue
            end = position
            while not data[end:end + 1].isspace():
                end += 1
            tokens.append(data[position:end])
            position = end
        if tokens[0] != b"P6" or int(tokens[3]) != 255:
            raise HarnessError("import did not write an 8-bit PPM")
        width, height = int(tokens[1]), int(tokens[2])
        return Image(width, height, data[position + 1:position + 1 + width * height * 3])

    def region(self, x, y, width, height):
        rows = []
        for row in range(y, y + height):
            start = (row * self.width + x) * 3
            rows.append(self.pixels[start:start + width * 3])
        return b"".join(rows)

    def differing_pixels(self, other, box):
        a, b = self.region(*box), other.region(*box)
        return sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])


class Recording:
    """The null sink's monitor from the moment the recorder runs.

    Every frame carries the CLOCK_MONOTONIC stamp of the 64-frame chunk it
    came in: the time the recorder had the whole chunk in hand. Channels are
    mixed to mono for the checks.
    """

    def __init__(self, session, recorder, fragment_frames=None, let_suspend=False):
        """let_suspend: the recording does not keep the sink awake; while
        the sink sleeps no chunk comes, so this waits only for the recorder
        to connect."""
        self.session = session
        self.path = session.path(f"recording-{time.monotonic_ns()}.raw")
        fragment = [str(fragment_frames)] if fragment_frames else []
        option = ["--let-suspend"] if let_suspend else []
        connected = self._connections()
        self.process = session.spawn("recorder", [recorder] + option +
                                     ["test.monitor", self.path] + fragment)
        self.stamps = []
        self.mono = array.array("f")
        self._offset = 0
        if let_suspend:
            wait_until(lambda: self._connections() > connected, 20, "the recorder to connect",
                       alive=self.process)
        else:
            wait_until(lambda: self.update() and self.stamps, 20, "the recorder's first chunk",
                       alive=self.process)

    def _connections(self):
        # Every recorder of the session logs into the same file.
        return self.session.log_tail("recorder", 100000).count("recording test.monitor\n")

    def update(self):
        """Reads whatever the recorder has written since; True when it runs."""
        try:
            with open(self.path, "rb") as f:
                f.seek(self._offset)
                data = f.read()
        except FileNotFoundError:  # not opened yet
            return self.process.poll() is None
        whole = len(data) // _RECORD_BYTES * _RECORD_BYTES
        samples = array.array("f")
        for start in range(0, whole, _RECORD_BYTES):
            self.stamps.append(_STAMP.unpack_from(data, start)[0])
            samples.frombytes(data[start + _STAMP.size:start + _RECORD_BYTES])
        if sys.byteorder != "little":
            samples.byteswap()
        self.mono.extend(array.array("f", ((samples[i] + samples[i + 1]) * 0.5
                                           for i in range(0, len(samples), 2))))
        self._offset += whole
        return self.process.poll() is None

    def stop(self):
        self.session.stop(self.process)
        self.update()
        if self.process.returncode not in (0, -signal.SIGTERM):
            raise HarnessError("the recorder failed:\n" + self.session.log_tail("recorder"))

    def capture_latency_note(self):
        match = re.search(r"capture latency: (\d+) us", self.session.log_tail("recorder", 200))
        return int(match.group(1)) if match else None

    # ---- time and frames ------------------------------------------------

    def frame_at(self, stamp_ns):
        """The first frame whose chunk arrived at or after `stamp_ns`."""
        return bisect.bisect_left(self.stamps, stamp_ns) * CHUNK_FRAMES

    def stamp_of(self, frame):
        return self.stamps[frame // CHUNK_FRAMES]

    def end_stamp(self):
        return self.stamps[-1] if self.stamps else 0

    def follow_until(self, stamp_ns, timeout=30):
        """Waits until the recording reaches `stamp_ns` on the monotonic clock."""
        wait_until(lambda: self.update() and self.end_stamp() >= stamp_ns, timeout,
                   "the recording to catch up", alive=self.process)

    # ---- analysis -------------------------------------------------------

    def tone_amplitude(self, frame, count, frequency):
        """Amplitude of `frequency` in `count` frames from `frame` (Goertzel).

        Count whole periods of the frequency, or neighbouring ones leak in.
        """
        coefficient = 2.0 * math.cos(2.0 * math.pi * frequency / RATE)
        s1 = s2 = 0.0
        for value in self.mono[frame:frame + count]:
            s1, s2 = value + coefficient * s1 - s2, s1
        power = s1 * s1 + s2 * s2 - coefficient * s1 * s2
        return 2.0 * math.sqrt(max(power, 0.0)) / count

    def peak(self, frame, count):
        return max((abs(v) for v in self.mono[frame:frame + count]), default=0.0)

    def tone_blocks(self, start_ns, end_ns, frequency, block_frames):
        """(stamp, amplitude) of each whole block between the two times."""
        first, last = self.frame_at(start_ns), self.frame_at(end_ns)
        return [(self.stamp_of(f), self.tone_amplitude(f, block_frames, frequency))
                for f in range(first, min(last, len(self.mono)) - block_frames + 1,
                               block_frames)]

    def wait_for_tone(self, start_ns, frequency, level, timeout=10.0, block_frames=480):
        """The first frame of the first block after `start_ns` with the tone
        at `level`."""
        deadline = start_ns + int(timeout * 1e9)
        self.follow_until(start_ns)
        checked = self.frame_at(start_ns)
        while True:
            self.update()
            while checked + block_frames <= len(self.mono):
                if self.tone_amplitude(checked, block_frames, frequency) >= level:
                    return checked
                checked += block_frames
            if self.end_stamp() > deadline:
                raise HarnessError(f"no {frequency} Hz tone within {timeout} s")
            if self.process.poll() is not None:
                raise HarnessError("the recorder stopped:\n" + self.session.log_tail("recorder"))
            time.sleep(0.05)

    def wait_for_silence(self, start_ns, frequency, level, hold_frames=4800, timeout=10.0,
                         block_frames=48):
        """The first frame after `start_ns` from which the tone stays under `level`."""
        deadline = start_ns + int(timeout * 1e9)
        self.follow_until(start_ns)
        checked = self.frame_at(start_ns)
        quiet_since = None
        while True:
            self.update()
            while checked + block_frames <= len(self.mono):
                if self.tone_amplitude(checked, block_frames, frequency) >= level:
                    quiet_since = None
                elif quiet_since is None:
                    quiet_since = checked
                checked += block_frames
                if quiet_since is not None and checked - quiet_since >= hold_frames:
                    return quiet_since
            if self.end_stamp() > deadline:
                raise HarnessError(f"the {frequency} Hz tone did not stop within {timeout} s")
            if self.process.poll() is not None:
                raise HarnessError("the recorder stopped:\n" + self.session.log_tail("recorder"))
            time.sleep(0.05)

    def first_loud_frame(self, frame, count, threshold):
        for index in range(max(frame, 0), min(frame + count, len(self.mono))):
            if abs(self.mono[index]) >= threshold:
                return index
        return None

    def last_loud_frame(self, frame, count, threshold):
        for index in range(min(frame + count, len(self.mono)) - 1, max(frame, 0) - 1, -1):
            if abs(self.mono[index]) >= threshold:
                return index
        return None


# ---- test melodies -------------------------------------------------------

def write_tone_wave(path, frequency=1000, seconds=2.0, amplitude=0.5, rate=RATE):
    """A 16-bit mono sine that loops without a seam (whole periods)."""
    frames = int(round(seconds * frequency)) * rate // frequency
    scale = amplitude * 32767
    data = array.array("h", (int(round(scale * math.sin(2 * math.pi * frequency * n / rate)))
                             for n in range(frames)))
    if sys.byteorder != "little":
        data.byteswap()
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(data.tobytes())


class _SfInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int),
                ("channels", ctypes.c_int), ("format", ctypes.c_int),
                ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


# libsndfile's major | sub format of each compressed melody file.
SOUND_FORMATS = {
    "mp3": 0x230000 | 0x0082,  # MPEG layer III, through LAME
    "ogg": 0x200000 | 0x0060,  # Ogg Vorbis
    "opus": 0x200000 | 0x0064,  # Ogg Opus
    "flac": 0x170000 | 0x0002,  # FLAC, 16 bits
}


def write_tone_sound(path, kind, frequency=1000, seconds=2.0, amplitude=0.5, rate=48000):
    """write_tone_wave's sine in a compressed file, written by libsndfile."""
    lib = ctypes.CDLL("libsndfile.so.1")
    lib.sf_open.restype = ctypes.c_void_p
    lib.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(_SfInfo)]
    lib.sf_writef_float.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int64]
    lib.sf_close.argtypes = [ctypes.c_void_p]
    frames = int(round(seconds * frequency)) * rate // frequency
    info = _SfInfo(0, rate, 1, SOUND_FORMATS[kind], 0, 0)
    handle = lib.sf_open(path.encode(), 0x20, ctypes.byref(info))
    if not handle:
        raise HarnessError(f"libsndfile could not write {path}")
    data = (ctypes.c_float * frames)(*(amplitude * math.sin(2 * math.pi * frequency * n / rate)
                                       for n in range(frames)))
    lib.sf_writef_float(handle, data, frames)
    lib.sf_close(handle)


def _variable_length(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def write_held_note_midi(path, note=69, program=19, seconds=4.0):
    """A format 0 file: one organ note held for `seconds` at 120 bpm."""
    division = 480
    ticks = int(seconds * 2 * division)
    track = b"".join([
        b"\x00\xFF\x51\x03\x07\xA1\x20",           # 500,000 us a quarter note
        b"\x00" + bytes([0xC0, program]),          # an organ (19: church organ)
        b"\x00" + bytes([0xB0, 7, 127]),           # full channel volume
        b"\x00" + bytes([0x90, note, 112]),
        _variable_length(ticks) + bytes([0x80, note, 64]),
        b"\x00\xFF\x2F\x00",
    ])
    with open(path, "wb") as out:
        out.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, division))
        out.write(b"MTrk" + struct.pack(">I", len(track)) + track)


def note_frequency(note):
    return 440.0 * 2 ** ((note - 69) / 12)


# ---- command line ----------------------------------------------------------

def find_recorder(given, folder):
    """The recorder to use: `given`, or one compiled into `folder` for runs
    whose build left the tests out (the benchmark's release build)."""
    if given:
        return given
    output = os.path.join(folder, "e2e_recorder")
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "libpulse"],
                           capture_output=True, text=True, check=True).stdout.split()
    subprocess.run(["c++", "-std=c++20", "-O2", os.path.join(HERE, "recorder.cpp"),
                    "-o", output, *flags], check=True)
    return output


@contextlib.contextmanager
def running_program(session, program, argument=None, settings=None, sections=None, env=None):
    """The program, installed in the session with `settings` and `sections`,
    for the length of a with-block; checked alive at the block's end."""
    started = session.start_program(session.install_program(program, settings, sections),
                                    argument, env=env)
    try:
        yield started
        started.check_alive()
    finally:
        session.stop(started.process)
