#!/usr/bin/env python3
"""The shortcut menu of the real program, chosen by keyboard, and what its
commands do to the sound.

    menus_test.py --program PATH [--recorder PATH] --case NAME

The menu opens on a right click on the switch's body; its items are chosen
by their access keys, as a user does with the keyboard.
"""

import os
import sys
import time

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
import station as s  # noqa: E402
from station import check, stamp  # noqa: E402

# Nothing but the melody: no ambience, no announcement after OFF.
QUIET_STATION = {"UseEnvir": "No", "Door": "No"}
SETTINGS_KEYS = 25
SPEED_WINDOW = "再生速度"
# The speed slider's steps are thirds of a semitone; +6 is a whole tone.
TOP_SPEED_RATIO = 2 ** (6 / 36)
# The melody at full volume comes back at its own level; "silent" is 40 dB
# under that.
SILENT = s.MELODY_AMPLITUDE / 100


def melody_program(session, args, settings=QUIET_STATION):
    installed = s.install_station(session, args.program, settings)
    program = session.start_program(installed, s.write_melody(session))
    switch = program.wait_window(name="tone.wav - " + h.TITLE)
    switch.activate()
    return program, switch


def start_melody(session, args, keys):
    recording = session.start_recording(args.recorder)
    pressed = stamp()
    keys.tap("shift+a")
    recording.wait_for_tone(pressed, s.MELODY_HZ, s.MELODY_AMPLITUDE * 0.8)
    return recording


def pitch(recording, first=None, seconds=0.6):
    """The melody's frequency over `seconds` from frame `first` (from now when
    not given)."""
    if first is None:
        recording.follow_until(stamp())
        first = len(recording.mono)
    count = int(seconds * h.RATE)
    h.wait_until(lambda: recording.update() and len(recording.mono) >= first + count, 30,
                 "the recording to catch up", alive=recording.process)
    return s.frequency_of(recording.mono[first:first + count])


def channel_levels(recording, start, seconds=0.5):
    """The melody's amplitude on the left and the right over `seconds` from `start`."""
    recording.follow_until(start + int(seconds * 1e9))
    left, right = s.stereo(recording, recording.frame_at(start), int(seconds * h.RATE))
    return s.goertzel(left, s.MELODY_HZ), s.goertzel(right, s.MELODY_HZ)


def settled_levels(recording, since, wanted, timeout=5.0, seconds=0.5):
    """The channel levels of the first whole window after `since` that shows
    what `wanted` asks, or of the last one tried when none does by `timeout`:
    a loaded machine may take a while to carry out a menu choice, and a window
    that straddles the change shows neither layout."""
    start = since
    while True:
        levels = channel_levels(recording, start, seconds)
        start += int(seconds * 1e9)
        if wanted(*levels) or start - since > timeout * 1e9:
            return levels


# ---- cases -------------------------------------------------------------------

def case_exit(session, args):
    """終了 by keyboard ends the program, its settings saved: all the keys,
    the ones read from the file as they were. The menu is opened by keyboard
    too, with Shift+F10."""
    kept = {"Noise": "Yes", "DoorDelay": "900", "DoorWAV": "ブザー.wav", "TopMost": "No"}
    program = session.start_program(s.install_station(session, args.program, kept))
    folder = os.path.realpath(os.path.dirname(program.process.args[0]))
    switch = program.switch_window()
    keys = h.Input(session)
    switch.activate()
    before = s.visible_windows(program)
    keys.tap("shift+F10")
    h.wait_until(lambda: s.visible_windows(program) - before, 10,
                 "the shortcut menu to open on Shift+F10", alive=program.process)
    s.choose(program, keys, "x")
    code = s.wait_exit(session, program)
    check(code == 0, f"the program ended with {code} after 終了")
    section, entries = s.read_settings_file(folder)
    check(section == s.SECTION, f"the settings file begins {section!r}")
    check(len(entries) == SETTINGS_KEYS and len(dict(entries)) == SETTINGS_KEYS,
          f"the settings file has {len(entries)} keys: {[k for k, _ in entries]}")
    changed = {key: dict(entries).get(key) for key, value in kept.items()
               if dict(entries).get(key) != value}
    check(not changed, f"settings changed on the way through the program: {changed}")


def case_speed(session, args):
    """再生速度 at +6 (End on its slider) raises the melody by 2^(6/36)."""
    program, switch = melody_program(session, args)
    keys = h.Input(session)
    recording = start_melody(session, args, keys)
    base = pitch(recording)
    h.log(f"melody at {base:.3f} Hz")
    check(abs(base / s.MELODY_HZ - 1) <= 0.001, f"the melody plays at {base:.3f} Hz")

    s.open_shortcut_menu(program, switch, keys)
    s.choose(program, keys, "s")
    speed = program.wait_window(name=SPEED_WINDOW)
    speed.activate()
    moved = stamp()
    keys.xdotool("key", "End")
    # The new speed is measured once it is heard: a loaded machine may take a
    # while to deliver the key, and a window that straddled the change would
    # average the two pitches.
    block = 960  # 20 ms: the two pitches fall in different bins
    heard = recording.wait_for_tone(moved, base * TOP_SPEED_RATIO, s.MELODY_AMPLITUDE * 0.8,
                                    block_frames=block)
    raised = pitch(recording, heard + block)
    ratio = raised / base
    h.log(f"at +6: {raised:.3f} Hz, {ratio:.6f} times (expected {TOP_SPEED_RATIO:.6f})")
    check(abs(ratio / TOP_SPEED_RATIO - 1) <= 0.001,
          f"the speed at +6 plays {ratio:.6f} times as high, not {TOP_SPEED_RATIO:.6f}")
    recording.stop()
    program.check_alive()
    session.stop(program.process)


