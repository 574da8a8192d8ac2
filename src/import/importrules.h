#pragma once

#include "model/gongchesymbol.h"
#include "music/musicrules.h"

#include <QString>
#include <QVector>

namespace music {

// What an import needs beyond the melody model: the inverse of the model's
// tables (which 笛色 a key signature names, which pitch sign a semitone
// offset from 上 is, which beat mark each index of a measure takes), all
// derived from MusicRules, and a small table of its own: how time signatures
// map to 板式, and the messages of the import report. No widgets.
class ImportRules {
public:
    // A 笛色 as the import chooses it: the key and the source of its 上.
    struct KeyChoice {
        Key key = Key::XiaoGong;
        bool variant = false;
        int shangMidi = 74;
        bool exact = true; // the key signature's tonic is this 笛色's 上
    };
    // How a time signature is read: the 板式, the source ticks of one beat of
    // it (a quarter in the model), and whether the import reports the choice.
    struct MeterChoice {
        Meter meter = Meter::SanBan;
        bool zeng = false;
        qint64 beatTicks = ticksPerBeat;
        bool reported = false;
    };
    // A pitch sign as a pitch name in an octave section.
    struct Degree {
        GongcheSymbol::PitchName name = GongcheSymbol::PitchName::Shang;
        GongcheSymbol::Octave octave = GongcheSymbol::Octave::Middle;
        int semitones = 0; // from the middle 上
    };
    // Where a semitone offset from 上 lands: the degree, and whether it had
    // to move (by octaves into the range, or down to a degree).
    struct Naming {
        Degree degree;
        bool chromatic = false;
        bool moved = false;
    };

    explicit ImportRules(const MusicRules &rules = MusicRules::defaults());

    const MusicRules &rules() const { return m_rules; }

    // --- Keys ----------------------------------------------------------------
    // The 笛色 whose 上 is the major tonic of a key signature of `fifths`
    // (a minor key reads as its relative major, which has the same signature);
    // a tonic no 笛色 has takes the nearest one by semitone, then the one
    // with fewer accidentals, then the lower.
    KeyChoice keyFor(int fifths) const;
    // The key signature's tonic as a letter: "D", "B♭", "F♯".
    static QString tonicName(int fifths);
    // The accidentals of the major key whose tonic is the pitch class pc.
    static int accidentalsOf(int pitchClass);

    // --- Pitch ---------------------------------------------------------------
    // The degree of semitones from 上: a degree of the Plain series of the
    // catalogue; chromatic ones take the degree below, notes outside the four
    // sections move by octaves into them first.
    Naming name(int semitonesFromShang) const;
    // The code of a degree in the series of a note: small, with 气口 or both.
    static char32_t signOf(const Degree &degree, bool small, bool qiKou);

    // --- Meters --------------------------------------------------------------
    // The 板式 of a time signature; 0 beats is no time signature (散板).
    MeterChoice meterFor(int beats, int beatType) const;
    // The beat mark a measure index takes in a meter (头 form): the 板, the
    // 赠板, the shared 头眼/末眼 sign, then the 中眼; 0 when none.
    static GongcheSymbol::Beat markAt(const MusicRules::MeterRule &rule, int index, bool *found);
    // The indices of a measure a 底板 can end a note on: the model reads a
    // 底板 at the 板 only.
    static bool diBanAt(const MusicRules::MeterRule &rule, int index);

    // --- Headings ------------------------------------------------------------
    // "【第二支】" for the second tune and so on.
    QString ordinalHeading(int ordinal) const;
    // A 曲牌 heading in words ("【皂罗袍】(仙吕)" kept as written), or empty.
    static QString headingIn(const QString &words);

    // --- Data of the import's own ------------------------------------------
    // Quarter notes per measure of the meters a measure of 1, 2, 4 or 8
    // quarters maps to.
    struct MeterRow {
        int quarters = 0;
        Meter meter = Meter::SanBan;
        bool zeng = false;
    };
    QVector<MeterRow> meterRows;
    int defaultTempo = 60;
    // Lyric punctuation after which a lyric line breaks.
    QString phraseEnds;
    // Chinese numerals for ordinal headings, 0 to 10.
    QString numerals;

    // The messages of the import report.
    struct Messages {
        QString unmappedKey;  // %1 tonic, %2 笛色
        QString chromatic;    //
        QString outOfRange;   //
        QString meterMapped;  // %1 signature, %2 板式
        QString meterChanged; // %1 板式
        QString freeRhythm;   //
        QString restMerged;   //
        QString unwritable;   //
        QString onsetDiffers; //
        QString pitchDiffers; //
        QString fermataDropped;
        QString nonCjkLyric;
        QString extraCharacters;
        QString tempoClamped; // %1 stated, %2 written
    } messages;

private:
    MusicRules m_rules;
    QVector<Degree> m_degrees; // the Plain series, rising
};

} // namespace music
