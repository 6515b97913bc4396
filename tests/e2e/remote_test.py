#!/usr/bin/env python3
"""The real program pressed from afar by real clients, and heard.

    remote_test.py --program PATH [--recorder PATH] --case NAME

mpris: playerctl on a private session bus; play sounds the melody and shows
Playing with the melody's title, stop brings the door announcement after the
door delay, next loads the shelf's next melody and open loads a file. osc:
oscsend presses and releases, and a client of our own hears the state come
back. web: Debian's chromium, driven by puppeteer-core, touches the phone
page's keys and its lamps follow, and the browser's address loses the token.
lan: the program and a peer in network namespaces of their own; a peer on a
private address with the token is let in, one on a global address is not,
an empty bundle subscribes nobody and forged failures shut nobody out;
[Remote Peers] Anywhere=Yes lets the global address in.
"""

import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import time

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
import station as s  # noqa: E402
from station import check, ms, stamp  # noqa: E402

TONE_HZ = 1000
TONE_PRESENT = 0.25
TONE_ABSENT = 0.005
# DoorDelay + 1 ms, with what the timers and the sound server add.
DOOR_AFTER_OFF_MS = 1301
TOLERANCE_MS = 120
OSC_PORT = 19000
WEB_PORT = 18470
HERE = os.path.dirname(os.path.abspath(__file__))


def start(session, args, sections=None, env=None, prefix=()):
    """The program with the station's tones, on a shelf of two melodies, the
    first (tone.wav) a 1 kHz sine; returned once its window shows. `prefix`
    runs it through another command (ip netns exec)."""
    installed = s.install_station(session, args.program)
    if sections:
        with open(os.path.join(os.path.dirname(installed), s.SETTINGS_FILE), "w",
                  encoding="utf-8") as f:
            for name, keys in sections.items():
                f.write(f"[{name}]\r\n" + "".join(f"{k}={v}\r\n" for k, v in keys.items()))
    h.write_tone_wave(session.path("tone.wav"), TONE_HZ)
    h.write_tone_wave(session.path("second.wav"), 1250)
    playlist = session.path("shelf.m3u8")
    with open(playlist, "w", encoding="utf-8") as f:
        f.write("#EXTM3U\ntone.wav\nsecond.wav\n")
    program = h.Program(session, session.spawn("tremolo", [*prefix, installed, playlist],
                                               env=env))
    program.wait_window(name="tone.wav - " + h.TITLE)
    return program


def heard_then_stopped(session, args, press, release, stop):
    """`press` and `release` sound the melody and it stays on; `stop` ends it.
    The recording, and the time the melody fell silent."""
    recording = session.start_recording(args.recorder)
    pressed = stamp()
    press()
    onset = recording.wait_for_tone(pressed, TONE_HZ, TONE_PRESENT)
    h.log(f"melody sounding {ms(recording.stamp_of(onset + 479) - pressed)} after the press")
    release()
    time.sleep(0.7)  # past the door threshold: OFF is a long press's
    stopped = stamp()
    stop()
    quiet = recording.wait_for_silence(stopped, TONE_HZ, TONE_ABSENT, hold_frames=h.RATE // 4,
                                      block_frames=480)
    h.log(f"melody silent {ms(recording.stamp_of(quiet) - stopped)} after OFF")
    # When the program took OFF: playerctl alone takes a while to start.
    return recording, recording.stamp_of(quiet)


