"""Connected speech from espeak-ng's library with the sample position of every phoneme.

The library reports a phoneme event, with its place in the output, for each phoneme it says; the
units of the diphone database are cut at those places. Pitch is held level (no intonation) so
that units taken from different carriers join without a step. The library keeps global state, so
each process uses it from one thread (see render)."""

import ctypes

import numpy as np
from scipy.signal import resample_poly

VOICE = "pt-br"
OUT_RATE = 11025

_AUDIO_OUTPUT_SYNCHRONOUS = 2
_INITIALIZE_PHONEME_EVENTS = 0x0001
_INITIALIZE_DONT_EXIT = 0x8000
_EVENT_PHONEME = 7
_EVENT_LIST_TERMINATED = 0
_PARAM_RATE = 1
_PARAM_PITCH = 3
_PARAM_RANGE = 4
_CHARS_UTF8 = 1
# Without this flag the library reads the text between [[ and ]] as letters, not phonemes.
_PHONEMES = 0x100
_POS_CHARACTER = 1


class _Event(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("unique_identifier", ctypes.c_uint),
                ("text_position", ctypes.c_int), ("length", ctypes.c_int),
                ("audio_position", ctypes.c_int), ("sample", ctypes.c_int),
                ("user_data", ctypes.c_void_p), ("id", ctypes.c_char * 8)]


_CALLBACK = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(ctypes.c_short), ctypes.c_int,
                             ctypes.POINTER(_Event))
_lib = None
_rate = 0
_samples = []
_events = []


def _on_synth(wav, count, events):
    if wav and count > 0:
        _samples.append(np.ctypeslib.as_array(wav, shape=(count,)).copy())
    i = 0
    while events[i].type != _EVENT_LIST_TERMINATED:
        e = events[i]
        if e.type == _EVENT_PHONEME:
            _events.append((e.id.decode("utf-8", "replace"), e.audio_position))
        i += 1
    return 0


_callback = _CALLBACK(_on_synth)


def _load(speed, pitch):
    global _lib, _rate
    if _lib is None:
        lib = ctypes.CDLL("libespeak-ng.so.1")
        _rate = lib.espeak_Initialize(_AUDIO_OUTPUT_SYNCHRONOUS, 0, None,
                                      _INITIALIZE_PHONEME_EVENTS | _INITIALIZE_DONT_EXIT)
        if _rate <= 0:
            raise RuntimeError("espeak-ng's library did not start")
        lib.espeak_SetSynthCallback(_callback)
        if lib.espeak_SetVoiceByName(VOICE.encode()) != 0:
            raise RuntimeError("espeak-ng has no voice %s" % VOICE)
        _lib = lib
    _lib.espeak_SetParameter(_PARAM_RATE, speed, 0)
    _lib.espeak_SetParameter(_PARAM_PITCH, pitch, 0)
    _lib.espeak_SetParameter(_PARAM_RANGE, 0, 0)


def render(phonemes, speed=175, pitch=45):
    """(samples at 11025 Hz as floats of full scale 32768, [(phoneme, sample position)]) of the
    phoneme text said by the voice with a level pitch."""
    _load(speed, pitch)
    del _samples[:]
    del _events[:]
    text = ("[[%s]]" % phonemes).encode("utf-8") + b"\0"
    _lib.espeak_Synth(text, len(text), 0, _POS_CHARACTER, 0, _CHARS_UTF8 | _PHONEMES, None,
                      None)
    _lib.espeak_Synchronize()
    x = np.concatenate(_samples).astype(np.float64) if _samples else np.zeros(0)
    y = resample_poly(x, OUT_RATE, _rate) if _rate != OUT_RATE else x
    events = [(name, int(ms * OUT_RATE // 1000)) for name, ms in _events]
    return y, events
