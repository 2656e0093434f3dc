#!/usr/bin/env python3
"""Draws Pelko's icons and bitmaps and makes its sound, into the folder given as argument."""
import math, os, struct, sys, wave

def make_sound(path):
    # A short rising two-note chime: 44.1 kHz, 16-bit mono, soft attack and decay.
    rate, notes = 44100, [(659.25, 0.09), (987.77, 0.16)]
    frames = bytearray()
    for freq, seconds in notes:
        n = int(rate * seconds)
        for i in range(n):
            t = i / rate
            envelope = min(1.0, i / (0.005 * rate)) * math.exp(-4.0 * t / seconds)
            sample = 0.35 * envelope * (math.sin(2 * math.pi * freq * t) + 0.3 * math.sin(4 * math.pi * freq * t))
            frames += struct.pack('<h', int(max(-1.0, min(1.0, sample)) * 32767))
    with wave.open(path, 'wb') as w:
        w.setnchannels(1); w.setsampwidth(2); w.setframerate(rate); w.writeframes(bytes(frames))

def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    make_sound(os.path.join(out, 'ReadyToTransfer.wav'))

if __name__ == '__main__':
    main()
