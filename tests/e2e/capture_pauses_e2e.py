"""The WAV capture holds the program's pauses as a listener hears them: tramelis speaks with the
synthetic speech host of the script tests into NAVELO_AUDIO=file.wav, and the silences in the file
are measured. A comma and a full stop leave their pauses (150 and 250 ms by default), ESPERA MS
500 between two sounds leaves half a second, and continuous speech gets no silence inserted.

Run: python3 tests/e2e/capture_pauses_e2e.py BUILD_DIR
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

from e2e_host import clean_environment, make_speech_host

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.path.join(ROOT, "build")
CAPTURE_RATE = 22050


def read_capture(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b"RIFF" and struct.unpack("<I", data[24:28])[0] == CAPTURE_RATE
    n = struct.unpack("<I", data[40:44])[0]
    return struct.unpack("<%dh" % (n // 2), data[44:44 + n - n % 2])


def silences(x, shortest=0.01):
    """The runs of silence (|sample| < 50) inside x of at least `shortest` seconds, in seconds."""
    runs, run = [], 0
    for v in x:
        if -50 < v < 50:
            run += 1
            continue
        if run >= shortest * CAPTURE_RATE:
            runs.append(run / CAPTURE_RATE)
        run = 0
    return runs  # a run at the very end is no pause between sounds


class CapturePauses(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="navelo_capture_pauses_")
        os.makedirs(os.path.join(self.tmp, "work"))
        self.home, _, _ = make_speech_host(self.tmp, BUILD)
        self.keys = os.path.join(self.tmp, "keys")
        open(self.keys, "w").close()

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def capture(self, *lines):
        work = os.path.join(self.tmp, "work")
        with open(os.path.join(work, "t.tml"), "w", newline="") as f:
            f.write("".join(line + "\r\n" for line in lines))
        wav = os.path.join(self.tmp, "capture.wav")
        env = clean_environment()
        env.update(HOME=self.home, NAVELO_DRIVE_C=os.path.join(self.tmp, "c"),
                   NAVELO_CONSOLE="headless", NAVELO_AUDIO=wav, NAVELO_KEYS=self.keys)
        done = subprocess.run([os.path.join(BUILD, "tramelis"), "t.tml"], cwd=work, env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        return read_capture(wav)

    def test_continuous_speech_gets_no_silence(self):
        x = self.capture('fala "um dois"')
        self.assertGreater(len(x), 0.3 * CAPTURE_RATE)
        self.assertEqual(silences(x), [])

    def test_punctuation_pauses_are_in_the_file(self):
        plain = len(self.capture('fala "um dois"'))
        for text, pause in (("um, dois", 0.15), ("um. dois", 0.25)):
            x = self.capture('fala "%s"' % text)
            runs = silences(x, 0.05)
            self.assertEqual(len(runs), 1, (text, runs))
            self.assertAlmostEqual(runs[0], pause, delta=0.01, msg=text)
            self.assertGreaterEqual(len(x) - plain, pause * CAPTURE_RATE, text)

    def test_espera_between_two_sounds_is_silence(self):
        x = self.capture('fala "um"', "espera ms 500", 'fala "dois"')
        runs = silences(x, 0.05)
        self.assertEqual(len(runs), 1, runs)
        self.assertAlmostEqual(runs[0], 0.5, delta=0.01)


if __name__ == "__main__":
    unittest.main(verbosity=2)
