#!/usr/bin/env python3
"""The Debian package, unpacked into a fresh folder and run from there.

    package_test.py --deb PATH [--recorder PATH] --case NAME

Cases:
  installed   the package's dependencies are installed here, its files are
              where a desktop looks for them, and its menu entry's command
              (bin/tremolo) with a melody for %f plays it on ON;
  read_only   the same program in a folder its user cannot write: the
              settings come from and go to $XDG_CONFIG_HOME/tremolo, the
              temporary copies to $XDG_CACHE_HOME/tremolo, and the program
              folder is left as it was.
  system      installed for real with apt-get, as root: the desktop and MIME
              databases offer it for segments, --help and --version answer
              without a display, /usr/bin/tremolo plays a melody and keeps
              root's settings out of /usr/lib/tremolo, and apt-get purge
              leaves none of the package's files behind. Skipped (exit 77)
              when not root.

The first two unpack the package with dpkg-deb -x rather than install it, so
they leave the machine as they found it. Root may write any folder, so as
root the read-only case runs the program as the user nobody.
"""

import os
import pwd
import re
import shlex
import stat
import subprocess
import sys

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
import station as s  # noqa: E402
from station import check  # noqa: E402

PROGRAM_FOLDER = "usr/lib/tremolo"
# As in program_test.py: the ambience and the door announcement reach 1 kHz.
QUIET_STATION = {"UseEnvir": "No", "Door": "No"}
TONE_PRESENT = 0.1
# Libraries the program links: present in Depends only when dpkg-shlibdeps ran.
LINKED = ("libqt6widgets6", "libsdl2-2.0-0", "libfluidsynth3", "libsndfile1")


# ---- the package -----------------------------------------------------------

def installed_packages():
    """{name: version} of installed packages, and {virtual name: [version or
    None]} of what they provide."""
    text = subprocess.run(
        ["dpkg-query", "-W", "-f", "${db:Status-Status}\t${Package}\t${Version}\t${Provides}\n"],
        capture_output=True, text=True, check=True).stdout
    versions, provided = {}, {}
    for line in text.splitlines():
        status, name, version, provides = (line.split("\t") + [""] * 4)[:4]
        if status != "installed":
            continue
        versions[name] = version
        for item in filter(None, (p.strip() for p in provides.split(","))):
            match = re.fullmatch(r"(\S+)(?:\s*\(=\s*(\S+)\))?", item)
            if match:
                provided.setdefault(match.group(1), []).append(match.group(2))
    return versions, provided


def satisfied(relation, versions, provided):
    """True when one installed package meets "name[:arch] [(op version)]"."""
    match = re.fullmatch(r"([a-z0-9.+-]+)(?::\S+)?\s*(?:\(\s*([<>=]+)\s*(\S+)\s*\))?", relation)
    check(match, f"a dependency that is no package relation: {relation!r}")
    name, op, wanted = match.groups()
    candidates = ([versions[name]] if name in versions else []) + provided.get(name, [])
    if not op:
        return bool(candidates)
    return any(have is not None and subprocess.run(
        ["dpkg", "--compare-versions", have, op, wanted]).returncode == 0
        for have in candidates)


def check_dependencies(deb):
    depends = subprocess.run(["dpkg-deb", "-f", deb, "Depends"], capture_output=True,
                             text=True, check=True).stdout.strip()
    groups = [g.strip() for g in depends.split(",") if g.strip()]
    names = {re.split(r"[\s:(]", a.strip())[0] for g in groups for a in g.split("|")}
    missing = [lib for lib in LINKED if lib not in names]
    check(not missing, f"Depends lacks the linked libraries {missing}: {depends}")
    versions, provided = installed_packages()
    unmet = [g for g in groups
             if not any(satisfied(a.strip(), versions, provided) for a in g.split("|"))]
    check(not unmet, f"dependencies not installed here: {unmet}")
    h.log(f"{len(groups)} dependencies, all installed")


