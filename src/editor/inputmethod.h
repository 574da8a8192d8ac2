#pragma once

#include "inputmethod/inputengine.h"

#include <QColor>
#include <QFont>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStringList>
#include <QVector>
#include <QWidget>

class QKeyEvent;

// The abbreviation input method's window: a small popup under the score
// editor's cursor that shows what its engine (InputEngine) holds, the letters
// typed so far, split into dictionary segments, and a page of gongche
// candidates for them, or the beat marks related to a given beat mark.
//
// The popup never takes the keyboard focus; the document tab feeds it keys
// and inserts what it returns.
class InputMethod : public QWidget {
    Q_OBJECT

public:
    static constexpr int maxSegments = InputEngine::maxSegments;
    static constexpr int lineSpacing = 6;
    static constexpr int itemSpacing = 20;
    static constexpr int insetTop = 3;
    static constexpr int insetBottom = 8;
    static constexpr int insetLeft = 10;
    static constexpr int insetRight = 10;
    static constexpr int minWidth = 200;
    static constexpr int maxCombinations = InputEngine::maxCombinations;

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

    // What the popup shows.
    const InputEngine &engine() const { return m_engine; }
    const SegmentList &segments() const { return m_engine.segments(); }
    const QStringList &candidates() const { return m_engine.candidates(); }
    // False when the input matches no symbol: the popup says "无匹配".
    bool hasMatches() const { return m_engine.hasMatches(); }
    QString composition() const { return m_engine.composition(); }
    int page() const { return m_engine.page(); }
    int selected() const { return m_engine.selected(); }
    int pageSize() const { return m_engine.pageSize(); }
    QStringList pageCandidates() const { return m_engine.pageCandidates(); }
    // "page/pages", as the popup's corner shows it.
    QString pageIndicator() const { return m_engine.pageIndicator(); }
    const ScoreTree &tree() const { return m_engine.tree(); }
    // The prefix list of the whole composition (the candidates with weights).
    CandidateList currentList() const { return m_engine.currentList(); }

    QFont compositionFont() const { return m_compositionFont; }
    QFont candidateFont() const { return m_candidateFont; }
    QFont pageFont() const { return m_pageFont; }

    // Every pairing of a with b (b's entries outer, a's inner, texts joined,
    // weights added), at most maxCombinations of them, best first. An empty
    // side leaves the other unchanged.
    static CandidateList combine(const CandidateList &a, const CandidateList &b) {
        return InputEngine::combine(a, b);
    }

    // The popup's size for a composition and the candidates of one page.
    static QSize popupSize(const QFont &compositionFont, const QFont &candidateFont,
                           const QString &composition, const QStringList &pageCandidates);
    // The popup's top-left corner: 10 pixels below anchor, pulled back inside
    // screen (with 10 pixels to spare) at its right and bottom edges.
    static QPoint popupPosition(const QPoint &anchor, const QSize &size, const QRect &screen);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Shows the engine's state: resized and placed under the cursor.
    void refreshGeometry();
    QPoint anchor() const;

    QPointer<QPlainTextEdit> m_editor;
    InputEngine m_engine;
    QFont m_compositionFont;
    QFont m_candidateFont;
    QFont m_pageFont;
};
