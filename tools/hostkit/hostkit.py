#!/usr/bin/python3
"""Writes a complete host tree for Linux: navelo.ini, the letter and word sounds, the diphone
database with its rules and exceptions, the configuration-merge tool and the tracker's sounds.

Usage: hostkit.py OUT [--tool HOSTKIT_UNITS] [--words FILE] [--jobs N]

OUT receives:
  c/                       drive C (NAVELO_DRIVE_C)
    ubrimo/som/letras/     letter, number and prompt words (DIRLETRAS)
    ubrimo/som/difones/    DIFONES2.IND, DIFONES2.DIF, regras.rgr, portug.exc (DIRDIFONES)
    ubrimo/navelo/pelaso   the configuration-merge tool (PGMNAVELO)
    ubrimo/tramelis/sons/  the script language's sounds directory (DIRTRAMELIS)
    ubrimo/scripts/        the script directory (DIRDEFAULT)
    ubrimo/soranatts/      the MBROLA-based engine's portug.nrl, .exc, .abr, .pro, .dfn and
                           the stand-in voice's unit set portug.uni (SORANATTS DIR)
  home/                    the user profile; home/AppData/Roaming/Navelo/navelo.ini
  bexilo/sons/             the tracker's prompts and effects
  env.sh                   the variables that point the programs at this tree
  coverage.txt             the coverage reports, also printed at the end
  MANIFEST                 size and SHA-256 of every file, to compare two generations

--tool is the unit inventory tool (hostkit_units, built with the runtime's own text to phonemes
and synthesizer): the database then holds every unit it asks for over the word list, besides the
base inventory, and the report gives the coverage and stress figures. Without it the database
holds the base inventory only.
"""

import argparse
import concurrent.futures
import hashlib
import math
import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree free of caches

from kitlib import effects, mbrola, names, report, units, voice, wave8

HERE = os.path.dirname(os.path.abspath(__file__))

LETTERS_DIR = r"c:\ubrimo\som\letras"
DIPHONES_DIR = r"c:\ubrimo\som\difones"
PROGRAM_DIR = r"c:\ubrimo\navelo"
SOUNDS_DIR = r"c:\ubrimo\tramelis\sons"
SCRIPTS_DIR = r"c:\ubrimo\scripts"
SORANATTS_DIR = "c:\\ubrimo\\soranatts\\"
# Words per minute of the connected speech the units are cut from.
UNIT_SPEED = 250
# Words per minute of the voice when it says a unit alone: syllables said alone come out long, and
# the synthesizer joins them one after another.
SAID_ALONE_SPEED = 280
# A nasal vowel or diphthong said alone mostly ends a word (pão, não, mãe, um), where the voice
# draws it out: it is said slower.
NASAL_SAID_ALONE_SPEED = 220
# Slices of the units made each in a fresh process of its own.
UNIT_SLICES = 8
# The least silent closure a unit that begins with a stop keeps before the burst.
STOP_CLOSURE = int(0.030 * wave8.RATE)
# A unit ends with a raised-cosine fade of 20 ms, so that where it meets silence it dies away
# (at 2 ms before its end it is below a tenth of its level, even on a glottal pulse).
UNIT_FADE = int(0.020 * wave8.RATE)
_FADE_OUT = [0.5 + 0.5 * math.cos(math.pi * (i + 1) / (UNIT_FADE + 1)) for i in range(UNIT_FADE)]


def host_path(out, windows_path):
    """Where a "c:\\..." path of navelo.ini lies inside the tree."""
    assert windows_path[:3].lower() == "c:\\"
    return os.path.join(out, "c", *[p for p in windows_path[3:].split("\\") if p])


