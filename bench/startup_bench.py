#!/usr/bin/env python3
"""How long the real program takes to show its switch window, against a bare
Qt program that shows a window of the same size and nothing else.

    startup_bench.py --program PATH [--bare PATH] [--runs 10]

Runs both in a private X and sound server (tests/e2e/harness.py), one after
the other, `runs` times each, and prints on standard output:

    startup_ms: median from spawning the program to its 48x95 window
                being mapped
    startup_vs_bare_qt_ratio: that median divided by the bare Qt program's

with the spread on standard error. The program shows its switch window only
once start-up is done: the audio device open, every fixed sound loaded, the
settings read (there are none: each run starts without a settings file) and
the catalogues built.

The end of a run is the moment this script receives the MapNotify of the
window, or of the window manager's frame around it, from the X server: it
listens on the root window through Xlib rather than polling xdotool, whose
own start-up (a few ms) would blur the figure. The start is a
CLOCK_MONOTONIC stamp taken just before the process is spawned, so the
dynamic loading of Qt and its connection to the X server are inside both
figures.
"""

import argparse
import ctypes
import ctypes.util
import os
import select
import statistics
import subprocess
import sys
import time

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness as h  # noqa: E402

MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
SETTINGS_FILE = "tremlo.ini"

_Window = ctypes.c_ulong
_ErrorHandler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)


class MapWatcher:
    """The windows mapped on a display, heard as they are mapped."""

    def __init__(self, display):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = _Window
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XSelectInput.argtypes = [ctypes.c_void_p, _Window, ctypes.c_long]
        self.x.XPending.argtypes = [ctypes.c_void_p]
        self.x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self.x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        self.x.XFlush.argtypes = [ctypes.c_void_p]
        self.x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.x.XFree.argtypes = [ctypes.c_void_p]
        self.x.XGetGeometry.argtypes = [
            ctypes.c_void_p, _Window, ctypes.POINTER(_Window),
            ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_uint), ctypes.POINTER(ctypes.c_uint),
            ctypes.POINTER(ctypes.c_uint), ctypes.POINTER(ctypes.c_uint)]
        self.x.XQueryTree.argtypes = [
            ctypes.c_void_p, _Window, ctypes.POINTER(_Window), ctypes.POINTER(_Window),
            ctypes.POINTER(ctypes.POINTER(_Window)), ctypes.POINTER(ctypes.c_uint)]
        # A window gone between its MapNotify and the look at its size is
        # an error reply; Xlib's default handler would end this script.
        self._ignore = _ErrorHandler(lambda display, event: 0)
        self.x.XSetErrorHandler.argtypes = [_ErrorHandler]
        self.x.XSetErrorHandler.restype = ctypes.c_void_p
        self.x.XSetErrorHandler(self._ignore)
        self.display = self.x.XOpenDisplay(display.encode())
        if not self.display:
            raise h.HarnessError(f"cannot open display {display}")
        self.root = self.x.XDefaultRootWindow(self.display)
        self.x.XSelectInput(self.display, self.root, SUBSTRUCTURE_NOTIFY_MASK)
        self.x.XFlush(self.display)
        self.fd = self.x.XConnectionNumber(self.display)
        self._event = (ctypes.c_ulong * 24)()

    def close(self):
        self.x.XCloseDisplay(self.display)

    def size(self, window):
        root, x, y = _Window(), ctypes.c_int(), ctypes.c_int()
        width, height, border, depth = (ctypes.c_uint() for _ in range(4))
        if not self.x.XGetGeometry(self.display, window, ctypes.byref(root), ctypes.byref(x),
                                   ctypes.byref(y), ctypes.byref(width), ctypes.byref(height),
                                   ctypes.byref(border), ctypes.byref(depth)):
            return None
        return width.value, height.value

    def children(self, window):
        root, parent = _Window(), _Window()
        children, count = ctypes.POINTER(_Window)(), ctypes.c_uint()
        if not self.x.XQueryTree(self.display, window, ctypes.byref(root), ctypes.byref(parent),
                                 ctypes.byref(children), ctypes.byref(count)):
            return []
        found = [children[i] for i in range(count.value)]
        if children:
            self.x.XFree(children)
        return found

    def holds(self, window, size, depth=3):
        """Whether `window`, or a window inside it (a client in its frame), has `size`."""
        if self.size(window) == size:
            return True
        return depth > 0 and any(self.holds(child, size, depth - 1)
                                 for child in self.children(window))

    def drain(self):
        while self.x.XPending(self.display):
            self.x.XNextEvent(self.display, self._event)

    def wait_map(self, size, process, timeout):
        """The monotonic time at which a window of `size` was mapped."""
        deadline = time.monotonic() + timeout
        while True:
            while self.x.XPending(self.display):
                self.x.XNextEvent(self.display, self._event)
                arrived = time.monotonic_ns()
                # XMapEvent: type, serial, send_event, display, event, window.
                if self._event[0] & 0xFFFFFFFF == MAP_NOTIFY and \
                        self.holds(self._event[5], size):
                    return arrived
            if process.poll() is not None:
                raise h.HarnessError(f"{process.args[0]} exited with {process.returncode}")
            left = deadline - time.monotonic()
            if left <= 0:
                raise h.HarnessError(f"no {size[0]}x{size[1]} window within {timeout} s")
            select.select([self.fd], [], [], min(left, 0.1))


def time_start(session, watcher, name, argv, timeout=30):
    """Ms from spawning `argv` to its switch-sized window being mapped."""
    watcher.drain()
    started = time.monotonic_ns()
    process = session.spawn(name, argv)
    try:
        shown = watcher.wait_map(h.SWITCH_SIZE, process, timeout)
    except h.HarnessError as error:
        raise h.HarnessError(f"{error}\n{session.log_tail(name)}") from None
    finally:
        session.stop(process)
    return (shown - started) / 1e6


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the tremolo executable")
    parser.add_argument("--bare", help="bare_qt_window (beside the build's bench folder "
                                       "when not given)")
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    bare = os.path.abspath(args.bare or os.path.join(
        os.path.dirname(os.path.dirname(program)), "bench", "bare_qt_window"))
    for path in (program, bare):
        if not os.access(path, os.X_OK):
            raise h.HarnessError(f"{path} is not there; build it first")

    times = {"program": [], "bare": []}
    with h.Session() as session:
        installed = session.install_program(program)
        folder = os.path.dirname(installed)
        watcher = MapWatcher(session.display)
        try:
            # Taken in turns, so a change in the machine's load falls on both.
            for _ in range(args.runs):
                for name in os.listdir(folder):
                    if name.lower() == SETTINGS_FILE:
                        os.remove(os.path.join(folder, name))
                times["program"].append(time_start(session, watcher, "tremolo", [installed]))
                times["bare"].append(time_start(session, watcher, "bare_qt_window", [bare]))
        finally:
            watcher.close()

    program_ms = statistics.median(times["program"])
    bare_ms = statistics.median(times["bare"])
    print(f"startup_ms: {program_ms:.1f}")
    print(f"startup_vs_bare_qt_ratio: {program_ms / bare_ms:.2f}")
    for name, values in times.items():
        print(f"{name}: median {statistics.median(values):.1f} ms, min {min(values):.1f}, "
              f"max {max(values):.1f} over {len(values)} starts", file=sys.stderr)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (h.HarnessError, subprocess.CalledProcessError, OSError) as error:
        print(f"startup_bench: {error}", file=sys.stderr)
        sys.exit(1)
