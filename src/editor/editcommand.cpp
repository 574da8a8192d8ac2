#include "editor/editcommand.h"

#include "editor/documenttab.h"
#include "editor/historywatch.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "model/linegrammar.h"

EditCommand::EditCommand(DocumentTab *tab)
    : m_tab(tab) {}

LyricEdit *EditCommand::lyricEdit() const {
    return m_tab->lyricEditor();
}

ScoreEdit *EditCommand::scoreEdit() const {
    return m_tab->scoreEditor();
}

void EditCommand::undo() {
    replay(true);
}

void EditCommand::redo() {
    // The edit was done by the constructor; the stack's redo on push finds
    // nothing to do.
    if (!m_redoneOnPush) {
        m_redoneOnPush = true;
        return;
    }
    replay(false);
}

void EditCommand::replay(bool) {}

int EditCommand::ownedScoreLines(const QString &line) {
    return isDirectiveLine(line) ? 0 : sungCharCount(line);
}

void EditCommand::replayLyricSteps(bool undo, int lyricSteps, int scoreSteps) {
    m_tab->setSyncing(true);
    for (int i = 0; i < scoreSteps; ++i) {
        undo ? scoreEdit()->undo() : scoreEdit()->redo();
    }
    for (int i = 0; i < lyricSteps; ++i) {
        undo ? lyricEdit()->undo() : lyricEdit()->redo();
    }
    m_tab->setSyncing(false);
    m_tab->lyricCursorPositionChanged();
}

void EditCommand::replayScoreStep(bool undo) {
    undo ? scoreEdit()->undo() : scoreEdit()->redo();
    // The editor reports no move when its cursor keeps its position, yet the
    // line around it changed: bring the lyric cursor in step all the same.
    m_tab->scoreCursorPositionChanged();
}

bool EditCommand::adjustScoreLines(int at, int delta, int totalBefore) {
    if (delta == 0) {
        return false;
    }
    ScoreEdit *score = scoreEdit();
    HistoryWatch watch(score->document());
    if (delta < 0) {
        score->removeLines(at, -delta);
    } else if (totalBefore == 0 && score->document()->blockCount() == 1) {
        score->insertEmptyLines(at, delta - 1);
    } else {
        score->insertEmptyLines(at, delta);
    }
    return watch.changed();
}
