#include "music/melodybuilder.h"

#include "model/gongchesymbol.h"
#include "model/linegrammar.h"
#include "music/annotation.h"
#include "music/beatsplitter.h"
#include "music/meterdetector.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

namespace music {

namespace {

using S = GongcheSymbol;

// A pitch sign as the score writes it, before it has a time.
struct Pitch {
    GongcheSymbol symbol;
    int character = -1;
    QString lyric;            // on the first pitch of a character
    bool sentenceEnd = false; // the last pitch of a character before 。！？
    bool firstOfCharacter = false;
    bool diBan = false;
    QVector<S::Ornament> ornaments;
    Place place;
    int lyricLine = 0;
    int lyricColumn = 0;
};

// A beat mark and the point of the pitch stream it marks: cut 2j is the onset
// of pitch j, 2j + 1 a point inside it (腰: held across the beat), 2j + 2 its
// end (底), which is the onset of pitch j + 1.
struct Mark {
    GongcheSymbol symbol;
    int cut = 0;
    int pitch = -1; // the pitch it is written after
    qint64 beat = 0;
    bool valid = true;
    bool sameAsPrevious = false; // a 头板 on the 底板 just before it: one 板
    Place place;
    int lyricLine = 0;
    int lyricColumn = 0;
};

// A problem and where it stands in the document, for reporting in order.
struct Found {
    int line = 0;
    int column = 0;
    int scoreColumn = 0;
    Problem problem;
};

Place scorePlace(int character, int column, int length) {
    Place p;
    p.pane = Place::Pane::Score;
    p.line = character;
    p.column = column;
    p.length = length;
    return p;
}

Place lyricPlace(int line) {
    Place p;
    p.pane = Place::Pane::Lyric;
    p.line = line;
    return p;
}

qint64 floorDiv(qint64 a, qint64 b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The tune name of a heading: what stands between 【 and 】.
QString headingName(const QString &text) {
    const int open = text.indexOf(QChar(0x3010));
    const int close = text.indexOf(QChar(0x3011), open + 1);
    return open >= 0 && close > open ? text.mid(open + 1, close - open - 1) : QString();
}

Problem &report(QVector<Found> *found, int line, int column, int scoreColumn,
                Problem::Severity severity, const Place &place, const QString &message,
                const QString &advice = {}) {
    Problem p;
    p.severity = severity;
    p.place = place;
    p.message = message;
    p.advice = advice;
    found->append({line, column, scoreColumn, p});
    return found->last().problem;
}

// The notes one reading of a tune produces, and what it found on the way.
class TuneReader {
public:
    explicit TuneReader(QVector<Found> *found)
        : m_found(found) {}

    std::vector<Pitch> pitches;
    std::vector<Mark> marks;
    struct Silent {
        int character;
        int line;
        int column;
    };
    std::vector<Silent> silent; // characters whose score line holds no pitch

    void readCharacter(QChar ch, const QString &score, int character, int lyricLine,
                       int lyricColumn, bool sentenceEnd) {
        const Where where{character, lyricLine, lyricColumn};
        bool hasPitch = false;
        const int firstPitch = int(pitches.size());
        int badStart = -1;
        const auto flushBad = [&](int end) {
            if (badStart >= 0) {
                report(lyricLine, lyricColumn, badStart, Problem::Severity::Error,
                       scorePlace(character, badStart, end - badStart),
                       QStringLiteral("不是工尺符号"),
                       QStringLiteral("请删去，或用输入法重新输入工尺"));
                badStart = -1;
            }
        };
        for (int k = 0; k < score.size();) {
            const QChar q = score.at(k);
            char32_t code = 0;
            int length = 1;
            if (q.isHighSurrogate() && k + 1 < score.size() && score.at(k + 1).isLowSurrogate()) {
                code = QChar::surrogateToUcs4(q, score.at(k + 1));
                length = 2;
            }
            const GongcheSymbol symbol(code);
            if (symbol.isValid()) {
                flushBad(k);
                readSymbol(symbol, scorePlace(character, k, length), where, &hasPitch);
            } else if (q.isSpace()) {
                flushBad(k);
            } else if (badStart < 0) {
                badStart = k;
            }
            k += length;
        }
        flushBad(score.size());
        finishCharacter(ch, where, firstPitch, hasPitch, sentenceEnd);
    }

    void report(int line, int column, int scoreColumn, Problem::Severity severity,
                const Place &place, const QString &message, const QString &advice) {
        ::music::report(m_found, line, column, scoreColumn, severity, place, message, advice);
    }

private:
    // The character a score line belongs to and where it stands in the lyric.
    struct Where {
        int character;
        int lyricLine;
        int lyricColumn;
    };

    // A pitch, beat mark or ornament read at place; hasPitch tells whether
    // this character has a pitch before it.
    void readSymbol(const GongcheSymbol &symbol, const Place &place, const Where &where,
                    bool *hasPitch) {
        if (symbol.isPitch()) {
            Pitch p;
            p.symbol = symbol;
            p.character = where.character;
            p.place = place;
            p.lyricLine = where.lyricLine;
            p.lyricColumn = where.lyricColumn;
            pitches.push_back(p);
            *hasPitch = true;
        } else if (pitches.empty()) {
            const bool mark = symbol.isBeatMark();
            report(where.lyricLine, where.lyricColumn, place.column,
                   mark ? Problem::Severity::Error : Problem::Severity::Warning, place,
                   mark ? QStringLiteral("板眼前没有工尺") : QStringLiteral("腔格前没有工尺"),
                   mark ? QStringLiteral("板眼记号属于写在它前面的工尺，请把它移到工尺后面")
                        : QStringLiteral("腔格属于写在它前面的工尺，请把它移到工尺后面"));
        } else if (symbol.isBeatMark()) {
            readBeatMark(symbol, place, where, *hasPitch);
        } else {
            pitches.back().ornaments.append(symbol.ornament());
        }
    }

    // A beat mark after the last pitch read, marking the cut its position
    // names.
    void readBeatMark(const GongcheSymbol &symbol, const Place &place, const Where &where,
                      bool hasPitch) {
        const int j = int(pitches.size()) - 1;
        Mark m;
        m.symbol = symbol;
        m.pitch = j;
        switch (symbol.beatPosition()) {
        case S::BeatPosition::Tou:
            // After a pitch of its line: that pitch's onset. Before any: drawn
            // between the previous character's last pitch and the next, it
            // marks the boundary.
            m.cut = hasPitch ? 2 * j : 2 * j + 2;
            break;
        case S::BeatPosition::Yao:
            m.cut = 2 * j + 1;
            break;
        case S::BeatPosition::Di:
            m.cut = 2 * j + 2;
            pitches[j].diBan = true;
            break;
        }
        m.place = place;
        m.lyricLine = where.lyricLine;
        m.lyricColumn = where.lyricColumn;
        marks.push_back(m);
    }

    // The character's syllable on its first pitch, or the character listed
    // as silent when its line has none.
    void finishCharacter(QChar ch, const Where &where, int firstPitch, bool hasPitch,
                         bool sentenceEnd) {
        if (hasPitch) {
            Pitch &first = pitches[firstPitch];
            first.firstOfCharacter = true;
            // A space owns a score line but sings no syllable.
            first.lyric = ch == QLatin1Char(' ') ? QString() : QString(ch);
            pitches.back().sentenceEnd = sentenceEnd;
        } else if (ch != QLatin1Char(' ')) {
            silent.push_back({where.character, where.lyricLine, where.lyricColumn});
        }
    }

    QVector<Found> *m_found;
};

// Whether the characters after position c of a lyric line, up to its next
// sung character, end a sentence.
bool endsSentence(const QString &text, int c, const QString &sentenceEnds) {
    for (int d = c + 1; d < text.size() && !isSungChar(text.at(d)); ++d) {
        if (sentenceEnds.contains(text.at(d))) {
            return true;
        }
    }
    return false;
}

QVector<int> range(int from, int to) {
    QVector<int> r;
    for (int j = from; j < to; ++j) {
        r.append(j);
    }
    return r;
}

QVector<bool> smallOf(const std::vector<Pitch> &pitches, const QVector<int> &group) {
    QVector<bool> out;
    out.reserve(group.size());
    for (int j : group) {
        out.append(pitches.at(size_t(j)).symbol.isSmall());
    }
    return out;
}

// The meter a tune's marks suggest (底板 apart), and why.
MeterDetector::Guess guessMeter(const std::vector<Mark> &marks, const std::vector<Pitch> &pitches,
                                const MusicRules &rules) {
    MeterDetector::Counts counts;
    for (const Mark &m : marks) {
        switch (m.symbol.beat()) {
        case S::Beat::Ban:
            if (m.symbol.beatPosition() == S::BeatPosition::Di) {
                ++counts.diBan;
            } else {
                ++counts.ban;
            }
            break;
        case S::Beat::XiaoYan:
            ++counts.xiaoYan;
            break;
        case S::Beat::ZhongYan:
            ++counts.zhongYan;
            break;
        case S::Beat::ZengBan:
            ++counts.zengBan;
            break;
        }
    }
    for (const Pitch &p : pitches) {
        counts.notes += p.symbol.isSmall() ? 0.5 : 1.0;
    }
    return MeterDetector::detect(counts, rules);
}

// The settings line that states a meter.
QString meterLine(const QString &meterName) {
    return QStringLiteral("; 板式=") + meterName;
}

// What the lines of one tune say before any rule of time applies: its name,
// its settings, and (in the reader) its pitches and marks.
struct TuneText {
    TuneSettings settings; // in force at its first sung line
    QString quPai;
    int headingLine = -1;
    int firstSungLine = 0;
};

TuneText readTune(const DocumentLines &tuneLines, int firstLyricLine, int firstCharacter,
                  const TuneSettings &settings, const MusicRules &rules, TuneReader *reader,
                  QVector<Found> *found) {
    TuneText out;
    out.firstSungLine = firstLyricLine;
    TuneSettings current = settings;
    bool fixed = false;
    int character = firstCharacter;
    for (int i = 0; i < tuneLines.size(); ++i) {
        const DocumentLine &line = tuneLines.at(i);
        const int lyricLine = firstLyricLine + i;
        if (line.kind == LineKind::QuPai) {
            if (i == 0) {
                out.quPai = headingName(line.text);
                out.headingLine = lyricLine;
            }
            continue;
        }
        if (line.kind == LineKind::Comment) {
            if (Annotation::isAnnotation(line.text)) {
                QVector<Problem> problems;
                Annotation::apply(line.text, lyricLine, rules, &current, &problems);
                for (const Problem &p : problems) {
                    found->append({lyricLine, p.place.column, -1, p});
                }
            }
            continue;
        }
        if (line.kind != LineKind::Lyric || isDirectiveLine(line.text)) {
            continue;
        }
        const QString &text = line.text;
        if (!fixed && sungCharCount(text) > 0) {
            out.settings = current;
            fixed = true;
            out.firstSungLine = lyricLine;
        }
        int entry = 0; // scores has one entry per character, a surrogate pair being one
        for (int c = 0; c < text.size(); ++c, ++entry) {
            const QChar ch = text.at(c);
            if (ch.isHighSurrogate() && c + 1 < text.size() && text.at(c + 1).isLowSurrogate()) {
                ++c;
                continue;
            }
            if (!isSungChar(ch)) {
                continue;
            }
            reader->readCharacter(ch, line.scores.value(entry), character++, lyricLine, c,
                                  endsSentence(text, c, rules.sentenceEnds));
        }
    }
    if (!fixed) {
        out.settings = current;
    }
    return out;
}

// The section of a tune, with its meter stated or read from the marks.
Section chooseMeter(const TuneText &text, const TuneReader &reader, const MusicRules &rules,
                    QVector<Found> *found) {
    const TuneSettings &tune = text.settings;
    Section section;
    section.quPai = text.quPai;
    section.lyricLine = text.headingLine;
    section.key = tune.key;
    section.keyVariant = tune.keyVariant;
    section.tempo = tune.tempo;
    section.octave = tune.octave;
    section.noteCount = int(reader.pitches.size());
    if (tune.meterStated) {
        section.meter = tune.meter;
        section.zeng = tune.zeng;
        section.meterGuessed = false;
        return section;
    }
    const MeterDetector::Guess guess = guessMeter(reader.marks, reader.pitches, rules);
    section.meter = guess.meter;
    section.zeng = guess.zeng;
    section.meterGuessed = true;
    if (!reader.pitches.empty()) {
        const int line = text.headingLine >= 0 ? text.headingLine : text.firstSungLine;
        const QString name = rules.meterName(section.meter, section.zeng);
        Problem &p = report(found, line, -1, -1, Problem::Severity::Information, lyricPlace(line),
                            QStringLiteral("推测板式：%1").arg(name));
        p.advice = QStringLiteral("依据：%1。若不对，请在曲牌下写明板式，如“%2”")
                       .arg(guess.reason, meterLine(name));
        p.fix = meterLine(name);
        p.fixLine = text.firstSungLine;
    }
    return section;
}

// Which marks count for the time: those the meter has, and not a 腰 mark on a
// note its 底板 has already ended. The marks that count, in order.
std::vector<int> checkMarks(std::vector<Mark> *marks, const std::vector<Pitch> &pitches,
                            const MusicRules::MeterRule &rule, const Section &section,
                            int firstSungLine, const MusicRules &rules, QVector<Found> *found) {
    const QString meterName = rules.meterName(section.meter, section.zeng);
    // What the marks suggest instead of a stated meter they do not fit.
    const MeterDetector::Guess guess = guessMeter(*marks, pitches, rules);
    const QString suggested = rules.meterName(guess.meter, guess.zeng);
    std::vector<int> valid;
    const Mark *previous = nullptr;
    for (int i = 0; i < int(marks->size()); ++i) {
        Mark &m = (*marks)[size_t(i)];
        const bool di = m.symbol.beatPosition() == S::BeatPosition::Di;
        m.valid = rule.beats > 0 ? !rule.indices(m.symbol.beat()).isEmpty() : di;
        if (!m.valid && !section.meterGuessed) {
            Problem &p = report(found, m.lyricLine, m.lyricColumn, m.place.column,
                                Problem::Severity::Warning, m.place,
                                QStringLiteral("%1中不应有%2").arg(meterName, m.symbol.name()),
                                QStringLiteral("请删去这个记号"));
            if (suggested != meterName) {
                p.advice = QStringLiteral("请删去这个记号，或写明这些记号所合的板式“%1”")
                               .arg(meterLine(suggested));
                p.fix = meterLine(suggested);
                p.fixLine = firstSungLine;
            }
        }
        if (m.valid && rule.beats > 0 && previous && previous->pitch == m.pitch &&
            previous->symbol.beatPosition() == S::BeatPosition::Di &&
            m.symbol.beatPosition() == S::BeatPosition::Yao) {
            m.valid = false;
            report(found, m.lyricLine, m.lyricColumn, m.place.column, Problem::Severity::Error,
                   m.place, QStringLiteral("%1写在底板之后").arg(m.symbol.name()),
                   QStringLiteral("底板已结束此音，请删去其中一个"));
        }
        if (m.valid) {
            valid.push_back(i);
            previous = &m;
        }
    }
    return valid;
}

// The pitch classes a tune uses (semitones from 上, 0–11): the scale its
// ornaments move in. A tune of fewer than three keeps the whole scale.
QVector<int> tuneScale(const std::vector<Pitch> &pitches, const MusicRules &rules) {
    std::array<bool, 12> used{};
    for (const Pitch &p : pitches) {
        used[size_t(((rules.semitones(p.symbol) % 12) + 12) % 12)] = true;
    }
    QVector<int> scale;
    for (int pc = 0; pc < 12; ++pc) {
        if (used[size_t(pc)]) {
            scale.append(pc);
        }
    }
    if (scale.size() < 3) {
        scale.clear();
        for (int s : rules.pitchSemitones) {
            scale.append(s);
        }
    }
    return scale;
}

// The notes of a tune, before they have times: pitches in the key, checked
// against the flute's compass, with their ornaments in the tune's scale.
void pitchNotes(const std::vector<Pitch> &pitches, const TuneSettings &tune,
                const MusicRules &rules, Melody *out, QVector<Found> *found) {
    const int n = int(pitches.size());
    out->notes.resize(n);
    const int shang = rules.shangMidi(tune.key, tune.keyVariant);
    const QVector<int> scale = tuneScale(pitches, rules);
    const auto step = [&](int semitones, int steps) {
        return rules.midi(MusicRules::scaleStep(semitones, steps, scale), tune.key, tune.keyVariant,
                          tune.octave);
    };
    for (int j = 0; j < n; ++j) {
        const Pitch &p = pitches.at(size_t(j));
        Note &note = out->notes[j];
        const int semitones = rules.semitones(p.symbol);
        const int written = shang + semitones;
        if (written < rules.fluteLowest || written > rules.fluteHighest) {
            report(found, p.lyricLine, p.lyricColumn, p.place.column, Problem::Severity::Warning,
                   p.place, QStringLiteral("超出笛子音域"),
                   QStringLiteral("笛子的音域是 A4–A6：请检查这个音的八度，或换一个笛色"));
        }
        note.midi = written + 12 * tune.octave;
        note.character = p.character;
        note.lyric = p.lyric;
        note.small = p.symbol.isSmall();
        note.breathAfter = p.symbol.hasQiKou();
        note.place = p.place;
        for (S::Ornament o : p.ornaments) {
            const MusicRules::OrnamentRule *r = rules.ornamentRule(o);
            if (!r) {
                continue;
            }
            for (int s : r->before) {
                note.gracesBefore.append(step(semitones, s));
            }
            for (int s : r->after) {
                note.gracesAfter.append(step(semitones, s));
            }
            note.breathAfter = note.breathAfter || r->breathAfter;
        }
    }
}

// The time an ornament's notes take from the end of a note, once its length
// is known.
void spanOrnaments(const std::vector<Pitch> &pitches, const MusicRules &rules, Melody *out) {
    for (int j = 0; j < out->notes.size(); ++j) {
        Note &note = out->notes[j];
        for (S::Ornament o : pitches.at(size_t(j)).ornaments) {
            const MusicRules::OrnamentRule *r = rules.ornamentRule(o);
            if (r && (r->longSpan > 0 || r->shortSpan > 0)) {
                const qint64 span = note.duration >= r->longFrom ? r->longSpan : r->shortSpan;
                note.graceAfterTicks =
                    std::max(note.graceAfterTicks, std::min(span, note.duration / 2));
            }
        }
    }
}

void sortProblems(QVector<Found> *found, Melody *out) {
    std::stable_sort(found->begin(), found->end(), [](const Found &a, const Found &b) {
        if (a.line != b.line) {
            return a.line < b.line;
        }
        if (a.column != b.column) {
            return a.column < b.column;
        }
        return a.scoreColumn < b.scoreColumn;
    });
    out->problems.reserve(out->problems.size() + found->size());
    for (const Found &f : *found) {
        out->problems.append(f.problem);
    }
}

// Lays notes out one after another from start; a note met again (held across
// a 腰 mark) goes on sounding, the first time it is met is its onset.
void lay(Melody *out, std::vector<bool> *laid, qint64 start, const QVector<int> &group,
         const QVector<qint64> &durations) {
    qint64 t = start;
    for (int i = 0; i < group.size(); ++i) {
        Note &note = out->notes[group.at(i)];
        if (!(*laid)[size_t(group.at(i))]) {
            note.onset = t;
            (*laid)[size_t(group.at(i))] = true;
        }
        note.duration += durations.at(i);
        t += durations.at(i);
    }
}

// The length a note has in 散板: a beat, longer for a character's first,
// small notes half.
qint64 freeLength(const Pitch &p, const MusicRules &rules) {
    const qint64 d = p.firstOfCharacter ? rules.sanBanFirstNote : rules.sanBanNote;
    return p.symbol.isSmall() ? d / 2 : d;
}

// Lays the first `count` notes out freely from 0, the last holding
// (fermata). Returns their end.
qint64 layFree(const std::vector<Pitch> &pitches, int count, const MusicRules &rules, Melody *out) {
    qint64 t = 0;
    for (int j = 0; j < count; ++j) {
        const Pitch &p = pitches.at(size_t(j));
        Note &note = out->notes[j];
        note.onset = t;
        note.duration = freeLength(p, rules);
        note.fermata = p.diBan || p.sentenceEnd;
        t += note.duration;
    }
    if (count > 0) {
        out->notes[count - 1].fermata = true;
    }
    return t;
}

// 散板: a beat a note, longer for a character's first; a 底板 or the end of a
// sentence holds, and a 底板 clicks at the end of its note. Returns the end.
qint64 timeFree(const std::vector<Pitch> &pitches, const std::vector<Mark> &marks,
                const std::vector<int> &valid, const MusicRules &rules, Melody *out) {
    const qint64 end = layFree(pitches, int(pitches.size()), rules, out);
    if (!pitches.empty()) {
        const Pitch &last = pitches.back();
        out->notes.last().fermata = last.diBan || last.sentenceEnd;
    }
    for (int i : valid) {
        const Note &note = out->notes.at(marks.at(size_t(i)).pitch);
        out->clicks.append({note.onset + note.duration, true});
    }
    return end;
}

// A 板 position no mark stands on, between two marks.
struct MissedBan {
    int mark = 0;      // the mark after the gap
    qint64 beat = 0;   // the position, in beats of the mark stream
    int measure = 0;   // counted from the first whole measure, 1 on
    bool zeng = false; // the 赠板 of a 加赠 measure
};

// Where a measured tune's marks fall: the point of the pitch stream each one
// marks, then its beat, the first after the previous mark's whose index in the
// measure the mark may take. A 头板 right after a 底板 (no note between) is
// the same 板. The marks whose gap passes over an unmarked 板 go to missed,
// with the beat of that 板.
void placeMarks(std::vector<Mark> *marks, const std::vector<int> &valid, int n,
                const MusicRules::MeterRule &rule, std::vector<MissedBan> *missed) {
    // A second 头 mark on a note already started holds it across the beat.
    int prevCut = -1;
    S::BeatPosition prevPosition = S::BeatPosition::Tou;
    for (int i : valid) {
        Mark &m = (*marks)[size_t(i)];
        int cut = std::max(m.cut, prevCut);
        if (cut == prevCut && cut % 2 == 0 && prevPosition == S::BeatPosition::Tou && cut / 2 < n) {
            ++cut;
        }
        m.cut = cut;
        prevCut = cut;
        prevPosition = m.symbol.beatPosition();
    }
    const int beats = rule.beats;
    const QVector<int> strong = rule.strongIndices();
    const auto indexOf = [beats](qint64 beat) { return int(beat - floorDiv(beat, beats) * beats); };
    const Mark *prev = nullptr;
    for (int i : valid) {
        Mark &m = (*marks)[size_t(i)];
        const QVector<int> &indices = rule.indices(m.symbol.beat());
        qint64 beat = std::numeric_limits<qint64>::max();
        if (!prev) {
            for (int x : indices) {
                beat = std::min<qint64>(beat, x);
            }
        } else if (prev->symbol.beatPosition() == S::BeatPosition::Di &&
                   m.symbol.beat() == S::Beat::Ban &&
                   m.symbol.beatPosition() == S::BeatPosition::Tou && m.cut == prev->cut) {
            beat = prev->beat;
            m.sameAsPrevious = true;
        } else {
            const qint64 measureStart = prev->beat - indexOf(prev->beat);
            for (qint64 offset : {qint64(0), qint64(beats)}) {
                for (int x : indices) {
                    const qint64 candidate = measureStart + offset + x;
                    if (candidate > prev->beat && candidate < beat) {
                        beat = candidate;
                    }
                }
            }
            for (qint64 x = prev->beat + 1; x < beat; ++x) {
                if (strong.contains(indexOf(x))) {
                    missed->push_back({i, x, 0, false});
                    break;
                }
            }
        }
        m.beat = beat;
        prev = &m;
    }
}

// The slots of a group that must sound: the note held into it, and notes that
// carry a syllable.
QVector<bool> keepOf(const std::vector<Pitch> &pitches, const QVector<int> &group, bool held) {
    QVector<bool> out;
    out.reserve(group.size());
    for (int i = 0; i < group.size(); ++i) {
        out.append((held && i == 0) || pitches.at(size_t(group.at(i))).firstOfCharacter);
    }
    return out;
}

// Lays groups of a tune's pitches on beats, marking them laid.
struct Layer {
    const std::vector<Pitch> &pitches;
    const BeatSplitter &splitter;
    Melody *out;
    std::vector<bool> *laid;

    // A group sharing spanBeats beats from start; heldFirst: its first note
    // is held into the span from before.
    void share(qint64 start, const QVector<int> &group, int spanBeats, bool heldFirst) const {
        lay(out, laid, start, group,
            splitter.span(spanBeats, smallOf(pitches, group), keepOf(pitches, group, heldFirst)));
    }
    // A group a beat a note from start.
    void eachABeat(qint64 start, const QVector<int> &group) const {
        lay(out, laid, start, group, splitter.eachABeat(smallOf(pitches, group)));
    }
};

// The ticks of the beats of the mark stream, from the first measured note.
struct BeatClock {
    qint64 startBeat = 0;
    qint64 measuredStart = 0;
    qint64 tick(qint64 beat) const { return measuredStart + (beat - startBeat) * ticksPerBeat; }
};

// The opening: the notes before the first mark. One character of a few notes
// is a one-beat pickup; more are sung freely, up to the note the first mark
// falls in or on. The clock of the measured part after them.
BeatClock layOpening(const Layer &layer, const Mark &firstMark, const MusicRules &rules) {
    const std::vector<Pitch> &pitches = layer.pitches;
    const int n = int(pitches.size());
    const int before = std::min((firstMark.cut + 1) / 2, n);
    const int characters =
        before > 0 ? pitches.at(size_t(before - 1)).character - pitches.front().character + 1 : 0;
    const bool free =
        before > 0 && (characters > rules.pickupCharacters || before > rules.pickupNotes);
    const int freeCount = free ? std::min(firstMark.cut / 2, n) : 0;
    BeatClock clock;
    if (freeCount > 0) {
        clock.measuredStart = layFree(pitches, freeCount, rules, layer.out);
        for (int j = 0; j < freeCount; ++j) {
            (*layer.laid)[size_t(j)] = true;
        }
    }
    const int pickup = before - freeCount;
    clock.startBeat = firstMark.beat - (pickup > 0 ? 1 : 0);
    if (pickup > 0) {
        layer.share(clock.measuredStart, range(freeCount, before), 1, false);
    }
    return clock;
}

// The notes from the first mark on: those between two marks share the beats
// between them, those after the last take a beat each. Whether the tune ends
// on a 底板 with no note after it.
bool layMarkedSpans(const Layer &layer, const std::vector<Mark> &marks,
                    const std::vector<int> &valid, const BeatClock &clock) {
    const int n = int(layer.pitches.size());
    // The note held into a span from a 腰 mark at its start.
    const auto held = [n](int cut) {
        return cut % 2 == 1 && cut / 2 < n ? QVector<int>{cut / 2} : QVector<int>();
    };
    for (size_t v = 0; v + 1 < valid.size(); ++v) {
        const Mark &a = marks.at(size_t(valid.at(v)));
        const Mark &b = marks.at(size_t(valid.at(v + 1)));
        const QVector<int> h = held(a.cut);
        layer.share(clock.tick(a.beat), h + range((a.cut + 1) / 2, std::min((b.cut + 1) / 2, n)),
                    int(b.beat - a.beat), !h.isEmpty());
    }
    const Mark &last = marks.at(size_t(valid.back()));
    const QVector<int> tail = held(last.cut) + range((last.cut + 1) / 2, n);
    layer.eachABeat(clock.tick(last.beat), tail);
    return tail.isEmpty() && last.symbol.beatPosition() == S::BeatPosition::Di;
}

// A click on every mark (one for a 板 written twice), accented on the 板.
void addClicks(Melody *out, const std::vector<Mark> &marks, const std::vector<int> &valid,
               const BeatClock &clock) {
    for (int i : valid) {
        const Mark &m = marks.at(size_t(i));
        if (m.sameAsPrevious) {
            continue;
        }
        const S::Beat beat = m.symbol.beat();
        out->clicks.append({clock.tick(m.beat), beat == S::Beat::Ban || beat == S::Beat::ZengBan});
    }
}

// The end of a measured tune. The last note holds to the end of its measure
// (a measure is always whole after the first 板), unless it ends on its 底板:
// the tune ends there.
qint64 endOfTune(Melody *out, int lastNote, qint64 downbeat, qint64 measure, bool endsOnDiBan) {
    Note &last = out->notes[lastNote];
    const qint64 natural = last.onset + last.duration;
    qint64 end = downbeat - floorDiv(downbeat - natural, measure) * measure;
    if (end <= last.onset) {
        end += measure;
    }
    if (endsOnDiBan) {
        end = natural;
    }
    last.duration = end - last.onset;
    if (!out->clicks.isEmpty() && out->clicks.last().time >= end && !endsOnDiBan) {
        end = downbeat + (floorDiv(out->clicks.last().time - downbeat, measure) + 1) * measure;
    }
    return end;
}

// A measured tune: each mark's beat, the notes between marks sharing the time,
// the opening (a one-beat pickup, or a free opening of several characters),
// the notes after the last mark, the last note held to the end of its measure
// (or ending on its 底板). Fills the section's times; returns the marks whose
// gap passes over an unmarked 板.
std::vector<MissedBan> timeMeasured(const std::vector<Pitch> &pitches, std::vector<Mark> *marks,
                                    const std::vector<int> &valid,
                                    const MusicRules::MeterRule &rule, const MusicRules &rules,
                                    Melody *out, Section *section) {
    const int beats = rule.beats;
    const BeatSplitter splitter(rules);
    std::vector<bool> laid(pitches.size(), false);
    const Layer layer{pitches, splitter, out, &laid};
    std::vector<MissedBan> missed;
    BeatClock clock;
    qint64 downbeat = 0;
    bool endsOnDiBan = false;
    if (valid.empty()) {
        layer.eachABeat(0, range(0, int(pitches.size())));
    } else {
        placeMarks(marks, valid, int(pitches.size()), rule, &missed);
        clock = layOpening(layer, marks->at(size_t(valid.front())), rules);
        endsOnDiBan = layMarkedSpans(layer, *marks, valid, clock);
        addClicks(out, *marks, valid, clock);
        const qint64 firstBan = -floorDiv(-clock.startBeat, beats) * beats;
        downbeat = clock.tick(firstBan); // the first 板 from the start
        for (MissedBan &m : missed) {
            m.measure = int(floorDiv(m.beat - firstBan, beats)) + 1;
            m.zeng = !rule.ban.contains(int(m.beat - floorDiv(m.beat, beats) * beats));
        }
    }
    section->measuredStart = clock.measuredStart;
    section->firstDownbeat = downbeat;
    section->end = endOfTune(out, int(pitches.size()) - 1, downbeat, qint64(beats) * ticksPerBeat,
                             endsOnDiBan);
    return missed;
}

// Notes a crowded beat could not hold (given no time) are sung as grace notes:
// after the note before them within their beat, else before the next note.
// Plain notes among them are reported, once a beat.
void settleGraces(Melody *out, QVector<Found> *found, const std::vector<Pitch> &pitches) {
    QVector<Note> &notes = out->notes;
    QVector<Note> kept;
    kept.reserve(notes.size());
    std::vector<int> pending; // graces waiting for the next sounding note
    qint64 reportedBeat = -1;
    for (int j = 0; j < notes.size(); ++j) {
        Note &note = notes[j];
        if (note.duration > 0) {
            QVector<int> run;
            for (int g : pending) {
                const Note &grace = notes.at(g);
                run += grace.gracesBefore;
                run.append(grace.midi);
                run += grace.gracesAfter;
            }
            note.gracesBefore = run + note.gracesBefore;
            pending.clear();
            kept.append(note);
            continue;
        }
        const Pitch &p = pitches.at(size_t(j));
        const qint64 beat = note.onset / ticksPerBeat;
        if (!p.symbol.isSmall() && beat != reportedBeat) {
            reportedBeat = beat;
            Problem problem;
            problem.severity = Problem::Severity::Warning;
            problem.place = note.place;
            problem.message = QStringLiteral("一拍中音太多");
            problem.advice = QStringLiteral("一拍最多容八个音，多出的音记作装饰音；请检查板眼");
            found->append({p.lyricLine, p.lyricColumn, p.place.column, problem});
        }
        if (note.onset % ticksPerBeat != 0 && !kept.isEmpty()) {
            Note &host = kept.last();
            host.gracesAfter += note.gracesBefore;
            host.gracesAfter.append(note.midi);
            host.gracesAfter += note.gracesAfter;
            host.breathAfter = host.breathAfter || note.breathAfter;
        } else {
            pending.push_back(j);
        }
    }
    if (!pending.empty() && !kept.isEmpty()) { // graces at the very end
        Note &host = kept.last();
        for (int g : pending) {
            host.gracesAfter += notes.at(g).gracesBefore;
            host.gracesAfter.append(notes.at(g).midi);
            host.gracesAfter += notes.at(g).gracesAfter;
        }
    }
    if (kept.size() != notes.size()) {
        notes = kept;
    }
}

} // namespace

MelodyBuilder::MelodyBuilder(const MusicRules &rules)
    : m_rules(rules) {}

int MelodyBuilder::sungCharacters(const DocumentLines &lines) {
    int n = 0;
    for (const DocumentLine &line : lines) {
        if (!isDirectiveLine(line.text)) {
            n += sungCharCount(line.text);
        }
    }
    return n;
}

QVector<MelodyBuilder::Tune> MelodyBuilder::tunes(const DocumentLines &lines) {
    QVector<Tune> out;
    int character = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const DocumentLine &line = lines.at(i);
        if (out.isEmpty() || line.kind == LineKind::QuPai) {
            if (!out.isEmpty()) {
                out.last().lineCount = i - out.last().firstLine;
            }
            Tune t;
            t.firstLine = i;
            t.firstCharacter = character;
            out.append(t);
        }
        if (!isDirectiveLine(line.text)) {
            character += sungCharCount(line.text);
        }
    }
    if (!out.isEmpty()) {
        out.last().lineCount = lines.size() - out.last().firstLine;
    }
    return out;
}

TuneSettings MelodyBuilder::settingsAfter(const DocumentLines &lines, TuneSettings before,
                                          QVector<Problem> *problems, int firstLyricLine,
                                          const MusicRules &rules) {
    for (int i = 0; i < lines.size(); ++i) {
        const DocumentLine &line = lines.at(i);
        if (line.kind == LineKind::Comment && Annotation::isAnnotation(line.text)) {
            Annotation::apply(line.text, firstLyricLine + i, rules, &before, problems);
        }
    }
    return before;
}

void MelodyBuilder::append(Melody *melody, const Melody &tune) {
    const qint64 offset = melody->length();
    const int noteOffset = melody->notes.size();
    for (Note note : tune.notes) {
        note.onset += offset;
        melody->notes.append(note);
    }
    for (BeatClick click : tune.clicks) {
        click.time += offset;
        melody->clicks.append(click);
    }
    for (Section section : tune.sections) {
        section.start += offset;
        section.measuredStart += offset;
        section.firstDownbeat += offset;
        section.end += offset;
        section.firstNote += noteOffset;
        melody->sections.append(section);
    }
    melody->problems += tune.problems;
}

Melody MelodyBuilder::build(const DocumentLines &lines) const {
    // Every tune first, then each list of the piece in one block: grown tune
    // by tune, the lists moved all their notes at each step and took large
    // blocks from the system and gave them back again.
    const QVector<Tune> all = tunes(lines);
    std::vector<Melody> parts;
    parts.reserve(size_t(all.size()));
    int notes = 0, clicks = 0, sections = 0, problems = 0;
    TuneSettings settings = m_rules.start;
    for (const Tune &t : all) {
        const DocumentLines part = lines.mid(t.firstLine, t.lineCount);
        parts.push_back(buildTune(part, t.firstLine, t.firstCharacter, settings));
        settings = settingsAfter(part, settings, nullptr, t.firstLine, m_rules);
        notes += parts.back().notes.size();
        clicks += parts.back().clicks.size();
        sections += parts.back().sections.size();
        problems += parts.back().problems.size();
    }
    Melody out;
    out.notes.reserve(notes);
    out.clicks.reserve(clicks);
    out.sections.reserve(sections);
    out.problems.reserve(problems);
    for (const Melody &part : parts) {
        append(&out, part);
    }
    return out;
}

Melody MelodyBuilder::buildTune(const DocumentLines &tuneLines, int firstLyricLine,
                                int firstCharacter, const TuneSettings &settings) const {
    QVector<Found> found;
    TuneReader reader(&found);
    const TuneText text =
        readTune(tuneLines, firstLyricLine, firstCharacter, settings, m_rules, &reader, &found);
    const std::vector<Pitch> &pitches = reader.pitches;
    const int n = int(pitches.size());
    if (n > 0) {
        for (const TuneReader::Silent &s : reader.silent) {
            report(&found, s.line, s.column, -1, Problem::Severity::Warning,
                   scorePlace(s.character, 0, 0), QStringLiteral("此字没有工尺"),
                   QStringLiteral("请在曲谱栏的这一行写上它的工尺"));
        }
    }

    Section section = chooseMeter(text, reader, m_rules, &found);
    const MusicRules::MeterRule rule = m_rules.meterRule(section.meter, section.zeng);
    const std::vector<int> valid =
        checkMarks(&reader.marks, pitches, rule, section, text.firstSungLine, m_rules, &found);

    Melody out;
    pitchNotes(pitches, text.settings, m_rules, &out, &found);
    if (rule.beats <= 0) {
        section.end = timeFree(pitches, reader.marks, valid, m_rules, &out);
    } else if (n > 0) {
        for (const MissedBan &missed :
             timeMeasured(pitches, &reader.marks, valid, rule, m_rules, &out, &section)) {
            const Mark &m = reader.marks.at(size_t(missed.mark));
            report(&found, m.lyricLine, m.lyricColumn, m.place.column, Problem::Severity::Warning,
                   m.place, QStringLiteral("可能漏板"),
                   QStringLiteral("第%1小节的%2没有标出。若那里有板，请补上%3；"
                                  "否则请检查这个记号是否写对")
                       .arg(missed.measure)
                       .arg(missed.zeng ? QStringLiteral("赠板") : QStringLiteral("板"),
                            missed.zeng ? QStringLiteral("赠板或腰赠板")
                                        : QStringLiteral("头板或腰板")));
        }
    }
    spanOrnaments(pitches, m_rules, &out);
    settleGraces(&out, &found, pitches);

    section.noteCount = out.notes.size();
    if (n > 0 || text.headingLine >= 0) {
        out.sections.append(section);
    }
    sortProblems(&found, &out);
    return out;
}

} // namespace music
