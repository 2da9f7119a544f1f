"""The braille display through a real brltty with its virtual display driver and no hardware:
the console's rows arrive as Portuguese braille on a 40-cell display, the display's keys reach the
script, and brltty going away mid-run changes nothing else.

Run: python3 tests/braille/brltty_e2e.py BUILD_DIR
Exits 77 (skipped) when brltty is not installed or the build has no BrlAPI.
"""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_host import clean_environment, make_speech_host  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.path.join(ROOT, "build")
BRLTTY = shutil.which("brltty") or ("/usr/sbin/brltty" if os.path.exists("/usr/sbin/brltty") else None)
BRLAPI_BASE_PORT = 4101

# Braille ASCII letters to dots, enough to write the expected rows readably.
DOTS = {
    "a": "1", "b": "12", "c": "14", "d": "145", "e": "15", "f": "124", "g": "1245", "h": "125",
    "i": "24", "j": "245", "k": "13", "l": "123", "m": "134", "n": "1345", "o": "135",
    "p": "1234", "r": "1235", "s": "234", "t": "2345", "u": "136", "v": "1236", "x": "1346",
    "z": "1356", "{": "46", "#": "3456", " ": " ", ".": "3", ":": "25", "~": "5", "ã": "345",
    "ê": "126", "ç": "12346", "á": "12356", "é": "123456", "í": "34", "ó": "346", "ú": "23456",
}


def braille_line(text, cells=40):
    """The vr driver's line for text written in braille characters, padded with blank cells."""
    dots = [DOTS[c] for c in text] + [" "] * (cells - len(text))
    return 'Braille "' + "|".join(dots[:cells]) + '"'


def free_port(low=20000, high=60000):
    for port in range(low + os.getpid() % 1000 * 37 % (high - low), high):
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
                return port
            except OSError:
                continue
    raise RuntimeError("no free port")


def wait_port(port, seconds=10):
    deadline = time.time() + seconds
    while time.time() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return True
        except OSError:
            time.sleep(0.05)
    return False


