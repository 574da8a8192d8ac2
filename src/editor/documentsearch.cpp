#include "editor/documentsearch.h"

#include "model/ordinarygongche.h"

#include <QTextBlock>
#include <QTextDocument>
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
