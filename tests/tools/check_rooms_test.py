"""tools/check_rooms.py on small trees made for each case."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                      "check_rooms.py")

# A tree whose rooms all point the right way; each case adds files to it.
CLEAN = {
    "settings/settings.h": "#pragma once\n",
    "settings/CMakeLists.txt": "add_library(settings STATIC settings.cpp)\n"
                               "add_library(tremlo::settings ALIAS settings)\n",
    "engine/engine.h": '#pragma once\n#include "settings.h"\n#include <vector>\n',
    "engine/CMakeLists.txt": "add_library(engine STATIC engine.cpp)\n"
                             "add_library(tremlo::engine ALIAS engine)\n"
                             "target_link_libraries(engine PUBLIC tremlo::settings)\n",
    "ui/menus/menu_commands.h": '#pragma once\n#include "engine.h"\n#include "generated.h"\n',
    "app/main.cpp": '#include "menu_commands.h"\n',
}

CASES = [
    ("clean", {}, 0, []),
    ("include from a lower room", {
        "settings/frm_options.cpp": '#include "settings.h"\n\n#include "menu_commands.h"\n',
    }, 1, ["settings/frm_options.cpp:3: room settings includes ui/menus's header "
           "menu_commands.h"]),
    ("link from a lower room", {
        "settings/CMakeLists.txt": CLEAN["settings/CMakeLists.txt"]
        + "# links what it may not\ntarget_link_libraries(settings\n"
          "    PUBLIC Qt6::Widgets\n    tremlo::engine)\n",
    }, 1, ["settings/CMakeLists.txt:4: room settings links engine's target tremlo::engine"]),
]


class CheckRooms(unittest.TestCase):
    def test_reports_each_use_against_the_direction(self):
        for name, changes, status, findings in CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as root:
                for path, text in {**CLEAN, **changes}.items():
                    os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
                    with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                        f.write(text)
                result = subprocess.run([sys.executable, SCRIPT, "--root", root],
                                        capture_output=True, text=True, check=False)
                self.assertEqual(result.stdout.splitlines(), findings)
                self.assertEqual(result.returncode, status)


if __name__ == "__main__":
    unittest.main()
