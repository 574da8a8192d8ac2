#pragma once

#include "import/sourcescore.h"

#include <QByteArray>
#include <QString>

namespace music {

// Reads a MusicXML score-partwise document (4.0 and earlier) into a
// SourceScore: the first part's measures with the key, meter, tempo, words,
// rehearsal marks and double bars in force, and its first voice as one line
// of notes and rests in time order, with the first verse's syllables. What
// cannot be kept (other parts and voices, chords, uneven tuplets, overlaps)
// is reported as problems.
//
// The document is streamed in one pass (no tree is built), and no DTD or
// external entity is ever fetched: a reference to an entity the document
// does not declare is an error.
class MusicXmlReader {
public:
    // Larger files are refused.
    static constexpr qint64 maxFileBytes = 64 * 1024 * 1024;
    // A score with more notes (of every voice of the first part) or more
    // measures is refused.
    static constexpr int maxNotes = 500000;
    static constexpr int maxMeasures = 100000;

    static SourceReading read(const QByteArray &bytes);
    // A .musicxml/.xml file, or a compressed .mxl (any file that begins like
    // a zip archive, whatever its name).
    static SourceReading readFile(const QString &path);
};

} // namespace music
