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
    press_to_sound_p95_ms: the 95th percentile of the same presses
    period_frames:     the period the program ended with (the last it
                       reported)
    graph_quantum_frames: on PipeWire's own output, the frames its graph
                       pulled a cycle during those presses (the last the
                       program reported): the shortest quantum any node
                       asks for, the recorder's too
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
    press_after_suspend_ms: the first median once the sink had suspended
                       before each press: a second server whose sink
                       suspends after a second with nothing playing, as
                       desktops' do, recorded by a reader that lets it sleep
                       (e2e_recorder --let-suspend)
    start_lost_after_suspend_ms: median of how much of the melody's start
                       is missing from those recordings: the melody there is
                       the sine with one-period gaps at 10, 30, 60, 100, ...
                       ms, whose spacings tell the point of the melody the
                       first sound came from
    sink_before_press_after_suspend: the sink's state (pactl) just before
                       each of those presses, with how many presses saw it
    start_lost_while_running_ms: the same as start_lost_after_suspend_ms for a
                       press a moment after each of those, the sink running:
                       what a press loses without a suspension. Both count
                       from the first sample loud enough to be the melody's,
                       a frame into a sine that starts at zero: 0.02 ms when
                       nothing is lost

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
import array
import contextlib
import math
import os
import re
import statistics
import subprocess
import sys
import time
import wave

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
QUANTUM_REPORT = re.compile(r"the graph pulls (\d+) frames a cycle")

SUSPEND_IDLE_SECONDS = 1
# A gap is one whole period of the tone, from a zero crossing, so it makes
# no click; the n-th (n from 1) begins 5 n (n + 1) ms into the melody, so
# that the spacing of any two neighbours names them.
MARKS = 15
GAP_LEVEL = LOUD / 2
# Longer than any run of quiet samples a zero crossing of the tone makes.
GAP_MIN_FRAMES = BLOCK // 2
# Enough of the melody after its first sound to hold the marks that place it.
MARKED_SPAN_SECONDS = 1.5


def mark_frame(n):
    return 5 * n * (n + 1) * BLOCK


def write_marked_tone(path, seconds=2.0, amplitude=0.5):
    """The 1 kHz sine at half scale with the gaps that mark its start."""
    frames = int(seconds * h.RATE)
    scale = amplitude * 32767
    data = array.array("h", (int(round(scale * math.sin(2 * math.pi * TONE_HZ * n / h.RATE)))
                             for n in range(frames)))
    for n in range(1, MARKS + 1):
        start = mark_frame(n)
        data[start:start + BLOCK] = array.array("h", bytes(2 * BLOCK))
    if sys.byteorder != "little":
        data.byteswap()
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(h.RATE)
        out.writeframes(data.tobytes())


def gap_starts(recording, frame, count):
    """The first frames of the runs of quiet samples long enough to be gaps."""
    starts, run = [], 0
    for index in range(frame, min(frame + count, len(recording.mono))):
        if abs(recording.mono[index]) < GAP_LEVEL:
            run += 1
            if run == GAP_MIN_FRAMES:
                starts.append(index - run + 1)
        else:
            run = 0
    return starts


def melody_position_ms(gaps, onset):
    """Where in the marked melody the sound heard from `onset` began, in ms,
    from the first two gaps after it; None when their spacing is no
    neighbours', and whether the third gap is where the first two put it."""
    if len(gaps) < 2:
        return None, False
    spacing = round((gaps[1] - gaps[0]) / (10 * BLOCK))
    n = spacing - 1
    if not 1 <= n < MARKS or abs(gaps[1] - gaps[0] - (mark_frame(n + 1) - mark_frame(n))) > BLOCK:
        return None, False
    position = mark_frame(n) - (gaps[0] - onset)
    whole = len(gaps) < 3 or n + 2 > MARKS or \
        abs(gaps[2] - gaps[1] - (mark_frame(n + 2) - mark_frame(n + 1))) <= BLOCK
    return position * 1000 / h.RATE, whole


def reported_periods(session):
    """The periods the program reported on standard error, the last in use."""
    found = [int(frames) for frames in PERIOD_REPORT.findall(session.log_tail("tremolo", 1000))]
    if not found:
        raise h.HarnessError("the program reported no period")
    return found


def onset_frame(recording, pressed):
    """The melody's first loud sample after `pressed`."""
    found = recording.wait_for_tone(pressed, TONE_HZ, 0.25, block_frames=BLOCK * 10)
    first = recording.frame_at(pressed)
    start = max(first, found - BLOCK * 10)
    onset = recording.first_loud_frame(start, found + BLOCK * 20 - start, LOUD)
    if onset is None:
        raise h.HarnessError("the tone was found but no loud sample near it")
    return onset


def onset_stamp(recording, pressed):
    """The stamp of the melody's first loud sample after `pressed`."""
    return recording.stamp_of(onset_frame(recording, pressed))


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


