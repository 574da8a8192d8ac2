#pragma once

#include "model/outcome.h"
#include "music/melody.h"

#include <QByteArray>
#include <QString>

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

    static QByteArray encode(const Melody &melody, const Options &options);
    // Written atomically: a failed write leaves any earlier file untouched.
    static Outcome write(const Melody &melody, const QString &path, const Options &options);
};

} // namespace music
