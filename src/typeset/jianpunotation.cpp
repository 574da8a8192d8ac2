#include "typeset/jianpunotation.h"

#include "model/linegrammar.h"
#include "music/melodybuilder.h"
#include "music/musicrules.h"

#include <algorithm>
#include <climits>

using music::Melody;
using music::Note;
using music::Section;
using music::ticksPerBeat;

namespace {

using Glyph = JianpuNotation::Glyph;
using Beat = JianpuNotation::Beat;
using Measure = JianpuNotation::Measure;
using Block = JianpuNotation::Block;

qint64 floorDiv(qint64 a, qint64 b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The first beat boundary after time, on the beats from downbeat.
qint64 nextBeat(qint64 time, qint64 downbeat) {
    return downbeat + (floorDiv(time - downbeat, ticksPerBeat) + 1) * ticksPerBeat;
}

// Where each sung character stands in the lyric text, with the punctuation
// that follows it.
struct CharacterInfo {
    int line = -1;
    int column = -1;
    QString punctuation;
};

// A line of the lyric text that is not sung, at its place among the sung
// characters: it is set before the first note of character `before`.
struct Marker {
    int before = 0;
    int line = 0;
    Block block;
};

// The written values inside a beat, longest first: ticks, reduction lines, dot.
struct Value {
    qint64 ticks;
    int lines;
    bool dotted;
};
const Value values[] = {{360, 1, true}, {240, 1, false}, {180, 2, true}, {120, 2, false},
                        {90, 3, true},  {60, 3, false},  {30, 4, false}};

// length (< a beat) as written values, longest first; what no value fits is
// given to the last one.
QVector<Value> split(qint64 length) {
    QVector<Value> out;
    qint64 left = length;
    for (const Value &v : values) {
        while (left >= v.ticks) {
            out.append(v);
            left -= v.ticks;
        }
    }
    if (out.isEmpty()) {
        out.append({length, 4, false});
    } else {
        out.last().ticks += left;
    }
    return out;
}

// A whole beat more of a held note (a dash) or its last half beat after a
// digit held one beat (an augmentation dot).
Glyph heldSign(Glyph::Kind kind, qint64 onset, qint64 duration, int character) {
    Glyph g;
    g.kind = kind;
    g.onset = onset;
    g.duration = duration;
    g.character = character;
    return g;
}

class Builder {
public:
    Builder(const DocumentLines &lines, const Melody &melody, const JianpuStyle &style)
        : m_lines(lines)
        , m_melody(melody)
        , m_style(style) {
        readLines();
    }

    QVector<Block> run() {
        for (int s = 0; s < m_melody.sections.size(); ++s) {
            const Section &section = m_melody.sections.at(s);
            if (section.noteCount <= 0) {
                continue;
            }
            const Note &first = m_melody.notes.at(section.firstNote);
            Block heading;
            heading.kind = Block::Kind::Heading;
            if (section.lyricLine >= 0 && section.lyricLine < m_lines.size()) {
                heading.text = m_lines.at(section.lyricLine).text.trimmed();
            }
            heading.keyLabel =
                JianpuNotation::keyLabel(section.key, section.keyVariant, m_style.flatAfterLetter);
            heading.meterLabel =
                JianpuNotation::meterLabel(section, m_style.sanBanWord, m_style.splitZeng);
            heading.banShiLabel =
                music::MusicRules::defaults().meterName(section.meter, section.zeng);
            heading.tempoLabel = QStringLiteral("\u2669=%1").arg(section.tempo);
            m_markers.append({first.character, section.lyricLine, heading});
            std::stable_sort(
                m_markers.begin(), m_markers.end(), [](const Marker &a, const Marker &b) {
                    return a.before != b.before ? a.before < b.before : a.line < b.line;
                });
            if (section.beatsPerMeasure() <= 0) {
                emitMeasures(free(section, true));
                continue;
            }
            // A free opening (散起): the notes before the measured part, as
            // free notes, the last held (a fermata).
            int freeNotes = 0;
            while (section.measuredStart > section.start && freeNotes < section.noteCount &&
                   m_melody.notes.at(section.firstNote + freeNotes).onset < section.measuredStart) {
                ++freeNotes;
            }
            if (freeNotes > 0) {
                Section opening = section;
                opening.noteCount = freeNotes;
                QVector<Measure> free = this->free(opening, false);
                free.last().beats.last().glyphs.last().fermata = true;
                free.first().beats.first().glyphs.first().freeSign =
                    m_style.sanBanWord ? QStringLiteral("散板") : QStringLiteral("サ");
                free.last().barAfter = freeNotes < section.noteCount;
                // A tune all free (its only mark the 底板 of its last note) ends here.
                free.last().finalBar = freeNotes == section.noteCount;
                emitMeasures(free);
            }
            if (freeNotes < section.noteCount) {
                Section rest = section;
                rest.firstNote += freeNotes;
                rest.noteCount -= freeNotes;
                if (freeNotes > 0) {
                    rest.start = section.measuredStart;
                }
                emitMeasures(measured(rest));
            }
        }
        flushMarkers(INT_MAX);
        closeMusic();
        return m_blocks;
    }

private:
    void readLines() {
        int sung = 0;
        for (int i = 0; i < m_lines.size(); ++i) {
            const DocumentLine &line = m_lines.at(i);
            const QString body = line.text.mid(1).trimmed();
            Block block;
            switch (line.kind) {
            case LineKind::Title:
                block.kind = Block::Kind::Title;
                block.text = body;
                m_markers.append({sung, i, block});
                break;
            case LineKind::LianBai:
            case LineKind::JiaBai:
                // Spoken lines begin with the marker editions print.
                block.kind = Block::Kind::Speech;
                block.text =
                    body.startsWith(QStringLiteral("白：")) ? body : QStringLiteral("白：") + body;
                block.jiaBai = line.kind == LineKind::JiaBai;
                m_markers.append({sung, i, block});
                break;
            case LineKind::LineBreak:
                block.kind = Block::Kind::SystemBreak;
                m_markers.append({sung, i, block});
                break;
            case LineKind::PageBreak:
                block.kind = Block::Kind::PageBreak;
                m_markers.append({sung, i, block});
                break;
            default:
                break;
            }
            if (isDirectiveLine(line.text)) {
                continue;
            }
            int column = 0;
            const QStringList chars = splitCharacters(line.text);
            for (const QString &c : chars) {
                if (c.size() == 1 && isSungChar(c.at(0))) {
                    m_characters.append({i, column, QString()});
                    ++sung;
                } else if (!m_characters.isEmpty() && m_characters.last().line == i &&
                           isPunctuation(c)) {
                    m_characters.last().punctuation += c;
                }
                column += c.size();
            }
        }
    }

    int tonicOf(const Section &section) const {
        return music::MusicRules::defaults().shangMidi(section.key, section.keyVariant) +
               12 * section.octave;
    }

    // The notation of one note: its character, lyric, graces, on glyph g.
    void describe(Glyph &g, const Note &note, const Section &section, bool first, bool last) {
        const int tonic = tonicOf(section);
        const JianpuNotation::Grace d = JianpuNotation::degreeOf(note.midi, tonic, &g.sharp);
        g.kind = Glyph::Kind::Note;
        g.digit = d.digit;
        g.octave = d.octave;
        g.character = note.character;
        if (note.character >= 0 && note.character < m_characters.size()) {
            g.lyricLine = m_characters.at(note.character).line;
            g.lyricColumn = m_characters.at(note.character).column;
        }
        g.symbol = note.place.column / 2;
        if (first) {
            if (!note.lyric.isEmpty()) {
                g.lyric = note.lyric;
                if (note.character >= 0 && note.character < m_characters.size()) {
                    g.lyric += m_characters.at(note.character).punctuation;
                }
            }
            g.fermata = note.fermata;
            for (int m : note.gracesBefore) {
                g.gracesBefore.append(JianpuNotation::degreeOf(m, tonic));
            }
        }
        if (last) {
            g.breath = note.breathAfter;
            for (int m : note.gracesAfter) {
                g.gracesAfter.append(JianpuNotation::degreeOf(m, tonic));
            }
        }
    }

    QVector<Measure> measured(const Section &section) {
        const qint64 downbeat = section.firstDownbeat;
        // 加赠 split at the 赠板: measures of half the length, the first half
        // of each closed by a dashed bar line.
        const bool halves = m_style.splitZeng && section.zeng && section.beatsPerMeasure() % 2 == 0;
        const qint64 measureTicks =
            qint64(section.beatsPerMeasure()) * ticksPerBeat / (halves ? 2 : 1);
        QVector<Glyph> glyphs;
        // A beat begun before the first note is filled with a rest.
        qint64 t = downbeat + floorDiv(section.start - downbeat, ticksPerBeat) * ticksPerBeat;
        const int firstNote = section.firstNote;
        const int endNote = section.firstNote + section.noteCount;
        for (int n = firstNote; n < endNote; ++n) {
            const Note &note = m_melody.notes.at(n);
            if (note.duration <= 0) {
                continue;
            }
            appendRests(glyphs, t, note.onset, downbeat);
            appendNote(glyphs, note, section, downbeat, measureTicks);
            t = note.onset + note.duration;
        }
        appendRests(glyphs, t, std::max(t, section.end), downbeat);
        markSlurs(glyphs);
        markClosingBan(glyphs, section);
        if (m_style.banYanSigns) {
            markBanYan(glyphs, section);
        }
        return intoMeasures(glyphs, downbeat, measureTicks, halves);
    }

    // Rests from `from` to `to`: a whole beat as one, a part of a beat as
    // its written values.
    static void appendRests(QVector<Glyph> &glyphs, qint64 from, qint64 to, qint64 downbeat) {
        while (from < to) {
            const qint64 segment = std::min(to, nextBeat(from, downbeat)) - from;
            if (segment == ticksPerBeat) {
                Glyph g;
                g.kind = Glyph::Kind::Rest;
                g.onset = from;
                g.duration = segment;
                glyphs.append(g);
            } else {
                qint64 at = from;
                for (const Value &v : split(segment)) {
                    Glyph g;
                    g.kind = Glyph::Kind::Rest;
                    g.onset = at;
                    g.duration = v.ticks;
                    g.lines = v.lines;
                    g.dotted = v.dotted;
                    glyphs.append(g);
                    at += v.ticks;
                }
            }
            from += segment;
        }
    }

    // A note as written, beat by beat: its digit, then a dash for each
    // further whole beat, an augmentation dot or the digit again, tied, for
    // what is left; its breath and the graces after it at its end.
    void appendNote(QVector<Glyph> &glyphs, const Note &note, const Section &section,
                    qint64 downbeat, qint64 measureTicks) {
        const qint64 end = note.onset + note.duration;
        qint64 from = note.onset;
        // The last sign written for the note is a whole beat from a beat
        // (a digit or a dash): a further whole beat is a dash.
        bool canDash = false;
        // The last sign written for it is a dash: a dot only ever follows a digit.
        bool afterDash = false;
        bool firstSegment = true;
        while (from < end) {
            const qint64 segment = std::min(end, nextBeat(from, downbeat)) - from;
            const bool onBeat = (from - downbeat) % ticksPerBeat == 0;
            const bool lastSegment = from + segment >= end;
            // A held note is written again, tied, in the next measure:
            // dashes never cross a bar line.
            const bool newMeasure =
                !firstSegment &&
                floorDiv(from - downbeat, measureTicks) * measureTicks == from - downbeat;
            if (!firstSegment && !newMeasure && canDash && segment == ticksPerBeat) {
                glyphs.append(heldSign(Glyph::Kind::Dash, from, segment, note.character));
                afterDash = true;
            } else if (!firstSegment && !newMeasure && canDash && !afterDash && lastSegment &&
                       segment == ticksPerBeat / 2) {
                // Half a beat more after a digit held one beat: its
                // augmentation dot. After dashes the half beat is the
                // same digit again, tied, with its reduction line.
                glyphs.append(heldSign(Glyph::Kind::Dot, from, segment, note.character));
            } else {
                appendDigits(glyphs, note, section, from, segment, firstSegment);
                canDash = onBeat && segment == ticksPerBeat;
                afterDash = false;
            }
            firstSegment = false;
            from += segment;
        }
        // The breath and the graces after it stand at its end: after its
        // dot or its last dash.
        if (!glyphs.isEmpty()) {
            Glyph &g = glyphs.last();
            g.breath = note.breathAfter;
            const int tonic = tonicOf(section);
            for (int m : note.gracesAfter) {
                g.gracesAfter.append(JianpuNotation::degreeOf(m, tonic));
            }
        }
    }

    // The digits of a note over segment ticks from `from` (inside one beat),
    // each tied from the one before; the first describes the note when it
    // begins the note.
    void appendDigits(QVector<Glyph> &glyphs, const Note &note, const Section &section, qint64 from,
                      qint64 segment, bool firstSegment) {
        const QVector<Value> parts =
            segment == ticksPerBeat ? QVector<Value>{{segment, 0, false}} : split(segment);
        qint64 at = from;
        for (int i = 0; i < parts.size(); ++i) {
            if (!firstSegment || i > 0) {
                tieLastDigit(glyphs);
            }
            Glyph g;
            describe(g, note, section, firstSegment && i == 0, false);
            g.onset = at;
            g.duration = parts.at(i).ticks;
            g.lines = parts.at(i).lines;
            g.dotted = parts.at(i).dotted;
            glyphs.append(g);
            at += parts.at(i).ticks;
        }
    }

    // The tie runs from the last digit written, over its dashes.
    static void tieLastDigit(QVector<Glyph> &glyphs) {
        for (int k = glyphs.size() - 1; k >= 0; --k) {
            if (glyphs.at(k).kind == Glyph::Kind::Note) {
                glyphs[k].tieToNext = true;
                break;
            }
        }
    }

    // A tune ending on its 底板: the 板 at the end of the last note. One
    // that is also the 头板 of the next tune's first note is written there.
    void markClosingBan(QVector<Glyph> &glyphs, const Section &section) const {
        if (m_style.banYanSigns && !glyphs.isEmpty() &&
            glyphs.last().onset + glyphs.last().duration == section.end) {
            const int after = section.firstNote + section.noteCount;
            const bool nextOnIt =
                after < m_melody.notes.size() && m_melody.notes.at(after).onset == section.end;
            for (const music::BeatClick &click : m_melody.clicks) {
                if (click.ban && click.time == section.end && !nextOnIt) {
                    glyphs.last().banYanAfter = JianpuNotation::banYanSign(section, click.time);
                }
            }
        }
    }

    // The 板眼 signs over the beats their marks fall on: the glyphs and the
    // marks' times are both in time order, so one walk pairs them.
    void markBanYan(QVector<Glyph> &glyphs, const Section &section) const {
        QVector<qint64> times;
        for (const music::BeatClick &click : m_melody.clicks) {
            if (click.time >= section.start && click.time < section.end) {
                times.append(click.time);
            }
        }
        std::sort(times.begin(), times.end());
        int k = 0;
        for (Glyph &g : glyphs) {
            while (k < times.size() && times.at(k) < g.onset) {
                ++k;
            }
            if (k < times.size() && times.at(k) == g.onset) {
                g.banYan = JianpuNotation::banYanSign(section, g.onset);
            }
        }
    }

    // The glyphs, in time order, into measures and beats; the last measure
    // ends the tune.
    static QVector<Measure> intoMeasures(const QVector<Glyph> &glyphs, qint64 downbeat,
                                         qint64 measureTicks, bool halves) {
        QVector<Measure> measures;
        qint64 currentMeasure = LLONG_MIN;
        qint64 currentBeat = LLONG_MIN;
        for (const Glyph &g : glyphs) {
            const qint64 m = floorDiv(g.onset - downbeat, measureTicks);
            const qint64 b = floorDiv(g.onset - downbeat, ticksPerBeat);
            if (m != currentMeasure) {
                measures.append(Measure());
                measures.last().dashedBar = halves && m % 2 == 0;
                currentMeasure = m;
                currentBeat = LLONG_MIN;
            }
            if (b != currentBeat) {
                Beat beat;
                beat.start = downbeat + b * ticksPerBeat;
                beat.length = ticksPerBeat;
                measures.last().beats.append(beat);
                currentBeat = b;
            }
            measures.last().beats.last().glyphs.append(g);
        }
        if (!measures.isEmpty()) {
            measures.last().finalBar = true;
            measures.last().dashedBar = false;
        }
        return measures;
    }

    // The notes of a section as free notes; the end of the tune when final.
    QVector<Measure> free(const Section &section, bool final) {
        QVector<Glyph> glyphs;
        for (int n = section.firstNote; n < section.firstNote + section.noteCount; ++n) {
            const Note &note = m_melody.notes.at(n);
            Glyph g;
            describe(g, note, section, true, true);
            g.onset = note.onset;
            g.duration = std::max<qint64>(note.duration, 1);
            glyphs.append(g);
        }
        markSlurs(glyphs);
        Measure measure;
        measure.free = true;
        for (const Glyph &g : glyphs) {
            Beat beat;
            beat.start = g.onset;
            beat.length = g.duration;
            beat.glyphs.append(g);
            measure.beats.append(beat);
        }
        measure.finalBar = final;
        return {measure};
    }

    // A slur over the notes of a character sung to more than one.
    static void markSlurs(QVector<Glyph> &glyphs) {
        int i = 0;
        while (i < glyphs.size()) {
            if (glyphs.at(i).kind != Glyph::Kind::Note || glyphs.at(i).character < 0) {
                ++i;
                continue;
            }
            const int character = glyphs.at(i).character;
            int last = i;
            int notes = 0;
            bool tied = false;
            for (int j = i; j < glyphs.size() && (glyphs.at(j).character == character ||
                                                  glyphs.at(j).kind == Glyph::Kind::Rest);
                 ++j) {
                if (glyphs.at(j).kind == Glyph::Kind::Note) {
                    last = j;
                    if (!tied) {
                        ++notes;
                    }
                    tied = glyphs.at(j).tieToNext;
                }
            }
            if (notes > 1) {
                glyphs[i].slurStart = true;
                glyphs[last].slurEnd = true;
                // One arc from the note: the slur covers a tie that ends under it.
                if (glyphs.at(i).tieToNext) {
                    int tieEnd = i + 1;
                    while (tieEnd < glyphs.size() && glyphs.at(tieEnd).kind != Glyph::Kind::Note) {
                        ++tieEnd;
                    }
                    glyphs[i].tieUnderSlur = tieEnd <= last;
                }
            }
            i = last + 1;
        }
    }

    void emitMeasures(const QVector<Measure> &measures) {
        for (const Measure &measure : measures) {
            Measure building;
            building.free = measure.free;
            for (const Beat &beat : measure.beats) {
                Beat part = beat;
                part.glyphs.clear();
                for (const Glyph &g : beat.glyphs) {
                    if (g.kind == Glyph::Kind::Note && g.character >= 0 &&
                        hasMarkerUpTo(g.character)) {
                        if (!part.glyphs.isEmpty()) {
                            building.beats.append(part);
                            part.glyphs.clear();
                        }
                        if (!building.beats.isEmpty()) {
                            building.finalBar = false;
                            building.open = true;
                            m_music.measures.append(building);
                            building.beats.clear();
                            building.open = false;
                        }
                        flushMarkers(g.character);
                    }
                    part.glyphs.append(g);
                }
                if (!part.glyphs.isEmpty()) {
                    building.beats.append(part);
                }
            }
            building.finalBar = measure.finalBar;
            building.dashedBar = measure.dashedBar;
            building.barAfter = measure.barAfter;
            if (!building.beats.isEmpty()) {
                m_music.measures.append(building);
            }
        }
    }

    bool hasMarkerUpTo(int character) const {
        return !m_markers.isEmpty() && m_markers.first().before <= character;
    }

    // The music so far as one block, then every marker before character `upTo`.
    void flushMarkers(int upTo) {
        if (!hasMarkerUpTo(upTo)) {
            return;
        }
        closeMusic();
        while (hasMarkerUpTo(upTo)) {
            m_blocks.append(m_markers.takeFirst().block);
        }
    }

    void closeMusic() {
        if (!m_music.measures.isEmpty()) {
            m_blocks.append(m_music);
        }
        m_music = Block();
        m_music.kind = Block::Kind::Music;
    }

    const DocumentLines &m_lines;
    const Melody &m_melody;
    const JianpuStyle &m_style;
    QVector<CharacterInfo> m_characters;
    QVector<Marker> m_markers;
    QVector<Block> m_blocks;
    Block m_music;
};

} // namespace

QVector<JianpuNotation::Block> JianpuNotation::build(const DocumentLines &lines,
                                                     const JianpuStyle &style) {
    return build(lines, music::MelodyBuilder().build(lines), style);
}

QVector<JianpuNotation::Block>
JianpuNotation::build(const DocumentLines &lines, const Melody &melody, const JianpuStyle &style) {
    return Builder(lines, melody, style).run();
}

QString JianpuNotation::keyLabel(music::Key key, bool variant, bool flatAfterLetter) {
    const music::MusicRules &rules = music::MusicRules::defaults();
    const music::MusicRules::KeyRule *rule = rules.keyRule(key);
    if (!rule) {
        return QString();
    }
    QString letter =
        (variant && rule->hasVariant() ? rule->variantLetters : rule->letters).value(0);
    if (!flatAfterLetter && letter.size() == 2 && letter.at(1) == QChar(0x266D)) {
        letter = QString(QChar(0x266D)) + letter.at(0);
    }
    return QStringLiteral("1=%1（%2）").arg(letter, rule->names.value(0));
}

QString JianpuNotation::meterLabel(const Section &section, bool sanBanWord, bool splitZeng) {
    const int beats = section.beatsPerMeasure();
    if (beats <= 0) {
        return sanBanWord ? QStringLiteral("散板") : QStringLiteral("サ");
    }
    return QStringLiteral("%1/4").arg(splitZeng && section.zeng && beats % 2 == 0 ? beats / 2
                                                                                  : beats);
}

JianpuNotation::Grace JianpuNotation::degreeOf(int midi, int tonic, bool *sharp) {
    static const int digits[12] = {1, 1, 2, 2, 3, 4, 4, 5, 5, 6, 6, 7};
    static const bool sharps[12] = {false, true,  false, true,  false, false,
                                    true,  false, true,  false, true,  false};
    const int r = midi - tonic;
    const int octave = int(floorDiv(r, 12));
    const int pc = r - 12 * octave;
    if (sharp) {
        *sharp = sharps[pc];
    }
    return {digits[pc], octave};
}

QString JianpuNotation::banYanSign(const Section &section, qint64 time) {
    const int beats = section.beatsPerMeasure();
    if (beats <= 0) {
        return QString();
    }
    const qint64 beat = floorDiv(time - section.firstDownbeat, ticksPerBeat);
    const qint64 index = beat - floorDiv(beat, beats) * beats;
    const music::MusicRules::MeterRule rule =
        music::MusicRules::defaults().meterRule(section.meter, section.zeng);
    if (rule.ban.contains(int(index))) {
        return QStringLiteral("、");
    }
    if (rule.zengBan.contains(int(index))) {
        return QStringLiteral("×");
    }
    if (rule.zhongYan.contains(int(index))) {
        return QStringLiteral("●");
    }
    return QStringLiteral("○");
}
