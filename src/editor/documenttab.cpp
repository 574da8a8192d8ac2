#include "editor/documenttab.h"

#include "appearance/lyrichighlighter.h"
#include "dialogs/prompt.h"
#include "editor/banyanchecker.h"
#include "editor/banyanwatch.h"
#include "editor/convertscorecommand.h"
#include "editor/copylyriccommand.h"
#include "editor/deletelyriccommand.h"
#include "editor/deletescorecommand.h"
#include "editor/filewatch.h"
#include "editor/inputmethod.h"
#include "editor/insertlyriccommand.h"
#include "editor/insertscorecommand.h"
#include "editor/lyricedit.h"
#include "editor/pastelyriccommand.h"
#include "editor/scoreedit.h"
#include "editor/scorehighlighter.h"
#include "editor/scorelinenumberarea.h"
#include "export/exportformat.h"
#include "model/backupstore.h"
#include "model/linegrammar.h"
#include "model/ordinarygongche.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "typeset/typesetter.h"
#include "ui_documenttab.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScopedPointer>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTimer>
#include <QToolTip>
#include <QUndoStack>

namespace {

const QString untitled = QStringLiteral("未命名");

// The bytes of a file as they are on disk now; empty if it cannot be read.
QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Qt::KeyboardModifiers modifiersOf(const QKeyEvent *event) {
    // A key of the keypad is the same key.
    return event->modifiers() & ~Qt::KeypadModifier;
}

bool startsPrintable(const QString &text) {
    return !text.isEmpty() && text.at(0).isPrint();
}

// Whether a plain text editor would insert the key's text: a printable
// character, a tab, a formatting or private-use character, or any character
// beyond the basic plane; but nothing typed with Ctrl or Ctrl+Shift (some
// platforms report Ctrl+A with the text "a") except a formatting character.
bool isInsertableText(const QString &text, Qt::KeyboardModifiers mods) {
    if (text.isEmpty()) {
        return false;
    }
    const QChar c = text.at(0);
    if (c.category() == QChar::Other_Format) {
        return true;
    }
    if (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
        return false;
    }
    if (c.isHighSurrogate()) {
        return text.size() > 1 && text.at(1).isLowSurrogate();
    }
    return c.isPrint() || c == QLatin1Char('\t') || c.category() == QChar::Other_Format ||
           c.category() == QChar::Other_PrivateUse;
}

// Alt with a character key (and without Ctrl, which with Alt may type a
// character on some keyboards): a menu's mnemonic or a window shortcut,
// never text.
bool isAltCharacter(const QKeyEvent *event) {
    const Qt::KeyboardModifiers mods = modifiersOf(event);
    if (!(mods & Qt::AltModifier) || (mods & Qt::ControlModifier)) {
        return false;
    }
    return startsPrintable(event->text()) ||
           (event->key() >= Qt::Key_Space && event->key() <= Qt::Key_AsciiTilde);
}

bool isReturn(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Standard key sequences with which a plain text editor would change its text
// by itself, other than those routed one by one.
bool isOtherEditingKey(const QKeyEvent *event) {
    static const QKeySequence::StandardKey keys[] = {
        QKeySequence::Delete,
        QKeySequence::Backspace,
        QKeySequence::DeleteStartOfWord,
        QKeySequence::DeleteEndOfWord,
        QKeySequence::InsertParagraphSeparator,
        QKeySequence::InsertLineSeparator,
        QKeySequence::Cut,
        QKeySequence::Paste,
        QKeySequence::Undo,
        QKeySequence::Redo,
    };
    for (QKeySequence::StandardKey key : keys) {
        if (event->matches(key)) {
            return true;
        }
    }
    return false;
}

} // namespace

DocumentTab::DocumentTab(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::DocumentTab)
    , m_undoStack(new QUndoStack(this))
    , m_filePath(untitled)
    , m_fileWatch(new FileWatch(this))
    , m_search(this)
    , m_imKeys({Qt::Key_Comma, Qt::Key_Period, Qt::Key_Escape, Qt::Key_Backspace, Qt::Key_Delete,
                Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}) {
    ui->setupUi(this);
    m_undoStack->setUndoLimit(undoLimit);
    ui->scoreEdit->setLyricEditor(ui->lyricEdit);
    for (QPlainTextEdit *editor : {static_cast<QPlainTextEdit *>(ui->lyricEdit),
                                   static_cast<QPlainTextEdit *>(ui->scoreEdit)}) {
        editor->installEventFilter(this);
        editor->viewport()->installEventFilter(this);
        editor->setAcceptDrops(false);
        editor->viewport()->setAcceptDrops(false);
    }

    ui->redoAction->setEnabled(false);
    emit canRedoChanged(false);
    ui->undoAction->setEnabled(false);
    emit canUndoChanged(false);

    connect(ui->lyricEdit, &QPlainTextEdit::textChanged, this,
            &DocumentTab::updateScoreLineNumberArea);
    connect(ui->lyricEdit, &QPlainTextEdit::cursorPositionChanged, this,
            &DocumentTab::lyricCursorPositionChanged);
    // A selection can change while the position stays (a click at the end of
    // the selection, a selection made backwards up to the cursor).
    connect(ui->lyricEdit, &QPlainTextEdit::selectionChanged, this,
            &DocumentTab::lyricCursorPositionChanged);
    lyricCursorPositionChanged();
    connect(m_fileWatch, &FileWatch::changed, this, &DocumentTab::checkDisk);
    m_fileWatch->holdWhileHidden(this); // asked when the tab shows
    m_banYan = new BanYanWatch(ui->lyricEdit, ui->scoreEdit, this);
    connect(m_banYan, &BanYanWatch::problemsChanged, this, &DocumentTab::problemsChanged);
    m_banYan->checkAll();
    connect(ui->scoreEdit, &QPlainTextEdit::textChanged, this, &DocumentTab::onScoreTextChanged);
    connect(ui->scoreEdit, &QPlainTextEdit::cursorPositionChanged, this,
            &DocumentTab::scoreCursorPositionChanged);
    connect(ui->scoreEdit, &QPlainTextEdit::selectionChanged, this,
            &DocumentTab::scoreCursorPositionChanged);
    connect(ui->undoAction, &QAction::triggered, this, &DocumentTab::undo);
    connect(ui->redoAction, &QAction::triggered, this, &DocumentTab::redo);
    connect(ui->cutAction, &QAction::triggered, this, &DocumentTab::cut);
    connect(ui->copyAction, &QAction::triggered, this, &DocumentTab::copy);
    connect(ui->pasteAction, &QAction::triggered, this, &DocumentTab::paste);
    connect(m_undoStack, &QUndoStack::canUndoChanged, this, &DocumentTab::onCanUndoChanged);
    connect(m_undoStack, &QUndoStack::canRedoChanged, this, &DocumentTab::onCanRedoChanged);
    // Undo or redo back to the text as saved: unmodified again. The text has
    // changed (and set the flag) before the stack says it is clean.
    connect(m_undoStack, &QUndoStack::cleanChanged, this, [this](bool clean) {
        if (clean && m_modified) {
            m_modified = false;
            emit modifiedChanged(false);
        }
    });
}

DocumentTab::~DocumentTab() {
    // The children outlive this body; nothing they do while they go may reach
    // the tab any more.
    for (QPlainTextEdit *editor : {static_cast<QPlainTextEdit *>(ui->lyricEdit),
                                   static_cast<QPlainTextEdit *>(ui->scoreEdit)}) {
        editor->removeEventFilter(this);
        editor->viewport()->removeEventFilter(this);
        disconnect(editor, nullptr, this, nullptr);
    }
    disconnect(m_undoStack, nullptr, this, nullptr);
    delete ui;
}

LyricEdit *DocumentTab::lyricEditor() const {
    return ui->lyricEdit;
}

ScoreEdit *DocumentTab::scoreEditor() const {
    return ui->scoreEdit;
}

bool DocumentTab::canUndo() const {
    return m_undoStack->canUndo();
}

bool DocumentTab::canRedo() const {
    return m_undoStack->canRedo();
}

void DocumentTab::runCommand(EditCommand *command) {
    if (command->hasEdits()) {
        m_undoStack->push(command);
    } else {
        delete command;
    }
}

// ---- modified flag and undo state

void DocumentTab::updateScoreLineNumberArea() {
    // Underlines laid over the text change no text.
    if (!m_modified && !m_banYan->isMarking()) {
        m_modified = true;
        emit modifiedChanged(true);
    }
    ui->scoreEdit->lineNumberArea()->update();
}

void DocumentTab::onScoreTextChanged() {
    if (!m_modified && !m_banYan->isMarking()) {
        m_modified = true;
        emit modifiedChanged(true);
    }
}

void DocumentTab::onCanUndoChanged(bool canUndo) {
    ui->undoAction->setEnabled(canUndo);
    emit canUndoChanged(canUndo);
}

void DocumentTab::onCanRedoChanged(bool canRedo) {
    ui->redoAction->setEnabled(canRedo);
    emit canRedoChanged(canRedo);
}

void DocumentTab::undo() {
    m_undoStack->undo();
}

void DocumentTab::redo() {
    m_undoStack->redo();
}

// ---- cursor synchronisation

void DocumentTab::lyricCursorPositionChanged() {
    if (m_syncing) {
        return;
    }
    m_syncing = true;
    LyricEdit *lyric = ui->lyricEdit;
    ScoreEdit *score = ui->scoreEdit;
    const QTextDocument *scoreDoc = score->document();
    const QTextCursor lyricCursor = lyric->textCursor();
    QTextCursor scoreCursor = score->textCursor();
    if (lyricCursor.hasSelection()) {
        const int a = lyric->scoreLineAt(lyricCursor.selectionStart());
        const int b = lyric->scoreLineAt(lyricCursor.selectionEnd());
        const QTextBlock first = scoreDoc->findBlockByNumber(a + 1);
        if (first.isValid()) {
            scoreCursor.setPosition(first.position());
        } else if (a < 0) {
            scoreCursor.setPosition(0);
        } else {
            scoreCursor.movePosition(QTextCursor::End);
        }
        const QTextBlock last = scoreDoc->findBlockByNumber(b);
        if (last.isValid()) {
            scoreCursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
        } else if (b < 0) {
            scoreCursor.setPosition(0);
        } else {
            scoreCursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        }
        lyric->setExtraSelections({});
        score->setExtraSelections({});
    } else {
        const int p = lyricCursor.position();
        const int n = lyric->scoreLineAt(p);
        const QTextBlock line = scoreDoc->findBlockByNumber(n);
        if (line.isValid()) {
            scoreCursor.setPosition(line.position() + line.length() - 1);
        } else if (n < 0) {
            scoreCursor.setPosition(0);
        } else {
            scoreCursor.movePosition(QTextCursor::End);
        }
        lyric->highlightCurrentLine(p);
        score->highlightCurrentLine(scoreCursor.position());
    }
    score->setTextCursor(scoreCursor);
    score->ensureCursorVisible();
    m_syncing = false;
}

void DocumentTab::scoreCursorPositionChanged() {
    if (m_syncing) {
        return;
    }
    m_syncing = true;
    LyricEdit *lyric = ui->lyricEdit;
    ScoreEdit *score = ui->scoreEdit;
    const QTextCursor scoreCursor = score->textCursor();
    QTextCursor lyricCursor = lyric->textCursor();
    if (scoreCursor.hasSelection()) {
        const QTextDocument *doc = score->document();
        // The number of line breaks inside the selection.
        const int k = qAbs(doc->findBlock(scoreCursor.position()).blockNumber() -
                           doc->findBlock(scoreCursor.anchor()).blockNumber());
        const int n = scoreCursor.blockNumber();
        int first = n - k;
        int last = n;
        if (scoreCursor.position() < scoreCursor.anchor()) {
            first = n;
            last = n + k;
        }
        lyricCursor.setPosition(lyric->sungCharEnd(first + 1));
        lyricCursor.movePosition(QTextCursor::PreviousCharacter);
        lyricCursor.setPosition(lyric->sungCharEnd(last + 1), QTextCursor::KeepAnchor);
        lyric->setExtraSelections({});
        score->setExtraSelections({});
    } else {
        const int q = lyric->sungCharEnd(scoreCursor.blockNumber() + 1);
        lyricCursor.setPosition(q);
        lyric->highlightSungChar(q);
        score->highlightCurrentLine(scoreCursor.position());
    }
    lyric->setTextCursor(lyricCursor);
    lyric->ensureCursorVisible();
    m_syncing = false;
}

// ---- event filter

bool DocumentTab::eventFilter(QObject *watched, QEvent *event) {
    LyricEdit *lyric = ui->lyricEdit;
    ScoreEdit *score = ui->scoreEdit;
    if (watched == lyric->viewport() || watched == score->viewport()) {
        return viewportEvent(watched, event);
    }
    if (watched != lyric && watched != score) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // While the candidate popup is shown every key is the popup's: Esc
        // must cancel the abbreviation, never reach a shortcut of the window.
        // Alt with a letter opens a menu instead: the abbreviation is dropped.
        if (watched == score && InputMethod::instance()->isVisible()) {
            if (isAltCharacter(static_cast<QKeyEvent *>(event))) {
                InputMethod::instance()->reset();
                return false;
            }
            event->accept();
            return true;
        }
        return false;
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        return watched == score ? scoreKeyPress(key) : lyricKeyPress(key);
    }
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->buttons() == Qt::RightButton) {
            showContextMenu(mouse->globalPos());
        }
        return true;
    }
    case QEvent::ContextMenu:
        // The menu key: the tab's menu, never the editor's own (its Undo,
        // Redo, Paste and Delete would bypass the commands).
        showContextMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    case QEvent::InputMethod: {
        const QString commit = static_cast<QInputMethodEvent *>(event)->commitString();
        if (watched == lyric) {
            runCommand(new InsertLyricCommand(this, commit));
        } else {
            // A system input method may still commit into the score editor.
            insertScoreText(commit);
        }
        return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        event->ignore();
        return true;
    default:
        return false;
    }
}

