#!/usr/bin/env bash
# Packs the Windows programs and the host tree into BUILD_DIR/navelo-win32.zip, laid out as a
# Windows install: unpacked at the root of drive C, everything lies in C:\ubrimo.
#
# Usage: tools/package-windows.sh [BUILD_DIR]    (default build-win32, the product; build-win64
#                                                 packs the 64-bit build the same way, into
#                                                 build-win64/navelo-win64.zip)
#
#   ubrimo\LEIAME.txt            how to install and start (Portuguese; cp1252, CR LF)
#   ubrimo\instalar.bat          puts navelo.ini into %APPDATA%\Navelo unless one is there
#   ubrimo\navelo\               tramelis.exe, pelaso.exe and navelo.ini (PGMNAVELO)
#   ubrimo\som\letras\           letter, number and prompt sounds (DIRLETRAS)
#   ubrimo\som\difones\          the diphone database, rules and exceptions (DIRDIFONES)
#   ubrimo\tramelis\sons\        the script language's sounds folder (DIRTRAMELIS)
#   ubrimo\scripts\              the script folder (DIRDEFAULT)
#   ubrimo\bexilo\               bexilo.exe, bexilo_mon.exe, sons\ and temp\ (the tracker's folder)
#
# The host tree comes from the host kit (tools/hostkit), made with the Linux build in build/;
# its navelo.ini gets the Windows values of the keys that name Linux programs or fonts.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-win32}
[ -f "$build/CMakeCache.txt" ] || {
  echo "package-windows: $build is not a configured Windows build folder" >&2
  exit 1
}
build=$(cd "$build" && pwd)
# The 32-bit build gives navelo-win32.zip, a 64-bit one navelo-win64.zip.
name=navelo-win32.zip
grep -q '^CMAKE_TOOLCHAIN_FILE:[A-Z]*=.*x86_64' "$build/CMakeCache.txt" && name=navelo-win64.zip
zip="$build/$name"

cmake --build "$build" --target bexilo bexilo_mon tramelis pelaso >/dev/null
for exe in bexilo bexilo_mon tramelis pelaso; do
  [ -f "$build/$exe.exe" ] || { echo "package-windows: $build/$exe.exe is missing" >&2; exit 1; }
done

# The host tree of the Linux build (its unit inventory tool runs on this machine).
[ -f build/CMakeCache.txt ] ||
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
tools/hostkit/hostkit.sh build >&2
kit=$root/build/hostkit

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
u=$stage/ubrimo
mkdir -p "$u/navelo" "$u/som" "$u/tramelis/sons" "$u/scripts" "$u/bexilo/temp"
cp -r "$kit/c/ubrimo/som/letras" "$kit/c/ubrimo/som/difones" "$u/som/"
cp -r "$kit/bexilo/sons" "$u/bexilo/"
cp "$build/tramelis.exe" "$build/pelaso.exe" "$u/navelo/"
cp "$build/bexilo.exe" "$build/bexilo_mon.exe" "$u/bexilo/"
# Without their debugging information the programs are a tenth of the size.
strip=$(sed -n 's/^CMAKE_STRIP:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ -n "$strip" ] && [ -x "$strip" ]; then
  "$strip" "$u"/navelo/*.exe "$u"/bexilo/*.exe
fi

# navelo.ini: the kit's, whose folders are already Windows paths (c:\ubrimo\...); files and web
# pages open with the program Windows associates with them, and the window uses a Windows font.
sed -e 's/^\(PROG\.[A-Z]*\)=.*\r$/\1=\r/' -e 's/^FONTE=.*\r$/FONTE=Lucida Console\r/' \
  "$kit/home/AppData/Roaming/Navelo/navelo.ini" > "$u/navelo/navelo.ini"

crlf_cp1252() { sed 's/$/\r/' | iconv -f UTF-8 -t CP1252; }
crlf_cp1252 > "$u/instalar.bat" <<'BAT'
@echo off
rem Instala a configuração do Navelo do usuário, se ele ainda não tiver uma.
if exist "%APPDATA%\Navelo\navelo.ini" (
  echo Ja existe %APPDATA%\Navelo\navelo.ini: ela foi mantida.
) else (
  mkdir "%APPDATA%\Navelo" 2>nul
  copy "%~dp0navelo\navelo.ini" "%APPDATA%\Navelo\navelo.ini" >nul
  echo Configuracao instalada em %APPDATA%\Navelo\navelo.ini
)
BAT
crlf_cp1252 > "$u/LEIAME.txt" <<'TXT'
Navelo para Windows: o rastreador de encomendas Bexilo e o monitor

Instalação
1. Descompacte o arquivo zip do Navelo na raiz do disco C (C:\). Tudo fica
   na pasta C:\ubrimo:
   C:\ubrimo\navelo      o interpretador tramelis.exe, a ferramenta pelaso.exe
                         e o modelo do navelo.ini
   C:\ubrimo\som         as vozes: sons das letras e o banco de difones
   C:\ubrimo\bexilo      o rastreador bexilo.exe, o monitor bexilo_mon.exe e
                         os sons deles
   C:\ubrimo\scripts     a pasta dos seus scripts
2. Execute C:\ubrimo\instalar.bat uma vez. Ele copia a configuração para
   %APPDATA%\Navelo\navelo.ini (se você já tiver uma, ela fica como está).

Rastrear uma encomenda
- Execute C:\ubrimo\bexilo\bexilo.exe (crie um atalho na área de trabalho,
  se quiser). Digite o código do objeto (duas letras, nove números e duas
  letras, por exemplo AA123456789BR) e tecle Enter.
- O programa fala a última atualização e mostra o menu: setas para cima e
  para baixo escolhem, Enter confirma, Esc pergunta se deseja sair.

Monitorar
- No menu, escolha "Monitorar". O monitor bexilo_mon.exe começa minimizado,
  consulta a página a cada 10 segundos e avisa com um som quando a situação
  muda. No rastreador, Enter lê a última situação do monitor e Esc para o
  monitor. O monitor também termina quando o rastreador é fechado.

Scripts
- C:\ubrimo\navelo\tramelis.exe ARQUIVO.tml executa um script.
TXT

rm -f "$zip"
python3 - "$stage" "$zip" <<'PY'
import os, sys, zipfile
stage, out = sys.argv[1], sys.argv[2]
# Fixed dates and sorted names: the same inputs give the same bytes.
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, dirs, files in os.walk(stage):
        dirs.sort()
        rel = os.path.relpath(folder, stage)
        if rel != ".":
            info = zipfile.ZipInfo(rel.replace(os.sep, "/") + "/", (2026, 1, 1, 0, 0, 0))
            info.external_attr = 0o40755 << 16 | 0x10
            z.writestr(info, b"")
        for name in sorted(files):
            path = os.path.join(folder, name)
            info = zipfile.ZipInfo(os.path.relpath(path, stage).replace(os.sep, "/"),
                                   (2026, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            with open(path, "rb") as f:
                z.writestr(info, f.read())
PY
echo "package-windows: $zip ($(du -k "$zip" | cut -f1) KB)"
