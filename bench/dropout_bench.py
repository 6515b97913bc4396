#!/usr/bin/env python3
"""Whether the real program's sound stays whole on a busy machine.

    dropout_bench.py --program PATH [--recorder PATH] [--seconds 60]
                     [--busy 2] [--period FRAMES]

Runs the program in a private X and sound server (tests/e2e/harness.py) with
a 1 kHz sine as its melody, starts `--busy` processes that spin without
pause (one per core of a two-core machine), presses ON and lets the melody
loop for `--seconds`. Prints on standard output:

    dropouts:       gaps of silence in the recorded melody
    period_frames:  the SDL period the program ended with
    late_periods:   the underruns the program had counted when it last
                    re-opened with a longer period (it reports none at
                    the longest, where it stays)

A dropout is a run of at least GAP_SAMPLES samples in a row at digital
silence: the sine is written over whole cycles, so it is never silent for
more than one sample, and a stream the sound server found empty is filled
with exact zeros. `--period` starts the program at that period (through
TREMLO_PERIOD_FRAMES, or SDL_AUDIO_SAMPLES with --sdl); without it the
program picks its own.
"""

import argparse
import os
import re
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness as h  # noqa: E402

TONE_HZ = 1000
SETTINGS = {"UseEnvir": "no", "Door": "no", "PlayClickSound": "no", "Noise": "no"}
SILENT = 1e-4
GAP_SAMPLES = 3
# Recorded in fragments of a desktop sink's size: with the recorder's closest
# ones (64 frames) the null sink itself made gaps on a quiet machine.
FRAGMENT_FRAMES = 1024
# The melody's onset and its end are left out of the count.
MARGIN_SECONDS = 0.5


def find_gaps(samples):
    """(first frame, length in frames) of every run of silence."""
    gaps, run = [], 0
    for at, value in enumerate(samples):
        if -SILENT < value < SILENT:
            run += 1
        else:
            if run >= GAP_SAMPLES:
                gaps.append((at - run, run))
            run = 0
    if run >= GAP_SAMPLES:
        gaps.append((len(samples) - run, run))
    return gaps


def press(keys, key):
    keys.keydown("shift")
    time.sleep(0.05)
    keys.keydown(key)
    keys.keyup(key)
    keys.keyup("shift")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the tremolo executable")
    parser.add_argument("--recorder", help="e2e_recorder (compiled here when not given)")
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--busy", type=int, default=2, help="processes spinning meanwhile")
    parser.add_argument("--period", type=int, help="the period the program starts with")
    parser.add_argument("--sdl", action="store_true",
                        help="the program on SDL's output (TREMLO_AUDIO=sdl), to compare")
    args = parser.parse_args()
    if args.recorder:
        args.recorder = os.path.abspath(args.recorder)

    busy = []
    with h.Session() as session:
        recorder = h.find_recorder(args.recorder, session.folder)
        if args.period:
            session.env["SDL_AUDIO_SAMPLES" if args.sdl else "TREMLO_PERIOD_FRAMES"] = str(
                args.period)
        if args.sdl:
            session.env["TREMLO_AUDIO"] = "sdl"
        melody = session.path("tone.wav")
        h.write_tone_wave(melody, TONE_HZ)
        try:
            for _ in range(args.busy):
                busy.append(session.spawn("busy", ["sh", "-c", "while :; do :; done"]))
            with h.running_program(session, os.path.abspath(args.program), melody,
                                   SETTINGS) as program:
                switch = program.wait_window(name="tone.wav - " + h.TITLE)
                switch.activate()
                recording = session.start_recording(recorder, FRAGMENT_FRAMES)
                keys = h.XTestKeys(session)
                started = time.monotonic_ns()
                press(keys, "a")
                onset = recording.wait_for_tone(started, TONE_HZ, 0.25)
                time.sleep(args.seconds)
                ended = time.monotonic_ns()
                press(keys, "z")
                recording.follow_until(ended)
                keys.close()
                recording.stop()
                log = session.log_tail("tremolo", 1000)
        finally:
            for process in busy:
                session.stop(process)

    margin = int(MARGIN_SECONDS * h.RATE)
    first = onset + margin
    last = recording.frame_at(ended) - margin
    periods = re.findall(r"periods of (\d+) frames", log)
    late = re.findall(r"(\d+) late periods", log)
    gaps = find_gaps(recording.mono[first:last])
    print(f"dropouts: {len(gaps)}")
    print(f"period_frames: {periods[-1] if periods else 'not reported'}")
    print(f"late_periods: {late[-1] if late else 0}")
    print(f"{(last - first) / h.RATE:.1f} s of melody counted, {args.busy} busy processes; "
          f"periods the program reported: {', '.join(periods) or 'none'}", file=sys.stderr)
    for at, length in gaps:
        print(f"  gap at {(at + margin) / h.RATE:.3f} s into the melody: "
              f"{length * 1000 / h.RATE:.1f} ms", file=sys.stderr)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (h.HarnessError, subprocess.CalledProcessError) as error:
        print(f"dropout_bench: {error}", file=sys.stderr)
        sys.exit(1)
