#!/usr/bin/python3
"""The switch and the panel as a screen reader finds them: the real program
on a private session bus with AT-SPI's own bus, driven through pyatspi.

    /usr/bin/python3 accessibility_test.py --program PATH [--recorder PATH] --case NAME

pyatspi comes with Debian's own Python (python3-pyatspi), so this script
runs under /usr/bin/python3, not whichever python3 comes first on PATH.
Without pyatspi or the bus launcher the case is skipped (exit status 77).
"""

import importlib.util
import os
import sys

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
import station as s  # noqa: E402
from station import check, stamp  # noqa: E402

SKIP = 77
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
# Nothing but the melody: no ambience, no announcement after OFF; the panel
# shown, for its lamps.
QUIET_STATION = {"UseEnvir": "No", "Door": "No", "UsePanel": "Yes"}
# The melody lamp's name, and the words that end it lit and dark, by the
# windows' language.
MELODY_LAMP = {False: ("メロディのランプ", "点灯", "消灯"), True: ("Melody lamp", "on", "off")}


def accessibility_bus(session):
    """A private session bus with AT-SPI's bus on it; the environment for
    the program, which this process takes over too so that pyatspi, imported
    afterwards, finds the same bus."""
    bus_path = session.path("run", "bus")
    address = f"unix:path={bus_path}"
    session.spawn("dbus", ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                           f"--address={address}"])
    h.wait_until(lambda: os.path.exists(bus_path), 10, "the session bus")
    env = dict(session.env, DBUS_SESSION_BUS_ADDRESS=address, QT_ACCESSIBILITY="1",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env.pop("NO_AT_BRIDGE", None)
    session.spawn("at-spi-bus", [BUS_LAUNCHER, "--launch-immediately"], env=env)
    for name in ("DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "XDG_RUNTIME_DIR"):
        os.environ[name] = env[name]
    return env


def find(root, role, name):
    """The first object under `root` with this role whose name starts with
    `name`, searched breadth first."""
    queue = [root]
    while queue:
        node = queue.pop(0)
        try:
            node.clear_cache()
            if node.getRole() == role and node.name.startswith(name):
                return node
            queue.extend(child for child in node if child is not None)
        except Exception:  # gone while we looked: a passing window
            continue
    return None


class Screen:
    """The program as pyatspi shows it."""

    def __init__(self, program, english):
        import pyatspi
        self.pyatspi = pyatspi
        self.program = program
        self.english = english
        self.app = h.wait_until(self._application, 30, "the program on the accessibility bus",
                                alive=program.process)

    def _application(self):
        desktop = self.pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and app.get_process_id() == self.program.pid:
                    return app
            except Exception:
                continue
        return None

    def wait(self, role, name):
        return h.wait_until(lambda: find(self.app, role, name), 30,
                            f"a {role} named {name!r}", alive=self.program.process)

    def key(self, name):
        """ON or OFF. Qt 6.4 gives AT-SPI no toggle-button role, so ON that
        locks is a push button that reads checked while locked."""
        return self.wait(self.pyatspi.ROLE_PUSH_BUTTON, name)

    def listen(self, kind):
        """Starts keeping the events of `kind` ("object:state-changed:checked")
        as (source name, detail1); heard() collects them."""
        self.events = []

        def keep(event):
            try:
                self.events.append((event.source.name, event.detail1))
            except Exception:  # the source is gone already
                pass
        self.pyatspi.Registry.registerEventListener(keep, kind)

    def heard(self, wanted, timeout=10):
        """Waits until `wanted`, a (source name, detail1), has been heard."""
        from gi.repository import GLib
        context = GLib.MainContext.default()

        def pump():
            while context.iteration(False):
                pass
            return wanted in self.events
        h.wait_until(pump, timeout, f"the event {wanted} (heard {self.events})",
                     alive=self.program.process)

    def act(self, accessible, action):
        actions = accessible.queryAction()
        names = [actions.getName(i).lower() for i in range(actions.nActions)]
        check(action in names, f"{accessible.name} offers {names}, not {action!r}")
        actions.doAction(names.index(action))

    def melody_lamp(self):
        lamp = self.wait(self.pyatspi.ROLE_LABEL, MELODY_LAMP[self.english][0])
        lamp.clear_cache()
        return lamp.name, lamp.getState().contains(self.pyatspi.STATE_CHECKED)

    def states(self, accessible):
        """(pressed, checked)"""
        accessible.clear_cache()
        state = accessible.getState()
        return (state.contains(self.pyatspi.STATE_PRESSED),
                state.contains(self.pyatspi.STATE_CHECKED))

    def wait_states(self, accessible, wanted):
        h.wait_until(lambda: self.states(accessible) == wanted, 10,
                     f"{accessible.name} to read (pressed, checked) {wanted}, "
                     f"not {self.states(accessible)}", alive=self.program.process)


def start(session, args, settings, english=False):
    # Looked for, not imported: imported, it would find the bus before this
    # session's exists.
    if importlib.util.find_spec("pyatspi") is None:
        print("skipped: no pyatspi; install python3-pyatspi and run this with "
              "/usr/bin/python3", file=sys.stderr)
        sys.exit(SKIP)
    if not os.access(BUS_LAUNCHER, os.X_OK):
        print(f"skipped: no {BUS_LAUNCHER} (at-spi2-core)", file=sys.stderr)
        sys.exit(SKIP)
    env = accessibility_bus(session)
    if english:
        env["LANG"] = "en_US.UTF-8"
        for name in ("LANGUAGE", "LC_ALL", "LC_MESSAGES"):
            env.pop(name, None)
    installed = s.install_station(session, args.program, {**QUIET_STATION, **settings})
    program = session.start_program(installed, s.write_melody(session), env=env)
    program.wait_window(name="tone.wav - " + ("Tremolo" if english else h.TITLE))
    program.panel_window()
    return program, Screen(program, english)


def hear_melody(session, args, screen, key, action):
    recording = session.start_recording(args.recorder)
    pressed = stamp()
    screen.act(key, action)
    recording.wait_for_tone(pressed, s.MELODY_HZ, s.MELODY_AMPLITUDE * 0.8)
    return recording


def hear_silence(recording, screen, key, action):
    stopped = stamp()
    screen.act(key, action)
    recording.wait_for_silence(stopped, s.MELODY_HZ, s.MELODY_AMPLITUDE / 10)
    recording.stop()


def lamp_reads(screen, lit):
    _, lit_word, dark_word = MELODY_LAMP[screen.english]
    word = lit_word if lit else dark_word
    name, checked = h.wait_until(
        lambda: (lambda read: read if read[1] == lit and read[0].endswith(word) else None)(
            screen.melody_lamp()), 10, f"the melody lamp to read {word}")
    return name


def case_lock(session, args):
    """ON locks: its press sounds the melody until OFF."""
    program, screen = start(session, args, {"NoLockOnButton": "No"})
    # What a screen reader following the switch hears, not only what it
    # would read when it looked. Qt's bridge passes a key's change on as
    # "checked", and sends only what somebody listens to: listening starts
    # early, so that the program has learnt of it before the press.
    screen.listen("object:state-changed:checked")
    on = screen.key("ON")
    off = screen.key("OFF")
    screen.wait_states(on, (False, False))
    screen.wait(screen.pyatspi.ROLE_LABEL, "tone.wav")  # the panel's file line
    h.log(f"before: {lamp_reads(screen, False)!r}")
    recording = hear_melody(session, args, screen, on, "press")
    h.log(f"playing: {lamp_reads(screen, True)!r}")
    screen.wait_states(on, (True, True))
    screen.heard(("ON", 1))
    hear_silence(recording, screen, off, "press")
    screen.heard(("ON", 0))
    h.log(f"after OFF: {lamp_reads(screen, False)!r}")
    screen.wait_states(on, (False, False))
    screen.wait_states(off, (False, False))
    program.check_alive()


def case_spring(session, args):
    """ON springs back: pressed it sounds, released it stops. In English,
    so the names are heard translated."""
    program, screen = start(session, args, {"NoLockOnButton": "Yes"}, english=True)
    on = screen.key("ON")
    h.log(f"before: {lamp_reads(screen, False)!r}")
    recording = hear_melody(session, args, screen, on, "press")
    h.log(f"held: {lamp_reads(screen, True)!r}")
    screen.wait_states(on, (True, False))
    hear_silence(recording, screen, on, "release")
    h.log(f"released: {lamp_reads(screen, False)!r}")
    screen.wait_states(on, (False, False))
    program.check_alive()


CASES = {
    "lock": case_lock,
    "spring": case_spring,
}


def main():
    return s.run_cases(__doc__, CASES)


if __name__ == "__main__":
    sys.exit(main())