class VirtualDisplay:
    """The display side of brltty's virtual driver: says it has 40 cells, collects what brltty
    shows, sends key commands."""

    def __init__(self, port):
        deadline = time.time() + 10
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", port), timeout=0.5)
                break
            except OSError:
                if time.time() > deadline:
                    raise
                time.sleep(0.05)
        self.sock.sendall(b"cells 40\n")
        self.buffer = b""
        self.lines = []

    def pump(self, seconds=0.1):
        self.sock.settimeout(seconds)
        try:
            while True:
                data = self.sock.recv(65536)
                if not data:
                    break
                self.buffer += data
        except (socket.timeout, OSError):
            pass
        *complete, self.buffer = self.buffer.split(b"\n")
        self.lines += [line.decode("utf-8", "replace").rstrip("\r") for line in complete]

    def wait_for(self, line, seconds=10):
        deadline = time.time() + seconds
        while time.time() < deadline:
            if line in self.lines:
                return True
            self.pump()
        return line in self.lines

    def send(self, command):
        self.sock.sendall(command.encode() + b"\n")


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
escreve "Ação"
espera 3
escreve "Depois"
escreve "fim"
"""


@unittest.skipUnless(BRLTTY, "brltty is not installed")
class BrlttyVirtualDisplay(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="navelo-brltty-")
        self.vr_port = free_port()
        api_port = free_port(BRLAPI_BASE_PORT + 100, BRLAPI_BASE_PORT + 20000)
        self.api_host = f"127.0.0.1:{api_port - BRLAPI_BASE_PORT}"
        self.brltty = subprocess.Popen(
            [BRLTTY, "-n", "-e", "-q", "-b", "vr", "-d", f"server:127.0.0.1:{self.vr_port}",
             "-x", "no", "-s", "no", "-A", f"auth=none,host={self.api_host}",
             "-P", os.path.join(self.tmp, "brltty.pid"), "-W", self.tmp, "-U", self.tmp,
             "-f", "/dev/null"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.display = VirtualDisplay(self.vr_port)
        self.assertTrue(wait_port(api_port), "brltty's BrlAPI server did not start")
        # brltty shows its own first row once it has taken the display; the program may ask for
        # the size from then on.
        deadline = time.time() + 10
        while time.time() < deadline and not any(l.startswith("Braille") for l in self.display.lines):
            self.display.pump()

    def tearDown(self):
        if self.brltty.poll() is None:
            os.killpg(self.brltty.pid, signal.SIGKILL)
            self.brltty.wait()
        self.display.sock.close()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def start_program(self):
        work = os.path.join(self.tmp, "work")
        os.makedirs(work)
        home, _, _ = make_speech_host(self.tmp, BUILD)
        with open(os.path.join(work, "braille.tml"), "w", encoding="cp1252") as f:
            f.write(SCRIPT)
        env = clean_environment()
        env.update(HOME=home, NAVELO_DRIVE_C=os.path.join(self.tmp, "c"),
                   NAVELO_CONSOLE="headless", NAVELO_AUDIO="null",
                   NAVELO_TRANSCRIPT=os.path.join(self.tmp, "transcript"),
                   BRLAPI_HOST=self.api_host)
        return subprocess.Popen([os.path.join(BUILD, "tramelis"), "braille.tml"], cwd=work,
                                env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT)

    def transcript_writes(self):
        path = os.path.join(self.tmp, "transcript")
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8") as f:
            return [line.rstrip("\n").split("\t", 1)[1] for line in f if line.startswith("write\t")]

    def wait_writes(self, count, seconds=10):
        deadline = time.time() + seconds
        while time.time() < deadline and len(self.transcript_writes()) < count:
            self.display.pump(0.05)
        return self.transcript_writes()

    def test_rows_keys_and_brltty_going_away(self):
        program = self.start_program()
        try:
            # The first row, in Portuguese braille on the 40 cells; the rest of the row is blank.
            self.assertTrue(self.display.wait_for(braille_line("{casa #ab")),
                            "\n".join(self.display.lines[-5:]))
            # Keys of the display: a chord (dots 1-2-4 is "f"), line up, dot 3 alone (a full
            # stop), Backspace and Enter.
            expected_writes = ["tecla 000#102\\r\\n", "tecla 000#0#72\\r\\n",
                               "tecla 000#46\\r\\n", "tecla 000#8\\r\\n", "tecla 000#13\\r\\n"]
            for command, expected in zip(("PASSDOTS 11", "LNUP", "PASSDOTS 4", "KEY_BACKSPACE",
                                          "KEY_ENTER"), expected_writes):
                count = len(self.transcript_writes()) + 1
                self.display.send(command)
                writes = self.wait_writes(count)
                # After the last key the script goes straight on to its next line, which may
                # already be written: the key's own line is the one at its place.
                self.assertGreaterEqual(len(writes), count, f"{command} did not reach the script")
                self.assertEqual(writes[count - 1], expected, command)
            self.assertTrue(self.display.wait_for(braille_line("{ação")))
            # brltty goes away during the wait: the program carries on and ends normally.
            os.killpg(self.brltty.pid, signal.SIGKILL)
            self.brltty.wait()
            out, _ = program.communicate(timeout=30)
            self.assertEqual(program.returncode, 0, out)
            self.assertEqual(self.transcript_writes()[-2:], ["Depois\\r\\n", "fim\\r\\n"])
        finally:
            if program.poll() is None:
                program.kill()
                program.wait()

    def test_a_blank_row_is_forty_empty_cells(self):
        program = self.start_program()
        try:
            self.assertTrue(self.display.wait_for(braille_line("{casa #ab")))
            # The console opened on a blank first row before anything was written.
            opened = [line for line in self.display.lines if line == braille_line("")]
            self.assertTrue(opened, "\n".join(self.display.lines[-5:]))
        finally:
            program.kill()
            program.wait()


if __name__ == "__main__":
    if BRLTTY is None:
        print("skipped: brltty is not installed")
        sys.exit(77)
    unittest.main()