def unpack(session, deb):
    """The package's files under a fresh root; returns that root."""
    root = session.path("root")
    subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
    link = os.path.join(root, "usr/bin/tremolo")
    check(os.path.islink(link) and os.readlink(link) == "../lib/tremolo/tremolo",
          f"usr/bin/tremolo is no link into the program folder")
    for name in ("tremolo", "switch.wav", "door.wav", "b.wav", "envir.wav", "demo.wav",
                 "demo.mid", "Readme.html", "Readme.en.html", "Door/ブザー.wav", "Envir/ホーム.wav"):
        check(os.path.exists(os.path.join(root, PROGRAM_FOLDER, name)),
              f"the package has no {PROGRAM_FOLDER}/{name}")
    for name in ("usr/share/applications/tremolo.desktop",
                 "usr/share/mime/packages/tremolo.xml",
                 "usr/share/metainfo/example.tremolo.tremolo.metainfo.xml",
                 "usr/share/man/man1/tremolo.1.gz",
                 "usr/share/doc/tremolo/copyright",
                 "usr/share/doc/tremolo/changelog.gz",
                 "usr/share/icons/hicolor/scalable/apps/tremolo.svg",
                 "usr/share/icons/hicolor/48x48/apps/tremolo.png"):
        check(os.path.isfile(os.path.join(root, name)), f"the package has no {name}")
    entry = os.path.join(root, "usr/share/applications/tremolo.desktop")
    result = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
    check(result.returncode == 0 and not result.stdout.strip(),
          f"desktop-file-validate: {result.stdout}{result.stderr}")
    return root


def write_settings(folder, settings):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, s.SETTINGS_FILE), "w", encoding="utf-8") as f:
        f.write(s.SECTION + "\r\n")
        for key, value in settings.items():
            f.write(f"{key}={value}\r\n")


def snapshot(folder):
    """Every path under `folder` with its size and modification time."""
    found = {}
    for top, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(top, name)
            info = os.lstat(path)
            found[os.path.relpath(path, folder)] = (info.st_size, info.st_mtime_ns)
    return found


def melody_in(folder, name="tone.wav"):
    """A 1 kHz WAVE in `folder`, readable by anyone; returns its path."""
    os.makedirs(folder, mode=0o755, exist_ok=True)
    os.chmod(folder, 0o755)
    melody = os.path.join(folder, name)
    h.write_tone_wave(melody, 1000)
    os.chmod(melody, 0o644)
    return melody


def hear_on(session, args, program, melody):
    """The melody named on the command line sounds on Shift+A."""
    switch = program.wait_window(name=os.path.basename(melody) + " - " + h.TITLE)
    program.panel_window()
    switch.activate()
    recording = session.start_recording(args.recorder)
    keys = h.Input(session)
    pressed = s.stamp()
    keys.keydown("shift+a")
    onset = recording.wait_for_tone(pressed, 1000, TONE_PRESENT)
    keys.keyup("shift+a")
    h.log(f"the installed program sounds {s.ms(recording.stamp_of(onset) - pressed)} after ON")
    recording.stop()
    return switch


def play_and_quit(session, args, argv, melody, env):
    """Starts `argv`, hears `melody` on ON and ends the program with 終了
    from the shortcut menu; its exit code."""
    program = h.Program(session, session.spawn("tremolo", argv, env=env))
    try:
        switch = hear_on(session, args, program, melody)
        keys = h.Input(session)
        s.open_shortcut_menu(program, switch, keys)
        s.choose(program, keys, "x")
        return s.wait_exit(session, program)
    finally:
        session.stop(program.process)


def open_with(root, path):
    """The command a desktop runs to open `path` with the menu entry: its
    Exec line with the file for %f (one argument, blanks and all)."""
    with open(os.path.join(root, "usr/share/applications/tremolo.desktop"),
              encoding="utf-8") as f:
        line = next(l for l in f if l.startswith("Exec="))
    argv = [path if word == "%f" else word for word in shlex.split(line[len("Exec="):])]
    check(path in argv, f"the entry's {line.strip()!r} takes no file")
    return argv


# ---- cases -------------------------------------------------------------------