def case_mpris(session, args):
    bus_path = session.path("run", "bus")
    address = f"unix:path={bus_path}"
    session.spawn("dbus", ["dbus-daemon", "--session", "--nofork", f"--address={address}"])
    h.wait_until(lambda: os.path.exists(bus_path), 10, "the session bus")
    env = dict(session.env, DBUS_SESSION_BUS_ADDRESS=address)

    def playerctl(*command):
        return subprocess.run(["playerctl", "--player=tremolo", *command], env=env,
                              capture_output=True, text=True, timeout=10).stdout.strip()

    program = start(session, args, env=env)
    h.wait_until(lambda: playerctl("status") == "Stopped", 20, "the player on the bus",
                 alive=program.process)
    check(playerctl("metadata", "xesam:title") == "tone",
          f"the title is {playerctl('metadata', 'xesam:title')!r}")
    check(playerctl("metadata", "mpris:length") == "2000000",
          f"the length is {playerctl('metadata', 'mpris:length')!r} µs, not the tone's 2 s")
    recording, silent = heard_then_stopped(
        session, args, lambda: playerctl("play"),
        lambda: h.wait_until(lambda: playerctl("status") == "Playing", 5, "status Playing"),
        lambda: playerctl("stop"))
    door = s.onset(recording, silent, silent + 2_500_000_000, s.DOOR[1], s.DOOR[3])
    check(door is not None, "no door announcement within 2.5 s of stop")
    delay = (recording.stamp_of(door) - silent) / 1e6
    h.log(f"door announcement {delay:.1f} ms after the melody stopped")
    check(abs(delay - DOOR_AFTER_OFF_MS) <= TOLERANCE_MS,
          f"the door announcement began {delay:.1f} ms after stop")
    check(playerctl("status") == "Stopped", f"status {playerctl('status')!r} after stop")
    recording.stop()

    playerctl("next")
    h.wait_until(lambda: playerctl("metadata", "xesam:title") == "second", 10,
                 "the shelf's next melody after next", alive=program.process)
    # Opening a file loads it as a drop does, but another program's open
    # leaves the working folder where it was.
    elsewhere = session.path("elsewhere")
    os.makedirs(elsewhere, exist_ok=True)
    shutil.copy(session.path("tone.wav"), elsewhere)
    folder = os.readlink(f"/proc/{program.pid}/cwd")
    playerctl("open", "file://" + os.path.join(elsewhere, "tone.wav"))
    h.wait_until(lambda: playerctl("metadata", "xesam:title") == "tone", 10,
                 "the opened melody", alive=program.process)
    check(os.readlink(f"/proc/{program.pid}/cwd") == folder,
          "opening a file from the media controls changed the working folder")
    program.check_alive()


def osc_message(address, *arguments):
    def padded(data):
        return data + b"\0" * (4 - len(data) % 4)
    tags = "," + "".join("i" if isinstance(a, int) else "s" for a in arguments)
    body = b"".join(struct.pack(">i", a) if isinstance(a, int) else padded(a.encode())
                    for a in arguments)
    return padded(address.encode()) + padded(tags.encode()) + body


