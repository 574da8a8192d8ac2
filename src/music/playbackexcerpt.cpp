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
    // The first note of the start character or of the next one that has any.
    int first = 0;
    while (first < melody.notes.size() &&
           melody.notes.at(first).character < request.fromCharacter) {
        ++first;
    }
    if (first == melody.notes.size()) {
        first = 0; // past the last note: from the beginning
    }
    int last = melody.notes.size() - 1;
    if (request.toCharacter >= 0) {
        while (last >= first && melody.notes.at(last).character > request.toCharacter) {
            --last;
        }
        if (last < first) {
            return out;
        }
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
    const MusicRules &rules = MusicRules::defaults();

    for (int s = firstSection; s < melody.sections.size(); ++s) {
        const Section &in = melody.sections.at(s);
        if (in.start >= to && s != firstSection) {
            break;
        }
        Section section = in;
        section.start = s == firstSection ? 0 : in.start + shift;
        section.end = std::min(in.end, to) + shift;
        section.measuredStart = std::max(section.start, in.measuredStart + shift);
        if (s == firstSection) {
            // The first 板 at or after the start, so that the bars of the
            // excerpt keep their place.
            const qint64 measure = qint64(in.beatsPerMeasure()) * ticksPerBeat;
            qint64 downbeat = in.firstDownbeat;
            if (measure > 0 && downbeat < from) {
                downbeat += (from - downbeat + measure - 1) / measure * measure;
            }
            section.firstDownbeat = std::max<qint64>(0, downbeat + shift);
        } else {
            section.firstDownbeat = in.firstDownbeat + shift;
        }
        const Key key = request.key.value_or(in.key);
        const bool variant = request.key ? request.keyVariant : in.keyVariant;
        const int octave = request.octave.value_or(in.octave);
        const int transpose = rules.shangMidi(key, variant) -
                              rules.shangMidi(in.key, in.keyVariant) + 12 * (octave - in.octave);
        section.key = key;
        section.keyVariant = variant;
        section.octave = octave;
        section.firstNote = out.notes.size();
        const int begin = std::max(first, in.firstNote);
        const int end = std::min(last + 1, in.firstNote + in.noteCount);
        for (int i = begin; i < end; ++i) {
            Note note = melody.notes.at(i);
            note.onset += shift;
            note.midi += transpose;
            for (int &g : note.gracesBefore) {
                g += transpose;
            }
            for (int &g : note.gracesAfter) {
                g += transpose;
            }
            out.notes.append(note);
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
