"""The parcel tracker and monitor end to end: the real programs, the demo tracking site over HTTPS
with its own certificate authority, a fresh host in a temporary folder, keys from a key file.

Run: python3 tests/e2e/tracker_e2e.py BUILD_DIR
"""

import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.path.join(ROOT, "build")


def wave(path, hertz):
    """A short 8-bit mono tone, enough for a prompt recording."""
    samples = bytes(128 + int(60 * ((i * hertz * 2 // 11025) % 2 * 2 - 1)) for i in range(400))
    header = b"RIFF" + struct.pack("<I", 36 + len(samples)) + b"WAVEfmt " + struct.pack(
        "<IHHIIHH", 16, 1, 1, 11025, 11025, 1, 8) + b"data" + struct.pack("<I", len(samples))
    with open(path, "wb") as out:
        out.write(header + samples)


def read_transcript(path):
    """The events of a transcript as (kind, text) pairs, the text decoded from its escapes."""
    events = []
    if not os.path.exists(path):
        return events
    with open(path, encoding="utf-8") as f:
        for line in f:
            kind, _, payload = line.rstrip("\n").partition("\t")
            text = re.sub(r"\\(\\|r|n|t|x[0-9A-Fa-f]{2})",
                          lambda m: {"\\": "\\", "r": "\r", "n": "\n", "t": "\t"}.get(
                              m.group(1), chr(int(m.group(1)[1:], 16) if m.group(1)[0] == "x" else 0)),
                          payload)
            events.append((kind, text))
    return events


class Host:
    """A fresh user profile, drive C with a speech host and the host program folder, and the
    tracker's program folder with its sounds, pointed at the demo site."""

    def __init__(self, site_port):
        self.root = tempfile.mkdtemp(prefix="bexilo-e2e-")
        self.home = os.path.join(self.root, "home")
        self.drive_c = os.path.join(self.root, "c")
        self.program = os.path.join(self.root, "bexilo")
        appdata = os.path.join(self.home, "AppData", "Roaming")
        os.makedirs(os.path.join(appdata, "Navelo"))
        os.makedirs(os.path.join(self.drive_c, "ubrimo", "navelo"))
        os.makedirs(os.path.join(self.program, "sons"))
        subprocess.run([os.path.join(BUILD, "speech_fixture_host"),
                        os.path.join(self.drive_c, "navelo")], check=True)
        shutil.copy(os.path.join(ROOT, "tools", "hostkit", "pelaso"),
                    os.path.join(self.drive_c, "ubrimo", "navelo", "pelaso"))
        self.ini = os.path.join(appdata, "Navelo", "navelo.ini")
        with open(self.ini, "w", newline="") as f:
            f.write("[NAVELO]\r\nPGMNAVELO=c:\\ubrimo\\navelo\r\n"
                    f"SSL_ARQUIVO_CA={CERTS}/ca.pem\r\nTEMPO_OCIOSO=5\r\n"
                    "[TRADUTOR]\r\nDIRDIFONES=c:\\navelo\\difones\r\nDIRLETRAS=c:\\navelo\\letras\r\n")
        names = set()
        for script in ("bexilo.tml", "bexilo_mon.tml"):
            with open(os.path.join(ROOT, "apps", script), encoding="utf-8-sig") as f:
                names.update(re.findall(r"sons\\(\w+\.wav)", f.read()))
        for i, name in enumerate(sorted(names)):
            wave(os.path.join(self.program, "sons", name), 300 + 20 * i)
        self.set_site(site_port)
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("USERPROFILE", "APPDATA", "WINDIR", "DISPLAY", "WAYLAND_DISPLAY")}
        self.env.update(HOME=self.home, NAVELO_DRIVE_C=self.drive_c, NAVELO_CONSOLE="headless",
                        NAVELO_AUDIO="null")

    def set_site(self, port):
        with open(os.path.join(self.program, "bexilo.url"), "w", newline="") as f:
            f.write(f"https://127.0.0.1:{port}/detalhes.php?P_COD_UNI=\r\n")

    def run(self, program, keys, args=(), timeout=90):
        """Runs a program in the program folder; returns (exit code, events)."""
        keys_file = os.path.join(self.root, "keys")
        transcript = os.path.join(self.root, program + ".transcript")
        with open(keys_file, "w", encoding="utf-8") as f:
            f.write(keys)
        if os.path.exists(transcript):
            os.remove(transcript)
        env = dict(self.env, NAVELO_KEYS=keys_file, NAVELO_TRANSCRIPT=transcript)
        result = subprocess.run([os.path.join(BUILD, program), *args], cwd=self.program, env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=timeout)
        return result.returncode, read_transcript(transcript)

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


def spoken(events):
    return [text for kind, text in events if kind == "speak"]


def written(events):
    return "".join(text for kind, text in events if kind == "write")


CERTS = None
SITE = None
PORT = None


def setUpModule():
    global CERTS, SITE, PORT
    CERTS = os.path.join(BUILD, "e2e-certs")
    subprocess.run(["bash", os.path.join(ROOT, "tools", "tracking-site", "make_certs.sh"), CERTS],
                   check=True)
    port_file = os.path.join(tempfile.mkdtemp(prefix="site-"), "port")
    SITE = subprocess.Popen([sys.executable, os.path.join(ROOT, "tools", "tracking-site", "site.py"),
                             "--certs", CERTS, "--port", "0", "--port-file", port_file,
                             "--advance", "3", "--lifetime", "600"])
    for _ in range(200):
        if os.path.exists(port_file):
            with open(port_file) as f:
                text = f.read().strip()
            if text:
                PORT = int(text)
                return
        time.sleep(0.05)
    raise RuntimeError("the tracking site did not start")


def tearDownModule():
    SITE.send_signal(signal.SIGTERM)
    SITE.wait(10)


class TrackerTest(unittest.TestCase):
    def setUp(self):
        self.host = Host(PORT)

    def tearDown(self):
        self.host.close()

    def test_a_query_speaks_the_latest_event_and_the_user_leaves(self):
        code, events = self.host.run("bexilo", "BB987654321BR{Enter}{Esc}s")
        self.assertEqual(code, 0, events)
        text = written(events)
        self.assertIn("Criando entrada no Navelo.ini.", text)
        self.assertIn("Última atualização:", text)
        latest = text[text.index("Última atualização:"):]
        self.assertIn("Objeto entregue ao destinatário", latest)
        # Only the latest status block is read, not the older events.
        self.assertNotIn("Objeto postado", latest)
        self.assertIn(("sound", "SONS\\BX_FUI.WAV"), events)
        # The first run registered the program with the host and recorded its folder.
        with open(os.path.join(self.host.home, "bexilo.dir"), encoding="cp1252") as f:
            self.assertEqual(f.read().strip(), self.host.program)
        with open(self.host.ini, encoding="cp1252") as f:
            ini = f.read()
        self.assertIn("Rastrear encomendas dos correios", ini)
        self.assertIn("SSL_ARQUIVO_CA=", ini)
        # Nothing is left behind by the start-up batch file.
        self.assertFalse(os.path.exists(os.path.join(self.host.program, "result.log")))

    def test_details_list_every_event_with_separators(self):
        code, events = self.host.run("bexilo", "BB987654321BR{Enter}{Enter}{Down}{Down}{Esc}"
                                     "{Esc}s")
        self.assertEqual(code, 0, events)
        self.assertIn("Objeto entregue ao destinatário", written(events))
        with open(os.path.join(self.host.program, "temp", "vov.info"), encoding="cp1252") as f:
            lines = f.read().splitlines()
        self.assertEqual(lines.count("----------"), 6)
        self.assertFalse(any("<b>" in line or "<li>" in line for line in lines))

    def test_unknown_and_malformed_codes_read_the_site_message(self):
        code, events = self.host.run("bexilo", "XY000000000BR{Enter}")
        self.assertEqual(code, 0, events)
        self.assertIn("Programa encerrado.", written(events))
        self.assertIn("O objeto XY000000000BR não foi encontrado na base de dados.", written(events))
        code, events = self.host.run("bexilo", "123{Enter}")
        self.assertEqual(code, 0, events)
        self.assertIn("Código de objeto inválido: 123", written(events))
        self.assertIn("Programa encerrado.", written(events))

    def test_a_site_that_cannot_be_reached_lets_the_user_try_again(self):
        with socket_closed_port() as port:
            self.host.set_site(port)
            code, events = self.host.run("bexilo", "AA123456789BR{Enter}{Esc}")
        self.assertEqual(code, 0, events)
        self.assertIn("Tecle Enter para fazer outra consulta ou Esc para sair.", written(events))

    def test_an_empty_code_ends_the_program(self):
        code, events = self.host.run("bexilo", "{Enter}")
        self.assertEqual(code, 0, events)
        self.assertNotIn("Fim do script", written(events))


class socket_closed_port:
    """A port on 127.0.0.1 where nothing listens."""

    def __enter__(self):
        import socket
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        self.port = s.getsockname()[1]
        s.close()
        return self.port

    def __exit__(self, *exc):
        return False


class MonitorTest(unittest.TestCase):
    def setUp(self):
        self.host = Host(PORT)

    def tearDown(self):
        self.host.close()

    def test_without_parameters_the_monitor_ends_at_once(self):
        code, events = self.host.run("bexilo_mon", "")
        self.assertEqual(code, 0, events)
        self.assertFalse(any(kind == "sound" for kind, _ in events), events)

    def test_the_monitor_announces_a_change_and_stops_on_the_stop_file(self):
        transcript = os.path.join(self.host.root, "mon.transcript")
        env = dict(self.host.env, NAVELO_TRANSCRIPT=transcript)
        child = subprocess.Popen([os.path.join(BUILD, "bexilo_mon"), "CC111222333BR", "1"],
                                 cwd=self.host.program, env=env, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 60
            while time.time() < deadline:
                events = read_transcript(transcript)
                if sum(1 for kind, text in events
                       if kind == "sound" and text.lower().endswith("mudou.wav")) >= 1:
                    break
                time.sleep(0.2)
            self.assertTrue(any(text.lower().endswith("mudou.wav") for kind, text in events
                                if kind == "sound"), events)
            info = os.path.join(self.host.program, "temp", "vov.info")
            with open(info, encoding="cp1252") as f:
                self.assertEqual(len(f.read().splitlines()), 1)
            open(os.path.join(self.host.program, "stop"), "w").close()
            self.assertEqual(child.wait(30), 0)
        finally:
            if child.poll() is None:
                child.kill()
                child.wait()
        self.assertFalse(os.path.exists(os.path.join(self.host.program, "stop")))
        self.assertIn("Última atualização para o objeto: CC111222333BR", written(events))

    def test_the_tracker_starts_and_stops_its_monitor(self):
        code, events = self.host.run(
            "bexilo", "AA123456789BR{Enter}{Down}{Enter}{wait 4000}{Enter}{wait 2000}{Esc}{Esc}s")
        self.assertEqual(code, 0, events)
        self.assertIn("Parando monitor", written(events))
        # The monitor saw the stop file and ended; it took the file away.
        deadline = time.time() + 30
        while time.time() < deadline and os.path.exists(os.path.join(self.host.program, "stop")):
            time.sleep(0.2)
        self.assertFalse(os.path.exists(os.path.join(self.host.program, "stop")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
