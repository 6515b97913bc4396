#!/usr/bin/env python3
"""How fast the real program answers the keys, heard through a null sink.

    press_latency.py --program PATH [--recorder PATH] [--presses 20]
                     [--server pulseaudio|pipewire] [--idle-seconds 60]

Runs the program in a private X and sound server (tests/e2e/harness.py) with
a 1 kHz sine as its melody and presses ON from the keyboard, then OFF, again
and again. The server is PulseAudio, or PipeWire's pulse server with
--server pipewire (TREMLO_SOUND_SERVER); on PipeWire every figure's name
begins with "pipewire_". Prints on standard output:

    press_to_sound_ms: median from the ON key event to the melody's first
                       recorded sample
    press_to_sound_sdl_ms: the same with the program on SDL's output
                       (TREMLO_AUDIO=sdl), run after it: the baseline
    press_to_sound_vs_sdl_ratio: the first over the second
    period_frames:     the period the program ended with (the last it
                       reported)
    release_to_silence_ms: median from the OFF key event to the first
                       recorded sample of silence
    release_to_silence_sdl_ms: the same on SDL's output
    press_over_ambience_ms, release_over_ambience_ms: the same two medians
                       with an ambience looping all the while (a 100 Hz hum
                       too quiet to be taken for the melody or to hide its
                       end), as the station's ambience loops by default
    press_over_ambience_vs_press_ratio, release_over_ambience_vs_release_ratio:
                       each over its figure with nothing sounding
    press_after_rest_ms: the first median with 3 s of quiet before each press,
                       long enough for the program's stream to rest
    press_after_rest_vs_press_ratio: that over press_to_sound_ms
    period_after_idle_minute: the period, in frames, the program reported last
                       after `idle-seconds` of that ambience alone on an
                       otherwise idle machine, a recorder on the sink

and the spread and the context of the figures on standard error.

What the two measured figures include and leave out. The start is a
CLOCK_MONOTONIC stamp taken just before the key is sent to the X server
through XTest from this process (no helper program starts in between), so
the figures hold the X server's delivery of the key and everything after. The end is the stamp
the recorder puts on the 64-frame chunk that holds the sample: the moment
the recorder had the whole chunk, so up to one chunk (1.3 ms) after the
sample's own arrival. Nothing is subtracted: not that chunk granularity, not
the server's delivery from the null sink's monitor to the recorder (its
reported capture latency goes to standard error), and not the null sink's
rendering ahead of its clock, which a real sound card would add on top as
its own output latency.
"""

import argparse
import contextlib
import os
import re
import statistics
import subprocess
import sys
import time

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness as h  # noqa: E402

TONE_HZ = 1000
# The sine is written at half scale. A sample counts as the melody's from
# a tenth of that level on, and the melody as gone when a 1 ms block's 1 kHz
# content falls under a fiftieth of it.
LOUD = 0.05
GONE = 0.01
BLOCK = 48  # 1 ms: one whole period of the tone

# Only the melody sounds: no ambience, door announcement or switch click
# overlaps the onset or the end being timed.
SETTINGS = {"UseEnvir": "no", "Door": "no", "PlayClickSound": "no", "Noise": "no"}
REST_SECONDS = 3
HUM_HZ = 100
HUM_AMPLITUDE = 0.004

PERIOD_REPORT = re.compile(r"periods of (\d+) frames")


def reported_periods(session):
    """The periods the program reported on standard error, the last in use."""
    found = [int(frames) for frames in PERIOD_REPORT.findall(session.log_tail("tremolo", 1000))]
    if not found:
        raise h.HarnessError("the program reported no period")
    return found


def onset_stamp(recording, pressed):
    """The stamp of the melody's first loud sample after `pressed`."""
    found = recording.wait_for_tone(pressed, TONE_HZ, 0.25, block_frames=BLOCK * 10)
    first = recording.frame_at(pressed)
    start = max(first, found - BLOCK * 10)
    onset = recording.first_loud_frame(start, found + BLOCK * 20 - start, LOUD)
    if onset is None:
        raise h.HarnessError("the tone was found but no loud sample near it")
    return recording.stamp_of(onset)


