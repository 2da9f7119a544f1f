"""8-bit unsigned mono PCM at 11025 Hz: the header, trimming, loudness and quantisation."""

import math
import struct

RATE = 11025


def wav_header(data_len):
    """The 44-byte RIFF/WAVE header of 8-bit mono PCM at 11025 Hz with data_len bytes."""
    return (b"RIFF" + struct.pack("<I", 36 + data_len) + b"WAVE" + b"fmt "
            + struct.pack("<IHHIIHH", 16, 1, 1, RATE, RATE, 1, 8)
            + b"data" + struct.pack("<I", data_len))


def wav_bytes(u8):
    return wav_header(len(u8)) + bytes(u8)


def read_wav_u8(data):
    """The samples of a file written by wav_bytes (for checks and tests)."""
    if len(data) < 44 or data[:4] != b"RIFF" or data[8:16] != b"WAVE" + b"fmt ":
        raise ValueError("not a RIFF/WAVE file")
    fmt, channels, rate, _, _, bits = struct.unpack("<HHIIHH", data[20:36])
    if (fmt, channels, rate, bits) != (1, 1, RATE, 8) or data[36:40] != b"data":
        raise ValueError("not 8-bit mono PCM at 11025 Hz with a 44-byte header")
    n = struct.unpack("<I", data[40:44])[0]
    if 44 + n != len(data):
        raise ValueError("data length does not match the file")
    return data[44:]


def _quietest_near(x, index, span, direction):
    """The sample nearest to index, within span in the given direction, with the smallest size,
    so that a cut there does not click."""
    best = index
    i = index
    for _ in range(span):
        i += direction
        if i < 0 or i >= len(x):
            break
        if abs(x[i]) < abs(x[best]):
            best = i
    return best


def trim(x, rel=0.05, floor=250, margin=0.004):
    """Cuts leading and trailing silence at low-amplitude points; returns a new list."""
    if not x:
        return []
    peak = max(abs(v) for v in x)
    thr = max(floor, int(peak * rel))
    first = next((i for i, v in enumerate(x) if abs(v) > thr), None)
    if first is None:
        return []
    last = next(i for i in range(len(x) - 1, -1, -1) if abs(x[i]) > thr)
    pad = int(margin * RATE)
    start = _quietest_near(x, max(0, first - pad), pad, -1)
    end = _quietest_near(x, min(len(x) - 1, last + pad), pad, +1)
    return list(x[start:end + 1])


def fade(x, ms=2.0):
    """Short linear fades at both ends, so joined sounds never start or stop with a step."""
    n = min(len(x) // 2, int(RATE * ms / 1000))
    y = list(x)
    for i in range(n):
        g = (i + 1) / (n + 1)
        y[i] = y[i] * g
        y[-1 - i] = y[-1 - i] * g
    return y


def loudness_gain(x, target_rms=0.2, peak_limit=0.95):
    """Gain that brings x (full scale 32768) to the target RMS without passing the peak limit."""
    if not x:
        return 1.0
    peak = max(abs(v) for v in x) or 1
    rms = math.sqrt(sum(v * v for v in x) / len(x)) or 1
    return min(target_rms * 32768 / rms, peak_limit * 32768 / peak)


def to_u8(x, gain=1.0):
    """Signed samples (full scale 32768) times gain, as unsigned 8-bit with 128 for silence."""
    out = bytearray(len(x))
    k = gain / 256.0
    for i, v in enumerate(x):
        q = int(math.floor(v * k + 0.5)) + 128
        out[i] = 0 if q < 0 else 255 if q > 255 else q
    return out


def from_s16le(raw):
    n = len(raw) // 2
    return list(struct.unpack("<%dh" % n, raw[:2 * n]))
