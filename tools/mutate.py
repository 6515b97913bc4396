#!/usr/bin/env python3
"""Plants small slips in a room's code, one at a time, and counts how many
its unit tests catch.

Each mutant changes one spot: a relational operator loosened or flipped
("<" to "<=" or ">"), "==" and "!=" swapped, a "+ 1" or "- 1" dropped or
added to a subscript, one condition of an "&&" or "||" dropped, an integer
constant nudged by one. Comments, string and character literals and preprocessor lines are never
touched. For each mutant the room's test targets are rebuilt with ninja in
an existing build folder (so only the changed file compiles and its tests
relink) and the room's tests run. A mutant the tests fail on is killed; one
they pass is a survivor, printed with its file and line; one that does not
build counts as neither. The file is restored after every mutant, also on
Ctrl-C; a run killed outright is restored at the start of the next one
(from BUILD/mutate-journal.json).

    tools/mutate.py settings                     # a room of the table below
    tools/mutate.py settings --max 40 --seed 7   # 40 mutants total at random
    tools/mutate.py settings --files settings_file.cpp --list
    tools/mutate.py engine/melody_shelf.cpp --target engine_tests \\
        --run 'engine_tests --gtest_filter=MelodyShelf*:*PlaylistTest*'
    tools/mutate.py input --ctest '^(SwitchInputs|MidiInput)\\.'

Standard library only. Not part of CI: a room takes minutes on two cores.
"""

import argparse
import fnmatch
import glob
import json
import os
import random
import re
import shlex
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, field

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


@dataclass
class Room:
    files: list  # globs relative to the source root
    targets: list  # ninja targets the tests need
    runs: list = field(default_factory=list)  # test commands; the first word is a target
    ctest: str = ""  # or a ctest -R regex


# The rooms and the tests that judge them. A run's first word is a test
# executable found in the build folder; the rest are its arguments (a
# parameterised suite is named "Prefix/Suite", hence the leading "*"). A
# file that does not exist (yet) is skipped.
ROOMS = {
    "settings": Room(
        files=["settings/*.cpp"],
        targets=["settings_tests"],
        runs=["settings_tests --gtest_filter=-SettingsDurability.*"],
    ),
    "input": Room(
        files=["input/*.cpp"],
        targets=["input_tests"],
        runs=["input_tests"],
    ),
    "shelf": Room(
        files=["engine/melody_shelf.cpp"],
        targets=["engine_tests", "ui_menus_tests"],
        runs=[
            "engine_tests --gtest_filter=*Shelf*:*Playlist*",
            "ui_menus_tests",
        ],
    ),
    "device-policy": Room(
        files=["audio/device/period_steps.cpp", "audio/device/device_tuning.cpp",
               "audio/device/processor_load.cpp"],
        targets=["audio_device_policy_tests"],
        runs=["audio_device_policy_tests"],
    ),
    "loader": Room(
        files=["audio/wave_loader.cpp", "audio/sound_file_kind.cpp", "engine/sound_loading.cpp"],
        targets=["audio_tests", "engine_tests"],
        runs=[
            "audio_tests --gtest_filter="
            "Wave*:*CodecTest*:CompressedLength*:GaplessMp3*:SoundFileKind*",
            "engine_tests --gtest_filter=SoundLoading*",
        ],
    ),
    "keys": Room(
        files=["ui/common/virtual_keys.cpp", "ui/common/x11_keymap.cpp",
               "input/qt/global_keys.cpp"],
        targets=["ui_switch_tests", "input_tests"],
        runs=[
            "ui_switch_tests --gtest_filter=KeyLayout*:*VirtualKey*",
            "input_tests --gtest_filter=GlobalKeys*",
        ],
    ),
}

# ---------------------------------------------------------------------------
# Finding the spots


def digit_separator(text, i):
    """Whether the quote at i separates digits (1'000) rather than opening
    a character literal."""
    return 0 < i < len(text) - 1 and text[i - 1].isalnum() and text[i + 1].isalnum()


def code_mask(text):
    """The text with comments, string and character literals and
    preprocessor lines blanked (newlines kept), so offsets stay the same."""
    out = list(text)
    i, n = 0, len(text)
    line_start = True

    def blank(a, b):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if line_start and c == "#":
            j = i
            while j < n and not (text[j] == "\n" and text[j - 1] != "\\"):
                j += 1
            blank(i, j)
            i = j
            continue
        if c == "\n":
            line_start = True
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(i, j)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j)
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not text[i - 1].isalnum()):
            open_paren = text.find("(", i + 2)
            delimiter = text[i + 2 : open_paren]
            j = text.find(")" + delimiter + '"', open_paren)
            j = n if j < 0 else j + len(delimiter) + 2
            blank(i, j)
            i = j
        elif c == '"' or (c == "'" and not digit_separator(text, i)):
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            blank(i, min(j + 1, n))
            i = j + 1
        else:
            i += 1
    return "".join(out)


