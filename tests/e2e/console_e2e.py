"""The console as a user meets it: which console a program chooses, the terminal when it is
smaller than the grid and when it is resized, and (under Xvfb) a program started minimised that
must leave the keyboard to the window the user is in.

Run: python3 tests/e2e/console_e2e.py BUILD_DIR
"""

import fcntl
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

from e2e_host import clean_environment, make_speech_host

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.path.join(ROOT, "build")
TRAMELIS = os.path.join(BUILD, "tramelis")


class Host:
    """A fresh profile and drive C with the synthetic speech host, and a work folder."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="navelo-console-e2e-")
        self.work = os.path.join(self.root, "work")
        os.makedirs(self.work)
        home, drive_c, _ = make_speech_host(
            self.root, BUILD, "[VIDEO]\r\nCANTOTELA=NAO\r\nLARGURALETRA=8\r\nALTURALETRA=16\r\n")
        self.env = clean_environment("NAVELO_CONSOLE", "NAVELO_KEYS", "NAVELO_SHOW")
        self.env.update(HOME=home, NAVELO_DRIVE_C=drive_c, NAVELO_AUDIO="null")

    def script(self, name, text):
        with open(os.path.join(self.work, name), "w", encoding="utf-8-sig") as f:
            f.write(text)
        return name

    def transcript(self, name):
        path = os.path.join(self.root, name)
        if not os.path.exists(path):
            return ""
        with open(path, encoding="utf-8") as f:
            return f.read()

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


def set_size(fd, columns, rows):
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))


def read_until(fd, pattern, seconds=10):
    """What the terminal shows until pattern (bytes, a regular expression) has appeared."""
    seen = b""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        ready, _, _ = select.select([fd], [], [], 0.1)
        if ready:
            try:
                chunk = os.read(fd, 65536)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
            if re.search(pattern, seen):
                return seen
    return seen


def take_terminal():
    """Run in the child's new session: the pty slave given as standard input becomes its
    controlling terminal."""
    fcntl.ioctl(0, termios.TIOCSCTTY, 0)


class TerminalConsoleTest(unittest.TestCase):
    def setUp(self):
        self.host = Host()
        self.master, self.slave = os.openpty()
        self.process = None

    def tearDown(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        os.close(self.master)
        os.close(self.slave)
        self.host.close()

    def start(self, script, stdout):
        self.process = subprocess.Popen(
            [TRAMELIS, script], cwd=self.host.work, env=self.host.env, stdin=self.slave,
            stdout=stdout, stderr=subprocess.PIPE, start_new_session=True,
            preexec_fn=take_terminal)

    def finish(self):
        os.write(self.master, b"\x1b")
        _, err = self.process.communicate(timeout=20)
        return err.decode("utf-8", "replace")

    def test_a_piped_output_still_draws_in_the_terminal_the_user_types_in(self):
        set_size(self.slave, 100, 30)
        script = self.host.script("tee.tml", 'escreve "ola terminal"\nle mudo t &\n')
        self.start(script, subprocess.PIPE)
        shown = read_until(self.master, rb"ola terminal")
        self.assertIn(b"ola terminal", shown)
        err = self.finish()
        self.assertNotIn("headless", err)
        self.assertEqual(self.process.returncode, 0)

    def test_a_headless_console_says_so_on_standard_error(self):
        script = self.host.script("mudo.tml", 'escreve "nada"\n')
        done = subprocess.run([TRAMELIS, script], cwd=self.host.work, env=self.host.env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=20,
                              start_new_session=True)
        self.assertIn("headless console", done.stderr.decode())
        # Asked for by name, headless needs no explanation.
        env = dict(self.host.env, NAVELO_CONSOLE="headless")
        done = subprocess.run([TRAMELIS, script], cwd=self.host.work, env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=20)
        self.assertEqual(done.stderr, b"")

    def test_a_small_terminal_is_told_and_a_resize_redraws_everything(self):
        set_size(self.slave, 70, 20)
        lines = "".join('escreve "linha %d"\n' % n for n in range(1, 25))
        script = self.host.script("pequeno.tml", lines + "le mudo t &\n")
        self.start(script, self.slave)
        shown = read_until(self.master, rb"linha 24")
        self.assertIn("Terminal de 70x20: o console precisa de 80x25".encode(), shown)
        # Nothing is drawn below the terminal's last line, where the notice stands.
        rows = [int(r) for r in re.findall(rb"\x1b\[(\d+);\d+H", shown)]
        self.assertTrue(rows)
        self.assertLessEqual(max(rows), 20)
        set_size(self.slave, 100, 30)
        os.killpg(self.process.pid, signal.SIGWINCH)
        shown = read_until(self.master, rb"\x1b\[24;1H[^\x1b]*(\x1b\[[0-9;]*m)*linha 23")
        self.assertRegex(shown, rb"\x1b\[2J")
        self.assertRegex(shown, rb"linha 23")
        self.assertNotIn(b"Terminal de", shown)
        self.finish()
        self.assertEqual(self.process.returncode, 0)


def which_all(*names):
    return all(shutil.which(n) for n in names)


@unittest.skipUnless(which_all("Xvfb", "xdotool", "xwininfo"), "needs Xvfb, xdotool and xwininfo")
class MinimisedStartTest(unittest.TestCase):
    """Under Xvfb with no window manager, where a window that is mapped also takes the keyboard."""

    def setUp(self):
        self.host = Host()
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                      "1024x768x24", "-nolisten", "tcp"], pass_fds=[write_end],
                                     stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        self.host.env["DISPLAY"] = ":" + number.decode().strip()
        self.processes = []

    def tearDown(self):
        for p in self.processes:
            if p.poll() is None:
                p.kill()
                p.wait()
        self.xvfb.terminate()
        self.xvfb.wait()
        self.host.close()

    def x(self, *args):
        return subprocess.run(list(args), env=self.host.env, capture_output=True, text=True,
                              timeout=20).stdout.strip()

    def window(self, name, seconds=15):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            found = self.x("xdotool", "search", "--name", "^%s$" % name)
            if found:
                return found.split()[0]
            time.sleep(0.1)
        self.fail("no window called " + name)

    def start(self, args, transcript, **extra):
        env = dict(self.host.env, NAVELO_TRANSCRIPT=os.path.join(self.host.root, transcript),
                   **extra)
        p = subprocess.Popen(args, cwd=self.host.work, env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(p)
        return p

    def assert_keyboard_stays_with(self, window, other):
        self.assertIn("IsUnMapped", self.x("xwininfo", "-id", other))
        self.assertEqual(int(self.x("xdotool", "getwindowfocus")), int(window))

    def test_programs_started_minimised_leave_the_keyboard_to_the_user(self):
        script = self.host.script("usuario.tml",
                                  "@laco\nle tecla mudo k &\nescreve k\n"
                                  'se k = "000#27" termina\ndesvia @laco\n')
        user = self.start([TRAMELIS, script], "usuario")
        user_window = self.window("usuario")
        end = time.monotonic() + 10
        while time.monotonic() < end and self.x("xdotool", "getwindowfocus") != user_window:
            time.sleep(0.1)

        # The monitor opens minimised whoever starts it; any program does with NAVELO_SHOW.
        monitor = self.start([os.path.join(BUILD, "bexilo_mon"), "AA123456789BR", "10"], "monitor")
        monitor_window = self.window("bexilo_mon")
        other = self.host.script("outro.tml", 'escreve "outro"\nespera 30\n')
        self.start([TRAMELIS, other], "outro", NAVELO_SHOW="minimized")
        other_window = self.window("outro")
        time.sleep(1)
        self.assert_keyboard_stays_with(user_window, monitor_window)
        self.assert_keyboard_stays_with(user_window, other_window)

        self.x("xdotool", "key", "x")
        self.x("xdotool", "key", "Escape")
        user.wait(timeout=20)
        self.assertIn("write\t000#120\\r\\n", self.host.transcript("usuario"))
        monitor.kill()


if __name__ == "__main__":
    unittest.main(verbosity=2)
