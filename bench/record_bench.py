#!/usr/bin/env python3
"""What recording and rendering cost.

    record_bench.py --program PATH [--seconds 20]

Prints on standard output:

    render_realtime_factor: seconds of sound per second of wall-clock time
                      for `tremolo --render` of a one-minute performance
                      (the bundled demo.wav as melody, the ambience looping,
                      two ON/OFF cycles each followed by the door
                      announcement), written as FLAC; the best of three
    record_overhead_cpu_percent: the program's processor time with a
                      recording running, minus without, in percent of one
                      core, both over `seconds` with the ambience looping,
                      in the same run (a private X and sound server,
                      tests/e2e/harness.py)
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
sys.path.insert(0, HERE)
import harness as h  # noqa: E402
from rest_bench import cpu_percent  # noqa: E402

SETTLE_SECONDS = 5
SCRIPT = """# a minute of a station: two departures, the door after each
1.000 press on
1.100 release on
20.000 press off
20.700 release off
30.000 press on
30.100 release on
50.000 press off
50.700 release off
60.000 end
"""
STATION = {"UseEnvir": "Yes", "Door": "Yes", "PlayClickSound": "Yes"}


def render_factor(program):
    folder = os.path.dirname(os.path.abspath(program))
    with tempfile.TemporaryDirectory(prefix="tremlo-render-bench.") as work:
        script = os.path.join(work, "minute.txt")
        settings = os.path.join(work, "tremlo.ini")
        with open(script, "w", encoding="utf-8") as f:
            f.write(SCRIPT)
        with open(settings, "w", encoding="utf-8") as f:
            f.write("[TREMLO 1.10]\n" + "".join(f"{k}={v}\n" for k, v in STATION.items()))
        best = None
        for _ in range(3):
            started = time.monotonic()
            subprocess.run([program, "--settings", settings, "--render", script, "--output",
                            os.path.join(work, "out.flac"), os.path.join(folder, "demo.wav")],
                           check=True, stderr=subprocess.DEVNULL)
            elapsed = time.monotonic() - started
            best = elapsed if best is None else min(best, elapsed)
        return 60.0 / best


def record_overhead(program, seconds):
    with h.Session() as session:
        installed = session.install_program(program, STATION)
        melody = os.path.join(os.path.dirname(installed), "demo.wav")
        results = []
        for extra in ([], ["--record", session.path("take.flac")]):
            process = session.spawn("tremolo", [installed] + extra + [melody])
            program_run = h.Program(session, process)
            program_run.switch_window()
            time.sleep(SETTLE_SECONDS)
            results.append(cpu_percent(process.pid, seconds))
            session.stop(process)
        return results[1] - results[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True)
    parser.add_argument("--seconds", type=float, default=20)
    args = parser.parse_args()
    print(f"render_realtime_factor: {render_factor(args.program):.0f}")
    print(f"record_overhead_cpu_percent: {record_overhead(args.program, args.seconds):.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
