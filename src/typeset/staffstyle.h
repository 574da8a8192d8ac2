#pragma once

#include <QFont>

// How staff (五线谱) pages look, beside the page style they share with the
// other notations (paper, margins, the title and heading fonts). LilyPond
// engraves them; these are the choices it is given.
struct StaffStyle {
    // LilyPond's staff size: the height of the staff from its lowest line to
    // its highest, in points (LilyPond's own default is 20).
    int staffSize = 18;
    // The lyrics, named to LilyPond explicitly so that it never falls back
    // to a font without the characters; its point size is the lyrics' size.
    QFont lyricFont = defaultLyricFont();
    // The 板眼 signs in a row above the staff, on the beats they mark.
    bool banYanSigns = true;

    // A Chinese serif face of the program's dependencies, at 11 pt.
    static QFont defaultLyricFont() {
        QFont f(QStringLiteral("AR PL UMing CN"));
        f.setPointSize(11);
        return f;
    }
};
