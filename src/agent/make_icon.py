#!/usr/bin/env python3
"""Draws the agent's icon, a breaking wave in a round badge, and writes it as
an .ico file with the six images the agent's icon group holds: 32x32 and
16x16 in 16 colours, 48x48, 16x16 and 32x32 in 256 colours, 48x48 in 16
colours. Standard library only, so the build needs nothing else."""

import math
import struct
import sys

# The 16-colour images use the standard VGA palette.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
       (0, 255, 255), (255, 255, 255)]


def colour_at(x, y, size):
    """The picture: None outside the badge, else an RGB colour."""
    u = (x + 0.5) / size * 2 - 1
    v = (y + 0.5) / size * 2 - 1
    r = math.hypot(u, v)
    if r > 0.97:
        return None
    if r > 0.86:
        return (10, 40, 90)  # rim
    wave = 0.10 + 0.16 * math.sin(u * 3.2 + 0.6)
    crest = abs(v - wave) < 0.09 and u > -0.75
    if crest:
        return (245, 250, 255)  # foam
    if v > wave:
        depth = min(1.0, (v - wave) / 0.9)
        return (int(20 + 10 * depth), int(120 - 60 * depth), int(200 - 70 * depth))  # water
    height = (v + 1) / 2
    return (int(250 - 60 * height), int(190 + 30 * height), int(90 + 120 * height))  # dawn sky


def nearest(rgb, palette):
    return min(range(len(palette)), key=lambda i: sum((a - b) ** 2 for a, b in zip(rgb, palette[i])))


def palette_256():
    """A 6x7x6 colour cube plus greys: enough for smooth water and sky."""
    colours = [(r * 51, g * 42, b * 51) for r in range(6) for g in range(7) for b in range(6)]
    colours += [(i * 8, i * 8, i * 8) for i in range(256 - len(colours))]
    return colours[:256]


def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def dib(size, bits):
    palette = VGA if bits == 4 else palette_256()
    xor_stride = row_bytes(size * bits)
    and_stride = row_bytes(size)
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up rows
        indices = []
        mask_row = bytearray(and_stride)
        for x in range(size):
            rgb = colour_at(x, y, size)
            if rgb is None:
                indices.append(0)
                mask_row[x // 8] |= 0x80 >> (x % 8)
            else:
                indices.append(nearest(rgb, palette))
        row = bytearray(xor_stride)
        for x, index in enumerate(indices):
            if bits == 8:
                row[x] = index
            else:
                row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += row
        mask += mask_row
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(mask), 0, 0,
                         len(palette), 0)
    colour_table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colour_table + bytes(xor) + bytes(mask), len(palette)


IMAGES = [(32, 4), (16, 4), (48, 8), (16, 8), (32, 8), (48, 4)]


def main(path):
    blobs = [(size, bits) + dib(size, bits) for size, bits in IMAGES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(blobs)))
    offset = 6 + 16 * len(blobs)
    for size, bits, blob, colours in blobs:
        out += struct.pack("<BBBBHHII", size, size, colours if colours < 256 else 0, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    for _, _, blob, _ in blobs:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
