"""Desktop automation against a real X server: scripts type accented Portuguese, press keys with
modifiers and click into a small GTK window of another program (desktop_window.py, which records
what it receives), find, minimise, restore and close it by title, read its title and its focused
control through the accessibility bus; and the commands say why when there is no desktop.

Xvfb runs with -noreset (otherwise the keymap resets when the last client leaves), openbox gives
the EWMH properties, the Brazilian ABNT2 and the US layouts are set in turn with setxkbmap, and a
private session bus carries the accessibility bus.

Run: python3 tests/e2e/desktop_e2e.py BUILD_DIR
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from e2e_host import clean_environment, make_speech_host

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.path.join(ROOT, "build")
TRAMELIS = os.path.join(BUILD, "tramelis")
WINDOW = os.path.join(os.path.dirname(os.path.abspath(__file__)), "desktop_window.py")
TEXT = "Ação À é você Ç ü"


def gtk_python():
    """A Python that has GTK 3 through python3-gi (the build's own may be another)."""
    for candidate in (sys.executable, "/usr/bin/python3"):
        if candidate and os.path.exists(candidate):
            probe = subprocess.run(
                [candidate, "-c", "import gi; gi.require_version('Gtk', '3.0'); "
                                  "from gi.repository import Gtk"],
                capture_output=True)
            if probe.returncode == 0:
                return candidate
    return None


def which_all(*names):
    return all(shutil.which(n) for n in names)


PYTHON_GTK = gtk_python()
X_TOOLS = ("Xvfb", "setxkbmap", "xmodmap", "xprop", "xset", "xdotool", "openbox")
HAVE_X = which_all(*X_TOOLS)
X_REASON = "needs " + ", ".join(X_TOOLS) + " (xvfb, x11-xkb-utils, x11-xserver-utils, xdotool, openbox)"
GTK_REASON = "needs python3-gi with GTK 3 (gir1.2-gtk-3.0)"


class Host:
    """A fresh profile and drive C with the synthetic speech host, and a work folder."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="navelo-desktop-e2e-")
        self.work = os.path.join(self.root, "work")
        os.makedirs(self.work)
        home, drive_c, _ = make_speech_host(self.root, BUILD)
        self.env = clean_environment("NAVELO_CONSOLE", "NAVELO_KEYS", "DBUS_SESSION_BUS_ADDRESS",
                                     "AT_SPI_BUS_ADDRESS", "XMODIFIERS", "GTK_IM_MODULE")
        self.env.update(HOME=home, NAVELO_DRIVE_C=drive_c, NAVELO_AUDIO="null",
                        NAVELO_CONSOLE="headless", GTK_IM_MODULE="gtk-im-context-simple",
                        NO_AT_BRIDGE="1")
        self.runs = 0

    def run(self, script, env=None, timeout=60):
        """Runs a script (UTF-8 text, saved as cp1252); gives (exit code, transcript lines)."""
        self.runs += 1
        name = "s%d.tml" % self.runs
        with open(os.path.join(self.work, name), "w", encoding="cp1252") as f:
            f.write(script)
        transcript = os.path.join(self.root, "t%d.txt" % self.runs)
        done = subprocess.run([TRAMELIS, name], cwd=self.work,
                              env=dict(env or self.env, NAVELO_TRANSCRIPT=transcript),
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
        lines = []
        if os.path.exists(transcript):
            with open(transcript, encoding="utf-8") as f:
                lines = f.read().splitlines()
        return done.returncode, lines

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


def written(lines):
    return [l.split("\t", 1)[1] for l in lines if l.startswith("write\t")]


def failed_line(lines):
    """The line the run stopped on with an execution error, or None."""
    for i, l in enumerate(lines):
        if l == "speak\tErro de execução na linha " and i + 1 < len(lines):
            return int(lines[i + 1].split("\t", 1)[1])
    return None


class NoDesktopTest(unittest.TestCase):
    """Without a display the commands say why and fail; without a bus MSAA is empty at once."""

    def setUp(self):
        self.host = Host()

    def tearDown(self):
        self.host.close()

    def test_no_display_and_wayland_only_are_said(self):
        code, lines = self.host.run('digita "a"\n')
        self.assertIn("DIGITA não disponível: não há display gráfico.", written(lines))
        self.assertEqual(failed_line(lines), 1)
        env = dict(self.host.env, WAYLAND_DISPLAY="wayland-0")
        code, lines = self.host.run('janela minimiza "x"\n', env=env)
        self.assertTrue(any(w.startswith("JANELA não disponível: a sessão Wayland")
                            for w in written(lines)), lines)

    def test_msaa_without_an_accessibility_bus_is_empty_at_once(self):
        env = dict(self.host.env)
        env.pop("NO_AT_BRIDGE")
        start = time.monotonic()
        code, lines = self.host.run(
            'msaa monitora\nmsaa checa a\nmsaa captura 10, 10\nmsaa nome b\n'
            'escreve "[" a "][" b "]"\nmsaa fim\n', env=env)
        self.assertLess(time.monotonic() - start, 5)
        self.assertEqual(code, 0)
        self.assertIn("[0][]\\r\\n", written(lines))


def start_xvfb():
    """An X server on a free display number; gives (process, display name)."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-noreset", "-screen",
                             "0", "1024x768x24", "-nolisten", "tcp"],
                            pass_fds=[write_end], stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_end)
    return xvfb, ":" + number.decode().strip()


