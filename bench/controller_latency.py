#!/usr/bin/env python3
"""How fast the real program answers a game controller, against the keys.

    controller_latency.py --program PATH [--recorder PATH] [--presses 20]

Runs the program as bench/press_latency.py does (a private X and sound
server, a 1 kHz sine as the melody), with its virtual game controller
(TREMLO_VIRTUAL_CONTROLLER, input/controllers.h) bound to ON and OFF
in [Input], and presses ON by turns from the keyboard and from the
controller, each followed by OFF the same way. Prints on standard output:

    press_to_sound_ms: median from the ON key event to the melody's first
                       recorded sample, the baseline
    controller_to_sound_ms: the same from the controller's button
    controller_minus_press_ms: the second median less the first
    controller_vs_press_ratio: the second median over the first

The controller's start is a CLOCK_MONOTONIC stamp taken just before the
button's byte is written to the FIFO; from there the byte wakes the
program's loop, goes to SDL as the virtual joystick's button and comes back
as SDL's joystick event, the way a real joystick's evdev event does. The end
is the recorder's stamp, as in press_latency.py.
"""

import argparse
import os
import statistics
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


def controller_press(controller, recording):
    pressed = time.monotonic_ns()
    controller.send("A")
    ms = (latency.onset_stamp(recording, pressed) - pressed) / 1e6
    controller.send("a")
    time.sleep(0.35)
    pressed = time.monotonic_ns()
    controller.send("B")
    latency.silence_stamp(recording, pressed)
    controller.send("b")
    return ms


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the tremolo executable")
    parser.add_argument("--recorder", help="e2e_recorder (compiled here when not given)")
    parser.add_argument("--presses", type=int, default=20)
    args = parser.parse_args()

    keyboard, controlled = [], []
    with h.Session() as session:
        recorder = h.find_recorder(args.recorder and os.path.abspath(args.recorder),
                                   session.folder)
        melody = session.path("tone.wav")
        h.write_tone_wave(melody, latency.TONE_HZ)
        controller = h.VirtualController(session)
        bindings = {"OnInput": controller.binding(0), "OffInput": controller.binding(1)}
        with h.running_program(session, os.path.abspath(args.program), melody, latency.SETTINGS,
                               {"Input": bindings}, controller.env) as program:
            switch = program.wait_window(name="tone.wav - " + h.TITLE)
            switch.activate()
            recording = session.start_recording(recorder)
            keys = h.XTestKeys(session)
            for _ in range(args.presses):
                keyboard.append(latency.timed_press(keys, recording)[0])
                time.sleep(0.3)
                controlled.append(controller_press(controller, recording))
                time.sleep(0.3)
            keys.close()
            controller.close()
            recording.stop()

    press_ms = statistics.median(keyboard)
    controller_ms = statistics.median(controlled)
    print(f"press_to_sound_ms: {press_ms:.1f}")
    print(f"controller_to_sound_ms: {controller_ms:.1f}")
    print(f"controller_minus_press_ms: {controller_ms - press_ms:.1f}")
    print(f"controller_vs_press_ratio: {controller_ms / press_ms:.2f}")
    print(f"over {len(keyboard)} presses each: keys min {min(keyboard):.1f}, max "
          f"{max(keyboard):.1f}; controller min {min(controlled):.1f}, max "
          f"{max(controlled):.1f}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (h.HarnessError, subprocess.CalledProcessError) as error:
        print(f"controller_latency: {error}", file=sys.stderr)
        sys.exit(1)