bool DocumentTab::viewportEvent(QObject *viewport, QEvent *event) {
    QPlainTextEdit *editor = viewport == ui->lyricEdit->viewport()
                                 ? static_cast<QPlainTextEdit *>(ui->lyricEdit)
                                 : static_cast<QPlainTextEdit *>(ui->scoreEdit);
    switch (event->type()) {
    case QEvent::ToolTip: {
        // The problems under the mouse, in their own words.
        const auto *help = static_cast<QHelpEvent *>(event);
        const QTextCursor at = editor->cursorForPosition(help->pos());
        const auto pane =
            editor == ui->lyricEdit ? music::Place::Pane::Lyric : music::Place::Pane::Score;
        QStringList messages;
        for (const music::Problem &p : checker()->problemsOn(pane, at.blockNumber())) {
            const int column = at.positionInBlock();
            if (p.place.length == 0 ||
                (column >= p.place.column && column <= p.place.column + p.place.length)) {
                messages.append(p.text());
            }
        }
        if (messages.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), messages.join(QLatin1Char('\n')), editor);
        }
        return true;
    }
    case QEvent::ContextMenu:
        showContextMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::MiddleButton) {
            return true; // no paste of the X11 selection behind the commands' back
        }
        if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton &&
            !(mouse->modifiers() & Qt::ShiftModifier)) {
            // A press inside the selection would start a drag, and dragging
            // the text out with a move would delete it from the editor.
            QTextCursor cursor = editor->textCursor();
            if (cursor.hasSelection()) {
                const int at = editor->cursorForPosition(mouse->pos()).position();
                if (at >= cursor.selectionStart() && at <= cursor.selectionEnd()) {
                    cursor.clearSelection();
                    editor->setTextCursor(cursor);
                }
            }
        }
        return false;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        event->ignore();
        return true;
    default:
        return false;
    }
}

