#pragma once

#include "model/documentline.h"
#include "music/melody.h"
#include "staff/lilypondsource.h"
#include "typeset/pagestyle.h"

#include <QString>
#include <QVector>

// Writes a document as LilyPond input: the staff edition of the piece, to be
// engraved by LilyPond or opened and edited in Frescobaldi. No widgets.
//
// The melody model gives the notes: pitches as the 笛色 and the octave say,
// barred by the 板 of each tune (加赠 as 8/4, or as 4/4 split at the 赠板
// with a dashed bar line), 散板 without bars (\cadenzaOn, dashed bar lines at
// phrase ends, fermatas on their last notes), ties across bar lines, a slur
// over the notes of each sung character, ornaments as grace notes, small
// notes at cue size, 气口 as breath marks. The sung characters are the
// lyrics, one syllable per character (\lyricsto, melismas extended), in the
// lyric font named explicitly. The 板眼 signs stand in a row above the
// staff (an option); 念白 and 夹白 are text between systems. The header
// holds the title, each tune's 曲牌 and 板式, its key (the 笛色 and 1=…) and
// its tempo; \paper the page size, orientation and margins of the style;
// each score has a \midi block.
class LilyPondWriter {
public:
    struct Options {
        QString title;    // the document's title; empty for none
        PageStyle style;  // paper, margins, the staff style and the 加赠 choice
        QString fileName; // what the links' textedit URLs will name; informative only
    };

    // The whole document as one file: one \score per tune, in one \book.
    static LilyPondSource document(const DocumentLines &lines, const music::Melody &melody,
                                   const Options &options);
    // One file per tune, each complete (its own \paper and \header; the
    // title in the first), so that LilyPond engraves each on its own and an
    // unchanged tune keeps its engraving. A tune begins on a new page. Lines
    // before the first tune that set no notes (a title, a spoken line) go
    // with the first tune.
    static QVector<LilyPondSource> tunes(const DocumentLines &lines, const music::Melody &melody,
                                         const Options &options);
};
