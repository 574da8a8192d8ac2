#include "editor/banyanwatch.h"

#include "appearance/lyrichighlighter.h"
#include "editor/banyanchecker.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "editor/scorehighlighter.h"

#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

using Pane = music::Place::Pane;

BanYanWatch::BanYanWatch(LyricEdit *lyric, ScoreEdit *score, QObject *parent)
    : QObject(parent)
    , m_lyric(lyric)
    , m_score(score)
    , m_checker(new BanYanChecker(lyric->document(), score->document(), this))
    , m_timer(new QTimer(this)) {
    m_timer->setSingleShot(true);
    m_timer->setInterval(checkDelayMs);
    connect(m_timer, &QTimer::timeout, this, &BanYanWatch::checkNow);
    score->highlighter()->setProblemSource(
        [this](int line) { return m_checker->problemsOn(Pane::Score, line); });
    lyric->highlighter()->setProblemSource(
        [this](int line) { return m_checker->problemsOn(Pane::Lyric, line); });
    const auto edited = [this](Pane pane) {
        return [this, pane](int position, int, int charsAdded) {
            if (m_marking) {
                return; // the highlighters' own format changes
            }
            m_checker->noteEdit(pane, position, charsAdded);
            // Checked when the typing pauses, not between two keys.
            m_timer->start();
        };
    };
    connect(lyric->document(), &QTextDocument::contentsChange, this, edited(Pane::Lyric));
    connect(score->document(), &QTextDocument::contentsChange, this, edited(Pane::Score));
    connect(m_checker, &BanYanChecker::problemsChanged, this, &BanYanWatch::mark);
}

QVector<music::Problem> BanYanWatch::problems() const {
    return m_checker->problems();
}

void BanYanWatch::checkAll() {
    m_timer->stop();
    m_checker->checkAll();
}

void BanYanWatch::checkNow() {
    m_timer->stop();
    m_checker->checkEdits();
}

void BanYanWatch::mark(bool all, const QVector<music::Place> &lines) {
    const QScopedValueRollback<bool> guard(m_marking, true);
    if (all) {
        m_lyric->highlighter()->rehighlight();
        m_score->highlighter()->rehighlight();
    } else {
        for (const music::Place &at : lines) {
            const bool lyric = at.pane == Pane::Lyric;
            QSyntaxHighlighter *h = lyric
                                        ? static_cast<QSyntaxHighlighter *>(m_lyric->highlighter())
                                        : static_cast<QSyntaxHighlighter *>(m_score->highlighter());
            const QTextBlock b =
                (lyric ? m_lyric->document() : m_score->document())->findBlockByNumber(at.line);
            if (b.isValid()) {
                h->rehighlightBlock(b);
            }
        }
    }
    emit problemsChanged();
}