// The document's own shortcuts, in both editors: Ctrl+X, C, V, Z,
// Ctrl+Shift+Z and Shift+Insert.
bool DocumentTab::documentShortcut(int key, Qt::KeyboardModifiers mods) {
    if (mods == Qt::ControlModifier) {
        switch (key) {
        case Qt::Key_X:
            cut();
            return true;
        case Qt::Key_C:
            copy();
            return true;
        case Qt::Key_V:
            paste();
            return true;
        case Qt::Key_Z:
            m_undoStack->undo();
            return true;
        default:
            return false;
        }
    }
    if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_Z) {
        m_undoStack->redo();
        return true;
    }
    if (mods == Qt::ShiftModifier && key == Qt::Key_Insert) {
        paste();
        return true;
    }
    return false;
}

// The platform's other bindings for undo, redo and the clipboard (Ctrl+Y,
// Ctrl+Insert, ...): routed through the document, never the editor's own.
bool DocumentTab::platformShortcut(QKeyEvent *event) {
    if (event->matches(QKeySequence::Undo)) {
        m_undoStack->undo();
    } else if (event->matches(QKeySequence::Redo)) {
        m_undoStack->redo();
    } else if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::Cut)) {
        cut();
    } else if (event->matches(QKeySequence::Paste)) {
        paste();
    } else {
        return false;
    }
    return true;
}

