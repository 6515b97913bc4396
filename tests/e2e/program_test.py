#!/usr/bin/env python3
"""The real program, driven by keys and the mouse and heard through a sink.

    program_test.py --program PATH [--recorder PATH] --case NAME
    program_test.py --program PATH [--recorder PATH] --screenshot OUT.png [--english]

Each case starts its own X and sound servers (harness.Session) and its own
program, with a melody made here so the checks know exactly what to hear:
a 1 kHz sine WAVE (or the same sine in an MP3, Ogg, Opus or FLAC file), or
a MIDI file (or a segment made from one) holding one
organ note.
"""

import argparse
import os
import subprocess
import sys
import time

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
from station import Failure, check, ms, stamp  # noqa: E402

TONE_HZ = 1000
# The sine is written at half scale and comes back at that level when the
# melody plays at full volume; "absent" is 40 dB under it.
TONE_PRESENT = 0.25
TONE_ABSENT = 0.005
ORGAN_NOTE = 69
# The station's ambience and the spoken door announcement both reach 1 kHz
# (the announcement at a fifth of the melody's level): off, so that the
# checks hear the melody alone. The switch click stays.
QUIET_STATION = {"UseEnvir": "no", "Door": "no"}


def tone_program(session, args, name="tone.wav", sections=None):
    melody = session.path(name)
    h.write_tone_wave(melody, TONE_HZ)
    return h.running_program(session, args.program, melody, QUIET_STATION, sections)


def expect_no_tone(recording, start, seconds, frequency=TONE_HZ, what="the melody"):
    recording.follow_until(start + int(seconds * 1e9))
    blocks = recording.tone_blocks(start, start + int(seconds * 1e9), frequency, 480)
    check(blocks, "the recording has no frames for the quiet stretch")
    loudest = max(amplitude for _, amplitude in blocks)
    check(loudest < TONE_ABSENT, f"{what} sounded ({frequency} Hz at {loudest:.3f})")


def expect_tone_holds(recording, start, seconds, frequency=TONE_HZ, level=TONE_PRESENT):
    """The tone sounds through the stretch and still at its end.

    A block or two may drop out while another job loads the machine (the
    sound server then plays silence): that is logged, not failed, since the
    melody going on is what is checked here.
    """
    recording.follow_until(start + int(seconds * 1e9))
    blocks = recording.tone_blocks(start, start + int(seconds * 1e9), frequency, 480)
    check(blocks, "the recording has no frames for the stretch")
    weak = sum(1 for _, amplitude in blocks if amplitude < level)
    # At the end, two of the last three blocks: one may be such a dropout.
    ending = [amplitude for _, amplitude in blocks[-3:]]
    check(sum(1 for amplitude in ending if amplitude >= level) >= 2 and weak * 4 < len(blocks),
          f"the melody stopped: {weak} of {len(blocks)} 10 ms blocks under {level} at "
          f"{frequency} Hz, the last three at {', '.join(f'{a:.3f}' for a in ending)}")
    if weak:
        h.log(f"note: {weak} of {len(blocks)} 10 ms blocks dropped out")


def expect_stops(recording, pressed):
    """The tone goes after `pressed` and stays away for a whole second."""
    quiet = recording.wait_for_silence(pressed, TONE_HZ, TONE_ABSENT, hold_frames=h.RATE)
    h.log(f"melody silent {ms(recording.stamp_of(quiet) - pressed)} after OFF")


def key_region(image):
    return image.region(*h.ON_KEY)


def picture_change(window, reference, what, alive=None):
    """The window's next grab whose ON key differs from `reference`."""
    def changed():
        image = window.grab()
        return image if image.differing_pixels(reference, h.ON_KEY) else None
    return h.wait_until(changed, 10, what, alive=alive)


# ---- cases -------------------------------------------------------------------

