#include "music/melodybuilder.h"

#include "model/gongchesymbol.h"
#include "model/linegrammar.h"
#include "music/annotation.h"
#include "music/beatsplitter.h"
#include "music/meterdetector.h"

#include <algorithm>
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
        bool hasPitch = false;
        const int firstPitch = int(pitches.size());
        int badStart = -1;
        const auto flushBad = [&](int end) {
            if (badStart >= 0) {
                report(lyricLine, lyricColumn, badStart, Problem::Severity::Error,
                       scorePlace(character, badStart, end - badStart),
                       QStringLiteral("不是工尺符号"));
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
                const Place place = scorePlace(character, k, length);
                if (symbol.isPitch()) {
                    Pitch p;
                    p.symbol = symbol;
                    p.character = character;
                    p.place = place;
                    p.lyricLine = lyricLine;
                    p.lyricColumn = lyricColumn;
                    pitches.push_back(p);
                    hasPitch = true;
                } else if (pitches.empty()) {
                    const bool mark = symbol.isBeatMark();
                    report(lyricLine, lyricColumn, k,
                           mark ? Problem::Severity::Error : Problem::Severity::Warning, place,
                           mark ? QStringLiteral("板眼前没有工尺")
                                : QStringLiteral("腔格前没有工尺"));
                } else if (symbol.isBeatMark()) {
                    const int j = int(pitches.size()) - 1;
                    Mark m;
                    m.symbol = symbol;
                    m.pitch = j;
                    switch (symbol.beatPosition()) {
                    case S::BeatPosition::Tou:
                        // After a pitch of its line: that pitch's onset. Before
                        // any: drawn between the previous character's last
                        // pitch and the next, it marks the boundary.
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
                    m.lyricLine = lyricLine;
                    m.lyricColumn = lyricColumn;
                    marks.push_back(m);
                } else {
                    pitches.back().ornaments.append(symbol.ornament());
                }
            } else if (q.isSpace()) {
                flushBad(k);
            } else if (badStart < 0) {
                badStart = k;
            }
            k += length;
        }
        flushBad(score.size());
        if (hasPitch) {
            Pitch &first = pitches[firstPitch];
            first.firstOfCharacter = true;
            // A space owns a score line but sings no syllable.
            first.lyric = ch == QLatin1Char(' ') ? QString() : QString(ch);
            pitches.back().sentenceEnd = sentenceEnd;
        } else if (ch != QLatin1Char(' ')) {
            silent.push_back({character, lyricLine, lyricColumn});
        }
    }

    void report(int line, int column, int scoreColumn, Problem::Severity severity,
                const Place &place, const QString &message) {
        Problem p;
        p.severity = severity;
        p.place = place;
        p.message = message;
        m_found->append({line, column, scoreColumn, p});
    }

private:
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

// 散板: a beat a note, longer for a character's first; a 底板 or the end of a
// sentence holds, and a 底板 clicks at the end of its note. Returns the end.
qint64 timeFree(const std::vector<Pitch> &pitches, const std::vector<Mark> &marks,
                const std::vector<int> &valid, const MusicRules &rules, Melody *out) {
    qint64 t = 0;
    for (size_t j = 0; j < pitches.size(); ++j) {
        const Pitch &p = pitches.at(j);
        qint64 d = p.firstOfCharacter ? rules.sanBanFirstNote : rules.sanBanNote;
        if (p.symbol.isSmall()) {
            d /= 2;
        }
        Note &note = out->notes[int(j)];
        note.onset = t;
        note.duration = d;
        note.fermata = p.diBan || p.sentenceEnd;
        t += d;
    }
    for (int i : valid) {
        const Note &note = out->notes.at(marks.at(size_t(i)).pitch);
        out->clicks.append({note.onset + note.duration, true});
    }
    return t;
}

