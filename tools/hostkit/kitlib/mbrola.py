"""The MBROLA-based engine's data: its five files (rules, exceptions, abbreviations, prosody and
the list of phoneme pairs the voice has) and the unit set of the stand-in synthesizer, one
pitch-marked recording of each phoneme said by espeak-ng's Brazilian voice at 16000 Hz. No
MBROLA voice is used for any of it."""

import os
import struct
import subprocess

from . import report, voice

RATE = 16000
HERE = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "mbrola")

# Our phoneme names (those of the Brazilian MBROLA voices) in espeak-ng's notation, and whether
# the phoneme is voiced.
PHONEMES = {
    "a": ("a", True), "@": ("&", True), "an": ("&~", True), "e": ("e", True),
    "ee": ("E", True), "en": ("e~", True), "i": ("i", True), "in": ("i~", True),
    "o": ("o", True), "oo": ("O", True), "on": ("o~", True), "u": ("u", True),
    "un": ("u~", True), "w": ("w", True), "y": ("j", True),
    "b": ("b", True), "d": ("d", True), "g": ("g", True), "j": ("Z", True),
    "l": ("l", True), "lh": ("lj", True), "m": ("m", True), "n": ("n", True),
    "nh": ("n^", True), "r": ("*", True), "v": ("v", True), "z": ("z", True),
    "f": ("f", False), "k": ("k", False), "p": ("p", False), "t": ("t", False),
    "s": ("s", False), "s2": ("s", False), "x": ("S", False), "rr": ("x", False),
    "r2": ("x", False), "h": ("x", False),
}
# Phonemes the voice does not say alone (voiced stops, the tap): said in a syllable, of which
# the stretch from start to end (fractions of the recording) is kept.
IN_CONTEXT = {"b": ("b&", 0.0, 0.35), "d": ("d&", 0.0, 0.35), "g": ("g&", 0.0, 0.35),
              "r": ("a*a", 0.4, 0.6)}
VOWELS = {"a", "@", "an", "e", "ee", "en", "i", "in", "o", "oo", "on", "u", "un"}
DATA_FILES = ("portug.nrl", "portug.exc", "portug.abr", "portug.pro")


def cp1252_file(name):
    """A data file of the kit, converted from UTF-8 to cp1252 with CR LF line ends."""
    with open(os.path.join(HERE, name), encoding="utf-8") as f:
        text = f.read()
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp1252")


def dfn_text(names):
    """The pairs the stand-in voice has: every phoneme after every other and after silence."""
    names = ["_"] + sorted(names)
    lines = ["; phoneme pairs of the stand-in voice (host kit): every pair of its units"]
    lines += ["%s %s" % (a, b) for a in names for b in names]
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def _trim(x, rel=0.08):
    peak = max((abs(v) for v in x), default=0)
    if peak == 0:
        return []
    thr = peak * rel
    first = next(i for i, v in enumerate(x) if abs(v) > thr)
    last = next(i for i in range(len(x) - 1, -1, -1) if abs(x[i]) > thr)
    return list(x[first:last + 1])