bool DocumentTab::lyricKeyPress(QKeyEvent *event) {
    const Qt::KeyboardModifiers mods = modifiersOf(event);
    const int key = event->key();
    if (documentShortcut(key, mods) || isAltCharacter(event)) {
        return true;
    }
    // Some platforms bind Shift+Delete to cut and Alt+Backspace to undo; in
    // the lyric editor these keys delete.
    if (key != Qt::Key_Backspace && key != Qt::Key_Delete && platformShortcut(event)) {
        return true;
    }

    if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
        runDelete(false, key == Qt::Key_Backspace, mods);
        return true;
    }
    if (isReturn(key)) {
        const QString text = event->text().isEmpty() ? QStringLiteral("\n") : event->text();
        runCommand(new InsertLyricCommand(this, text));
        return true;
    }
    if (isInsertableText(event->text(), mods)) {
        runCommand(new InsertLyricCommand(this, event->text()));
        return true;
    }
    return lineKeyPress(event, false);
}

bool DocumentTab::scoreKeyPress(QKeyEvent *event) {
    const Qt::KeyboardModifiers mods = modifiersOf(event);
    const int key = event->key();
    if (documentShortcut(key, mods) || isAltCharacter(event)) {
        return true;
    }

    InputMethod *im = InputMethod::instance();
    if (key >= Qt::Key_A && key <= Qt::Key_Z && mods == Qt::NoModifier) {
        im->appendText(event->text().toLower());
        return true;
    }
    if (im->isVisible()) {
        QString commit;
        if (key == Qt::Key_Space || key == Qt::Key_Tab || isReturn(key)) {
            commit = im->commitCurrent();
        } else if (key >= Qt::Key_0 && key <= Qt::Key_9) {
            commit = im->selectByNumber(key - Qt::Key_0);
        } else if (m_imKeys.contains(key) || startsPrintable(event->text())) {
            im->handleKey(event);
        }
        if (!commit.isEmpty()) {
            runCommand(new InsertScoreCommand(this, commit, Qt::NoModifier));
        }
        return true;
    }

    if (key == Qt::Key_Space) {
        ui->scoreEdit->suggestBeatMark();
        return true;
    }
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
        runDelete(true, key == Qt::Key_Backspace, mods);
        return true;
    }
    if (isReturn(key)) {
        runCommand(new InsertScoreCommand(this, QStringLiteral("\n"), mods));
        return true;
    }
    if (platformShortcut(event)) {
        return true;
    }
    if (isInsertableText(event->text(), mods)) {
        // Digits, capitals, punctuation: typed into the score as they are,
        // through a command like everything else.
        insertScoreText(event->text());
        return true;
    }
    return lineKeyPress(event, true);
}

