#!/usr/bin/python3
"""Builds the embedded gongche font "Qorvel工尺谱字体" (tolvk.ttf).

    make_font.py --source ukai.ttc --output tolvk.ttf [--face N]

The notation glyphs live in the Supplementary Private Use Area-A:

  U+F0000..U+F000D  beat marks (板眼) and ornaments (腔格)
  U+F0020..U+F009B  the pitch signs 合 四 一 上 尺 工 凡 六 五 乙 in four series
                    (plain, breath mark 气口, small 小, breath mark small),
                    each series running low octave, middle, high octave and
                    double-high octave.

The brush strokes of the pitch signs, the octave radicals and a few marks are
taken from AR PL UKai (Kaiti style), as are the 头板 dot and the 疊腔 々; the
other marks (eyes, cross, the 腰 angle ∟, 底板 bar, ︿, the 豁腔 flick, the
擻腔 wave, the breath check, the low-octave tail) are drawn here in one stroke
width.

Layout rules every glyph follows:
  * every glyph is one em (1024 units) wide and its ink is centred in it;
  * the bottom of its ink (the control box, as FreeType and Qt measure it)
    lies on the baseline, y = 0. Toolkits that measure a string's ink from
    the baseline down (Qt 5's tightBoundingRect does) then report the true
    ink box, and a typesetter centres a symbol by that box;
  * the tallest ink stays below the ascender (900); the descender (-124) only
    gives text lines a little room below.

The output is byte-for-byte reproducible: fixed time stamps, fixed glyph order.
"""
import argparse
import math
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.misc.transform import Identity, Transform
from fontTools.pens.boundsPen import ControlBoundsPen
from fontTools.pens.recordingPen import DecomposingRecordingPen
from fontTools.pens.roundingPen import RoundingPen
from fontTools.pens.transformPen import TransformPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTCollection, TTFont

FAMILY = "Qorvel工尺谱字体"
POSTSCRIPT_NAME = "QorvelGongche-Regular"
VERSION = "Version 2.200"

UPM = 1024
ASCENT = 900
DESCENT = -124
ADVANCE = UPM
CX = ADVANCE / 2
CY = (ASCENT + DESCENT) / 2  # where parts are assembled before the glyph is seated

# Stroke width of the drawn marks, close to the body of an AR PL UKai stroke
# at the size of the pitch signs.
W = 72

# 2021-01-01 00:00:00 UTC in seconds since 1904-01-01 (the sfnt epoch).
TIMESTAMP = 3692217600

PITCHES_LOW = "合四一上尺工凡"
PITCHES_MID = "合四一上尺工凡六五乙"
PITCHES_HIGH = "上尺工凡六五乙"
# (pitch, octave) in code order within a series of 31 codes.
REGISTERS = ([(p, "low") for p in PITCHES_LOW] + [(p, "mid") for p in PITCHES_MID]
             + [(p, "high") for p in PITCHES_HIGH] + [(p, "double") for p in PITCHES_HIGH])
# (first code, breath mark, small form)
SERIES = [(0xF0020, False, False), (0xF003F, True, False),
          (0xF005E, False, True), (0xF007D, True, True)]

SMALL_SCALE = 0.56


