#!/usr/bin/env python3
"""A station set in the real program: each platform's own melody, door
announcement, ambience and volume, heard through a sink.

    stations_test.py --program PATH [--recorder PATH] --case NAME

Every sound of the set is a sine of its own frequency, apart from the fixed
sounds' (station.py), so one recording tells all of them apart.
"""

import json
import os
import sys

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
import settings_test as st  # noqa: E402
import station as s  # noqa: E402
from station import check, stamp  # noqa: E402

AMBIENCE_AMPLITUDE = 0.1
# The other platform's sounds, were they heard, would last most of a second
# at a tenth of full scale or more. A burst of late periods on a loaded
# machine (the device lengthening its period) clicks over every frequency
# for a few milliseconds at a time: in 10 ms blocks it reached 0.07 at a
# frequency nothing plays, held over three blocks. Measured over 100 ms
# blocks held for half a second, bursts of up to eight periods of silence
# of up to 1,024 frames within half a second of a tone stay under 0.01.
STRAY_BLOCK = 4800
STRAY_BLOCKS = 5
STRAY_LEVEL = AMBIENCE_AMPLITUDE / 4
# Two platforms, each with a melody, door and ambience at frequencies of
# their own; the second's melody is at half its level (6 dB down).
PLATFORMS = (
    {"name": "1番線", "melody": ("m1.wav", 1000), "door": ("d1.wav", 800),
     "ambience": ("a1.wav", 400), "volume": 100},
    {"name": "2番線", "melody": ("m2.wav", 1500), "door": ("d2.wav", 1100),
     "ambience": ("a2.wav", 500), "volume": 50},
)


def write_set(session):
    folder = session.path("pack")
    os.makedirs(folder)
    platforms = []
    for platform in PLATFORMS:
        for key, amplitude, seconds in (("melody", s.MELODY_AMPLITUDE, 2.0),
                                        ("door", s.DOOR[3], 1.0),
                                        ("ambience", AMBIENCE_AMPLITUDE, 2.0)):
            name, frequency = platform[key]
            h.write_tone_wave(os.path.join(folder, name), frequency, seconds, amplitude)
        platforms.append({"name": platform["name"], "melody": platform["melody"][0],
                          "door": platform["door"][0], "ambience": platform["ambience"][0],
                          "volume": {"melody": platform["volume"]}})
    path = os.path.join(folder, "test.stations.json")
    with open(path, "w", encoding="utf-8") as f:
        json.dump({"tremolo-stations": 1, "lines": [{"name": "試験線", "stations": [
            {"name": "試験", "platforms": platforms}]}]}, f, ensure_ascii=False)
    return path


def wait_platform(switch, platform):
    melody = platform["melody"][0]
    h.wait_until(lambda: switch.name().startswith(melody), 10, f"the switch to name {melody}")


def hear_platform(session, args, platform):
    """ON and OFF: the platform's melody at its volume, its ambience and,
    DoorDelay after OFF, its door; the other platform's sounds not at all.
    Returns the melody's level."""
    others = [p for p in PLATFORMS if p is not platform]
    recording = session.start_recording(args.recorder)
    started = stamp()
    recording.follow_until(started + 1_000_000_000)
    on, off = st.press_cycle(session)
    recording.follow_until(off + 2_500_000_000)
    melody_hz = platform["melody"][1]
    melody = s.steady_level(s.levels(recording, on + 300_000_000, off, melody_hz))
    ambience = s.sustained(recording, started, on, platform["ambience"][1])
    _, door_ms = st.door_onset(recording, off, platform["door"][1])
    strays = {hz: s.sustained(recording, started, off + 2_500_000_000, hz, STRAY_BLOCKS,
                              STRAY_BLOCK)
              for other in others for hz in (other["melody"][1], other["door"][1],
                                             other["ambience"][1])}
    recording.stop()
    h.log(f"{platform['name']}: melody {melody:.4f}, ambience {ambience:.4f}, "
          f"door after {door_ms:.1f} ms; others {strays}")
    expected = s.MELODY_AMPLITUDE * platform["volume"] / 100
    check(st.level_ok(melody, expected), f"{platform['name']}'s melody is at {melody:.4f}, "
          f"not {expected:.4f}")
    check(st.level_ok(ambience, AMBIENCE_AMPLITUDE),
          f"{platform['name']}'s ambience is at {ambience:.4f}, not {AMBIENCE_AMPLITUDE}")
    check(abs(door_ms - st.DOOR_AFTER_OFF_MS) <= st.TOLERANCE_MS,
          f"{platform['name']}'s door starts {door_ms:.1f} ms after OFF, not "
          f"{st.DOOR_AFTER_OFF_MS}")
    loud = {hz: level for hz, level in strays.items() if level > STRAY_LEVEL}
    check(not loud, f"the other platform's sounds play on {platform['name']}: {loud}")
    return melody


# ---- cases -------------------------------------------------------------------

def case_platforms(session, args):
    """A set of two platforms: ON/OFF on the first plays its melody,
    ambience and door; Shift+Right then ON/OFF the second's, its melody 6 dB
    down at volume 50; after 終了 the program starts again on the second."""
    installed = s.install_station(session, args.program)
    program = session.start_program(installed, write_set(session))
    switch = program.switch_window()
    wait_platform(switch, PLATFORMS[0])
    switch.activate()
    first = hear_platform(session, args, PLATFORMS[0])

    keys = h.Input(session)
    keys.tap("shift+Right")
    wait_platform(switch, PLATFORMS[1])
    second = hear_platform(session, args, PLATFORMS[1])
    drop = s.db(second / first)
    h.log(f"volume 50 is {drop:.2f} dB under volume 100")
    check(abs(drop + 6.02) <= 0.5, f"volume 50 is {drop:.2f} dB under volume 100, not 6.02")

    s.open_shortcut_menu(program, switch, keys)
    s.choose(program, keys, "x")
    check(s.wait_exit(session, program) == 0, "the program did not end after 終了")
    again = session.start_program(installed)
    switch = again.switch_window()
    wait_platform(switch, PLATFORMS[1])
    switch.activate()
    hear_platform(session, args, PLATFORMS[1])
    again.check_alive()
    session.stop(again.process)


CASES = {
    "platforms": case_platforms,
}


def main():
    return s.run_cases(__doc__, CASES)


if __name__ == "__main__":
    sys.exit(main())