bool DocumentTab::lineKeyPress(QKeyEvent *event, bool score) {
    if (event->matches(QKeySequence::DeleteEndOfLine)) {
        runDelete(score, false, Qt::ControlModifier);
        return true;
    }
    if (event->matches(QKeySequence::DeleteCompleteLine)) {
        deleteCurrentLine(score);
        return true;
    }
    // Navigation and the like reach the editor; any other key that would let
    // it change its text by itself does not.
    return isOtherEditingKey(event);
}

void DocumentTab::runDelete(bool score, bool backward, Qt::KeyboardModifiers mods) {
    if (score) {
        runCommand(new DeleteScoreCommand(this, backward, mods));
    } else {
        runCommand(new DeleteLyricCommand(this, backward, mods));
    }
}

void DocumentTab::deleteCurrentLine(bool score) {
    QPlainTextEdit *editor = score ? static_cast<QPlainTextEdit *>(ui->scoreEdit)
                                   : static_cast<QPlainTextEdit *>(ui->lyricEdit);
    QTextCursor cursor = editor->textCursor();
    cursor.movePosition(QTextCursor::StartOfBlock);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    if (!cursor.hasSelection()) {
        return;
    }
    editor->setTextCursor(cursor);
    runDelete(score, true, Qt::NoModifier);
}

// ---- context menu

QMenu *DocumentTab::createContextMenu(QWidget *parent) {
    auto *menu = new QMenu(parent);
    const bool selection =
        ui->lyricEdit->textCursor().hasSelection() || ui->scoreEdit->textCursor().hasSelection();
    ui->cutAction->setEnabled(selection);
    ui->copyAction->setEnabled(selection);
    menu->addAction(ui->undoAction);
    menu->addAction(ui->redoAction);
    menu->addSeparator();
    menu->addAction(ui->cutAction);
    menu->addAction(ui->copyAction);
    menu->addAction(ui->pasteAction);
    return menu;
}

void DocumentTab::showContextMenu(const QPoint &globalPos) {
    QScopedPointer<QMenu> menu(createContextMenu(this));
    menu->exec(globalPos);
}

// ---- clipboard

void DocumentTab::copy() {
    if (ui->lyricEdit->hasFocus() && ui->lyricEdit->textCursor().hasSelection()) {
        CopyLyricCommand command(this);
    } else if (ui->scoreEdit->hasFocus() && ui->scoreEdit->textCursor().hasSelection()) {
        ui->scoreEdit->copy();
    }
}

void DocumentTab::cut() {
    if (ui->lyricEdit->hasFocus() && ui->lyricEdit->textCursor().hasSelection()) {
        { CopyLyricCommand command(this); }
        runCommand(new DeleteLyricCommand(this, true, Qt::NoModifier));
    } else if (ui->scoreEdit->hasFocus() && ui->scoreEdit->textCursor().hasSelection()) {
        ui->scoreEdit->copy();
        runCommand(new DeleteScoreCommand(this, true, Qt::NoModifier));
    }
}

void DocumentTab::paste() {
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty()) {
        return;
    }
    if (ui->lyricEdit->hasFocus()) {
        runCommand(new PasteLyricCommand(this));
    } else if (ui->scoreEdit->hasFocus()) {
        insertScoreText(text);
    }
}

