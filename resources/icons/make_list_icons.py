#!/usr/bin/python3
"""Draws the job list's row and header icons and writes them as .ico files beside this script.

Run it again after changing a drawing; the .ico files are kept in the repository so the build
needs no image tools. Rows: 16 x 16, 32-bit colour with mask (a backup drive, green light when
the configuration is enabled, grey and dark when it is not). Header: 8 x 8, 16 colours with
mask (a small up and down triangle).
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# 16 x 16 drive: '.' transparent, 'o' outline, 'b' body, 'h' highlight, 's' shade, 'l' light.
DRIVE = [
    "................",
    "................",
    "................",
    "..oooooooooooo..",
    ".ohhhhhhhhhhhhso",
    ".ohbbbbbbbbbbbso",
    ".ohbbbbbbbbbbbso",
    ".ohbbbbbbbbbbbso",
    ".ossssssssssssso",
    ".obbbbbbbbbbllbo",
    ".obbbbbbbbbbllbo",
    ".ossssssssssssso",
    "..oooooooooooooo",
    "................",
    "................",
    "................",
]

ENABLED = {"o": (40, 52, 70), "h": (170, 200, 235), "b": (86, 130, 190), "s": (52, 82, 128), "l": (40, 210, 60)}
DISABLED = {"o": (70, 70, 70), "h": (200, 200, 200), "b": (150, 150, 150), "s": (110, 110, 110), "l": (90, 90, 90)}

UP = [
    "........",
    "...oo...",
    "..oooo..",
    ".oooooo.",
    "oooooooo",
    "........",
    "........",
    "........",
]
DOWN = list(reversed(UP[:5])) + ["........"] * 3


def mask_rows(rows):
    """1-bit AND mask, bottom-up, rows padded to 32 bits: 1 = transparent."""
    width = len(rows[0])
    stride = ((width + 31) // 32) * 4
    data = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, c in enumerate(row):
            if c == ".":
                bits[x // 8] |= 0x80 >> (x % 8)
        data += bytes(bits)
    return data


def icon_file(width, height, bit_count, palette, pixels, mask):
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bit_count, 0,
                         len(pixels) + len(mask), 0, 0, len(palette) // 4 if palette else 0, 0)
    image = header + palette + pixels + mask
    colours = (1 << bit_count) if bit_count < 8 else 0
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, colours % 256, 0, 1, bit_count, len(image), 6 + 16)
    return directory + entry + image


def drive_icon(colours):
    pixels = b""
    for row in reversed(DRIVE):
        for c in row:
            if c == ".":
                pixels += b"\0\0\0\0"
            else:
                r, g, b = colours[c]
                pixels += bytes((b, g, r, 255))
    return icon_file(16, 16, 32, b"", pixels, mask_rows(DRIVE))


def triangle_icon(rows):
    # Palette entry 0 black (transparent areas), 1 dark grey for the triangle.
    palette = bytes((0, 0, 0, 0, 64, 64, 64, 0)) + b"\0\0\0\0" * 14
    pixels = b""
    for row in reversed(rows):
        nibbles = [1 if c == "o" else 0 for c in row]
        packed = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, 8, 2))
        pixels += packed  # 8 pixels = 4 bytes, already a multiple of 4
    return icon_file(8, 8, 4, palette, pixels, mask_rows(rows))


def main():
    outputs = {
        "config_enabled.ico": drive_icon(ENABLED),
        "config_disabled.ico": drive_icon(DISABLED),
        "header_up.ico": triangle_icon(UP),
        "header_down.ico": triangle_icon(DOWN),
    }
    for name, data in outputs.items():
        with open(os.path.join(HERE, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
