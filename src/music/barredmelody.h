#pragma once

#include "music/melody.h"

#include <QString>
#include <QVector>

namespace music {

// A melody as a staff score writes it: its notes cut into bars by the 板 of
// each tune and into note values, with the spelling of its pitches in the key
// of the 笛色. The MusicXML and the LilyPond writers read the same bars.
//
// A tune in 散板 has bars senza misura ending at the 气口 (dashed bar lines);
// a tune 加赠 is barred in the doubled meter, or, when asked for, in bars of
// the plain meter with a dashed bar line at each 赠板. A measured tune that
// opens freely (散起) has one bar senza misura up to its measured part. The
// piece's pickup is an uncounted (implicit) first bar.
class BarredMelody {
public:
    static constexpr qint64 wholeTicks = 4 * ticksPerBeat;

    // A time signature as written; beats 0 for senza misura.
    struct TimeSig {
        int beats = -1;
        int beatType = 4;
        bool operator==(const TimeSig &o) const {
            return beats == o.beats && beatType == o.beatType;
        }
        bool operator!=(const TimeSig &o) const { return !(*this == o); }
    };

    struct Bar {
        qint64 from = 0;
        qint64 to = 0;
        int section = 0;
        bool sectionStart = false;
        bool sectionEnd = false;
        TimeSig meter;         // the tune's meter
        bool implicit = false; // the piece's pickup, not counted
        bool dashedEnd = false;
    };

    // A stretch of one note, or of silence, inside one bar.
    struct Segment {
        int note = -1; // index into the melody's notes; -1 for a rest
        int bar = 0;
        qint64 from = 0;
        qint64 to = 0;
        bool first = true; // begins its note
        bool last = true;  // ends its note
    };

    // One note value: a length with its type name ("quarter") and dots.
    struct Piece {
        qint64 ticks = 0;
        QString type; // empty where no note value states the length
        int dots = 0;
    };

    struct Pitch {
        QChar step;
        int alter = 0;
        int octave = 4;
    };

    BarredMelody(const Melody &melody, bool splitZeng);

    const Melody &melody() const { return m_melody; }
    // The melody's sections, or one made up for notes outside any tune.
    const QVector<Section> &sections() const { return m_sections; }
    const QVector<Bar> &bars() const { return m_bars; }
    // In time order, bar by bar.
    const QVector<Segment> &segments() const { return m_segments; }
    // The segments of bar b are [barSegment(b), barSegment(b + 1)).
    int barSegment(int bar) const { return m_barSegments.at(bar); }
    // The largest tick count every segment is a multiple of.
    qint64 grain() const { return m_grain; }
    // A slur over the notes of each character sung on more than one note:
    // whether the note (an index into the melody's notes) opens or closes one.
    bool slurStarts(int note) const { return m_slurStart.at(note); }
    bool slurStops(int note) const { return m_slurStop.at(note); }

    // The 板式 as the score names it ("一板三眼", "散板").
    static QString meterName(const Section &section);
    // The key signature's sharps (positive) or flats (negative) for the major
    // key whose tonic is 上.
    static int fifthsOf(const Section &section);
    // Sharps in the sharp keys (and C), flats in the flat keys.
    static Pitch spell(int midi, int fifths);
    // What the key signature does to a step.
    static int keyAlter(QChar step, int fifths);
    // The signature n/2^d that a bar of `ticks` fills exactly, if there is one.
    static bool exactSignature(qint64 ticks, TimeSig *sig);
    // A length as note values (at most one dot), largest first, each a whole
    // number of `grain` ticks.
    static QVector<Piece> piecesOf(qint64 length, qint64 grain);

private:
    void layOut(bool splitZeng);
    void markSlurs();

    const Melody &m_melody;
    QVector<int> m_order; // the notes sorted by onset
    QVector<Section> m_sections;
    QVector<Bar> m_bars;
    QVector<Segment> m_segments;
    QVector<int> m_barSegments;
    QVector<bool> m_slurStart;
    QVector<bool> m_slurStop;
    qint64 m_grain = ticksPerBeat;
};

} // namespace music
