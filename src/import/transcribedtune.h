#pragma once

#include "import/importrules.h"
#include "import/sourcescore.h"

#include <QString>
#include <QStringList>
#include <QVector>

// One tune of a score on its way to gongche: the notes as the import writes
// them (pitch sign, series, the beat marks after it), its key, meter and
// grid, and what the import had to change. GongcheTranscriber fills it step
// by step; RhythmMarker gives it its 板眼 and TranscriptionCheck reads it
// back. No widgets.
namespace music {

// A pitch sign as the import writes it, for one note of the source.
struct WrittenNote {
    int source = -1; // index into SourceScore::notes
    bool grace = false;
    qint64 onset = 0; // source ticks
    qint64 end = 0;   // source ticks: its end, a rest merged into it included
    int midi = 0;     // the pitch the sign stands for in the tune's key
    ImportRules::Degree degree;
    bool small = false;
    bool qiKou = false;
    bool fermata = false;
    bool phraseEnd = false;  // before a rest, a breath or a fermata, or the tune's last
    QVector<char32_t> marks; // the beat marks written after it
    int character = -1;      // the tune's sung character (score line) it stands on
    int column = -1;         // UTF-16 offset of its sign in that score line
};

// A silent stretch of the source between notes.
struct SourceRest {
    qint64 onset = 0;
    qint64 end = 0;
    int measure = 0;
};

// Something the import changed, at a note of the tune (note >= 0), at a time,
// or for the tune as a whole (its first measure).
struct TuneRemark {
    int note = -1;    // index into TranscribedTune::notes
    qint64 time = -1; // source ticks
    QString message;
};

// A sung character of the tune: its lyric text and the notes on its line.
struct WrittenCharacter {
    QString text;            // the sung character(s) and the unsung text after them
    int sungCount = 1;       // sung characters in text: the first owns the notes
    bool breakAfter = false; // a lyric line ends after it
    QString score;           // its score line
};

struct TranscribedTune {
    int firstMeasure = 0; // indices into SourceScore::measures
    int endMeasure = 0;
    QString heading; // "【…】", or empty for a first tune with no name
    ImportRules::KeyChoice key;
    ImportRules::MeterChoice meter;
    int tempo = 60;
    qint64 anchor = 0; // source ticks of a 板 of its grid
    QVector<WrittenNote> notes;
    QVector<SourceRest> rests;
    QVector<WrittenCharacter> characters;
    QVector<TuneRemark> remarks;

    bool measured() const { return meter.meter != Meter::SanBan; }
    // Its lines: the heading, the settings line, the lyric lines; and one
    // score line per sung character.
    QStringList lyricLines;
    QStringList scoreLines;
};

} // namespace music
