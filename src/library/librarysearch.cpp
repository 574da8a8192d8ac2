#include "library/librarysearch.h"

#include "library/paircodec.h"
#include "library/pitchphrase.h"
#include "library/scoresummary.h"

#include <QSet>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

namespace {

using Field = LibraryQuery::Field;

bool isSungCharacter(QChar c) {
    return c == QLatin1Char(' ') || (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FA5);
}

// The text as FTS5 takes it: one string.
QString ftsString(const QString &text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool before(const LibraryHit &a, const LibraryHit &b) {
    if (a.path != b.path) {
        return a.path < b.path;
    }
    if (a.lyricLine != b.lyricLine) {
        return a.lyricLine < b.lyricLine;
    }
    if (a.lyricColumn != b.lyricColumn) {
        return a.lyricColumn < b.lyricColumn;
    }
    return a.scoreLine < b.scoreLine ||
           (a.scoreLine == b.scoreLine && a.scoreColumn < b.scoreColumn);
}

} // namespace

LibrarySearch::LibrarySearch(QSqlDatabase db, QStringList folders)
    : m_db(std::move(db))
    , m_folders(std::move(folders)) {}

void LibrarySearch::loadFiles() {
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.exec(QStringLiteral("SELECT id, path, title, title_line FROM files"));
    while (q.next()) {
        const QString path = q.value(1).toString();
        if (LibraryIndex::isUnder(path, m_folders)) {
            m_files.insert(q.value(0).toLongLong(),
                           {path, q.value(2).toString(), q.value(3).toInt()});
        }
    }
}

LibraryHit *LibrarySearch::add(Hits *hits, qint64 file) {
    const auto f = m_files.constFind(file);
    if (f == m_files.constEnd()) {
        return nullptr;
    }
    QVector<LibraryHit> &list = (*hits)[file];
    list.append(LibraryHit());
    LibraryHit *hit = &list.last();
    hit->path = f->path;
    hit->title = f->title;
    return hit;
}

QVector<LibraryHit> LibrarySearch::run(const LibraryQuery &query, LibraryIndex::SearchInfo *info) {
    LibraryIndex::SearchInfo local;
    LibraryIndex::SearchInfo &out = info ? *info : local;
    out = LibraryIndex::SearchInfo();
    if (query.isEmpty()) {
        return {};
    }
    loadFiles();
    QVector<Hits> perTerm;
    for (const LibraryQuery::Term &term : query.terms()) {
        perTerm.append(find(term, &out.error));
        if (!out.error.isEmpty()) {
            return {};
        }
    }
    // The files every term found.
    QVector<LibraryHit> hits;
    for (auto it = perTerm.first().constBegin(); it != perTerm.first().constEnd(); ++it) {
        bool everywhere = true;
        for (int t = 1; t < perTerm.size() && everywhere; ++t) {
            everywhere = perTerm.at(t).contains(it.key());
        }
        if (!everywhere) {
            continue;
        }
        for (const Hits &h : qAsConst(perTerm)) {
            hits += h.value(it.key());
        }
    }
    std::sort(hits.begin(), hits.end(), before);
    hits.erase(std::unique(hits.begin(), hits.end(),
                           [](const LibraryHit &a, const LibraryHit &b) {
                               return a.path == b.path && a.lyricLine == b.lyricLine &&
                                      a.lyricColumn == b.lyricColumn &&
                                      a.lyricLength == b.lyricLength &&
                                      a.scoreLine == b.scoreLine && a.scoreColumn == b.scoreColumn;
                           }),
               hits.end());
    if (hits.size() > LibraryIndex::maxHits) {
        hits.resize(LibraryIndex::maxHits);
        out.truncated = true;
    }
    return hits;
}

LibrarySearch::Hits LibrarySearch::find(const LibraryQuery::Term &term, QString *error) {
    Hits hits;
    switch (term.field) {
    case Field::Any:
        findTitle(term.text, &hits);
        findTune(Field::QuPai, term.text, &hits);
        findWords(term.text, &hits);
        // Pitch signs pasted alone are a melody.
        if (GongcheSymbol::codeOf(term.text.left(2)) != 0) {
            QString ignored;
            findMelody(term.text, false, &hits, &ignored);
        }
        break;
    case Field::Title:
        findTitle(term.text, &hits);
        break;
    case Field::QuPai:
    case Field::GongDiao:
    case Field::DiSe:
    case Field::BanShi:
        findTune(term.field, term.text, &hits);
        break;
    case Field::Lyric:
        findWords(term.text, &hits);
        break;
    case Field::Melody:
    case Field::Interval:
        findMelody(term.text, term.field == Field::Interval, &hits, error);
        break;
    }
    return hits;
}

void LibrarySearch::findTitle(const QString &text, Hits *hits) {
    for (auto it = m_files.constBegin(); it != m_files.constEnd(); ++it) {
        const int at = it->title.indexOf(text, 0, Qt::CaseInsensitive);
        if (at < 0) {
            continue;
        }
        LibraryHit *hit = add(hits, it.key());
        hit->field = Field::Title;
        hit->context = it->title;
        hit->contextStart = at;
        hit->contextLength = text.size();
        hit->lyricLine = it->titleLine;
    }
}

void LibrarySearch::findTune(Field field, const QString &text, Hits *hits) {
    const char *column = field == Field::QuPai      ? "qupai"
                         : field == Field::GongDiao ? "gongdiao"
                         : field == Field::DiSe     ? "dise"
                                                    : "banshi";
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT file_id, line, heading, %1 FROM tunes WHERE instr(%1, ?) > 0")
                  .arg(QLatin1String(column)));
    q.addBindValue(text);
    q.exec();
    while (q.next()) {
        LibraryHit *hit = add(hits, q.value(0).toLongLong());
        if (!hit) {
            continue;
        }
        hit->field = field;
        hit->lyricLine = q.value(1).toInt();
        const QString heading = q.value(2).toString();
        const QString value = q.value(3).toString();
        if (field == Field::QuPai || field == Field::GongDiao) {
            hit->context = heading;
            const int from = field == Field::QuPai ? 0 : heading.lastIndexOf(value);
            hit->contextStart = std::max(0, heading.indexOf(text, std::max(0, from)));
            hit->lyricLength = heading.size();
        } else {
            const QString label = LibraryQuery::fieldName(field) + QLatin1Char('=');
            hit->context = (heading.isEmpty() ? QString() : heading + QLatin1Char(' ')) + label;
            hit->contextStart = hit->context.size() + value.indexOf(text);
            hit->context += value;
        }
        hit->contextLength = text.size();
    }
}

