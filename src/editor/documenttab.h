#pragma once

#include "editor/documentsearch.h"
#include "editor/searchresult.h"
#include "model/documentline.h"
#include "music/melody.h"

#include <QList>
#include <QString>
#include <QWidget>
#include <functional>

class BanYanChecker;
class BanYanWatch;
class EditCommand;
class FileWatch;
class LyricEdit;
class QKeyEvent;
class QMenu;
class QTimer;
class QUndoStack;
class ScoreEdit;

namespace Ui {
class DocumentTab;
}

// One open document: the lyric editor and the score editor side by side, the
// document's undo stack, its file and its modified flag.
//
// Every change of either text goes through an undo command that keeps the
// score text at one line per sung lyric character; an event filter on both
// editors (and their viewports) turns keys, input-method commits, cuts and
// pastes into such commands, and keeps every other way of editing out. The
// tab keeps the two cursors in step: the score line of the character under
// the lyric cursor is the current score line, and the reverse.
class DocumentTab : public QWidget {
    Q_OBJECT

public:
    static constexpr int undoLimit = 200;

    explicit DocumentTab(QWidget *parent = nullptr);
    ~DocumentTab() override;

    // Writes the document to its file, asking for one when it has none or
    // when saveAs is set. Save as writes a copy: the tab keeps its file and
    // its modified flag. False when cancelled or failed.
    //
    // The version a save replaces is kept as a backup first. A document read
    // from a damaged file asks for a file name at its first save, so the
    // damaged original stays unless the user chooses it. When the file was
    // changed on disk by someone else, the save first asks whether to save
    // under another name instead.
    bool save(bool saveAs);
    // Replaces both texts with the file's; false (tab unchanged) on failure.
    // A damaged file opens with what could be read, after a warning, and the
    // document counts as modified.
    bool open(const QString &path);
    // Reads the document's file again, keeping the text it replaces as a
    // backup first.
    bool reload();
    // Tells whether a file is open in another tab; save as refuses such a
    // file.
    void setOpenElsewhere(std::function<bool(const QString &path)> check) {
        m_openElsewhere = std::move(check);
    }
    // Fills both editors as open() does, with filePath as the document's file,
    // but leaves the document modified: a recovered document is saved only
    // when the user saves it.
    void restore(const QString &lyric, const QString &score, const QString &filePath);

    // The file name, with "*" when modified; or the whole path.
    QString tabTitle(bool withFileName) const;
    // The file the document was read from or saved to; "未命名" for none.
    QString filePath() const { return m_filePath; }
    bool isModified() const { return m_modified; }
    bool canUndo() const;
    bool canRedo() const;

    // Looks whether the file changed on disk: offers to reload it when the
    // document has no unsaved changes, else remembers to warn at the next
    // save. A file deleted on disk changes nothing: the next save writes it
    // again. Runs by itself when the file changes and when the window
    // becomes active again.
    void checkDisk();

    // The find bar: goes to the next (or, backward, the previous) match of
    // query after the current one, wrapping around, selects it in its pane
    // (the other pane follows) and highlights every match. Matches are the
    // query in the lyric text and, for a query in gongche signs, those pitches
    // in the score text in any octave and form.
    SearchResult find(const QString &query, bool backward);
    // Removes the highlights of the last find.
    void clearFind();
    // Replaces the current lyric match of query (the lyric selection, when it
    // is one) with replacement, one undo step, then goes on to the next match
    // as find does. Matches in the score are found but never replaced.
    SearchResult replace(const QString &query, const QString &replacement);
    // Replaces every lyric match of query, as one undo step; the number replaced.
    int replaceAll(const QString &query, const QString &replacement);
    // Selects the whole text of the pane being edited (the lyrics when neither
    // has the focus); the other pane follows.
    void selectAll();
    // Moves the keyboard focus to the other pane.
    void switchPane();

    // What the 板眼 checker finds, kept up to date as the texts change.
    QVector<music::Problem> problems() const;
    BanYanChecker *checker() const;
    // The check kept up to date as the texts change.
    BanYanWatch *banYanWatch() const { return m_banYan; }
    // Puts both cursors at a problem's place: its character and its score
    // line, or its lyric line.
    void goTo(const music::Place &place);
    // Selects length UTF-16 units from column in a lyric line (a search hit
    // elsewhere); the score follows as for any selection.
    void selectLyric(int line, int column, int length);

