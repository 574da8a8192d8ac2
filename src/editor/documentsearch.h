#pragma once

#include "editor/searchresult.h"
#include "model/gongchesymbol.h"

#include <QString>
#include <QVector>

class DocumentTab;
class QTextDocument;

// The find bar's search through a document: the query in the lyric text, and,
// when the query is written in gongche signs (工尺 as ordinary characters or as
// symbols), the runs of score symbols with those pitch names, in any octave
// and form, beat marks and ornaments between them skipped.
//
// An object of it searches the editors of one document tab: it selects the
// match it goes to, highlights every match, and replaces lyric matches
// through the tab's undoable commands.
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

    explicit DocumentSearch(DocumentTab *tab);

    // Goes to the next (or, backward, the previous) match of query after the
    // current one, wrapping around, selects it in its pane (the other pane
    // follows) and highlights every match.
    SearchResult find(const QString &query, bool backward);
    // Removes the highlights of the last find.
    void clear();
    // Replaces the current lyric match of query (the lyric selection, when it
    // is one) with replacement, one undo step, then goes on to the next match
    // as find does. Matches in the score are found but never replaced.
    SearchResult replace(const QString &query, const QString &replacement);
    // Replaces every lyric match of query, as one undo step; the number replaced.
    int replaceAll(const QString &query, const QString &replacement);

private:
    QVector<Match> matchesOf(const QString &query) const;
    // The pane find starts from: the one being edited, or else that of the last match.
    Pane startPane() const;
    // Selects the match with the cursor at its end, so that the other pane
    // shows what belongs to its last character.
    void select(const Match &match);
    void highlight(const QVector<Match> &matches, int current);
    // The lyric selection replaced by replacement (deleted when it is empty).
    void replaceSelection(const QString &replacement);

    DocumentTab *m_tab;
    Pane m_pane = Pane::Lyric; // of the last match
};