def osc_state(client, name, value, timeout=5.0):
    """Whether the program tells the client /tremolo/NAME is `value`."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        client.settimeout(max(0.01, deadline - time.monotonic()))
        try:
            data = client.recv(1024)
        except socket.timeout:
            break
        address = data[:data.index(b"\0")].decode()
        if address == "/tremolo/" + name and struct.unpack(">i", data[-4:])[0] == value:
            return True
    return False


def case_osc(session, args):
    program = start(session, args, {"Remote": {"Osc": "Yes", "OscPort": OSC_PORT}})

    def oscsend(*command):
        session.run(["oscsend", "localhost", str(OSC_PORT), *command])

    # Not until the port is open: oscsend cannot tell.
    h.wait_until(lambda: f":{OSC_PORT:X}" in open("/proc/net/udp").read(), 10,
                 "the OSC port", alive=program.process)
    recording, _ = heard_then_stopped(session, args, lambda: oscsend("/tremolo/on", "i", "1"),
                                      lambda: oscsend("/tremolo/on", "i", "0"),
                                      lambda: oscsend("/tremolo/off"))
    recording.stop()

    # A client that sends hears the state: the lamp lit and dark again.
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as client:
        client.bind(("127.0.0.1", 0))
        client.sendto(osc_message("/tremolo/on"), ("127.0.0.1", OSC_PORT))
        check(osc_state(client, "melody", 1), "the melody lamp is not told lit")
        client.sendto(osc_message("/tremolo/off"), ("127.0.0.1", OSC_PORT))
        check(osc_state(client, "melody", 0), "the melody lamp is not told dark")
        # Junk is dropped, and the program goes on.
        for size in (0, 3, 7, 4000):
            client.sendto(os.urandom(size), ("127.0.0.1", OSC_PORT))
    program.check_alive()


def puppeteer(session):
    """puppeteer-core in a cache folder of its own, installed once."""
    cache = os.path.join(os.environ.get("XDG_CACHE_HOME") or
                         os.path.expanduser("~/.cache"), "tremolo-e2e-node")
    module = os.path.join(cache, "node_modules", "puppeteer-core")
    if not os.path.isdir(module):
        os.makedirs(cache, exist_ok=True)
        subprocess.run(["npm", "install", "--prefix", cache, "--no-audit", "--no-fund",
                        "puppeteer-core@22"], check=True, timeout=600,
                       stdout=subprocess.DEVNULL)
    return os.path.join(cache, "node_modules")


def case_web(session, args):
    browser = shutil.which("chromium")
    check(browser, "Debian's chromium is not installed")
    modules = puppeteer(session)
    token = "q3Xv0Jr8cW1tZk7nB2mA5g"
    program = start(session, args,
                    {"Remote": {"Web": "Yes", "WebPort": WEB_PORT, "Token": token}})
    h.wait_until(lambda: f":{WEB_PORT:X}" in open("/proc/net/tcp").read(), 10,
                 "the page's port", alive=program.process)
    driver = session.spawn("browser", [
        "node", os.path.join(HERE, "remote_page.js"), browser,
        f"http://127.0.0.1:{WEB_PORT}/?token={token}", session.path("touch")],
        env=dict(session.env, NODE_PATH=modules))
    driver_log = session.path("browser.log")

    def said(line):
        with open(driver_log, encoding="utf-8", errors="replace") as f:
            return line in f.read()

    def touch(key, down):
        with open(session.path("touch"), "a", encoding="utf-8") as f:
            f.write(json.dumps({"key": key, "down": down}) + "\n")

    h.wait_until(lambda: said("ready"), 60, "the page in chromium", alive=driver)
    # The browser's history never keeps the token once the page has read it.
    check(said(f"address http://127.0.0.1:{WEB_PORT}/\n"), "the page kept its token in its address")
    recording, _ = heard_then_stopped(session, args, lambda: touch("on", True),
                                      lambda: touch("on", False),
                                      lambda: (touch("off", True), touch("off", False)))
    recording.stop()
    h.wait_until(lambda: said("lamp melody false"), 10, "the page's melody lamp to go dark",
                 alive=driver)
    check(said("lamp melody true"), "the page's melody lamp never lit")
    session.stop(driver)
    program.check_alive()


# A peer on the LAN, run inside its own network namespace: sends datagrams
# from a source address and reports the OSC addresses each socket is told
# back, or asks for a page and reports the status.
PEER = r"""
import http.client, json, socket, sys, time
job = json.loads(sys.argv[1])
if job["kind"] == "http":
    connection = http.client.HTTPConnection(job["to"], job["port"], timeout=5,
                                            source_address=(job["from"], 0))
    try:
        connection.request("GET", job["path"])
        print(json.dumps(connection.getresponse().status))
    except OSError as error:
        print(json.dumps(str(error)))
    sys.exit(0)
sockets = []
for datagrams in job["sockets"]:
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((job["from"], 0))
    s.setblocking(False)
    sockets.append(s)
    for datagram in datagrams:
        s.sendto(bytes.fromhex(datagram), (job["to"], job["port"]))
        time.sleep(0.02)
heard = [[] for _ in sockets]
deadline = time.monotonic() + job["listen"]
while time.monotonic() < deadline:
    for s, told in zip(sockets, heard):
        try:
            data = s.recv(2048)
            told.append(data[:data.index(b"\0")].decode())
        except BlockingIOError:
            pass
    time.sleep(0.01)
