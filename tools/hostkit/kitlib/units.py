"""The diphone database: which units it holds, how each is said, and its index and data files."""

import struct

VOWELS = "aeiou"
# Onsets the rules write (see regras.rgr), longest first so that tokens are read greedily.
ONSETS = ["tch", "dj", "nh", "lh", "rr", "gw", "kw", "ks", "b", "d", "f", "g", "j", "k", "l",
          "m", "n", "p", "r", "s", "t", "v", "x", "z"]

# Our phoneme symbols in the voice's own phoneme notation.
CONSONANTS = {"tch": "tS", "dj": "dZ", "nh": "n^", "lh": "lj", "rr": "x", "gw": "gw", "kw": "kw",
              "ks": "ks", "j": "Z", "x": "S", "r": "*", "c": "k", "q": "k", "w": "w", "y": "j"}
PLAIN_VOWELS = {"a": "a", "e": "E", "i": "i", "o": "O", "u": "u"}
CLOSED_VOWELS = {"a": "&", "e": "e", "i": "i", "o": "o", "u": "u"}
# The voice writes a nasal vowel as the vowel and a nasal coda N (tempo t'eImpU, ponte p'oNtSy).
NASAL_VOWELS = {"a": "&~", "e": "eI", "i": "i", "o": "o", "u": "u~"}
NASAL_GLIDES = {"aw": "&U~", "ay": "&~j", "ey": "eIN", "oy": "o~j", "uy": "u~j", "ew": "e~w",
                "ow": "o~w", "iw": "i~w"}
# Stops cannot be heard alone; they are said with the short unstressed i that Brazilian speech
# puts after a consonant that closes no syllable (o-b-ter, ri-t-mo).
NEEDS_VOWEL = {"b", "d", "g", "k", "p", "t", "tch", "dj", "ks", "gw", "kw"}


def base_inventory():
    """Units every database holds whatever the word list asks for: each onset with each vowel in
    its plain, closed and nasal forms, each consonant and vowel alone, each vowel with a glide or
    a closing consonant, and the nasal murmur that the synthesizer falls back to."""
    keys = {"$NN"}
    for onset in [""] + ONSETS:
        keys.add(("$" + onset).upper()) if onset else None
        for v in VOWELS:
            for suffix in ("", "CIRC", "TIL"):
                if suffix == "CIRC" and v in "iu":
                    continue
                keys.add(("$" + onset + v).upper() + suffix)
    for d in NASAL_GLIDES:
        keys.add(("$" + d).upper() + "TIL")
    for v in VOWELS:
        for g in "wy":
            keys.add(("$" + v + g).upper())
            keys.add(("$" + v + g).upper() + "CIRC")
        # A syllable of a vowel and the consonant that closes it (ar-te, ex-por) is one unit.
        for c in ONSETS:
            keys.add(("$" + v + c).upper())
    return sorted(k for k in keys if len(k) <= 8)


def key_to_phonemes(key):
    """The phoneme text of a database key ("$KACIRC" -> "k'&"), or None when it holds nothing
    sayable."""
    if not key.startswith("$") or len(key) < 2:
        return None
    body = key[1:].lower()
    mark = ""
    if body.endswith("circ"):
        body, mark = body[:-4], "^"
    elif body.endswith("til"):
        body, mark = body[:-3], "~"
    if body == "nn":
        return "n"
    if not body:
        return None
    # The mark belongs to the last vowel (with a glide after it for the nasal diphthongs).
    tokens = []
    i = 0
    while i < len(body):
        for t in ONSETS + list("aeiouwyc q"):
            if t != " " and body.startswith(t, i):
                tokens.append(t)
                i += len(t)
                break
        else:
            return None
    last_vowel = max((n for n, t in enumerate(tokens) if t in VOWELS), default=None)
    out = []
    stressed = False
    n = 0
    while n < len(tokens):
        t = tokens[n]
        if t in VOWELS:
            prefix = "" if stressed else "'"
            stressed = True
            if n == last_vowel and mark == "~":
                pair = t + (tokens[n + 1] if n + 1 < len(tokens) else "")
                if pair in NASAL_GLIDES:
                    out.append(prefix + NASAL_GLIDES[pair])
                    n += 2
                    continue
                out.append(prefix + NASAL_VOWELS[t])
            elif n == last_vowel and mark == "^":
                out.append(prefix + CLOSED_VOWELS[t])
            else:
                out.append(prefix + PLAIN_VOWELS[t])
        elif t == "r" and n == len(tokens) - 1 and stressed:
            out.append("r")  # the r that closes a syllable; the tap is for r between vowels
        elif t == "r" and n > 0 and tokens[n - 1] not in VOWELS + "wy":
            out.append("R")  # the tap after a consonant (pra, tra), as the voice writes it
        else:
            out.append(CONSONANTS.get(t, t))
        n += 1
    if last_vowel is None:
        if mark:
            return None
        if len(tokens) == 1 and tokens[0] in NEEDS_VOWEL:
            out.append("y")
        if tokens == ["r"]:
            out = ["r"]  # the r that closes a syllable, not the tap, which is silent alone
    return "".join(out)