@unittest.skipUnless(HAVE_X, X_REASON)
@unittest.skipUnless(PYTHON_GTK, GTK_REASON)
class NoWindowManagerTest(unittest.TestCase):
    """Without a window manager the windows are found in the plain window tree."""

    def test_janela_closes_a_window_found_in_the_tree(self):
        xvfb, display = start_xvfb()
        host = Host()
        host.env["DISPLAY"] = display
        log = os.path.join(host.root, "window.log")
        open(log, "w").close()
        window = subprocess.Popen([PYTHON_GTK, WINDOW, log, "Sem Gerente"], env=host.env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            end = time.monotonic() + 15
            while time.monotonic() < end:
                with open(log, encoding="utf-8") as f:
                    if "ready" in f.read():
                        break
                time.sleep(0.05)
            self.assertEqual(subprocess.run(["xprop", "-root", "_NET_CLIENT_LIST"], env=host.env,
                                            capture_output=True, text=True).stdout.count("#"), 0)
            code, lines = host.run('janela fecha "outra"\ncheca s\nescreve s\n'
                                   'janela fecha "sem gerente"\ncheca s\nescreve s\n')
            self.assertEqual(code, 0, lines)
            self.assertEqual(written(lines), ["1\\r\\n", "0\\r\\n"])
            window.wait(timeout=10)
        finally:
            if window.poll() is None:
                window.kill()
                window.wait()
            xvfb.terminate()
            xvfb.wait()
            host.close()


@unittest.skipUnless(HAVE_X, X_REASON)
@unittest.skipUnless(PYTHON_GTK, GTK_REASON)
class DesktopTest(unittest.TestCase):
    """One Xvfb with openbox for the whole class; a fresh test window for each test."""

    @classmethod
    def setUpClass(cls):
        cls.xvfb, cls.display = start_xvfb()
        cls.wm = subprocess.Popen(["openbox", "--sm-disable"], env=dict(os.environ, DISPLAY=cls.display),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.monotonic() + 10
        while time.monotonic() < end:
            props = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                   env=dict(os.environ, DISPLAY=cls.display),
                                   capture_output=True, text=True).stdout
            if "window id" in props:
                break
            time.sleep(0.1)

    @classmethod
    def tearDownClass(cls):
        for p in (cls.wm, cls.xvfb):
            p.terminate()
            p.wait()

    def setUp(self):
        self.host = Host()
        self.host.env["DISPLAY"] = self.display
        self.windows = []
        self.x("setxkbmap", "-layout", "br", "-variant", "abnt2")

    def tearDown(self):
        for p in self.windows:
            if p.poll() is None:
                p.kill()
                p.wait()
        self.host.close()

    def x(self, *args, env=None):
        return subprocess.run(list(args), env=env or self.host.env, capture_output=True, text=True,
                              timeout=20).stdout

    def open_window(self, title, env=None):
        log = os.path.join(self.host.root, "window%d.log" % len(self.windows))
        open(log, "w").close()
        p = subprocess.Popen([PYTHON_GTK, WINDOW, log, title], env=env or self.host.env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.windows.append(p)
        self.log = log
        ready = self.wait_for(lambda r: r.get("ready"))
        return p, ready

    def records(self):
        with open(self.log, encoding="utf-8") as f:
            return [json.loads(l) for l in f if l.strip()]

    def wait_for(self, test, seconds=15):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            for r in self.records():
                if test(r):
                    return r
            time.sleep(0.05)
        self.fail("the window never recorded what was awaited: %s" % self.records())

    def last_text(self):
        texts = [r["text"] for r in self.records() if "text" in r]
        return texts[-1] if texts else ""

    def test_digita_types_accented_portuguese_in_both_layouts(self):
        for layout in (["br", "-variant", "abnt2"], ["us"]):
            with self.subTest(layout=layout[0]):
                self.x("setxkbmap", "-layout", *layout)
                keymap = self.x("xmodmap", "-pke")
                window, _ = self.open_window("Janela de Teste " + layout[0])
                code, lines = self.host.run('digita "%s" &\n' % TEXT)
                self.assertEqual(code, 0, lines)
                self.wait_for(lambda r: r.get("text") == TEXT, seconds=5)
                self.assertEqual(self.last_text(), TEXT)
                # A spare key mapped for a character the layout lacks is given back.
                self.assertEqual(self.x("xmodmap", "-pke"), keymap)
                window.kill()
                window.wait()

    def test_digita_types_the_same_text_with_caps_lock_on_and_leaves_it_on(self):
        self.open_window("Janela de Teste")
        self.x("xdotool", "key", "Caps_Lock")
        try:
            self.assertIn("Caps Lock:   on", self.x("xset", "q"))
            code, lines = self.host.run('digita "%s" &\n' % TEXT)
            self.assertEqual(code, 0, lines)
            self.wait_for(lambda r: r.get("text") == TEXT, seconds=5)
            self.assertIn("Caps Lock:   on", self.x("xset", "q"))
        finally:
            self.x("xdotool", "key", "Caps_Lock")

    def test_aciona_presses_keys_with_modifiers_and_releases_them(self):
        self.open_window("Janela de Teste")
        code, lines = self.host.run('aciona "ctrl+shift+F5"\naciona "shift+home"\n'
                                    'aciona "#35"\naciona "shift+ctrl+F5"\n')
        self.assertEqual(failed_line(lines), 4, lines)  # modifiers named out of order
        self.wait_for(lambda r: r.get("key") == "End")
        keys = [(r["key"], r["mods"]) for r in self.records() if "key" in r]
        self.assertIn(("F5", ["shift", "ctrl"]), keys)
        self.assertIn(("Home", ["shift"]), keys)
        self.assertIn(("End", []), keys)
        # Nothing stays held: a plain letter types in lower case.
        code, lines = self.host.run('digita "x" &\n')
        self.wait_for(lambda r: r.get("text") == "x", seconds=5)

    def test_clica_clicks_and_double_clicks_at_screen_positions(self):
        _, ready = self.open_window("Janela de Teste")
        left, top, width, height = ready["area"]
        x, y = left + width // 2, top + height // 2
        code, lines = self.host.run("clica tela %d,%d\nespera ms 600\nclica duplo tela %d, %d\n"
                                    % (x, y, x + 5, y))
        self.assertEqual(code, 0, lines)
        self.wait_for(lambda r: r.get("click") == 2)
        clicks = [(r["click"], r["x"], r["y"]) for r in self.records() if "click" in r]
        # GTK reports a double click as two presses and then the double press.
        self.assertEqual(clicks, [(1, x, y), (1, x + 5, y), (1, x + 5, y), (2, x + 5, y)])
        code, lines = self.host.run("clica tela 5000,10\n")
        self.assertEqual(failed_line(lines), 1)

    def test_janela_minimises_restores_and_closes_by_title(self):
        window, _ = self.open_window("Relatório de Vendas")
        code, lines = self.host.run(
            'captura titulo a\nescreve a\nespera 2 "relatório"\ncheca s\nescreve "espera " s\n'
            'janela minimiza "*relatório de"\ncheca s\nescreve "minimiza " s\n'
            'janela fecha "nenhuma janela assim"\ncheca s\nescreve "nada " s\n')
        self.assertEqual(code, 0, lines)
        self.assertEqual(written(lines), ["Relatório de Vendas\\r\\n", "espera 0\\r\\n",
                                          "minimiza 0\\r\\n", "nada 1\\r\\n"])
        wid = self.x("xdotool", "search", "--name", "^Relatório de Vendas$").split()[0]
        end = time.monotonic() + 5
        while "Iconic" not in self.x("xprop", "-id", wid, "WM_STATE") and time.monotonic() < end:
            time.sleep(0.1)
        self.assertIn("Iconic", self.x("xprop", "-id", wid, "WM_STATE"))
        self.host.run('janela normal "vendas*"\n')
        end = time.monotonic() + 5
        while "Normal" not in self.x("xprop", "-id", wid, "WM_STATE") and time.monotonic() < end:
            time.sleep(0.1)
        self.assertIn("Normal", self.x("xprop", "-id", wid, "WM_STATE"))
        self.host.run('janela maximiza "relatório"\n')
        end = time.monotonic() + 5
        while ("MAXIMIZED_VERT" not in self.x("xprop", "-id", wid, "_NET_WM_STATE")
               and time.monotonic() < end):
            time.sleep(0.1)
        self.assertIn("_NET_WM_STATE_MAXIMIZED_HORZ", self.x("xprop", "-id", wid, "_NET_WM_STATE"))
        code, lines = self.host.run('janela fecha "*relatório de vendas*"\n')
        self.assertEqual(code, 0)
        window.wait(timeout=10)

    def test_msaa_reads_the_focused_check_box_through_the_accessibility_bus(self):
        if not shutil.which("dbus-daemon"):
            self.skipTest("needs dbus-daemon (dbus)")
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            address = bus.stdout.readline().strip()
            env = dict(self.host.env, DBUS_SESSION_BUS_ADDRESS=address)
            env.pop("NO_AT_BRIDGE")
            self.open_window("Janela Acessível", env=env)
            code, lines = self.host.run(
                'msaa monitora\naciona "tab"\nespera ms 700\nmsaa checa a\n'
                'msaa nome b\nmsaa tipo c\nmsaa estado d\nmsaa codigo e\nmsaa area f g h i\n'
                'escreve a "|" b "|" c "|" d "|" e\n'
                'msaa checa a\nescreve "de novo " a\nmsaa fim\n', env=env)
            self.assertEqual(code, 0, lines)
            out = written(lines)
            self.assertEqual(out[0], "1|Aceito os termos|caixa de seleção|marcado|44\\r\\n")
            # The focus change reported twice by the toolkit was kept once.
            self.assertEqual(out[1], "de novo 0\\r\\n")
        finally:
            bus.terminate()
            bus.wait()
            bus.stdout.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
