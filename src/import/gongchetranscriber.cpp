#include "import/gongchetranscriber.h"

#include "import/rhythmmarker.h"
#include "import/transcriptioncheck.h"
#include "model/linegrammar.h"

#include <algorithm>

namespace music {

namespace {

using S = GongcheSymbol;

qint64 floorDiv(qint64 a, qint64 b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

bool isCjk(QChar c) {
    return c != QLatin1Char(' ') && isSungChar(c);
}

// Whether a tune starts at measure m: the first measure, a rehearsal mark, a
// heading in its words, or a double bar before a new key or meter.
bool startsTune(const SourceScore &source, int m) {
    if (m == 0) {
        return true;
    }
    const SourceMeasure &here = source.measures.at(m);
    const SourceMeasure &before = source.measures.at(m - 1);
    if (!here.rehearsal.trimmed().isEmpty() || !ImportRules::headingIn(here.words).isEmpty()) {
        return true;
    }
    const bool newKey =
        here.keyStated && (here.fifths != before.fifths || here.minor != before.minor);
    const bool newMeter =
        here.meterStated && (here.beats != before.beats || here.beatType != before.beatType);
    return here.doubleBarBefore && (newKey || newMeter);
}

// A syllable as the lyric line writes it: without control characters and
// white space; a CJK syllable keeps the punctuation around it (not a sign
// that would make its line a directive), any other is written after a space.
QString syllableText(const QString &raw, bool *cjk) {
    QString s;
    for (QChar c : withoutControls(raw)) {
        if (!c.isSpace()) {
            s += c;
        }
    }
    int first = 0;
    while (first < s.size() && !isCjk(s.at(first))) {
        ++first;
    }
    *cjk = first < s.size();
    if (s.isEmpty() || !*cjk) {
        return s.isEmpty() ? s : QLatin1Char(' ') + s;
    }
    QString lead;
    for (QChar c : s.left(first)) {
        if (isPunctuationChar(c) && !QStringLiteral("#;>=@\u3010").contains(c)) {
            lead += c;
        }
    }
    return lead + s.mid(first);
}

int sungCount(const QString &text) {
    int n = 0;
    for (QChar c : text) {
        n += isSungChar(c) ? 1 : 0;
    }
    return n;
}

// The measure of the source a time falls in.
int measureAt(const SourceScore &source, qint64 time) {
    int m = 0;
    for (int i = 0; i < source.measures.size(); ++i) {
        if (source.measures.at(i).start <= time) {
            m = i;
        }
    }
    return m;
}

// Each note's score line (a character of several sung characters has lines
// for all of them, its notes on the first), and where lyric lines break: after
// a phrase end or phrase-ending punctuation.
void placeOnLines(TranscribedTune *tune, const QVector<int> &of, const QString &phraseEnds) {
    int line = 0;
    QVector<int> lineOf;
    for (WrittenCharacter &c : tune->characters) {
        lineOf.append(line);
        line += c.sungCount;
        for (QChar ch : c.text) {
            c.breakAfter = c.breakAfter || phraseEnds.contains(ch);
        }
    }
    for (int i = 0; i < tune->notes.size(); ++i) {
        WrittenNote &w = tune->notes[i];
        w.character = lineOf.at(of.at(i));
        if (!w.grace && w.phraseEnd) {
            tune->characters[of.at(i)].breakAfter = true;
        }
    }
}

} // namespace

GongcheTranscriber::GongcheTranscriber(const MusicRules &rules)
    : m_import(rules) {}

QVector<TranscribedTune> GongcheTranscriber::splitTunes(const SourceScore &source) const {
    QVector<TranscribedTune> out;
    for (int m = 0; m < source.measures.size(); ++m) {
        if (startsTune(source, m)) {
            if (!out.isEmpty()) {
                out.last().endMeasure = m;
            }
            TranscribedTune t;
            t.firstMeasure = m;
            out.append(t);
        }
    }
    if (!out.isEmpty()) {
        out.last().endMeasure = source.measures.size();
    }
    return out;
}

// Its heading, key and tempo; its meter by chooseMeter.
void GongcheTranscriber::describeTune(const SourceScore &source, int ordinal,
                                      TranscribedTune *tune) const {
    const SourceMeasure &first = source.measures.at(tune->firstMeasure);
    tune->heading = ImportRules::headingIn(first.words);
    const QString rehearsal =
        withoutControls(first.rehearsal).trimmed().remove(QChar(0x3010)).remove(QChar(0x3011));
    if (tune->heading.isEmpty() && !rehearsal.isEmpty()) {
        tune->heading = QChar(0x3010) + rehearsal + QChar(0x3011);
        if (lineKindOf(tune->heading) != LineKind::QuPai) {
            tune->heading.clear();
        }
    }
    if (tune->heading.isEmpty() && ordinal > 1) {
        tune->heading = m_import.ordinalHeading(ordinal);
    }
    tune->key = m_import.keyFor(first.fifths);
    if (!tune->key.exact) {
        tune->remarks.append({-1, -1,
                              m_import.messages.unmappedKey.arg(
                                  ImportRules::tonicName(first.fifths),
                                  m_import.rules().keyName(tune->key.key, tune->key.variant))});
    }
    chooseMeter(source, tune);
    int tempo = m_import.defaultTempo;
    for (int m = 0; m <= tune->firstMeasure; ++m) {
        tempo = source.measures.at(m).tempo > 0 ? source.measures.at(m).tempo : tempo;
    }
    // 速度 counts the tune's beats: a compound beat is not a quarter.
    const qint64 scaled = (qint64(tempo) * ticksPerBeat + tune->meter.beatTicks / 2) /
                          std::max<qint64>(1, tune->meter.beatTicks);
    const MusicRules &rules = m_import.rules();
    tune->tempo = int(std::clamp<qint64>(scaled, rules.minTempo, rules.maxTempo));
    if (tune->tempo != scaled) {
        tune->remarks.append({-1, -1, m_import.messages.tempoClamped.arg(scaled).arg(tune->tempo)});
    }
}

// The 板式 of its time signature, and where its grid of beats starts: at its
// first measure, or after it when that is a pickup measure.
void GongcheTranscriber::chooseMeter(const SourceScore &source, TranscribedTune *tune) const {
    const SourceMeasure &first = source.measures.at(tune->firstMeasure);
    tune->meter = m_import.meterFor(first.beats, first.beatType);
    const QString name = m_import.rules().meterName(tune->meter.meter, tune->meter.zeng);
    if (!tune->measured()) {
        tune->remarks.append({-1, -1, m_import.messages.freeRhythm});
        return;
    }
    if (tune->meter.reported) {
        const QString signature = QStringLiteral("%1/%2").arg(first.beats).arg(first.beatType);
        tune->remarks.append({-1, -1, m_import.messages.meterMapped.arg(signature, name)});
    }
    for (int m = tune->firstMeasure + 1; m < tune->endMeasure; ++m) {
        const SourceMeasure &here = source.measures.at(m);
        if (here.beats != first.beats || here.beatType != first.beatType) {
            tune->remarks.append({-1, here.start, m_import.messages.meterChanged.arg(name)});
            break;
        }
    }
    const int beats = m_import.rules().meterRule(tune->meter.meter, tune->meter.zeng).beats;
    const qint64 full = tune->meter.beatTicks * beats;
    const bool pickup = first.length > 0 && first.length < full;
    tune->anchor = first.start + (pickup ? first.length : 0);
}

// Its notes (graces included) and the silences between them; a note overlapped
// by the next ends there.
void GongcheTranscriber::collectNotes(const SourceScore &source, TranscribedTune *tune) const {
    for (int i = 0; i < source.notes.size(); ++i) {
        const SourceNote &n = source.notes.at(i);
        if (n.isRest() || n.measure < tune->firstMeasure || n.measure >= tune->endMeasure) {
            continue;
        }
        WrittenNote w;
        w.source = i;
        w.grace = n.grace || n.duration <= 0;
        w.onset = n.onset;
        w.end = n.onset + std::max<qint64>(0, n.duration);
        w.qiKou = n.breathAfter;
        w.fermata = n.fermata;
        w.phraseEnd = !w.grace && (n.breathAfter || n.fermata);
        tune->notes.append(w);
    }
    const SourceMeasure &last = source.measures.at(tune->endMeasure - 1);
    const qint64 end = last.start + last.length;
    WrittenNote *previous = nullptr;
    for (WrittenNote &w : tune->notes) {
        if (w.grace) {
            continue;
        }
        if (previous && previous->end > w.onset) {
            previous->end = w.onset;
        } else if (previous && previous->end < w.onset) {
            tune->rests.append({previous->end, w.onset, 0});
        }
        previous = &w;
    }
    if (previous) {
        previous->phraseEnd = true;
        if (previous->end < end) {
            tune->rests.append({previous->end, end, 0});
        }
    }
}

// Each note's pitch sign: its degree from the tune's 上, chromatic notes and
// notes out of the four sections reported.
void GongcheTranscriber::namePitches(TranscribedTune *tune) const {
    for (int i = 0; i < tune->notes.size(); ++i) {
        WrittenNote &w = tune->notes[i];
        const ImportRules::Naming naming = m_import.name(w.midi - tune->key.shangMidi);
        w.degree = naming.degree;
        w.midi = tune->key.shangMidi + naming.degree.semitones;
        if (naming.moved) {
            tune->remarks.append({i, w.onset, m_import.messages.outOfRange});
        }
        if (naming.chromatic) {
            tune->remarks.append({i, w.onset, m_import.messages.chromatic});
        }
    }
}

// 散板: pitches only, a fermata's note with a 底板. Measured: the 板眼 by
// RhythmMarker, read back; where the tune opens with a pickup that reads back
// otherwise, its first mark left out, so that the model reads a one-beat
// pickup, if that reads back better.
void GongcheTranscriber::transcribeRhythm(const SourceScore &source, TranscribedTune *tune) const {
    const TranscriptionCheck check(m_import);
    if (!tune->measured()) {
        for (WrittenNote &w : tune->notes) {
            w.small = w.grace;
            if (w.fermata && !w.grace) {
                w.marks.append(S::DiBan);
            }
        }
        assignCharacters(source, tune);
        writeLines(tune);
        tune->remarks += check.check(*tune);
        return;
    }
    const RhythmMarker marker(m_import);
    TranscribedTune best;
    QVector<TuneRemark> bestFound;
    for (bool dropFirst : {false, true}) {
        TranscribedTune attempt = *tune;
        marker.mark(&attempt, dropFirst);
        assignCharacters(source, &attempt);
        writeLines(&attempt);
        const QVector<TuneRemark> found = check.check(attempt);
        if (!dropFirst || found.size() < bestFound.size()) {
            best = attempt;
            bestFound = found;
        }
        if (found.isEmpty()) {
            break;
        }
    }
    *tune = best;
    tune->remarks += bestFound;
}

// The sung characters: each syllable starts one, the notes before the first
// syllable hang on the first; a tune without words has a space for each beat
// a note starts in (each note in 散板). Graces stand on their main note's.
void GongcheTranscriber::assignCharacters(const SourceScore &source, TranscribedTune *tune) const {
    tune->characters.clear();
    bool words = false;
    for (const WrittenNote &w : tune->notes) {
        bool cjk = false;
        words =
            words || (!w.grace && !syllableText(source.notes.at(w.source).lyric, &cjk).isEmpty());
    }
    bool nonCjk = false;
    bool extra = false;
    QVector<int> of(tune->notes.size(), -1);
    qint64 lastBeat = 0;
    bool phraseBefore = false;
    for (int i = 0; i < tune->notes.size(); ++i) {
        const WrittenNote &w = tune->notes.at(i);
        if (w.grace) {
            continue;
        }
        bool cjk = true;
        const QString text = syllableText(source.notes.at(w.source).lyric, &cjk);
        const qint64 beat = floorDiv(w.onset - tune->anchor, tune->meter.beatTicks);
        const bool starts = words ? !text.isEmpty()
                                  : (tune->characters.isEmpty() || !tune->measured() ||
                                     beat != lastBeat || phraseBefore);
        if (starts) {
            WrittenCharacter c;
            c.text = words ? text : QStringLiteral(" ");
            c.sungCount = std::max(1, sungCount(c.text));
            nonCjk = nonCjk || (words && !cjk);
            extra = extra || c.sungCount > 1;
            tune->characters.append(c);
        }
        of[i] = std::max(0, tune->characters.size() - 1);
        lastBeat = beat;
        phraseBefore = w.phraseEnd;
    }
    if (tune->characters.isEmpty()) {
        return;
    }
    for (int i = tune->notes.size() - 1, next = tune->characters.size() - 1; i >= 0; --i) {
        of[i] = of.at(i) >= 0 ? of.at(i) : next; // a grace: its main note's
        next = of.at(i);
    }
    placeOnLines(tune, of, m_import.phraseEnds);
    if (nonCjk) {
        tune->remarks.append({-1, -1, m_import.messages.nonCjkLyric});
    }
    if (extra) {
        tune->remarks.append({-1, -1, m_import.messages.extraCharacters});
    }
}

// Its lyric lines (heading, settings, words) and score lines; each note's
// column in its score line.
void GongcheTranscriber::writeLines(TranscribedTune *tune) const {
    const MusicRules &rules = m_import.rules();
    tune->lyricLines.clear();
    tune->scoreLines.clear();
    if (!tune->heading.isEmpty()) {
        tune->lyricLines.append(tune->heading);
    }
    tune->lyricLines.append(QStringLiteral("; 笛色=%1 板式=%2 速度=%3")
                                .arg(rules.keyName(tune->key.key, tune->key.variant),
                                     rules.meterName(tune->meter.meter, tune->meter.zeng))
                                .arg(tune->tempo));
    QString current;
    for (const WrittenCharacter &c : tune->characters) {
        current += c.text;
        if (c.breakAfter) {
            tune->lyricLines.append(current);
            current.clear();
        }
        for (int k = 0; k < c.sungCount; ++k) {
            tune->scoreLines.append(QString());
        }
    }
    if (!current.isEmpty()) {
        tune->lyricLines.append(current);
    }
    for (WrittenNote &w : tune->notes) {
        if (w.character < 0 || w.character >= tune->scoreLines.size()) {
            continue;
        }
        QString &line = tune->scoreLines[w.character];
        w.column = line.size();
        line += GongcheSymbol::textOf(ImportRules::signOf(w.degree, w.small, w.qiKou));
        for (char32_t mark : w.marks) {
            line += GongcheSymbol::textOf(mark);
        }
    }
}

namespace {

// A remark and where it stands in the document, for reporting in order.
struct Ordered {
    qint64 order = 0;
    ImportRemark remark;
};

// Where a time stands in a tune: its measure as the file numbers it, the beat
// of that measure counted in the tune's beats.
ImportRemark located(const SourceScore &source, const TranscribedTune &tune, qint64 time,
                     const QString &message) {
    ImportRemark r;
    r.message = message;
    const int m = time >= 0 ? measureAt(source, time) : tune.firstMeasure;
    const SourceMeasure &measure = source.measures.at(m);
    r.measure = measure.number.isEmpty() ? QString::number(m + 1) : measure.number;
    if (time >= 0) {
        r.beat = int(floorDiv(time - measure.start, std::max<qint64>(1, tune.meter.beatTicks))) + 1;
    }
    return r;
}

// The note of a tune sounding at or after time (at or after the start of
// measure m when time is unknown); -1 for none.
int noteAt(const SourceScore &source, const TranscribedTune &tune, int m, qint64 time) {
    const qint64 from = time >= 0 ? time : source.measures.at(m).start;
    for (int i = 0; i < tune.notes.size(); ++i) {
        const WrittenNote &w = tune.notes.at(i);
        if (!w.grace && w.end > from) {
            return i;
        }
    }
    return -1;
}

// A reader's problem as a remark of the tune it falls in.
Ordered readerRemark(const SourceScore &source, const QVector<TranscribedTune> &tunes,
                     const QVector<int> &firstLines, const SourceProblem &p) {
    Ordered o;
    o.order = -2;
    o.remark.message = p.message;
    if (p.measure < 0 || p.measure >= source.measures.size()) {
        return o;
    }
    for (int t = 0; t < tunes.size(); ++t) {
        const TranscribedTune &tune = tunes.at(t);
        if (p.measure < tune.firstMeasure || p.measure >= tune.endMeasure) {
            continue;
        }
        const qint64 time = p.time >= 0 ? p.time : -1;
        o.remark = located(source, tune, time, p.message);
        if (time < 0) {
            const SourceMeasure &measure = source.measures.at(p.measure);
            o.remark.measure =
                measure.number.isEmpty() ? QString::number(p.measure + 1) : measure.number;
        }
        const int note = noteAt(source, tune, p.measure, time);
        o.order = 2 * qint64(firstLines.at(t));
        if (note >= 0) {
            o.remark.character = firstLines.at(t) + tune.notes.at(note).character;
            o.order = 2 * qint64(o.remark.character) + 1;
        }
        return o;
    }
    const SourceMeasure &measure = source.measures.at(p.measure);
    o.remark.measure = measure.number.isEmpty() ? QString::number(p.measure + 1) : measure.number;
    return o;
}

} // namespace

QVector<ImportRemark> GongcheTranscriber::remarksOf(const SourceScore &source,
                                                    const QVector<TranscribedTune> &tunes,
                                                    const QVector<int> &firstLines) const {
    QVector<Ordered> all;
    for (const SourceProblem &p : source.problems) {
        all.append(readerRemark(source, tunes, firstLines, p));
    }
    for (int t = 0; t < tunes.size(); ++t) {
        const TranscribedTune &tune = tunes.at(t);
        for (const TuneRemark &r : tune.remarks) {
            Ordered o;
            const qint64 time = r.time >= 0   ? r.time
                                : r.note >= 0 ? tune.notes.at(r.note).onset
                                              : -1;
            o.remark = located(source, tune, time, r.message);
            o.order = 2 * qint64(firstLines.at(t));
            if (r.note >= 0) {
                o.remark.character = firstLines.at(t) + tune.notes.at(r.note).character;
                o.order = 2 * qint64(o.remark.character) + 1;
            }
            all.append(o);
        }
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const Ordered &a, const Ordered &b) { return a.order < b.order; });
    QVector<ImportRemark> out;
    for (const Ordered &o : all) {
        const ImportRemark &r = o.remark;
        const bool covered = r.message == m_import.messages.onsetDiffers &&
                             std::any_of(all.begin(), all.end(), [&](const Ordered &x) {
                                 return x.remark.message == m_import.messages.unwritable &&
                                        x.remark.measure == r.measure && x.remark.beat == r.beat;
                             });
        if (!covered && !out.contains(r)) {
            out.append(r);
        }
    }
    return out;
}

GongcheTranscriber::Result GongcheTranscriber::transcribe(const SourceScore &source) const {
    QVector<TranscribedTune> tunes;
    for (TranscribedTune tune : splitTunes(source)) {
        collectNotes(source, &tune);
        if (std::none_of(tune.notes.begin(), tune.notes.end(),
                         [](const WrittenNote &w) { return !w.grace; })) {
            continue; // nothing sounds in it
        }
        for (WrittenNote &w : tune.notes) {
            w.midi = source.notes.at(w.source).midi;
        }
        describeTune(source, tunes.size() + 1, &tune);
        namePitches(&tune);
        transcribeRhythm(source, &tune);
        tunes.append(tune);
    }
    QStringList lyric;
    QStringList score;
    const QString title = withoutControls(source.title).trimmed();
    if (!title.isEmpty()) {
        lyric.append(QStringLiteral("# ") + title);
    }
    QVector<int> firstLines;
    for (const TranscribedTune &tune : tunes) {
        firstLines.append(score.size());
        lyric += tune.lyricLines;
        score += tune.scoreLines;
    }
    Result out;
    out.lyric = lyric.join(QLatin1Char('\n'));
    out.score = score.join(QLatin1Char('\n'));
    out.remarks = remarksOf(source, tunes, firstLines);
    return out;
}

} // namespace music
