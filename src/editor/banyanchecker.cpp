#include "editor/banyanchecker.h"

#include "model/linegrammar.h"
#include "model/rendermodel.h"
#include "music/melodybuilder.h"

#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

namespace {

// Headings and settings lines decide where tunes begin and what holds in
// them: an edit there rechecks everything.
bool isStructureKind(LineKind kind) {
    return kind == LineKind::QuPai || kind == LineKind::Comment;
}

int ownedCharacters(const QString &line) {
    return isDirectiveLine(line) ? 0 : sungCharCount(line);
}

} // namespace

BanYanChecker::BanYanChecker(QTextDocument *lyric, QTextDocument *score, QObject *parent)
    : QObject(parent)
    , m_lyric(lyric)
    , m_score(score)
    , m_builder(std::make_unique<music::MelodyBuilder>()) {}

BanYanChecker::~BanYanChecker() = default;

void BanYanChecker::computeTune(Tune &tune) const {
    QStringList lyricLines;
    lyricLines.reserve(tune.lineCount);
    QTextBlock b = m_lyric->findBlockByNumber(tune.firstLine);
    for (int i = 0; i < tune.lineCount && b.isValid(); ++i, b = b.next()) {
        lyricLines.append(b.text());
    }
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
}

void BanYanChecker::checkAll() {
    m_tunes.clear();
    m_lyricBlocks = m_lyric->blockCount();
    m_scoreBlocks = m_score->blockCount();
    Tune tune;
    music::TuneSettings settings;
    QStringList tuneLines;
    int character = 0;
    int line = 0;
    const auto close = [&] {
        tune.lineCount = line - tune.firstLine;
        if (tune.lineCount > 0) {
            m_tunes.append(tune);
        }
    };
    for (QTextBlock b = m_lyric->begin(); b.isValid(); b = b.next(), ++line) {
        const QString text = b.text();
        if (lineKindOf(text) == LineKind::QuPai && line > 0) {
            close();
            // The settings at the heading: what the tune before it left.
            settings = music::MelodyBuilder::settingsAfter(renderModel(tuneLines, {}), settings);
            tuneLines.clear();
            tune = Tune();
            tune.firstLine = line;
            tune.firstCharacter = character;
        }
        if (tune.lineCount == 0 && tuneLines.isEmpty()) {
            tune.settings = settings;
        }
        tuneLines.append(text);
        character += ownedCharacters(text);
    }
    close();
    for (Tune &t : m_tunes) {
        computeTune(t);
    }
    m_lastComputed = m_tunes.size();
    emit problemsChanged(true, {});
}

bool BanYanChecker::isStructureLine(int lyricLine) const {
    for (const Tune &t : m_tunes) {
        if (t.firstLine == lyricLine && lyricLine > 0) {
            return true;
        }
    }
    const QTextBlock b = m_lyric->findBlockByNumber(lyricLine);
    return b.isValid() && isStructureKind(lineKindOf(b.text()));
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

void BanYanChecker::checkAfterEdit(music::Place::Pane pane, int position) {
    using Pane = music::Place::Pane;
    if (m_tunes.isEmpty() || m_lyric->blockCount() != m_lyricBlocks ||
        (pane == Pane::Score && m_score->blockCount() != m_scoreBlocks)) {
        checkAll();
        return;
    }
    int index = -1;
    if (pane == Pane::Lyric) {
        const int line = m_lyric->findBlock(position).blockNumber();
        // A line that is or was a heading or a settings line changes what
        // every later tune is checked with.
        if (line < 0 || isStructureLine(line)) {
            checkAll();
            return;
        }
        index = tuneOfLine(line);
    } else {
        index = tuneOfCharacter(m_score->findBlock(position).blockNumber());
    }
    if (index < 0) {
        checkAll();
        return;
    }
    Tune &tune = m_tunes[index];
    const int before = tune.characters;
    const QVector<music::Problem> old = tune.problems;
    computeTune(tune);
    const int delta = tune.characters - before;
    // Sung characters come and go with their score lines.
    if (m_score->blockCount() != m_scoreBlocks + delta) {
        checkAll();
        return;
    }
    m_scoreBlocks += delta;
    if (delta != 0) {
        // The later tunes' characters moved along, and their score lines with them.
        for (int i = index + 1; i < m_tunes.size(); ++i) {
            m_tunes[i].firstCharacter += delta;
            for (music::Problem &p : m_tunes[i].problems) {
                if (p.place.pane == Pane::Score) {
                    p.place.line += delta;
                }
            }
        }
    }
    m_lastComputed = 1;
    // Only the lines whose problems came or went need their underlines redrawn:
    // a tune of thousands of characters stays cheap to edit.
    QVector<music::Place> lines;
    const auto add = [&lines](const QVector<music::Problem> &problems) {
        for (const music::Problem &p : problems) {
            music::Place at;
            at.pane = p.place.pane;
            at.line = p.place.line;
            if (!lines.contains(at)) {
                lines.append(at);
            }
        }
    };
    if (old != tune.problems) {
        add(old);
        add(tune.problems);
    }
    emit problemsChanged(false, lines);
}

QVector<music::Problem> BanYanChecker::problems() const {
    QVector<music::Problem> out;
    for (const Tune &t : m_tunes) {
        out += t.problems;
    }
    return out;
}

QVector<music::Problem> BanYanChecker::problemsOn(music::Place::Pane pane, int line) const {
    QVector<music::Problem> out;
    const int index = pane == music::Place::Pane::Lyric ? tuneOfLine(line) : tuneOfCharacter(line);
    if (index < 0) {
        return out;
    }
    // A problem is reported by the tune it lies in; look at the neighbours too
    // for lines on a tune's edge.
    for (int i = std::max(0, index - 1); i <= std::min(int(m_tunes.size()) - 1, index + 1); ++i) {
        for (const music::Problem &p : m_tunes.at(i).problems) {
            if (p.place.pane == pane && p.place.line == line) {
                out.append(p);
            }
        }
    }
    return out;
}
