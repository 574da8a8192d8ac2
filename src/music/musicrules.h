#pragma once

#include "model/gongchesymbol.h"
#include "music/melody.h"
#include "music/tunesettings.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <array>

namespace music {

// Every rule that turns gongche into music, as data: the pitch of each sign,
// the key table (with the pitches other sources give), the meters and where
// each beat mark may fall in their measures, the shares of a beat among its
// notes, the thresholds of meter detection, the 散板 values, the ornament
// realisations, the flute's compass and the settings at the top of a
// document. MelodyBuilder and the annotation reader ask here and nowhere
// else, so a preferences page can change any of it.
class MusicRules {
public:
    // A 笛色: the pitch of 上 (1 = 上). Where sources disagree (凡字调 E♭ or E,
    // 上字调 B♭ or B) the row holds both; the first is the default.
    struct KeyRule {
        Key key = Key::XiaoGong;
        QStringList names;          // as annotations write it; the first is shown
        int shangMidi = 74;         // MIDI note number of 上
        QStringList letters;        // the key as a letter: D, E♭ …, spellings accepted
        int variantShangMidi = 74;  // the other sources; equal to shangMidi where all agree
        QStringList variantLetters; // empty where all agree
        bool hasVariant() const { return !variantLetters.isEmpty(); }
    };

    // A 板式: the beats of its measure and the metric indices (0 = the 板)
    // each kind of beat mark may take. The shared 头眼/末眼 sign has more than
    // one: a mark takes the first of them after the previous mark. A kind with
    // no index cannot occur in the meter.
    struct MeterRule {
        Meter meter = Meter::SanBan;
        bool zeng = false;
        QStringList names; // as annotations write it; the first is shown
        int beats = 0;     // per measure; 0 for free meter
        QVector<int> ban;
        QVector<int> xiaoYan;
        QVector<int> zhongYan;
        QVector<int> zengBan;
        bool doublable = false; // 加赠 exists for it

        const QVector<int> &indices(GongcheSymbol::Beat beat) const;
        // The indices of the 板 a measure strikes (板 and 赠板): a gap between
        // two marks that passes over one unmarked suggests a 板 left out.
        QVector<int> strongIndices() const;
    };

    // The grace notes an ornament sign stands for, as scale steps from its note
    // (+1 the next pitch name up, -1 the next down, 0 the note itself).
    struct OrnamentRule {
        GongcheSymbol::Ornament ornament = GongcheSymbol::Ornament::HuoQiang;
        QVector<int> before; // played just before the note
        QVector<int> after;  // played at its end
        bool breathAfter = false;
        // The time the notes after take from the end of the note: longSpan on
        // a note of longFrom ticks or more, shortSpan on a shorter one; 0 for
        // the players' own short grace length each.
        qint64 longSpan = 0;
        qint64 shortSpan = 0;
        qint64 longFrom = 0;
        bool verified = false; // checked against the old handbooks
    };

    MusicRules();
    // The rules as shipped; what Section::beatsPerMeasure() reads.
    static const MusicRules &defaults();

    // --- Pitch -----------------------------------------------------------
    // Semitones from 上 of each pitch name, in PitchName order (合 … 乙).
    std::array<int, 10> pitchSemitones;
    // Semitones of each octave section, in Octave order (low … double high).
    std::array<int, 4> octaveSemitones;
    // The flute's compass in MIDI note numbers (A4 … A6): notes outside it,
    // in the chosen key before the 八度 setting, are reported.
    int fluteLowest = 69;
    int fluteHighest = 93;

    // --- Keys --------------------------------------------------------------
    QVector<KeyRule> keys;