def silence_stamp(recording, pressed):
    """The stamp of the first silent sample after the melody's last one."""
    quiet = recording.wait_for_silence(pressed, TONE_HZ, GONE, hold_frames=BLOCK * 200,
                                       block_frames=BLOCK)
    last = recording.last_loud_frame(quiet - 2 * BLOCK, 3 * BLOCK, GONE)
    return recording.stamp_of(quiet if last is None else last + 1)


def sink_input_latencies(session):
    text = session.run(["pactl", "list", "sink-inputs"], check=False)
    return [line.strip() for line in text.splitlines()
            if "Buffer Latency" in line or "Sink Latency" in line]


def shifted_key(keys, key, recording, stamp):
    """Ms from Shift+`key` to what `stamp` finds in the recording."""
    keys.keydown("shift")
    time.sleep(0.05)
    pressed = time.monotonic_ns()
    keys.keydown(key)
    ms = (stamp(recording, pressed) - pressed) / 1e6
    keys.keyup(key)
    keys.keyup("shift")
    return ms


def timed_press(keys, recording):
    """Ms from Shift+A to the melody, then from Shift+Z to silence."""
    on_ms = shifted_key(keys, "a", recording, onset_stamp)
    time.sleep(0.3)  # ON has locked; the melody goes on
    off_ms = shifted_key(keys, "z", recording, silence_stamp)
    return on_ms, off_ms


AMBIENCE = dict(SETTINGS, UseEnvir="yes")


@contextlib.contextmanager
def running(session, program, melody, settings):
    """The program, as h.running_program starts it, with a quiet hum in place
    of the bundled ambience."""
    installed = session.install_program(program, settings)
    h.write_tone_wave(os.path.join(os.path.dirname(installed), "envir.wav"), HUM_HZ,
                      amplitude=HUM_AMPLITUDE)
    started = session.start_program(installed, melody)
    try:
        yield started
        started.check_alive()
    finally:
        session.stop(started.process)


def measure(session, recorder, program, presses, settings=None, rest_seconds=0.0):
    """Presses and releases timed in one run of the program, and what it
    reported of its output."""
    press, release = [], []
    melody = session.path("tone.wav")
    h.write_tone_wave(melody, TONE_HZ)
    with running(session, program, melody, settings or SETTINGS) as started:
        switch = started.wait_window(name="tone.wav - " + h.TITLE)
        switch.activate()
        recording = session.start_recording(recorder)
        keys = h.XTestKeys(session)
        for _ in range(presses):
            time.sleep(rest_seconds)
            on_ms, off_ms = timed_press(keys, recording)
            press.append(on_ms)
            release.append(off_ms)
            time.sleep(0.3)
        streams = sink_input_latencies(session)
        periods = reported_periods(session)
        keys.close()
        recording.stop()
        capture_us = recording.capture_latency_note()
    return press, release, periods, streams, capture_us


def period_lines(session):
    return [line for line in session.log_tail("tremolo", 1000).splitlines()
            if PERIOD_REPORT.search(line)]


def period_after_idle(session, recorder, program, seconds):
    """The periods the program reports in `seconds` of its ambience alone,
    and the lines it reported them with."""
    melody = session.path("tone.wav")
    h.write_tone_wave(melody, TONE_HZ)
    before = len(period_lines(session))
    with running(session, program, melody, AMBIENCE) as started:
        started.wait_window(name="tone.wav - " + h.TITLE)
        recording = session.start_recording(recorder)
        time.sleep(seconds)
        lines = period_lines(session)[before:]
        recording.stop()
    if not lines:
        raise h.HarnessError("the program reported no period")
    return [int(PERIOD_REPORT.search(line).group(1)) for line in lines], lines


