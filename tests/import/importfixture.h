#pragma once

// A melody as a notation file states it: what the MusicXML and MIDI readers
// make of a file that a melody was written to, for tests that go through
// SourceScore. Measures follow the sections' meters (a pickup measure "0"
// before the first 板), each section's first measure states its key, meter,
// tempo and heading after a double bar; notes keep their onsets and lengths,
// the gaps between them are rests, the lyric stands on a character's first
// note, ornament notes before a note are grace notes.

#include "import/sourcescore.h"
#include "model/documentline.h"
#include "music/melody.h"
#include "music/musicrules.h"

#include <QString>

namespace importfixture {

// The time signature a section's meter is written in; 0/0 for 散板.
inline void signatureOf(const music::Section &s, int *beats, int *beatType) {
    *beatType = 4;
    *beats = s.beatsPerMeasure();
    if (*beats <= 0) {
        *beats = 0;
        *beatType = 0;
    }
}

// The key signature whose major tonic is the section's 上: the fewest
// accidentals, sharps on a tie.
inline int fifthsOf(const music::Section &s, const music::MusicRules &rules) {
    const int pc = rules.shangMidi(s.key, s.keyVariant) % 12;
    for (int f = 0; f <= 6; ++f) {
        if ((7 * f) % 12 == pc) {
            return f;
        }
        if (((-7 * f) % 12 + 12) % 12 == pc) {
            return -f;
        }
    }
    return 0;
}

inline music::SourceMeasure measureAt(qint64 start, qint64 length, int number) {
    music::SourceMeasure m;
    m.start = start;
    m.length = length;
    m.number = QString::number(number);
    return m;
}

// The measures of a section, its first stating what is in force.
inline void addMeasures(music::SourceScore *out, const music::Section &s, const QString &heading,
                        const music::MusicRules &rules, int *number) {
    int beats = 0, beatType = 0;
    signatureOf(s, &beats, &beatType);
    const int first = out->measures.size();
    if (beats == 0) {
        out->measures.append(measureAt(s.start, s.end - s.start, (*number)++));
    } else {
        const qint64 length = qint64(beats) * music::ticksPerBeat;
        if (s.start < s.firstDownbeat) {
            out->measures.append(measureAt(s.start, s.firstDownbeat - s.start, 0));
        }
        for (qint64 t = s.firstDownbeat; t < s.end; t += length) {
            out->measures.append(measureAt(t, std::min(length, s.end - t), (*number)++));
        }
    }
    for (int m = first; m < out->measures.size(); ++m) {
        music::SourceMeasure &measure = out->measures[m];
        measure.beats = beats;
        measure.beatType = beatType;
        measure.fifths = fifthsOf(s, rules);
    }
    if (first < out->measures.size()) {
        music::SourceMeasure &m = out->measures[first];
        m.keyStated = m.meterStated = true;
        m.tempo = s.tempo;
        m.words = heading;
        m.doubleBarBefore = first > 0;
    }
}

inline int measureOf(const music::SourceScore &s, qint64 t) {
    int m = 0;
    for (int i = 0; i < s.measures.size(); ++i) {
        if (s.measures.at(i).start <= t) {
            m = i;
        }
    }
    return m;
}

inline music::SourceNote sourceNote(const music::SourceScore &s, qint64 onset, qint64 duration,
                                    int midi) {
    music::SourceNote n;
    n.onset = onset;
    n.duration = duration;
    n.midi = midi;
    n.measure = measureOf(s, onset);
    return n;
}

// The notes of a section, with rests in its gaps and up to its end.
inline void addNotes(music::SourceScore *out, const music::Melody &melody,
                     const music::Section &s) {
    qint64 at = s.start;
    for (int i = s.firstNote; i < s.firstNote + s.noteCount; ++i) {
        const music::Note &n = melody.notes.at(i);
        if (n.onset > at && i > s.firstNote) {
            out->notes.append(sourceNote(*out, at, n.onset - at, -1));
        }
        for (int g : n.gracesBefore) {
            music::SourceNote grace = sourceNote(*out, n.onset, 0, g);
            grace.grace = true;
            out->notes.append(grace);
        }
        music::SourceNote note = sourceNote(*out, n.onset, n.duration, n.midi);
        note.lyric = n.lyric;
        note.breathAfter = n.breathAfter;
        note.fermata = n.fermata;
        out->notes.append(note);
        at = n.onset + n.duration;
    }
    if (at < s.end) {
        out->notes.append(sourceNote(*out, at, s.end - at, -1));
    }
}

// The score a reader would give for a file written from melody, the
// document's lines giving the title and the headings.
inline music::SourceScore sourceOf(const music::Melody &melody, const DocumentLines &lines,
                                   const music::MusicRules &rules = music::MusicRules()) {
    music::SourceScore out;
    for (const DocumentLine &l : lines) {
        if (l.kind == LineKind::Title && out.title.isEmpty()) {
            out.title = l.text.mid(1).trimmed();
        }
    }
    int number = 1;
    for (const music::Section &s : melody.sections) {
        const QString heading =
            s.lyricLine >= 0 && s.lyricLine < lines.size() ? lines.at(s.lyricLine).text : QString();
        addMeasures(&out, s, heading, rules, &number);
        addNotes(&out, melody, s);
    }
    return out;
}

} // namespace importfixture
