#pragma once

#include "import/sourcescore.h"

#include <QByteArray>
#include <QString>

namespace music {

// Reads a Standard MIDI File (format 0 or 1, timed in ticks per quarter note)
// as one voice of a SourceScore.
//
// The voice is the first track that holds notes, and in it the first channel
// that does, leaving out the General MIDI percussion channel (10); the other
// voices are left out and reported once. Of notes sounding together the
// highest stays, and a note still sounding when the next begins ends there.
// A performance's timing is brought onto the ⅛-beat grid; the silences
// between notes become rests, so that the notes follow one another without
// gaps from the start of the piece.
//
// The bars follow the time signatures (4/4 until one is stated, as the file
// format defines), the last bar reaching as far as the notes go. Key
// signatures, tempi, markers and cue points go to the bar they fall in; the
// first track's name is the title; lyric events, or the text events of a
// karaoke file that has none, are the words of the notes they start with.
// The file's texts are read as UTF-8 when all of them are UTF-8, else as
// GB18030 when all of them are, else as Latin-1. A format 2 file (independent
// sequences) is refused.
//
// A damaged or truncated track is read as far as it can be and reported;
// only a file that is not MIDI at all, a bad header, a format or timing this
// reader does not know, a piece too long to be a song or a file without notes
// to read is refused.
class MidiFileReader {
public:
    // Files larger than this are refused before they are read.
    static constexpr qint64 maxFileSize = 16 * 1024 * 1024;
    // A piece longer than this many bars is refused.
    static constexpr int maxMeasures = 100000;

    static SourceReading read(const QByteArray &bytes);
    static SourceReading readFile(const QString &path);
};

} // namespace music