def _period(x):
    """The pitch period (samples) over the middle of a voiced recording, by autocorrelation."""
    mid = len(x) // 2
    seg = x[max(0, mid - 800):mid + 800]
    best, best_lag = -1.0, RATE // 120
    energy = sum(v * v for v in seg) or 1
    for lag in range(RATE // 400, RATE // 60):
        r = sum(a * b for a, b in zip(seg, seg[lag:])) / energy
        if r > best:
            best, best_lag = r, lag
    return best_lag


def pitch_marks(x, voiced):
    """Pitch marks: for a voiced sound, its positive peaks followed period by period; for an
    unvoiced one, every 5 ms."""
    if not voiced or len(x) < RATE // 50:
        return list(range(40, max(41, len(x) - 40), 80))
    period = _period(x)
    peak = max(x)
    first_span = x[:period]
    m = max(range(len(first_span)), key=lambda i: x[i])
    marks = [m]
    while True:
        lo = m + int(period * 0.75)
        hi = min(len(x) - 1, m + int(period * 1.25))
        if lo >= hi:
            break
        nxt = max(range(lo, hi + 1), key=lambda i: x[i])
        if x[nxt] <= 0.1 * peak:
            break  # the sound has ended
        period = max(RATE // 400, min(RATE // 60, int(0.7 * period + 0.3 * (nxt - m))))
        marks.append(nxt)
        m = nxt
    return marks


def render_unit(name):
    """(name, voiced, samples, marks) of one phoneme said alone by the voice."""
    espeak, voiced = PHONEMES[name]
    x = _trim(voice.speak(espeak, phonemes=True, rate=RATE))
    if not x and name in IN_CONTEXT:
        text, start, end = IN_CONTEXT[name]
        y = _trim(voice.speak(text, phonemes=True, rate=RATE))
        x = y[int(start * len(y)):int(end * len(y))]
    if not x:
        return None
    peak = max(abs(v) for v in x)
    gain = (12000.0 if name in VOWELS else 8000.0) / peak
    x = [int(max(-32768, min(32767, round(v * gain)))) for v in x]
    return name, voiced, x, pitch_marks(x, voiced)


def unit_set_bytes(units):
    """The stand-in's unit set file (see tradutor/pho_synthesizer.h)."""
    out = bytearray(b"NVPHOU1\n") + struct.pack("<II", RATE, len(units))
    for name, voiced, samples, marks in units:
        raw = name.encode("ascii")
        out += bytes([len(raw)]) + raw + bytes([1 if voiced else 0])
        out += struct.pack("<I", len(samples)) + struct.pack("<%dh" % len(samples), *samples)
        out += struct.pack("<I", len(marks)) + struct.pack("<%dI" % len(marks), *marks)
    return bytes(out)


def read_unit_set(data):
    """(name, voiced, sample count, marks) of every unit, for checks and tests."""
    if data[:8] != b"NVPHOU1\n":
        raise ValueError("not a unit set")
    rate, count = struct.unpack("<II", data[8:16])
    p = 16
    out = []
    for _ in range(count):
        n = data[p]
        name = data[p + 1:p + 1 + n].decode("ascii")
        p += 1 + n
        voiced = data[p] == 1
        p += 1
        samples = struct.unpack("<I", data[p:p + 4])[0]
        p += 4 + 2 * samples
        marks_n = struct.unpack("<I", data[p:p + 4])[0]
        marks = list(struct.unpack("<%dI" % marks_n, data[p + 4:p + 4 + 4 * marks_n]))
        p += 4 + 4 * marks_n
        out.append((name, voiced, samples, marks))
    if p != len(data) or rate != RATE:
        raise ValueError("damaged unit set")
    return out


def coverage_report(tool, stem, word_file, dfn_names, sample_size=2000):
    """Over the whole word list: the share of words whose every phoneme pair (silence at both
    ends) the .dfn lists; over a sample, the stressed syllable against espeak-ng's."""
    with open(word_file, encoding="utf-8") as f:
        words = [w.strip() for w in f if w.strip()]
    out = subprocess.run([tool, "pho", stem], input="".join(w + "\n" for w in words).encode(),
                         capture_output=True, check=True).stdout.decode("utf-8").splitlines()
    pairs = set()
    with open(stem + ".dfn", "rb") as f:
        for line in f.read().decode("cp1252").splitlines():
            parts = line.split()
            if len(parts) >= 2 and line[0] not in "!*;":
                pairs.add((parts[0], parts[1]))
    complete = 0
    lacking = {}
    ours = {}
    for line in out:
        word, _, pho = line.partition("\t")
        names = pho.split()
        ours[word] = names
        seq = ["_"] + [n.lstrip(">\xa8") for n in names] + ["_"]
        missing = [(a, b) for a, b in zip(seq, seq[1:]) if (a, b) not in pairs]
        if not missing:
            complete += 1
        for m in missing:
            lacking[m] = lacking.get(m, 0) + 1
    sample = report.sample_words(word_file, sample_size)
    theirs = subprocess.run(["espeak-ng", "-v", "pt-br", "-q", "-x", "--stdin", "-b", "1"],
                            input="".join(w + ".\n" for w in sample).encode("utf-8"),
                            capture_output=True, check=True).stdout.decode(
                                "utf-8", "replace").splitlines()
    agree = compared = 0
    for word, other in zip(sample, theirs):
        names = ours.get(word)
        if names is None:
            continue
        compared += 1
        if _our_stress(names) == report.voice_stress(other):
            agree += 1
    total = len(words) or 1
    lines = [
        "MBROLA voice coverage",
        "  word list: %s" % word_file,
        "  words whose every phoneme pair is in the .dfn: %d of %d (%.2f %%)"
        % (complete, len(words), 100.0 * complete / total),
        "  units of the stand-in voice: %d" % len(dfn_names),
        "  stressed syllable agreeing with espeak-ng over %d words: %d (%.1f %%)"
        % (compared, agree, 100.0 * agree / (compared or 1)),
    ]
    for (a, b), n in sorted(lacking.items(), key=lambda kv: -kv[1])[:10]:
        lines.append("  pair missing: %s-%s in %d words" % (a, b, n))
    return "\n".join(lines) + "\n"


def _our_stress(names):
    """The stressed syllable counted from the end (1 = last), None when none is marked in a word
    of several syllables."""
    nuclei = [i for i, n in enumerate(names) if n.lstrip(">\xa8") in VOWELS]
    if not nuclei:
        return None
    for k, i in enumerate(nuclei):
        if names[i].startswith(">"):
            return len(nuclei) - k
    # The mark may stand on a consonant that begins the stressed syllable's rule.
    for k, i in enumerate(nuclei):
        if any(n.startswith(">") for n in names[:i + 1]):
            return len(nuclei) - k
    return 1 if len(nuclei) == 1 else None
