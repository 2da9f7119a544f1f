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