class Shape:
    """Outlines as a list of parts, each under its own affine transform.

    A part is either a glyph of the source font or a polygon given as a list
    of points (already oriented as TrueType wants: outer contours clockwise,
    holes counter-clockwise)."""

    def __init__(self, parts=None):
        self.parts = list(parts or [])

    @staticmethod
    def glyph(name):
        return Shape([("glyph", name, Identity)])

    @staticmethod
    def polygons(*contours):
        return Shape([("poly", tuple(c), Identity) for c in contours])

    def __add__(self, other):
        return Shape(self.parts + other.parts)

    def transformed(self, t):
        return Shape([(kind, data, t.transform(m)) for kind, data, m in self.parts])

    def draw(self, pen, glyphset):
        for kind, data, m in self.parts:
            tpen = TransformPen(pen, m)
            if kind == "glyph":
                rec = DecomposingRecordingPen(glyphset)
                glyphset[data].draw(rec)
                rec.replay(tpen)
            else:
                tpen.moveTo(data[0])
                for p in data[1:]:
                    tpen.lineTo(p)
                tpen.closePath()

    def bounds(self, glyphset):
        # The control box (on- and off-curve points), as the glyf table and
        # font engines measure glyphs, so "centred" means centred to them.
        pen = ControlBoundsPen(glyphset)
        self.draw(pen, glyphset)
        return pen.bounds

    # Placement helpers. All keep the aspect ratio unless sx and sy differ.
    def scaled_to(self, glyphset, cx, cy, sx, sy=None):
        """Scales by (sx, sy) and puts the ink centre at (cx, cy)."""
        sy = sx if sy is None else sy
        x0, y0, x1, y1 = self.bounds(glyphset)
        t = Transform().translate(cx, cy).scale(sx, sy).translate(-(x0 + x1) / 2, -(y0 + y1) / 2)
        return self.transformed(t)

    def fitted(self, glyphset, cx, cy, width=None, height=None):
        """Scales uniformly so the ink is `width` wide or `height` high
        (the smaller of the two scales when both are given), centred at (cx, cy)."""
        x0, y0, x1, y1 = self.bounds(glyphset)
        scales = []
        if width is not None:
            scales.append(width / (x1 - x0))
        if height is not None:
            scales.append(height / (y1 - y0))
        return self.scaled_to(glyphset, cx, cy, min(scales))

    def centred(self, glyphset, cx=CX, cy=CY):
        return self.scaled_to(glyphset, cx, cy, 1.0)

    def seated(self, glyphset):
        """Centred horizontally in the advance, the bottom of the ink on the baseline."""
        x0, y0, x1, y1 = self.bounds(glyphset)
        return self.moved(CX - (x0 + x1) / 2, -y0)

    def moved(self, dx, dy):
        return self.transformed(Transform().translate(dx, dy))


# --- polygon geometry -------------------------------------------------------

def _area(points):
    return sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1])) / 2


def outer(points):
    points = list(points)
    return points if _area(points) < 0 else points[::-1]


def hole(points):
    points = list(points)
    return points if _area(points) > 0 else points[::-1]


def circle_points(cx, cy, r, n=48):
    return [(cx + r * math.cos(2 * math.pi * k / n), cy + r * math.sin(2 * math.pi * k / n))
            for k in range(n)]


def disk(cx, cy, r):
    return Shape.polygons(outer(circle_points(cx, cy, r)))


def ring(cx, cy, r_out, r_in):
    return Shape.polygons(outer(circle_points(cx, cy, r_out)), hole(circle_points(cx, cy, r_in)))


def cross(cx, cy, arm, half):
    """An upright "×": a plus sign of the given arm length and half stroke
    width turned by 45 degrees, as one contour."""
    a, t = arm, half
    plus = [(t, t), (a, t), (a, -t), (t, -t), (t, -a), (-t, -a), (-t, -t), (-a, -t), (-a, t),
            (-t, t), (-t, a), (t, a)]
    c, s = math.cos(math.pi / 4), math.sin(math.pi / 4)
    return Shape.polygons(outer([(cx + x * c - y * s, cy + x * s + y * c) for x, y in plus]))


def angle(x0, y0, width, height, t):
    """The angle "∟": a vertical stroke of the given height whose foot turns
    into a horizontal stroke to the right; (x0, y0) is the outer corner."""
    return Shape.polygons(outer([(x0, y0 + height), (x0 + t, y0 + height), (x0 + t, y0 + t),
                                 (x0 + width, y0 + t), (x0 + width, y0), (x0, y0)]))


