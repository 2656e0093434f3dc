#!/usr/bin/env python3
"""Writes the test resources of the skin tests into the folder given as argument: one solid
bitmap per skin bitmap id, each of its own colour and size, and the two icons as 32 x 32 solid
squares of their own colours, so a test can tell which resource ended up in which member."""
import os, struct, sys

# id: (width, height, (red, green, blue))
BITMAPS = {
    147: (8, 8, (200, 10, 10)),
    146: (8, 8, (10, 200, 10)),
    142: (8, 8, (10, 10, 200)),
    143: (8, 8, (200, 200, 10)),
    145: (7, 3, (10, 200, 200)),
    144: (6, 5, (200, 10, 200)),
    148: (5, 2, (90, 90, 90)),
}
ICONS = {149: (30, 160, 60), 132: (160, 60, 30)}


def bitmap_bits(width, height, rgb, bits):
    # Bottom-up rows, each padded to four bytes.
    r, g, b = rgb
    pixel = bytes([b, g, r]) if bits == 24 else bytes([b, g, r, 255])
    row = pixel * width
    row += b'\0' * ((4 - len(row) % 4) % 4)
    return row * height


def write_bmp(path, width, height, rgb):
    bits = bitmap_bits(width, height, rgb, 24)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(bits), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(header + info + bits)


def write_ico(path, size, rgb):
    colour = bitmap_bits(size, size, rgb, 32)
    mask = b'\0' * (((size + 31) // 32) * 4 * size)   # all opaque
    info = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    image = info + colour + mask
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, 'wb') as f:
        f.write(directory + image)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for rid, (w, h, rgb) in BITMAPS.items():
        write_bmp(os.path.join(out, 'skin%d.bmp' % rid), w, h, rgb)
    for rid, rgb in ICONS.items():
        write_ico(os.path.join(out, 'skin%d.ico' % rid), 32, rgb)


if __name__ == '__main__':
    main()
