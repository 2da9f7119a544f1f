"""What the end-to-end tests share: a fresh user profile and drive C that hold the small
synthetic speech host the script tests use, an environment without the developer's own, and the
demo tracking site."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

# Variables of the developer's session that would take the place of the test's profile and
# drives, or put the program on the developer's screen.
SESSION_VARIABLES = ("USERPROFILE", "APPDATA", "WINDIR", "DISPLAY", "WAYLAND_DISPLAY")


def clean_environment(*more):
    """This process's environment without the session's variables and those named."""
    drop = SESSION_VARIABLES + more
    return {k: v for k, v in os.environ.items() if k not in drop}


def make_speech_host(root, build, ini_text="", runner=()):
    """Makes root/home, whose navelo.ini (ini_text, then the speech host's folders) names the
    speech host made on drive C (root/c, as c:\\navelo); gives (home, drive_c, ini). runner runs
    the build's host maker, e.g. ("wine",) for a Windows build."""
    home = os.path.join(root, "home")
    ini_dir = os.path.join(home, "AppData", "Roaming", "Navelo")
    os.makedirs(ini_dir, exist_ok=True)
    drive_c = os.path.join(root, "c")
    os.makedirs(drive_c, exist_ok=True)
    maker = os.path.join(build, "speech_fixture_host" + (".exe" if runner else ""))
    subprocess.run([*runner, maker, os.path.join(drive_c, "navelo")], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL if runner else None)
    ini = os.path.join(ini_dir, "navelo.ini")
    if ini_text:
        with open(ini, "w", newline="") as f:
            f.write(ini_text)
    subprocess.run(["bash", os.path.join(ROOT, "tests", "speech_host_ini.sh"), ini,
                    "c:\\navelo\\difones", "c:\\navelo\\letras"], check=True)
    return home, drive_c, ini


class TrackingSite:
    """The demo tracking site (tools/tracking-site) over HTTPS on a free port of 127.0.0.1, its
    certificates made in certs (the authority in certs/ca.pem); its parcels advance every 3 s
    while it runs, and it ends on its own after lifetime seconds."""

    def __init__(self, certs, lifetime):
        self.certs = certs
        subprocess.run(["bash", os.path.join(ROOT, "tools", "tracking-site", "make_certs.sh"),
                        certs], check=True, timeout=60)
        self.dir = tempfile.mkdtemp(prefix="navelo-site-")
        port_file = os.path.join(self.dir, "port")
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(ROOT, "tools", "tracking-site", "site.py"),
             "--certs", certs, "--port", "0", "--port-file", port_file,
             "--advance", "3", "--lifetime", str(lifetime)])
        self.port = None
        for _ in range(200):
            if os.path.exists(port_file):
                with open(port_file) as f:
                    text = f.read().strip()
                if text:
                    self.port = int(text)
                    return
            time.sleep(0.05)
        self.kill()
        raise RuntimeError("the tracking site did not start")

    def stop(self):
        """Asks the site to end, and ends it when it does not within 10 s."""
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def kill(self):
        """Ends the site at once (from a signal handler)."""
        self.process.kill()
        shutil.rmtree(self.dir, ignore_errors=True)
