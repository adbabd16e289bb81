#!/usr/bin/env python3
"""Draws the program icon and writes it as TorvekQuindle.ico.

The artwork is an hourglass with golden sand on a deep-blue rounded square. Each size is
drawn from the same shapes at four times its size and reduced, so edges are smooth.

The file holds five 32-bit images (128, 64, 48, 32 and 16 pixels square), each stored the
classic way rather than as PNG, so every Windows version and the notification area can use
it: a BITMAPINFOHEADER whose height counts the colour image and the mask together, the BGRA
pixels bottom-up, then the 1-bit AND mask bottom-up with rows padded to 4 bytes. The file is
written byte by byte here (PIL's ICO writer stores PNG images) and comes to 99,678 bytes.

Usage: make_icon.py [output path]   (default: TorvekQuindle.ico beside this file)
"""

import os
import struct
import sys

from PIL import Image, ImageDraw

SIZES = (128, 64, 48, 32, 16)
SUPERSAMPLE = 4

BLUE_TOP = (46, 98, 178)
BLUE_BOTTOM = (18, 42, 102)
FRAME = (236, 214, 160)
GLASS = (214, 232, 250)
SAND = (240, 178, 62)


def gradient(size, top, bottom):
    column = Image.new("RGBA", (1, size))
    for y in range(size):
        t = y / (size - 1)
        column.putpixel((0, y), tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)) + (255,))
    return column.resize((size, size), Image.NEAREST)


def draw_icon(size):
    """Returns the icon as an RGBA image of size x size pixels."""
    big = size * SUPERSAMPLE

    def at(v):
        return round(v * big)

    # Rounded square background.
    shape = Image.new("L", (big, big), 0)
    ImageDraw.Draw(shape).rounded_rectangle((at(0.03), at(0.03), at(0.97), at(0.97)),
                                            radius=at(0.2), fill=255)
    image = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    image.paste(gradient(big, BLUE_TOP, BLUE_BOTTOM), (0, 0), shape)
    draw = ImageDraw.Draw(image)

    # Small sizes get thicker lines and no glass outline, so the shape survives reduction.
    small = size <= 32
    bar = 0.09 if small else 0.07
    left, right = 0.27, 0.73
    top, bottom = 0.17, 0.83
    neck = 0.045 if small else 0.035
    middle = 0.5

    # Glass bulbs: two triangles meeting at the neck.
    upper = [(left + 0.03, top + bar), (right - 0.03, top + bar), (middle + neck, middle),
             (middle - neck, middle)]
    lower = [(middle - neck, middle), (middle + neck, middle), (right - 0.03, bottom - bar),
             (left + 0.03, bottom - bar)]
    for bulb in (upper, lower):
        draw.polygon([(at(x), at(y)) for x, y in bulb], fill=GLASS + (255,))

    # Sand: a little left in the upper bulb, a heap in the lower one and a thin stream.
    sand_top = 0.36
    half = (sand_top - top - bar) / (middle - top - bar)
    upper_left = left + 0.03 + (middle - neck - left - 0.03) * half
    upper_right = right - 0.03 - (right - 0.03 - middle - neck) * half
    draw.polygon([(at(upper_left), at(sand_top)), (at(upper_right), at(sand_top)),
                  (at(middle + neck), at(middle)), (at(middle - neck), at(middle))], fill=SAND + (255,))
    draw.polygon([(at(left + 0.05), at(bottom - bar)), (at(right - 0.05), at(bottom - bar)),
                  (at(middle + 0.06), at(0.64)), (at(middle - 0.06), at(0.64))], fill=SAND + (255,))
    stream = 0.012 if not small else 0.02
    draw.rectangle((at(middle - stream), at(middle), at(middle + stream), at(0.66)), fill=SAND + (255,))

    if not small:
        for bulb in (upper, lower):
            draw.line([(at(x), at(y)) for x, y in bulb + bulb[:1]], fill=FRAME + (255,),
                      width=max(1, at(0.012)))

    # Top and bottom bars of the frame.
    for y in (top, bottom - bar):
        draw.rounded_rectangle((at(left - 0.04), at(y), at(right + 0.04), at(y + bar)),
                               radius=at(bar / 3), fill=FRAME + (255,))

    return image.resize((size, size), Image.LANCZOS)


def icon_entry_image(image):
    """Encodes one image as the classic icon resource: header, BGRA rows, AND mask."""
    size = image.width
    pixels = image.load()
    colour = bytearray()
    mask = bytearray()
    mask_stride = (size + 31) // 32 * 4
    for y in reversed(range(size)):
        mask_row = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = pixels[x, y]
            if a == 0:
                r = g = b = 0
                mask_row[x // 8] |= 0x80 >> (x % 8)
            colour += bytes((b, g, r, a))
        mask += mask_row
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask),
                         0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "TorvekQuindle.ico")
    images = [icon_entry_image(draw_icon(size)) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    for size, data in zip(SIZES, images):
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    content = directory + b"".join(images)
    with open(output, "wb") as f:
        f.write(content)
    print(f"{output}: {len(content)} bytes")


if __name__ == "__main__":
    main()
