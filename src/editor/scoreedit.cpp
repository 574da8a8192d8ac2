#include "editor/scoreedit.h"

#include "appearance/editorconfig.h"
#include "editor/inputmethod.h"
#include "editor/lyricedit.h"
#include "editor/scorehighlighter.h"
#include "editor/scorelinenumberarea.h"
#include "model/gongchesymbol.h"

#include <QPainter>
#include <QTextBlock>
#include <QTimer>

const QSet<uint> &ScoreEdit::beatMarks() {
    // Every beat mark but 底板, which the guess neither counts nor proposes.
    static const QSet<uint> marks = [] {
        QSet<uint> s;
        for (const char32_t code : GongcheSymbol::all()) {
            const GongcheSymbol symbol(code);
            if (symbol.isBeatMark() && symbol.beatPosition() != GongcheSymbol::BeatPosition::Di) {
                s.insert(uint(code));
            }
        }
        return s;
    }();
    return marks;
}

ScoreEdit::ScoreEdit(QWidget *parent)
    : GutteredEdit(parent)
    , m_config(EditorConfig::instance())
    , m_inputMethod(InputMethod::instance())
    , m_lineNumberArea(nullptr) {
    setInputMethodHints(Qt::ImhHiddenText | Qt::ImhNoPredictiveText);
    m_lineNumberArea = new ScoreLineNumberArea(this);
    m_highlighter = new ScoreHighlighter(document());
    setViewportMargins(gutterWidth(), 0, 0, 0);
    connect(this, &QPlainTextEdit::updateRequest, this, &ScoreEdit::updateLineNumberArea);
    connect(m_config, &EditorConfig::configChanged, this, &ScoreEdit::applyConfig);
    QTimer::singleShot(0, this, &ScoreEdit::applyConfig);
}

LyricEdit *ScoreEdit::lyricEditor() const {
    if (!m_lyricEditor && parentWidget()) {
        m_lyricEditor =
            parentWidget()->findChild<LyricEdit *>(QString(), Qt::FindDirectChildrenOnly);
    }
    return m_lyricEditor;
}

int ScoreEdit::gutterWidth() const {
    return m_config->scoreLineNumberFontMetrics().maxWidth() + 20;
}

void ScoreEdit::applyConfig() {
    QPalette p = palette();
    p.setBrush(QPalette::All, QPalette::Text, m_config->scoreColor());
    p.setBrush(QPalette::All, QPalette::Base, m_config->scoreBgColor());
    setPalette(p);
    setFont(m_config->scoreFont());
}

void ScoreEdit::updateLineNumberArea(const QRect &rect, int dy) {
    if (dy != 0) {
        m_lineNumberArea->scroll(0, dy);
    } else {
        m_lineNumberArea->update(0, rect.y(), m_lineNumberArea->width(), rect.height());
    }
}

void ScoreEdit::resizeEvent(QResizeEvent *event) {
    QPlainTextEdit::resizeEvent(event);
    placeGutter(m_lineNumberArea, gutterWidth());
}

void ScoreEdit::focusOutEvent(QFocusEvent *event) {
    QPlainTextEdit::focusOutEvent(event);
    m_inputMethod->reset();
}

void ScoreEdit::paintGutter(QPaintEvent *event) {
    paintGutterLabels(m_lineNumberArea, event, gutterWidth(), m_config->scoreLineNumberColor(),
                      m_config->scoreLineNumberBgColor(), m_config->scoreLineNumberFont());
}

QString ScoreEdit::gutterLabel(int blockNumber) const {
    const LyricEdit *lyric = lyricEditor();
    return lyric ? lyric->sungCharAt(blockNumber + 1) : QString();
}

void ScoreEdit::highlightCurrentLine(int position) {
    QTextEdit::ExtraSelection selection;
    selection.format.setBackground(LyricEdit::lineHighlightColor);
    selection.format.setProperty(QTextFormat::FullWidthSelection, true);
    selection.cursor = textCursor();
    selection.cursor.setPosition(position);
    setExtraSelections({selection});
}

void ScoreEdit::removeLines(int first, int count) {
    if (count < 1) {
        return;
    }
    QTextDocument *doc = document();
    const int lines = doc->blockCount();
    QTextCursor c(doc);
    c.beginEditBlock();
    if (first <= 0) {
        const QTextBlock last = doc->findBlockByNumber(qMin(count, lines) - 1);
        c.setPosition(0);
        c.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
        if (last.next().isValid()) {
            c.setPosition(last.next().position(), QTextCursor::KeepAnchor);
        }
        c.removeSelectedText();
    } else if (first - 1 < lines) {
        const QTextBlock before = doc->findBlockByNumber(first - 1);
        const QTextBlock last = doc->findBlockByNumber(qMin(first - 1 + count, lines - 1));
        c.setPosition(before.position() + before.length() - 1);
        c.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
        c.removeSelectedText();
    }
    c.endEditBlock();
}

void ScoreEdit::insertEmptyLines(int at, int count) {
    if (count < 1) {
        return;
    }
    QTextDocument *doc = document();
    const int lines = doc->blockCount();
    int position;
    if (at <= 0) {
        position = 0;
    } else if (at - 1 < lines) {
        const QTextBlock before = doc->findBlockByNumber(at - 1);
        position = before.next().isValid() ? before.next().position()
                                           : before.position() + before.length() - 1;
    } else {
        position = doc->characterCount() - 1;
    }
    QTextCursor c(doc);
    c.setPosition(position);
    c.beginEditBlock();
    c.insertText(QString(count, QLatin1Char('\n')));
    c.endEditBlock();
}

QString ScoreEdit::guessBeatMark() const {
    // Walks back from the cursor over the text itself, collecting beat marks,
    // nearest first.
    QVector<uint> found;
    const QSet<uint> &marks = beatMarks();
    const QTextCursor cursor = textCursor();
    QTextBlock block = cursor.block();
    int end = cursor.positionInBlock();
    while (block.isValid() && found.size() < 8) {
        const QString text = block.text();
        for (int i = qMin(end, text.size()) - 1; i >= 0 && found.size() < 8; --i) {
            const QChar c = text.at(i);
            if (c.isLowSurrogate() && i > 0 && text.at(i - 1).isHighSurrogate()) {
                const uint code = QChar::surrogateToUcs4(text.at(i - 1), c);
                --i;
                if (marks.contains(code)) {
                    found.append(code);
                }
            }
        }
        block = block.previous();
        end = block.isValid() ? block.text().size() : 0;
    }
    uint guess;
    const int n = found.size();
    if (n == 8 &&
        (found.contains(GongcheSymbol::ZengBan) || found.contains(GongcheSymbol::YaoZengBan))) {
        guess = found.at(7);
    } else if (n == 0) {
        guess = GongcheSymbol::TouBan;
    } else if (n == 1) {
        guess = found.at(0);
    } else if (n <= 3) {
        guess = found.at(1);
    } else {
        guess = found.at(3);
    }
    return QString::fromUcs4(&guess, 1);
}

void ScoreEdit::suggestBeatMark() {
    m_inputMethod->showRelated(guessBeatMark());
}
