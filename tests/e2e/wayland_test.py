#!/usr/bin/env python3
"""The real program natively on a Wayland compositor: weston on its X11
backend inside the session's own Xvfb, with xdotool's input passed on by
weston and the windows' places read from weston's debug protocol.

    wayland_test.py --program PATH [--recorder PATH] --case NAME

A Wayland client neither places its windows nor learns where they are, so
the places come from `weston-debug scene-graph`, which lists every view
with its role, its owner and its place on the output.
"""

import os
import re
import shutil
import signal
import subprocess
import sys

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
import station as s  # noqa: E402
from station import check, stamp  # noqa: E402

SOCKET = "wayland-tremolo"
_VIEW = re.compile(r"View \d+ \(role (\S+), PID (\d+), ([^\n]*)\n\s*position: "
                   r"\((-?\d+), (-?\d+)\) -> \((-?\d+), (-?\d+)\)")
_WESTON_WINDOW = re.compile(r'"Weston Compositor[^"]*".*\s\+(-?\d+)\+(-?\d+)\s*$', re.M)


class Weston:
    """weston as a client of the session's X server, with the debug protocol
    on; the environment that runs a program natively on it."""

    def __init__(self, session, xwayland=False):
        for tool in ("weston", "weston-debug"):
            if not shutil.which(tool):
                raise h.HarnessError(f"{tool} is not installed (tools/install_packages)")
        self.session = session
        run = session.path("run")
        env = dict(session.env, XDG_RUNTIME_DIR=run)
        process = session.spawn("weston", [
            "weston", "--backend=x11-backend.so", "--use-pixman", "--idle-time=0",
            f"--socket={SOCKET}", "--debug", "--width=1024", "--height=700",
            *(["--xwayland"] if xwayland else [])], env=env)
        h.wait_until(lambda: os.path.exists(os.path.join(run, SOCKET)), 30, "weston",
                     alive=process)
        self.native = dict(env, WAYLAND_DISPLAY=SOCKET, QT_QPA_PLATFORM="wayland")
        self.native.pop("DISPLAY")
        if xwayland:
            # As in a Wayland session: both displays named, and the program
            # left to choose X11 itself.
            display = h.wait_until(
                lambda: re.search(r"listening on display (:\d+)", session.log_tail("weston", 200)),
                30, "XWayland's display", alive=process).group(1)
            self.through_xwayland = dict(self.native, DISPLAY=display)
            self.through_xwayland.pop("QT_QPA_PLATFORM")
        # Where weston's output window lies on the X screen, for xdotool.
        self.origin = h.wait_until(lambda: self._origin(), 30, "weston's window")

    def _origin(self):
        found = _WESTON_WINDOW.search(self.session.run(["xwininfo", "-root", "-tree"]))
        return (int(found.group(1)), int(found.group(2))) if found else None

    def views(self, pid=None, title=None):
        """[(role, (left, top, right, bottom))] of the process's views, or of
        the windows with this title (XWayland's belong to weston's process)."""
        text = subprocess.run(["weston-debug", "scene-graph"], env=self.native,
                              capture_output=True, text=True, timeout=30).stdout
        return [(role, tuple(int(v) for v in box))
                for role, owner, description, *box in _VIEW.findall(text)
                if (pid is None or int(owner) == pid) and
                (title is None or f"top-level window '{title}'" in description)]

    def point(self, x, y):
        """Moves the pointer to a place on weston's output."""
        self.session.run(["xdotool", "mousemove", str(self.origin[0] + x),
                          str(self.origin[1] + y)])


def windows_of(weston, program):
    """The switch's and the panel's places once both are mapped: the switch a
    top-level window, the panel a popup hung on it."""
    def both():
        found = {}
        for role, box in weston.views(program.pid):
            size = (box[2] - box[0], box[3] - box[1])
            if (role, size) in (("xdg_toplevel", h.SWITCH_SIZE), ("xdg_popup", h.PANEL_SIZE)):
                found[size] = box
        return found if len(found) == 2 else None
    found = h.wait_until(both, 30, "the switch and the panel mapped on weston",
                         alive=program.process)
    return found[h.SWITCH_SIZE], found[h.PANEL_SIZE]


