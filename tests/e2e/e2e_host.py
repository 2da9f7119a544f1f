"""What the end-to-end tests share: a fresh user profile and drive C that hold the small
synthetic speech host the script tests use, and an environment without the developer's own."""

import os
import subprocess

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
