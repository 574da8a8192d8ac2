#include "shell/previewlink.h"

#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "export/previewpane.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QUndoStack>

PreviewLink::PreviewLink(DocumentTab *tab, PreviewPane *pane)
    : QObject(pane)
    , m_tab(tab)
    , m_pane(pane)
    , m_refresh(new QTimer(this)) {
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(refreshDelayMs);
    connect(m_refresh, &QTimer::timeout, this, [this] {
        if (m_tab) {
            m_pane->setLines(m_tab->documentLines());
            followCursor();
        }
    });
    // Any change of the text: an edit, an undo, or the whole text replaced.
    connect(tab->undoStack(), &QUndoStack::indexChanged, m_refresh,
            QOverload<>::of(&QTimer::start));
    connect(tab->lyricEditor()->document(), &QTextDocument::contentsChanged, m_refresh,
            QOverload<>::of(&QTimer::start));
    connect(tab->scoreEditor()->document(), &QTextDocument::contentsChanged, m_refresh,
            QOverload<>::of(&QTimer::start));
    // The tab keeps the two cursors in step: the score cursor's line is the
    // character at either cursor.
    connect(tab->lyricEditor(), &QPlainTextEdit::cursorPositionChanged, this,
            &PreviewLink::followCursor);
    connect(tab->scoreEditor(), &QPlainTextEdit::cursorPositionChanged, this,
            &PreviewLink::followCursor);
    connect(pane, &PreviewPane::sourceClicked, this, &PreviewLink::goToSource);
    pane->setLines(tab->documentLines());
    followCursor();
}

void PreviewLink::followCursor() {
    if (!m_tab || m_tab->isSyncing()) {
        return;
    }
    m_pane->showCursor(m_tab->scoreEditor()->textCursor().blockNumber());
}

void PreviewLink::goToSource(int character, int symbol) {
    if (!m_tab) {
        return;
    }
    const QTextBlock line = m_tab->scoreEditor()->document()->findBlockByNumber(character);
    if (!line.isValid()) {
        return;
    }
    // Symbol k of the score line, counted in characters: a gongche symbol
    // takes two UTF-16 units.
    const QString text = line.text();
    music::Place place;
    place.pane = music::Place::Pane::Score;
    place.line = character;
    place.column = text.size();
    if (symbol >= 0) {
        int column = 0;
        for (int k = 0; k < symbol && column < text.size(); ++k) {
            column += text.at(column).isHighSurrogate() ? 2 : 1;
        }
        if (column < text.size()) {
            place.column = column;
            place.length = text.at(column).isHighSurrogate() ? 2 : 1;
        }
    }
    m_tab->goTo(place);
    m_tab->window()->activateWindow();
}
