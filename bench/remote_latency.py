#!/usr/bin/env python3
"""How fast the real program answers its remote controls, against the keys.

    remote_latency.py --program PATH [--recorder PATH] [--presses 20]

Runs the program as bench/press_latency.py does (a private X and sound
server, a 1 kHz sine as the melody) with OSC and the phone page on, and
presses ON by turns from the keyboard, over OSC and over the page's
WebSocket, each followed by OFF the same way. Then leaves it alone and
reads the CPU time it takes while idle. Prints on standard output:

    press_to_sound_ms: median from the ON key event to the melody's first
                       recorded sample, the baseline
    remote_to_sound_ms_osc: the same from the OSC datagram
    remote_to_sound_ms_websocket: the same from the WebSocket message
    remote_minus_press_ms_osc, remote_minus_press_ms_websocket: each median
                       less the baseline
    idle_cpu_percent:  the program's CPU time over 20 s of idling with MPRIS,
                       OSC and the page on and a page's socket open

The remote's start is a CLOCK_MONOTONIC stamp taken just before this
process writes the datagram or the frame to its socket on the loopback
interface; the end is the recorder's stamp, as in press_latency.py.
"""

import argparse
import base64
import os
import socket
import statistics
import struct
import subprocess
import sys
import time

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
sys.path.insert(0, HERE)
import harness as h  # noqa: E402
import press_latency as latency  # noqa: E402

OSC_PORT = 19001
WEB_PORT = 18471
IDLE_SECONDS = 20


def osc_message(address, value=None):
    def padded(data):
        return data + b"\0" * (4 - len(data) % 4)
    if value is None:
        return padded(address.encode()) + padded(b",")
    return padded(address.encode()) + padded(b",i") + struct.pack(">i", value)


class WebSocket:
    """The smallest client the page's socket takes: text frames, masked."""

    def __init__(self, port):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=10)
        key = base64.b64encode(os.urandom(16)).decode()
        self.socket.sendall((f"GET /ws HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
                             "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                             f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n")
                            .encode())
        answer = b""
        while b"\r\n\r\n" not in answer:
            answer += self.socket.recv(4096)
        if b" 101 " not in answer.split(b"\r\n")[0]:
            raise h.HarnessError(f"the page's socket answered {answer[:40]!r}")
        self.socket.setblocking(False)

    def send(self, text):
        payload = text.encode()
        mask = os.urandom(4)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.socket.sendall(bytes([0x81, 0x80 | len(payload)]) + mask + masked)
        self.drain()

    def drain(self):
        try:
            while self.socket.recv(65536):
                pass
        except BlockingIOError:
            pass

    def close(self):
        self.socket.close()


def remote_press(press, release, off, recording):
    pressed = time.monotonic_ns()
    press()
    ms = (latency.onset_stamp(recording, pressed) - pressed) / 1e6
    release()
    time.sleep(0.35)
    pressed = time.monotonic_ns()
    off()
    latency.silence_stamp(recording, pressed)
    return ms


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the tremolo executable")
    parser.add_argument("--recorder", help="e2e_recorder (compiled here when not given)")
    parser.add_argument("--presses", type=int, default=20)
    args = parser.parse_args()

    keyboard, osc, web = [], [], []
    sections = {"Remote": {"Osc": "Yes", "OscPort": OSC_PORT, "Web": "Yes",
                           "WebPort": WEB_PORT}}
    with h.Session() as session:
        recorder = h.find_recorder(args.recorder and os.path.abspath(args.recorder),
                                   session.folder)
        bus_path = session.path("run", "bus")
        session.spawn("dbus", ["dbus-daemon", "--session", "--nofork",
                               f"--address=unix:path={bus_path}"])
        h.wait_until(lambda: os.path.exists(bus_path), 10, "the session bus")
        session.env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={bus_path}"
        melody = session.path("tone.wav")
        h.write_tone_wave(melody, latency.TONE_HZ)
        with h.running_program(session, os.path.abspath(args.program), melody, latency.SETTINGS,
                               sections) as program:
            switch = program.wait_window(name="tone.wav - " + h.TITLE)
            switch.activate()
            h.wait_until(lambda: f":{WEB_PORT:X}" in open("/proc/net/tcp").read(), 10,
                         "the page's port", alive=program.process)
            recording = session.start_recording(recorder)
            keys = h.XTestKeys(session)
            udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            udp.connect(("127.0.0.1", OSC_PORT))
            page = WebSocket(WEB_PORT)
            for _ in range(args.presses):
                keyboard.append(latency.timed_press(keys, recording)[0])
                time.sleep(0.3)
                osc.append(remote_press(lambda: udp.send(osc_message("/tremolo/on", 1)),
                                        lambda: udp.send(osc_message("/tremolo/on", 0)),
                                        lambda: udp.send(osc_message("/tremolo/off")),
                                        recording))
                time.sleep(0.3)
                web.append(remote_press(lambda: page.send('{"press":"on"}'),
                                        lambda: page.send('{"release":"on"}'),
                                        lambda: (page.send('{"press":"off"}'),
                                                 page.send('{"release":"off"}')),
                                        recording))
                time.sleep(0.3)
            keys.close()
            recording.stop()
            # Idle: the ambience is off, nothing sounds, a page is connected.
            time.sleep(2)
            before, started = cpu_seconds(program.pid), time.monotonic()
            time.sleep(IDLE_SECONDS)
            idle = (cpu_seconds(program.pid) - before) / (time.monotonic() - started) * 100
            page.close()
            udp.close()

    press_ms = statistics.median(keyboard)
    print(f"press_to_sound_ms: {press_ms:.1f}")
    for name, figures in (("osc", osc), ("websocket", web)):
        print(f"remote_to_sound_ms_{name}: {statistics.median(figures):.1f}")
    for name, figures in (("osc", osc), ("websocket", web)):
        print(f"remote_minus_press_ms_{name}: {statistics.median(figures) - press_ms:.1f}")
    print(f"idle_cpu_percent: {idle:.2f}")
    print(f"over {len(keyboard)} presses each: keys min {min(keyboard):.1f}, max "
          f"{max(keyboard):.1f}; OSC min {min(osc):.1f}, max {max(osc):.1f}; WebSocket min "
          f"{min(web):.1f}, max {max(web):.1f}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (h.HarnessError, subprocess.CalledProcessError, OSError) as error:
        print(f"remote_latency: {error}", file=sys.stderr)
        sys.exit(1)