def case_pan(session, args):
    """振り分け: 左 and 右 put the melody on one channel, 中央 on both."""
    program, switch = melody_program(session, args)
    keys = h.Input(session)
    recording = start_melody(session, args, keys)
    faults = []
    for access_key, where in (("l", "左"), ("r", "右"), ("c", "中央")):
        s.open_shortcut_menu(program, switch, keys)
        chosen = stamp()
        s.choose(program, keys, "p", access_key)
        loud = s.MELODY_AMPLITUDE * 0.9
        wanted = {"l": lambda left, right: left >= loud and right < SILENT,
                  "r": lambda left, right: right >= loud and left < SILENT,
                  "c": lambda left, right: left >= loud and right >= loud}[access_key]
        left, right = settled_levels(recording, chosen, wanted)
        h.log(f"{where}: left {left:.4f}, right {right:.4f}")
        if not wanted(left, right):
            faults.append(f"{where}: left {left:.4f}, right {right:.4f}")
    check(not faults, "the melody is not where the pan puts it: " + "; ".join(faults))
    recording.stop()
    program.check_alive()
    session.stop(program.process)


def case_shelf(session, args):
    """A playlist named on the command line becomes the shelf: Shift+Right and
    Shift+Left step along it, each entry heard at its own pitch (a key held
    until it repeats steps once), and after 終了 the program starts again on
    the same playlist and entry."""
    station = dict(QUIET_STATION, AutoPlayAtDrop="Yes")
    installed = s.install_station(session, args.program, station)
    pitches = {"a.wav": 1000, "b.wav": 1250, "c.wav": 1500}
    os.makedirs(session.path("line"))
    for name, frequency in pitches.items():
        h.write_tone_wave(session.path("line", name), frequency, 2.0, s.MELODY_AMPLITUDE)
    playlist = session.path("line.m3u8")
    with open(playlist, "w", encoding="utf-8") as f:
        f.write("#EXTM3U\n" + "".join(f"#EXTINF:2,{n}\nline/{n}\n" for n in pitches))

    program = session.start_program(installed, playlist)
    switch = program.wait_window(name="a.wav - " + h.TITLE)
    switch.activate()
    keys = h.Input(session)
    recording = session.start_recording(args.recorder)
    heard = []
    shown = "a.wav"
    for key, hold, name in ((None, 0, "a.wav"), ("shift+Right", 1.5, "b.wav"),
                            ("shift+Right", 0.1, "c.wav"), ("shift+Left", 0.1, "b.wav")):
        stepped = stamp()
        if key:
            # Every name the switch shows while the key is down, repeating.
            seen = set()
            keys.keydown(key)
            until = time.monotonic() + hold
            while time.monotonic() < until:
                seen.add(switch.name().removesuffix(" - " + h.TITLE))
                time.sleep(0.05)
            keys.keyup(key)
            h.wait_until(lambda: switch.name() == name + " - " + h.TITLE, 10,
                         f"the switch to name {name} after {key}")
            check(seen <= {shown, name}, f"{key} held {hold} s stepped through {sorted(seen)}")
            shown = name
        block = 960
        onset = recording.wait_for_tone(stepped, pitches[name], s.MELODY_AMPLITUDE * 0.8,
                                        block_frames=block)
        heard.append((name, pitch(recording, onset + block, seconds=0.3)))
    h.log("heard " + ", ".join(f"{name} at {hz:.1f} Hz" for name, hz in heard))
    wrong = [name for name, hz in heard if abs(hz / pitches[name] - 1) > 0.002]
    check(not wrong, f"entries heard at the wrong pitch: {heard}")
    recording.stop()

    folder = os.path.realpath(os.path.dirname(installed))
    s.open_shortcut_menu(program, switch, keys)
    s.choose(program, keys, "x")
    check(s.wait_exit(session, program) == 0, "the program did not end after 終了")
    with open(os.path.join(folder, s.SETTINGS_FILE), encoding="utf-8") as f:
        text = f.read()
    program_part, _, shelf_part = text.partition("[Shelf]")
    keys_before = [line for line in program_part.splitlines()[1:] if "=" in line]
    check(len(keys_before) == SETTINGS_KEYS,
          f"the program's section has {len(keys_before)} keys, not {SETTINGS_KEYS}")
    check("Position=2" in shelf_part.split(), f"the shelf section reads {shelf_part!r}")

    again = session.start_program(installed)
    switch = again.wait_window(name="b.wav - " + h.TITLE)
    switch.activate()
    recording = session.start_recording(args.recorder)
    stepped = stamp()
    keys.tap("shift+Right")
    recording.wait_for_tone(stepped, pitches["c.wav"], s.MELODY_AMPLITUDE * 0.8)
    recording.stop()
    again.check_alive()
    session.stop(again.process)


CASES = {
    "exit": case_exit,
    "shelf": case_shelf,
    "speed": case_speed,
    "pan": case_pan,
}


def main():
    return s.run_cases(__doc__, CASES)


if __name__ == "__main__":
    sys.exit(main())
