"""Synthesized sounds that are not speech: touch tones, the drop, the chimes."""

import math

from .wave8 import RATE, fade


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def dtmf(low_hz, high_hz, seconds=0.12, level=0.2):
    """A touch tone: the two sines of its row and column at equal level (full scale 32768), as
    loud as the speech around it."""
    n = int(RATE * seconds)
    a = level * 32767
    w1, w2 = 2 * math.pi * low_hz / RATE, 2 * math.pi * high_hz / RATE
    x = [a * (math.sin(w1 * i) + math.sin(w2 * i)) for i in range(n)]
    return fade(x, 5.0)


def bell(freq, seconds, level=0.6, decay=0.12):
    """A struck bell: a few inharmonic partials that die away exponentially."""
    partials = [(1.0, 1.0, 1.0), (2.0, 0.45, 0.6), (2.76, 0.25, 0.45), (5.4, 0.1, 0.25)]
    n = int(RATE * seconds)
    x = []
    for i in range(n):
        t = i / RATE
        v = 0.0
        for ratio, amp, dk in partials:
            f = freq * ratio
            if f < RATE / 2:
                v += amp * math.exp(-t / (decay * dk)) * math.sin(2 * math.pi * f * t)
        x.append(v)
    peak = max(abs(v) for v in x) or 1
    x = [v / peak * level * 32767 for v in x]
    return fade(x, 1.5)


def waterdrop():
    """A drop falling into water: a sine whose pitch rises fast while it dies away."""
    n = int(RATE * 0.16)
    x = []
    phase = 0.0
    for i in range(n):
        t = i / RATE
        f = 600 + 1500 * (1 - math.exp(-t / 0.025))
        phase += 2 * math.pi * f / RATE
        env = min(1.0, t / 0.004) * math.exp(-t / 0.035)
        x.append(0.8 * 32767 * env * math.sin(phase))
    return fade(x, 1.0) + silence(0.05)


def blimblimblom():
    """Two high strikes and a low one: the sound before the first parcel status."""
    return (bell(1568, 0.16, decay=0.08) + bell(1568, 0.16, decay=0.08)
            + bell(1047, 0.55, decay=0.2))


def change_chime():
    """A rising pair of strikes: the parcel's status changed."""
    return bell(880, 0.14, decay=0.07) + bell(1319, 0.45, decay=0.16)