def navelo_ini():
    """Every section and key the runtime reads, with values for Linux and this tree (cp1252)."""
    speeds = {
        # speed: CORTEFON, SOBRAFON, INTERPAL, CORTAFALA, RAPIDINHO, pauses . , :
        # The units end by dying away as connected speech does; a cut off their end would stop
        # them in full sound (a click), so no speed cuts them. Speed 4 gains its pace from
        # shorter silences between words and after punctuation, speed 5 from the wave player
        # dropping every other pitch period as well.
        1: (0, 0, 1600, "N", "N", 500, 300, 400),
        2: (0, 0, 1000, "N", "N", 350, 220, 300),
        3: (0, 0, 600, "N", "N", 250, 150, 200),
        4: (0, 0, 100, "N", "N", 150, 80, 110),
        5: (0, 0, 80, "S", "N", 120, 60, 100),
    }
    sint = []
    for n, (corte, sobra, inter, cortafala, rapid, ponto, virg, dois) in speeds.items():
        sint += [("CORTEFON%d" % n, corte), ("SOBRAFON%d" % n, sobra), ("INTERPAL%d" % n, inter),
                 ("CORTAFALA%d" % n, cortafala), ("RAPIDINHO%d" % n, rapid),
                 ("PAUSAPONTO%d" % n, ponto), ("PAUSAVIRG%d" % n, virg),
                 ("PAUSADOISPONTOS%d" % n, dois)]
    sections = [
        ("NAVELO", [("LEGADO", "N"), ("PGMNAVELO", PROGRAM_DIR), ("FALANDO", "Sim"),
                    ("ECOAROPCAO", "Sim"), ("FALARTUDO", "Sim"), ("BIPSCLECSCURTOS", "NAO"),
                    ("PROG.HTM", "xdg-open"), ("PROG.PDF", "xdg-open"), ("PROG.TXT", "xdg-open"),
                    ("TIMEOUT_REDE", 20000), ("TEMPOESPERAPROGVOLTAR", 1000)]),
        ("TRAMELIS", [("DIRTRAMELIS", SOUNDS_DIR), ("DIRDEFAULT", SCRIPTS_DIR)]),
        ("TRADUTOR", [("VELOCIDADE", 3), ("DIRLETRAS", LETTERS_DIR), ("DIRDIFONES", DIPHONES_DIR),
                      ("SAPI", "N")]),
        ("SERVFALA", [("VOZ", 1), ("VELOCIDADE", 0), ("TOM", 0), ("TIPOSAPI", 5)]),
        ("SINTETIZADOR", sint),
        ("BAIXAVISAO", [("AMPLIACAO", 0), ("CORLETRA", 14), ("CORFUNDO", 6), ("CORCURSOR", 3)]),
        ("VIDEO", [("TABCORES", "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15"), ("CORESFIXAS", "N"),
                   ("LENTO", "N"), ("CORFUNDO", 0), ("CORLETRA", 15), ("FONTE", "DejaVu Sans Mono"),
                   ("LARGURALETRA", ""), ("ALTURALETRA", ""), ("PESOLETRA", 700),
                   ("CANTOTELA", "SIM")]),
        ("BRAILLE", [("MODO", 0)]),
        ("SORANATTS", [("MBROLA_DB", "br4"), ("DIR", SORANATTS_DIR), ("BASE", "portug")]),
    ]
    lines = []
    for section, keys in sections:
        if lines:
            lines.append("")
        lines.append("[%s]" % section)
        lines += ["%s=%s" % (k, v) for k, v in keys]
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")


def speech_sound(text, pitch=None):
    x = wave8.trim(voice.speak(text, pitch=pitch))
    x = wave8.fade(x)
    return wave8.wav_bytes(wave8.to_u8(x, wave8.loudness_gain(x)))


def effect_sound(x):
    return wave8.wav_bytes(wave8.to_u8(x))


def said_alone_unit_samples(key):
    """The samples of one database unit: the syllable said alone, cut where it is quiet, with
    fades long enough that a unit that meets silence dies away instead of stopping."""
    ph = units.key_to_phonemes(key)
    if ph is None:
        return None
    if units.bare_nasal(key):
        ph += "N"  # the nasal consonant a nasal vowel has before a consonant (tempo, campo)
    speed = NASAL_SAID_ALONE_SPEED if key.endswith("TIL") else SAID_ALONE_SPEED
    x = wave8.trim(voice.speak(ph, speed=speed, phonemes=True), rel=0.03, floor=120)
    if not x:
        return None
    x = wave8.fade(x, 3.0)
    x = x[:-UNIT_FADE] + [v * g for v, g in zip(x[-UNIT_FADE:], _FADE_OUT)]
    has_vowel = any(c in "aeiou&" for c in ph.lower())
    return bytes(wave8.to_u8(x, wave8.loudness_gain(x, 0.2 if has_vowel else 0.07)))


