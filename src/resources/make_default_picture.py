#!/usr/bin/env python3
"""Draws the built-in background picture and writes it as default_picture.jpg.

A calm, light dawn sky: a soft vertical gradient, a few blurred glows and two low hills,
light enough that the dark-blue title and countdown text stay readable on top of it. A
faint fixed grain keeps the gradient free of banding when the window stretches the picture.

The output is deterministic: the grain comes from a seeded generator and the encoder
settings are fixed. The picture is a baseline JPEG (JFIF 1.01, 96 dpi, YCbCr, 8 bits) of
522 x 193 pixels and exactly 35,408 bytes; the highest quality that fits is chosen and a
comment segment makes up the remaining bytes.

Usage: make_default_picture.py [output path]   (default: default_picture.jpg beside this file)
"""

import io
import math
import os
import random
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter

WIDTH, HEIGHT = 522, 193
FILE_SIZE = 35408
COMMENT = b"TorvekQuindle default background"


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def sky():
    top = (214, 232, 247)      # pale morning blue
    middle = (236, 240, 246)   # almost white
    bottom = (247, 231, 214)   # warm peach near the horizon
    column = Image.new("RGB", (1, HEIGHT))
    for y in range(HEIGHT):
        t = y / (HEIGHT - 1)
        colour = lerp(top, middle, t / 0.55) if t < 0.55 else lerp(middle, bottom, (t - 0.55) / 0.45)
        column.putpixel((0, y), colour)
    return column.resize((WIDTH, HEIGHT), Image.NEAREST)


def glows(image):
    """Large, very soft circles of light, like out-of-focus sun."""
    layer = Image.new("RGB", (WIDTH, HEIGHT), (0, 0, 0))
    draw = ImageDraw.Draw(layer)
    for cx, cy, r, strength in [(420, 70, 70, 34), (90, 40, 45, 22), (300, 30, 28, 16),
                                (480, 150, 36, 14), (180, 120, 52, 12)]:
        draw.ellipse((cx - r, cy - r, cx + r, cy + r), fill=(strength, strength, round(strength * 0.8)))
    layer = layer.filter(ImageFilter.GaussianBlur(24))
    return ImageChops.add(image, layer)


def hills(image):
    """Two gentle hill lines along the bottom, tinted only slightly darker than the sky."""
    for base, amplitude, period, phase, colour, blur in [
        (168, 10, 260.0, 0.6, (222, 226, 236), 3),
        (182, 7, 190.0, 2.1, (210, 218, 232), 2),
    ]:
        mask = Image.new("L", (WIDTH, HEIGHT), 0)
        draw = ImageDraw.Draw(mask)
        points = []
        for x in range(0, WIDTH + 1, 3):
            y = base - amplitude * math.sin(x / period * 2 * math.pi + phase)
            points.append((x, y))
        draw.polygon(points + [(WIDTH, HEIGHT), (0, HEIGHT)], fill=200)
        mask = mask.filter(ImageFilter.GaussianBlur(blur))
        image = Image.composite(Image.new("RGB", (WIDTH, HEIGHT), colour), image, mask)
    return image


def grain(image):
    rng = random.Random(20491001)
    noise = Image.new("L", (WIDTH, HEIGHT))
    noise.putdata([128 + round(rng.gauss(0, 1.6)) for _ in range(WIDTH * HEIGHT)])
    offset = Image.merge("RGB", (noise, noise, noise))
    return ImageChops.add(image, offset, scale=1.0, offset=-128)


def encode(image, quality):
    buffer = io.BytesIO()
    image.save(buffer, "JPEG", quality=quality, dpi=(96, 96), subsampling="4:2:0",
               optimize=False, progressive=False)
    return buffer.getvalue()


def with_comment(jpeg, total):
    """Inserts a COM segment after the JFIF APP0 segment so the file is `total` bytes."""
    app0_end = 2 + 2 + struct.unpack(">H", jpeg[4:6])[0]
    room = total - len(jpeg) - 4
    if room < len(COMMENT):
        return None
    body = COMMENT + b" " * (room - len(COMMENT))
    return jpeg[:app0_end] + b"\xff\xfe" + struct.pack(">H", len(body) + 2) + body + jpeg[app0_end:]


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "default_picture.jpg")
    image = grain(hills(glows(sky())))
    for quality in range(100, 0, -1):
        jpeg = with_comment(encode(image, quality), FILE_SIZE)
        if jpeg is not None:
            break
    else:
        sys.exit("no quality fits")
    with open(output, "wb") as f:
        f.write(jpeg)
    print(f"{output}: {len(jpeg)} bytes, quality {quality}")


if __name__ == "__main__":
    main()