def case_place(session, args):
    """Both windows map natively; a fixed place the platform cannot report
    survives the run, for the next run on X11."""
    weston = Weston(session)
    installed = s.install_station(
        session, args.program, {"FixWindowPos": "Yes", "XPosR": "0.5", "YPosR": "0.4"})
    program = session.start_program(installed, env=weston.native)
    windows_of(weston, program)
    session.stop(program.process)
    check(program.process.returncode == 0, f"the program ended with {program.process.returncode}")
    entries = dict(s.read_settings_file(os.path.dirname(installed))[1])
    check((entries.get("XPosR"), entries.get("YPosR")) == ("0.5000000", "0.4000000"),
          f"the stored place became {entries.get('XPosR')}, {entries.get('YPosR')}")


def case_menu(session, args):
    """A right click on the switch opens the shortcut menu at the pointer,
    not beside whichever window has the focus."""
    weston = Weston(session)
    program = session.start_program(s.install_station(session, args.program),
                                    env=weston.native)
    switch, panel = windows_of(weston, program)
    # The switch's bare body, clear of its keys.
    x, y = switch[0] + 5, switch[1] + 50
    weston.point(x, y)
    session.run(["xdotool", "click", "3"])
    # The panel is a popup too: until the menu maps, it is the only one.
    popup = h.wait_until(
        lambda: next((box for role, box in weston.views(program.pid)
                      if role == "xdg_popup" and box != panel), None),
        30, "the shortcut menu", alive=program.process)
    check(abs(popup[0] - x) <= 2 and abs(popup[1] - y) <= 2,
          f"the menu opened at ({popup[0]}, {popup[1]}), the pointer was at ({x}, {y})")
    session.run(["xdotool", "key", "Escape"])
    program.check_alive()


def case_keys(session, args):
    """The compositor activates each new window, the panel too: with
    ShiftForce a plain key still does nothing, and Shift+A plays."""
    weston = Weston(session)
    installed = s.install_station(session, args.program, {"UseEnvir": "No", "Door": "No"})
    program = session.start_program(installed, s.write_melody(session), env=weston.native)
    windows_of(weston, program)
    recording = session.start_recording(args.recorder)
    keys = h.Input(session)
    pressed = stamp()
    keys.tap("a")
    recording.follow_until(pressed + 1_000_000_000)
    blocks = recording.tone_blocks(pressed, pressed + 1_000_000_000, s.MELODY_HZ, 480)
    check(blocks, "the recording has no frames for the quiet stretch")
    loudest = max(amplitude for _, amplitude in blocks)
    check(loudest < s.MELODY_AMPLITUDE / 50, f"a plain A played the melody ({loudest:.3f})")
    pressed = stamp()
    keys.tap("shift+a")
    recording.wait_for_tone(pressed, s.MELODY_HZ, s.MELODY_AMPLITUDE * 0.8)
    recording.stop()
    program.check_alive()