@dataclass
class Mutant:
    path: str  # relative to the source root
    start: int
    end: int
    replacement: str
    what: str
    line: int = 0

    def key(self):
        return (self.path, self.start, self.end, self.replacement)


RELATIONAL = {
    "<": ["<=", ">"],
    "<=": ["<", ">="],
    ">": [">=", "<"],
    ">=": [">", "<="],
    "==": ["!="],
    "!=": ["=="],
}
# Binary operators are written with a blank either side; templates, shifts,
# arrows and "&&" of forwarding references are not.
RELATIONAL_RE = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
PLUS_MINUS_ONE_RE = re.compile(r"\s[+-]\s1(?![\w.'])")
LOGICAL_RE = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
SUBSCRIPT_RE = re.compile(r"\[([A-Za-z_]\w*)\]")
INTEGER_RE = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F']+|\d[\d']*)([uUlL]*)(?![\w.'])")
KEYWORDS_BEFORE_CONDITION = ("return", "co_return")


def operand_end(masked, i, step):
    """Where the operand of a logical operator at i ends, walking in the
    direction `step` (+1 right, -1 left) to a separator at its own depth."""
    depth = 0
    n = len(masked)
    j = i
    openers, closers = ("(", "[", "{"), (")", "]", "}")
    if step < 0:
        openers, closers = closers, openers
    while 0 <= j < n:
        c = masked[j]
        if c in openers:
            depth += 1
        elif c in closers:
            if depth == 0:
                return j
            depth -= 1
        elif depth == 0:
            if c in ";,?":
                return j
            if c == ":" and masked[j - 1 : j + 1] != "::" and masked[j : j + 2] != "::":
                return j
            if c == "=" and masked[j - 1] not in "=<>!" and masked[j + 1] != "=":
                return j
            here = masked[j - 3 : j + 1] if step < 0 else masked[j : j + 4]
            if re.fullmatch(r"\s(&&|\|\|)\s", here):
                return j
            if step < 0:
                for word in KEYWORDS_BEFORE_CONDITION:
                    if re.search(r"\s" + word + "$", masked[max(0, j - 10) : j + 1]):
                        return j + 1
        j += step
    return j


def nudged(literal, suffix, delta):
    clean = literal.replace("'", "")
    if clean[:2] in ("0x", "0X"):
        base, form = 16, "0x%X"
    elif len(clean) > 1 and clean[0] == "0":
        base, form = 8, "0%o"
    else:
        base, form = 10, "%d"
    new = int(clean, base) + delta
    return None if new < 0 else (form % new) + suffix


def find_mutants(path, text):
    masked = code_mask(text)
    found = []

    for m in RELATIONAL_RE.finditer(masked):
        for replacement in RELATIONAL[m.group(1)]:
            what = "'%s' -> '%s'" % (m.group(1), replacement)
            found.append(Mutant(path, m.start(1), m.end(1), replacement, what))

    for m in PLUS_MINUS_ONE_RE.finditer(masked):
        found.append(Mutant(path, m.start(), m.end(), "", "'%s' dropped" % m.group().strip()))

    for m in SUBSCRIPT_RE.finditer(masked):
        for op in ("+", "-"):
            found.append(Mutant(path, m.end(1), m.end(1), " %s 1" % op, "'%s 1' added" % op))

    for m in LOGICAL_RE.finditer(masked):
        op = m.group(1)
        left = operand_end(masked, m.start() - 2, -1) + 1
        right = operand_end(masked, m.end() + 1, +1)
        while left < m.start() and text[left].isspace():
            left += 1
        while right > m.end() and text[right - 1].isspace():
            right -= 1
        left_text = " ".join(text[left : m.start()].split())
        right_text = " ".join(text[m.end() : right].split())
        if not left_text or not right_text:
            continue
        found.append(Mutant(path, left, m.end() + 1, "", "'%s %s' dropped" % (left_text[:40], op)))
        what = "'%s %s' dropped" % (op, right_text[:40])
        found.append(Mutant(path, m.start() - 1, right, "", what))

    for m in INTEGER_RE.finditer(masked):
        literal, suffix = m.group(1), m.group(2)
        for delta in (1, -1):
            # "x - 1" to "x - 0" is the same slip as dropping "- 1".
            if delta < 0 and literal == "1" and masked[m.start() - 2 : m.start()] in ("+ ", "- "):
                continue
            replacement = nudged(literal, suffix, delta)
            if replacement is not None:
                what = "%s -> %s" % (m.group(), replacement)
                found.append(Mutant(path, m.start(), m.end(), replacement, what))

    # Two spots that give the same code ("- 1" dropped and its 1 nudged to
    # 0) are one mutant.
    unique, seen = [], set()
    for mutant in sorted(found, key=lambda mu: (mu.start, mu.end, mu.replacement)):
        result = text[: mutant.start] + mutant.replacement + text[mutant.end :]
        if result in seen or result == text:
            continue
        seen.add(result)
        mutant.line = text.count("\n", 0, mutant.start) + 1
        unique.append(mutant)
    return unique


# ---------------------------------------------------------------------------
# Changing and restoring files


def write_atomically(path, text):
    temporary = path + ".mutate-tmp"
    with open(temporary, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    os.chmod(temporary, os.stat(path).st_mode & 0o7777)
    os.replace(temporary, path)


class Journal:
    """The original of the file being changed, kept on disk while it is
    changed, so that a run killed outright is undone by the next."""

    def __init__(self, build_dir):
        self.path = os.path.join(build_dir, "mutate-journal.json")

    def recover(self):
        if not os.path.exists(self.path):
            return
        with open(self.path, encoding="utf-8") as f:
            entry = json.load(f)
        write_atomically(entry["file"], entry["text"])
        print("restored %s, left changed by an earlier run" % entry["file"], file=sys.stderr)
        os.remove(self.path)

    def hold(self, path, text):
        with open(self.path + ".tmp", "w", encoding="utf-8") as f:
            json.dump({"file": path, "text": text}, f)
        os.replace(self.path + ".tmp", self.path)

    def release(self):
        if os.path.exists(self.path):
            os.remove(self.path)


# ---------------------------------------------------------------------------
# Building and testing


def run(command, timeout, cwd=None, env=None):
    """(exit status or None on timeout, output, seconds). The command runs in
    a process group of its own that is killed on a timeout or Ctrl-C."""
    began = time.monotonic()
    process = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, start_new_session=True, text=True,
                               errors="replace")
    try:
        output, _ = process.communicate(timeout=timeout)
        return process.returncode, output, time.monotonic() - began
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        output, _ = process.communicate()
        return None, output, time.monotonic() - began
    except BaseException:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        raise


def find_executable(build_dir, name):
    for folder, _, files in os.walk(build_dir):
        if name in files and os.access(os.path.join(folder, name), os.X_OK):
            return os.path.join(folder, name)
    sys.exit("mutate: no test executable %s in %s (build the folder first)" % (name, build_dir))


class Judge:
    def __init__(self, args, room):
        self.build_dir = args.build_dir
        self.jobs = args.jobs
        self.targets = room.targets
        self.build_timeout = args.build_timeout
        self.test_timeout = args.timeout
        self.commands = []
        for line in room.runs:
            words = shlex.split(line)
            executable = find_executable(self.build_dir, words[0])
            quiet = ["--gtest_fail_fast", "--gtest_brief=1"]
            self.commands.append([executable] + words[1:] + quiet)
        if room.ctest:
            self.commands.append(["ctest", "--test-dir", self.build_dir, "-R", room.ctest,
                                  "--stop-on-failure", "-j%d" % self.jobs])
        if not self.commands:
            sys.exit("mutate: the room has no tests to run (--run or --ctest)")

    def build(self):
        command = ["ninja", "-C", self.build_dir, "-j%d" % self.jobs] + self.targets
        status, output, _ = run(command, self.build_timeout)
        return status == 0, output

    def test(self):
        """'killed', 'survived' or 'timeout', the output of a failing run,
        and the seconds taken."""
        total = 0.0
        for command in self.commands:
            status, output, seconds = run(command, self.test_timeout, cwd=self.build_dir)
            total += seconds
            if status is None:
                return "timeout", output, total
            if status != 0:
                return "killed", output, total
        return "survived", "", total


# ---------------------------------------------------------------------------


def parse_args():
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n\n")[0],
        epilog=__doc__.split("\n\n", 2)[2],
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    add = parser.add_argument
    add("room", nargs="+", help="a room of the table (%s), a folder or files" % ", ".join(ROOMS))
    add("--build-dir", default=os.path.join(ROOT, "build-test"),
        help="an existing ninja build folder (default build-test)")
    add("--files", action="append", default=[],
        help="only files whose path matches this glob or contains this text (repeatable)")
    add("--target", action="append", default=[],
        help="ninja target to rebuild (repeatable; replaces the room's)")
    add("--run", action="append", default=[],
        help="test command, its first word a test executable (repeatable; replaces the room's)")
    add("--ctest", default=None, help="ctest -R regex to run (replaces the room's tests)")
    add("--max", type=int, default=0, help="at most this many mutants, drawn with --seed")
    add("--seed", type=int, default=1, help="seed of the draw (default 1)")
    add("--timeout", type=float, default=0,
        help="seconds a test run may take (default: 5 times the unchanged run, at least 20)")
    add("--build-timeout", type=float, default=900, help="seconds a build may take (default 900)")
    add("--jobs", type=int, default=2, help="ninja and ctest jobs (default 2)")
    add("--list", action="store_true", help="list the mutants and stop")
    return parser.parse_args()


def room_of(args):
    if len(args.room) == 1 and args.room[0] in ROOMS:
        base = ROOMS[args.room[0]]
        room = Room(list(base.files), list(base.targets), list(base.runs), base.ctest)
    else:
        room = Room([], [], [], "")
        for item in args.room:
            relative = os.path.relpath(os.path.abspath(item), ROOT)
            room.files += [os.path.join(relative, "*.cpp")] if os.path.isdir(item) else [relative]
    if args.target:
        room.targets = args.target
    if args.run or args.ctest is not None:
        room.runs, room.ctest = args.run, args.ctest or ""
    found = [p for pattern in room.files for p in glob.glob(os.path.join(ROOT, pattern))]
    files = sorted({os.path.relpath(p, ROOT) for p in found})
    if args.files:
        files = [f for f in files if any(fnmatch.fnmatch(f, "*" + g) or g in f for g in args.files)]
    if not files:
        sys.exit("mutate: no files to change (room table in tools/mutate.py, or --files)")
    return room, files


def main():
    args = parse_args()
    args.build_dir = os.path.abspath(args.build_dir)
    room, files = room_of(args)

    mutants = []
    for path in files:
        with open(os.path.join(ROOT, path), encoding="utf-8", newline="") as f:
            mutants += find_mutants(path, f.read())
    total = len(mutants)
    if args.max and args.max < len(mutants):
        mutants = random.Random(args.seed).sample(mutants, args.max)
        mutants.sort(key=lambda mu: (mu.path, mu.start, mu.replacement))
    if args.list:
        for mu in mutants:
            print("%s:%d: %s" % (mu.path, mu.line, mu.what))
        print("%d of %d mutants" % (len(mutants), total))
        return 0
    if not room.targets:
        sys.exit("mutate: name the test targets to rebuild (--target)")
    if not os.path.exists(os.path.join(args.build_dir, "build.ninja")):
        sys.exit("mutate: %s is no ninja build folder" % args.build_dir)

    journal = Journal(args.build_dir)
    journal.recover()

    # SIGTERM and SIGHUP unwind like Ctrl-C, so the file is restored.
    def interrupt(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, interrupt)
    signal.signal(signal.SIGHUP, interrupt)

    judge = Judge(args, room)
    built, output = judge.build()
    if not built:
        print(output)
        sys.exit("mutate: the unchanged code does not build")
    judge.test_timeout = 3600
    verdict, output, seconds = judge.test()
    if verdict != "survived":
        print(output)
        sys.exit("mutate: the tests fail on the unchanged code")
    judge.test_timeout = args.timeout or max(20.0, 5 * seconds)
    print("%d mutants of %d in %s; the unchanged tests take %.1f s"
          % (len(mutants), total, ", ".join(files), seconds))

    results = {"killed": [], "survived": [], "timeout": [], "no build": []}
    interrupted = False
    try:
        for number, mu in enumerate(mutants, 1):
            full = os.path.join(ROOT, mu.path)
            with open(full, encoding="utf-8", newline="") as f:
                original = f.read()
            journal.hold(full, original)
            try:
                write_atomically(full, original[: mu.start] + mu.replacement + original[mu.end :])
                built, _ = judge.build()
                if built:
                    verdict, _, seconds = judge.test()
                else:
                    verdict, seconds = "no build", 0.0
            finally:
                write_atomically(full, original)
                journal.release()
            results[verdict].append(mu)
            print("[%d/%d] %s:%d: %s: %s (%.1f s)"
                  % (number, len(mutants), mu.path, mu.line, mu.what, verdict, seconds), flush=True)
    except KeyboardInterrupt:
        interrupted = True
        print("\ninterrupted; the files are as they were", file=sys.stderr)
    finally:
        # Leaves the build folder built from the unchanged code.
        judge.build()

    killed = len(results["killed"]) + len(results["timeout"])
    judged = killed + len(results["survived"])
    print()
    print("killed %d (%d by a timeout), survived %d, did not build %d"
          % (killed, len(results["timeout"]), len(results["survived"]), len(results["no build"])))
    if judged:
        print("score: %.0f %% (%d of %d)" % (100.0 * killed / judged, killed, judged))
    if results["survived"]:
        print("survivors:")
        for mu in results["survived"]:
            with open(os.path.join(ROOT, mu.path), encoding="utf-8") as f:
                source_line = f.read().split("\n")[mu.line - 1].strip()
            print("  %s:%d: %s    | %s" % (mu.path, mu.line, mu.what, source_line))
    return 130 if interrupted else 0


if __name__ == "__main__":
    sys.exit(main())
