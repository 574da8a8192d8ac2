#!/usr/bin/python3
"""Writes resources/wordsdict.csv, the shipped abbreviation dictionary.

One row per (symbol, key): "U" + eight hex digits of the code point, the key,
the weight 0.6 and the symbol's name. UTF-8, CRLF line ends, one header line.
"""
import sys

WEIGHT = "0.6"

# Beat marks (板眼) and ornaments (腔格), in file order.
MARKS = [
    (0xF0000, [("tb", "头板"), ("b", "板(头板)")]),
    (0xF0001, [("ty", "头眼"), ("my", "末眼"), ("xy", "小眼(头眼/末眼)"), ("y", "眼(头眼/末眼)")]),
    (0xF0002, [("zy", "中眼"), ("y", "眼(中眼)")]),
    (0xF0003, [("zb", "赠板"), ("b", "板(赠板)")]),
    (0xF0004, [("yty", "腰头眼"), ("ymy", "腰末眼"), ("cty", "侧头眼(腰头眼)"),
               ("cmy", "侧末眼(腰末眼)"), ("yy", "腰眼(腰头眼/腰末眼)"), ("cy", "侧眼(腰头眼/腰末眼)")]),
    (0xF0005, [("yzy", "腰中眼"), ("czy", "侧中眼(腰中眼)"), ("yy", "腰眼(腰中眼)"), ("cy", "侧眼(腰中眼)")]),
    (0xF0006, [("yb", "腰板"), ("b", "板(腰板)")]),
    (0xF0007, [("yzb", "腰赠板"), ("zb", "赠板(腰赠板)")]),
    (0xF0008, [("dq", "疊腔")]),
    (0xF0009, [("dqqk", "疊腔气口")]),
    (0xF000A, [("db", "底板"), ("b", "板(底板)")]),
    (0xF000B, [("dq", "带腔撮腔"), ("cq", "带腔撮腔")]),
    (0xF000C, [("hq", "豁腔")]),
    (0xF000D, [("sq", "擻腔")]),
]

LETTER = {"合": "h", "四": "s", "一": "y", "上": "s", "尺": "c", "工": "g", "凡": "f",
          "六": "l", "五": "w", "乙": "y"}

# Within a series: (pitch, name suffix, octave key mark).
REGISTERS = (
    [(p, "低八度", "d") for p in "合四一上尺工凡"]
    + [(p, "", "") for p in "合四一上尺工凡六五乙"]
    + [(p, "高八度", "u") for p in "上尺工凡六五乙"]
    + [(p, "高十六度", "uu") for p in "上尺工凡六五乙"]
)

SERIES = [(0xF0020, "", ""), (0xF003F, "气口", "q"), (0xF005E, "小", "x"), (0xF007D, "气口小", "qx")]


def pitch_rows():
    rows = []
    for first, name_suffix, key_suffix in SERIES:
        for i, (pitch, octave_name, octave_key) in enumerate(REGISTERS):
            code = first + i
            key = LETTER[pitch] + octave_key + key_suffix
            rows.append((code, key, pitch + octave_name + name_suffix))
    # The high-octave signs of the breath-mark small series carry the keys of
    # the double-high small signs in the shipped data.
    for i, code in enumerate(range(0xF008E, 0xF0095)):
        pitch = "上尺工凡六五乙"[i]
        fixed = [r for r in rows if r[0] == code][0]
        rows[rows.index(fixed)] = (code, LETTER[pitch] + "uux", fixed[2])
    return rows


def all_rows():
    rows = [(code, key, name) for code, keys in MARKS for key, name in keys]
    return rows + pitch_rows()


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "resources/wordsdict.csv"
    rows = all_rows()
    assert len(rows) == 156, len(rows)
    assert len({r[0] for r in rows}) == 138
    assert len({r[1] for r in rows}) == 125, len({r[1] for r in rows})
    lines = ["unicode编码 拼音 权重 注释"]
    lines += ["U%08X %s %s %s" % (code, key, WEIGHT, name) for code, key, name in rows]
    with open(out, "w", encoding="utf-8", newline="") as f:
        f.write("".join(line + "\r\n" for line in lines))


if __name__ == "__main__":
    main()