def case_installed(session, args):
    check_dependencies(args.deb)
    root = unpack(session, args.deb)
    write_settings(os.path.join(root, PROGRAM_FOLDER), QUIET_STATION)
    melody = melody_in(session.path("melodies"), "発車 メロディ.wav")
    env = dict(session.env, PATH=os.path.join(root, "usr/bin") + os.pathsep + session.env["PATH"])
    program = h.Program(session, session.spawn("tremolo", open_with(root, melody), env=env))
    try:
        hear_on(session, args, program, melody)
        program.check_alive()
    finally:
        session.stop(program.process)


def user_environment(session):
    """The environment of a user whose home is the session's "user" folder."""
    home = session.path("user")
    os.makedirs(os.path.join(home, "run"), mode=0o700, exist_ok=True)
    env = dict(session.env)
    env.update({
        "HOME": home,
        "XDG_CONFIG_HOME": os.path.join(home, ".config"),
        "XDG_CACHE_HOME": os.path.join(home, ".cache"),
        "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
        "XDG_RUNTIME_DIR": os.path.join(home, "run"),
        "PULSE_COOKIE": os.path.join(home, "pulse-cookie"),
    })
    return env


def as_nobody(session):
    """The argv prefix that runs the program as nobody, who is given the
    session's "user" folder; none when not root."""
    if os.geteuid() != 0:
        return []
    nobody = pwd.getpwnam("nobody")
    for top, dirs, files in os.walk(session.path("user")):
        for name in [top] + [os.path.join(top, n) for n in dirs + files]:
            os.chown(name, nobody.pw_uid, nobody.pw_gid)
    # The way to the sound server's socket (the socket itself is open to all).
    for folder in (session.folder, session.path("run"), session.path("run", "pulse")):
        os.chmod(folder, 0o711)
    return ["setpriv", f"--reuid={nobody.pw_uid}", f"--regid={nobody.pw_gid}",
            "--clear-groups", "--"]


def set_writable(folder, writable):
    for top, dirs, files in os.walk(folder):
        for name in [top] + [os.path.join(top, n) for n in dirs + files]:
            mode = os.lstat(name).st_mode
            if not stat.S_ISLNK(mode):
                os.chmod(name, mode | 0o200 if writable else mode & ~0o222)


def case_read_only(session, args):
    root = unpack(session, args.deb)
    folder = os.path.join(root, PROGRAM_FOLDER)
    env = user_environment(session)
    config = os.path.join(env["XDG_CONFIG_HOME"], "tremolo")
    cache = os.path.join(env["XDG_CACHE_HOME"], "tremolo")
    # The user's settings file is read: the station goes quiet, or the
    # ambience would drown the melody's tone.
    write_settings(config, QUIET_STATION)
    prefix = as_nobody(session)
    set_writable(root, False)
    try:
        check(prefix or not os.access(folder, os.W_OK), "the program folder is still writable")
        before = snapshot(folder)
        melody = melody_in(session.path("melodies"))
        code = play_and_quit(session, args,
                             prefix + [os.path.join(root, "usr/bin/tremolo"), melody], melody, env)
        after = snapshot(folder)
    finally:
        set_writable(root, True)  # so that the session can remove it
    check(code == 0, f"the program ended with {code} after 終了")

    section, entries = s.read_settings_file(config)
    keys = dict(entries)
    check(section == s.SECTION and len(entries) >= 25 and keys.get("UseEnvir") == "No",
          f"the settings in {config} are not those saved at exit: {section} {entries}")
    check(os.path.isdir(cache), f"no folder {cache} for the temporary copies")
    left = [n for n in os.listdir(cache) if n.startswith("~tremlo")]
    check(not left, f"temporary copies left in {cache}: {left}")
    check(after == before, f"the program folder changed: "
          f"{sorted(set(after.items()) ^ set(before.items()))}")
    h.log(f"settings saved to {config}, temporary copies made in {cache}")


