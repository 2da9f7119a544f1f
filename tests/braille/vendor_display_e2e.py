"""The braille display of the Windows build, through a stand-in for the vendor's fsbrldspapi.dll
(tests/braille/fake_vendor_display.cpp), with the program itself under Wine: the console's rows
arrive at the library as Portuguese braille cells, and key events the library posts reach the
script's LE TECLA.

Run: python3 tests/braille/vendor_display_e2e.py BUILD_DIR FAKE_LIBRARY_DIR  (WINEPREFIX set)
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_host import clean_environment, make_speech_host  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.path.join(ROOT, "build-win64")
FAKE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.path.join(BUILD, "tests", "fake_braille")

# Braille ASCII letters to dots, enough to write the expected rows readably.
DOTS = {
    "a": "1", "b": "12", "c": "14", "s": "234", "z": "1356", "u": "136", "l": "123",
    "{": "46", "#": "3456", " ": " ", "ã": "345", "ç": "12346", "o": "135",
}

SCRIPT = """\
escreve "Casa 12"
le tecla a
escreve "tecla " a
le tecla b
escreve "tecla " b
le tecla c
escreve "tecla " c
le tecla d
escreve "tecla " d
le tecla e
escreve "tecla " e
escreve "CASA azul"
escreve "fim"
"""

# Display key events as type:data: dots 1-2-4 pressed and released ("f"), a routing bar
# moving down, dot 3 alone (a full stop), dot 7 (Backspace) and dot 8 (Enter).
KEYS = "1:256 1:512 1:2048 1:3 3:32 1:1024 1:3 1:16384 1:3 1:32768 1:3"


def braille_line(text, cells=40):
    dots = [DOTS[c] for c in text] + [" "] * (cells - len(text))
    return "|".join(dots[:cells])


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class VendorDisplayUnderWine(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="navelo-fsbrl-")

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def run_program(self):
        work = os.path.join(self.tmp, "work")
        os.makedirs(work)
        home, _, _ = make_speech_host(self.tmp, BUILD, runner=("wine",))
        with open(os.path.join(work, "braille.tml"), "w", encoding="cp1252") as f:
            f.write(SCRIPT)
        env = clean_environment()
        self.log = os.path.join(self.tmp, "cells")
        env.update(HOME=home, NAVELO_DRIVE_C=os.path.join(self.tmp, "c"),
                   NAVELO_CONSOLE="headless", NAVELO_AUDIO="null",
                   NAVELO_TRANSCRIPT=os.path.join(self.tmp, "transcript"),
                   NAVELO_TEST_USERPROFILE=home,
                   NAVELO_TEST_APPDATA=os.path.join(home, "AppData", "Roaming"),
                   NAVELO_TEST_WINDIR=os.path.join(self.tmp, "c", "windows"),
                   # The stand-in library is found on the path, as an installed one would be.
                   WINEPATH=windows_path(FAKE),
                   NAVELO_FAKE_BRAILLE_LOG=windows_path(self.log),
                   NAVELO_FAKE_BRAILLE_KEYS=KEYS)
        return subprocess.run(["wine", os.path.join(BUILD, "tramelis.exe"), "braille.tml"],
                              cwd=work, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=60)

    def transcript_writes(self):
        path = os.path.join(self.tmp, "transcript")
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8") as f:
            return [line.rstrip("\n").split("\t", 1)[1] for line in f if line.startswith("write\t")]

    def test_rows_arrive_as_cells_and_keys_reach_the_script(self):
        done = self.run_program()
        self.assertEqual(done.returncode, 0, done.stdout)
        with open(self.log, encoding="ascii") as f:
            rows = [line.rstrip("\n") for line in f]
        # The console opened on a blank row: 40 empty cells.
        self.assertEqual(rows[0], braille_line(""))
        self.assertIn(braille_line("{casa #ab"), rows)
        self.assertIn(braille_line("{{casa azul"), rows)
        self.assertEqual(self.transcript_writes(), [
            "Casa 12\\r\\n", "tecla 000#102\\r\\n", "tecla 000#0#80\\r\\n",
            "tecla 000#46\\r\\n", "tecla 000#8\\r\\n", "tecla 000#13\\r\\n",
            "CASA azul\\r\\n", "fim\\r\\n"])


if __name__ == "__main__":
    unittest.main()
