#!/usr/bin/env python3
"""The windows' language under a locale: English under an English locale,
Japanese under a Japanese one and under C, with the same program and files.

    languages_test.py --program PATH [--recorder PATH] --case en|ja|c

Each case reads the titles of the windows a user meets first: the
load-failure box, the switch, the shortcut menu, the playback-speed window
and the options dialog. Under English no title holds a Japanese character.
"""

import os
import re
import sys

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
import station as s  # noqa: E402
from station import check  # noqa: E402

JAPANESE = {"error": "トレモロ エラー", "switch": "トレモロ", "melody": "tone.wav - トレモロ",
            "menu": "ショートカット メニュー", "speed": "再生速度", "options": "オプション"}
ENGLISH = {"error": "Tremolo Error", "switch": "Tremolo", "melody": "tone.wav - Tremolo",
           "menu": "Shortcut Menu", "speed": "Playback Speed", "options": "Options"}
# LANG for each case and the titles it shows.
LOCALES = {"en": ("en_US.UTF-8", ENGLISH), "ja": ("ja_JP.UTF-8", JAPANESE), "c": ("C", JAPANESE)}
KANA_OR_KANJI = re.compile("[\u3000-\u30ff\u4e00-\u9fff\uff00-\uffef]")


def check_titles(program, english):
    """No window of the program has a Japanese title under English."""
    if english:
        japanese = [title for title in program.windows().values() if KANA_OR_KANJI.search(title)]
        check(not japanese, f"Japanese window titles under English: {japanese}")


def in_locale(session, args, case):
    lang, titles = LOCALES[case]
    english = titles is ENGLISH
    env = dict(session.env, LANG=lang)
    for name in ("LANGUAGE", "LC_ALL", "LC_MESSAGES"):
        env.pop(name, None)
    installed = s.install_station(session, args.program, {"UseEnvir": "No", "Door": "No"})
    keys = h.Input(session)

    # A file that is no sound: the load-failure box, then the bare switch.
    bad = session.path("x.wav")
    with open(bad, "w") as f:
        f.write("not a sound\n" * 20)
    program = session.start_program(installed, bad, env=env)
    box = program.wait_window(name=titles["error"])
    check_titles(program, english)
    box.activate()
    keys.tap("Return")
    switch = program.switch_window()
    check(switch.name() == titles["switch"], f"the switch window is titled {switch.name()!r}")
    session.stop(program.process)

    # A melody: its title, then the shortcut menu and the windows it opens.
    program = session.start_program(installed, s.write_melody(session), env=env)
    switch = program.wait_window(name=titles["melody"])
    # 開く and オプション share their access key: the second press reaches
    # オプション, and Return chooses it.
    for access_keys, window in ((["s"], "speed"), (["o", "o", "Return"], "options")):
        switch.activate()
        s.open_shortcut_menu(program, switch, keys)
        program.wait_window(name=titles["menu"])
        check_titles(program, english)
        for key in access_keys:
            keys.xdotool("key", key)
        opened = program.wait_window(name=titles[window])
        check_titles(program, english)
        opened.activate()
        keys.tap("Escape")
        h.wait_until(lambda: titles[window] not in program.windows().values(), 20,
                     f"the {window} window to close on Escape", alive=program.process)
    program.check_alive()
    session.stop(program.process)


CASES = {case: (lambda session, args, case=case: in_locale(session, args, case))
         for case in LOCALES}


def main():
    return s.run_cases(__doc__, CASES)


if __name__ == "__main__":
    sys.exit(main())
