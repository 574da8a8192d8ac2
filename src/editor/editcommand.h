#pragma once

#include <QString>
#include <QUndoCommand>

class LyricEdit;
class DocumentTab;
class ScoreEdit;

// The base of the document tab's undo commands. A command does its edit when
// it is constructed, through the editors' own text cursors, and records how
// many edit steps it left in each editor's own undo history; undo and redo
// replay exactly those steps with the editors' undo and redo. The redo that
// the undo stack calls when the command is pushed does nothing.
class EditCommand : public QUndoCommand {
public:
    explicit EditCommand(DocumentTab *tab);

    void undo() override;
    void redo() override;

    // Whether the command changed anything; the tab pushes only such commands.
    virtual bool hasEdits() const = 0;

    // The number of score lines a lyric line owns: its sung characters, or
    // none for a directive line.
    static int ownedScoreLines(const QString &line);

protected:
    DocumentTab *tab() const { return m_tab; }
    LyricEdit *lyricEdit() const;
    ScoreEdit *scoreEdit() const;

    // What the command does on undo (undo = true) and redo; the base replays
    // nothing.
    virtual void replay(bool undo);

    // Replays scoreSteps score steps, then lyricSteps lyric steps, with the
    // tab's synchronisation held, then puts the score cursor in step with the
    // lyric cursor.
    void replayLyricSteps(bool undo, int lyricSteps, int scoreSteps);
    // Replays one score step, then puts the lyric cursor in step with the
    // score cursor.
    void replayScoreStep(bool undo);

    // Inserts (delta > 0) or removes (delta < 0) |delta| score lines so that
    // they start at line at. totalBefore is the number of sung characters the
    // lyric had before the change: with none, the score's one line (an editor
    // always shows one) belongs to no character yet and becomes the first new
    // line. Returns whether the score editor's history got a step.
    bool adjustScoreLines(int at, int delta, int totalBefore);

private:
    DocumentTab *m_tab;
    bool m_redoneOnPush = false;
};
