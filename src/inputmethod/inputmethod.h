#pragma once

#include "inputmethod/candidatepager.h"
#include "inputmethod/scoretree.h"

#include <QColor>
#include <QFont>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStringList>
#include <QVector>
#include <QWidget>
#include <memory>

class QKeyEvent;

// The abbreviation input method: a small popup under the score editor's
// cursor that shows the letters typed so far, split into dictionary segments,
// and a page of gongche candidates for them. It also offers, on demand, the
// beat marks ordered by their relation to a given beat mark ("related" mode).
//
// The popup never takes the keyboard focus; the document tab feeds it keys
// and inserts what it returns.
class InputMethod : public QWidget {
    Q_OBJECT

public:
    static constexpr int maxSegments = 6;
    static constexpr int lineSpacing = 6;
    static constexpr int itemSpacing = 20;
    static constexpr int insetTop = 3;
    static constexpr int insetBottom = 8;
    static constexpr int insetLeft = 10;
    static constexpr int insetRight = 10;
    static constexpr int minWidth = 200;
    static constexpr int maxCombinations = 60;

    static const QColor borderColor;  // #89b8d0
    static const QColor validColor;   // #0070df: valid segments, candidate labels
    static const QColor invalidColor; // #ff2a00: unknown segments, the highlighted label
    static const QColor pageColor;    // #787878: page indicator, "无匹配"
    // Shown instead of candidates when the input matches no symbol.
    static const QString noMatchText;

    // The program's one popup, created on first use with six candidates a
    // page and destroyed when the application object goes away.
    static InputMethod *instance();

    explicit InputMethod(int pageSize,
                         const QString &dictionaryFile = QStringLiteral("wordsdict.csv"));
    ~InputMethod() override;

    // The score editor the popup is placed under (not owned; may go away).
    void setEditor(QPlainTextEdit *editor);
    QPlainTextEdit *editor() const { return m_editor; }

    // Letters typed in the score editor, lower case.
    void appendText(const QString &text);
    // Backspace, Escape and the navigation keys while the popup is shown.
    void handleKey(QKeyEvent *event);
    // The highlighted candidate; closes the popup.
    QString commitCurrent();
    // The candidate numbered number (from 1) on the current page, closing the
    // popup; the empty string, with the popup left as it is, for any number
    // not on the page.
    QString selectByNumber(int number);
    // Offers the beat marks related to the beat mark symbol.
    void showRelated(const QString &symbol);
    // Clears everything and hides the popup.
    void reset();

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

    QFont compositionFont() const { return m_compositionFont; }
    QFont candidateFont() const { return m_candidateFont; }
    QFont pageFont() const { return m_pageFont; }

    // Every pairing of a with b (b's entries outer, a's inner, texts joined,
    // weights added), at most maxCombinations of them, best first. An empty
    // side leaves the other unchanged.
    static CandidateList combine(const CandidateList &a, const CandidateList &b);

    // The popup's size for a composition and the candidates of one page.
    static QSize popupSize(const QFont &compositionFont, const QFont &candidateFont,
                           const QString &composition, const QStringList &pageCandidates);
    // The popup's top-left corner: 10 pixels below anchor, pulled back inside
    // screen (with 10 pixels to spare) at its right and bottom edges.
    static QPoint popupPosition(const QPoint &anchor, const QSize &size, const QRect &screen);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Pushes the exact and prefix lists for one more segment; returns the
    // segment's own prefix matches.
    CandidateList pushLists(const QString &segmentText);
    void popLists();
    void fillCandidates();
    void clearComposing();
    void refreshGeometry();
    QString joinedSegments() const;
    QPoint anchor() const;

    QPointer<QPlainTextEdit> m_editor;
    std::unique_ptr<ScoreTree> m_tree;
    SegmentList m_segments;
    QVector<CandidateList> m_exactStack;
    QVector<CandidateList> m_prefixStack;
    QStringList m_candidates;
    QString m_composition;
    CandidatePager m_pager;
    QFont m_compositionFont;
    QFont m_candidateFont;
    QFont m_pageFont;
};