def wait_for_sink(session, state, timeout):
    """The sink's state once it is `state`, or at the time-out."""
    deadline = time.monotonic() + timeout
    seen = session.sink_state()
    while seen != state and time.monotonic() < deadline:
        time.sleep(0.1)
        seen = session.sink_state()
    return seen


def marked_press(keys, recording):
    """Ms from Shift+A to the sound, the ms of the marked melody's start
    missing (None when the marks could not place it) and whether the marks
    after it were in place; then Shift+Z."""
    keys.keydown("shift")
    time.sleep(0.05)
    pressed = time.monotonic_ns()
    keys.keydown("a")
    onset = onset_frame(recording, pressed)
    press_ms = (recording.stamp_of(onset) - pressed) / 1e6
    keys.keyup("a")
    keys.keyup("shift")
    recording.follow_until(recording.stamp_of(onset) + int(MARKED_SPAN_SECONDS * 1e9))
    lost_ms, whole = melody_position_ms(
        gap_starts(recording, onset, int(MARKED_SPAN_SECONDS * h.RATE)), onset)
    shifted_key(keys, "z", recording, silence_stamp)
    return press_ms, lost_ms, whole


def measure_after_suspend(session, recorder, program, presses):
    """Presses once the sink slept, as (ms to the sound, ms of the melody's
    start missing or None, the sink's state before); the ms missing from
    presses with the sink running, a moment after each, to compare; and how
    many recordings had the marks out of place after the start."""
    suspended, running_lost, broken = [], [], 0
    melody = session.path("marked.wav")
    write_marked_tone(melody)
    with running(session, program, melody, SETTINGS) as started:
        switch = started.wait_window(name="marked.wav - " + h.TITLE)
        switch.activate()
        recording = session.start_recording(recorder, let_suspend=True)
        keys = h.XTestKeys(session)
        for _ in range(presses):
            # The program's stream rests after 2 s of quiet; the sink
            # suspends a second after that.
            state = wait_for_sink(session, "SUSPENDED",
                                  REST_SECONDS + SUSPEND_IDLE_SECONDS + 10)
            time.sleep(0.2)
            press_ms, lost_ms, whole = marked_press(keys, recording)
            suspended.append((press_ms, lost_ms, state))
            time.sleep(0.3)
            _, awake_ms, awake_whole = marked_press(keys, recording)
            running_lost.append(awake_ms)
            broken += (lost_ms is not None and not whole) + (awake_ms is not None and
                                                              not awake_whole)
        keys.close()
        recording.stop()
    return suspended, [ms for ms in running_lost if ms is not None], broken


def state_summary(states):
    return ", ".join(f"{state} ({states.count(state)} of {len(states)})"
                     for state in sorted(set(states), key=str))


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
        quanta = QUANTUM_REPORT.findall(session.log_tail("tremolo", 1000))
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
    with h.Session(suspend_idle_seconds=SUSPEND_IDLE_SECONDS) as session:
        recorder = h.find_recorder(args.recorder, session.folder)
        if args.pulse_latency_msec is not None:
            session.env["PULSE_LATENCY_MSEC"] = str(args.pulse_latency_msec)
        suspended, running_lost, broken = measure_after_suspend(session, recorder, program,
                                                                args.presses)

    pulse_msec = args.pulse_latency_msec or 0
    suspend_press = [r[0] for r in suspended]
    lost = [r[1] for r in suspended if r[1] is not None]
    median = statistics.median
    figures = [
        ("press_to_sound_ms", f"{median(press):.1f}"),
        ("press_to_sound_p95_ms",
         f"{statistics.quantiles(press, n=20, method='inclusive')[-1]:.1f}"),
        ("press_to_sound_sdl_ms", f"{median(sdl_press):.1f}"),
        ("press_to_sound_vs_sdl_ratio", f"{median(press) / median(sdl_press):.2f}"),
        ("period_frames", periods[-1]),
        ("graph_quantum_frames", quanta[-1] if quanta else "not reported (a pulse stream)"),
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
        ("press_after_suspend_ms", f"{median(suspend_press):.1f}"),
        ("start_lost_after_suspend_ms",
         f"{median(lost):.1f}" if lost else "no recording could be placed"),
        ("sink_before_press_after_suspend", state_summary([r[2] for r in suspended])),
        ("start_lost_while_running_ms",
         f"{median(running_lost):.1f}" if running_lost else "no recording could be placed"),
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
    print(f"after the sink suspended: press_to_sound_ms min {min(suspend_press):.1f}, max "
          f"{max(suspend_press):.1f}; start_lost_ms, in turn: "
          f"{', '.join('?' if ms is None else f'{ms:.1f}' for _, ms, _ in suspended)}; "
          f"{broken} recordings with the marks out of place after the start; with the sink "
          f"running: {', '.join(f'{ms:.1f}' for ms in running_lost)}", file=sys.stderr)
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
