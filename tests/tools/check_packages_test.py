"""tools/check_packages on copies of this tree whose package list was made
wrong in one way each: the check must fail and say what is missing."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SCRIPT = os.path.join(ROOT, "tools", "check_packages")
BUILD = sys.argv.pop(1) if len(sys.argv) > 1 else None

# (case, change to tools/packages.txt as (pattern, replacement), what the
# report must say)
CASES = [
    ("a package left out", (r"(?m)^qt6-l10n-tools .*\n", ""),
     ["qt6-l10n-tools is not brought in", "lrelease"]),
    ("a program run but named nowhere", (r"(?m)^(liblo-tools) .*$", r"\1"),
     ["runs oscsend, which tools/packages.txt names beside no package"]),
    ("a named program that does not exist", (r"(?m)^(playerctl .*)$", r"\1 playerctl9"),
     ["names playerctl9 beside playerctl, but no program of that name is installed"]),
]


class CheckPackages(unittest.TestCase):
    def test_a_wrong_list_is_named(self):
        builds = ["--build", BUILD] if BUILD else []
        for case, (pattern, replacement), said in CASES:
            with self.subTest(case), tempfile.TemporaryDirectory() as tree:
                copy = os.path.join(tree, "tree")
                shutil.copytree(ROOT, copy, symlinks=True, ignore=shutil.ignore_patterns(
                    ".git", "build-*"))
                listed = os.path.join(copy, "tools", "packages.txt")
                with open(listed, encoding="utf-8") as f:
                    text = f.read()
                changed = re.sub(pattern, replacement, text)
                self.assertNotEqual(changed, text)
                with open(listed, "w", encoding="utf-8") as f:
                    f.write(changed)
                result = subprocess.run([sys.executable, SCRIPT, "--root", copy, *builds],
                                        capture_output=True, text=True, check=False)
                self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                for words in said:
                    self.assertIn(words, result.stdout)


if __name__ == "__main__":
    unittest.main()