void DocumentTab::insertScoreText(const QString &text) {
    auto *insert = new InsertScoreCommand(this, text, Qt::NoModifier);
    const QVector<QPair<int, int>> ranges = insert->insertedRanges();
    runCommand(insert);
    // A score in ordinary characters (上尺工 from a system input method, a
    // score copied from a web page) becomes symbols, one undo step later.
    if (OrdinaryGongche::hasOrdinaryPitch(text)) {
        runCommand(new ConvertScoreCommand(this, ranges));
    }
}

// ---- insert operations

void DocumentTab::insertLyricDirective(const QString &text, int selectFrom, int selectLength) {
    LyricEdit *lyric = ui->lyricEdit;
    QTextCursor cursor = lyric->textCursor();
    QString insertion = text;
    if (!cursor.block().text().isEmpty()) {
        cursor.clearSelection();
        cursor.movePosition(QTextCursor::EndOfBlock);
        lyric->setTextCursor(cursor);
        insertion.prepend(QLatin1Char('\n'));
    }
    runCommand(new InsertLyricCommand(this, insertion));
    cursor = lyric->textCursor();
    if (selectLength > 0) {
        const int start = cursor.position() - text.size() + selectFrom;
        cursor.setPosition(start);
        cursor.setPosition(start + selectLength, QTextCursor::KeepAnchor);
    }
    lyric->setTextCursor(cursor);
    lyric->ensureCursorVisible();
    lyric->setFocus();
}

void DocumentTab::insertTitle() {
    insertLyricDirective(QStringLiteral("# 标题"), 2, 2);
}

void DocumentTab::insertQuPai() {
    insertLyricDirective(QStringLiteral("【曲牌名】(调)"), 1, 3);
}

void DocumentTab::insertLianBai() {
    insertLyricDirective(QStringLiteral("= "), 0, 0);
}

void DocumentTab::insertJiaBai() {
    insertLyricDirective(QStringLiteral("> "), 0, 0);
}

void DocumentTab::insertComment() {
    insertLyricDirective(QStringLiteral("; "), 0, 0);
}

void DocumentTab::insertAnnotation() {
    insertLyricDirective(QStringLiteral("; 笛色=小工调 板式=一板三眼 速度=60 八度=0"), 5, 3);
}

void DocumentTab::insertSettingsLine(int line, const QString &text) {
    LyricEdit *lyric = ui->lyricEdit;
    QTextCursor cursor(lyric->document());
    const QTextBlock block = lyric->document()->findBlockByNumber(line);
    QString insertion = text;
    if (block.isValid()) {
        cursor.setPosition(block.position());
        insertion.append(QLatin1Char('\n'));
    } else {
        cursor.movePosition(QTextCursor::End);
        insertion.prepend(QLatin1Char('\n'));
    }
    lyric->setTextCursor(cursor);
    runCommand(new InsertLyricCommand(this, insertion));
    lyric->setFocus();
}

void DocumentTab::insertLineBreak() {
    insertLyricDirective(QStringLiteral("@换行符"), 0, 0);
}

void DocumentTab::insertPageBreak() {
    insertLyricDirective(QStringLiteral("@分页符"), 0, 0);
}

// ---- the 板眼 checker

QVector<music::Problem> DocumentTab::problems() const {
    return m_banYan->problems();
}

BanYanChecker *DocumentTab::checker() const {
    return m_banYan->checker();
}

void DocumentTab::goTo(const music::Place &place) {
    if (place.pane == music::Place::Pane::Lyric) {
        QTextCursor c(ui->lyricEdit->document()->findBlockByNumber(place.line));
        c.movePosition(QTextCursor::EndOfBlock);
        ui->lyricEdit->setTextCursor(c);
        ui->lyricEdit->setFocus();
        return;
    }
    // The character: the lyric cursor just after it, the score follows.
    QTextCursor c = ui->lyricEdit->textCursor();
    c.setPosition(ui->lyricEdit->sungCharEnd(place.line + 1));
    ui->lyricEdit->setTextCursor(c);
    ui->lyricEdit->ensureCursorVisible();
    QTextCursor s(ui->scoreEdit->document()->findBlockByNumber(place.line));
    s.setPosition(s.block().position() +
                  std::min(place.column + place.length, s.block().length() - 1));
    ui->scoreEdit->setTextCursor(s);
    ui->scoreEdit->ensureCursorVisible();
    ui->scoreEdit->setFocus();
}

void DocumentTab::selectLyric(int line, int column, int length) {
    const QTextBlock block = ui->lyricEdit->document()->findBlockByNumber(line);
    if (!block.isValid()) {
        return;
    }
    const int last = block.length() - 1;
    QTextCursor c(block);
    c.setPosition(block.position() + std::min(std::max(column, 0), last));
    c.setPosition(block.position() + std::min(std::max(column + length, 0), last),
                  QTextCursor::KeepAnchor);
    ui->lyricEdit->setTextCursor(c);
    ui->lyricEdit->ensureCursorVisible();
    ui->scoreEdit->ensureCursorVisible();
    ui->lyricEdit->setFocus();
}

