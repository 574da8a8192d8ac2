#pragma once

#include "inputmethod/candidatepager.h"
#include "inputmethod/scoretree.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

// The abbreviation input method without its window: the letters typed so
// far, split into dictionary segments, the gongche candidates for them and
// the page of candidates on show. On demand it offers instead the beat marks
// ordered by their relation to a given beat mark ("related" mode).
//
// The engine is idle (no segments, no candidates) until letters come, and
// again after a commit, a reset or the last letter taken back.
class InputEngine {
public:
    static constexpr int maxSegments = 6;
    static constexpr int maxCombinations = 60;

    explicit InputEngine(int pageSize,
                         const QString &dictionaryFile = QStringLiteral("wordsdict.csv"));
    ~InputEngine();
    InputEngine(const InputEngine &) = delete;
    InputEngine &operator=(const InputEngine &) = delete;

    // Letters typed in the score editor, lower case. False when they are
    // ignored: no letters, six segments already, or the related mode.
    bool appendText(const QString &text);
    // Takes the last letter back. False when nothing is left: the engine is
    // idle again.
    bool backspace();
    // Comma / Up and Period / Down: one page back or on.
    void previousPage();
    void nextPage();
    // Left / Right: one candidate back or on; true when the page changed.
    bool left();
    bool right();
    // The highlighted candidate; the engine becomes idle.
    QString commitCurrent();
    // The candidate numbered number (from 1) on the current page, the engine
    // becoming idle; the empty string, with everything left as it is, for any
    // number not on the page.
    QString selectByNumber(int number);
    // Offers the beat marks related to the beat mark symbol.
    void showRelated(const QString &symbol);
    // Clears everything.
    void reset();

    // True while there is something to show: segments or candidates.
    bool isActive() const { return !m_segments.isEmpty() || !m_candidates.isEmpty(); }

    const SegmentList &segments() const { return m_segments; }
    const QStringList &candidates() const { return m_candidates; }
    // False when the input matches no symbol: the popup says "无匹配".
    bool hasMatches() const;
    QString composition() const { return m_composition; }
    int page() const { return m_pager.page(); }
    int selected() const { return m_pager.selected(); }
    int pageSize() const { return m_pager.pageSize(); }
    QStringList pageCandidates() const;
    // "page/pages", as the popup's corner shows it.
    QString pageIndicator() const;
    const ScoreTree &tree() const { return *m_tree; }
    // The prefix list of the whole composition (the candidates with weights).
    CandidateList currentList() const;

    // Every pairing of a with b (b's entries outer, a's inner, texts joined,
    // weights added), at most maxCombinations of them, best first. An empty
    // side leaves the other unchanged.
    static CandidateList combine(const CandidateList &a, const CandidateList &b);

private:
    // Pushes the exact and prefix lists for one more segment; returns the
    // segment's own prefix matches.
    CandidateList pushLists(const QString &segmentText);
    void popLists();
    void fillCandidates();
    void clearComposing();
    QString joinedSegments() const;

    std::unique_ptr<ScoreTree> m_tree;
    SegmentList m_segments;
    QVector<CandidateList> m_exactStack;
    QVector<CandidateList> m_prefixStack;
    QStringList m_candidates;
    QString m_composition;
    CandidatePager m_pager;
};
