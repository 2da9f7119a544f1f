"""The Windows programs end to end under Wine, as a user installs and runs them: the package of a
Windows build unpacked at the root of the Wine prefix's drive C (C:\\ubrimo), instalar.bat run
once, and then

- bexilo.exe, headless with a key file, queries a demo code on the demo tracking site over HTTPS
  (trusted through SSL_ARQUIVO_CA, the demo certificate authority), says and shows the latest
  event and leaves; its transcript must equal that of the Linux build's bexilo run on the same
  tree (unpacked on Linux, drive C mapped to it) against the same site;
- bexilo.exe starts its monitor, bexilo_mon.exe, reads its report and stops it again; the
  transcript holds the same lines as the Linux run's but for the program folder's name, and in
  the same order up to the monitor's start;
- tramelis.exe runs a script that downloads a page of the site over HTTPS and writes it to a file
  (with no OpenSSL libraries in the prefix, through Schannel), the same bytes as the Linux
  tramelis writes; without the demo authority the certificate is refused and named.

Run: python3 tests/windows/tracker_e2e.py RUN_DIR [LINUX_BUILD_DIR]
     RUN_DIR is a Windows build Wine can run (WINEPREFIX and the Wine variables from the caller);
     its package is made with tools/package-windows.sh when missing. LINUX_BUILD_DIR defaults to
     build (the one whose host kit the package holds). The transcripts are kept in
     RUN_DIR/windows-tracker-e2e.
"""

import array
import glob
import os
import re
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request
import wave
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_host import TrackingSite  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
RUN_DIR = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.path.join(ROOT, "build-win64")
LINUX = (os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 and os.path.isdir(sys.argv[1])
         else os.path.join(ROOT, "build"))
PREFIX = os.environ.get("WINEPREFIX", "")
KEEP = os.path.join(RUN_DIR, "windows-tracker-e2e")
# No program of these tests may wait longer than this for anything.
RUN_LIMIT = 120


def read_transcript(path):
    """The lines of a transcript, as written (the payload keeps its escapes)."""
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f]


def written(lines):
    return "".join(line.split("\t", 1)[1] for line in lines if line.startswith("write\t"))


def spoken(lines):
    return [line.split("\t", 1)[1] for line in lines if line.startswith("speak\t")]


