"""Recording Portuguese speech with espeak-ng's Brazilian voice, resampled to 11025 Hz by sox."""

import subprocess

from .wave8 import from_s16le

VOICE = "pt-br"


def tool_versions():
    """Versions of the two programs, part of what makes a generated tree what it is."""
    out = []
    for cmd in (["espeak-ng", "--version"], ["sox", "--version"]):
        r = subprocess.run(cmd, capture_output=True, check=True)
        out.append(r.stdout.decode("utf-8", "replace").strip())
    return "\n".join(out)


def speak(text, pitch=None, speed=None, phonemes=False, rate=11025):
    """Signed 16-bit samples at rate (11025 Hz unless asked) of text (or of [[phonemes]]) said
    by the voice."""
    cmd = ["espeak-ng", "-v", VOICE, "--stdout", "-b", "1"]
    if pitch is not None:
        cmd += ["-p", str(pitch)]
    if speed is not None:
        cmd += ["-s", str(speed)]
    source = "[[%s]]" % text if phonemes else text
    wav = subprocess.run(cmd + ["--stdin"], input=source.encode("utf-8"),
                         capture_output=True, check=True).stdout
    # No dither (-D), so the same input always gives the same bytes.
    raw = subprocess.run(["sox", "-D", "-V1", "-t", "wav", "-", "-t", "raw", "-e", "signed-integer",
                          "-b", "16", "-c", "1", "-", "rate", "-h", str(rate)],
                         input=wav, capture_output=True, check=True).stdout
    return from_s16le(raw)
