#include "editor/documentsearch.h"

#include "editor/deletelyriccommand.h"
#include "editor/documenttab.h"
#include "editor/insertlyriccommand.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "model/ordinarygongche.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QUndoStack>
#include <tuple>

namespace {

using Pane = DocumentSearch::Pane;

QVector<DocumentSearch::Match> lyricMatches(const QTextDocument *doc, const QString &query) {
    QVector<DocumentSearch::Match> out;
    QTextCursor found(const_cast<QTextDocument *>(doc));
    while (true) {
        found = doc->find(query, found);
        if (found.isNull()) {
            break;
        }
        out.append({Pane::Lyric, found.selectionStart(), found.selectionEnd()});
        if (found.atEnd()) {
            break;
        }
    }
    return out;
}

QVector<DocumentSearch::Match> scoreMatches(const QTextDocument *doc,
                                            const QVector<GongcheSymbol::PitchName> &names) {
    struct Pitch {
        GongcheSymbol::PitchName name;
        int start;
    };
    QVector<DocumentSearch::Match> out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        const QString text = b.text();
        QVector<Pitch> pitches;
        for (int i = 0; i + 1 < text.size(); ++i) {
            const GongcheSymbol s = GongcheSymbol::of(text.mid(i, 2));
            if (s.isValid()) {
                if (s.isPitch()) {
                    pitches.append({s.pitchName(), i});
                }
                ++i;
            }
        }
        for (int k = 0; k + names.size() <= pitches.size(); ++k) {
            bool same = true;
            for (int j = 0; j < names.size() && same; ++j) {
                same = pitches.at(k + j).name == names.at(j);
            }
            if (same) {
                const int last = pitches.at(k + names.size() - 1).start;
                out.append(
                    {Pane::Score, b.position() + pitches.at(k).start, b.position() + last + 2});
            }
        }
    }
    return out;
}

} // namespace

QVector<GongcheSymbol::PitchName> DocumentSearch::pitchQuery(const QString &query) {
    QVector<GongcheSymbol::PitchName> names;
    const QString symbols = OrdinaryGongche::toSymbols(query.simplified().remove(QLatin1Char(' ')));
    for (int i = 0; i < symbols.size(); i += 2) {
        const GongcheSymbol s = GongcheSymbol::of(symbols.mid(i, 2));
        if (!s.isPitch()) {
            return {};
        }
        names.append(s.pitchName());
    }
    return names;
}

QVector<DocumentSearch::Match> DocumentSearch::matches(const QTextDocument *lyric,
                                                       const QTextDocument *score,
                                                       const QString &query) {
    if (query.isEmpty()) {
        return {};
    }
    QVector<Match> out = lyricMatches(lyric, query);
    const QVector<GongcheSymbol::PitchName> names = pitchQuery(query);
    if (!names.isEmpty()) {
        out += scoreMatches(score, names);
    }
    return out;
}

int DocumentSearch::step(const QVector<Match> &matches, Pane pane, int from, int to,
                         bool backward) {
    if (matches.isEmpty()) {
        return -1;
    }
    const auto key = [](Pane p, int position) { return std::make_tuple(int(p), position); };
    if (backward) {
        for (int i = matches.size() - 1; i >= 0; --i) {
            if (key(matches.at(i).pane, matches.at(i).end) <= key(pane, from)) {
                return i;
            }
        }
        return matches.size() - 1;
    }
    for (int i = 0; i < matches.size(); ++i) {
        if (key(matches.at(i).pane, matches.at(i).start) >= key(pane, to)) {
            return i;
        }
    }
    return 0;
}

// ---- the find bar in a document tab

DocumentSearch::DocumentSearch(DocumentTab *tab)
    : m_tab(tab) {}

QVector<DocumentSearch::Match> DocumentSearch::matchesOf(const QString &query) const {
    return matches(m_tab->lyricEditor()->document(), m_tab->scoreEditor()->document(), query);
}

DocumentSearch::Pane DocumentSearch::startPane() const {
    if (m_tab->lyricEditor()->hasFocus()) {
        return Pane::Lyric;
    }
    if (m_tab->scoreEditor()->hasFocus()) {
        return Pane::Score;
    }
    return m_pane;
}

