"""The MBROLA-based engine end to end: navelo.ini selects service type 3, the tracker starts and
its first prompt is spoken by the stand-in voice into the WAV capture, where its pitch is
measured; without the stand-in's unit set, or with a broken prosody file (whose problem is written
and spoken), the engine does not start and our diphone synthesizer speaks instead.

Run: python3 tests/e2e/mbrola_voice_e2e.py BUILD_DIR
"""

import math
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.path.join(ROOT, "build")
sys.path.insert(0, os.path.join(ROOT, "tools", "hostkit"))
sys.dont_write_bytecode = True

from kitlib import mbrola  # noqa: E402
from e2e_host import clean_environment  # noqa: E402

CAPTURE_RATE = 22050


def silent_wave(path):
    samples = bytes([128]) * 200
    header = b"RIFF" + struct.pack("<I", 36 + len(samples)) + b"WAVEfmt " + struct.pack(
        "<IHHIIHH", 16, 1, 1, 11025, 11025, 1, 8) + b"data" + struct.pack("<I", len(samples))
    with open(path, "wb") as out:
        out.write(header + samples)


def synthetic_units():
    """A unit for every phoneme of the voice: 100 Hz pulses ringing at a formant for the voiced
    ones, noise for the others (so the test needs no espeak-ng)."""
    units = []
    rng = random.Random(5)
    for n, (name, (_, voiced)) in enumerate(sorted(mbrola.PHONEMES.items())):
        if voiced:
            formant = 400 + 37 * n
            x = [0.0] * 4800
            marks = list(range(80, 4800 - 160, 160))
            for m in marks:
                for k in range(160):
                    x[m + k] += 9000 * math.exp(-k / 25) * math.sin(2 * math.pi * formant * k / 16000)
            samples = [int(v) for v in x]
        else:
            samples = [rng.randint(-2500, 2500) for _ in range(2400)]
            marks = list(range(40, 2360, 80))
        units.append((name, voiced, samples, marks))
    return units