def build_files(units):
    """Index and data images from (name, samples) pairs: 15-byte records sorted by name."""
    index = bytearray()
    data = bytearray()
    for name, samples in sorted(units, key=lambda u: u[0].encode("ascii")):
        raw = name.encode("ascii")
        if not 1 <= len(raw) <= 8 or raw != raw.upper():
            raise ValueError("bad unit name %r" % name)
        samples = bytes(samples[:65535])
        index += bytes([len(raw)]) + raw.ljust(8, b"\0")
        index += struct.pack("<HI", len(samples), len(data))
        data += samples
    return bytes(index), bytes(data)


def read_index(index):
    """(name, length, offset) of every record, for checks and tests."""
    out = []
    for i in range(0, len(index) - len(index) % 15, 15):
        rec = index[i:i + 15]
        name = rec[1:1 + rec[0]].decode("ascii")
        length, offset = struct.unpack("<HI", rec[9:15])
        out.append((name, length, offset))
    return out


# Stops: their closure is silence before the burst, which the voice reports as part of what
# comes before them.
STOPS = {"b", "d", "g", "k", "p", "t", "tch", "dj", "ks", "gw", "kw", "c", "q"}
VOICELESS_STOPS = {"k", "p", "t", "tch", "ks", "kw", "c", "q"}


def first_token(key):
    body = key[1:].lower()
    for t in ONSETS + list("aeiouwycq"):
        if body.startswith(t):
            return t
    return ""


def lone_stop(key):
    """Whether the key is a stop alone, which the synthesizer speaks before the consonant that
    follows it in a cluster (p-ra, t-ra, k-la)."""
    return key[1:].lower() in ("b", "d", "g", "k", "p", "t")


def final_nasal(key):
    """Whether the key is a nasal i or u (sim, um), cut from the end of its carrier."""
    return bare_nasal(key) and key[-4] in "IU"


def bare_nasal(key):
    """Whether the key ends in a nasal vowel without a glide after it."""
    body = key[1:-3].lower() if key.endswith("TIL") else ""
    return bool(body) and body[-1] in VOWELS


def carrier(key):
    """(phoneme text, number of phonemes before the unit) of the connected speech a unit is cut
    from: the unit between a vowel and the syllable "ta", so that it keeps the closure of a stop
    it begins with and ends the way a syllable ends before the next one. A bare nasal vowel keeps
    a nasal consonant after it, as it has before a consonant (tempo, campo); a nasal i or u ends
    the carrier; a stop alone comes before a tap. A unit that begins with a vowel begins the
    carrier."""
    ph = key_to_phonemes(key)
    if ph is None:
        return None
    if lone_stop(key):
        # A stop that opens a cluster (pra, tra, cla): its closure and burst, up to the tap.
        return "a'" + CONSONANTS.get(key[1:].lower(), key[1:].lower()) + "Ra", 1
    if bare_nasal(key):
        ph += "N"
    # The library reads "*" as a character to name; R is the same tap.
    ph = ph.replace("*", "R")
    if "'" in ph:
        # The stress mark opens the syllable: the voice then keeps the unit's first consonant
        # in it instead of closing the carrier's vowel with it (a-la, not al-a).
        ph = "'" + ph.replace("'", "")
    # A nasal i or u ends the carrier, as it mostly ends a word (sim, fim, um, algum), with the
    # length and the nasal murmur it has there; the other nasal vowels mostly come before a
    # consonant (tempo, campo, ponte).
    after = "" if final_nasal(key) else "ta"
    if first_token(key) in VOWELS:
        return ph + after, 0
    return "a" + ph + after, 1
