#!/usr/bin/env python3
"""A private sound server with a null sink, for every test that plays sound.

The server is PulseAudio, or PipeWire with its pulse server and WirePlumber
(TREMLO_SOUND_SERVER=pipewire, or --server pipewire); clients talk to either
through libpulse alike. It keeps all its files in one folder and answers on a
socket there; its sink "test" runs at 48 kHz in stereo and is recorded from
test.monitor. Clients find it through the variables client_environment()
gives, which also keep them from writing under ~/.config/pulse and
/tmp/pulse-*.

Used from Python (tests/e2e/harness.py) as SoundServer, and from anything
else through the command line:

    sound_server.py start FOLDER [--server pulseaudio|pipewire]
                                 [--suspend-idle SECONDS]
                                   starts the server, waits until it answers
                                   quickly, prints NAME=value lines to export
    sound_server.py stop FOLDER    stops what start left running there

--suspend-idle (suspend_idle_seconds) makes the sink suspend after that many
whole seconds with nothing playing, as desktops do (PulseAudio's
module-suspend-on-idle, WirePlumber's session.suspend-timeout-seconds), and
start suspended. Then no reader keeps the sink awake and quick: a recording
that should let it sleep connects with PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND
(e2e_recorder --let-suspend), and sink_state() tells whether it sleeps.

The folder's path should be short: the socket's name must fit in 108 bytes.
Standard library only: it runs on a fresh machine whose Python has nothing
else.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import time

SINK = "test"
RATE = 48000
CHANNELS = 2
# An idle null sink renders 2 s ahead and sleeps, so a new stream would wait
# that long for its first sound. A reader on the monitor keeps the sink's
# buffer short; this latency is what the sink reports once it has.
LOW_LATENCY_USEC = 20000
_PIDS = "sound-server.pids"
SERVERS = ("pulseaudio", "pipewire")
# The programs each server needs besides the Pulse clients pactl and parec.
PROGRAMS = {"pulseaudio": ("pulseaudio",),
            "pipewire": ("dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse")}


# PipeWire's null sink: it drives the graph, as PulseAudio's null sink keeps
# its own time, and WirePlumber takes it for the default sink.
NULL_SINK_CONF = """context.objects = [
    {{ factory = adapter
        args = {{
            factory.name = support.null-audio-sink
            node.name = {SINK}
            node.description = {SINK}
            media.class = Audio/Sink
            audio.rate = {RATE}
            audio.channels = {CHANNELS}
            audio.position = [ FL FR ]
            node.driver = true
            priority.driver = 30000
            priority.session = 30000
            monitor.channel-volumes = true{suspend}
        }}
    }}
]
"""


def null_sink_conf(suspend_idle_seconds=None):
    """PipeWire's null sink; WirePlumber suspends it after the given idle
    time, or after its own default (5 s) when none is given."""
    suspend = ("" if suspend_idle_seconds is None else
               f"\n            session.suspend-timeout-seconds = {suspend_idle_seconds}")
    return NULL_SINK_CONF.format(SINK=SINK, RATE=RATE, CHANNELS=CHANNELS, suspend=suspend)


def chosen_server(env=None):
    """The server TREMLO_SOUND_SERVER names, PulseAudio when unset."""
    name = (os.environ if env is None else env).get("TREMLO_SOUND_SERVER") or "pulseaudio"
    if name not in SERVERS:
        raise SoundServerError(f"TREMLO_SOUND_SERVER={name}: not one of {', '.join(SERVERS)}")
    return name


def missing_programs(server):
    """The programs SERVER needs that are not on the PATH."""
    return [name for name in PROGRAMS[server] + ("pactl", "parec") if not shutil.which(name)]


class SoundServerError(Exception):
    """The daemon did not come up; the message says why, with its log."""


def client_environment(folder):
    """The variables through which clients reach the daemon in FOLDER."""
    return {
        "XDG_RUNTIME_DIR": folder,
        "PULSE_RUNTIME_PATH": os.path.join(folder, "pulse"),
        "PULSE_STATE_PATH": os.path.join(folder, "pulse-state"),
        "PULSE_SERVER": "unix:" + os.path.join(folder, "pulse", "native"),
        "PULSE_COOKIE": os.path.join(folder, "pulse-cookie"),
        "SDL_AUDIODRIVER": "pulseaudio",
    }


def _detached(folder):
    """Starts each process in a session of its own, logging into the folder."""

    def spawn(name, argv, env):
        with open(os.path.join(folder, f"{name}.log"), "ab") as log:
            return subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT, start_new_session=True)

    return spawn


class SoundServer:
    """The daemon and the monitor reader that keeps its sink quick.

    spawn(name, argv, env) -> Popen starts each process; the default
    detaches them so that they outlive this process, for the command line,
    and logs into the folder. A caller that passes its own spawn says where
    it keeps the logs (NAME.log in log_folder) and may stop what it started
    itself.
    """

    def __init__(self, folder, base_env=None, spawn=None, log_folder=None, server=None,
                 suspend_idle_seconds=None):
        self.suspend_idle_seconds = suspend_idle_seconds
        self.folder = os.path.abspath(folder)
        self.log_folder = log_folder or self.folder
        self.env = dict(os.environ if base_env is None else base_env)
        self.server = server or chosen_server(self.env)
        self.env.update(client_environment(self.folder))
        self._spawn = spawn or _detached(self.folder)
        self.processes = []
        self._names = []

    def start(self, timeout=20):
        for sub in ("", "pulse", "home"):
            os.makedirs(os.path.join(self.folder, sub), mode=0o700, exist_ok=True)
        os.chmod(self.folder, 0o700)
        daemon_env = dict(self.env, HOME=os.path.join(self.folder, "home"),
                          DBUS_SESSION_BUS_ADDRESS="disabled:")
        daemon_env.pop("DISPLAY", None)
        if self.server == "pipewire":
            daemon = self._start_pipewire(daemon_env, timeout)
        else:
            daemon = self._start_pulseaudio(daemon_env, timeout)
        if self.suspend_idle_seconds is not None:
            # Ready when the sink is at rest as a desktop's would be; a
            # benchmark looks again before it relies on a suspension.
            self._wait(lambda: self.sink_state() == "SUSPENDED",
                       timeout + self.suspend_idle_seconds, "the null sink to suspend", daemon)
            return
        self._start("parec", ["parec", "-d", f"{SINK}.monitor", "--latency-msec=5", "--raw",
                              os.devnull], self.env)
        # PipeWire's sink reports 0: its graph's quantum holds what is queued.
        self._wait(lambda: self._sink_is_quick(), timeout,
                   "the null sink's latency to drop under 20 ms", daemon)

    def _start_pulseaudio(self, daemon_env, timeout):
        socket = os.path.join(self.folder, "pulse", "native")
        daemon = self._start("pulseaudio", [
            "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
            "-L", f"module-native-protocol-unix auth-anonymous=1 socket={socket}",
            "-L", f"module-null-sink sink_name={SINK} rate={RATE} channels={CHANNELS}"] + (
                [] if self.suspend_idle_seconds is None else
                ["-L", f"module-suspend-on-idle timeout={self.suspend_idle_seconds}"]),
            daemon_env)
        self._wait(lambda: self._succeeds(["pactl", "info"]), timeout, "PulseAudio", daemon)
        return daemon

    def _start_pipewire(self, daemon_env, timeout):
        # No systemd user session starts them (CI runs as root in a bare
        # container): a session bus of the folder's own for WirePlumber, then
        # the graph, its session manager and its pulse server, whose socket
        # is pulse/native under XDG_RUNTIME_DIR as PulseAudio's is.
        home = daemon_env["HOME"]
        bus = os.path.join(self.folder, "bus")
        daemon_env.update({"DBUS_SESSION_BUS_ADDRESS": f"unix:path={bus}",
                           "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                           "XDG_STATE_HOME": os.path.join(home, ".local", "state"),
                           "XDG_DATA_HOME": os.path.join(home, ".local", "share")})
        # The null sink is part of the graph from its start, so that a client
        # that connects the moment the pulse server answers (a device that
        # reconnects after a restart) finds it, as it does on PulseAudio.
        conf = os.path.join(home, ".config", "pipewire", "pipewire.conf.d")
        os.makedirs(conf, exist_ok=True)
        with open(os.path.join(conf, "tremlo-null-sink.conf"), "w") as f:
            f.write(null_sink_conf(self.suspend_idle_seconds))
        dbus = self._start("dbus-daemon", ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                           f"--address=unix:path={bus}"], daemon_env)
        self._wait(lambda: os.path.exists(bus), timeout, "the session bus", dbus)
        graph = self._start("pipewire", ["pipewire"], daemon_env)
        self._wait(lambda: os.path.exists(os.path.join(self.folder, "pipewire-0")), timeout,
                   "PipeWire", graph)
        self._start("wireplumber", ["wireplumber"], daemon_env)
        daemon = self._start("pipewire-pulse", ["pipewire-pulse"], daemon_env)
        self._wait(lambda: self._succeeds(["pactl", "info"]), timeout, "PipeWire's pulse server",
                   daemon)
        self._wait(lambda: f"Default Sink: {SINK}\n" in self._output(["pactl", "info"]),
                   timeout, "the null sink to be the default", daemon)
        return daemon

    def _sink_is_quick(self):
        latency = self.sink_latency_usec()
        return latency is not None and latency < LOW_LATENCY_USEC

    def sink_state(self):
        """RUNNING, IDLE or SUSPENDED, as the server lists the null sink."""
        for line in self._output(["pactl", "list", "sinks", "short"]).splitlines():
            fields = line.split("\t")
            if len(fields) >= 5 and fields[1] == SINK:
                return fields[-1].strip()
        return None

    def sink_latency_usec(self):
        text = self._output(["pactl", "list", "sinks"])
        match = re.search(r"^\s*Latency: (\d+) usec", text, re.M)
        return int(match.group(1)) if match else None

    def stop(self):
        """Stops the processes started here, newest first."""
        for process in reversed(self.processes):
            stop_pid(process.pid)
            process.poll()
        self.processes = []
        self._names = []

    def _start(self, name, argv, env):
        process = self._spawn(name, argv, env)
        self.processes.append(process)
        self._names.append(name)
        return process

    def _wait(self, predicate, timeout, what, daemon):
        deadline = time.monotonic() + timeout
        while not predicate():
            if daemon.poll() is not None:
                problem = f"{what}: the daemon exited with {daemon.returncode}"
            elif time.monotonic() > deadline:
                problem = f"timed out after {timeout} s waiting for {what}"
            else:
                time.sleep(0.05)
                continue
            raise SoundServerError(f"{problem}\n{self._log_tail(self._daemon_log(daemon))}")

    def _daemon_log(self, daemon):
        for process, name in zip(self.processes, self._names):
            if process is daemon:
                return name
        return self.server

    def _log_tail(self, name, lines=20):
        try:
            with open(os.path.join(self.log_folder, f"{name}.log"), "rb") as f:
                text = f.read().decode("utf-8", "replace")
        except OSError:
            return f"(no {name}.log in {self.log_folder})"
        return "\n".join(text.splitlines()[-lines:])

    def _output(self, argv):
        try:
            return subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=10).stdout.decode(
                                      "utf-8", "replace")
        except subprocess.TimeoutExpired:
            return ""

    def _succeeds(self, argv):
        try:
            return subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=10).returncode == 0
        except subprocess.TimeoutExpired:
            return False


def _running(pid):
    # An exited process that nobody has reaped yet still exists; its state
    # tells it apart.
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return False


def stop_pid(pid, grace=5.0):
    """SIGTERM, then SIGKILL when the process is still there after `grace` s."""
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    deadline = time.monotonic() + grace
    while _running(pid) and time.monotonic() < deadline:
        time.sleep(0.05)
    if _running(pid):
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def main(argv):
    options = {"--server": None, "--suspend-idle": None}
    while len(argv) >= 5 and argv[-2] in options and options[argv[-2]] is None:
        options[argv[-2]] = argv[-1]
        argv = argv[:-2]
    server, suspend = options["--server"], options["--suspend-idle"]
    if server not in (None,) + SERVERS or (suspend is not None and not suspend.isdigit()):
        argv = []
    if len(argv) != 3 or argv[1] not in ("start", "stop"):
        print(__doc__, file=sys.stderr)
        return 2
    folder = os.path.abspath(argv[2])
    pids = os.path.join(folder, _PIDS)
    if argv[1] == "stop":
        try:
            with open(pids) as f:
                started = [int(line) for line in f if line.strip()]
        except FileNotFoundError:
            return 0
        for pid in reversed(started):
            stop_pid(pid)
        os.remove(pids)
        return 0
    try:
        server = SoundServer(folder, server=server,
                             suspend_idle_seconds=None if suspend is None else int(suspend))
    except SoundServerError as error:
        print(f"sound server: {error}", file=sys.stderr)
        return 2
    try:
        server.start()
    except (SoundServerError, OSError) as error:
        server.stop()
        print(f"sound server: {error}", file=sys.stderr)
        return 1
    with open(pids, "w") as f:
        f.writelines(f"{process.pid}\n" for process in server.processes)
    for name, value in client_environment(folder).items():
        print(f"{name}={value}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
