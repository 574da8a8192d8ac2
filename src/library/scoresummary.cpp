#include "library/scoresummary.h"

#include "library/pitchphrase.h"
#include "model/linegrammar.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "music/melodybuilder.h"

#include <QRegularExpression>

namespace {

using music::MelodyBuilder;

// The name and mode of a heading: 【皂罗袍】(仙吕) → 皂罗袍, 仙吕.
void readHeading(const QString &heading, QString *quPai, QString *gongDiao) {
    static const QRegularExpression pattern(QStringLiteral("^【(.+?)】(?:[（(](.+?)[)）])?"));
    const QRegularExpressionMatch m = pattern.match(heading);
    if (m.hasMatch()) {
        *quPai = m.captured(1).trimmed();
        *gongDiao = m.captured(2).trimmed();
    }
}

QString titleOf(const QString &line) {
    return line.mid(1).trimmed();
}

bool isSungCharacter(QChar c) {
    return c == QLatin1Char(' ') || (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FA5);
}

} // namespace

ScoreSummary ScoreSummary::read(const QString &path, QString *problem) {
    QString lyric, score;
    ScoreFileDamage damage = ScoreFileDamage::None;
    const Outcome outcome = readScoreFile(path, &lyric, &score, &damage);
    if (!outcome) {
        if (problem) {
            *problem = outcome.message();
        }
        return ScoreSummary();
    }
    ScoreSummary summary = fromTexts(lyric, score);
    if (problem) {
        problem->clear();
        if (damage != ScoreFileDamage::None) {
            const bool nothing = lyric.trimmed().isEmpty() && score.trimmed().isEmpty();
            *problem =
                QStringLiteral("文件已损坏（%1），%2")
                    .arg(scoreFileDamageReason(damage),
                         nothing ? QStringLiteral("无法读取") : QStringLiteral("只读入了一部分"));
        }
    }
    return summary;
}

ScoreSummary ScoreSummary::fromTexts(const QString &lyric, const QString &score) {
    ScoreSummary s;
    const DocumentLines lines = renderModel(lyric, score);

    // Lines: the title, the words, and where each sung character stands.
    int character = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const DocumentLine &line = lines.at(i);
        if (line.kind == LineKind::Title && s.titleLine < 0 && !titleOf(line.text).isEmpty()) {
            s.title = titleOf(line.text);
            s.titleLine = i;
        }
        if (line.kind == LineKind::LianBai || line.kind == LineKind::JiaBai) {
            s.lines.append({i, line.text, -1});
        }
        if (isDirectiveLine(line.text)) {
            continue;
        }
        const int first = character;
        for (int c = 0; c < line.text.size(); ++c) {
            if (isSungCharacter(line.text.at(c))) {
                s.characters.append({i, c});
                ++character;
            }
        }
        if (character > first && !line.text.trimmed().isEmpty()) {
            s.lines.append({i, line.text, first});
        }
    }

    // Tunes: their names from the headings, 笛色 and 板式 from the melody.
    const MelodyBuilder builder;
    const music::Melody melody = builder.build(lines);
    const QVector<MelodyBuilder::Tune> tunes = MelodyBuilder::tunes(lines);
    const int characterCount = MelodyBuilder::sungCharacters(lines);
    for (int t = 0; t < tunes.size(); ++t) {
        const MelodyBuilder::Tune &where = tunes.at(t);
        Tune tune;
        const bool headed = lines.at(where.firstLine).kind == LineKind::QuPai;
        const int nextCharacter =
            t + 1 < tunes.size() ? tunes.at(t + 1).firstCharacter : characterCount;
        if (!headed && nextCharacter == where.firstCharacter) {
            continue; // lines before the first heading with nothing sung
        }
        tune.lyricLine = where.firstLine;
        if (headed) {
            tune.heading = lines.at(where.firstLine).text;
            readHeading(tune.heading, &tune.quPai, &tune.gongDiao);
        }
        const int sectionLine = headed ? where.firstLine : -1;
        for (const music::Section &section : melody.sections) {
            if (section.lyricLine == sectionLine) {
                tune.diSe = builder.rules().keyName(section.key, section.keyVariant);
                tune.banShi = builder.rules().meterName(section.meter, section.zeng);
                break;
            }
        }
        s.tunes.append(tune);
    }
    if (s.titleLine < 0) {
        for (const Tune &tune : qAsConst(s.tunes)) {
            if (!tune.quPai.isEmpty()) {
                s.title = tune.quPai;
                s.titleLine = tune.lyricLine;
                break;
            }
        }
    }

    // The melody: every pitch sign of every score line, tunes kept apart.
    const QStringList scoreLines = editorLines(score);
    int tune = 0;
    for (int line = 0; line < scoreLines.size() && line < characterCount; ++line) {
        while (tune + 1 < tunes.size() && tunes.at(tune + 1).firstCharacter <= line) {
            ++tune;
            if (!s.pitches.isEmpty() && s.pitches.back() != PitchPhrase::Separator) {
                s.pitches.append(PitchPhrase::Separator);
                s.places.append(NotePlace());
            }
        }
        const QString &text = scoreLines.at(line);
        for (int c = 0; c < text.size(); ++c) {
            char32_t code = text.at(c).unicode();
            const bool pair = text.at(c).isHighSurrogate() && c + 1 < text.size() &&
                              text.at(c + 1).isLowSurrogate();
            if (pair) {
                code = QChar::surrogateToUcs4(text.at(c), text.at(c + 1));
            }
            const int pc = PitchPhrase::pitchClass(GongcheSymbol(code));
            if (pc >= 0) {
                s.pitches.append(QLatin1Char(char('a' + pc)));
                s.places.append({line, c});
            }
            if (pair) {
                ++c;
            }
        }
    }
    return s;
}

QString ScoreSummary::searchable(const QString &text, QVector<int> *offsets) {
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isLetterOrNumber()) {
            out.append(c.toCaseFolded());
            if (offsets) {
                offsets->append(i);
            }
        }
    }
    return out;
}