def bar(width, height):
    """A short heavy bar with gently rounded ends, centred on the origin."""
    r = height / 2
    e = 0.45 * r  # the ends are half ellipses this deep
    c = width / 2 - e
    points = [(c + e * math.cos(a), r * math.sin(a))
              for a in (-math.pi / 2 + math.pi * k / 12 for k in range(13))]
    points += [(-c + e * math.cos(a), r * math.sin(a))
               for a in (math.pi / 2 + math.pi * k / 12 for k in range(13))]
    return Shape.polygons(outer(points))


def tapered(points, width_start, width_end):
    """A polyline whose width runs from width_start to width_end (a brush
    flick), as one contour."""
    n = len(points)
    left, right = [], []
    for i, (x, y) in enumerate(points):
        a = points[max(i - 1, 0)]
        b = points[min(i + 1, n - 1)]
        dx, dy = b[0] - a[0], b[1] - a[1]
        d = math.hypot(dx, dy)
        nx, ny = -dy / d, dx / d
        h = (width_start + (width_end - width_start) * i / (n - 1)) / 2
        left.append((x + nx * h, y + ny * h))
        right.append((x - nx * h, y - ny * h))
    return Shape.polygons(outer(left + right[::-1]))


def stroke(points, width):
    """A polyline of the given width with mitred joins and square ends, as one
    contour (so no overlapping contours even where the line turns)."""
    h = width / 2
    normals = []
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        dx, dy = x1 - x0, y1 - y0
        n = math.hypot(dx, dy)
        normals.append((-dy / n, dx / n))
    left, right = [], []
    for i, (x, y) in enumerate(points):
        if i == 0:
            nx, ny = normals[0]
            scale = h
        elif i == len(points) - 1:
            nx, ny = normals[-1]
            scale = h
        else:
            ax, ay = normals[i - 1]
            bx, by = normals[i]
            mx, my = ax + bx, ay + by
            m = math.hypot(mx, my)
            nx, ny = mx / m, my / m
            cos_half = nx * ax + ny * ay
            scale = h / max(cos_half, 0.35)
        left.append((x + nx * scale, y + ny * scale))
        right.append((x - nx * scale, y - ny * scale))
    return Shape.polygons(outer(left + right[::-1]))


# --- the notation -----------------------------------------------------------