// A measured tune: each mark's beat, the notes between marks sharing the time,
// the pickup, the notes after the last mark, the last note held to the end of
// its measure. Returns the end; the first 板 goes to downbeat, the marks whose
// gap passes over an unmarked 板 to missed.
qint64 timeMeasured(const std::vector<Pitch> &pitches, std::vector<Mark> *marks,
                    const std::vector<int> &valid, const MusicRules::MeterRule &rule,
                    const BeatSplitter &splitter, Melody *out, qint64 *downbeat,
                    std::vector<int> *missed) {
    const int n = int(pitches.size());
    const int beats = rule.beats;
    const qint64 measure = qint64(beats) * ticksPerBeat;
    std::vector<bool> laid(pitches.size(), false);
    *downbeat = 0;
    if (valid.empty()) {
        const QVector<int> all = range(0, n);
        lay(out, &laid, 0, all, splitter.eachABeat(smallOf(pitches, all)));
    } else {
        // The points of the stream the marks fall on, in order. A second 头
        // mark on a note already started holds it across the beat.
        int prevCut = -1;
        S::BeatPosition prevPosition = S::BeatPosition::Tou;
        for (int i : valid) {
            Mark &m = (*marks)[size_t(i)];
            int cut = std::max(m.cut, prevCut);
            if (cut == prevCut && cut % 2 == 0 && prevPosition == S::BeatPosition::Tou &&
                cut / 2 < n) {
                ++cut;
            }
            m.cut = cut;
            prevCut = cut;
            prevPosition = m.symbol.beatPosition();
        }
        // The beat of each mark: the first after the previous mark's whose
        // index in the measure the mark may take.
        const QVector<int> strong = rule.strongIndices();
        const auto indexOf = [beats](qint64 beat) {
            return int(beat - floorDiv(beat, beats) * beats);
        };
        qint64 prevBeat = 0;
        bool first = true;
        for (int i : valid) {
            Mark &m = (*marks)[size_t(i)];
            const QVector<int> &indices = rule.indices(m.symbol.beat());
            qint64 beat = std::numeric_limits<qint64>::max();
            if (first) {
                for (int x : indices) {
                    beat = std::min<qint64>(beat, x);
                }
            } else {
                const qint64 measureStart = prevBeat - indexOf(prevBeat);
                for (qint64 offset : {qint64(0), qint64(beats)}) {
                    for (int x : indices) {
                        const qint64 candidate = measureStart + offset + x;
                        if (candidate > prevBeat && candidate < beat) {
                            beat = candidate;
                        }
                    }
                }
                for (qint64 x = prevBeat + 1; x < beat; ++x) {
                    if (strong.contains(indexOf(x))) {
                        missed->push_back(i);
                        break;
                    }
                }
            }
            m.beat = beat;
            prevBeat = beat;
            first = false;
        }

        // The note held into a span from a 腰 mark at its start.
        const auto held = [n](int cut) {
            return cut % 2 == 1 && cut / 2 < n ? QVector<int>{cut / 2} : QVector<int>();
        };
        const Mark &firstMark = marks->at(size_t(valid.front()));
        const int pickupEnd = std::min((firstMark.cut + 1) / 2, n);
        const qint64 startBeat = firstMark.beat - (pickupEnd > 0 ? 1 : 0);
        const auto tick = [startBeat](qint64 beat) { return (beat - startBeat) * ticksPerBeat; };
        if (pickupEnd > 0) {
            const QVector<int> group = range(0, pickupEnd);
            lay(out, &laid, 0, group, splitter.span(1, smallOf(pitches, group)));
        }
        for (size_t v = 0; v + 1 < valid.size(); ++v) {
            const Mark &a = marks->at(size_t(valid.at(v)));
            const Mark &b = marks->at(size_t(valid.at(v + 1)));
            const QVector<int> group =
                held(a.cut) + range((a.cut + 1) / 2, std::min((b.cut + 1) / 2, n));
            lay(out, &laid, tick(a.beat), group,
                splitter.span(int(b.beat - a.beat), smallOf(pitches, group)));
        }
        const Mark &last = marks->at(size_t(valid.back()));
        const QVector<int> tail = held(last.cut) + range((last.cut + 1) / 2, n);
        lay(out, &laid, tick(last.beat), tail, splitter.eachABeat(smallOf(pitches, tail)));
        for (int i : valid) {
            const Mark &m = marks->at(size_t(i));
            const S::Beat beat = m.symbol.beat();
            out->clicks.append({tick(m.beat), beat == S::Beat::Ban || beat == S::Beat::ZengBan});
        }
        *downbeat = tick(-floorDiv(-startBeat, beats) * beats); // the first 板 from the start
    }
    // The last note holds to the end of its measure (a measure is always whole
    // after the first 板).
    Note &lastNote = out->notes[n - 1];
    const qint64 natural = lastNote.onset + lastNote.duration;
    qint64 end = *downbeat - floorDiv(*downbeat - natural, measure) * measure;
    if (end <= lastNote.onset) {
        end += measure;
    }
    lastNote.duration = end - lastNote.onset;
    if (!out->clicks.isEmpty() && out->clicks.last().time >= end) {
        end = *downbeat + (floorDiv(out->clicks.last().time - *downbeat, measure) + 1) * measure;
    }
    return end;
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

    // Read the lines: the annotations in order, every sung character's score.
    TuneSettings current = settings;
    TuneSettings tune = settings;
    bool tuneFixed = false;
    QString quPai;
    int headingLine = -1;
    int firstSungLine = firstLyricLine;
    int character = firstCharacter;
    for (int i = 0; i < tuneLines.size(); ++i) {
        const DocumentLine &line = tuneLines.at(i);
        const int lyricLine = firstLyricLine + i;
        if (line.kind == LineKind::QuPai) {
            if (i == 0) {
                quPai = headingName(line.text);
                headingLine = lyricLine;
            }
            continue;
        }
        if (line.kind == LineKind::Comment) {
            if (Annotation::isAnnotation(line.text)) {
                QVector<Problem> problems;
                Annotation::apply(line.text, lyricLine, m_rules, &current, &problems);
                for (const Problem &p : problems) {
                    found.append({lyricLine, p.place.column, -1, p});
                }
            }
            continue;
        }
        if (line.kind != LineKind::Lyric || isDirectiveLine(line.text)) {
            continue;
        }
        const QString &text = line.text;
        if (!tuneFixed && sungCharCount(text) > 0) {
            tune = current;
            tuneFixed = true;
            firstSungLine = lyricLine;
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
            reader.readCharacter(ch, line.scores.value(entry), character++, lyricLine, c,
                                 endsSentence(text, c, m_rules.sentenceEnds));
        }
    }
    if (!tuneFixed) {
        tune = current;
    }

    std::vector<Pitch> &pitches = reader.pitches;
    std::vector<Mark> &marks = reader.marks;
    const int n = int(pitches.size());
    const auto report = [&found](int line, int column, int scoreColumn, Problem::Severity severity,
                                 const Place &place, const QString &message) {
        Problem p;
        p.severity = severity;
        p.place = place;
        p.message = message;
        found.append({line, column, scoreColumn, p});
    };

    if (n > 0) {
        for (const TuneReader::Silent &s : reader.silent) {
            report(s.line, s.column, -1, Problem::Severity::Warning, scorePlace(s.character, 0, 0),
                   QStringLiteral("此字没有工尺"));
        }
    }

    // The meter: stated, or read from the marks.
    Section section;
    section.quPai = quPai;
    section.lyricLine = headingLine;
    section.key = tune.key;
    section.keyVariant = tune.keyVariant;
    section.tempo = tune.tempo;
    section.octave = tune.octave;
    section.noteCount = n;
    if (tune.meterStated) {
        section.meter = tune.meter;
        section.zeng = tune.zeng;
        section.meterGuessed = false;
    } else {
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
        const MeterDetector::Guess guess = MeterDetector::detect(counts, m_rules);
        section.meter = guess.meter;
        section.zeng = guess.zeng;
        section.meterGuessed = true;
        if (n > 0) {
            const int line = headingLine >= 0 ? headingLine : firstSungLine;
            report(
                line, -1, -1, Problem::Severity::Information, lyricPlace(line),
                QStringLiteral("推测板式：%1").arg(m_rules.meterName(section.meter, section.zeng)));
        }
    }
    const MusicRules::MeterRule rule = m_rules.meterRule(section.meter, section.zeng);
    const QString meterName = m_rules.meterName(section.meter, section.zeng);
    for (Mark &m : marks) {
        const bool di = m.symbol.beatPosition() == S::BeatPosition::Di;
        m.valid = rule.beats > 0 ? !rule.indices(m.symbol.beat()).isEmpty() : di;
        if (!m.valid && !section.meterGuessed) {
            report(m.lyricLine, m.lyricColumn, m.place.column, Problem::Severity::Warning, m.place,
                   QStringLiteral("%1中不应有%2").arg(meterName, m.symbol.name()));
        }
    }

    // Pitches: the key, the flute's compass, the ornaments.
    Melody out;
    out.notes.resize(n);
    const int shang = m_rules.shangMidi(tune.key, tune.keyVariant);
    for (int j = 0; j < n; ++j) {
        const Pitch &p = pitches.at(j);
        Note &note = out.notes[j];
        const int semitones = m_rules.semitones(p.symbol);
        const int written = shang + semitones;
        if (written < m_rules.fluteLowest || written > m_rules.fluteHighest) {
            report(p.lyricLine, p.lyricColumn, p.place.column, Problem::Severity::Warning, p.place,
                   QStringLiteral("超出笛子音域"));
        }
        note.midi = written + 12 * tune.octave;
        note.character = p.character;
        note.lyric = p.lyric;
        note.small = p.symbol.isSmall();
        note.breathAfter = p.symbol.hasQiKou();
        note.place = p.place;
        for (S::Ornament o : p.ornaments) {
            const MusicRules::OrnamentRule *r = m_rules.ornamentRule(o);
            if (!r) {
                continue;
            }
            for (int step : r->before) {
                note.gracesBefore.append(m_rules.midi(m_rules.scaleStep(semitones, step), tune.key,
                                                      tune.keyVariant, tune.octave));
            }
            for (int step : r->after) {
                note.gracesAfter.append(m_rules.midi(m_rules.scaleStep(semitones, step), tune.key,
                                                     tune.keyVariant, tune.octave));
            }
            note.breathAfter = note.breathAfter || r->breathAfter;
        }
    }

    // Times.
    std::vector<int> valid;
    for (int i = 0; i < int(marks.size()); ++i) {
        if (marks.at(i).valid) {
            valid.push_back(i);
        }
    }
    qint64 end = 0;
    if (rule.beats <= 0) {
        end = timeFree(pitches, marks, valid, m_rules, &out);
    } else if (n > 0) {
        std::vector<int> missed;
        end = timeMeasured(pitches, &marks, valid, rule, BeatSplitter(m_rules), &out,
                           &section.firstDownbeat, &missed);
        for (int i : missed) {
            const Mark &m = marks.at(i);
            report(m.lyricLine, m.lyricColumn, m.place.column, Problem::Severity::Warning, m.place,
                   QStringLiteral("可能漏板"));
        }
    }
    section.start = 0;
    section.end = end;
    section.firstNote = 0;
    if (n > 0 || headingLine >= 0) {
        out.sections.append(section);
    }

    std::stable_sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        if (a.line != b.line) {
            return a.line < b.line;
        }
        if (a.column != b.column) {
            return a.column < b.column;
        }
        return a.scoreColumn < b.scoreColumn;
    });
    out.problems.reserve(found.size());
    for (const Found &f : found) {
        out.problems.append(f.problem);
    }
    return out;
}

} // namespace music