def case_wave_keys(session, args):
    """Load from the command line, then ON and OFF from the keyboard."""
    with tone_program(session, args) as program:
        switch = program.wait_window(name="tone.wav - " + h.TITLE)
        check(switch.geometry()[2:] == h.SWITCH_SIZE, f"switch window is {switch.geometry()}")
        program.panel_window()
        # Start-up ends with the switch window active, the panel beside it
        # shown without taking the focus: the keys work at once.
        h.wait_until(
            lambda: session.run(["xdotool", "getactivewindow"], check=False).strip() == switch.id,
            10, "the switch window to be active after start-up")
        recording = session.start_recording(args.recorder)
        keys = h.Input(session)

        # Without Shift, Ctrl or Alt a key does nothing.
        pressed = stamp()
        keys.tap("a")
        expect_no_tone(recording, pressed, 1.0)

        pressed = stamp()
        keys.keydown("shift+a")
        onset = recording.wait_for_tone(pressed, TONE_HZ, TONE_PRESENT)
        h.log(f"melody sounding {ms(recording.stamp_of(onset + 479) - pressed)} after Shift+A")
        keys.keyup("shift+a")
        # ON locks: the melody goes on without the key.
        expect_tone_holds(recording, stamp() + 100_000_000, 0.5)

        pressed = stamp()
        keys.keydown("shift+z")
        expect_stops(recording, pressed)
        keys.keyup("shift+z")
        recording.stop()


def case_controller(session, args):
    """ON and OFF from a game controller bound in [Input]: the program's
    virtual one, whose button takes SDL's joystick event path."""
    melody = session.path("tone.wav")
    h.write_tone_wave(melody, TONE_HZ)
    controller = h.VirtualController(session)
    bindings = {"OnInput": controller.binding(0), "OffInput": controller.binding(1)}
    with h.running_program(session, args.program, melody, QUIET_STATION, {"Input": bindings},
                           controller.env) as program:
        program.wait_window(name="tone.wav - " + h.TITLE)
        recording = session.start_recording(args.recorder)
        pressed = stamp()
        controller.send("A")
        onset = recording.wait_for_tone(pressed, TONE_HZ, TONE_PRESENT)
        h.log(f"melody sounding {ms(recording.stamp_of(onset + 479) - pressed)} after button 0")
        controller.send("a")
        expect_tone_holds(recording, stamp() + 100_000_000, 0.5)
        pressed = stamp()
        controller.send("B")
        expect_stops(recording, pressed)
        controller.send("b")
        controller.close()
        recording.stop()


