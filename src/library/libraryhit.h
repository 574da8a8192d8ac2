#pragma once

#include "library/libraryquery.h"

#include <QString>

// One thing a library search found: the file, what matched, the line around
// it, and where to put the two cursors of the editor.
struct LibraryHit {
    QString path;
    QString title;
    LibraryQuery::Field field = LibraryQuery::Field::Any; // what matched
    QString context;                                      // the line as written
    int contextStart = 0;                                 // the matched part of context
    int contextLength = 0;
    // The lyric editor: line, and the UTF-16 column and length of the match.
    int lyricLine = -1;
    int lyricColumn = 0;
    int lyricLength = 0;
    // The score editor: the line (sung character) and UTF-16 column of the
    // first sign matched, -1 when the match is not in the score.
    int scoreLine = -1;
    int scoreColumn = 0;
    int scoreLength = 0;

    bool operator==(const LibraryHit &o) const {
        return path == o.path && field == o.field && context == o.context &&
               contextStart == o.contextStart && contextLength == o.contextLength &&
               lyricLine == o.lyricLine && lyricColumn == o.lyricColumn &&
               lyricLength == o.lyricLength && scoreLine == o.scoreLine &&
               scoreColumn == o.scoreColumn && scoreLength == o.scoreLength;
    }
};
