#!/usr/bin/python3
"""Writes examples/youyuan-zaoluopao.gcp, the sample score: 【皂罗袍】 from 《牡丹亭·游园》.

Scores are written here by symbol name (the fourth column of the dictionary),
one list per sung character, and encoded as the program's score file.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

LYRIC = """# 牡丹亭·游园
; 皂罗袍一支。谱中工尺仅为示例，并非传承的曲谱，请勿据以拍曲。
【皂罗袍】(仙吕)
; 笛色=小工调 板式=加赠一板三眼 速度=60
= 不到园林，怎知春色如许！
原来姹紫嫣红开遍，
似这般都付与断井颓垣。
> 春香：是花园了。
良辰美景奈何天，
赏心乐事谁家院？
@换行符
朝飞暮卷，云霞翠轩；
雨丝风片，烟波画船——
@分页符
锦屏人忒看的这韶光贱！
; 完"""

SCORES = [
    # 原来姹紫嫣红开遍
    "上 头板 尺", "工 头眼 尺", "上 中眼 尺 上", "四 末眼", "合 赠板 四", "上 中眼 尺",
    "工 头眼 六 工", "尺 底板 上 尺 工小 尺小",
    # 似这般都付与断井颓垣
    "六 赠板 五", "五 头眼 六", "工 中眼 尺", "上 末眼 尺", "工 头板 六 工", "尺 头眼",
    "上 中眼 四", "合 末眼 四 上", "尺 赠板 工", "尺 腰板 上 尺 上气口 四",
    # 良辰美景奈何天
    "工 赠板 六", "五 头眼 上高八度", "六 中眼 工", "尺 末眼 上", "四 头板 上", "尺 头眼 工 尺",
    "上 赠板 尺 疊腔 上",
    # 赏心乐事谁家院
    "工 头板", "六 头眼 工", "尺 中眼", "上 末眼 尺", "工 赠板 尺", "上 腰头眼",
    "四 头板 合 四 上",
    # 朝飞暮卷 云霞翠轩
    "尺 赠板", "工 头眼 尺", "上 中眼", "尺 末眼 上 四", "合 头板", "四 头眼 上",
    "尺 中眼 工", "尺 腰赠板 上 尺",
    # 雨丝风片 烟波画船
    "工 头板", "六 头眼 五", "六 中眼 工", "尺 末眼", "上 赠板 尺", "工 头眼", "尺 中眼 上",
    "四 腰板 上 尺 上",
    # 锦屏人忒看的这韶光贱
    "工 赠板 六", "五 头眼 六 工", "尺 中眼", "上 末眼 尺", "工 头板 豁腔", "尺 头眼",
    "上 中眼 尺", "工 末眼 尺 擻腔 上", "四 赠板 上", "尺 上 四 合 底板",
]


def symbol_names():
    names = {}
    path = os.path.join(ROOT, "resources", "wordsdict.csv")
    with open(path, encoding="utf-8", newline="") as f:
        for row in f.read().split("\r\n")[1:]:
            fields = row.split(" ")
            if len(fields) >= 4:
                names.setdefault(fields[3], chr(int(fields[0].replace("U", ""), 16)))
    return names


def is_directive(line):
    return line[:1] in ("#", ";", ">", "=", "【", "@")


def sung_count(line):
    return sum(1 for c in line if c == " " or "\u4e00" <= c <= "\u9fa5")


def qstring(text):
    data = text.encode("utf-16-be")
    return struct.pack(">iI", len(data) // 2, len(data)) + data


def main():
    names = symbol_names()
    sung = sum(sung_count(l) for l in LYRIC.split("\n") if not is_directive(l))
    if sung != len(SCORES):
        sys.exit("%d sung characters but %d score lines" % (sung, len(SCORES)))
    score = "\n".join("".join(names[n] for n in s.split()) for s in SCORES)
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "examples", "youyuan-zaoluopao.gcp")
    with open(out, "wb") as f:
        f.write(qstring(LYRIC) + qstring(score))


if __name__ == "__main__":
    main()