def wine(*args, timeout=60, **kwargs):
    return subprocess.run(["wine", *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=timeout, **kwargs)


def unix_path(windows_path):
    done = subprocess.run(["winepath", "-u", windows_path], capture_output=True, text=True,
                          timeout=30, check=True)
    return done.stdout.strip()


def processes_named(name):
    """Our processes whose command line names the program (Wine's and Linux's alike)."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                cmdline = f.read().decode("latin-1")
            with open(f"/proc/{pid}/stat") as f:
                stat = f.read()
            if stat[stat.rindex(")") + 2] in "ZX" or name not in cmdline.lower():
                continue
            with open(f"/proc/{pid}/environ", "rb") as f:
                environ = f.read().decode("latin-1")
        except OSError:
            continue
        # Only those of this prefix (Wine) or of this test's trees (Linux).
        if ("WINEPREFIX=" + PREFIX) in environ.split("\0") or "navelo-wtracker-" in environ:
            found.append(int(pid))
    return found


SITE = None
PORT = None
CERTS = None
INSTALL = None


def setUpModule():
    global SITE, PORT, CERTS, INSTALL
    if not PREFIX or not os.path.isdir(PREFIX):
        raise RuntimeError("WINEPREFIX must name the prepared Wine prefix")
    # The first program of a new Wine server starts Wine's own services, which inherit its
    # output: started here with nothing attached, they never keep a test reading a pipe.
    subprocess.run(["wine", "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    # The Linux programs the Windows ones are compared with (tramelis brings the batch runner).
    subprocess.run(["cmake", "--build", LINUX, "--target", "bexilo", "bexilo_mon", "tramelis"],
                   check=True, stdout=subprocess.DEVNULL, timeout=1800)
    if not glob.glob(os.path.join(RUN_DIR, "navelo-win*.zip")):
        subprocess.run(["bash", os.path.join(ROOT, "tools", "package-windows.sh"), RUN_DIR],
                       check=True, timeout=1800)
    CERTS = os.path.join(RUN_DIR, "e2e-certs")
    # The demo codes used here keep their history while the site runs, so both platforms' runs
    # see the same pages whenever they happen.
    SITE = TrackingSite(CERTS, lifetime=900)
    unittest.addModuleCleanup(SITE.stop)
    PORT = SITE.port
    shutil.rmtree(KEEP, ignore_errors=True)
    os.makedirs(KEEP)
    INSTALL = Installation()
    # Put back even when the installation fails half-way.
    unittest.addModuleCleanup(INSTALL.close)
    INSTALL.install()


class Installation:
    """The package unpacked twice: at the root of the Wine prefix's drive C (the Windows run) and
    in a temporary folder whose drive C mapping is that folder (the Linux run), with the same
    navelo.ini, the demo authority as C:\\ubrimo\\ca-demo.pem and bexilo.url pointing at the site.

    The Windows side is the prefix's own: the tracker finds the user's folder through cmd.exe's
    %userprofile%, which Wine sets itself, so navelo.ini and bexilo.dir go into the prefix's
    profile. Whatever was there before is put back afterwards."""

    def __init__(self):
        self.drive_c = unix_path("C:\\")
        self.win_ubrimo = os.path.join(self.drive_c, "ubrimo")
        done = wine("cmd", "/c", "echo %USERPROFILE%")
        self.win_profile = unix_path(done.stdout.decode("cp1252").strip().splitlines()[-1])
        self.win_ini = os.path.join(self.win_profile, "AppData", "Roaming", "Navelo", "navelo.ini")
        self.win_dir_file = os.path.join(self.win_profile, "bexilo.dir")
        self.win_ini_dir_was_there = os.path.isdir(os.path.dirname(self.win_ini))
        self.tmp = tempfile.mkdtemp(prefix="navelo-wtracker-")
        # What the prefix held before, put back in close().
        self.saved = {}
        for path in (self.win_ini, self.win_dir_file):
            if os.path.exists(path):
                self.saved[path] = os.path.join(self.tmp, "saved-" + os.path.basename(path))
                shutil.move(path, self.saved[path])
        if os.path.exists(self.win_ubrimo):
            self.saved[self.win_ubrimo] = os.path.join(self.tmp, "saved-ubrimo")
            shutil.move(self.win_ubrimo, self.saved[self.win_ubrimo])
        self.lin_c = os.path.join(self.tmp, "c")
        self.lin_home = os.path.join(self.tmp, "home")
        self.lin_ini = os.path.join(self.lin_home, "AppData", "Roaming", "Navelo", "navelo.ini")

    def install(self):
        zip_path = glob.glob(os.path.join(RUN_DIR, "navelo-win*.zip"))[0]
        with zipfile.ZipFile(zip_path) as z:
            z.extractall(self.drive_c)
            z.extractall(self.lin_c)
        # The user's configuration, as the package installs it on Windows.
        done = wine("cmd", "/c", "C:\\ubrimo\\instalar.bat")
        if not os.path.exists(self.win_ini):
            raise RuntimeError("instalar.bat did not install navelo.ini: "
                               + done.stdout.decode("cp1252", "replace"))
        with open(self.win_ini, "rb") as f:
            ini = f.read()
        # The demo authority, and a download that stalls fails in seconds rather than half a minute.
        ini = ini.replace(b"[NAVELO]\r\n", b"[NAVELO]\r\nSSL_ARQUIVO_CA=c:\\ubrimo\\ca-demo.pem\r\n"
                          b"TEMPO_OCIOSO=5\r\n", 1)
        self.ini_bytes = ini
        os.makedirs(os.path.dirname(self.lin_ini))
        for c in (self.drive_c, self.lin_c):
            shutil.copy(os.path.join(CERTS, "ca.pem"), os.path.join(c, "ubrimo", "ca-demo.pem"))
            with open(os.path.join(c, "ubrimo", "bexilo", "bexilo.url"), "w", newline="") as f:
                f.write(f"https://127.0.0.1:{PORT}/detalhes.php?P_COD_UNI=\r\n")
        # The Linux tree holds the Linux build's programs where the package has the Windows
        # ones, each with the batch runner beside it, and the host kit's registration tool.
        for folder, programs in (("bexilo", ("bexilo", "bexilo_mon")), ("navelo", ("tramelis",))):
            target = os.path.join(self.lin_c, "ubrimo", folder)
            for exe in glob.glob(os.path.join(target, "*.exe")):
                os.remove(exe)
            for program in programs + ("cmd.exe",):
                shutil.copy(os.path.join(LINUX, program), target)
        shutil.copy(os.path.join(ROOT, "tools", "hostkit", "pelaso"),
                    os.path.join(self.lin_c, "ubrimo", "navelo", "pelaso"))
        self.reset()

    def reset(self):
        """A first start again: the installed navelo.ini, no bexilo.dir, no files of a run."""
        self.write_ini(self.ini_bytes)
        for path in (self.win_dir_file, os.path.join(self.lin_home, "bexilo.dir")):
            if os.path.exists(path):
                os.remove(path)
        for c in (self.drive_c, self.lin_c):
            for name in ("stop", "result.log", "obtemuserprofile.bat", "bexilo.atu"):
                path = os.path.join(c, "ubrimo", "bexilo", name)
                if os.path.exists(path):
                    os.remove(path)
            shutil.rmtree(os.path.join(c, "ubrimo", "bexilo", "temp"), ignore_errors=True)
            os.makedirs(os.path.join(c, "ubrimo", "scripts"), exist_ok=True)
            os.makedirs(os.path.join(c, "ubrimo", "bexilo", "temp"))

    def environment(self, platform, name, keys, audio="null"):
        keys_file = os.path.join(self.tmp, f"{name}.{platform}.keys")
        with open(keys_file, "w", encoding="utf-8") as f:
            f.write(keys)
        transcript = os.path.join(self.tmp, f"{name}.{platform}.transcript")
        if os.path.exists(transcript):
            os.remove(transcript)
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "NAVELO_TEST_USERPROFILE",
                            "NAVELO_TEST_APPDATA", "NAVELO_TEST_WINDIR", "NAVELO_DRIVE_C")}
        env.update(NAVELO_CONSOLE="headless", NAVELO_AUDIO=audio, NAVELO_KEYS=keys_file,
                   NAVELO_TRANSCRIPT=transcript,
                   NAVELO_SCREEN=os.path.join(self.tmp, f"{name}.{platform}.screen"))
        if platform == "linux":
            for k in ("USERPROFILE", "APPDATA", "WINDIR", "WINEPREFIX"):
                env.pop(k, None)
            env.update(HOME=self.lin_home, NAVELO_DRIVE_C=self.lin_c, NAVELO_WTRACKER=self.tmp)
        return env, transcript

    def scripts(self, platform):
        """The installed script folder (C:\\ubrimo\\scripts) of one platform's tree."""
        c = self.drive_c if platform == "windows" else self.lin_c
        return os.path.join(c, "ubrimo", "scripts")

    def write_ini(self, data):
        for ini in (self.win_ini, self.lin_ini):
            with open(ini, "wb") as f:
                f.write(data)

    def tracker(self, platform, program, name, keys, audio="null"):
        """Runs a program of the tracker's folder on one platform; returns (exit code, lines)."""
        cwd = self.program_dir(platform)
        if platform == "windows":
            command = ["wine", f"C:\\ubrimo\\bexilo\\{program}.exe"]
        else:
            command = [os.path.join(cwd, program)]
        return self.run(platform, command, cwd, name, keys, audio)

    def program_dir(self, platform):
        return os.path.join(self.drive_c if platform == "windows" else self.lin_c, "ubrimo",
                            "bexilo")

    def transcript(self, platform, name):
        """A run's transcript as it is now, kept in RUN_DIR/windows-tracker-e2e as well."""
        path = os.path.join(self.tmp, f"{name}.{platform}.transcript")
        if os.path.exists(path):
            shutil.copy(path, os.path.join(KEEP, f"{name}.{platform}.transcript"))
        return read_transcript(path)

    def run(self, platform, command, cwd, name, keys, audio="null"):
        """Runs a command in a folder with a key file and a transcript; returns (exit code,
        transcript lines)."""
        env, transcript = self.environment(platform, name, keys, audio)
        started = time.monotonic()
        try:
            done = subprocess.run(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  timeout=RUN_LIMIT)
            code = done.returncode
        except subprocess.TimeoutExpired:
            code = "timed out"
        print(f"\n  {name} on {platform}: {code}, {time.monotonic() - started:.1f} s",
              file=sys.stderr, end="")
        return code, self.transcript(platform, name)

    def close(self):
        for pid in processes_named("bexilo_mon"):
            os.kill(pid, signal.SIGKILL)
        shutil.rmtree(self.win_ubrimo, ignore_errors=True)
        for path in (self.win_ini, self.win_dir_file):
            if os.path.exists(path):
                os.remove(path)
        for path, saved in self.saved.items():
            shutil.move(saved, path)
        if not self.win_ini_dir_was_there:
            shutil.rmtree(os.path.dirname(self.win_ini), ignore_errors=True)
        shutil.rmtree(self.tmp, ignore_errors=True)


class TrackerUnderWine(unittest.TestCase):
    def setUp(self):
        INSTALL.reset()

    def test_a_query_says_the_latest_event_as_on_linux_and_the_user_leaves(self):
        keys = "BB987654321BR{Enter}{Esc}s"
        # The Windows run is heard too: its sound goes into a WAV file.
        sound = os.path.join(INSTALL.tmp, "query.wav")
        code, lines = INSTALL.tracker("windows", "bexilo", "query", keys, sound)
        self.assertEqual(code, 0, "\n".join(lines))
        text = written(lines)
        self.assertIn("Criando entrada no Navelo.ini.", text)
        latest = text[text.index("Última atualização:"):]
        self.assertIn("Objeto entregue ao destinatário", latest)
        self.assertNotIn("Objeto postado", latest)
        self.assertIn("Status: Objeto entregue ao destinatário", spoken(lines))
        self.assertIn("sound\tSONS\\\\BX_FUI.WAV", lines)
        # The first start registered the program in the user's navelo.ini through pelaso.exe,
        # and recorded its folder, as Windows names it, in the user's folder.
        with open(INSTALL.win_dir_file, encoding="cp1252") as f:
            self.assertEqual(f.read().strip().lower(), "c:\\ubrimo\\bexilo")
        with open(INSTALL.win_ini, encoding="cp1252") as f:
            self.assertIn("Rastrear encomendas dos correios", f.read())
        # The package's voice said it all: the prompts and well over ten seconds of speech.
        with wave.open(sound) as heard:
            samples = array.array("h", heard.readframes(heard.getnframes()))
            seconds = heard.getnframes() / heard.getframerate()
        print(f"\n  query on windows: {seconds:.1f} s of sound", file=sys.stderr, end="")
        self.assertGreater(seconds, 10, "seconds of sound")
        self.assertGreater(sum(1 for v in samples if abs(v) > 2000), 5 * heard.getframerate())
        for name in ("result.log", "obtemuserprofile.bat", "bexilo.atu"):
            self.assertFalse(os.path.exists(os.path.join(INSTALL.win_ubrimo, "bexilo", name)), name)
        # The same run on Linux, on the same tree and the same pages: the same transcript, line
        # for line. Nothing in this run depends on the platform (the folder recorded in
        # bexilo.dir differs, but the tracker does not show it).
        linux_code, linux_lines = INSTALL.tracker("linux", "bexilo", "query", keys)
        self.assertEqual(linux_code, 0, "\n".join(linux_lines))
        self.assertEqual(lines, linux_lines)

    def test_the_tracker_starts_its_monitor_and_stops_it(self):
        # Enter comes well after the monitor's first report, even on a loaded machine; the
        # monitor's next query, ten seconds after its first, finds the stop file and says nothing.
        keys = "BB987654321BR{Enter}{Down}{Enter}{wait 8000}{Enter}{wait 2000}{Esc}{Esc}s"
        runs = {}
        for platform in ("windows", "linux"):
            code, _ = INSTALL.tracker(platform, "bexilo", "monitor", keys)
            self.assertEqual(code, 0, platform)
            # The monitor sees the stop file, takes it away and ends; it writes into the same
            # transcript (it inherits it), so the transcript is read once it has ended.
            stop = os.path.join(INSTALL.program_dir(platform), "stop")
            deadline = time.time() + 30
            while time.time() < deadline and (os.path.exists(stop) or processes_named("bexilo_mon")):
                time.sleep(0.2)
            self.assertFalse(os.path.exists(stop), platform)
            self.assertEqual(processes_named("bexilo_mon"), [], platform)
            runs[platform] = INSTALL.transcript(platform, "monitor")
        lines = runs["windows"]
        text = written(lines)
        self.assertIn("Iniciando monitor de objetos para BB987654321BR", text)
        self.assertIn("Parando monitor", text)
        # bexilo_mon.exe, started by the tracker, queried the code and reported it; the tracker's
        # Enter read its report back from temp\vov.info.
        self.assertIn("Última atualização para o objeto: BB987654321BR", text)
        report = ("Status: Objeto entregue ao destinatário; Data: {}; Local: Unidade de "
                  "Distribuição - Ilhéus/BA; \\r\\n")
        reports = [line for line in lines if re.fullmatch(
            "write\t" + re.escape(report).replace(r"\{\}", ".*"), line)]
        self.assertEqual(len(reports), 2, lines)  # the monitor's, then the tracker's
        self.assertEqual(sum(line.startswith("exit\t") for line in lines), 2, lines)

        # The monitor names its sounds with the program's folder, which each platform names its
        # own way; with that folder set aside the lines are the Linux run's. Up to the monitor's
        # start they come in the same order; after it, the two programs write into the
        # transcript at once, and which of them comes first (the tracker's short beep while it
        # waits, the monitor's report) is up to each platform's scheduling.
        def same_folder(events, folder):
            return [line.replace(folder, "<pasta do programa>") for line in events]

        windows = same_folder(lines, "C:\\\\ubrimo\\\\bexilo")
        linux = same_folder(runs["linux"], INSTALL.program_dir("linux"))
        self.assertIn("sound\t<pasta do programa>\\\\sons\\\\waterdrop.wav", windows)
        cut = next(i for i, line in enumerate(windows) if "Iniciando monitor" in line) + 1
        self.assertEqual(windows[:cut], linux[:cut])
        self.assertEqual(sorted(windows[cut:]), sorted(linux[cut:]))


class DownloadUnderWine(unittest.TestCase):
    """The Windows build's tramelis.exe, on the installed tree and configuration, runs a script
    that downloads a page of the site over HTTPS and writes it to a file."""

    SCRIPT = ("trazdarede \"https://127.0.0.1:{port}/detalhes.php?P_COD_UNI=BB987654321BR\" "
              "\"pagina.html\" 0 \"\" \"tibiru\" x $st $tipo\r\n"
              "escreve \"resultado \" x \" \" $st \" \" $tipo\r\n")

    def setUp(self):
        INSTALL.reset()

    def download(self, platform, name):
        """Runs the download script; returns (exit code, transcript lines, the file's bytes or
        None)."""
        work = INSTALL.scripts(platform)
        page = os.path.join(work, "pagina.html")
        if os.path.exists(page):
            os.remove(page)
        with open(os.path.join(work, "baixa.tml"), "w", newline="", encoding="cp1252") as f:
            f.write(self.SCRIPT.format(port=PORT))
        if platform == "windows":
            command = ["wine", os.path.join(RUN_DIR, "tramelis.exe"), "baixa.tml"]
        else:
            command = [os.path.join(INSTALL.lin_c, "ubrimo", "navelo", "tramelis"), "baixa.tml"]
        code, lines = INSTALL.run(platform, command, work, name, "")
        data = None
        if os.path.exists(page):
            with open(page, "rb") as f:
                data = f.read()
        return code, lines, data

    def test_a_page_is_downloaded_over_https_through_schannel_and_written(self):
        # With no OpenSSL libraries anywhere in the prefix the download goes through Schannel.
        system = os.path.join(PREFIX, "drive_c", "windows")
        openssl = [p for p in glob.glob(os.path.join(system, "*", "*.dll"))
                   + glob.glob(os.path.join(RUN_DIR, "*.dll"))
                   if re.match(r"lib(ssl|crypto)-", os.path.basename(p).lower())]
        self.assertEqual(openssl, [], "an OpenSSL library is in the prefix")
        code, lines, data = self.download("windows", "download")
        self.assertEqual(code, 0, lines)
        self.assertIn("write\tresultado 0 200 text/html; charset=utf-8\\r\\n", lines)
        self.assertIsNotNone(data)
        self.assertIn("Objeto entregue ao destinatário".encode("utf-8"), data)
        # The page as the site sends it, each line written with CR LF and one more line end
        # after the last (the downloader's way on both platforms).
        url = f"https://127.0.0.1:{PORT}/detalhes.php?P_COD_UNI=BB987654321BR"
        context = ssl.create_default_context(cafile=os.path.join(CERTS, "ca.pem"))
        with urllib.request.urlopen(url, context=context, timeout=30) as answer:
            sent = answer.read()
        self.assertEqual(data, sent.replace(b"\n", b"\r\n") + b"\r\n")
        with open(os.path.join(KEEP, "download.windows.html"), "wb") as f:
            f.write(data)
        # The same bytes as the Linux build writes from the same page, and the same transcript.
        linux_code, linux_lines, linux_data = self.download("linux", "download")
        self.assertEqual(linux_code, 0, linux_lines)
        self.assertEqual(data, linux_data)
        self.assertEqual(lines, linux_lines)

    def test_without_the_demo_authority_the_certificate_is_refused(self):
        INSTALL.write_ini(INSTALL.ini_bytes.replace(b"SSL_ARQUIVO_CA=", b"X_SSL_ARQUIVO_CA="))
        code, lines, data = self.download("windows", "refused")
        self.assertEqual(code, 0, lines)
        self.assertTrue(any(line.startswith("speak\tCertificado do servidor recusado")
                            for line in lines), lines)
        self.assertTrue(any(line.startswith("write\tresultado 1 ") for line in lines), lines)
        self.assertIsNone(data)


def stopped_by_a_signal(signum, _frame):
    """A time limit that ends the run still puts the prefix back and stops the site."""
    print(f"tracker e2e: stopped by signal {signum}", file=sys.stderr)
    for pid in processes_named("bexilo"):
        os.kill(pid, signal.SIGKILL)
    if INSTALL is not None:
        INSTALL.close()
    if SITE is not None:
        SITE.kill()
    os._exit(124)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, stopped_by_a_signal)
    unittest.main(verbosity=2)
