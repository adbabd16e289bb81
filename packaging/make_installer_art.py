#!/usr/bin/env python3
"""Draws the picture on the left of the installer's welcome and finish pages.

The picture is the program's own icon (the 128-pixel image of src/resources/TorvekQuindle.ico)
in the upper third of a tall band in the icon's deep blue, its shades running the same way as
the icon's, with a faint ring of twelve dots around the icon like the marks of a clock face
and a thin band of the hourglass's sand colour along the bottom.

Two sizes, both 24-bit BMP, which every Windows version's LoadImage reads:
- installer_art.bmp, 164 x 314: the size Modern UI's welcome and finish pages have at 100 %;
- installer_art_150.bmp, 246 x 471: the same at 150 %, where the icon is its 128-pixel image
  unscaled. The installer picks it on screens above 100 % and lets the page shrink it to its
  control, which keeps it sharp at 125 % too.

Usage: /usr/bin/python3 make_installer_art.py [output folder]   (default: beside this file)
"""

import math
import os
import sys

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
ICON = os.path.join(HERE, "..", "src", "resources", "TorvekQuindle.ico")

BASE_SIZE = (164, 314)
# Colours of the icon's background gradient and its sand.
BLUE_TOP = (46, 98, 178)
BLUE_BOTTOM = (18, 42, 102)
SAND = (240, 178, 62)
DOT = (120, 160, 220)
SUPERSAMPLE = 4


def icon_image():
    """The icon's largest image, as RGBA."""
    with Image.open(ICON) as ico:
        largest = max(ico.info.get("sizes", {ico.size}))
        ico.size = largest
        return ico.convert("RGBA")


def draw(scale):
    """Returns the picture for a screen at scale (1.0 for 100 %) as an RGB image."""
    width, height = round(BASE_SIZE[0] * scale), round(BASE_SIZE[1] * scale)
    big_w, big_h = width * SUPERSAMPLE, height * SUPERSAMPLE

    background = Image.new("RGB", (1, big_h))
    for y in range(big_h):
        t = y / (big_h - 1)
        background.putpixel((0, y), tuple(round(a + (b - a) * t) for a, b in zip(BLUE_TOP, BLUE_BOTTOM)))
    picture = background.resize((big_w, big_h), Image.NEAREST)
    pen = ImageDraw.Draw(picture)

    # The icon's centre sits at a third of the height; the dots lie on a circle around it.
    icon_side = round(128 * scale / 1.5)
    centre_x, centre_y = big_w / 2, big_h / 3
    ring = 0.36 * big_w
    dot = 0.018 * big_w
    for hour in range(12):
        angle = math.radians(hour * 30)
        x, y = centre_x + ring * math.sin(angle), centre_y - ring * math.cos(angle)
        r = dot * (1.6 if hour % 3 == 0 else 1.0)
        pen.ellipse((x - r, y - r, x + r, y + r), fill=DOT)
    band = round(0.012 * big_h)
    pen.rectangle((0, big_h - band, big_w, big_h), fill=SAND)

    picture = picture.resize((width, height), Image.LANCZOS)
    icon = icon_image()
    if icon.width != icon_side:
        icon = icon.resize((icon_side, icon_side), Image.LANCZOS)
    picture.paste(icon, (round(width / 2 - icon_side / 2), round(height / 3 - icon_side / 2)), icon)
    return picture


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else HERE
    for name, scale in (("installer_art.bmp", 1.0), ("installer_art_150.bmp", 1.5)):
        path = os.path.join(folder, name)
        draw(scale).save(path, "BMP")
        print(f"{path}: {os.path.getsize(path)} bytes")


if __name__ == "__main__":
    main()
