#include "editor/banyanchecker.h"

#include "model/linegrammar.h"
#include "model/rendermodel.h"
#include "music/melodybuilder.h"

#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <set>
#include <utility>

using Pane = music::Place::Pane;

namespace {

// More lines than this to underline again, and the whole document is.
constexpr int redrawAllOver = 500;

int ownedCharacters(const QString &line) {
    return isDirectiveLine(line) ? 0 : sungCharCount(line);
}

// Moves problems along: their lyric lines (and fix lines) by lines, their
// score lines by characters.
void moveProblems(QVector<music::Problem> &problems, int lines, int characters) {
    for (music::Problem &p : problems) {
        p.place.line += p.place.pane == Pane::Lyric ? lines : characters;
        if (p.fixLine >= 0) {
            p.fixLine += lines;
        }
    }
}

} // namespace

BanYanChecker::BanYanChecker(QTextDocument *lyric, QTextDocument *score, QObject *parent)
    : QObject(parent)
    , m_lyric(lyric)
    , m_score(score)
    , m_builder(std::make_unique<music::MelodyBuilder>()) {}

BanYanChecker::~BanYanChecker() = default;

QStringList BanYanChecker::lyricLinesOf(const Tune &tune) const {
    QStringList lines;
    lines.reserve(tune.lineCount);
    QTextBlock b = m_lyric->findBlockByNumber(tune.firstLine);
    for (int i = 0; i < tune.lineCount && b.isValid(); ++i, b = b.next()) {
        lines.append(b.text());
    }
    return lines;
}

void BanYanChecker::computeTune(Tune &tune) const {
    const QStringList lyricLines = lyricLinesOf(tune);
    int characters = 0;
    for (const QString &line : lyricLines) {
        characters += ownedCharacters(line);
    }
    tune.characters = characters;
    QStringList scoreLines;
    scoreLines.reserve(characters);
    QTextBlock s = m_score->findBlockByNumber(tune.firstCharacter);
    for (int i = 0; i < characters && s.isValid(); ++i, s = s.next()) {
        scoreLines.append(s.text());
    }
    const DocumentLines lines = renderModel(lyricLines, scoreLines);
    tune.problems =
        m_builder->buildTune(lines, tune.firstLine, tune.firstCharacter, tune.settings).problems;
    moveProblems(tune.problems, -tune.firstLine, -tune.firstCharacter);
    tune.settingsAfter = music::MelodyBuilder::settingsAfter(lines, tune.settings);
}

void BanYanChecker::checkAll() {
    m_tunes.clear();
    m_lyricBlocks = m_lyric->blockCount();
    m_scoreBlocks = m_score->blockCount();
    Tune tune;
    int line = 0;
    const auto close = [&] {
        tune.lineCount = line - tune.firstLine;
        if (tune.lineCount > 0) {
            m_tunes.push_back(tune);
        }
    };
    for (QTextBlock b = m_lyric->begin(); b.isValid(); b = b.next(), ++line) {
        if (line > 0 && lineKindOf(b.text()) == LineKind::QuPai) {
            close();
            tune = Tune();
            tune.firstLine = line;
        }
    }
    close();
    // The settings at each heading: what the tune before it left.
    music::TuneSettings settings;
    int character = 0;
    for (Tune &t : m_tunes) {
        t.firstCharacter = character;
        t.settings = settings;
        computeTune(t);
        settings = t.settingsAfter;
        character += t.characters;
    }
    m_lastComputed = int(m_tunes.size());
    finishCheck();
    emit problemsChanged(true, {});
}

void BanYanChecker::noteEdit(music::Place::Pane pane, int position, int charsAdded) {
    QTextDocument *document = pane == Pane::Lyric ? m_lyric : m_score;
    int &blocks = pane == Pane::Lyric ? m_lyricBlocks : m_scoreBlocks;
    Edit edit;
    edit.pane = pane;
    edit.delta = document->blockCount() - blocks;
    blocks = document->blockCount();
    const int end = std::max(0, document->characterCount() - 1);
    edit.first = document->findBlock(std::clamp(position, 0, end)).blockNumber();
    edit.last = std::max(
        edit.first, document->findBlock(std::clamp(position + charsAdded, 0, end)).blockNumber());
    if (edit.first < 0 || edit.last - edit.delta < edit.first) {
        m_needAll = true; // an edit this checker cannot place
    }
    m_edits.append(edit);
}

