#include "music/playbackexcerpt.h"

#include "music/musicrules.h"

#include <algorithm>

namespace music {

namespace {

// The section that holds tick t (the last one starting at or before it).
int sectionAt(const Melody &melody, qint64 t) {
    int found = 0;
    for (int i = 0; i < melody.sections.size(); ++i) {
        if (melody.sections.at(i).start <= t) {
            found = i;
        }
    }
    return found;
}

// The notes played, first to last: from the first note of the start
// character or of the next one that has any, to the last of the end
// character. False when there are none.
bool notesPlayed(const Melody &melody, const PlaybackExcerpt::Request &request, int *first,
                 int *last) {
    *first = 0;
    while (*first < melody.notes.size() &&
           melody.notes.at(*first).character < request.fromCharacter) {
        ++*first;
    }
    if (*first == melody.notes.size()) {
        *first = 0; // past the last note: from the beginning
    }
    *last = melody.notes.size() - 1;
    if (request.toCharacter >= 0) {
        while (*last >= *first && melody.notes.at(*last).character > request.toCharacter) {
            --*last;
        }
        if (*last < *first) {
            return false;
        }
    }
    return true;
}

// The first 板 of a section at or after tick from, so that the bars of the
// excerpt keep their place.
qint64 downbeatFrom(const Section &in, qint64 from) {
    const qint64 measure = qint64(in.beatsPerMeasure()) * ticksPerBeat;
    qint64 downbeat = in.firstDownbeat;
    if (measure > 0 && downbeat < from) {
        downbeat += (from - downbeat + measure - 1) / measure * measure;
    }
    return downbeat;
}

// The key and octave a section is played in (the request's, else its own);
// the semitones its notes move by.
int setKey(Section *section, const Section &in, const PlaybackExcerpt::Request &request) {
    const MusicRules &rules = MusicRules::defaults();
    const Key key = request.key.value_or(in.key);
    const bool variant = request.key ? request.keyVariant : in.keyVariant;
    const int octave = request.octave.value_or(in.octave);
    section->key = key;
    section->keyVariant = variant;
    section->octave = octave;
    return rules.shangMidi(key, variant) - rules.shangMidi(in.key, in.keyVariant) +
           12 * (octave - in.octave);
}

// A note moved by shift ticks and transpose semitones, its grace notes too.
Note moved(Note note, qint64 shift, int transpose) {
    note.onset += shift;
    note.midi += transpose;
    for (int &g : note.gracesBefore) {
        g += transpose;
    }
    for (int &g : note.gracesAfter) {
        g += transpose;
    }
    return note;
}

} // namespace

int PlaybackExcerpt::countInBeats(const Section &section) {
    const int beats = section.beatsPerMeasure();
    return beats > 0 ? beats : 4;
}

Melody PlaybackExcerpt::cut(const Melody &melody, const Request &request) {
    Melody out;
    if (melody.notes.isEmpty() || melody.sections.isEmpty()) {
        return out;
    }
    int first = 0;
    int last = 0;
    if (!notesPlayed(melody, request, &first, &last)) {
        return out;
    }
    const qint64 from = melody.notes.at(first).onset;
    qint64 to = from;
    for (int i = first; i <= last; ++i) {
        const Note &n = melody.notes.at(i);
        to = std::max(to, n.onset + n.duration);
    }
    if (request.toCharacter < 0) {
        to = std::max(to, melody.length());
    }

    const int firstSection = sectionAt(melody, from);
    const Section &opening = melody.sections.at(firstSection);
    const qint64 countIn = request.countIn ? qint64(countInBeats(opening)) * ticksPerBeat : 0;
    const qint64 shift = countIn - from;
    for (int s = firstSection; s < melody.sections.size(); ++s) {
        const Section &in = melody.sections.at(s);
        if (in.start >= to && s != firstSection) {
            break;
        }
        Section section = in;
        section.start = s == firstSection ? 0 : in.start + shift;
        section.end = std::min(in.end, to) + shift;
        section.measuredStart = std::max(section.start, in.measuredStart + shift);
        section.firstDownbeat = s == firstSection
                                    ? std::max<qint64>(0, downbeatFrom(in, from) + shift)
                                    : in.firstDownbeat + shift;
        const int transpose = setKey(&section, in, request);
        section.firstNote = out.notes.size();
        const int begin = std::max(first, in.firstNote);
        const int end = std::min(last + 1, in.firstNote + in.noteCount);
        for (int i = begin; i < end; ++i) {
            out.notes.append(moved(melody.notes.at(i), shift, transpose));
        }
        section.noteCount = out.notes.size() - section.firstNote;
        out.sections.append(section);
    }

    for (int b = 0; b < countIn / ticksPerBeat; ++b) {
        out.clicks.append({qint64(b) * ticksPerBeat, b == 0});
    }
    for (const BeatClick &click : melody.clicks) {
        if (click.time >= from && click.time < to) {
            out.clicks.append({click.time + shift, click.ban});
        }
    }
    return out;
}

} // namespace music