void LibrarySearch::findWords(const QString &text, Hits *hits) {
    const QString words = ScoreSummary::searchable(text);
    if (words.isEmpty()) {
        return;
    }
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (words.size() >= 3) {
        q.prepare(QStringLiteral("SELECT lines.file_id, lines.line, lines.first_char, lines.text "
                                 "FROM line_words JOIN lines ON lines.id = line_words.rowid "
                                 "WHERE line_words MATCH ?"));
        q.addBindValue(ftsString(words));
    } else {
        q.prepare(QStringLiteral("SELECT file_id, line, first_char, text FROM lines "
                                 "WHERE instr(words, ?) > 0"));
        q.addBindValue(words);
    }
    q.exec();
    while (q.next()) {
        const qint64 file = q.value(0).toLongLong();
        if (!m_files.contains(file)) {
            continue;
        }
        const QString line = q.value(3).toString();
        QVector<int> offsets;
        const QString lineWords = ScoreSummary::searchable(line, &offsets);
        for (const int at : PitchPhrase::occurrences(lineWords, words)) {
            LibraryHit *hit = add(hits, file);
            const int start = offsets.at(at);
            const int end = offsets.at(at + words.size() - 1) + 1;
            hit->field = Field::Lyric;
            hit->context = line;
            hit->contextStart = start;
            hit->contextLength = end - start;
            hit->lyricLine = q.value(1).toInt();
            hit->lyricColumn = start;
            hit->lyricLength = end - start;
            const int first = q.value(2).toInt();
            if (first >= 0) {
                int before = 0;
                for (int c = 0; c < start; ++c) {
                    before += isSungCharacter(line.at(c)) ? 1 : 0;
                }
                hit->scoreLine = first + before;
            }
        }
    }
}

void LibrarySearch::findMelody(const QString &text, bool intervals, Hits *hits, QString *error) {
    QString bad;
    const QVector<int> phrase = PitchPhrase::parse(text, &bad);
    if (!bad.isEmpty()) {
        *error = QStringLiteral("“%1”不是工尺字").arg(bad);
        return;
    }
    if (phrase.size() < 2) {
        *error = QStringLiteral("腔至少要两个工尺字");
        return;
    }
    const QString needle = intervals ? PitchPhrase::stepKey(phrase) : PitchPhrase::pitchKey(phrase);
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT file_id, %1, places, characters FROM melody "
                             "WHERE instr(%1, ?) > 0")
                  .arg(intervals ? QLatin1String("steps") : QLatin1String("pitches")));
    q.addBindValue(needle);
    q.exec();
    QSqlQuery lines(m_db);
    lines.prepare(QStringLiteral("SELECT line, text FROM lines WHERE file_id=?"));
    while (q.next()) {
        const qint64 file = q.value(0).toLongLong();
        if (!m_files.contains(file)) {
            continue;
        }
        const QString key = q.value(1).toString();
        const QVector<QPair<int, int>> places = PairCodec::decode(q.value(2).toByteArray());
        const QVector<QPair<int, int>> characters = PairCodec::decode(q.value(3).toByteArray());
        QHash<int, QString> lineText;
        lines.addBindValue(file);
        lines.exec();
        while (lines.next()) {
            lineText.insert(lines.value(0).toInt(), lines.value(1).toString());
        }
        for (const int at : PitchPhrase::occurrences(key, needle)) {
            const int last = at + phrase.size() - 1;
            if (last >= places.size()) {
                continue;
            }
            const QPair<int, int> first = places.at(at);
            const QPair<int, int> end = places.at(last);
            LibraryHit *hit = add(hits, file);
            hit->field = intervals ? Field::Interval : Field::Melody;
            hit->scoreLine = first.first;
            hit->scoreColumn = first.second;
            hit->scoreLength = 2;
            if (first.first >= 0 && first.first < characters.size()) {
                const QPair<int, int> from = characters.at(first.first);
                const QPair<int, int> to =
                    end.first < characters.size() ? characters.at(end.first) : from;
                hit->lyricLine = from.first;
                hit->lyricColumn = from.second;
                hit->lyricLength = 1;
                hit->context = lineText.value(from.first);
                hit->contextStart = from.second;
                hit->contextLength =
                    (to.first == from.first ? to.second + 1 : hit->context.size()) - from.second;
            }
        }
    }
}
