#include "music/midiwriter.h"

#include "model/atomicfile.h"
#include "music/musicrules.h"

#include <QVector>
#include <algorithm>

namespace music {

namespace {

// General MIDI numbers its programs from 1 and calls 74 the flute; the
// program change carries that number less one.
constexpr quint8 fluteProgram = 74 - 1;
constexpr quint8 melodyChannel = 0;
// Channel 10 of General MIDI, the percussion channel, counted from 0.
constexpr quint8 clickChannel = 9;
constexpr quint8 highWoodBlock = 76; // 板
constexpr quint8 sideStick = 37;     // 眼

// An ornament note lasts an eighth of a beat, less when the note it
// decorates is too short to give that much.
constexpr qint64 graceTicks = ticksPerBeat / 8;
// The silence a 气口 leaves at the end of its note, at most.
constexpr qint64 breathTicks = ticksPerBeat / 8;
constexpr qint64 clickTicks = ticksPerBeat / 8;

// Events at one time are written in this order: a track's name and program
// first, then note-offs, then meta events (so that a lyric comes right before
// the note it is sung on), then note-ons.
enum Order { Head, NoteOff, Meta, NoteOn };

struct Event {
    qint64 time = 0;
    int order = Meta;
    QByteArray bytes; // the event without its delta time
};

void appendVariableLength(QByteArray &out, quint32 value) {
    quint8 buffer[5];
    int n = 0;
    buffer[n++] = value & 0x7f;
    while ((value >>= 7) != 0) {
        buffer[n++] = 0x80 | (value & 0x7f);
    }
    while (n > 0) {
        out.append(char(buffer[--n]));
    }
}

void appendBigEndian(QByteArray &out, quint32 value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
        out.append(char((value >> shift) & 0xff));
    }
}

Event meta(qint64 time, quint8 type, const QByteArray &data) {
    Event e;
    e.time = time;
    e.order = Meta;
    e.bytes.append(char(0xff));
    e.bytes.append(char(type));
    appendVariableLength(e.bytes, quint32(data.size()));
    e.bytes.append(data);
    return e;
}

Event channelEvent(qint64 time, int order, quint8 status, quint8 a, int b = -1) {
    Event e;
    e.time = time;
    e.order = order;
    e.bytes.append(char(status));
    e.bytes.append(char(a & 0x7f));
    if (b >= 0) {
        e.bytes.append(char(b & 0x7f));
    }
    return e;
}

void addNote(QVector<Event> &events, quint8 channel, int key, qint64 from, qint64 to,
             int velocity) {
    if (key < 0 || key > 127 || to <= from) {
        return;
    }
    events.append(channelEvent(from, NoteOn, quint8(0x90 | channel), quint8(key), velocity));
    events.append(channelEvent(to, NoteOff, quint8(0x80 | channel), quint8(key), 64));
}

// The track chunk: events in time order, each after its delta time, closed
// by an end-of-track event at `end` (or at the last event, if later).
void sortTrack(QVector<Event> &events) {
    std::stable_sort(events.begin(), events.end(), [](const Event &a, const Event &b) {
        return a.time != b.time ? a.time < b.time : a.order < b.order;
    });
}

QByteArray track(QVector<Event> events, qint64 end) {
    sortTrack(events);
    QByteArray body;
    qint64 now = 0;
    for (const Event &e : events) {
        const qint64 time = std::max(e.time, now);
        appendVariableLength(body, quint32(time - now));
        body.append(e.bytes);
        now = time;
    }
    appendVariableLength(body, quint32(std::max(end, now) - now));
    body.append("\xff\x2f\x00", 3);

    QByteArray chunk("MTrk");
    appendBigEndian(chunk, quint32(body.size()), 4);
    chunk.append(body);
    return chunk;
}

// The key signature's sharps (positive) or flats (negative) for the major
// key whose tonic is 上, as the shipped key table pitches it: 小工调 D (2),
// 凡字调 E♭ (-3; E, 4, where the other sources are followed), 六字调 F (-1),
// 正工调 G (1), 乙字调 A (3), 上字调 B♭ (-2; or B, 5), 尺字调 C (0).
int fifthsOf(const Section &section) {
    static const int byPitchClass[12] = {0, -5, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5};
    const int shang = MusicRules::defaults().shangMidi(section.key, section.keyVariant);
    return byPitchClass[((shang % 12) + 12) % 12];
}

Event timeSignature(qint64 time, int numerator, int denominatorPower) {
    QByteArray data;
    data.append(char(numerator));
    data.append(char(denominatorPower));
    data.append(char(24)); // MIDI clocks per metronome click: a quarter note
    data.append(char(8));  // 32nd notes per quarter note
    return meta(time, 0x58, data);
}

Event tempoEvent(qint64 time, int quarterBeatsPerMinute) {
    const int bpm = quarterBeatsPerMinute > 0 ? quarterBeatsPerMinute : 60;
    QByteArray data;
    appendBigEndian(data, quint32((60000000 + bpm / 2) / bpm), 3);
    return meta(time, 0x51, data);
}

// A bar of `ticks` as a time signature n/2^d, when one with d from 2 (a
// quarter) to 6 (a 64th) states it exactly; false otherwise.
bool shortBar(qint64 ticks, int *numerator, int *denominatorPower) {
    const qint64 whole = 4 * ticksPerBeat;
    for (int d = 2; d <= 6; ++d) {
        if ((ticks << d) % whole == 0) {
            const qint64 n = (ticks << d) / whole;
            if (n < 1 || n > 255) {
                return false;
            }
            *numerator = int(n);
            *denominatorPower = d;
            return true;
        }
    }
    return false;
}

QVector<Event> conductorEvents(const Melody &melody, const QString &title) {
    QVector<Event> events;
    if (!title.isEmpty()) {
        events.append(meta(0, 0x03, title.toUtf8()));
        events.last().order = Head;
    }
    int tempo = melody.sections.isEmpty() ? 60 : melody.sections.first().tempo;
    events.append(tempoEvent(0, tempo));
    for (int i = 0; i < melody.sections.size(); ++i) {
        const Section &section = melody.sections.at(i);
        const qint64 start = i == 0 ? 0 : section.start;
        if (section.tempo != tempo) {
            tempo = section.tempo;
            events.append(tempoEvent(start, tempo));
        }
        const int beats = section.beatsPerMeasure();
        if (beats == 0) {
            events.append(timeSignature(start, 4, 2));
        } else {
            // A free opening has no meter of its own: 4/4, as 散板.
            const qint64 measured = std::max(start, section.measuredStart);
            if (measured > start) {
                events.append(timeSignature(start, 4, 2));
            }
            int numerator = 0;
            int power = 0;
            const qint64 pickup = section.firstDownbeat - measured;
            if (pickup > 0 && pickup < qint64(beats) * ticksPerBeat &&
                shortBar(pickup, &numerator, &power)) {
                // The pickup as a bar of its own, so that the bars that follow
                // begin on the 板.
                events.append(timeSignature(measured, numerator, power));
                events.append(timeSignature(section.firstDownbeat, beats, 2));
            } else {
                events.append(timeSignature(measured, beats, 2));
            }
        }
        QByteArray key;
        key.append(char(qint8(fifthsOf(section))));
        key.append(char(0)); // major
        events.append(meta(start, 0x59, key));
    }
    return events;
}

QVector<Event> melodyEvents(const Melody &melody) {
    QVector<Event> events;
    events.append(meta(0, 0x03, QStringLiteral("笛").toUtf8()));
    events.last().order = Head;
    events.append(channelEvent(0, Head, quint8(0xc0 | melodyChannel), fluteProgram));
    for (const Note &note : melody.notes) {
        if (note.duration <= 0) {
            continue;
        }
        const qint64 gap = note.breathAfter ? std::min(breathTicks, note.duration / 4) : 0;
        const qint64 end = note.onset + note.duration - gap;
        // The ornaments take their time from the note they belong to: those
        // before it from its start, those after it from its end.
        const int graces = note.gracesBefore.size() + note.gracesAfter.size();
        // However crowded, every grace sounds, for a tick at least.
        const qint64 grace =
            graces > 0
                ? std::max<qint64>(1, std::min(graceTicks, (end - note.onset) / (graces + 1)))
                : 0;
        // Ornaments that take a stated part of the note's end share it.
        const qint64 after =
            note.gracesAfter.isEmpty() ? 0
            : note.graceAfterTicks > 0
                ? std::max<qint64>(1, std::min(note.graceAfterTicks, (end - note.onset) / 2) /
                                          note.gracesAfter.size())
                : grace;
        if (!note.lyric.isEmpty()) {
            events.append(meta(note.onset, 0x05, note.lyric.toUtf8()));
        }
        const int velocity = note.small ? 72 : 90;
        qint64 t = note.onset;
        if (grace > 0) {
            for (int midi : note.gracesBefore) {
                addNote(events, melodyChannel, midi, t, t + grace, 72);
                t += grace;
            }
        }
        const qint64 mainEnd = std::max(t + 1, end - after * note.gracesAfter.size());
        addNote(events, melodyChannel, note.midi, t, mainEnd, velocity);
        if (after > 0) {
            t = mainEnd;
            for (int midi : note.gracesAfter) {
                addNote(events, melodyChannel, midi, t, t + after, 72);
                t += after;
            }
        }
    }
    return events;
}

QVector<Event> clickEvents(const Melody &melody) {
    QVector<Event> events;
    events.append(meta(0, 0x03, QStringLiteral("板眼").toUtf8()));
    events.last().order = Head;
    // In time order, one click a time (a 板 and a 眼 on the same beat sound
    // as the 板), each ended before the next begins: a key never sounds twice
    // at once.
    QVector<BeatClick> clicks = melody.clicks;
    std::stable_sort(clicks.begin(), clicks.end(),
                     [](const BeatClick &a, const BeatClick &b) { return a.time < b.time; });
    for (int i = 0; i < clicks.size();) {
        BeatClick click = clicks.at(i);
        int next = i + 1;
        for (; next < clicks.size() && clicks.at(next).time == click.time; ++next) {
            click.ban = click.ban || clicks.at(next).ban;
        }
        qint64 length = clickTicks;
        if (next < clicks.size()) {
            length = std::min(length, clicks.at(next).time - click.time);
        }
        addNote(events, clickChannel, click.ban ? highWoodBlock : sideStick, click.time,
                click.time + length, click.ban ? 110 : 90);
        i = next;
    }
    return events;
}

qint64 endOf(const Melody &melody, bool clicks) {
    qint64 end = melody.length();
    for (const Note &note : melody.notes) {
        end = std::max(end, note.onset + note.duration);
    }
    if (clicks && !melody.clicks.isEmpty()) {
        end = std::max(end, melody.clicks.last().time + clickTicks);
    }
    return end;
}

} // namespace

