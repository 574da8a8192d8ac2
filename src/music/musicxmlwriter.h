#pragma once

#include "model/outcome.h"
#include "music/melody.h"

#include <QByteArray>
#include <QString>

namespace music {

// Writes a melody as a MusicXML 4.0 partwise score with one part, 笛: the
// notes in the key of the 笛色, barred by the 板 of each tune, with the sung
// characters as lyrics, slurs over the notes of one character, ornaments as
// grace notes, 气口 as breath marks, and each tune's name and 板式 written
// above its first bar.
//
// A tune in 散板 is written senza misura, its bars ending at the 气口. A tune
// 加赠 is written in the doubled meter (8/4 for 一板三眼), or, when asked
// for, in bars of the plain meter with a dashed bar line at each 赠板. The
// piece's pickup is an uncounted bar 0; a bar shorter than its meter inside
// the piece (a later tune's pickup) carries a time signature of its own
// length, so that every bar adds up to the time in force.
class MusicXmlWriter {
public:
    struct Options {
        QString title;                  // the work title
        bool splitZengMeasures = false; // 加赠 as two bars split at the 赠板
    };

    static QByteArray encode(const Melody &melody, const Options &options);
    // Written atomically: a failed write leaves any earlier file untouched.
    static Outcome write(const Melody &melody, const QString &path, const Options &options);
};

} // namespace music
