#!/usr/bin/env python3
"""What the real program costs at rest, against a bare Qt window, and how fast
it answers the first press after a rest.

    rest_bench.py --program PATH [--bare PATH] [--bare-loop PATH] [--seconds 30]
                  [--presses 5]

Runs the bare Qt window (bench/bare_qt_window) and then the program in a
private X and sound server (tests/e2e/harness.py), the program with a 1 kHz
sine as its melody and nothing else sounding (no ambience, door
announcement, click or noise). Prints on standard output:

    idle_cpu_percent: the program's processor time over `seconds` of rest,
                      in percent of one core, from /proc/PID/stat
    idle_cpu_bare_qt_percent: the same for the bare Qt window, the floor
    rss_mb: the program's resident memory at rest (VmRSS)
    rss_vs_bare_qt_ratio: that divided by the bare Qt window's
    press_to_sound_ms: median from the ON key event to the melody's first
                       recorded sample, pressed while the output runs
    press_after_idle_ms: the same, each press after 10 s of rest
    press_after_idle_vs_press_ratio: the second median over the first
    loop_cpu_percent: the program's processor time with only the ambience
                      (the bundled envir.wav) looping
    loop_cpu_vs_bare_sdl_ratio: that divided by bench/bare_sdl_loop's, which
                      loops the same file with the same period, buffering and
                      resampler

Both measurements are taken as bench/press_latency.py takes them; the first
is measured in the same run, as the baseline of the second. The rest starts
counting once the window has been up for 5 s, so that start-up (the SoundFont
loads in the background after the window is shown) is not inside it.
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

SETTLE_SECONDS = 5
REST_BEFORE_PRESS_SECONDS = 10


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime, fields 14 and 15 of the whole line.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    raise h.HarnessError("no VmRSS")


def cpu_percent(pid, seconds):
    start, started = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return 100 * (cpu_seconds(pid) - start) / (time.monotonic() - started)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the tremolo executable")
    parser.add_argument("--bare", help="bare_qt_window (beside the build's bench folder "
                        "when not given)")
    parser.add_argument("--bare-loop", help="bare_sdl_loop (beside bare_qt_window when "
                        "not given)")
    parser.add_argument("--recorder", help="e2e_recorder (compiled here when not given)")
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--presses", type=int, default=5)
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    bare = os.path.abspath(args.bare or os.path.join(
        os.path.dirname(os.path.dirname(program)), "bench", "bare_qt_window"))
    bare_loop = os.path.abspath(args.bare_loop or os.path.join(os.path.dirname(bare),
                                                               "bare_sdl_loop"))

    with h.Session() as session:
        recorder = h.find_recorder(args.recorder and os.path.abspath(args.recorder),
                                   session.folder)
        process = session.spawn("bare_qt_window", [bare])
        h.Program(session, process).wait_window(name="トレモロ")
        time.sleep(SETTLE_SECONDS)
        bare_cpu = cpu_percent(process.pid, args.seconds)
        bare_rss = rss_mb(process.pid)
        session.stop(process)

        melody = session.path("tone.wav")
        h.write_tone_wave(melody, latency.TONE_HZ)
        with h.running_program(session, program, melody, latency.SETTINGS) as started:
            switch = started.wait_window(name="tone.wav - " + h.TITLE)
            time.sleep(SETTLE_SECONDS)
            idle_cpu = cpu_percent(started.pid, args.seconds)
            program_rss = rss_mb(started.pid)

            switch.activate()
            recording = session.start_recording(recorder)
            keys = h.XTestKeys(session)
            awake = []
            for _ in range(args.presses * 2):
                awake.append(latency.timed_press(keys, recording)[0])
                time.sleep(0.3)
            after_idle = []
            for _ in range(args.presses):
                time.sleep(REST_BEFORE_PRESS_SECONDS)
                after_idle.append(latency.timed_press(keys, recording)[0])
            keys.close()
            recording.stop()

        ambience = dict(latency.SETTINGS, UseEnvir="yes")
        with h.running_program(session, program, melody, ambience) as started:
            started.wait_window(name="tone.wav - " + h.TITLE)
            time.sleep(SETTLE_SECONDS)
            loop_cpu = cpu_percent(started.pid, args.seconds)
        process = session.spawn("bare_sdl_loop", [bare_loop, session.path("program", "envir.wav")])
        time.sleep(SETTLE_SECONDS)
        bare_loop_cpu = cpu_percent(process.pid, args.seconds)
        if process.poll() is not None:
            raise h.HarnessError("bare_sdl_loop ended:\n" + session.log_tail("bare_sdl_loop"))
        session.stop(process)

    press_ms = statistics.median(awake)
    idle_ms = statistics.median(after_idle)
    print(f"idle_cpu_percent: {idle_cpu:.2f}")
    print(f"idle_cpu_bare_qt_percent: {bare_cpu:.2f}")
    print(f"rss_mb: {program_rss:.1f}")
    print(f"rss_vs_bare_qt_ratio: {program_rss / bare_rss:.2f}")
    print(f"press_to_sound_ms: {press_ms:.1f}")
    print(f"press_after_idle_ms: {idle_ms:.1f}")
    print(f"press_after_idle_vs_press_ratio: {idle_ms / press_ms:.2f}")
    print(f"loop_cpu_percent: {loop_cpu:.2f}")
    print(f"loop_cpu_vs_bare_sdl_ratio: {loop_cpu / bare_loop_cpu:.2f}")
    print(f"bare Qt window: {bare_rss:.1f} MB; bare SDL loop: {bare_loop_cpu:.2f} %; presses awake: min {min(awake):.1f}, "
          f"max {max(awake):.1f}; after rest: min {min(after_idle):.1f}, "
          f"max {max(after_idle):.1f}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (h.HarnessError, subprocess.CalledProcessError) as error:
        print(f"rest_bench: {error}", file=sys.stderr)
        sys.exit(1)
