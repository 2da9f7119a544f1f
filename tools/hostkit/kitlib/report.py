"""The coverage report: units found for every word, and our stress against the voice's."""

import subprocess

OUR_VOWELS = "aeiouAEIOU"
VOICE_VOWELS = "a&EeiIOouUy"
VOICE_GLIDES = "IUy"


def _nuclei(symbols, vowels, glides=""):
    """Positions of the syllable nuclei: every vowel symbol, except a glide symbol right after a
    vowel (its mark aside), which belongs to that vowel's syllable."""
    out = []
    prev_vowel = False
    for i, c in enumerate(symbols):
        if c in vowels:
            if not (c in glides and prev_vowel):
                out.append(i)
            prev_vowel = True
        elif c != "~":
            prev_vowel = False
    return out


def our_stress(phonemes):
    """Which syllable, counted from the end (1 = last), holds our stressed vowel; None when the
    word has several syllables and none is marked. Every vowel letter of our notation is a
    nucleus: glides are written w and y."""
    s = "".join(c for c in phonemes if c not in "[]/ ")
    nuclei = _nuclei(s, OUR_VOWELS)
    if not nuclei:
        return None
    for n, i in enumerate(nuclei):
        if s[i] in "AEIOU":
            return len(nuclei) - n
    return 1 if len(nuclei) == 1 else None


def voice_stress(phonemes):
    """The same for the voice's notation, where "'" stands before the stressed syllable."""
    s = phonemes.strip().replace("@-", "").replace(",", "")
    mark = s.find("'")
    plain = s.replace("'", "")
    nuclei = _nuclei(plain, VOICE_VOWELS, VOICE_GLIDES)
    if not nuclei:
        return None
    if mark < 0:
        return 1 if len(nuclei) == 1 else None
    for n, i in enumerate(nuclei):
        if i >= mark:
            return len(nuclei) - n
    return None


