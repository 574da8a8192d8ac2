#pragma once

#include "model/outcome.h"
#include "music/melody.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace music {

// Writes a melody as a Standard MIDI File (format 1, ticksPerBeat to the
// quarter note): a conductor track with the title, the tempo, the meter and
// the key of each tune; a flute track with the notes, their ornaments and the
// sung characters as lyric events; and, when asked for, a percussion track
// that clicks the 板 and 眼.
//
// Each tune's meter is stated at its start; a pickup before its first 板 gets
// a short bar of its own, so that a sequencer's bars begin on the 板. 散板 has
// no meter a MIDI file can state: its tunes are written in 4/4.
class MidiWriter {
public:
    struct Options {
        bool clicks = true; // a third track with the 板眼 clicks
        QString title;      // the conductor track's name
    };

    // One event of the file at its absolute time: the bytes a track holds
    // after the delta time (a channel message, or 0xff, the type, the length
    // and the data of a meta event).
    struct TimedEvent {
        qint64 tick = 0;
        int track = 0; // 0 the conductor, 1 the flute, 2 the clicks
        QByteArray bytes;
    };

    // Every event encode() writes, the tracks merged in time order (at one
    // time: by track, then in the track's own order), closed by one
    // end-of-track event at the file's end. Playback reads these, so that
    // what is heard is what is exported.
    static QVector<TimedEvent> events(const Melody &melody, const Options &options);
    static QByteArray encode(const Melody &melody, const Options &options);
    // Written atomically: a failed write leaves any earlier file untouched.
    static Outcome write(const Melody &melody, const QString &path, const Options &options);
};

} // namespace music
