#pragma once

#include "model/documentline.h"
#include "music/melody.h"
#include "typeset/jianpustyle.h"

#include <QString>
#include <QVector>

// A document in 简谱 (numbered notation), before it is laid out: what a
// copyist writes, in reading order. The melody model gives the pitches and
// the rhythm; each note becomes a digit 1–7 in its key (1 = 上), with octave
// dots, reduction lines for values shorter than a beat, dashes for further
// beats of a held note, ties where a note crosses a beat, and the sung
// character under its first note. Measured passages are cut into measures
// and beats; a 散板 passage, or the free opening (散起) of a measured tune, is
// a row of free notes. A held note is written with dashes for its further
// whole beats; a tie only where a dash cannot say it (across a bar line, or
// from inside a beat). No widgets, no fonts.
class JianpuNotation {
public:
    struct Grace {
        int digit = 1;
        int octave = 0;
    };

    // One written sign of the rhythm row, taking `duration` ticks.
    struct Glyph {
        enum class Kind { Note, Rest, Dash, Dot };
        Kind kind = Kind::Note;
        qint64 onset = 0;
        qint64 duration = 0;
        int digit = 0;          // 1..7; 0 for a rest
        bool sharp = false;     // a pitch between two degrees
        int octave = 0;         // dots: above when positive, below when negative
        int lines = 0;          // reduction lines: 1 an eighth, 2 a sixteenth, 3 a 32nd
        bool dotted = false;    // an augmentation dot after it, inside the beat
        bool tieToNext = false; // the same note goes on in the next written note
        // The tie's arc is left out: a slur begins on this note and covers
        // it, so the continuation reads as held under the slur.
        bool tieUnderSlur = false;
        bool slurStart = false; // the first note of a character sung to several
        bool slurEnd = false;
        bool breath = false;  // 气口 after it
        bool fermata = false; // 底板, or the end of a phrase in 散板
        QVector<Grace> gracesBefore;
        QVector<Grace> gracesAfter;
        QString lyric;      // the sung character and its punctuation, on its first note
        int character = -1; // the sung character the note belongs to
        int lyricLine = -1; // where that character is in the lyric text
        int lyricColumn = -1;
        int symbol = -1; // the pitch sign's index in the score line
        QString banYan;  // the 板眼 sign of a marked beat that falls here
        // The sign of a 板 that falls at its end: the 底板 closing a tune.
        QString banYanAfter;
        // The 散板 sign over the first note of a free opening ("サ" or "散板").
        QString freeSign;
    };

    struct Beat {
        qint64 start = 0;
        qint64 length = 0;
        QVector<Glyph> glyphs;
    };

    struct Measure {
        QVector<Beat> beats;    // a 散板 passage: one "beat" per note
        bool free = false;      // 散板: no bar line after it
        bool barAfter = false;  // a free opening: a bar line where the measured part starts
        bool finalBar = false;  // the end of a tune: a double bar after it
        bool open = false;      // cut by a line between systems: no bar line after it
        bool dashedBar = false; // the first half of a 加赠 measure: a dashed bar line after it
    };

    struct Block {
        enum class Kind { Title, Heading, Speech, Music, SystemBreak, PageBreak };
        Kind kind = Kind::Music;
        QString text;        // the title; the tune heading (曲牌 and mode); the spoken line
        bool jiaBai = false; // a spoken line: 夹白 rather than 念白
        QString keyLabel;    // a heading: "1=D（小工调）"
        QString meterLabel;  // a heading: "4/4", or "サ" for 散板
        QString banShiLabel; // a heading: the 板式, "一板三眼"
        QString tempoLabel;  // a heading: "♩=60"
        QVector<Measure> measures;
    };

    // The blocks of a document. A heading comes at every tune, and wherever
    // the key or the meter changes.
    static QVector<Block> build(const DocumentLines &lines, const JianpuStyle &style);
    // The same from a melody already built from those lines.
    static QVector<Block> build(const DocumentLines &lines, const music::Melody &melody,
                                const JianpuStyle &style);

    // "1=D（小工调）", "1=♭E（凡字调）" (or "1=E♭…" with flatAfterLetter).
    static QString keyLabel(music::Key key, bool variant, bool flatAfterLetter);
    // "4/4", "2/4", "1/4", "8/4" for 加赠 ("4/4" when it is split at the
    // 赠板); "サ" or "散板" for a free meter.
    static QString meterLabel(const music::Section &section, bool sanBanWord,
                              bool splitZeng = false);
    // The 板眼 sign of the beat at time in a measured section: "、" 板, "×"
    // 赠板, "●" 中眼, "○" the other 眼; empty in 散板.
    static QString banYanSign(const music::Section &section, qint64 time);
    // The degree (1..7), sharp and octave of a MIDI note in a key with 1 = tonic.
    static Grace degreeOf(int midi, int tonic, bool *sharp = nullptr);
};
