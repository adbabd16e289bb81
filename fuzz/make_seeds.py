#!/usr/bin/env python3
"""Writes small valid JPEG, GIF and BMP files to start the picture fuzzers from, and
setting.ini files for the settings file fuzzer, each kind in the folder its fuzzer reads
(<directory>/jpeg, gif, bmp, ini).

One seed for each kind of file the decoders distinguish: JPEG baseline and progressive,
grey, CMYK, every chroma subsampling, sizes that are not a whole number of blocks and sizes
large enough to be decoded scaled down for the window; GIF still, animated, interlaced,
transparent, with a frame offset; BMP of every bit depth, bottom-up and top-down, with
bit-field masks after a BITMAPINFOHEADER and inside V4 and V5 headers.

Usage: make_seeds.py <directory>
"""

import io
import os
import struct
import sys

from PIL import Image, ImageDraw


def pattern(width, height, mode="RGB"):
    """Diagonal colour bands with a circle: edges and gradients, cheap to compress."""
    image = Image.new("RGB", (width, height))
    draw = ImageDraw.Draw(image)
    for x in range(-height, width, 6):
        draw.line((x, 0, x + height, height), fill=((x * 7) % 256, (x * 3) % 256, 200 - (x % 150)), width=3)
    r = min(width, height) // 3
    draw.ellipse((width // 2 - r, height // 2 - r, width // 2 + r, height // 2 + r), fill=(250, 240, 60))
    return image.convert(mode)


def plain(width, height):
    """Two flat panels: a large picture that stays a small file."""
    image = Image.new("RGB", (width, height), (30, 60, 140))
    ImageDraw.Draw(image).rectangle((width // 3, height // 4, width - 9, height - 9), fill=(220, 200, 90))
    return image


def encoded(image, fmt, **options):
    buffer = io.BytesIO()
    image.save(buffer, fmt, **options)
    return buffer.getvalue()


def jpeg_seeds():
    return {
        "jpeg_baseline_420.jpg": encoded(pattern(64, 48), "JPEG", quality=75),
        "jpeg_progressive.jpg": encoded(pattern(64, 48), "JPEG", quality=75, progressive=True),
        "jpeg_444_odd_size.jpg": encoded(pattern(37, 23), "JPEG", quality=90, subsampling="4:4:4"),
        "jpeg_422.jpg": encoded(pattern(40, 24), "JPEG", quality=60, subsampling="4:2:2"),
        "jpeg_grey.jpg": encoded(pattern(33, 17, "L"), "JPEG", quality=80),
        "jpeg_cmyk.jpg": encoded(pattern(24, 16, "CMYK"), "JPEG", quality=80),
        "jpeg_optimized.jpg": encoded(pattern(16, 16), "JPEG", quality=50, optimize=True),
        # Wider and taller than the window: decoded at 4/8 and at 6/8 for it.
        "jpeg_scaled_half.jpg": encoded(plain(1200, 500), "JPEG", quality=30),
        "jpeg_scaled_six_eighths.jpg": encoded(plain(800, 300), "JPEG", quality=30, progressive=True),
    }


def gif_seeds():
    still = pattern(20, 12, "P")
    frames = [pattern(16, 16).rotate(angle).convert("P") for angle in (0, 90, 180)]
    transparent = pattern(18, 18, "P")
    return {
        "gif_still.gif": encoded(still, "GIF", interlace=False),
        "gif_interlaced.gif": encoded(pattern(24, 40, "P"), "GIF", interlace=True),
        "gif_animated.gif": encoded(frames[0], "GIF", save_all=True, append_images=frames[1:],
                                    duration=100, loop=0),
        "gif_transparent.gif": encoded(transparent, "GIF", transparency=0),
        "gif_frame_offset.gif": frame_offset_gif(),
    }


def frame_offset_gif():
    """A GIF87a by hand: 8 x 6 screen, background index 2, a 3 x 2 frame at (4, 3)."""
    screen = b"GIF87a" + struct.pack("<HHBBB", 8, 6, 0x81, 2, 0)  # 4-entry global table
    table = bytes((0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255))
    image = b"\x2C" + struct.pack("<HHHHB", 4, 3, 3, 2, 0)
    # LZW with code size 2: six pixels 1 2 3 3 2 1 and the end code (5), three bits each,
    # with a clear code (4) before every two pixels so the code size never grows.
    codes = [4, 1, 2, 4, 3, 3, 4, 2, 1, 5]
    bits = 0
    for i, code in enumerate(codes):
        bits |= code << (3 * i)
    data = bits.to_bytes((3 * len(codes) + 7) // 8, "little")
    return screen + table + image + b"\x02" + bytes((len(data),)) + data + b"\x00\x3B"


def bmp(width, height, bits, rows, compression=0, header_size=40, masks=(), palette=()):
    """A BMP from rows in file order; rows are padded to 4 bytes here."""
    header = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression, 0,
                         2835, 2835, len(palette), 0)
    if header_size > 40:
        header += struct.pack("<III", *(masks or (0, 0, 0)))
        header += b"\0" * (header_size - len(header))
    elif masks:
        header += struct.pack("<III", *masks)
    header += b"".join(struct.pack("<I", colour) for colour in palette)
    pixels = b"".join(row + b"\0" * (-len(row) % 4) for row in rows)
    offset = 14 + len(header)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + pixels


def bmp_seeds():
    width, height = 7, 5
    rgb = pattern(width, height).load()

    def packed(value_of, bits):
        return [b"".join(struct.pack("<H" if bits == 16 else "<I", value_of(*rgb[x, y])) for x in range(width))
                for y in reversed(range(height))]

    nibbles = [bytes(((x + y) % 16) << 4 | ((x + y + 1) % 16) for x in range(0, width, 2)) for y in range(height)]
    palette16 = [(i * 0x111111) & 0xFFFFFF for i in range(16)]
    return {
        "bmp_1bit.bmp": encoded(pattern(19, 9, "1"), "BMP"),
        "bmp_8bit.bmp": encoded(pattern(13, 7, "P"), "BMP"),
        "bmp_24bit.bmp": encoded(pattern(11, 6), "BMP"),
        "bmp_4bit.bmp": bmp(width, height, 4, nibbles, palette=palette16),
        "bmp_16bit_555.bmp": bmp(width, height, 16, packed(lambda r, g, b: (r >> 3) << 10 | (g >> 3) << 5 | b >> 3, 16)),
        "bmp_16bit_565_bitfields.bmp": bmp(width, height, 16,
                                           packed(lambda r, g, b: (r >> 3) << 11 | (g >> 2) << 5 | b >> 3, 16),
                                           compression=3, masks=(0xF800, 0x07E0, 0x001F)),
        "bmp_32bit.bmp": bmp(width, height, 32, packed(lambda r, g, b: r << 16 | g << 8 | b, 32)),
        "bmp_32bit_v4_bitfields.bmp": bmp(width, height, 32, packed(lambda r, g, b: r << 24 | g << 16 | b << 8, 32),
                                          compression=3, header_size=108,
                                          masks=(0xFF000000, 0x00FF0000, 0x0000FF00)),
        "bmp_32bit_v5_top_down.bmp": bmp(width, -height, 32,
                                         list(reversed(packed(lambda r, g, b: b << 16 | g << 8 | r, 32))),
                                         compression=3, header_size=124,
                                         masks=(0x000000FF, 0x0000FF00, 0x00FF0000)),
    }


def ini_seeds():
    """setting.ini as the program writes it, as a person edits it, and with byte-order marks.
    The fuzzer takes the last byte as the number of writes (mod 4), 3 bytes before it each."""
    written = ("[mtfont]\r\nfontloc=-1\r\nfontname=宋体\r\n[ui]\r\nmaintitle=_距成立100周年还有_\r\n"
               "winmid=1\r\n[main]\r\ndeadline-date=2049年10月1日\r\ntop=0\r\n").encode("gbk")
    edited = (b"; comment\n[ UI ]\n  Top = \"x y\" \n\n[main]\ra=1\r[\xbd\xe7\x81\x5d]\r\n"
              b"\x81\x5b\xc3\xe6=\x81\x30\x81\x30\r\n[ui]\r\na=2")
    odd = b"a=0\r\n[ui\r\n[]\r\nk\x81=1\r\nx=\x81\r\n\x00=2\r\n;c\r\n[main]x]\r\n\x1aTop\x1a=\x1a'q'"
    utf16 = "[ui]\r\na=中文\r\n".encode("utf-16-le")
    writes = b"\x00\x00\x00\x01\x01\x01\x04\x04\x03\x03"  # three writes
    return {
        "ini_written.ini": written + writes,
        "ini_edited.ini": edited + writes,
        "ini_odd.ini": odd + writes,
        "ini_utf16le.ini": b"\xff\xfe" + utf16 + writes,
        "ini_utf16be.ini": b"\xfe\xff" + "[ui]\ra=1".encode("utf-16-be") + b"\x00",
        "ini_utf8.ini": b"\xef\xbb\xbf" + "[ui]\na=中\n".encode("utf-8") + b"\x00",
    }


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    directory = sys.argv[1]
    os.makedirs(directory, exist_ok=True)
    seeds = {**jpeg_seeds(), **gif_seeds(), **bmp_seeds(), **ini_seeds()}
    for name, data in seeds.items():
        folder = os.path.join(directory, name.split("_")[0])
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    print(f"{len(seeds)} seeds in {directory}")


if __name__ == "__main__":
    main()
