#pragma once

#include <QString>
#include <QVector>

// What a gongche score means as music: a stream of notes with onsets and
// durations derived from the beat marks (板眼), in a key (笛色) and a meter
// (板式) per tune (曲牌), and the problems found on the way. Built from the
// render model by MelodyBuilder; read by the checker, the MIDI and MusicXML
// writers and playback. No widgets.
//
// Time is counted in ticks, ticksPerBeat to a beat (a quarter note, the unit
// of 速度). Every duration the rules produce (the 1/8-beat grid, small notes at
// half value, ornament grace notes) is a whole number of ticks.
namespace music {

constexpr int ticksPerBeat = 480;

// The 板式 of a tune.
enum class Meter {
    YiBanSanYan, // 一板三眼: 4 beats
    YiBanYiYan,  // 一板一眼: 2 beats
    LiuShui,     // 流水板 (有板无眼): 1 beat
    SanBan,      // 散板: free
};

// The 笛色 (key) of a piece; 1 = 上.
enum class Key { XiaoGong, FanZi, LiuZi, ZhengGong, YiZi, ShangZi, ChiZi };

// Where in the document something is, for the checker and click-to-source.
struct Place {
    enum class Pane { Lyric, Score };
    Pane pane = Pane::Score;
    int line = -1;  // lyric line (Lyric) or score line = sung character index (Score)
    int column = 0; // UTF-16 offset in that line
    int length = 0; // UTF-16 units; 0 for the whole line
    bool operator==(const Place &o) const {
        return pane == o.pane && line == o.line && column == o.column && length == o.length;
    }
};

struct Note {
    int midi = 0;             // MIDI note number, key and octave applied
    qint64 onset = 0;         // ticks from the start of the piece
    qint64 duration = 0;      // ticks
    int character = -1;       // sung character index (its score line)
    QString lyric;            // the sung character, on the first note of a character only
    bool small = false;       // a small (short) note
    bool breathAfter = false; // 气口
    bool fermata = false;
    QVector<int> gracesBefore; // ornament notes (MIDI) played just before this note
    QVector<int> gracesAfter;  // ornament notes played at its end
    // The time the graces after it take from its end; 0 for the players' own
    // short grace length each.
    qint64 graceAfterTicks = 0;
    Place place; // the pitch sign in the score text

    bool operator==(const Note &o) const {
        return midi == o.midi && onset == o.onset && duration == o.duration &&
               character == o.character && lyric == o.lyric && small == o.small &&
               breathAfter == o.breathAfter && fermata == o.fermata &&
               gracesBefore == o.gracesBefore && gracesAfter == o.gracesAfter &&
               graceAfterTicks == o.graceAfterTicks && place == o.place;
    }
};

// A beat that a mark falls on: 板 (strong) or 眼.
struct BeatClick {
    qint64 time = 0;
    bool ban = false;

    bool operator==(const BeatClick &o) const { return time == o.time && ban == o.ban; }
};

// One tune (曲牌), or the part of the piece before the first heading.
struct Section {
    QString quPai; // the tune name, without 【】; empty before the first heading
    Meter meter = Meter::SanBan;
    bool zeng = false;        // 加赠: the meter doubled by 赠板
    bool meterGuessed = true; // detected, not stated by an annotation
    Key key = Key::XiaoGong;
    bool keyVariant = false; // the other pitch sources give the key (凡字调 E, 上字调 B)
    int tempo = 60;          // quarter beats per minute
    int octave = 0;          // -1, 0, 1: the whole piece moved by 12 semitones
    qint64 start = 0;        // ticks: the first note's onset (the pickup's start)
    // ticks: where the measured part begins. From start to here the tune opens
    // freely (散), without bar lines; equal to start when it does not.
    qint64 measuredStart = 0;
    qint64 firstDownbeat = 0; // ticks: the first 板 (start + pickup length)
    qint64 end = 0;           // ticks: the end of its last measure
    int firstNote = 0;        // index into Melody::notes
    int noteCount = 0;
    int lyricLine = -1; // the heading's lyric line; -1 before the first heading

    // Beats per measure: 4, 2, 1 (doubled with zeng); 0 for 散板.
    int beatsPerMeasure() const;

    bool operator==(const Section &o) const;
};

struct Problem {
    enum class Severity { Information, Warning, Error };
    Severity severity = Severity::Warning;
    Place place;
    QString message; // Chinese: what is wrong
    QString advice;  // Chinese: what to do about it; may be empty
    // A settings line that answers it (e.g. "; 板式=一板三眼"), to insert as
    // lyric line fixLine; empty when there is none.
    QString fix;
    int fixLine = -1;

    bool operator==(const Problem &o) const {
        return severity == o.severity && place == o.place && message == o.message &&
               advice == o.advice && fix == o.fix && fixLine == o.fixLine;
    }
    // As the problems list and the tooltips show it.
    QString text() const { return advice.isEmpty() ? message : message + QChar(0x3002) + advice; }
};

struct Melody {
    QVector<Note> notes;
    QVector<BeatClick> clicks;
    QVector<Section> sections;
    QVector<Problem> problems;
    qint64 length() const { return sections.isEmpty() ? 0 : sections.last().end; }

    bool operator==(const Melody &o) const {
        return notes == o.notes && clicks == o.clicks && sections == o.sections &&
               problems == o.problems;
    }
};

} // namespace music
