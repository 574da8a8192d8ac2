#pragma once

// Helpers that drive a document tab the way a user does: key events into the
// editors (one per character), cursors and selections, and checks of the
// pairing of sung characters with score lines.

#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "editor/sungwalk.h"
#include "testsupport.h"

#include <QApplication>
#include <QTest>
#include <QTextBlock>
#include <QUndoStack>

namespace tabdriver {

// Replaces both texts, with empty histories, as opening a file does.
inline void load(DocumentTab *tab, const QString &lyric, const QString &score) {
    tab->setSyncing(true);
    tab->lyricEditor()->setPlainText(lyric);
    tab->scoreEditor()->setPlainText(score);
    tab->setSyncing(false);
    tab->undoStack()->clear();
}

inline void setCursor(QPlainTextEdit *editor, int position, int anchor = -1) {
    QTextCursor c = editor->textCursor();
    c.setPosition(anchor < 0 ? position : anchor);
    c.setPosition(position, QTextCursor::KeepAnchor);
    editor->setTextCursor(c);
}

// Moves the cursor to the end of the text.
inline void toEnd(QPlainTextEdit *editor) {
    QTextCursor c = editor->textCursor();
    c.movePosition(QTextCursor::End);
    editor->setTextCursor(c);
}

inline void key(QWidget *w, Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier,
                const QString &text = QString()) {
    QTest::sendKeyEvent(QTest::Press, w, k, text, mods);
    QTest::sendKeyEvent(QTest::Release, w, k, text, mods);
}

// One key event per character; line feeds as Return.
inline void type(QWidget *w, const QString &text) {
    const QVector<uint> codes = text.toUcs4();
    for (uint cp : codes) {
        if (cp == '\n') {
            key(w, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        } else {
            key(w, Qt::Key_unknown, Qt::NoModifier, QString::fromUcs4(&cp, 1));
        }
    }
}

// Shows the tab in an active window and gives the editor the focus.
inline bool focus(QWidget *editor) {
    QWidget *window = editor->window();
    if (!window->isVisible()) {
        window->show();
        if (!QTest::qWaitForWindowExposed(window)) {
            return false;
        }
    }
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitForWindowActive(window)) {
        return false;
    }
    editor->setFocus();
    return QTest::qWaitFor([editor] { return editor->hasFocus(); }, 2000);
}

// The number of sung characters of the lyric, by the walking definition.
inline int sungTotal(DocumentTab *tab) {
    return walkAllSungText(tab->lyricEditor()->document()).size();
}

// One score line per sung character. A text always has at least one line:
// without sung characters the score's one line belongs to none.
inline bool pairingHolds(DocumentTab *tab, QString *why = nullptr) {
    const int total = sungTotal(tab);
    const QTextDocument *score = tab->scoreEditor()->document();
    const bool ok = score->blockCount() == qMax(1, total);
    if (!ok && why) {
        *why = QStringLiteral("%1 sung characters, %2 score lines (%3)")
                   .arg(total)
                   .arg(score->blockCount())
                   .arg(score->isEmpty() ? QStringLiteral("empty") : QStringLiteral("text"));
    }
    return ok;
}

} // namespace tabdriver
