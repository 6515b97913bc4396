#!/usr/bin/env python3
"""Recording what the real program plays, beside a recording of the sink.

    recording_test.py --program PATH [--recorder PATH] --case NAME

The program runs with --record while this test's own recorder listens to the
sound server: the file must hold the same tone in the same place, for as
long, with no gap, and run as long as the program did. A disk that refuses
the file ends the recording with a message while the program plays on.
"""

import array
import os
import re
import signal
import struct
import sys
import time

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
import station as s  # noqa: E402
from station import check, stamp  # noqa: E402

TONE_HZ = 1000
TONE_PRESENT = 0.25
TONE_ABSENT = 0.005
QUIET_STATION = {"UseEnvir": "no", "Door": "no"}
# 1 ms blocks: whole periods of the tone, fine enough to place an edge.
BLOCK = 48
# The longest period the program plays in (see docs/audio-periods.md).
LONGEST_PERIOD = 1024


def read_float_wave(path):
    """Mono samples of a float stereo WAVE; fails unless its header is right."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:4] == b"RIFF" and data[8:12] == b"WAVE", "the recording is no WAVE file")
    check(struct.unpack_from("<I", data, 4)[0] == len(data) - 8,
          "the RIFF size does not match the file: the header was not finished")
    at = 12
    while at + 8 <= len(data):
        name, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
        if name == b"data":
            check(at + 8 + size == len(data), "the data size does not match the file")
            samples = array.array("f", data[at + 8:at + 8 + size])
            return array.array("f", ((samples[i] + samples[i + 1]) * 0.5
                                     for i in range(0, len(samples) - 1, 2)))
        at += 8 + size + (size & 1)
    raise s.Failure("the recording has no data chunk")


def tone_edges(amplitude, frames, start=0):
    """First block with the tone, and the first block after it from which the
    tone stays away for a second; each as a frame."""
    onset = next(f for f in range(start, frames - BLOCK, BLOCK)
                 if amplitude(f) >= TONE_PRESENT)
    quiet = None
    for f in range(onset, frames - BLOCK, BLOCK):
        if amplitude(f) >= TONE_ABSENT:
            quiet = None
        elif quiet is None:
            quiet = f
        if quiet is not None and f - quiet >= h.RATE:
            return onset, quiet
    raise s.Failure("the tone did not stop for a second")


def goertzel(mono):
    probe = h.Recording.__new__(h.Recording)
    probe.mono = mono
    return lambda frame: h.Recording.tone_amplitude(probe, frame, BLOCK, TONE_HZ)


def start_recording_program(session, args, output, file_blocks=None):
    """The program recording to OUTPUT; with FILE_BLOCKS (of 512 bytes),
    every file it writes stops growing there with EFBIG, as on a full disk,
    without a mount to make."""
    melody = session.path("tone.wav")
    h.write_tone_wave(melody, TONE_HZ)
    installed = session.install_program(args.program, QUIET_STATION)
    argv = [installed, "--record", output, melody]
    if file_blocks is not None:
        # Ignored by the shell, the signal stays ignored in the program it
        # becomes (Python's own child would have it back at its default).
        argv = ["sh", "-c", f"ulimit -f {file_blocks}; trap '' XFSZ; exec \"$0\" \"$@\""] + argv
    process = session.spawn("tremolo", argv)
    program = h.Program(session, process)
    program.switch_window()
    return program


def play_tone(session, recording, seconds):
    keys = h.Input(session)
    pressed = stamp()
    keys.keydown("shift+a")
    recording.wait_for_tone(pressed, TONE_HZ, TONE_PRESENT)
    keys.keyup("shift+a")
    time.sleep(seconds)
    pressed = stamp()
    keys.keydown("shift+z")
    recording.wait_for_silence(pressed, TONE_HZ, TONE_ABSENT, hold_frames=h.RATE)
    keys.keyup("shift+z")


def case_live(session, args):
    """The file against the sink: same tone, same length, no gap."""
    output = session.path("take.wav")
    program = start_recording_program(session, args, output)
    started = stamp()
    recording = session.start_recording(args.recorder)
    play_tone(session, recording, 2.0)
    recording.follow_until(stamp())
    program.process.send_signal(signal.SIGTERM)
    check(s.wait_exit(session, program) == 0, "the program did not end cleanly on SIGTERM")
    ended = stamp()
    recording.stop()

    taken = read_float_wave(output)
    file_on, file_off = tone_edges(goertzel(taken), len(taken))
    live = goertzel(recording.mono)
    live_on, live_off = tone_edges(live, len(recording.mono))
    h.log(f"tone {file_off - file_on} frames in the file, {live_off - live_on} at the sink")
    check(abs((file_off - file_on) - (live_off - live_on)) <= LONGEST_PERIOD + 2 * BLOCK,
          f"the tone lasts {file_off - file_on} frames in the file and "
          f"{live_off - live_on} at the sink")
    # A gap is a weak block with the tone back after it; the tone's own
    # decay after OFF is none.
    amplitude = goertzel(taken)
    levels = [amplitude(f) for f in range(file_on, file_off, BLOCK)]
    last_strong = max(i for i, level in enumerate(levels) if level >= TONE_PRESENT)
    weak = [file_on + i * BLOCK for i in range(last_strong) if levels[i] < TONE_PRESENT]
    check(not weak, f"the file's tone has {len(weak)} gaps, the first at frame {weak[:1]}")
    # The file runs from start-up to the signal: at least as long as the
    # sink was heard, at most as long as the program ran.
    seconds = len(taken) / h.RATE
    check(seconds >= (recording.end_stamp() - recording.stamps[0]) / 1e9 - 0.1,
          f"the file holds {seconds:.2f} s, less than the sink heard: quiet was left out")
    check(seconds <= (ended - started) / 1e9 + 30,
          f"the file holds {seconds:.2f} s, more than the program ran")


def case_full_disk(session, args):
    """A file the disk refuses: a message, no part of the file, and the
    melody plays on."""
    output = session.path("full.wav")
    # Three seconds of float WAVE; the program's other files stay smaller.
    program = start_recording_program(session, args, output, file_blocks=2048)
    h.wait_until(lambda: re.search(r"recording stopped: .*too large",
                                   session.log_tail("tremolo", 200)), 20,
                 "the program to say the disk is full", alive=program.process)
    check(not os.path.exists(output), "a part of the recording is left")
    recording = session.start_recording(args.recorder)
    play_tone(session, recording, 0.5)
    program.check_alive()
    program.process.send_signal(signal.SIGTERM)
    check(s.wait_exit(session, program) == 0, "the program did not end cleanly on SIGTERM")


CASES = {
    "live": case_live,
    "full_disk": case_full_disk,
}


def main():
    return s.run_cases(__doc__, CASES)


if __name__ == "__main__":
    sys.exit(main())