def case_portal(session, args):
    """A system-wide key bound through the desktop portal (a stand-in on a
    private session bus, beside the recorder in the build): its press is
    heard, and under NoLock its release stops the melody."""
    standin = os.path.join(os.path.dirname(args.recorder), "e2e_portal_standin")
    check(os.access(standin, os.X_OK), f"no stand-in portal at {standin}")
    weston = Weston(session)
    bus_path = session.path("run", "bus")
    address = f"unix:path={bus_path}"
    session.spawn("dbus", ["dbus-daemon", "--session", "--nofork", f"--address={address}"])
    h.wait_until(lambda: os.path.exists(bus_path), 10, "the session bus")
    portal = session.spawn("portal", [standin], env=dict(session.env,
                                                         DBUS_SESSION_BUS_ADDRESS=address))
    installed = s.install_station(session, args.program,
                                  {"UseEnvir": "No", "Door": "No", "NoLockOnButton": "Yes"})
    with open(os.path.join(os.path.dirname(installed), s.SETTINGS_FILE), "a",
              encoding="utf-8") as f:
        f.write("[Input]\r\nGlobalOnKey=Ctrl+F9\r\n")
    program = session.start_program(installed, s.write_melody(session),
                                    env=dict(weston.native, DBUS_SESSION_BUS_ADDRESS=address))
    h.wait_until(lambda: "bound" in session.log_tail("portal"), 30,
                 "the keys bound through the portal", alive=program.process)
    check("on=CTRL+F9" in session.log_tail("portal"),
          f"the program asked for {session.log_tail('portal')!r}")
    recording = session.start_recording(args.recorder)
    pressed = stamp()
    os.kill(portal.pid, signal.SIGUSR1)
    recording.wait_for_tone(pressed, s.MELODY_HZ, s.MELODY_AMPLITUDE * 0.8)
    released = stamp()
    os.kill(portal.pid, signal.SIGUSR2)
    recording.wait_for_silence(released, s.MELODY_HZ, s.MELODY_AMPLITUDE / 50,
                               hold_frames=h.RATE // 2)
    recording.stop()
    program.check_alive()


def drag(session, weston, start, steps=10, step=(8, 4)):
    weston.point(*start)
    session.run(["xdotool", "mousedown", "1"])
    for i in range(1, steps + 1):
        weston.point(start[0] + step[0] * i, start[1] + step[1] * i)
        session.run(["sleep", "0.03"])
    session.run(["xdotool", "mouseup", "1"])


def case_panel(session, args):
    """The panel sits beside the switch, as on X11, follows it when the
    switch is dragged, stays beside it when itself is dragged, and takes
    clicks: its power button ends the program."""
    weston = Weston(session)
    program = session.start_program(s.install_station(session, args.program),
                                    env=weston.native)
    switch, panel = windows_of(weston, program)
    # Level with the switch, 1.15 switch widths right of its left edge.
    beside = (panel[0] - switch[0], panel[1] - switch[1])
    check(beside == (55, 0), f"the panel lies at {beside} from the switch, not (55, 0)")
    drag(session, weston, (panel[0] + 460, panel[1] + 6))
    switch, panel = windows_of(weston, program)
    beside = (panel[0] - switch[0], panel[1] - switch[1])
    check(beside == (55, 0), f"dragged itself, the panel went to {beside} from the switch")
    drag(session, weston, (switch[0] + 5, switch[1] + 50))

    def moved():
        now = windows_of(weston, program)
        return now if now[0][:2] != switch[:2] else None
    switch, panel = h.wait_until(moved, 10, "the switch to follow the drag", alive=program.process)
    beside = (panel[0] - switch[0], panel[1] - switch[1])
    check(beside == (55, 0), f"after the drag the panel lies at {beside} from the switch")
    weston.point(panel[0] + 572, panel[1] + 30)
    session.run(["xdotool", "click", "1"])
    h.wait_until(lambda: not program.alive(), 30, "the power button to end the program")
    check(program.process.returncode == 0, f"the program ended with {program.process.returncode}")


def case_xwayland(session, args):
    """Through XWayland, as the program chooses on a Wayland desktop: both
    windows map, the panel beside the switch, and the place the program
    stores is the one it was given."""
    weston = Weston(session, xwayland=True)
    installed = s.install_station(
        session, args.program, {"FixWindowPos": "Yes", "XPosR": "0.5", "YPosR": "0.4"})
    program = session.start_program(installed, env=weston.through_xwayland)

    def both():
        # XWayland's windows have no xdg role here; weston's frames widen
        # them alike, so their left edges keep the distance.
        boxes = sorted(box for _, box in weston.views(title=h.TITLE))
        return boxes if len(boxes) == 2 else None
    switch, panel = h.wait_until(both, 30, "both windows through XWayland", alive=program.process)
    beside = (panel[0] - switch[0], panel[1] - switch[1])
    check(beside == (55, 0), f"the panel lies at {beside} from the switch, not (55, 0)")
    session.stop(program.process)
    entries = dict(s.read_settings_file(os.path.dirname(installed))[1])
    check((entries.get("XPosR"), entries.get("YPosR")) == ("0.5000000", "0.4000000"),
          f"the stored place became {entries.get('XPosR')}, {entries.get('YPosR')}")


CASES = {
    "xwayland": case_xwayland,
    "panel": case_panel,
    "portal": case_portal,
    "place": case_place,
    "menu": case_menu,
    "keys": case_keys,
}


def main():
    return s.run_cases(__doc__, CASES)


if __name__ == "__main__":
    sys.exit(main())
