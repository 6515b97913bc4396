#!/usr/bin/env python3
"""Makes the small compressed and WAVE-variant test files in tests/data.

Every file holds the same sound, made here: 0.4 s of a two-tone chime
(880 Hz and 1320 Hz, decaying), mono, 44,100 Hz (48,000 Hz for Opus, which
takes no other of the two), written through the
system's libsndfile (LAME for MP3, libvorbis, libopus, libFLAC). Beside each
good file lies a damaged one: its first bytes (the ones that name its type)
kept and all the rest overwritten, which the program must refuse with its
load-failure box. (A file damaged in part may still play: an MP3 decoder
finds the next whole frame, as it should.)

    tools/make_format_samples.py [tests/data]
"""
import ctypes
import math
import pathlib
import sys

SFM_WRITE = 0x20
FORMATS = {
    # folder, file name: libsndfile major | sub format
    ("mp3", "chime.mp3"): 0x230000 | 0x0082,  # MPEG layer III (LAME)
    ("ogg", "chime.ogg"): 0x200000 | 0x0060,  # Ogg Vorbis
    ("opus", "chime.opus"): 0x200000 | 0x0064,  # Ogg Opus
    ("flac", "chime.flac"): 0x170000 | 0x0002,  # FLAC, 16 bits
    ("rf64", "chime.wav"): 0x220000 | 0x0002,  # RF64, 16-bit PCM
    ("rifx", "chime.wav"): 0x010000 | 0x0002 | 0x20000000,  # big-endian RIFX
}


class SfInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int),
                ("channels", ctypes.c_int), ("format", ctypes.c_int),
                ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


def chime(rate=44100, seconds=0.4):
    frames = int(rate * seconds)
    def at(i):
        t = i / rate
        return 0.4 * math.exp(-4.0 * t) * (math.sin(2 * math.pi * 880 * t)
                                           + 0.5 * math.sin(2 * math.pi * 1320 * t))
    return [at(i) for i in range(frames)]


def write(lib, path, form, samples, rate=44100):
    info = SfInfo(0, rate, 1, form, 0, 0)
    handle = lib.sf_open(str(path).encode(), SFM_WRITE, ctypes.byref(info))
    if not handle:
        raise SystemExit(f"{path}: {lib.sf_strerror(None).decode()}")
    data = (ctypes.c_float * len(samples))(*samples)
    lib.sf_writef_float(handle, data, len(samples))
    lib.sf_close(handle)


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "tests/data")
    lib = ctypes.CDLL("libsndfile.so.1")
    lib.sf_open.restype = ctypes.c_void_p
    lib.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(SfInfo)]
    lib.sf_writef_float.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int64]
    lib.sf_close.argtypes = [ctypes.c_void_p]
    lib.sf_strerror.restype = ctypes.c_char_p
    lib.sf_strerror.argtypes = [ctypes.c_void_p]
    for (folder, name), form in FORMATS.items():
        rate = 48000 if folder == "opus" else 44100
        out = root / folder
        out.mkdir(parents=True, exist_ok=True)
        good = out / name
        write(lib, good, form, chime(rate), rate)
        damaged = bytearray(good.read_bytes())
        keep = 12 if name.endswith(".wav") else 4
        damaged[keep:] = b"\xA5" * (len(damaged) - keep)
        (out / ("damaged-" + name)).write_bytes(bytes(damaged))
        (out / "README.md").write_text(
            f"`{name}`: 0.4 s of a two-tone chime, mono, {rate:,} Hz, made by this project with\n"
            f"`tools/make_format_samples.py` through libsndfile. `damaged-{name}` is the same\n"
            f"file with all but its first {keep} bytes overwritten: a file the program must\n"
            "refuse.\n")


main()
