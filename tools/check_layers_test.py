#!/usr/bin/env python3
"""The layer check, on small trees made for it: each fault it must find, and a clean tree."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_layers.py")

CLEAN = {
    "core/Error.h": "",
    "io/Stream.h": '#include "core/Error.h"\n',
    "formats/tga/Bitmap.h": '#include "targa/TgaBitmap.h"\n#include "io/Stream.h"\n',
    "formats/pack/Reader.h": '#include "formats/tga/Bitmap.h"\n',
    "formats/pack/record/Decoder.h": '#include "formats/tga/Bitmap.h"\n',
    "jobs/Extract.cpp": '#include "formats/pack/Reader.h"\n#include "formats/pack/record/Decoder.h"\n',
    "cli/main.cpp": '#include "jobs/Extract.cpp"\n#include <vector>\n',
    "gui/qt/Window.cpp": "#include <QWidget>\n#include <QtCore/QString>\n",
    "targa/TgaBitmap.h": "",
    "targa/TgaCodec.cpp": '#include "targa/TgaInside.h"\n',
    "targa/TgaInside.h": "",
    "testing/Fixture.h": '#include "cli/main.cpp"\n',
    "tests/a_test.cpp": '#include "testing/Fixture.h"\n#include "targa/TgaInside.h"\n',
    "CMakeLists.txt": "add_subdirectory(core)\n",
    "core/CMakeLists.txt": "add_library(core STATIC Error.cpp)\n",
    "formats/pack/record/CMakeLists.txt": "add_library(formats_pack_record STATIC Decoder.cpp)\n",
    "cli/CMakeLists.txt": ("add_library(cli STATIC App.cpp)\ntarget_link_libraries(cli PUBLIC core)\n"
                           "add_executable(packsmith-cli main.cpp)\n"
                           "target_link_libraries(packsmith-cli PRIVATE\n  cli) # not testing\n"),
    "testing/CMakeLists.txt": "add_library(testing STATIC Fixture.cpp)\ntarget_link_libraries(testing PUBLIC cli)\n",
}


def check(changes):
    """Runs the check on the clean tree with changes (path: content, None to remove)."""
    files = dict(CLEAN)
    files.update(changes)
    with tempfile.TemporaryDirectory() as root:
        for path, content in files.items():
            if content is None:
                continue
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(content)
        result = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
        return result.returncode, result.stderr


class CheckLayersTest(unittest.TestCase):
    def test_a_clean_tree_passes(self):
        self.assertEqual(check({}), (0, ""))
        # A window test's own meta-object code, which the build makes.
        self.assertEqual(check({"tests/qt/a_test.cpp": '#include "a_test.moc"\n'}), (0, ""))

    def test_each_fault_is_found_and_named(self):
        cases = {
            "upward": ({"io/Stream.h": '#include "jobs/Extract.cpp"\n'},
                       'io/Stream.h:1: io/ includes "jobs/Extract.cpp" from the layer above it'),
            "beside": ({"cli/main.cpp": '#include "gui/Logic.h"\n', "gui/Logic.h": ""},
                       'cli/main.cpp:1: cli/ includes "gui/Logic.h" from gui/ beside it'),
            "not from the root": ({"jobs/Extract.cpp": '#include "Reader.h"\n'},
                                  '"Reader.h" is not a path from the repository\'s root'),
            "another file's moc": ({"tests/qt/a_test.cpp": '#include "b_test.moc"\n'},
                                   '"b_test.moc" is not a path from the repository\'s root'),
            "moc outside the windows": ({"jobs/Extract.cpp": '#include "Extract.moc"\n'},
                                        '"Extract.moc" is not a path from the repository\'s root'),
            "codec inside": ({"formats/tga/Bitmap.h": '#include "targa/TgaInside.h"\n'},
                             'only "targa/TgaBitmap.h" of the codec library may be included here'),
            "system outside the platform": ({"io/Stream.cpp": "#include <vector>\n#include <unistd.h>\n"},
                                            "io/Stream.cpp:2: <unistd.h> is the system's, which only platform/ includes"),
            "system signals in the front end": ({"cli/App.cpp": "#include <csignal>\n"},
                                                "cli/App.cpp:1: <csignal> is the system's, which only platform/ includes"),
            "Qt outside the windows": ({"gui/Logic.h": "#include <QString>\n"},
                                       "gui/Logic.h:1: <QString> is Qt, which only gui/qt and tests/qt include"),
            "no layer": ({"misc/x.cpp": ""}, "misc/x.cpp: the folder misc/ is in no layer"),
            "round": ({"formats/tga/Bitmap.h": '#include "formats/pack/Reader.h"\n'},
                      "the folders include each other round: formats/pack -> formats/tga -> formats/pack"),
            "misnamed": ({"core/CMakeLists.txt": "add_library(base STATIC Error.cpp)\n"},
                         "the library base is not named after its folder (core)"),
            "other folder": ({"core/CMakeLists.txt": "add_library(core STATIC Error.cpp ../io/Stream.cpp)\n"},
                             "core takes ../io/Stream.cpp from another folder"),
            "program links testing": ({"cli/CMakeLists.txt": CLEAN["cli/CMakeLists.txt"].replace(
                                           "PUBLIC core", "PUBLIC core testing")},
                                      "the program packsmith-cli links testing"),
        }
        for name, (changes, message) in cases.items():
            with self.subTest(name):
                code, errors = check(changes)
                self.assertEqual(code, 1, errors)
                self.assertIn(message, errors)

    def test_a_sub_folder_cycle_through_a_third_folder_is_found(self):
        code, errors = check({
            "formats/tga/Bitmap.h": '#include "formats/wave/Header.h"\n',
            "formats/wave/Header.h": '#include "formats/pack/Reader.h"\n',
        })
        self.assertEqual(code, 1)
        self.assertIn("formats/pack -> formats/tga -> formats/wave -> formats/pack", errors)


if __name__ == "__main__":
    unittest.main()
