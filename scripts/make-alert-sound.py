#!/usr/bin/env python3
"""Writes the program's alert sound, resources/sounds/alert.wav: a short
two-note chime (A5 then E6), 16-bit mono PCM at 22050 Hz, about 0.35 s.

Our own sound, made from sine waves with soft attacks and decays so that it
neither clicks nor startles; run it again only to change the sound.
"""
import math
import struct
import sys
import wave
from pathlib import Path

RATE = 22050
# (frequency in Hz, start in s, length in s)
NOTES = [(880.0, 0.0, 0.16), (1318.5, 0.13, 0.22)]
LENGTH = 0.36
VOLUME = 0.45  # of full scale: an alert, not an alarm


def sample(t):
    value = 0.0
    for frequency, start, length in NOTES:
        local = t - start
        if local < 0.0 or local > length:
            continue
        attack = min(1.0, local / 0.008)
        decay = math.exp(-4.0 * local / length) * min(1.0, (length - local) / 0.02)
        # A touch of the octave makes it read as a chime rather than a beep.
        tone = math.sin(2 * math.pi * frequency * local) + 0.25 * math.sin(4 * math.pi * frequency * local)
        value += attack * decay * tone / 1.25
    return max(-1.0, min(1.0, value * VOLUME))


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "sounds" / "alert.wav"
    out.parent.mkdir(parents=True, exist_ok=True)
    frames = b"".join(struct.pack("<h", int(round(sample(i / RATE) * 32767))) for i in range(int(LENGTH * RATE)))
    with wave.open(str(out), "wb") as wav:
        wav.setnchannels(1)
        wav.setsampwidth(2)
        wav.setframerate(RATE)
        wav.writeframes(frames)
    print(f"{out}: {len(frames) // 2} samples, {LENGTH:.2f} s")


if __name__ == "__main__":
    main()