    // --- Meters ------------------------------------------------------------
    // The plain meters. The 加赠 forms of the doublable ones are derived by
    // meterRule(): the measure doubled, its 板 at 0, the 赠板 at zengBanAt of
    // the doubled measure, the 眼 of the plain measure again after the 赠板.
    QVector<MeterRule> meters;
    // Where the 赠板 falls, as a fraction of the doubled measure: the half by
    // default. A setting.
    double zengBanAt = 0.5;
    // How annotations write 加赠: a prefix to a doublable meter's name, or on
    // its own for the doubled form of zengAlone.
    QStringList zengPrefixes;
    Meter zengAlone = Meter::YiBanSanYan;
    // 板式=自动: back to detecting the meter of each tune.
    QStringList automaticMeterNames;

    // --- Rhythm --------------------------------------------------------------
    // The grid of shares within one beat: 8 to a beat.
    int beatGrid = 8;
    // The shares of one beat among 1 … 4 notes, in grid units; more notes
    // take equal shares on the grid, earlier notes the remainder.
    QVector<QVector<int>> oneBeatShares;
    // The values a note may have inside one beat, in grid units: what 简谱
    // writes without a tie (1, ¾, ½, ⅜, ¼, ⅛ of a beat). A beat whose shares
    // fall elsewhere takes the nearest writable ones.
    QVector<int> writableShares;
    // What a small note takes from the plain note before it, in grid units:
    // smallShare, or crowdedSmallShare when its beat holds crowdedBeat notes
    // or more. A beat of more than beatGrid notes sings its small notes as
    // grace notes (and then as many others as it must).
    int smallShare = 2;
    int crowdedSmallShare = 1;
    int crowdedBeat = 4;
    // The notes before a tune's first mark are a one-beat pickup when they
    // are one character of up to pickupNotes notes; more make a free (散)
    // opening.
    int pickupCharacters = 1;
    int pickupNotes = 4;
    // 散板: a note lasts this long, the first note of a character longer.
    qint64 sanBanNote = ticksPerBeat;
    qint64 sanBanFirstNote = ticksPerBeat * 3 / 2;
    // Lyric punctuation that ends a sentence: in 散板 the note before it holds.
    QString sentenceEnds;

    // --- Meter detection ----------------------------------------------------
    // Notes per 板 (small notes counted half) from which a tune reads as
    // 一板三眼, and up to which (with no 眼 marked) as 流水板.
    double threeEyesNotesPerBan = 3.5;
    double flowingNotesPerBan = 1.25;

    // --- Ornaments ---------------------------------------------------------
    QVector<OrnamentRule> ornaments;
    // The length a player gives one grace note.
    int graceTicks = ticksPerBeat / 8;

    // --- Annotations -------------------------------------------------------
    int minTempo = 10;
    int maxTempo = 400;
    int minOctave = -1;
    int maxOctave = 1;
    // The settings at the top of a document.
    TuneSettings start;

    // --- Look-ups ------------------------------------------------------------
    const KeyRule *keyRule(Key key) const;
    int shangMidi(Key key, bool variant) const;
    QString keyName(Key key, bool variant) const;
    // The rule of a meter, 加赠 derived; a free meter for a combination that
    // does not exist (散板 or 流水板 加赠).
    MeterRule meterRule(Meter meter, bool zeng) const;
    QString meterName(Meter meter, bool zeng) const;
    // Semitones of a pitch sign from the middle 上.
    int semitones(const GongcheSymbol &pitch) const;
    // The MIDI note number of semitones from 上 in a key, 八度 applied.
    int midi(int semitonesFromShang, Key key, bool variant, int octave) const;
    // The pitch steps scale steps away in 合四一上尺工凡六五乙 order, octaves
    // included; a pitch off the scale counts from the scale step below it.
    int scaleStep(int semitonesFromShang, int steps) const;
    // The same in a scale of the given pitch classes (semitones from 上,
    // 0–11): the pitch names a tune uses.
    static int scaleStep(int semitonesFromShang, int steps, QVector<int> pitchClasses);
    const OrnamentRule *ornamentRule(GongcheSymbol::Ornament ornament) const;
};

} // namespace music
