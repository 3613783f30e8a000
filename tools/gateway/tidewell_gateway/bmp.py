"""Windows BMP files of 4 and 8 bits a pixel, as the agent's ads take them.

Shared by the gateway's ad stream and the local news service (tools/newsd).
"""

import struct

# The 16 colours of the VGA palette, for 4-bit pictures.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
       (0, 255, 255), (255, 255, 255)]
# A 6x6x6 colour cube, for 8-bit pictures drawn without a picture to quantise.
CUBE = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
FILE_HEADER_BYTES = 14
INFO_HEADER_BYTES = 40
PIXELS_PER_METRE = 2835  # 72 dots an inch


def bmp(indices, width, height, palette, bits):
    """A bottom-up BMP from palette indices given row by row from the top; the palette is
    padded to 2**bits entries."""
    palette = list(palette) + [(0, 0, 0)] * ((1 << bits) - len(palette))
    stride = ((width * bits + 31) // 32) * 4
    pixels = bytearray()
    for y in reversed(range(height)):
        row = bytearray(stride)
        line = indices[y * width:(y + 1) * width]
        if bits == 8:
            row[:width] = bytes(line)
        else:
            for x, i in enumerate(line):
                row[x // 2] |= (i & 15) << (4 if x % 2 == 0 else 0)
        pixels += row
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = FILE_HEADER_BYTES + INFO_HEADER_BYTES + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", INFO_HEADER_BYTES, width, height, 1, bits, 0, len(pixels),
                       PIXELS_PER_METRE, PIXELS_PER_METRE, len(palette), 0)
    return header + info + table + bytes(pixels)


def painted(width, height, bits, paint):
    """A BMP drawn by paint(x, y) -> RGB, each colour taken as the palette's nearest."""
    palette = VGA if bits == 4 else CUBE
    nearest = {}

    def index(rgb):
        if rgb not in nearest:
            nearest[rgb] = min(range(len(palette)), key=lambda i: sum((a - b) ** 2 for a, b in zip(rgb, palette[i])))
        return nearest[rgb]
    indices = [index(paint(x, y)) for y in range(height) for x in range(width)]
    return bmp(indices, width, height, palette, bits)
