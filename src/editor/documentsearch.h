#pragma once

#include "model/gongchesymbol.h"

#include <QString>
#include <QVector>

class QTextDocument;

// The find bar's search through a document: the query in the lyric text, and,
// when the query is written in gongche signs (工尺 as ordinary characters or as
// symbols), the runs of score symbols with those pitch names, in any octave
// and form, beat marks and ornaments between them skipped.
class DocumentSearch {
public:
    enum class Pane { Lyric, Score };
    struct Match {
        Pane pane;
        int start; // document positions, in UTF-16 units
        int end;
        bool operator==(const Match &o) const {
            return pane == o.pane && start == o.start && end == o.end;
        }
    };

    // Every match: the lyric's (case-insensitive) first, then the score's, each
    // in document order.
    static QVector<Match> matches(const QTextDocument *lyric, const QTextDocument *score,
                                  const QString &query);

    // The pitch names a query spells in gongche signs; empty when any part of
    // it is something else.
    static QVector<GongcheSymbol::PitchName> pitchQuery(const QString &query);

    // The match to go to from a cursor in pane that selects from..to: the
    // first match at or after to (forward), or the last that ends at or
    // before from (backward), wrapping around; -1 when there is none.
    static int step(const QVector<Match> &matches, Pane pane, int from, int to, bool backward);
};