def apt_get(*args):
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    result = subprocess.run(["apt-get", "-y", "-q", *args], env=env, capture_output=True,
                            text=True, timeout=180)
    check(result.returncode == 0, f"apt-get {' '.join(args)} failed:\n{result.stdout}{result.stderr}")


def desktop_view(env, path):
    """(the type the shared MIME database gives `path`, the desktop entries
    registered for that type), as GLib, and so a file manager, sees them."""
    info = subprocess.run(["gio", "info", "-a", "standard::content-type", path], env=env,
                          capture_output=True, text=True, check=True).stdout
    match = re.search(r"standard::content-type: (\S+)", info)
    check(match, f"gio gives no type for {path}: {info}")
    apps = subprocess.run(["gio", "mime", match.group(1)], env=env, capture_output=True,
                          text=True).stdout
    return match.group(1), apps


def case_system(session, args):
    if os.geteuid() != 0:
        print("SKIPPED: installing the package needs root (CI runs as root on a "
              "throw-away machine)")
        sys.exit(77)
    known = subprocess.run(["dpkg-query", "-W", "-f", "${db:Status-Status}", "tremolo"],
                           capture_output=True, text=True).stdout
    check(known in ("", "not-installed", "config-files"),
          "tremolo is already installed here; this test installs and purges it itself")
    env = user_environment(session)
    # Only the system's data folders, as for a user who has none of their own.
    env.pop("XDG_DATA_DIRS", None)
    segment = os.path.join(session.path("melodies"), "melody.sgt")
    os.makedirs(os.path.dirname(segment), exist_ok=True)
    with open(segment, "wb") as f:
        f.write(b"RIFF\x04\x00\x00\x00DMSG" + bytes(64))

    apt_get("install", "--no-install-recommends", args.deb)
    try:
        files = subprocess.run(["dpkg", "-L", "tremolo"], capture_output=True, text=True,
                               check=True).stdout.split()
        mime, apps = desktop_view(env, segment)
        check(mime == "audio/x-directmusic-segment" and "tremolo.desktop" in apps,
              f"installed, a segment is {mime}, offered to: {apps}")
        for option, start in (("--help", "Usage: tremolo ["), ("--version", "tremolo ")):
            answer = subprocess.run(["/usr/bin/tremolo", option], env=dict(env, DISPLAY=""),
                                    capture_output=True, text=True, timeout=30)
            check(answer.returncode == 0 and answer.stdout.startswith(start),
                  f"tremolo {option} gave {answer.returncode}: {answer.stdout}{answer.stderr}")

        # Root runs the installed program: its settings and temporary copies
        # go to root's own folders, never into the program folder.
        config = os.path.join(env["XDG_CONFIG_HOME"], "tremolo")
        write_settings(config, QUIET_STATION)
        folder = "/" + PROGRAM_FOLDER
        before = snapshot(folder)
        melody = melody_in(session.path("melodies"))
        code = play_and_quit(session, args, open_with("/", melody), melody, env)
        check(code == 0, f"the program ended with {code} after 終了")
        check(snapshot(folder) == before, f"running as root changed {folder}: "
              f"{sorted(set(snapshot(folder).items()) ^ set(before.items()))}")
        section, entries = s.read_settings_file(config)
        check(len(entries) >= 25, f"root's settings were not saved to {config}")
    finally:
        apt_get("purge", "tremolo")

    # Directories the package shares with others (usr/share/icons/...) stay.
    left = [f for f in files if os.path.lexists(f) and
            (not os.path.isdir(f) or os.path.islink(f) or "tremolo" in os.path.basename(f))]
    check(not left, f"the purge left files of the package behind: {left}")
    mime, apps = desktop_view(env, segment)
    check("tremolo.desktop" not in apps and mime != "audio/x-directmusic-segment",
          f"purged, a segment is still {mime}, offered to: {apps}")
    h.log(f"installed {len(files)} paths, played as root with settings in {config}, purged")


CASES = {"installed": case_installed, "read_only": case_read_only, "system": case_system}


def main():
    return s.run_cases(__doc__, CASES, subject=("deb", "the package cpack made"))


if __name__ == "__main__":
    sys.exit(main())
