#!/usr/bin/env python3
"""How long a step to the next platform of a station set takes.

    station_step.py --program PATH [--recorder PATH] [--rounds 3]

Runs the real program under a private X and sound server
(tests/e2e/harness.py) on a station set of twelve platforms whose melodies
are 20 s sines, WAVE and MP3 by turns, each at a frequency of its own, with
AutoPlayAtDrop on so that a step plays the new melody as soon as it is
loaded. Shift+Right runs along the set and Shift+Left back, `rounds` times.
Prints on standard output:

    station_step_ms: median from the Shift+Right or Shift+Left key event to
                     the first recorded sample of the new platform's melody
    station_step_wav_ms: the same for the steps onto a WAVE melody
    station_step_mp3_ms: the same for the steps onto an MP3 melody

The key goes to the X server through XTest from this process, stamped just
before; the end is the recorder's stamp, so the figures hold the output and
capture path as bench/press_latency.py's press_to_sound_ms does: compare
with it for the cost of the step itself.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import harness as h  # noqa: E402
import station as s  # noqa: E402

SETTINGS = {"UseEnvir": "No", "Door": "No", "AutoPlayAtDrop": "Yes"}
PLATFORMS = [(f"p{n:02}.{'wav' if n % 2 == 0 else 'mp3'}", 600 + 100 * n) for n in range(12)]
SECONDS = 20.0
AMPLITUDE = 0.25


def write_set(session):
    folder = session.path("pack")
    os.makedirs(folder)
    for name, frequency in PLATFORMS:
        path = os.path.join(folder, name)
        if name.endswith(".wav"):
            h.write_tone_wave(path, frequency, SECONDS, AMPLITUDE)
        else:
            h.write_tone_sound(path, "mp3", frequency, SECONDS, AMPLITUDE)
    platforms = [{"name": f"{n + 1}番線", "melody": name} for n, (name, _) in
                 enumerate(PLATFORMS)]
    path = os.path.join(folder, "bench.stations.json")
    with open(path, "w", encoding="utf-8") as f:
        json.dump({"tremolo-stations": 1, "lines": [{"name": "測定線", "stations": [
            {"name": "測定", "platforms": platforms}]}]}, f, ensure_ascii=False)
    return path


def step(keys, recording, arrow, frequency):
    """Ms from the key to the new melody's onset."""
    keys.keydown("shift")
    pressed = time.monotonic_ns()
    keys.keydown(arrow)
    keys.keyup(arrow)
    keys.keyup("shift")
    heard = recording.wait_for_tone(pressed, frequency, AMPLITUDE * 0.8)
    frame = s.onset(recording, pressed, recording.stamp_of(heard) + 20_000_000, frequency,
                    AMPLITUDE)
    if frame is None:
        raise h.HarnessError(f"no onset of {frequency} Hz")
    # Lets the step's load settle before the next one.
    time.sleep(0.3)
    return (recording.stamp_of(frame) - pressed) / 1e6


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the tremolo executable")
    parser.add_argument("--recorder", help="e2e_recorder (compiled here when not given)")
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    steps = {"wav": [], "mp3": []}
    try:
        with h.Session() as session:
            recorder = h.find_recorder(args.recorder and os.path.abspath(args.recorder),
                                       session.folder)
            with h.running_program(session, os.path.abspath(args.program),
                                   write_set(session), SETTINGS) as program:
                program.switch_window().activate()
                recording = session.start_recording(recorder)
                keys = h.XTestKeys(session)
                try:
                    order = list(range(1, len(PLATFORMS))) + list(range(len(PLATFORMS) - 2,
                                                                        -1, -1))
                    for _ in range(args.rounds):
                        at = 0
                        for index in order:
                            arrow = "Right" if index > at else "Left"
                            name, frequency = PLATFORMS[index]
                            steps[name[-3:]].append(step(keys, recording, arrow, frequency))
                            at = index
                finally:
                    keys.close()
                recording.stop()
    except (h.HarnessError, OSError, subprocess.SubprocessError) as error:
        print(f"station_step: {error}", file=sys.stderr)
        return 1
    every = steps["wav"] + steps["mp3"]
    print(f"station_step_ms: {statistics.median(every):.1f}")
    for kind in ("wav", "mp3"):
        print(f"station_step_{kind}_ms: {statistics.median(steps[kind]):.1f}")
    print(f"over {len(every)} steps: min {min(every):.1f}, max {max(every):.1f} ms")
    return 0


if __name__ == "__main__":
    sys.exit(main())
