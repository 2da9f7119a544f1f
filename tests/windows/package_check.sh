#!/usr/bin/env bash
# The Windows package: tools/package-windows.sh BUILD_DIR writes BUILD_DIR/navelo-win32.zip (or
# navelo-win64.zip for a 64-bit build); its
# listing, navelo.ini (Windows paths only), LEIAME.txt and instalar.bat (cp1252, CR LF) are
# checked. With RUN_DIR (a build Wine can run, WINEPREFIX from the caller) that build's package is
# unpacked and its tramelis.exe speaks a line with the unpacked tree's voice into a WAV capture.
# Usage: package_check.sh BUILD_DIR [RUN_DIR]
set -uo pipefail
cd "$(dirname "$0")/../.."
build=$1
run_dir=${2:-}
tools/package-windows.sh "$build" || { echo "package_check: packaging $build failed"; exit 1; }
zip_of() { ls "$1"/navelo-win*.zip 2>/dev/null | head -1; }
python3 - "$(zip_of "$build")" <<'PY' || exit 1
import re, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
names = set(z.namelist())
problems = []
need = ["ubrimo/LEIAME.txt", "ubrimo/instalar.bat", "ubrimo/navelo/tramelis.exe",
        "ubrimo/navelo/pelaso.exe", "ubrimo/navelo/navelo.ini", "ubrimo/bexilo/bexilo.exe",
        "ubrimo/bexilo/bexilo_mon.exe", "ubrimo/bexilo/sons/bx_ini.wav",
        "ubrimo/bexilo/sons/mudou.wav", "ubrimo/bexilo/temp/", "ubrimo/scripts/",
        "ubrimo/tramelis/sons/", "ubrimo/som/difones/DIFONES2.IND",
        "ubrimo/som/difones/DIFONES2.DIF", "ubrimo/som/difones/regras.rgr",
        "ubrimo/som/difones/portug.exc", "ubrimo/som/letras/_65.wav"]
problems += ["missing " + n for n in need if n not in names]
problems += ["outside ubrimo/: " + n for n in names if not n.startswith("ubrimo/")]
if sum(n.startswith("ubrimo/som/letras/_") for n in names) < 200:
    problems.append("fewer than 200 letter sounds")
for exe in [n for n in names if n.endswith(".exe")]:
    if z.read(exe)[:2] != b"MZ":
        problems.append(exe + " is not a Windows program")
ini = z.read("ubrimo/navelo/navelo.ini")
text = ini.decode("cp1252")
if "\n" in text.replace("\r\n", ""):
    problems.append("navelo.ini has lines without CR LF")
values = dict(re.findall(r"^([^=\[\r\n]+)=(.*?)\r?$", text, re.M))
for key in ["PGMNAVELO", "DIRTRAMELIS", "DIRDEFAULT", "DIRLETRAS", "DIRDIFONES"]:
    v = values.get(key, "")
    if not re.fullmatch(r"c:\\ubrimo(\\[a-z]+)+", v):
        problems.append("navelo.ini %s=%r is not a folder under c:\\ubrimo" % (key, v))
    elif v[3:].replace("\\", "/") + "/" not in names:
        problems.append("navelo.ini %s=%s is not in the package" % (key, v))
for key, v in values.items():
    if "/" in v and not v.startswith("http") or "xdg-open" in v or "DejaVu" in v:
        problems.append("navelo.ini %s=%s is a Linux value" % (key, v))
for doc in ["ubrimo/LEIAME.txt", "ubrimo/instalar.bat"]:
    data = z.read(doc)
    if data.replace(b"\r\n", b"").count(b"\n") or data.startswith(b"\xef\xbb\xbf"):
        problems.append(doc + " is not CR LF text without a byte-order mark")
    data.decode("cp1252")
leia = z.read("ubrimo/LEIAME.txt").decode("cp1252")
for words in ["Instalação", "bexilo.exe", "bexilo_mon.exe", "instalar.bat", "C:\\ubrimo"]:
    if words not in leia:
        problems.append("LEIAME.txt does not say " + words)
if problems:
    print("package_check: " + "\n  ".join(problems))
    sys.exit(1)
print("package_check: %d entries, navelo.ini with Windows paths" % len(names))
PY
[ -n "$run_dir" ] || exit 0

# The unpacked package speaks: tramelis.exe from it, with its navelo.ini as the user's and its
# tree as drive C, says a line into a WAV capture.
if [ "$run_dir" != "$build" ]; then
  tools/package-windows.sh "$run_dir" >/dev/null || { echo "package_check: packaging $run_dir failed"; exit 1; }
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
  "$(zip_of "$run_dir")" "$tmp/c"
mkdir -p "$tmp/AppData/Navelo" "$tmp/work"
cp "$tmp/c/ubrimo/navelo/navelo.ini" "$tmp/AppData/Navelo/navelo.ini"
printf 'escreve "bom dia"\r\n' > "$tmp/work/fala.tml"
(
  cd "$tmp/work" &&
  env -u DISPLAY NAVELO_DRIVE_C="$tmp/c" NAVELO_TEST_APPDATA="$tmp/AppData" \
    NAVELO_TEST_USERPROFILE="$tmp" NAVELO_TEST_WINDIR="$tmp/c/windows" NAVELO_CONSOLE=headless \
    NAVELO_AUDIO="$tmp/fala.wav" NAVELO_TRANSCRIPT="$tmp/transcript" \
    timeout 60 wine "$tmp/c/ubrimo/navelo/tramelis.exe" fala.tml < /dev/null > "$tmp/out" 2>&1
) || { echo "package_check: tramelis.exe from the package failed:"; cat "$tmp/out"; exit 1; }
python3 - "$tmp/fala.wav" <<'PY' || exit 1
import sys, wave, array
w = wave.open(sys.argv[1])
samples = array.array("h", w.readframes(w.getnframes()))
loud = sum(1 for s in samples if abs(s) > 2000)
# "bom dia" and "Fim do script": well over a second of speech from the package's own voice.
if w.getnframes() < w.getframerate() or loud < 2000:
    print("package_check: the unpacked tramelis.exe did not speak (%d frames, %d loud)"
          % (w.getnframes(), loud))
    sys.exit(1)
print("package_check: the unpacked tramelis.exe spoke %.1f s" % (w.getnframes() / w.getframerate()))
PY