void BanYanChecker::checkEdits() {
    if (m_edits.isEmpty()) {
        return;
    }
    if (m_needAll || m_tunes.empty() || m_lyric->blockCount() != m_lyricBlocks ||
        m_score->blockCount() != m_scoreBlocks) {
        checkAll();
        return;
    }
    for (const Edit &edit : qAsConst(m_edits)) {
        if (edit.pane == Pane::Lyric && !applyLyricEdit(edit)) {
            checkAll();
            return;
        }
    }
    resegmentDirtyTunes();
    placeCharacters();
    markScoreEdits();
    const int computed = computeDirtyTunes();
    const QVector<music::Place> lines = linesToRedraw();
    const bool all = lines.size() > redrawAllOver;
    finishCheck();
    m_lastComputed = computed;
    emit problemsChanged(all, all ? QVector<music::Place>() : lines);
}

// Applies an edit of the lyric to the tunes' lines: the tune it begins in
// takes the lines it added or removed (and the tunes whose headings it
// removed), the tunes after it move along.
bool BanYanChecker::applyLyricEdit(const Edit &edit) {
    const int i = std::max(0, tuneOfLine(edit.first));
    const int j = std::max(i, tuneOfLine(edit.last - edit.delta));
    for (int k = i; k <= j; ++k) {
        record(m_tunes[k]);
    }
    Tune &tune = m_tunes[i];
    if (j > i) {
        tune.lineCount = m_tunes.at(j).firstLine + m_tunes.at(j).lineCount - tune.firstLine;
        tune.reshaped = true;
        for (int k = i + 1; k <= j; ++k) {
            forget(m_tunes.at(k));
        }
        m_tunes.erase(m_tunes.begin() + i + 1, m_tunes.begin() + j + 1);
    }
    Tune &joined = m_tunes[i];
    joined.lineCount += edit.delta;
    joined.dirty = true;
    joined.reshaped = joined.reshaped || edit.delta != 0;
    if (joined.lineCount <= 0) {
        return false;
    }
    if (edit.delta != 0) {
        for (int k = i + 1; k < int(m_tunes.size()); ++k) {
            m_tunes[k].firstLine += edit.delta;
        }
    }
    return true;
}

// Tunes begin at headings: an edited tune whose heading went joins the tune
// before it, one with a heading typed into it splits there.
void BanYanChecker::resegmentDirtyTunes() {
    for (int i = 0; i < int(m_tunes.size()); ++i) {
        if (!m_tunes.at(i).dirty) {
            continue;
        }
        while (i > 0 && lineKindOf(m_lyric->findBlockByNumber(m_tunes.at(i).firstLine).text()) !=
                            LineKind::QuPai) {
            Tune &before = m_tunes[i - 1];
            record(before);
            before.lineCount += m_tunes.at(i).lineCount;
            before.dirty = true;
            before.reshaped = true;
            forget(m_tunes.at(i));
            m_tunes.erase(m_tunes.begin() + i);
            --i;
        }
        i = splitAtHeadings(i);
    }
}

// Splits a tune at the headings after its first line; the index of its last
// part.
int BanYanChecker::splitAtHeadings(int index) {
    const Tune &tune = m_tunes.at(index);
    const int end = tune.firstLine + tune.lineCount;
    QVector<int> headings;
    QTextBlock b = m_lyric->findBlockByNumber(tune.firstLine + 1);
    for (int line = tune.firstLine + 1; line < end && b.isValid(); ++line, b = b.next()) {
        if (lineKindOf(b.text()) == LineKind::QuPai) {
            headings.append(line);
        }
    }
    for (int heading : qAsConst(headings)) {
        Tune &current = m_tunes[index];
        current.reshaped = true;
        Tune part;
        part.firstLine = heading;
        part.lineCount = current.firstLine + current.lineCount - heading;
        current.lineCount = heading - current.firstLine;
        part.dirty = true;
        part.reshaped = true;
        part.recorded = true; // it had no problems before
        m_tunes.insert(m_tunes.begin() + index + 1, part);
        ++index;
    }
    return index;
}

