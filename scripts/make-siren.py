#!/usr/bin/env python3
"""Writes resources/siren.wav, the program's alert sound.

RIFF/WAVE, PCM, one channel, 8000 samples per second, 8 bits per sample
(unsigned, silence = 128), 21466 data bytes (about 2.7 s). The tone sweeps up
and down between two pitches like a siren; short fades at both ends avoid
clicks. Only the standard library is used, so the file is reproducible.
"""
import math
import os
import sys
import wave

RATE = 8000
DATA_BYTES = 21466
LOW_HZ, HIGH_HZ = 650.0, 1350.0
SWEEPS_PER_SECOND = 1.5  # one up-and-down per 2/3 s
AMPLITUDE = 0.75
FADE = 400  # samples


def samples():
    phase = 0.0
    for i in range(DATA_BYTES):
        t = i / RATE
        # Triangle sweep between the two pitches.
        pos = (t * SWEEPS_PER_SECOND) % 1.0
        tri = 2 * pos if pos < 0.5 else 2 * (1 - pos)
        freq = LOW_HZ + (HIGH_HZ - LOW_HZ) * tri
        phase += 2 * math.pi * freq / RATE
        gain = AMPLITUDE * min(1.0, i / FADE, (DATA_BYTES - 1 - i) / FADE)
        yield max(0, min(255, round(128 + 127 * gain * math.sin(phase))))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "siren.wav")
    tmp = out + ".tmp"
    with wave.open(tmp, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(1)
        w.setframerate(RATE)
        w.writeframes(bytes(samples()))
    os.replace(tmp, out)
    print(out)


if __name__ == "__main__":
    main()