def case_mouse_on(session, args):
    """A button press on the ON key sounds the melody and shows the key down."""
    with tone_program(session, args) as program:
        switch = program.wait_window(name="tone.wav - " + h.TITLE)
        x, y, _, _ = switch.geometry()
        recording = session.start_recording(args.recorder)
        keys = h.Input(session)
        on_x, on_y, on_w, on_h = h.ON_KEY
        keys.move(x + on_x + on_w // 2, y + on_y + on_h // 2)
        time.sleep(0.3)
        idle = switch.grab()
        check(idle.width == h.SWITCH_SIZE[0] and idle.height == h.SWITCH_SIZE[1],
              f"grabbed {idle.width}x{idle.height}")

        pressed = stamp()
        keys.xdotool("mousedown", "1")
        recording.wait_for_tone(pressed, TONE_HZ, TONE_PRESENT)
        held = picture_change(switch, idle, "the ON key to show pressed")
        keys.xdotool("mouseup", "1")
        h.log(f"ON key: {held.differing_pixels(idle, h.ON_KEY)} of {on_w * on_h} pixels "
              "changed while held")
        expect_tone_holds(recording, stamp() + 100_000_000, 0.5)
        locked = switch.grab()
        check(locked.differing_pixels(idle, h.ON_KEY), "the locked ON key looks like an idle one")

        switch.activate()
        pressed = stamp()
        keys.tap("shift+z")
        expect_stops(recording, pressed)
        h.wait_until(lambda: key_region(switch.grab()) == key_region(idle), 10,
                     "the ON key to come back up after OFF")
        recording.stop()


def case_global_keys(session, args):
    """The system-wide keys work ON and OFF while another program's window
    has the keyboard."""
    keys_section = {"Input": {"GlobalOnKey": "Shift+A", "GlobalOffKey": "Shift+Z"}}
    with tone_program(session, args, sections=keys_section) as program:
        program.wait_window(name="tone.wav - " + h.TITLE)
        program.panel_window()
        session.spawn("xmessage", ["xmessage", "-name", "other", "another program"])
        other = h.wait_until(
            lambda: session.run(["xdotool", "search", "--onlyvisible", "--classname", "other"],
                                check=False).split(), 10, "the other program's window")[0]
        h.Window(session, other).activate()
        focus = session.run(["xdotool", "getwindowfocus"]).strip()
        check(focus not in program.windows(), f"the program's window {focus} has the keyboard")
        recording = session.start_recording(args.recorder)
        keys = h.Input(session)

        pressed = stamp()
        keys.tap("shift+a")
        recording.wait_for_tone(pressed, TONE_HZ, TONE_PRESENT)
        pressed = stamp()
        keys.tap("shift+z")
        expect_stops(recording, pressed)
        recording.stop()


def case_drag(session, args):
    """Left drags move the window by the drag's distance each time: the
    switch from its background and from its grip, the panel from its face."""
    with tone_program(session, args) as program:
        switch = program.wait_window(name="tone.wav - " + h.TITLE)
        panel = program.panel_window()
        keys = h.Input(session)
        faults = []
        # The panel's drag starts at the first move with the left button
        # alone (a right button joining it must stop it), and the window
        # manager may move the window only from there: up to one step of
        # the ten may be lost.
        for window, where, (grab_x, grab_y), (dx, dy), slack in (
                (switch, "the switch's background", (5, 50), (120, 80), 0),
                (switch, "the switch's grip", (24, 8), (-60, 45), 0),
                (panel, "the panel's face", (460, 6), (-100, 150), 0.1)):
            x, y, _, _ = window.geometry()
            keys.drag((x + grab_x, y + grab_y), (x + grab_x + dx, y + grab_y + dy))

            def followed():
                moved_x, moved_y = window.geometry()[0] - x, window.geometry()[1] - y
                return (abs(moved_x - dx) <= abs(dx) * slack and
                        abs(moved_y - dy) <= abs(dy) * slack and
                        abs(moved_x) <= abs(dx) and abs(moved_y) <= abs(dy) and
                        (moved_x, moved_y) != (0, 0))
            try:
                h.wait_until(followed, 10, f"the window to follow the drag from {where}")
                h.log(f"drag from {where}: window moved by "
                      f"({window.geometry()[0] - x}, {window.geometry()[1] - y})")
            except h.HarnessError:
                moved_x, moved_y = window.geometry()[:2]
                faults.append(f"dragged by ({dx}, {dy}) from {where}, the window moved by "
                              f"({moved_x - x}, {moved_y - y})")
        check(not faults, "; ".join(faults))


def case_midi(session, args):
    """A MIDI melody named on the command line plays its note on ON."""
    melody = session.path("organ.mid")
    h.write_held_note_midi(melody, ORGAN_NOTE)
    held_note_on_and_off(session, args, melody)


def case_segment(session, args):
    """A DirectMusic segment named on the command line plays its note on ON.

    The segment is make_segment's from the MIDI melody, on performance
    channel 16 and up, so the note reaches the synthesizer past its first
    sixteen channels."""
    check(args.segment_maker, "--segment-maker is needed for this case")
    source = session.path("organ-source.mid")
    h.write_held_note_midi(source, ORGAN_NOTE)
    melody = session.path("organ.sgt")
    subprocess.run([args.segment_maker, "--channel-offset", "16", source, melody], check=True)
    held_note_on_and_off(session, args, melody)


def held_note_on_and_off(session, args, melody):
    pitch = h.note_frequency(ORGAN_NOTE)
    below, above = h.note_frequency(ORGAN_NOTE - 1), h.note_frequency(ORGAN_NOTE + 1)
    with h.running_program(session, args.program, melody, QUIET_STATION) as program:
        switch = program.wait_window(name=os.path.basename(melody) + " - " + h.TITLE)
        switch.activate()
        recording = session.start_recording(args.recorder)
        keys = h.Input(session)
        expect_no_tone(recording, stamp(), 0.5, pitch, "a note before ON")

        pressed = stamp()
        keys.tap("shift+a")
        # 100 ms blocks hold whole periods of the note (44 of A4).
        onset = recording.wait_for_tone(pressed, pitch, 0.01, block_frames=4800)
        h.log(f"note sounding {ms(recording.stamp_of(onset + 4799) - pressed)} after Shift+A")
        start = onset + 4800
        recording.follow_until(recording.stamp_of(onset) + 1_300_000_000)
        frames = h.RATE
        at_pitch = recording.tone_amplitude(start, frames, pitch)
        beside = max(recording.tone_amplitude(start, frames, below),
                     recording.tone_amplitude(start, frames, above))
        h.log(f"{pitch:.0f} Hz at {at_pitch:.4f}, a semitone away at most {beside:.4f}")
        check(at_pitch >= 4 * beside, "the note is not at its pitch")

        pressed = stamp()
        keys.tap("shift+z")
        quiet = recording.wait_for_silence(pressed, pitch, 0.002, hold_frames=h.RATE // 2,
                                           block_frames=4800)
        h.log(f"note gone {ms(recording.stamp_of(quiet) - pressed)} after OFF")
        recording.stop()


def case_compressed(session, args):
    """An MP3, an Ogg Vorbis, an Opus and a FLAC melody, each named on the
    command line, sound on ON and go on (looping) until OFF; the MP3 with no
    gap where it loops."""
    for kind in h.SOUND_FORMATS:
        name = "tone." + kind
        melody = session.path(name)
        h.write_tone_sound(melody, kind)
        with h.running_program(session, args.program, melody, QUIET_STATION) as program:
            switch = program.wait_window(name=name + " - " + h.TITLE)
            switch.activate()
            recording = session.start_recording(args.recorder)
            keys = h.Input(session)
            pressed = stamp()
            keys.tap("shift+a")
            onset = recording.wait_for_tone(pressed, TONE_HZ, TONE_PRESENT)
            h.log(f"{kind} sounding {ms(recording.stamp_of(onset + 479) - pressed)} after Shift+A")
            # Past the file's end: the loop goes on.
            expect_tone_holds(recording, stamp() + 100_000_000, 2.5)
            if kind == "mp3":
                # LAME's header gives the encoder's delay and padding: without
                # them the loop point would hold some 25 ms of silence.
                loop = recording.stamp_of(onset) + 2_000_000_000
                blocks = recording.tone_blocks(loop - 60_000_000, loop + 60_000_000, TONE_HZ, 480)
                weakest = min(amplitude for _, amplitude in blocks)
                check(weakest >= TONE_PRESENT / 2,
                      f"a gap at the MP3's loop point ({weakest:.3f})")
            pressed = stamp()
            keys.tap("shift+z")
            expect_stops(recording, pressed)
            recording.stop()


def not_a_sound(session, args, name, text):
    """A file that is no sound: the error box, then the program carries on."""
    path = session.path(name)
    with open(path, "w") as f:
        f.write(text)
    with h.running_program(session, args.program, path) as program:
        box = program.wait_window(name=h.ERROR_TITLE)
        box.activate()
        h.Input(session).tap("Return")
        h.wait_until(lambda: h.ERROR_TITLE not in program.windows().values(), 20,
                     "the error box to close on Return", alive=program.process)
        switch = program.switch_window()
        program.check_alive()
        check(switch.name() == h.TITLE, f"the switch window is titled {switch.name()!r}")

        # Still answering: ON from the keyboard moves the key's picture.
        switch.activate()
        idle = switch.grab()
        keys = h.Input(session)
        keys.keydown("shift+a")
        picture_change(switch, idle, "the ON key to answer Shift+A", alive=program.process)
        keys.keyup("shift+a")
        keys.tap("shift+z")


def case_text_named_wav(session, args):
    not_a_sound(session, args, "x.wav", "これは音ではありません\n" * 20)


def case_text_file(session, args):
    not_a_sound(session, args, "note.txt", "not a melody\n")


CASES = {
    "wave_keys": case_wave_keys,
    "controller": case_controller,
    "mouse_on": case_mouse_on,
    "global_keys": case_global_keys,
    "drag": case_drag,
    "midi": case_midi,
    "segment": case_segment,
    "compressed": case_compressed,
    "text_named_wav": case_text_named_wav,
    "text_file": case_text_file,
}


# ---- screenshot ----------------------------------------------------------------

def screenshot(session, args, output, margin=16, background="#d6d6d6"):
    """Both windows with a melody loaded and ON locked, on a plain ground,
    with the default settings; in the English windows with --english."""
    melody = session.path("tone.wav")
    h.write_tone_wave(melody, TONE_HZ)
    title = h.TITLE
    if args.english:
        session.env["LANG"] = "en_US.UTF-8"
        title = "Tremolo"
    with h.running_program(session, args.program, melody) as program:
        switch = program.wait_window(name="tone.wav - " + title)
        panel = program.panel_window()
        switch.activate()
        h.Input(session).tap("shift+a")
        time.sleep(1.0)  # the lamp and both pictures are drawn
        left = top = 1 << 30
        right = bottom = 0
        parts = []
        for window in (panel, switch):
            x, y, width, height = window.geometry()
            picture = session.path(f"window-{window.id}.png")
            window.save_png(picture)
            parts.append((picture, x, y))
            left, top = min(left, x), min(top, y)
            right, bottom = max(right, x + width), max(bottom, y + height)
        command = ["convert", "-size",
                   f"{right - left + 2 * margin}x{bottom - top + 2 * margin}",
                   f"xc:{background}"]
        for picture, x, y in parts:
            command += [picture, "-geometry", f"+{x - left + margin}+{y - top + margin}",
                        "-composite"]
        os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
        subprocess.run(command + ["-strip", os.path.abspath(output)], check=True)
        h.log(f"screenshot written to {output}")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the tremolo executable")
    parser.add_argument("--recorder", help="e2e_recorder (compiled here when not given)")
    what = parser.add_mutually_exclusive_group(required=True)
    what.add_argument("--case", choices=sorted(CASES))
    what.add_argument("--screenshot", metavar="PNG")
    parser.add_argument("--english", action="store_true", help="the screenshot in English")
    parser.add_argument("--segment-maker", help="make_segment, for the segment case")
    parser.add_argument("--keep", action="store_true", help="keep the logs and recordings")
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    if args.recorder:
        args.recorder = os.path.abspath(args.recorder)
    if args.segment_maker:
        args.segment_maker = os.path.abspath(args.segment_maker)
    with h.Session(keep_folder=args.keep) as session:
        try:
            args.recorder = h.find_recorder(args.recorder, session.folder)
            if args.screenshot:
                screenshot(session, args, args.screenshot)
            else:
                CASES[args.case](session, args)
        except (Failure, h.HarnessError, OSError, subprocess.SubprocessError) as error:
            print(f"FAILED: {error}", file=sys.stderr)
            print("--- the program's output:\n" + session.log_tail("tremolo"), file=sys.stderr)
            session.keep_folder = True  # the logs and recordings, for a look
            return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