def sample_words(word_file, count):
    """count words spread evenly over the list (plain words of letters only)."""
    with open(word_file, encoding="utf-8") as f:
        words = [w.strip() for w in f if w.strip() and w.strip().isalpha()]
    step = max(1, len(words) // count)
    return words[::step][:count]


def stress_agreement(tool, rules, exceptions, words):
    """(agreeing, compared, examples of disagreement) over words."""
    text = "".join(w + "\n" for w in words).encode("utf-8")
    ours = subprocess.run([tool, "phonemes", rules, exceptions], input=text,
                          capture_output=True, check=True).stdout
    ours = ours.decode("utf-8", "replace").splitlines()
    voice_in = "".join(w + ".\n" for w in words).encode("utf-8")
    theirs = subprocess.run(["espeak-ng", "-v", "pt-br", "-q", "-x", "--stdin", "-b", "1"],
                            input=voice_in, capture_output=True, check=True).stdout.decode(
                                "utf-8", "replace").splitlines()
    if len(ours) != len(words) or len(theirs) != len(words):
        raise RuntimeError("phoneme lists do not match the sample")
    agree = 0
    bad = []
    for word, line, other in zip(words, ours, theirs):
        a = our_stress(line.split("\t", 1)[1])
        b = voice_stress(other)
        if a is not None and a == b:
            agree += 1
        elif len(bad) < 12:
            bad.append("%s %s %s" % (word, line.split("\t", 1)[1], other.strip()))
    return agree, len(words), bad


def coverage(tool, rules, exceptions, word_file, index, letters):
    out = subprocess.run([tool, "coverage", rules, exceptions, word_file, index, letters],
                         capture_output=True, check=True).stdout.decode("utf-8", "replace")
    figures = {}
    extra = []
    for line in out.splitlines():
        key, _, value = line.partition(" ")
        if value.isdigit():
            figures[key] = int(value)
        else:
            extra.append(line)
    return figures, extra


# Phoneme strings in one notation, to compare ours with the voice's: a list of tokens, vowels
# with "~" when nasal; a and & (the voice's reduced a) are one vowel, glides are their vowels.
_OUR_TOKENS = [("tch", "tS"), ("dj", "dZ"), ("nh", "J"), ("lh", "L"), ("rr", "x"), ("ks", "ks"),
               ("a^", "a"), ("e^", "e"), ("o^", "o"), ("a", "a"), ("e", "E"), ("o", "O"),
               ("i", "i"), ("u", "u"), ("w", "u"), ("y", "i"), ("x", "S"), ("j", "Z"),
               ("r", "r"), ("c", "k"), ("q", "k")]
_VOICE_TOKENS = [("tS", "tS"), ("dZ", "dZ"), ("n^", "J"), ("lj", "L"), ("&U~", "a~u"),
                 ("&", "a"), ("a", "a"), ("E", "E"), ("e", "e"), ("O", "O"), ("o", "o"),
                 ("i", "i"), ("I", "i"), ("y", "i"), ("j", "i"), ("u", "u"), ("U", "u"),
                 ("w", "u"), ("*", "r"), ("R", "r"), ("r", "r"), ("x", "x"), ("S", "S"),
                 ("Z", "Z"), ("N", "N"), ("~", "~")]
_CANON_VOWELS = set("aeEioOu")


def _tokens(text, table):
    out = []
    i = 0
    while i < len(text):
        for sym, tok in table:
            if text.startswith(sym, i):
                out.extend(tok.split("~u") if tok == "a~u" else [tok])
                if tok == "a~u":
                    out[-2:] = ["a", "~", "u"]
                i += len(sym)
                break
        else:
            out.append(text[i])
            i += 1
    return out


def _nasalise(tokens, nasal_codas=False):
    """Folds "~" and a nasal coda (N; with nasal_codas, the voice's m or n after a vowel and
    before a consonant or the end) into the first vowel of the vowel group before it."""
    out = []
    for n, t in enumerate(tokens):
        nxt = tokens[n + 1] if n + 1 < len(tokens) else ""
        coda = t == "N" or (nasal_codas and t in ("m", "n") and out and out[-1][0] in _CANON_VOWELS
                            and (not nxt or nxt[0] not in _CANON_VOWELS))
        if t == "~" or coda:
            k = len(out) - 1
            while k > 0 and out[k - 1][0] in _CANON_VOWELS:
                k -= 1
            if k >= 0 and out[k][0] in _CANON_VOWELS and not out[k].endswith("~"):
                out[k] += "~"
            if t == "N" and nxt and nxt[0] not in _CANON_VOWELS:
                continue
            if t == "N" and not nxt:
                continue
            if coda and t != "N":
                continue
            if t == "~" or t == "N":
                continue
        out.append(t)
    return out


def _neutral_nasals(tokens):
    """A nasal vowel has no open or closed quality, and the voice's nasal e is a diphthong
    before a consonant as well (comendador, komeINdad'o*): both notations then agree."""
    out = []
    for t in tokens:
        if t.endswith("~"):
            t = t.lower()
        if t == "i" and out and out[-1] == "e~":
            continue
        out.append(t)
    return out


def our_canonical(phonemes):
    s = "".join(c for c in phonemes if c not in "[]/ ").lower()
    s = s.replace("~", "\x00")
    toks = []
    for part in s.split("\x00"):
        toks += _tokens(part, _OUR_TOKENS) + ["~"]
    return _neutral_nasals(_nasalise(toks[:-1]))


def voice_canonical(phonemes):
    s = phonemes.strip().replace("@-", "").replace("'", "").replace(",", "").replace(";", "")
    s = s.replace(":", "")
    return _neutral_nasals(_nasalise(_tokens(s, _VOICE_TOKENS), nasal_codas=True))


def phoneme_agreement(tool, rules, exceptions, words):
    """(agreeing, compared, {(ours, voice's): [count, example]}) over words, comparing the
    phoneme strings in one notation (stress aside)."""
    import difflib
    text = "".join(w + "\n" for w in words).encode("utf-8")
    ours = subprocess.run([tool, "phonemes", rules, exceptions], input=text,
                          capture_output=True, check=True).stdout
    ours = ours.decode("utf-8", "replace").splitlines()
    voice_in = "".join(w + ".\n" for w in words).encode("utf-8")
    theirs = subprocess.run(["espeak-ng", "-v", "pt-br", "-q", "-x", "--stdin", "-b", "1"],
                            input=voice_in, capture_output=True, check=True).stdout.decode(
                                "utf-8", "replace").splitlines()
    agree = 0
    classes = {}
    for word, line, other in zip(words, ours, theirs):
        a = our_canonical(line.split("\t", 1)[1])
        b = voice_canonical(other)
        if a == b:
            agree += 1
            continue
        for op, i1, i2, j1, j2 in difflib.SequenceMatcher(None, a, b, autojunk=False).get_opcodes():
            if op != "equal":
                key = (" ".join(a[i1:i2]) or "-", " ".join(b[j1:j2]) or "-")
                entry = classes.setdefault(key, [0, word])
                entry[0] += 1
    return agree, len(words), classes