def unit_samples(key):
    """Units that begin with a consonant come from connected speech, which gives a stop its
    closure and every consonant its transition into the vowel, and a nasal vowel its nasal
    consonant. Units that begin with a vowel, and consonants alone (the s, r and l that close a
    word), are said alone: they meet silence, and said alone they keep the length they have at
    the end of a word. A stop alone is cut from before a tap, as it opens a cluster (p-ra)."""
    ph = units.key_to_phonemes(key) or ""
    if units.lone_stop(key):
        return connected_unit_samples(key)
    if units.first_token(key) in units.VOWELS or not any(c in "aeiou&" for c in ph.lower()):
        return said_alone_unit_samples(key)
    return connected_unit_samples(key) or said_alone_unit_samples(key)


def units_samples(keys):
    """unit_samples of each key in order, in one process."""
    return [unit_samples(k) for k in keys]


def _smooth_envelope(x, ms=2.0):
    import numpy as np
    n = max(1, int(wave8.RATE * ms / 1000))
    return np.sqrt(np.convolve(x * x, np.ones(n) / n, "same"))


def connected_unit_samples(key):
    """The samples of one database unit, cut from connected speech at the phoneme boundaries the
    voice reports: from the closure of a stop it begins with (or the start of its first phoneme)
    to the point where its sound has died away before the next syllable's stop."""
    import numpy as np  # numpy and espeak-ng's library only for this way of making units
    from kitlib import phoneme_events
    made = units.carrier(key)
    if made is None:
        return None
    text, left = made
    x, events = phoneme_events.render(text, speed=UNIT_SPEED)
    marks = [pos for name, pos in events if not name.startswith("_")]
    final = units.final_nasal(key)  # the unit ends the carrier
    if len(marks) < left + (1 if final else 3) or len(x) == 0:
        return None
    start = marks[left]
    if final:
        # to the pause that ends the carrier
        end = min([pos for name, pos in events if name.startswith("_") and pos > marks[-1]]
                  + [len(x)])
    else:
        end = marks[-2]
    env = _smooth_envelope(x)
    level = np.percentile(env[start:end], 95) if end > start else 0
    if level <= 0:
        return None
    quiet = env < level * 0.03
    limit = int(0.12 * wave8.RATE)
    if units.first_token(key) in units.STOPS:
        # back over the closure to where the sound before it died away
        i = start
        lower = marks[left - 1] if left else 0
        while i > lower and i > start - limit and quiet[i - 1]:
            i -= 1
        closure = start - i
        start = i
    else:
        closure = 0
    # the end: back over the closure of the carrier's t (or the final silence) to where this
    # unit's sound died away
    j = end
    while j > start + closure + 1 and end - j < limit and quiet[j - 1]:
        j -= 1
    end = min(end, j + int(0.002 * wave8.RATE))
    y = x[start:end].copy()
    if len(y) < 2:
        return None
    if units.first_token(key) in units.STOPS:
        # a silent closure before the burst, of at least STOP_CLOSURE for a voiceless stop
        y[:closure] = 0.0
        if closure < STOP_CLOSURE and units.first_token(key) in units.VOICELESS_STOPS:
            y = np.concatenate([np.zeros(STOP_CLOSURE - closure), y])
            closure = STOP_CLOSURE
    fade_in = min(len(y) // 4, int(0.002 * wave8.RATE))
    fade_out = min(len(y) // 4, UNIT_FADE)
    if fade_in:  # the sound after the closure (or the unit's start) rises over 2 ms
        y[closure:closure + fade_in] *= np.linspace(0, 1, fade_in + 2)[1:-1][:len(y) - closure]
    if fade_out:
        # the same raised-cosine fade as the units said alone end with
        y[-fade_out:] *= 0.5 + 0.5 * np.cos(np.pi * (np.arange(fade_out) + 1) / (fade_out + 1))
    # the same loudness for every unit: the RMS of its sounding part
    sounding = y[np.abs(y) > 0]
    has_vowel = any(c in "aeiou&" for c in (text[left:] if final else text[left:-2]).lower())
    target = 0.2 if has_vowel else 0.07
    gain = wave8.loudness_gain([float(v) for v in sounding], target) if len(sounding) else 1.0
    return bytes(wave8.to_u8([float(v) for v in y], gain))


def sound_jobs(out):
    """(path, function, arguments) for every recorded or synthesized file of the tree."""
    letters = host_path(out, LETTERS_DIR)
    sons = os.path.join(out, "bexilo", "sons")
    jobs = []
    for stem, text, pitch in names.char_sounds():
        jobs.append((os.path.join(letters, stem + ".wav"), speech_sound, (text, pitch)))
    for stem, text in names.phonetic_sounds() + names.number_sounds() + names.prompt_sounds():
        jobs.append((os.path.join(letters, stem + ".wav"), speech_sound, (text,)))
    for key, name, low, high in names.DTMF:
        jobs.append((os.path.join(letters, "dtmf_%s.wav" % name), effect_sound,
                     (effects.dtmf(low, high),)))
    for stem, text in names.TRACKER_PROMPTS:
        jobs.append((os.path.join(sons, stem + ".wav"), speech_sound, (text,)))
    jobs.append((os.path.join(sons, "waterdrop.wav"), effect_sound, (effects.waterdrop(),)))
    jobs.append((os.path.join(sons, "blimblimblom.wav"), effect_sound, (effects.blimblimblom(),)))
    jobs.append((os.path.join(sons, "mudou.wav"), effect_sound, (effects.change_chime(),)))
    return jobs


def run_parallel(fn, items, jobs):
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        return list(pool.map(fn, items))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def word_inventory(tool, rules, exceptions, words):
    """The database keys the runtime asks for over the word list, from the inventory tool."""
    out = subprocess.run([tool, "inventory", rules, exceptions, words], capture_output=True,
                         check=True)
    sys.stderr.write(out.stderr.decode("utf-8", "replace"))
    keys = set()
    for line in out.stdout.decode("ascii").splitlines():
        key = line.split("\t")[0]
        if key.startswith("$") and len(key) <= 8:
            keys.add(key.upper())
    return keys


def coverage_report(tool, rules, exceptions, words, index, letters, missing):
    figures, extra = report.coverage(tool, rules, exceptions, words, index, letters)
    sample = report.sample_words(words, 2000)
    agree, compared, disagree = report.stress_agreement(tool, rules, exceptions, sample)
    same, _, classes = report.phoneme_agreement(tool, rules, exceptions, sample)
    total = figures.get("words", 0) or 1
    lines = [
        "Host kit coverage",
        "  word list: %s" % words,
        "  words spoken with every unit found: %d of %d (%.2f %%)"
        % (figures.get("complete", 0), figures.get("words", 0),
           100.0 * figures.get("complete", 0) / total),
        "  words with a unit missing (noise burst or silence): %d"
        % figures.get("with_missing_unit", 0),
        "  words asking for a name too long for the index (spoken through fallbacks): %d"
        % figures.get("with_overlong_name", 0),
        "  units in the database: %d; keys the voice could not say: %d"
        % (figures.get("index_units", 0), len(missing)),
        "  stressed syllable agreeing with espeak-ng over %d words: %d (%.1f %%)"
        % (compared, agree, 100.0 * agree / (compared or 1)),
    ]
    lines.append("  phoneme string (stress aside) agreeing with espeak-ng over %d words: %d (%.1f %%)"
                 % (compared, same, 100.0 * same / (compared or 1)))
    for (ours, voice), (count, example) in sorted(classes.items(),
                                                  key=lambda kv: (-kv[1][0], kv[0]))[:10]:
        lines.append("  phonemes differ: ours %s, espeak-ng %s: %d (%s)"
                     % (ours, voice, count, example))
    lines += ["  " + line for line in extra[:20]]
    lines += ["  stress differs: " + d for d in disagree[:8]]
    return "\n".join(lines) + "\n"


def manifest(out):
    lines = []
    for root, dirs, files in os.walk(out):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(root, name)
            rel = os.path.relpath(path, out)
            if rel in ("MANIFEST", "env.sh") or os.path.islink(path):
                continue
            with open(path, "rb") as f:
                data = f.read()
            lines.append("%s %d %s" % (hashlib.sha256(data).hexdigest(), len(data), rel))
    return "\n".join(lines) + "\n"


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("out")
    ap.add_argument("--tool")
    ap.add_argument("--words", default="/usr/share/dict/brazilian")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    args = ap.parse_args(argv[1:])
    out = os.path.abspath(args.out)

    for sub in ("c/windows", "home/Documents", "bexilo/temp"):
        os.makedirs(os.path.join(out, sub), exist_ok=True)
    for d in (SOUNDS_DIR, SCRIPTS_DIR, SORANATTS_DIR, PROGRAM_DIR):
        os.makedirs(host_path(out, d), exist_ok=True)
    write(os.path.join(out, "home", "AppData", "Roaming", "Navelo", "navelo.ini"), navelo_ini())
    pelaso = os.path.join(host_path(out, PROGRAM_DIR), "pelaso")
    shutil.copyfile(os.path.join(HERE, "pelaso"), pelaso)
    os.chmod(pelaso, 0o755)
    diphones = host_path(out, DIPHONES_DIR)
    for name in ("regras.rgr", "portug.exc"):
        with open(os.path.join(HERE, name), "rb") as f:
            write(os.path.join(diphones, name), f.read())

    # The MBROLA-based engine's files and the stand-in voice's units, one per phoneme.
    soranatts = host_path(out, SORANATTS_DIR)
    for name in mbrola.DATA_FILES:
        write(os.path.join(soranatts, name), mbrola.cp1252_file(name))
    phone_units = [u for u in run_parallel(mbrola.render_unit, sorted(mbrola.PHONEMES), args.jobs) if u]
    write(os.path.join(soranatts, "portug.uni"), mbrola.unit_set_bytes(phone_units))
    write(os.path.join(soranatts, "portug.dfn"), mbrola.dfn_text([u[0] for u in phone_units]))
    sys.stderr.write("hostkit: stand-in voice of %d phoneme units\n" % len(phone_units))

    jobs = sound_jobs(out)
    sys.stderr.write("hostkit: %d sounds\n" % len(jobs))
    datas = run_parallel(lambda j: j[1](*j[2]), jobs, args.jobs)
    for (path, _, _), data in zip(jobs, datas):
        write(path, data)

    rules = os.path.join(diphones, "regras.rgr")
    exceptions = os.path.join(diphones, "portug.exc")
    keys = set(units.base_inventory())
    if args.tool:
        keys |= word_inventory(args.tool, rules, exceptions, args.words)
    keys = sorted(keys)
    sys.stderr.write("hostkit: %d diphone units\n" % len(keys))
    # The voice's library keeps global state: each worker process uses it from one thread.
    # Its voice also carries a little state from one utterance to the next, so the units are made
    # in fixed slices, each in a fresh process: the same inputs give the same bytes.
    slices = [keys[i::UNIT_SLICES] for i in range(UNIT_SLICES)]
    with concurrent.futures.ProcessPoolExecutor(max_workers=args.jobs,
                                                max_tasks_per_child=1) as pool:
        made_slices = list(pool.map(units_samples, slices))
    by_key = {k: s for part, made_part in zip(slices, made_slices) for k, s in zip(part, made_part)}
    samples = [by_key[k] for k in keys]
    made = [(k, s) for k, s in zip(keys, samples) if s]
    missing = [k for k, s in zip(keys, samples) if not s]
    index, data = units.build_files(made)
    write(os.path.join(diphones, "DIFONES2.IND"), index)
    write(os.path.join(diphones, "DIFONES2.DIF"), data)
    write(os.path.join(out, "units-missing.txt"), "".join(k + "\n" for k in missing).encode())
    sys.stderr.write("hostkit: database %d units, %d bytes; %d keys could not be said\n"
                     % (len(made), len(data), len(missing)))

    env = ("# Points the programs at this host tree: source it before running them.\n"
           "export NAVELO_DRIVE_C='%s'\nexport USERPROFILE='%s'\nexport APPDATA='%s'\n"
           % (os.path.join(out, "c"), os.path.join(out, "home"),
              os.path.join(out, "home", "AppData", "Roaming")))
    write(os.path.join(out, "env.sh"), env.encode())
    if args.tool:
        text = coverage_report(args.tool, rules, exceptions, args.words,
                               os.path.join(diphones, "DIFONES2.IND"),
                               host_path(out, LETTERS_DIR), missing)
    else:
        text = "Host kit coverage: not measured (no inventory tool); base inventory only.\n"
    if args.tool:
        text += mbrola.coverage_report(args.tool, os.path.join(soranatts, "portug"), args.words,
                                       [u[0] for u in phone_units])
    write(os.path.join(out, "coverage.txt"), text.encode())
    sys.stdout.write(text)
    write(os.path.join(out, "MANIFEST"), manifest(out).encode())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
