#!/usr/bin/env python3
"""The English translation against the code: lupdate reads the texts of the
code into a copy of translations/tremolo_en.ts, and the copy must hold every
text finished, none unfinished, obsolete or vanished, and nothing the file in
the tree lacks.

    tools/check_translations.py            the check (exit status 1 on a fault)
    tools/check_translations.py --update   lupdate into the file itself, to
                                           be translated where it says
                                           type="unfinished"
"""
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
TS = ROOT / "translations" / "tremolo_en.ts"
# The folders whose code makes texts for the user.
SOURCES = ["app", "ui", "engine", "qt", "input", "settings", "stations", "recording", "remote"]
# userText() is the Qt-free rooms' QCoreApplication::translate.
OPTIONS = ["-extensions", "cpp,h", "-locations", "none", "-no-obsolete", "-source-language",
           "ja", "-target-language", "en", "-tr-function-alias", "translate+=userText"]


def lupdate():
    # Debian's qt6-l10n-tools keeps it in Qt's own folder, not on PATH.
    for candidate in ("/usr/lib/qt6/bin/lupdate", shutil.which("lupdate6"),
                      shutil.which("lupdate")):
        if candidate and pathlib.Path(candidate).exists():
            return candidate
    sys.exit("lupdate not found: install qt6-l10n-tools")


def run_lupdate(ts):
    folders = [f for f in SOURCES if (ROOT / f).is_dir()]
    subprocess.run([lupdate(), *OPTIONS, *folders, "-ts", str(ts)], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)


def messages(text):
    """(context, source) → translation, with its type when not finished."""
    found = {}
    for context in re.findall(r"<context>(.*?)</context>", text, re.S):
        name = re.search(r"<name>(.*?)</name>", context).group(1)
        for message in re.findall(r"<message>(.*?)</message>", context, re.S):
            source = re.search(r"<source>(.*?)</source>", message, re.S).group(1)
            translation = re.search(r"<translation( type=\"(\w+)\")?>(.*?)</translation>",
                                    message, re.S)
            found[(name, source)] = (translation.group(2), translation.group(3))
    return found


def main():
    if sys.argv[1:] == ["--update"]:
        run_lupdate(TS)
        return 0
    with tempfile.TemporaryDirectory() as folder:
        copy = pathlib.Path(folder) / TS.name
        shutil.copy(TS, copy)
        run_lupdate(copy)
        updated = messages(copy.read_text(encoding="utf-8"))
    stored = messages(TS.read_text(encoding="utf-8"))
    faults = []
    for (context, source), (kind, translation) in sorted(updated.items()):
        if (context, source) not in stored:
            faults.append(f"not in {TS.name}: {context}: {source}")
        elif kind is not None or not translation:
            faults.append(f"{kind or 'empty'}: {context}: {source}")
    for context, source in sorted(stored.keys() - updated.keys()):
        faults.append(f"no longer in the code: {context}: {source}")
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} fault(s); tools/check_translations.py --update, then translate")
        return 1
    print(f"{len(updated)} texts, all translated")
    return 0


if __name__ == "__main__":
    sys.exit(main())
