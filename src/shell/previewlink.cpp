#include "shell/previewlink.h"

#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "export/exportdialog.h"

#include <QTextBlock>
#include <QTimer>
#include <QUndoStack>

PreviewLink::PreviewLink(DocumentTab *tab, ExportDialog *dialog)
    : QObject(dialog)
    , m_tab(tab)
    , m_dialog(dialog)
    , m_refresh(new QTimer(this)) {
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(refreshDelayMs);
    connect(m_refresh, &QTimer::timeout, this, [this] {
        if (m_tab) {
            m_dialog->setLines(m_tab->documentLines());
            followCursor();
        }
    });
    connect(tab->undoStack(), &QUndoStack::indexChanged, m_refresh,
            QOverload<>::of(&QTimer::start));
    // The tab keeps the two cursors in step: the score cursor's line is the
    // character at either cursor.
    connect(tab->lyricEditor(), &QPlainTextEdit::cursorPositionChanged, this,
            &PreviewLink::followCursor);
    connect(tab->scoreEditor(), &QPlainTextEdit::cursorPositionChanged, this,
            &PreviewLink::followCursor);
    connect(dialog, &ExportDialog::sourceClicked, this, &PreviewLink::goToSource);
    // A document closed takes its preview with it.
    connect(tab, &QObject::destroyed, dialog, &QWidget::close);
    followCursor();
}

void PreviewLink::followCursor() {
    if (!m_tab || m_tab->isSyncing()) {
        return;
    }
    m_dialog->showCursor(m_tab->scoreEditor()->textCursor().blockNumber());
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
