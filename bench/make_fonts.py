#!/usr/bin/python3
"""Writes COUNT small TrueType fonts into FOLDER, each a family of its own ("Bench Family
0001", ...): one outline font of a few glyphs, copied under many family names, so that the
benchmark can install about a thousand families in a Wine prefix. As in a large collection,
most families are Latin ones named in English alone; every EVERY-th (10 unless given) is a
Chinese one, which names itself in English and in Simplified and Traditional Chinese and
declares the code pages of both scripts, as an East Asian font does, so that a search of the
fonts' own names has names of other languages to find. Needs Debian's python3-fonttools.

Usage: make_fonts.py FOLDER COUNT [EVERY]
"""
import io
import os
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen


def box(width, height):
    pen = TTGlyphPen(None)
    pen.moveTo((50, 0))
    pen.lineTo((50, height))
    pen.lineTo((width - 50, height))
    pen.lineTo((width - 50, 0))
    pen.closePath()
    return pen.glyph()


# OS/2 ulCodePageRange1 bits: Latin 1 (1252), Simplified (936) and Traditional Chinese (950).
LATIN_1, GB2312, BIG5 = 1 << 0, 1 << 18, 1 << 20


def font_bytes(number, chinese):
    family = "Bench Family %04d" % number
    builder = FontBuilder(1000, isTTF=True)
    glyphs = [".notdef", "space", "zero", "one", "A"]
    builder.setupGlyphOrder(glyphs)
    builder.setupCharacterMap({0x20: "space", 0x30: "zero", 0x31: "one", 0x41: "A"})
    outlines = {name: box(600, 700) for name in glyphs}
    outlines["space"] = TTGlyphPen(None).glyph()
    builder.setupGlyf(outlines)
    builder.setupHorizontalMetrics({name: (600, 50) for name in glyphs})
    builder.setupHorizontalHeader(ascent=800, descent=-200)
    builder.setupNameTable({
        "familyName": family,
        "styleName": "Regular",
        "uniqueFontIdentifier": family + " Regular",
        "fullName": family,
        "psName": "BenchFamily%04d-Regular" % number,
    })
    code_pages = LATIN_1
    if chinese:
        # Windows platform, Unicode BMP: Simplified Chinese (PRC) and Traditional Chinese
        # (Taiwan). Under a Simplified Chinese system the platform lists the first and takes the
        # English name too; the Traditional name only the table knows.
        builder.font["name"].setName("测试字体%04d" % number, 1, 3, 1, 0x0804)
        builder.font["name"].setName("測試字體%04d" % number, 1, 3, 1, 0x0404)
        code_pages |= GB2312 | BIG5
    builder.setupOS2(sTypoAscender=800, sTypoDescender=-200, usWinAscent=800, usWinDescent=200,
                     ulCodePageRange1=code_pages)
    builder.setupPost()
    out = io.BytesIO()
    builder.save(out)
    return out.getvalue()


def main():
    folder, count = sys.argv[1], int(sys.argv[2])
    every = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    os.makedirs(folder, exist_ok=True)
    for number in range(1, count + 1):
        with open(os.path.join(folder, "bench%04d.ttf" % number), "wb") as f:
            f.write(font_bytes(number, number % every == 0))


if __name__ == "__main__":
    main()