class Builder:
    def __init__(self, source_font):
        self.src = source_font
        self.gs = source_font.getGlyphSet()
        self.cmap = source_font.getBestCmap()

    def char(self, ch):
        name = self.cmap.get(ord(ch))
        if name is None:
            raise SystemExit("make_font: the source font has no glyph for %s (U+%04X)" % (ch, ord(ch)))
        return Shape.glyph(name)

    # Pitch signs -------------------------------------------------------------

    def octave_body(self, pitch, octave):
        gs = self.gs
        if octave == "mid":
            return self.char(pitch).scaled_to(gs, CX, CY, 0.92)
        if octave in ("high", "double"):
            # 亻 (high) or 彳 (double high) in front of the narrowed sign.
            radical = self.char("亻" if octave == "high" else "彳").scaled_to(gs, 0, CY, 0.62, 0.92)
            body = self.char(pitch).scaled_to(gs, 0, CY, 0.6, 0.92)
            rx0, _, rx1, _ = radical.bounds(gs)
            bx0, _, _, _ = body.bounds(gs)
            body = body.moved(rx1 + 10 - bx0, 0)
            return (radical + body).centred(gs)
        # Low octave: the sign's last stroke runs on into a falling tail, a
        # short 丿 from its lower left, heavy where it leaves the sign and
        # tapering to a point (it just touches the sign, no overlap).
        body = self.char(pitch).scaled_to(gs, CX, CY, 0.70)
        x0, y0, x1, y1 = body.bounds(gs)
        tx, ty = x0 + 0.32 * (x1 - x0), y0 - W * 0.45
        tail = tapered([(tx + dx, ty + dy) for dx, dy in
                        ((0, 0), (-12, -60), (-40, -120), (-85, -170), (-140, -205))], W, 14)
        return body + tail

    def breath_check(self, x, y, size):
        """The breath mark 气口: a small check whose lower left point is (x, y)."""
        s = size
        return stroke([(x, y + 0.55 * s), (x + 0.32 * s, y), (x + s, y + 0.95 * s)], 0.3 * s)

    def with_breath(self, shape):
        """The shape moved left and down a little, a breath check at its upper right."""
        gs = self.gs
        body = shape.scaled_to(gs, 0, 0, 0.82)
        x0, y0, x1, y1 = body.bounds(gs)
        check = self.breath_check(x1 + 50, y1 - 160, 180)
        return (body + check).centred(gs)

    def pitch(self, pitch, octave, breath, small):
        shape = self.octave_body(pitch, octave)
        if breath:
            shape = self.with_breath(shape)
        if small:
            shape = shape.scaled_to(self.gs, CX, CY, SMALL_SCALE)
        return shape

    # Beat marks and ornaments ------------------------------------------------

    def waist(self, mark):
        """The 腰 form of a beat mark: a small "∟" (the sign of 腰板) joined
        to the mark at its left, both standing on the baseline."""
        gs = self.gs
        mark = mark.scaled_to(gs, 0, 0, 0.85)
        x0, y0, x1, y1 = mark.bounds(gs)
        h = max(0.8 * (y1 - y0), 240)
        corner = angle(x0 - 40 - 0.7 * h, y0, 0.7 * h, h, W)
        return mark + corner

    def marks(self):
        gs = self.gs
        tou_ban = self.char("、").fitted(gs, CX, CY, height=300)
        yan = ring(CX, CY, 170, 170 - W)
        zhong_yan = disk(CX, CY, 140)
        zeng_ban = cross(CX, CY, 205, W / 2)
        # 疊腔: the iteration mark 々 as the brush writes it, at about the
        # scale of the pitch signs so that its strokes weigh as theirs.
        die = self.char("々").fitted(gs, CX, CY, height=540)
        # 带腔撮腔: a wide inverted V.
        cuo = stroke([(0, 0), (290, 250), (580, 0)], W)
        # 豁腔: a small flick rising to the right, heavy at its foot.
        huo = tapered([(0, 0), (50, 40), (120, 130), (200, 260)], 1.5 * W, 12)
        # 擻腔: a small wave, falling then rising, leaning a little upwards.
        sou = stroke([(400 * k / 32, -70 * math.sin(2 * math.pi * k / 32) + 50 * k / 32)
                      for k in range(33)], W)
        return {
            0xF0000: tou_ban,
            0xF0001: yan,
            0xF0002: zhong_yan,
            0xF0003: zeng_ban,
            0xF0004: self.waist(yan),
            0xF0005: self.waist(zhong_yan),
            0xF0006: angle(0, 0, 300, 380, W),
            0xF0007: self.waist(zeng_ban),
            0xF0008: die,
            0xF0009: self.with_breath(die),
            0xF000A: bar(380, 2.2 * W),
            0xF000B: cuo,
            0xF000C: huo,
            0xF000D: sou,
        }

    def symbols(self):
        """(code point, shape) for every notation symbol, in code order."""
        out = sorted(self.marks().items())
        for first, breath, small in SERIES:
            for i, (pitch, octave) in enumerate(REGISTERS):
                out.append((first + i, self.pitch(pitch, octave, breath, small)))
        return [(code, shape.seated(self.gs)) for code, shape in out]


def notdef_glyph():
    # An empty box standing on the baseline, like the symbols.
    pen = TTGlyphPen(None)
    Shape.polygons(outer([(80, 0), (80, 800), (ADVANCE - 80, 800), (ADVANCE - 80, 0)]),
                   hole([(140, 60), (140, 740), (ADVANCE - 140, 740),
                         (ADVANCE - 140, 60)])).draw(pen, None)
    return pen.glyph()


def empty_glyph():
    return TTGlyphPen(None).glyph()