    // Playback's highlight: the sung character in the lyric editor, its score
    // line and the sounding symbol of it (note, a place in the score text) in
    // the score editor, both scrolled into view. Neither cursor moves and
    // neither text changes. A character of -1 clears it.
    void showPlaying(int character, const music::Place &note = music::Place());

    // The render model: every lyric line with its kind and, for a sung line,
    // the paired score line of each character.
    DocumentLines documentLines() const;

    LyricEdit *lyricEditor() const;
    ScoreEdit *scoreEditor() const;
    QUndoStack *undoStack() const { return m_undoStack; }

    // Set while a command or a cursor synchronisation runs; the cursor slots
    // do nothing meanwhile.
    bool isSyncing() const { return m_syncing; }
    void setSyncing(bool syncing) { m_syncing = syncing; }

    // Pushes command when it changed anything, else destroys it.
    void runCommand(EditCommand *command);

    // The context menu of both editors: undo, redo, cut, copy, paste. The
    // caller owns it.
    QMenu *createContextMenu(QWidget *parent = nullptr);

signals:
    // The document was written to path: its own file, or a copy (save as).
    void saved(const QString &path, bool copy);
    void modifiedChanged(bool modified);
    // The checker's problems changed.
    void problemsChanged();
    void canUndoChanged(bool canUndo);
    void canRedoChanged(bool canRedo);

public slots:
    void lyricCursorPositionChanged();
    void scoreCursorPositionChanged();
    void onScoreTextChanged();
    void onCanUndoChanged(bool canUndo);
    void onCanRedoChanged(bool canRedo);

    void undo();
    void redo();
    void copy();
    void cut();
    void paste();

    void insertTitle();
    void insertQuPai();
    void insertLianBai();
    void insertJiaBai();
    void insertComment();
    // A comment line that sets the key, meter, tempo and octave from there on,
    // with the key selected for typing over.
    void insertAnnotation();
    // A settings line inserted as lyric line `line` (at the end past the last
    // line), in one undoable step.
    void insertSettingsLine(int line, const QString &text);
    void insertLineBreak();
    void insertPageBreak();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void updateScoreLineNumberArea();

private:
    // The name the save dialog offers: the document title's, in its folder.
    QString suggestedFileName() const;
    bool documentShortcut(int key, Qt::KeyboardModifiers mods);
    bool platformShortcut(QKeyEvent *event);
    bool lyricKeyPress(QKeyEvent *event);
    bool scoreKeyPress(QKeyEvent *event);
    bool viewportEvent(QObject *viewport, QEvent *event);
    void showContextMenu(const QPoint &globalPos);
    void insertLyricDirective(const QString &text, int selectFrom, int selectLength);
    // What is left of a key in either pane: deleting to the end of the line
    // or the whole line; any other key that would change the text is kept out.
    bool lineKeyPress(QKeyEvent *event, bool score);
    void deleteCurrentLine(bool score);
    // The pane's deletion of the selection, or of what lies before (backward)
    // or after the cursor.
    void runDelete(bool score, bool backward, Qt::KeyboardModifiers mods);
    // Inserts text from outside (a paste, a system input method) at the score
    // cursor; gongche in ordinary characters becomes symbols.
    void insertScoreText(const QString &text);
    // Whether the document belongs to a ".gcp" file that a save writes to
    // (it may have been deleted on disk since).
    bool hasOwnFile() const;

    Ui::DocumentTab *ui;
    QUndoStack *m_undoStack;
    bool m_syncing = false;
    QString m_filePath;
    bool m_modified = false;
    FileWatch *m_fileWatch;
    bool m_needsNewName = false; // read from a damaged file
    bool m_checkingDisk = false;
    bool m_backupWarned = false;
    std::function<bool(const QString &path)> m_openElsewhere;
    BanYanWatch *m_banYan = nullptr;
    DocumentSearch m_search;
    QList<int> m_imKeys;
};