void DocumentTab::showPlaying(int character, const music::Place &note) {
    LyricEdit *lyric = ui->lyricEdit;
    ScoreEdit *score = ui->scoreEdit;
    if (character < 0 || character >= lyric->sungCharTotal()) {
        lyric->setPlayingMarks({});
        score->setPlayingMarks({});
        return;
    }
    const int end = lyric->sungCharEnd(character + 1);
    const bool pair = end >= 2 && lyric->document()->characterAt(end - 1).isLowSurrogate();
    lyric->setPlayingMarks({{end - (pair ? 2 : 1), end}});
    const QTextBlock line = score->document()->findBlockByNumber(character);
    if (!line.isValid()) {
        score->setPlayingMarks({});
        return;
    }
    QVector<QPair<int, int>> marks{{line.position(), line.position() + line.length() - 1}};
    if (note.pane == music::Place::Pane::Score && note.line == character && note.length > 0) {
        marks.append({line.position() + note.column, line.position() + note.column + note.length});
    }
    score->setPlayingMarks(marks);
}

// ---- find

SearchResult DocumentTab::find(const QString &query, bool backward) {
    return m_search.find(query, backward);
}

SearchResult DocumentTab::replace(const QString &query, const QString &replacement) {
    return m_search.replace(query, replacement);
}

int DocumentTab::replaceAll(const QString &query, const QString &replacement) {
    return m_search.replaceAll(query, replacement);
}

void DocumentTab::selectAll() {
    if (ui->scoreEdit->hasFocus()) {
        ui->scoreEdit->selectAll();
    } else {
        ui->lyricEdit->selectAll();
    }
}

void DocumentTab::clearFind() {
    m_search.clear();
}

void DocumentTab::switchPane() {
    if (ui->lyricEdit->hasFocus()) {
        ui->scoreEdit->setFocus(Qt::ShortcutFocusReason);
    } else {
        ui->lyricEdit->setFocus(Qt::ShortcutFocusReason);
    }
}

// ---- files

bool DocumentTab::hasOwnFile() const {
    const QFileInfo file(m_filePath);
    return m_filePath.endsWith(QLatin1String(".gcp"), Qt::CaseInsensitive) &&
           (file.isFile() || (!file.exists() && file.absoluteDir().exists() &&
                              m_fileWatch->path() == file.absoluteFilePath()));
}