SearchResult DocumentSearch::find(const QString &query, bool backward) {
    const QVector<Match> found = matchesOf(query);
    if (found.isEmpty()) {
        clear();
        return SearchResult();
    }
    const Pane pane = startPane();
    const QTextCursor at = pane == Pane::Lyric ? m_tab->lyricEditor()->textCursor()
                                               : m_tab->scoreEditor()->textCursor();
    const int current = step(found, pane, at.selectionStart(), at.selectionEnd(), backward);
    m_pane = found.at(current).pane;
    select(found.at(current));
    highlight(found, current);
    SearchResult result;
    result.matchCount = found.size();
    result.currentIndex = current + 1;
    return result;
}

void DocumentSearch::select(const Match &match) {
    QPlainTextEdit *editor = match.pane == Pane::Lyric
                                 ? static_cast<QPlainTextEdit *>(m_tab->lyricEditor())
                                 : static_cast<QPlainTextEdit *>(m_tab->scoreEditor());
    QTextCursor c(editor->document());
    c.setPosition(match.start);
    c.setPosition(match.end, QTextCursor::KeepAnchor);
    editor->setTextCursor(c);
    editor->ensureCursorVisible();
}

void DocumentSearch::highlight(const QVector<Match> &found, int current) {
    QList<QTextEdit::ExtraSelection> lyricMarks;
    QList<QTextEdit::ExtraSelection> scoreMarks;
    for (int i = 0; i < found.size(); ++i) {
        const Match &m = found.at(i);
        QTextEdit::ExtraSelection mark;
        mark.format.setBackground(i == current ? LyricEdit::currentMatchColor
                                               : LyricEdit::searchMatchColor);
        mark.cursor = QTextCursor(m.pane == Pane::Lyric ? m_tab->lyricEditor()->document()
                                                        : m_tab->scoreEditor()->document());
        mark.cursor.setPosition(m.start);
        mark.cursor.setPosition(m.end, QTextCursor::KeepAnchor);
        (m.pane == Pane::Lyric ? lyricMarks : scoreMarks).append(mark);
    }
    m_tab->lyricEditor()->setExtraSelections(lyricMarks);
    m_tab->scoreEditor()->setExtraSelections(scoreMarks);
}

void DocumentSearch::clear() {
    m_tab->lyricEditor()->setExtraSelections({});
    m_tab->scoreEditor()->setExtraSelections({});
    m_tab->lyricCursorPositionChanged();
}

void DocumentSearch::replaceSelection(const QString &replacement) {
    if (replacement.isEmpty()) {
        m_tab->runCommand(new DeleteLyricCommand(m_tab, true, Qt::NoModifier));
    } else {
        m_tab->runCommand(new InsertLyricCommand(m_tab, replacement));
    }
}

SearchResult DocumentSearch::replace(const QString &query, const QString &replacement) {
    const QTextCursor at = m_tab->lyricEditor()->textCursor();
    const Match selected{Pane::Lyric, at.selectionStart(), at.selectionEnd()};
    if (at.hasSelection() && matchesOf(query).contains(selected)) {
        // The deletion of the match and the insertion: one step to undo.
        m_tab->undoStack()->beginMacro(QStringLiteral("替换"));
        replaceSelection(replacement);
        m_tab->undoStack()->endMacro();
        // The cursor is at the end of the replacement: the search goes on after it.
        m_pane = Pane::Lyric;
    }
    return find(query, false);
}

int DocumentSearch::replaceAll(const QString &query, const QString &replacement) {
    QVector<Match> lyric;
    for (const Match &m : matchesOf(query)) {
        if (m.pane == Pane::Lyric) {
            lyric.append(m);
        }
    }
    if (lyric.isEmpty()) {
        return 0;
    }
    m_tab->undoStack()->beginMacro(QStringLiteral("全部替换"));
    // From the last to the first, so that the places before stay where they were.
    for (int i = lyric.size() - 1; i >= 0; --i) {
        QTextCursor c(m_tab->lyricEditor()->document());
        c.setPosition(lyric.at(i).start);
        c.setPosition(lyric.at(i).end, QTextCursor::KeepAnchor);
        m_tab->lyricEditor()->setTextCursor(c);
        replaceSelection(replacement);
    }
    m_tab->undoStack()->endMacro();
    clear();
    return lyric.size();
}
