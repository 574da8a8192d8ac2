#pragma once

#include "music/melody.h"

#include <QString>
#include <QVector>

// Music as a notation file states it, before it becomes gongche: one voice of
// notes and rests in time order, the measures with the key, meter, tempo and
// words in force, and what the reader had to change or leave out. The
// MusicXML and MIDI readers produce it; GongcheTranscriber turns it into a
// document. No widgets.
//
// Time is in the melody model's ticks (music::ticksPerBeat to a quarter note)
// from the start of the piece.
namespace music {

struct SourceNote {
    qint64 onset = 0;
    qint64 duration = 0; // 0 for a grace note
    int midi = -1;       // MIDI note number; -1 for a rest
    // A grace note: it takes no time of its own and is sung just before the
    // next note (onset equals that note's).
    bool grace = false;
    bool breathAfter = false;
    bool fermata = false;
    // The syllable of the first verse that starts on this note, as written
    // (hyphens and extenders left out); empty when none does.
    QString lyric;
    int measure = 0; // index into SourceScore::measures

    bool isRest() const { return midi < 0; }
    bool operator==(const SourceNote &o) const {
        return onset == o.onset && duration == o.duration && midi == o.midi &&
               grace == o.grace && breathAfter == o.breathAfter && fermata == o.fermata &&
               lyric == o.lyric && measure == o.measure;
    }
};

struct SourceMeasure {
    qint64 start = 0;  // ticks
    qint64 length = 0; // ticks, as its notes fill it
    QString number;    // as the file numbers it ("0" for a pickup), for reports
    // The time signature in force: beats of beatType (4 = quarter); 0 and 0
    // when there is none or the measure is senza misura.
    int beats = 0;
    int beatType = 0;
    // The key signature in force: sharps (> 0) or flats (< 0), and its mode.
    int fifths = 0;
    bool minor = false;
    bool keyStated = false;   // a key signature stands in this measure
    bool meterStated = false; // a time signature stands in this measure
    int tempo = 0;            // quarter beats per minute stated here; 0 when none
    QString words;            // direction words in it, such as 【皂罗袍】, joined by spaces
    QString rehearsal;        // a rehearsal mark in it
    bool doubleBarBefore = false; // the measure before ends with a double or final bar

    bool operator==(const SourceMeasure &o) const {
        return start == o.start && length == o.length && number == o.number &&
               beats == o.beats && beatType == o.beatType && fifths == o.fifths &&
               minor == o.minor && keyStated == o.keyStated && meterStated == o.meterStated &&
               tempo == o.tempo && words == o.words && rehearsal == o.rehearsal &&
               doubleBarBefore == o.doubleBarBefore;
    }
};

// Something the reader changed or left out, where it was.
struct SourceProblem {
    int measure = -1; // index into SourceScore::measures; -1 for the whole file
    qint64 time = -1; // ticks; -1 when it concerns the whole measure or file
    QString message;  // Chinese, for the user

    bool operator==(const SourceProblem &o) const {
        return measure == o.measure && time == o.time && message == o.message;
    }
};

struct SourceScore {
    QString title;
    QVector<SourceMeasure> measures;
    QVector<SourceNote> notes;
    QVector<SourceProblem> problems;
};

// What a reader returns: the score, or why nothing could be read.
struct SourceReading {
    SourceScore score;
    QString error; // Chinese, for the user; empty when the file was read

    bool ok() const { return error.isEmpty(); }
    static SourceReading failure(const QString &why) {
        SourceReading r;
        r.error = why;
        return r;
    }
};

} // namespace music