// The tunes' first characters after the characters the edited tunes gained
// or lost.
void BanYanChecker::placeCharacters() {
    int character = 0;
    for (Tune &t : m_tunes) {
        if (t.dirty) {
            t.characters = 0;
            for (const QString &line : lyricLinesOf(t)) {
                t.characters += ownedCharacters(line);
            }
        }
        t.firstCharacter = character;
        character += t.characters;
    }
}

// The tunes whose score lines an edit of the score touched.
void BanYanChecker::markScoreEdits() {
    for (int k = 0; k < m_edits.size(); ++k) {
        const Edit &edit = m_edits.at(k);
        if (edit.pane != Pane::Score) {
            continue;
        }
        const int first =
            std::max(0, tuneOfCharacter(mapLine(Pane::Score, edit.first, k + 1, false)));
        const int last =
            std::max(first, tuneOfCharacter(mapLine(Pane::Score, edit.last, k + 1, true)));
        for (int i = first; i <= last && i < int(m_tunes.size()); ++i) {
            markDirty(i);
            m_tunes[i].reshaped = m_tunes.at(i).reshaped || edit.delta != 0;
        }
    }
}

// Computes the tunes marked, and besides those that start from other
// settings than before, and those whose score lines no longer pair with their
// characters the way they did. How many it computed.
int BanYanChecker::computeDirtyTunes() {
    int computed = 0;
    bool previousComputed = false;
    for (int i = 0; i < int(m_tunes.size()); ++i) {
        Tune &t = m_tunes[i];
        const music::TuneSettings start =
            i == 0 ? music::TuneSettings() : m_tunes.at(i - 1).settingsAfter;
        const bool moved = t.characters > 0 &&
                           mapLine(Pane::Score, t.checkedCharacter, 0, false) != t.firstCharacter;
        const bool compute = t.dirty || (previousComputed && t.settings != start) || moved;
        if (compute) {
            record(t);
            t.dirty = true;
            // Its score lines went elsewhere than its characters: the marks
            // on them moved away from its problems.
            t.reshaped = t.reshaped || moved;
            t.settings = start;
            computeTune(t);
            ++computed;
        }
        previousComputed = compute;
    }
    return computed;
}

// Keeps a tune's problems as they were before the edits, once.
void BanYanChecker::record(Tune &tune) {
    if (!tune.recorded) {
        tune.recorded = true;
        tune.before = tune.problems;
    }
}

void BanYanChecker::markDirty(int index) {
    record(m_tunes[index]);
    m_tunes[index].dirty = true;
}

// The lines a tune that goes away underlined before the edits.
void BanYanChecker::forget(const Tune &tune) {
    if (tune.recorded) {
        for (const music::Problem &p : tune.before) {
            const bool lyric = p.place.pane == Pane::Lyric;
            (lyric ? m_staleBefore.lyric : m_staleBefore.score)
                .append(p.place.line + (lyric ? tune.checkedLine : tune.checkedCharacter));
        }
    }
}

// Where a line of a pane went through the edits from fromEdit on. A line
// inside the lines an edit replaced goes to their first (or, toEnd, last).
int BanYanChecker::mapLine(music::Place::Pane pane, int line, int fromEdit, bool toEnd) const {
    for (int k = fromEdit; k < m_edits.size(); ++k) {
        const Edit &e = m_edits.at(k);
        if (e.pane != pane || line < e.first) {
            continue;
        }
        if (line > e.last - e.delta) {
            line += e.delta;
        } else {
            line = toEnd ? e.last : e.first;
        }
    }
    return line;
}