QVector<MidiWriter::TimedEvent> MidiWriter::events(const Melody &melody, const Options &options) {
    QVector<QVector<Event>> tracks;
    tracks.append(conductorEvents(melody, options.title));
    tracks.append(melodyEvents(melody));
    if (options.clicks) {
        tracks.append(clickEvents(melody));
    }
    QVector<TimedEvent> out;
    for (int i = 0; i < tracks.size(); ++i) {
        sortTrack(tracks[i]);
        for (const Event &e : tracks.at(i)) {
            out.append({e.time, i, e.bytes});
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const TimedEvent &a, const TimedEvent &b) { return a.tick < b.tick; });
    qint64 end = endOf(melody, options.clicks);
    if (!out.isEmpty()) {
        end = std::max(end, out.last().tick);
    }
    out.append({end, 0, QByteArray("\xff\x2f\x00", 3)});
    return out;
}

QByteArray MidiWriter::encode(const Melody &melody, const Options &options) {
    const qint64 end = endOf(melody, options.clicks);

    QVector<QByteArray> tracks;
    tracks.append(track(conductorEvents(melody, options.title), end));
    tracks.append(track(melodyEvents(melody), end));
    if (options.clicks) {
        tracks.append(track(clickEvents(melody), end));
    }

    QByteArray out("MThd");
    appendBigEndian(out, 6, 4);
    appendBigEndian(out, 1, 2); // format 1: simultaneous tracks
    appendBigEndian(out, quint32(tracks.size()), 2);
    appendBigEndian(out, ticksPerBeat, 2);
    for (const QByteArray &t : tracks) {
        out.append(t);
    }
    return out;
}

Outcome MidiWriter::write(const Melody &melody, const QString &path, const Options &options) {
    return writeFileAtomically(path, encode(melody, options));
}

} // namespace music
