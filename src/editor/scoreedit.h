#pragma once

#include "editor/gutterededit.h"

#include <QPlainTextEdit>
#include <QSet>

class EditorConfig;
class InputMethod;
class LyricEdit;
class ScoreLineNumberArea;

// The score text editor: one line of gongche symbols per sung lyric character.
// Its gutter shows the lyric character each line belongs to; it inserts and
// removes whole lines for the undo commands, and guesses the next beat mark
// for the input method.
//
// Key handling is not overridden here: the document tab filters every key.
class ScoreHighlighter;

class ScoreEdit : public GutteredEdit {
    Q_OBJECT

public:
    ScoreHighlighter *highlighter() const { return m_highlighter; }
    explicit ScoreEdit(QWidget *parent = nullptr);

    int gutterWidth() const;
    void paintGutter(QPaintEvent *event);
    // The gutter's label of a score line: its paired lyric character.
    QString gutterLabel(int blockNumber) const override;
    ScoreLineNumberArea *lineNumberArea() const { return m_lineNumberArea; }

    // The lyric editor whose sung characters label the gutter. Without one
    // set, the lyric editor among the siblings is used.
    void setLyricEditor(LyricEdit *editor) { m_lyricEditor = editor; }
    LyricEdit *lyricEditor() const;

    // Replaces the extra selections with a full-width highlight of the line
    // holding position.
    void highlightCurrentLine(int position);

    // Removes lines first .. first + count - 1, in one edit block.
    void removeLines(int first, int count);
    // Inserts count empty lines that become lines at .. at + count - 1, in one
    // edit block.
    void insertEmptyLines(int at, int count);

    // The beat mark that probably comes next at the cursor.
    QString guessBeatMark() const;
    // Opens the input method's list of beat marks related to the guess.
    void suggestBeatMark();

    // The eight beat marks the guess works with: 头板 … 腰赠板, all but 底板.
    static const QSet<uint> &beatMarks();

public slots:
    void applyConfig();
    void updateLineNumberArea(const QRect &rect, int dy);

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    EditorConfig *m_config;
    InputMethod *m_inputMethod;
    ScoreLineNumberArea *m_lineNumberArea;
    mutable LyricEdit *m_lyricEditor = nullptr;
    ScoreHighlighter *m_highlighter = nullptr;
};