def load_note():
    with open("/proc/loadavg") as f:
        return f"load average {' '.join(f.read().split()[:3])} on {os.cpu_count()} processors"


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the tremolo executable")
    parser.add_argument("--recorder", help="e2e_recorder (compiled here when not given)")
    parser.add_argument("--presses", type=int, default=20)
    parser.add_argument("--pulse-latency-msec", type=int,
                        help="PULSE_LATENCY_MSEC for the program (unset otherwise)")
    parser.add_argument("--server", choices=("pulseaudio", "pipewire"),
                        help="the sound server (TREMLO_SOUND_SERVER, else PulseAudio)")
    parser.add_argument("--idle-seconds", type=float, default=60)
    args = parser.parse_args()
    if args.server:
        os.environ["TREMLO_SOUND_SERVER"] = args.server
    server = os.environ.get("TREMLO_SOUND_SERVER") or "pulseaudio"
    prefix = "" if server == "pulseaudio" else server + "_"
    if args.recorder:
        args.recorder = os.path.abspath(args.recorder)
    program = os.path.abspath(args.program)

    with h.Session() as session:
        recorder = h.find_recorder(args.recorder, session.folder)
        if args.pulse_latency_msec is not None:
            session.env["PULSE_LATENCY_MSEC"] = str(args.pulse_latency_msec)
        load_before = load_note()
        press, release, periods, streams, capture_us = measure(session, recorder, program,
                                                               args.presses)
        hum_press, hum_release, hum_periods, _, _ = measure(
            session, recorder, program, args.presses, AMBIENCE)
        rest_press, _, rest_periods, _, _ = measure(session, recorder, program, args.presses,
                                                    rest_seconds=REST_SECONDS)
        idle_periods, idle_lines = period_after_idle(session, recorder, program,
                                                     args.idle_seconds)
        session.env["TREMLO_AUDIO"] = "sdl"
        sdl_press, sdl_release, sdl_periods, _, _ = measure(session, recorder, program,
                                                            args.presses)
        rate = session.sink_rate()

    pulse_msec = args.pulse_latency_msec or 0
    median = statistics.median
    figures = [
        ("press_to_sound_ms", f"{median(press):.1f}"),
        ("press_to_sound_sdl_ms", f"{median(sdl_press):.1f}"),
        ("press_to_sound_vs_sdl_ratio", f"{median(press) / median(sdl_press):.2f}"),
        ("period_frames", periods[-1]),
        ("release_to_silence_ms", f"{median(release):.1f}"),
        ("release_to_silence_sdl_ms", f"{median(sdl_release):.1f}"),
        ("press_over_ambience_ms", f"{median(hum_press):.1f}"),
        ("press_over_ambience_vs_press_ratio", f"{median(hum_press) / median(press):.2f}"),
        ("release_over_ambience_ms", f"{median(hum_release):.1f}"),
        ("release_over_ambience_vs_release_ratio",
         f"{median(hum_release) / median(release):.2f}"),
        ("press_after_rest_ms", f"{median(rest_press):.1f}"),
        ("press_after_rest_vs_press_ratio", f"{median(rest_press) / median(press):.2f}"),
        ("period_after_idle_minute", idle_periods[-1]),
    ]
    for name, value in figures:
        print(f"{prefix}{name}: {value}")
    for name, presses, releases, reported in (("server stream", press, release, periods),
                                              ("over the ambience", hum_press, hum_release,
                                               hum_periods),
                                              ("after a rest", rest_press, release,
                                               rest_periods),
                                              ("SDL", sdl_press, sdl_release, sdl_periods)):
        print(f"{name}: press_to_sound_ms over {len(presses)} presses: min {min(presses):.1f}, "
              f"max {max(presses):.1f}; release_to_silence_ms: min {min(releases):.1f}, "
              f"max {max(releases):.1f}; periods reported, in turn: "
              f"{', '.join(map(str, reported))}", file=sys.stderr)
    print(f"{server}: in {args.idle_seconds:.0f} s of ambience alone: "
          f"{' / '.join(line.strip() for line in idle_lines)}; {load_before} before, "
          f"{load_note()} after", file=sys.stderr)
    print(f"server rate {rate} Hz; PULSE_LATENCY_MSEC {pulse_msec or 'unset'}; "
          f"the program's stream: "
          f"{'; '.join(streams) or 'not listed'}", file=sys.stderr)
    print(f"recorder capture latency as the server reports it: "
          f"{'unknown' if capture_us is None else f'{capture_us} us'} (not subtracted)",
          file=sys.stderr)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (h.HarnessError, subprocess.CalledProcessError) as error:
        print(f"press_latency: {error}", file=sys.stderr)
        sys.exit(1)
