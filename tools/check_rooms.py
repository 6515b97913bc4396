#!/usr/bin/env python3
"""Checks that the code rooms depend one way only.

A room is a top-level source folder (or a folder of ui/). Headers are
included by bare file name, each CMake target's include folder being its
own, so an include is traced to the room whose folder holds a file of that
name. A room may use its own files and those of the rooms ROOMS lets it use,
directly or through them; anything else is printed as

    FILE:LINE: room A includes B's header X
    FILE:LINE: room A links B's target T

and the exit status is 1. Includes of files found in no room (system, Qt,
generated headers) are not judged.

    tools/check_rooms.py [--root FOLDER]

Standard library only, so that it runs before anything is installed.
"""

import argparse
import os
import re
import sys

# Each room and the rooms it may use besides itself; whatever those may use
# is allowed too. Reorder the ui rooms here. The sound library and the inputs
# never reach the engine, and nothing below qt reaches Qt but input/qt, the
# inputs that cannot do without it (the system-wide keys). stations,
# recording and remote are the places the station sets, the recorder and the
# remote controls take.
ROOMS = {
    "settings": [],
    "on_demand": [],
    "audio": ["on_demand"],
    "recording": ["audio"],
    "input": ["settings", "on_demand"],
    "input/qt": ["input"],
    "stations": ["settings"],
    "engine": ["settings", "audio", "recording", "stations"],
    "qt": ["engine", "input", "input/qt"],
    "remote": ["qt"],
    "resources": [],
    "ui/common": ["qt", "resources"],
    "ui/dialogs": ["ui/common"],
    "ui/menus": ["ui/common", "ui/dialogs"],
    "ui/switch": ["ui/common", "ui/dialogs", "ui/menus"],
    "ui/panel": ["ui/common", "ui/dialogs", "ui/menus"],
    "app": ["ui/switch", "ui/panel", "remote"],
}

# Folders whose files no room may use: code for building, checking and
# measuring the program may lean on it, never the other way.
OUTSIDE = ["tools", "tests", "bench"]

SOURCE_SUFFIXES = (".cpp", ".h", ".hpp", ".cc", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def allowed_rooms(rooms):
    """Each room with every room it may use, directly or through others."""
    allowed = {}

    def visit(room, seen):
        if room in allowed:
            return allowed[room]
        if room in seen:
            raise ValueError(f"rooms depend on each other in a circle through {room}")
        reach = {room}
        for used in rooms.get(room, []):
            reach |= visit(used, seen | {room})
        allowed[room] = reach
        return reach

    for room in rooms:
        visit(room, frozenset())
    return allowed


def room_of(relative_path, rooms):
    """The deepest room or outside folder holding the path, or None."""
    parts = relative_path.replace(os.sep, "/").split("/")
    for depth in range(len(parts) - 1, 0, -1):
        folder = "/".join(parts[:depth])
        if folder in rooms or folder in OUTSIDE:
            return folder
    return None


def walk(root, folders, suffixes):
    for top in folders:
        for folder, subfolders, files in os.walk(os.path.join(root, top)):
            subfolders.sort()
            for name in sorted(files):
                if name.endswith(suffixes):
                    yield os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")


def code_folders(rooms):
    return sorted({room.split("/")[0] for room in rooms})


def header_rooms(root, rooms):
    """Bare file name -> the rooms (and outside folders) holding such a file."""
    holders = {}
    for path in walk(root, code_folders(rooms) + OUTSIDE, SOURCE_SUFFIXES):
        room = room_of(path, rooms)
        if room:
            holders.setdefault(os.path.basename(path), set()).add(room)
    return holders


def include_findings(root, rooms):
    allowed = allowed_rooms(rooms)
    holders = header_rooms(root, rooms)
    findings = []
    for path in walk(root, code_folders(rooms), SOURCE_SUFFIXES):
        room = room_of(path, rooms)
        if room not in rooms:
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                included = match.group(1)
                beside = os.path.normpath(os.path.join(os.path.dirname(path), included))
                if os.path.isfile(os.path.join(root, beside)):
                    owners = {room_of(beside, rooms)}
                else:
                    owners = holders.get(os.path.basename(included), set())
                owners.discard(None)
                # A name held by several rooms is fine when any of them may be used.
                if owners and not owners & allowed[room]:
                    owner = sorted(owners)[0]
                    findings.append(f"{path}:{number}: room {room} includes {owner}'s "
                                    f"header {included}")
    return findings


def cmake_calls(text, command):
    """(line, arguments) of each call of a CMake command in the text."""
    text = re.sub(r"#[^\n]*", "", text)
    for match in re.finditer(r"\b" + command + r"\s*\(([^)]*)\)", text, re.I):
        yield text.count("\n", 0, match.start()) + 1, match.group(1).split()


def link_findings(root, rooms):
    allowed = allowed_rooms(rooms)
    lists = [path for path in walk(root, code_folders(rooms), ("CMakeLists.txt",))
             if room_of(path, rooms) in rooms]
    texts = {}
    for path in lists:
        with open(os.path.join(root, path), encoding="utf-8") as f:
            texts[path] = f.read()

    defined = {}  # target -> room
    aliases = {}
    for path, text in texts.items():
        for _, arguments in cmake_calls(text, "add_library"):
            if len(arguments) >= 3 and arguments[1] == "ALIAS":
                aliases[arguments[0]] = arguments[2]
            elif arguments:
                defined[arguments[0]] = room_of(path, rooms)
        for _, arguments in cmake_calls(text, "add_executable"):
            if arguments:
                defined[arguments[0]] = room_of(path, rooms)

    def target(name):
        name = aliases.get(name, name)
        if name not in defined and name.startswith("tremlo::"):
            name = name[len("tremlo::"):]
        return name

    findings = []
    for path, text in texts.items():
        room = room_of(path, rooms)
        for line, arguments in cmake_calls(text, "target_link_libraries"):
            for item in arguments[1:]:
                used = target(item)
                if used in defined and defined[used] not in allowed[room]:
                    findings.append(f"{path}:{line}: room {room} links {defined[used]}'s "
                                    f"target {item}")
    return findings


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(__file__), ".."),
                        help="the source tree (this checkout)")
    root = os.path.abspath(parser.parse_args().root)
    findings = include_findings(root, ROOMS) + link_findings(root, ROOMS)
    for finding in findings:
        print(finding)
    if findings:
        print(f"{len(findings)} uses against the direction of the rooms", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
