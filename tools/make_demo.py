#!/usr/bin/env python3
"""Writes the example playlist and its media: short tones of our own making."""
import math
import os
import struct
import wave

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")
RATE = 8000

# (file name, notes in Hz, seconds per note)
TRACKS = [
    ("01 Morgenrot.wav", [440, 494, 523, 587], 0.5),
    ("02 Abendlied.wav", [392, 330, 294, 262], 0.5),
    ("03 Sternschnuppe.wav", [659, 784, 880, 1047, 880, 784], 0.25),
]


def write_track(path, notes, seconds):
    frames = bytearray()
    for hz in notes:
        n = int(RATE * seconds)
        for i in range(n):
            fade = min(1.0, i / 200, (n - i) / 200)
            frames.append(int(128 + 100 * fade * math.sin(2 * math.pi * hz * i / RATE)))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(1)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))
    return len(notes) * seconds


def main():
    os.makedirs(HERE, exist_ok=True)
    lines = ["#EXTM3U"]
    for name, notes, seconds in TRACKS:
        length = write_track(os.path.join(HERE, name), notes, seconds)
        lines.append("#EXTINF:%d,velmora - %s" % (round(length), name[3:-4]))
        lines.append(name)
    with open(os.path.join(HERE, "demo.m3u"), "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("ascii"))


if __name__ == "__main__":
    main()