// The lines whose underlines may be wrong now: the problems the computed
// tunes had before and have now, where they came or went or moved, and the
// edited lines (drawn again by their highlighter while the check was still to
// come).
QVector<music::Place> BanYanChecker::linesToRedraw() {
    for (const Tune &t : m_tunes) {
        if (t.recorded && (t.reshaped || t.before != t.problems)) {
            forget(t);
        }
    }
    std::set<std::pair<int, int>> lines;
    for (int line : qAsConst(m_staleBefore.lyric)) {
        lines.insert({int(Pane::Lyric), mapLine(Pane::Lyric, line, 0, false)});
    }
    for (int line : qAsConst(m_staleBefore.score)) {
        lines.insert({int(Pane::Score), mapLine(Pane::Score, line, 0, false)});
    }
    for (const Tune &t : m_tunes) {
        if (t.recorded && (t.reshaped || t.before != t.problems)) {
            for (const music::Problem &p : t.problems) {
                const bool lyric = p.place.pane == Pane::Lyric;
                lines.insert(
                    {int(p.place.pane), p.place.line + (lyric ? t.firstLine : t.firstCharacter)});
            }
        }
    }
    for (int k = 0; k < m_edits.size() && int(lines.size()) <= redrawAllOver; ++k) {
        const Edit &e = m_edits.at(k);
        const int first = mapLine(e.pane, e.first, k + 1, false);
        const int last = mapLine(e.pane, e.last, k + 1, true);
        for (int line = first; line <= last && int(lines.size()) <= redrawAllOver; ++line) {
            lines.insert({int(e.pane), line});
        }
    }
    QVector<music::Place> out;
    out.reserve(int(lines.size()));
    for (const auto &line : lines) {
        music::Place at;
        at.pane = Pane(line.first);
        at.line = line.second;
        out.append(at);
    }
    return out;
}

void BanYanChecker::finishCheck() {
    for (Tune &t : m_tunes) {
        t.dirty = false;
        t.reshaped = false;
        t.recorded = false;
        t.before.clear();
        t.checkedLine = t.firstLine;
        t.checkedCharacter = t.firstCharacter;
    }
    m_edits.clear();
    m_staleBefore = Lines();
    m_needAll = false;
}

int BanYanChecker::tuneOfLine(int lyricLine) const {
    const auto it = std::upper_bound(m_tunes.begin(), m_tunes.end(), lyricLine,
                                     [](int l, const Tune &t) { return l < t.firstLine; });
    return int(it - m_tunes.begin()) - 1;
}

int BanYanChecker::tuneOfCharacter(int character) const {
    const auto it = std::upper_bound(m_tunes.begin(), m_tunes.end(), character,
                                     [](int c, const Tune &t) { return c < t.firstCharacter; });
    int index = int(it - m_tunes.begin()) - 1;
    // Tunes without sung characters share their first index with the next.
    while (index > 0 && m_tunes.at(index).characters == 0 &&
           m_tunes.at(index - 1).firstCharacter == character) {
        --index;
    }
    return index;
}

QVector<music::Problem> BanYanChecker::problems() const {
    QVector<music::Problem> out;
    for (const Tune &t : m_tunes) {
        QVector<music::Problem> own = t.problems;
        moveProblems(own, t.firstLine, t.firstCharacter);
        out += own;
    }
    return out;
}

QVector<music::Problem> BanYanChecker::problemsOn(music::Place::Pane pane, int line) const {
    QVector<music::Problem> out;
    const int index = pane == Pane::Lyric ? tuneOfLine(line) : tuneOfCharacter(line);
    if (index < 0) {
        return out;
    }
    // A problem is reported by the tune it lies in; look at the neighbours too
    // for lines on a tune's edge.
    for (int i = std::max(0, index - 1); i <= std::min(int(m_tunes.size()) - 1, index + 1); ++i) {
        const Tune &t = m_tunes.at(i);
        const int relative = line - (pane == Pane::Lyric ? t.firstLine : t.firstCharacter);
        for (const music::Problem &p : t.problems) {
            if (p.place.pane == pane && p.place.line == relative) {
                music::Problem at = p;
                at.place.line = line;
                if (at.fixLine >= 0) {
                    at.fixLine += t.firstLine;
                }
                out.append(at);
            }
        }
    }
    return out;
}