print(json.dumps(heard))
"""


def case_lan(session, args):
    """Lan=Yes between two network namespaces joined by a veth pair: a peer
    on a private address with the token is let in, one on a global address
    is not, an empty bundle subscribes nobody, and forged failures do not
    shut the right token out."""
    if os.geteuid() != 0 or not shutil.which("ip"):
        print("SKIPPED: network namespaces need root and ip (iproute2)")
        return 77
    token = "q3Xv0Jr8cW1tZk7nB2mA5g"
    mine, peer = f"tremolo-prog-{os.getpid()}", f"tremolo-peer-{os.getpid()}"
    private, elsewhere = ("10.231.7.1", "10.231.7.2"), ("198.51.100.1", "198.51.100.2")
    made = []
    try:
        for name in (mine, peer):
            if subprocess.run(["ip", "netns", "add", name]).returncode != 0:
                print("SKIPPED: network namespaces cannot be made here")
                return 77
            made.append(name)
        if subprocess.run(["ip", "link", "add", "tp0", "netns", mine, "type", "veth",
                           "peer", "name", "tp1", "netns", peer]).returncode != 0:
            print("SKIPPED: a veth pair cannot be made here")
            return 77
        for name, device, side in ((mine, "tp0", 0), (peer, "tp1", 1)):
            for pair in (private, elsewhere):
                session.run(["ip", "-n", name, "addr", "add", pair[side] + "/24", "dev", device])
            session.run(["ip", "-n", name, "link", "set", device, "up"])
            session.run(["ip", "-n", name, "link", "set", "lo", "up"])
        program = start(session, args,
                        {"Remote": {"Osc": "Yes", "OscPort": OSC_PORT, "Web": "Yes",
                                    "WebPort": WEB_PORT, "Lan": "Yes", "Token": token}},
                        prefix=("ip", "netns", "exec", mine))

        def from_peer(job):
            job = dict(job, to=private[0])
            result = session.run(["ip", "netns", "exec", peer, sys.executable, "-c", PEER,
                                  json.dumps(job)])
            return json.loads(result.strip().splitlines()[-1])

        def datagrams(source, *sockets, listen=1.5):
            return from_peer({"kind": "osc", "from": source, "port": OSC_PORT, "listen": listen,
                              "sockets": [[d.hex() for d in each] for each in sockets]})

        def page(source, path):
            return from_peer({"kind": "http", "from": source, "port": WEB_PORT, "path": path})

        state = osc_message("/tremolo/state", token)
        h.wait_until(lambda: "/tremolo/melody" in datagrams(private[1], [state], listen=0.5)[0],
                     20, "the state told to a LAN peer with the token", alive=program.process)
        check(datagrams(elsewhere[1], [state])[0] == [],
              "a peer on a global address was answered")
        check(page(private[1], f"/?token={token}") == 200, "the page refused a LAN peer")
        check(page(private[1], "/") == 401, "the page let a LAN peer in without the token")
        check(page(elsewhere[1], f"/?token={token}") == 403,
              "the page let a peer on a global address in")
        wrong = osc_message("/tremolo/state", "not-the-token-at-all-x")
        check("/tremolo/melody" in datagrams(private[1], [wrong] * 5 + [state])[0],
              "five wrong tokens from the peer's address shut the right one out")
        # The empty bundle's socket is not told of the melody that the other
        # socket starts.
        empty = b"#bundle\0" + bytes(7) + b"\1"
        heard = datagrams(private[1], [empty],
                          [osc_message("/tremolo/on", token, 1),
                           osc_message("/tremolo/on", token, 0)])
        check("/tremolo/melody" in heard[1], "the sender with the token was not told")
        check(heard[0] == [], f"an empty bundle subscribed its sender: {heard[0]}")
        datagrams(private[1], [osc_message("/tremolo/off", token)], listen=0.2)
        program.check_alive()
        session.stop(program.process)
        # Widened by hand, LAN access takes the global address too.
        program = start(session, args,
                        {"Remote": {"Osc": "Yes", "OscPort": OSC_PORT, "Lan": "Yes",
                                    "Token": token}, "Remote Peers": {"Anywhere": "Yes"}},
                        prefix=("ip", "netns", "exec", mine))
        h.wait_until(lambda: "/tremolo/melody" in datagrams(elsewhere[1], [state], listen=0.5)[0],
                     20, "the state told to a global peer once widened", alive=program.process)
        program.check_alive()
    finally:
        for name in made:
            subprocess.run(["ip", "netns", "delete", name])
    return None


CASES = {"mpris": case_mpris, "osc": case_osc, "web": case_web, "lan": case_lan}

if __name__ == "__main__":
    sys.exit(s.run_cases(__doc__, CASES))
