#pragma once

#include <QFont>

// How 简谱 (numbered notation) pages look, beside the page style they share
// with the gongche pages (paper, margins, the lyric, title and heading fonts,
// colours). Lengths are in points.
struct JianpuStyle {
    // The digits, dots, dashes and signs: a font that comes with the
    // program's dependencies (DejaVu Sans), so every machine sets them alike.
    QFont noteFont = defaultNoteFont();
    int lyricDistance = 3;        // from the lowest ink of the notes to the top of the lyrics
    int systemSpace = 16;         // between a system's lyrics and the next system's marks
    int beatWidth = 30;           // the width of a beat before the system is justified
    int minNoteSpace = 3;         // the least gap between two digits, or two lyrics
    bool flatAfterLetter = false; // "1=E♭" rather than "1=♭E"
    bool sanBanWord = false;      // "散板" rather than "サ" over a free passage
    bool banYanSigns = true;      // the 板眼 signs above the notes they fall on
    // 加赠 measures split at the 赠板 into two 4/4 measures with a dashed bar
    // line between them, rather than written whole as 8/4.
    bool splitZeng = false;

    static QFont defaultNoteFont() {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPointSize(13);
        return f;
    }
};