bool DocumentTab::save(bool saveAs) {
    bool toOwnFile = !saveAs && !m_needsNewName && hasOwnFile();
    if (toOwnFile && m_fileWatch->changedSinceRead()) {
        const QMessageBox::StandardButton answer = Prompt::question(
            this, QStringLiteral("文件已更改"),
            QStringLiteral("“%1”已被其他程序修改，保存将覆盖这些修改。\n是否另存为其他文件？")
                .arg(QFileInfo(m_filePath).fileName()),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
        if (answer == QMessageBox::Cancel) {
            return false;
        }
        toOwnFile = answer == QMessageBox::No;
    }
    QString target;
    if (toOwnFile) {
        target = m_filePath;
    } else {
        target = Prompt::saveFileName(this, QStringLiteral("保存"), suggestedFileName(),
                                      QStringLiteral("工尺谱文件 (*.gcp)"));
        if (target.isEmpty()) {
            return false;
        }
        if (!target.endsWith(QLatin1String(".gcp"), Qt::CaseInsensitive)) {
            target += QLatin1String(".gcp");
        }
        // Another tab's file is that tab's: written over from here, the other
        // tab would hold a text its file no longer has.
        if (m_openElsewhere && m_openElsewhere(target)) {
            Prompt::warning(this, QStringLiteral("提示"),
                            QStringLiteral("“%1”已在另一个标签页中打开，不能保存到该文件。\n"
                                           "请先关闭那个标签页，或选择其他文件名。")
                                .arg(QFileInfo(target).fileName()));
            return false;
        }
    }
    const QString lyric = ui->lyricEdit->toPlainText();
    const QString score = ui->scoreEdit->toPlainText();

    // The version this save replaces is kept; without a backup the save still goes ahead.
    const Outcome kept = BackupStore().keep(target);
    const Outcome written = writeScoreFile(target, lyric, score);
    if (!written) {
        Prompt::warning(this, written.title(), written.message());
        return false;
    }
    if (!kept && !m_backupWarned) {
        m_backupWarned = true;
        Prompt::warning(this, kept.title(), kept.message() + QStringLiteral("文件已照常保存。"));
    }
    if (!saveAs) {
        m_filePath = target;
        m_fileWatch->track(target, encodeScoreFile(lyric, score));
        m_needsNewName = false;
        m_undoStack->setClean();
        m_modified = false;
        emit modifiedChanged(false);
    }
    emit saved(target, saveAs);
    return true;
}

QString DocumentTab::suggestedFileName() const {
    const QString title = Typesetter::safeFileName(ExportFormat::documentTitle(documentLines()));
    const QString name = title.isEmpty() ? QFileInfo(m_filePath).completeBaseName() : title;
    const QFileInfo file(m_filePath);
    const QString dir =
        file.isAbsolute() && file.absoluteDir().exists() ? file.absolutePath() : QString();
    const QString fileName = name.isEmpty() ? QString() : name + QStringLiteral(".gcp");
    return dir.isEmpty() ? fileName : QDir(dir).filePath(fileName);
}

bool DocumentTab::open(const QString &path) {
    QString lyricText;
    QString scoreText;
    const Outcome read = readScoreFile(path, &lyricText, &scoreText);
    if (!read) {
        Prompt::warning(this, read.title(), read.message());
        return false;
    }
    m_syncing = true;
    ui->lyricEdit->setPlainText(normalizedText(lyricText));
    ui->scoreEdit->setPlainText(normalizedText(scoreText));
    m_syncing = false;
    // The editors' own histories are gone; commands replaying them would
    // undo the wrong edits.
    m_undoStack->clear();
    m_filePath = path;
    m_fileWatch->track(path, fileBytes(path));
    // What a damaged file could not give is lost unless the user keeps the
    // original: the document is unsaved, and its first save asks for a name.
    m_needsNewName = read.hasWarning();
    if (m_needsNewName) {
        m_undoStack->resetClean(); // no state of the history is the file's
    }
    m_modified = m_needsNewName;
    emit modifiedChanged(m_modified);
    lyricCursorPositionChanged();
    if (read.hasWarning()) {
        Prompt::warning(this, read.title(),
                        QStringLiteral("“%1”：%2").arg(QFileInfo(path).fileName(), read.message()));
    }
    return true;
}

void DocumentTab::restore(const QString &lyric, const QString &score, const QString &filePath) {
    m_syncing = true;
    ui->lyricEdit->setPlainText(normalizedText(lyric));
    ui->scoreEdit->setPlainText(normalizedText(score));
    m_syncing = false;
    m_undoStack->clear();
    m_undoStack->resetClean(); // the recovered text is no file's
    m_filePath = filePath;
    // The file as it is now: a later change on disk is one the recovered
    // text does not know of.
    if (QFileInfo(filePath).isFile()) {
        m_fileWatch->track(filePath, fileBytes(filePath));
    } else {
        m_fileWatch->clear();
    }
    m_modified = true;
    emit modifiedChanged(true);
    lyricCursorPositionChanged();
}

void DocumentTab::checkDisk() {
    if (m_checkingDisk) {
        return;
    }
    const QScopedValueRollback<bool> guard(m_checkingDisk, true);
    if (m_fileWatch->check() != FileWatch::State::Changed) {
        return;
    }
    if (m_modified) {
        m_fileWatch->acknowledge(); // the next save asks first
        return;
    }
    const QMessageBox::StandardButton answer =
        Prompt::question(this, QStringLiteral("文件已更改"),
                         QStringLiteral("“%1”已被其他程序修改。\n是否重新载入？")
                             .arg(QFileInfo(m_filePath).fileName()),
                         QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes) {
        reload();
    } else {
        m_fileWatch->acknowledge();
    }
}

bool DocumentTab::reload() {
    // The text being replaced is what the file held when the document last
    // read or wrote it: kept as a version of the file, so that
    // 恢复早期版本… can bring it back.
    const QByteArray replaced =
        encodeScoreFile(ui->lyricEdit->toPlainText(), ui->scoreEdit->toPlainText());
    const Outcome kept = BackupStore().keep(m_filePath, replaced);
    if (!kept && !m_backupWarned) {
        m_backupWarned = true;
        Prompt::warning(this, kept.title(), kept.message());
    }
    return open(m_filePath);
}

QString DocumentTab::tabTitle(bool withFileName) const {
    if (!withFileName) {
        return m_filePath;
    }
    return QFileInfo(m_filePath).fileName() + (m_modified ? QStringLiteral("*") : QString());
}

// ---- render model

DocumentLines DocumentTab::documentLines() const {
    // The texts as they are saved, so that pages always show what the file holds.
    return renderModel(ui->lyricEdit->toPlainText(), ui->scoreEdit->toPlainText());
}