def read_capture(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b"RIFF" and struct.unpack("<I", data[24:28])[0] == CAPTURE_RATE
    n = struct.unpack("<I", data[40:44])[0]
    return list(struct.unpack("<%dh" % (n // 2), data[44:44 + n - n % 2]))


def voiced_frames(x, low=80, high=190):
    """How many 30 ms frames of x hold a periodic sound with its pitch between low and high Hz."""
    frame = int(0.03 * CAPTURE_RATE)
    count = 0
    for start in range(0, len(x) - frame, frame):
        seg = x[start:start + frame]
        energy = sum(v * v for v in seg)
        if energy < frame * 300 * 300:
            continue
        best, best_lag = 0.0, 0
        rs = {}
        for lag in range(CAPTURE_RATE // 400, CAPTURE_RATE // 70):
            rs[lag] = sum(a * b for a, b in zip(seg, seg[lag:])) / energy
            if rs[lag] > best:
                best, best_lag = rs[lag], lag
        if best < 0.4:
            continue
        lag = min(l for l, r in rs.items() if r >= 0.9 * best)
        if low <= CAPTURE_RATE / lag <= high:
            count += 1
    return count


class Host:
    def __init__(self, with_units, prosody=None):
        self.root = tempfile.mkdtemp(prefix="mbrola-e2e-")
        home = os.path.join(self.root, "home")
        appdata = os.path.join(home, "AppData", "Roaming", "Navelo")
        drive_c = os.path.join(self.root, "c")
        self.program = os.path.join(self.root, "bexilo")
        os.makedirs(appdata)
        os.makedirs(os.path.join(drive_c, "ubrimo", "navelo"))
        os.makedirs(os.path.join(self.program, "sons"))
        subprocess.run([os.path.join(BUILD, "speech_fixture_host"), os.path.join(drive_c, "navelo")],
                       check=True)
        shutil.copy(os.path.join(ROOT, "tools", "hostkit", "pelaso"),
                    os.path.join(drive_c, "ubrimo", "navelo", "pelaso"))
        voz = os.path.join(drive_c, "voz")
        os.makedirs(voz)
        for name in mbrola.DATA_FILES:
            with open(os.path.join(voz, name), "wb") as f:
                f.write(mbrola.cp1252_file(name))
        if prosody is not None:
            with open(os.path.join(voz, "portug.pro"), "wb") as f:
                f.write(prosody.encode("cp1252"))
        units = synthetic_units()
        with open(os.path.join(voz, "portug.dfn"), "wb") as f:
            f.write(mbrola.dfn_text([u[0] for u in units]))
        if with_units:
            with open(os.path.join(voz, "portug.uni"), "wb") as f:
                f.write(mbrola.unit_set_bytes(units))
        with open(os.path.join(appdata, "navelo.ini"), "w", newline="") as f:
            f.write("[NAVELO]\r\nPGMNAVELO=c:\\ubrimo\\navelo\r\n"
                    "[TRADUTOR]\r\nDIRDIFONES=c:\\navelo\\difones\r\nDIRLETRAS=c:\\navelo\\letras\r\n"
                    "SAPI=S\r\n[SERVFALA]\r\nTIPOSAPI=3\r\nVELOCIDADE=0\r\nTOM=0\r\n"
                    "[SORANATTS]\r\nDIR=c:\\voz\r\nBASE=portug\r\nMBROLA_DB=br4\r\n")
        with open(os.path.join(ROOT, "apps", "bexilo.tml"), encoding="utf-8-sig") as f:
            for name in set(re.findall(r"sons\\(\w+\.wav)", f.read())):
                silent_wave(os.path.join(self.program, "sons", name))
        self.env = clean_environment()
        keys = os.path.join(self.root, "keys")
        open(keys, "w").close()
        self.capture = os.path.join(self.root, "capture.wav")
        self.transcript = os.path.join(self.root, "transcript")
        self.env.update(HOME=home, NAVELO_DRIVE_C=drive_c, NAVELO_CONSOLE="headless",
                        NAVELO_AUDIO=self.capture, NAVELO_KEYS=keys,
                        NAVELO_TRANSCRIPT=self.transcript)
        # No MBROLA library or program of this machine may take the place of the stand-in.
        self.env["PATH"] = "/usr/bin:/bin"

    def run(self):
        """Runs the tracker until it waits for the code (the key file is empty then)."""
        result = subprocess.run([os.path.join(BUILD, "bexilo")], cwd=self.program, env=self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=120)
        with open(self.transcript, encoding="utf-8") as f:
            spoken = [line.rstrip("\n").split("\t", 1)[1] for line in f
                      if line.startswith("speak\t")]
        return result.returncode, spoken, read_capture(self.capture)

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


class MbrolaVoiceTest(unittest.TestCase):
    def test_the_first_prompt_is_spoken_by_the_stand_in_voice(self):
        host = Host(with_units=True)
        try:
            code, spoken, capture = host.run()
        finally:
            host.close()
        self.assertEqual(code, 3)  # waiting for the tracking code when the keys ran out
        self.assertTrue(spoken, "nothing was spoken")
        # The voice's pitch (130 Hz at 70 to 130 %) is heard for a good part of a second.
        self.assertGreaterEqual(voiced_frames(capture), 10)

    def test_without_the_unit_set_the_diphone_synthesizer_speaks(self):
        host = Host(with_units=False)
        try:
            code, spoken, capture = host.run()
        finally:
            host.close()
        self.assertEqual(code, 3)
        self.assertTrue(spoken)
        self.assertEqual(voiced_frames(capture), 0)
        self.assertGreater(len(capture), 0)  # the diphone synthesizer's units were played

    def test_a_prosody_file_without_keywords_is_written_and_spoken_and_the_start_fails(self):
        host = Host(with_units=True, prosody="[DURAÇÃO]\r\na=100\r\n[PROSÓDIA]\r\nHERTZ=130\r\n")
        try:
            code, spoken, capture = host.run()
            with open(host.transcript, encoding="utf-8") as f:
                written = [line.rstrip("\n").split("\t", 1)[1] for line in f
                           if line.startswith("write\t")]
        finally:
            host.close()
        self.assertEqual(code, 3)
        self.assertEqual(spoken[0], "Prosódia: palavras chaves ausentes")
        self.assertEqual(written[:2], ["Prosódia: palavras chaves ausentes", "\\r\\n"])
        self.assertEqual(voiced_frames(capture), 0)


if __name__ == "__main__":
    unittest.main()