def build(source_path, face, output_path):
    if source_path.lower().endswith((".ttc", ".otc")):
        source = TTCollection(source_path).fonts[face]
    else:
        source = TTFont(source_path)
    builder = Builder(source)

    glyph_order = [".notdef", "space"]
    glyphs = {".notdef": notdef_glyph(), "space": empty_glyph()}
    metrics = {".notdef": (ADVANCE, 0), "space": (ADVANCE // 2, 0)}
    cmap = {0x20: "space"}

    for code, shape in builder.symbols():
        x0, y0, x1, y1 = shape.bounds(builder.gs)
        if y1 > ASCENT - 10 or x0 < 0 or x1 > ADVANCE:
            raise SystemExit("make_font: U+%05X does not fit the em box" % code)
        name = "u%05X" % code
        pen = TTGlyphPen(None)
        shape.draw(RoundingPen(pen), builder.gs)
        glyph = pen.glyph()
        glyph_order.append(name)
        glyphs[name] = glyph
        cmap[code] = name

    fb = FontBuilder(UPM, isTTF=True)
    fb.font.recalcTimestamp = False
    fb.setupGlyphOrder(glyph_order)
    fb.setupCharacterMap(cmap)
    fb.setupGlyf(glyphs)
    glyf = fb.font["glyf"]
    hmtx = {}
    for name in glyph_order:
        advance, _ = metrics.get(name, (ADVANCE, 0))
        glyph = glyf[name]
        hmtx[name] = (advance, getattr(glyph, "xMin", 0) if glyph.numberOfContours else 0)
    fb.setupHorizontalMetrics(hmtx)
    fb.setupHorizontalHeader(ascent=ASCENT, descent=DESCENT, lineGap=0)
    fb.setupNameTable({
        "copyright": "Copyright (c) 2024 the Qorvel authors. Brush strokes derived from "
                     "AR PL UKai, Copyright (c) 1999 Arphic Technology Co., Ltd.",
        "familyName": FAMILY,
        "styleName": "Regular",
        "uniqueFontIdentifier": "Qorvel: " + FAMILY + " Regular: 2.2",
        "fullName": FAMILY,
        "version": VERSION,
        "psName": POSTSCRIPT_NAME,
        "licenseDescription": "Distributed under the Arphic Public License, as the font it "
                              "derives from.",
    }, windows=True, mac=False)
    # The Chinese family name under the Simplified Chinese language id too, so
    # that font databases that prefer localised names report the same family.
    name_table = fb.font["name"]
    for name_id in (1, 2, 4):
        record = name_table.getName(name_id, 3, 1, 0x409)
        name_table.setName(record.toUnicode(), name_id, 3, 1, 0x804)
    fb.setupOS2(
        version=4,
        xAvgCharWidth=ADVANCE,
        usWeightClass=400,
        usWidthClass=5,
        fsType=0,  # installable: PDF writers may embed the font
        sTypoAscender=ASCENT,
        sTypoDescender=DESCENT,
        sTypoLineGap=0,
        usWinAscent=ASCENT,
        usWinDescent=-DESCENT,
        fsSelection=0x40 | 0x80,  # REGULAR, USE_TYPO_METRICS
        achVendID="QRVL",
        ulCodePageRange1=(1 << 18),  # Simplified Chinese (GB 2312)
        ulCodePageRange2=0,
        ulUnicodeRange1=0,
        ulUnicodeRange2=(1 << (57 - 32)) | (1 << (60 - 32)),  # non-plane 0, private use
        ulUnicodeRange3=(1 << (90 - 64)),  # supplementary private use area
        ulUnicodeRange4=0,
        sCapHeight=ASCENT,
        sxHeight=ASCENT // 2,
    )
    fb.setupPost(keepGlyphNames=False)
    fb.setupHead(unitsPerEm=UPM, created=TIMESTAMP, modified=TIMESTAMP, fontRevision=2.2)
    fb.save(output_path)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True, help="AR PL UKai (ukai.ttc or a .ttf)")
    parser.add_argument("--face", type=int, default=0, help="face index inside a collection")
    parser.add_argument("--output", required=True, help="the font file to write")
    args = parser.parse_args(argv)
    build(args.source, args.face, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
