#include "music/musicxmlwriter.h"

#include "model/atomicfile.h"
#include "music/musicrules.h"

#include <QHash>
#include <QVector>
#include <QXmlStreamWriter>
#include <algorithm>
#include <climits>
#include <numeric>

namespace music {

namespace {

constexpr qint64 wholeTicks = 4 * ticksPerBeat;
// A bar of 散板 closes at a character's first note once it holds this much.
constexpr qint64 longFreeBar = 4 * ticksPerBeat;
// Ornament notes sound for an eighth of a beat each, as in the MIDI file;
// the share of the main note they take is written for players that read it.
constexpr qint64 graceTicks = ticksPerBeat / 8;

// The 板式 as the score names it.
QString meterName(const Section &section) {
    const QString name = MusicRules::defaults().meterName(section.meter, section.zeng);
    return name.isEmpty() ? QStringLiteral("散板") : name;
}

// The key signature's sharps (positive) or flats (negative) for the major
// key whose tonic is 上, as the shipped key table pitches it: 小工调 D (2),
// 凡字调 E♭ (-3; E, 4, where the other sources are followed), 六字调 F (-1),
// 正工调 G (1), 乙字调 A (3), 上字调 B♭ (-2; or B, 5), 尺字调 C (0).
int fifthsOf(const Section &section) {
    static const int byPitchClass[12] = {0, -5, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5};
    const int shang = MusicRules::defaults().shangMidi(section.key, section.keyVariant);
    return byPitchClass[((shang % 12) + 12) % 12];
}

struct Pitch {
    QChar step;
    int alter = 0;
    int octave = 4;
};

// Sharps in the sharp keys (and C), flats in the flat keys.
Pitch spell(int midi, int fifths) {
    static const char sharpSteps[] = "CCDDEFFGGAAB";
    static const int sharpAlters[] = {0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0};
    static const char flatSteps[] = "CDDEEFGGAABB";
    static const int flatAlters[] = {0, -1, 0, -1, 0, 0, -1, 0, -1, 0, -1, 0};
    const int pc = ((midi % 12) + 12) % 12;
    Pitch p;
    p.step = QLatin1Char(fifths < 0 ? flatSteps[pc] : sharpSteps[pc]);
    p.alter = fifths < 0 ? flatAlters[pc] : sharpAlters[pc];
    p.octave = (midi - pc) / 12 - 1;
    return p;
}

// What the key signature does to a step.
int keyAlter(QChar step, int fifths) {
    static const QString sharpOrder = QStringLiteral("FCGDAEB");
    static const QString flatOrder = QStringLiteral("BEADGCF");
    if (fifths > 0) {
        return sharpOrder.indexOf(step) < fifths ? 1 : 0;
    }
    if (fifths < 0) {
        return flatOrder.indexOf(step) < -fifths ? -1 : 0;
    }
    return 0;
}

// A time signature as written; beats 0 for senza misura.
struct TimeSig {
    int beats = -1;
    int beatType = 4;
    bool operator==(const TimeSig &o) const { return beats == o.beats && beatType == o.beatType; }
    bool operator!=(const TimeSig &o) const { return !(*this == o); }
};

// The signature n/2^d that a bar of `ticks` fills exactly, if there is one.
bool exactSignature(qint64 ticks, TimeSig *sig) {
    for (int d = 2; d <= 7; ++d) {
        if (ticks > 0 && (ticks << d) % wholeTicks == 0) {
            sig->beats = int((ticks << d) / wholeTicks);
            sig->beatType = 1 << d;
            return true;
        }
    }
    return false;
}

struct Bar {
    qint64 from = 0;
    qint64 to = 0;
    int section = 0;
    bool sectionStart = false;
    bool sectionEnd = false;
    TimeSig meter;         // the tune's meter
    bool implicit = false; // the piece's pickup, not counted
    bool dashedEnd = false;
};

// A stretch of one note, or of silence, inside one bar.
struct Segment {
    int note = -1; // index into the melody's notes; -1 for a rest
    int bar = 0;
    qint64 from = 0;
    qint64 to = 0;
    bool first = true; // begins its note
    bool last = true;  // ends its note
};

struct Piece {
    qint64 ticks = 0;
    QString type; // empty where no note value states the length
    int dots = 0;
};

qint64 floorDiv(qint64 a, qint64 b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Where the bars of a 散板 tune end: after a 气口, or before a new
// character once the bar is long. Only the notes starting in [from, to) are
// read: order is sorted by onset.
QVector<qint64> freeBarLines(const Melody &melody, const QVector<int> &order, qint64 from,
                             qint64 to) {
    QVector<qint64> cuts;
    qint64 barStart = from;
    int previous = INT_MIN;
    auto it = std::lower_bound(order.begin(), order.end(), from, [&melody](int index, qint64 t) {
        return melody.notes.at(index).onset < t;
    });
    for (; it != order.end(); ++it) {
        const Note &note = melody.notes.at(*it);
        if (note.onset >= to) {
            break;
        }
        if (previous != INT_MIN && note.character != previous && note.onset > barStart &&
            note.onset - barStart >= longFreeBar) {
            cuts.append(note.onset);
            barStart = note.onset;
        }
        const qint64 end = note.onset + note.duration;
        if (note.breathAfter && end > barStart && end < to) {
            cuts.append(end);
            barStart = end;
        }
        previous = note.character;
    }
    return cuts;
}

QVector<Bar> layBars(const QVector<Section> &sections, const Melody &melody,
                     const QVector<int> &order, qint64 origin, qint64 lastEnd, bool split) {
    QVector<Bar> bars;
    qint64 cursor = origin;
    for (int i = 0; i < sections.size(); ++i) {
        const Section &section = sections.at(i);
        // A tune takes up any silence before its pickup; the last one runs to
        // the last note.
        qint64 end = std::max(section.end, cursor);
        if (i + 1 == sections.size()) {
            end = std::max(end, lastEnd);
        }
        if (end <= cursor) {
            continue;
        }
        QVector<qint64> cuts;
        QVector<bool> dashed;
        TimeSig meter;
        const int beats = section.beatsPerMeasure();
        // A measured tune may open freely (散): one bar senza misura up to
        // where its measured part begins.
        bool freeOpening = false;
        if (beats > 0 && section.measuredStart > section.start && section.measuredStart > cursor &&
            section.measuredStart < end) {
            Bar bar;
            bar.from = cursor;
            bar.to = section.measuredStart;
            bar.section = i;
            bar.sectionStart = true;
            bar.meter.beats = 0;
            bars.append(bar);
            cursor = section.measuredStart;
            freeOpening = true;
        }
        if (beats > 0) {
            const bool halve = split && section.zeng;
            meter.beats = halve ? beats / 2 : beats;
            const qint64 length = qint64(meter.beats) * ticksPerBeat;
            qint64 k = floorDiv(cursor - section.firstDownbeat, length) + 1;
            for (qint64 t = section.firstDownbeat + k * length; t < end; t += length, ++k) {
                cuts.append(t);
                dashed.append(halve && k % 2 != 0); // the 赠板
            }
        } else {
            meter.beats = 0;
            cuts = freeBarLines(melody, order, cursor, end);
            dashed.fill(true, cuts.size());
        }
        qint64 from = cursor;
        for (int c = 0; c <= cuts.size(); ++c) {
            Bar bar;
            bar.from = from;
            bar.to = c < cuts.size() ? cuts.at(c) : end;
            bar.section = i;
            bar.sectionStart = c == 0 && !freeOpening;
            bar.sectionEnd = c == cuts.size();
            bar.meter = meter;
            bar.dashedEnd = c < cuts.size() && dashed.at(c);
            bars.append(bar);
            from = bar.to;
        }
        cursor = end;
    }
    if (!bars.isEmpty()) {
        Bar &first = bars.first();
        first.implicit = first.meter.beats > 0 &&
                         first.to - first.from < qint64(first.meter.beats) * ticksPerBeat;
    }
    return bars;
}

// The notes and the silences between them, cut at the bar lines.
QVector<Segment> segmentsOf(const Melody &melody, const QVector<int> &order,
                            const QVector<Bar> &bars) {
    QVector<Segment> spans;
    qint64 t = bars.first().from;
    for (int index : order) {
        const Note &note = melody.notes.at(index);
        const qint64 from = std::max(note.onset, t);
        const qint64 to = note.onset + note.duration;
        if (to <= from) {
            continue;
        }
        if (from > t) {
            spans.append({-1, 0, t, from, true, true});
        }
        spans.append({index, 0, from, to, true, true});
        t = to;
    }
    if (t < bars.last().to) {
        spans.append({-1, 0, t, bars.last().to, true, true});
    }

    QVector<Segment> out;
    int bar = 0;
    for (const Segment &span : spans) {
        qint64 from = span.from;
        while (from < span.to) {
            while (bar + 1 < bars.size() && bars.at(bar).to <= from) {
                ++bar;
            }
            if (from >= bars.at(bar).to) {
                break; // past the last bar: cannot happen, the bars hold every note
            }
            const qint64 to = std::min(span.to, bars.at(bar).to);
            out.append({span.note, bar, from, to, from == span.from, to == span.to});
            from = to;
        }
    }
    return out;
}

// A length as note values (at most one dot), largest first, each a whole
// number of divisions (`grain` ticks).
QVector<Piece> piecesOf(qint64 length, qint64 grain) {
    struct Kind {
        qint64 ticks;
        const char *type;
    };
    static const Kind kinds[] = {
        {2 * wholeTicks, "breve"},   {wholeTicks, "whole"},      {wholeTicks / 2, "half"},
        {wholeTicks / 4, "quarter"}, {wholeTicks / 8, "eighth"}, {wholeTicks / 16, "16th"},
        {wholeTicks / 32, "32nd"},   {wholeTicks / 64, "64th"},  {wholeTicks / 128, "128th"}};
    QVector<Piece> out;
    while (length > 0) {
        Piece piece;
        for (const Kind &kind : kinds) {
            const qint64 dotted = kind.ticks % 2 == 0 ? kind.ticks * 3 / 2 : 0;
            if (dotted > 0 && dotted <= length && dotted % grain == 0 &&
                kind.ticks < 2 * wholeTicks) {
                piece = {dotted, QLatin1String(kind.type), 1};
                break;
            }
            if (kind.ticks <= length && kind.ticks % grain == 0) {
                piece = {kind.ticks, QLatin1String(kind.type), 0};
                break;
            }
        }
        if (piece.ticks == 0) {
            piece.ticks = length; // no note value fits: the duration alone
        }
        out.append(piece);
        length -= piece.ticks;
    }
    return out;
}

class ScoreWriter {
public:
    ScoreWriter(const Melody &melody, const MusicXmlWriter::Options &options)
        : m_melody(melody)
        , m_options(options) {}

    QByteArray run();

private:
    // The marks under a note's <notations>.
    struct Notations {
        bool tieStop = false;
        bool tieStart = false;
        bool slurStart = false;
        bool slurStop = false;
        bool breath = false;
        bool fermata = false;
    };

    void layOut(const QVector<int> &order);
    void markSlurs();
    void writeDocument();
    void writeHeader();
    void writeBar(int index);
    void writeAttributes(int index);
    void writeDirection(const Section &section);
    void writeSegment(const Segment &segment);
    void writeRest(const Segment &segment);
    void writeNotePiece(const Segment &segment, const Piece &piece, bool opens, bool closes);
    void writeType(const Piece &piece);
    void writeNotations(const Notations &marks);
    void writeGraces(const Note &note, bool after);
    QString writePitch(int midi, bool continued);

    const Melody &m_melody;
    const MusicXmlWriter::Options &m_options;
    QByteArray m_out;
    QXmlStreamWriter m_xml{&m_out};

    QVector<Section> m_sections;
    QVector<Bar> m_bars;
    QVector<Segment> m_segments;
    QVector<int> m_barSegments; // the first segment of each bar, and the count at the end
    QVector<bool> m_slurStart;
    QVector<bool> m_slurStop;
    qint64 m_grain = ticksPerBeat;
    int m_number = 0;
    int m_fifths = INT_MIN;
    int m_tempo = -1;
    TimeSig m_time;
    QHash<QString, int> m_altered; // step and octave -> alter, within the bar
};

QByteArray ScoreWriter::run() {
    QVector<int> order(m_melody.notes.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        return m_melody.notes.at(a).onset < m_melody.notes.at(b).onset;
    });
    layOut(order);
    markSlurs();
    writeDocument();
    return m_out;
}

// The sections, their bars and the segments of notes and rests in them, and
// the grain all durations are counted in.
void ScoreWriter::layOut(const QVector<int> &order) {
    qint64 origin = m_melody.sections.isEmpty() ? 0 : m_melody.sections.first().start;
    qint64 lastEnd = origin;
    for (const Note &note : m_melody.notes) {
        if (note.duration > 0) {
            origin = std::min(origin, note.onset);
            lastEnd = std::max(lastEnd, note.onset + note.duration);
        }
    }

    m_sections = m_melody.sections;
    if (m_sections.isEmpty()) {
        // Notes with no tune are free; no notes at all make one empty bar.
        Section section;
        section.meter = lastEnd > origin ? Meter::SanBan : Meter::YiBanSanYan;
        section.start = section.firstDownbeat = origin;
        section.end = lastEnd > origin ? lastEnd : origin + wholeTicks;
        m_sections.append(section);
    }
    m_bars = layBars(m_sections, m_melody, order, origin, lastEnd, m_options.splitZengMeasures);
    if (m_bars.isEmpty()) {
        Bar bar;
        bar.from = origin;
        bar.to = origin + wholeTicks;
        bar.sectionStart = bar.sectionEnd = true;
        bar.meter.beats = 4;
        m_bars.append(bar);
    }
    m_segments = segmentsOf(m_melody, order, m_bars);
    // The segments come bar by bar.
    m_barSegments.fill(0, m_bars.size() + 1);
    for (const Segment &s : m_segments) {
        ++m_barSegments[s.bar + 1];
    }
    std::partial_sum(m_barSegments.begin(), m_barSegments.end(), m_barSegments.begin());

    qint64 grain = ticksPerBeat;
    for (const Segment &s : m_segments) {
        grain = std::gcd(grain, s.to - s.from);
    }
    m_grain = grain;
}

// A slur over each character sung on more than one note.
void ScoreWriter::markSlurs() {
    m_slurStart.fill(false, m_melody.notes.size());
    m_slurStop.fill(false, m_melody.notes.size());
    QVector<int> written;
    for (const Segment &s : m_segments) {
        if (s.note >= 0 && s.first) {
            written.append(s.note);
        }
    }
    for (int i = 0; i < written.size();) {
        const int character = m_melody.notes.at(written.at(i)).character;
        int j = i + 1;
        while (character >= 0 && j < written.size() &&
               m_melody.notes.at(written.at(j)).character == character) {
            ++j;
        }
        if (j - i > 1) {
            m_slurStart[written.at(i)] = true;
            m_slurStop[written.at(j - 1)] = true;
        }
        i = j;
    }
}

void ScoreWriter::writeDocument() {
    // About 400 bytes a note: the score grows in place, without copies.
    m_out.reserve(int(std::min<qint64>(qint64(m_segments.size()) * 400 + 4096, INT_MAX / 2)));
    m_xml.setAutoFormatting(true);
    m_xml.setAutoFormattingIndent(2);
    m_xml.writeStartDocument();
    m_xml.writeDTD(QStringLiteral("<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML "
                                  "4.0 Partwise//EN\" \"http://www.musicxml.org/dtds/"
                                  "partwise.dtd\">"));
    m_xml.writeStartElement(QStringLiteral("score-partwise"));
    m_xml.writeAttribute(QStringLiteral("version"), QStringLiteral("4.0"));
    writeHeader();
    m_xml.writeStartElement(QStringLiteral("part"));
    m_xml.writeAttribute(QStringLiteral("id"), QStringLiteral("P1"));
    for (int i = 0; i < m_bars.size(); ++i) {
        writeBar(i);
    }
    m_xml.writeEndElement(); // part
    m_xml.writeEndElement(); // score-partwise
    m_xml.writeEndDocument();
}

void ScoreWriter::writeHeader() {
    const QString title = m_options.title.trimmed();
    if (!title.isEmpty()) {
        m_xml.writeStartElement(QStringLiteral("work"));
        m_xml.writeTextElement(QStringLiteral("work-title"), title);
        m_xml.writeEndElement();
    }
    m_xml.writeStartElement(QStringLiteral("identification"));
    m_xml.writeStartElement(QStringLiteral("encoding"));
    m_xml.writeTextElement(QStringLiteral("software"),
                           QStringLiteral("Qorvel工尺谱 " QORVEL_VERSION));
    m_xml.writeEndElement();
    m_xml.writeEndElement();

    m_xml.writeStartElement(QStringLiteral("part-list"));
    m_xml.writeStartElement(QStringLiteral("score-part"));
    m_xml.writeAttribute(QStringLiteral("id"), QStringLiteral("P1"));
    m_xml.writeTextElement(QStringLiteral("part-name"), QStringLiteral("笛"));
    m_xml.writeStartElement(QStringLiteral("score-instrument"));
    m_xml.writeAttribute(QStringLiteral("id"), QStringLiteral("P1-I1"));
    m_xml.writeTextElement(QStringLiteral("instrument-name"), QStringLiteral("笛"));
    m_xml.writeEndElement();
    m_xml.writeStartElement(QStringLiteral("midi-instrument"));
    m_xml.writeAttribute(QStringLiteral("id"), QStringLiteral("P1-I1"));
    m_xml.writeTextElement(QStringLiteral("midi-channel"), QStringLiteral("1"));
    // Numbered from 1 here, as General MIDI counts: 74 is the flute.
    m_xml.writeTextElement(QStringLiteral("midi-program"), QStringLiteral("74"));
    m_xml.writeEndElement();
    m_xml.writeEndElement(); // score-part
    m_xml.writeEndElement(); // part-list
}

void ScoreWriter::writeBar(int index) {
    const Bar &bar = m_bars.at(index);
    m_xml.writeStartElement(QStringLiteral("measure"));
    if (bar.implicit) {
        m_xml.writeAttribute(QStringLiteral("number"), QStringLiteral("0"));
        m_xml.writeAttribute(QStringLiteral("implicit"), QStringLiteral("yes"));
    } else {
        m_xml.writeAttribute(QStringLiteral("number"), QString::number(++m_number));
    }
    m_altered.clear();
    writeAttributes(index);
    if (bar.sectionStart) {
        writeDirection(m_sections.at(bar.section));
    }
    for (int s = m_barSegments.at(index); s < m_barSegments.at(index + 1); ++s) {
        writeSegment(m_segments.at(s));
    }
    QString style;
    if (index + 1 == m_bars.size()) {
        style = QStringLiteral("light-heavy");
    } else if (bar.sectionEnd) {
        style = QStringLiteral("light-light");
    } else if (bar.dashedEnd) {
        style = QStringLiteral("dashed");
    }
    if (!style.isEmpty()) {
        m_xml.writeStartElement(QStringLiteral("barline"));
        m_xml.writeAttribute(QStringLiteral("location"), QStringLiteral("right"));
        m_xml.writeTextElement(QStringLiteral("bar-style"), style);
        m_xml.writeEndElement();
    }
    m_xml.writeEndElement(); // measure
}

void ScoreWriter::writeAttributes(int index) {
    const Bar &bar = m_bars.at(index);
    const Section &section = m_sections.at(bar.section);
    const int fifths = fifthsOf(section);

    // A bar shorter than its meter inside the piece (a later tune's pickup)
    // gets a time signature of its own length, and the meter follows it.
    TimeSig time = bar.meter;
    const qint64 length = bar.to - bar.from;
    if (bar.meter.beats > 0 && length != qint64(bar.meter.beats) * ticksPerBeat && !bar.implicit &&
        index + 1 < m_bars.size()) {
        TimeSig exact;
        if (exactSignature(length, &exact)) {
            time = exact;
        }
    }
    const bool key = index == 0 || (bar.sectionStart && fifths != m_fifths);
    const bool changeTime = time != m_time;
    if (index > 0 && !key && !changeTime) {
        return;
    }
    m_xml.writeStartElement(QStringLiteral("attributes"));
    if (index == 0) {
        m_xml.writeTextElement(QStringLiteral("divisions"),
                               QString::number(ticksPerBeat / m_grain));
    }
    if (key) {
        m_xml.writeStartElement(QStringLiteral("key"));
        m_xml.writeTextElement(QStringLiteral("fifths"), QString::number(fifths));
        m_xml.writeTextElement(QStringLiteral("mode"), QStringLiteral("major"));
        m_xml.writeEndElement();
        m_fifths = fifths;
    }
    if (changeTime) {
        m_xml.writeStartElement(QStringLiteral("time"));
        if (time.beats == 0) {
            m_xml.writeEmptyElement(QStringLiteral("senza-misura"));
        } else {
            m_xml.writeTextElement(QStringLiteral("beats"), QString::number(time.beats));
            m_xml.writeTextElement(QStringLiteral("beat-type"), QString::number(time.beatType));
        }
        m_xml.writeEndElement();
        m_time = time;
    }
    if (index == 0) {
        m_xml.writeStartElement(QStringLiteral("clef"));
        m_xml.writeTextElement(QStringLiteral("sign"), QStringLiteral("G"));
        m_xml.writeTextElement(QStringLiteral("line"), QStringLiteral("2"));
        m_xml.writeEndElement();
    }
    m_xml.writeEndElement(); // attributes
}

void ScoreWriter::writeDirection(const Section &section) {
    const int tempo = section.tempo > 0 ? section.tempo : 60;
    m_xml.writeStartElement(QStringLiteral("direction"));
    m_xml.writeAttribute(QStringLiteral("placement"), QStringLiteral("above"));
    m_xml.writeStartElement(QStringLiteral("direction-type"));
    const QString name = section.quPai.isEmpty()
                             ? meterName(section)
                             : QStringLiteral("【%1】%2").arg(section.quPai, meterName(section));
    m_xml.writeTextElement(QStringLiteral("words"), name);
    m_xml.writeEndElement();
    if (tempo != m_tempo) {
        m_xml.writeStartElement(QStringLiteral("direction-type"));
        m_xml.writeStartElement(QStringLiteral("metronome"));
        m_xml.writeTextElement(QStringLiteral("beat-unit"), QStringLiteral("quarter"));
        m_xml.writeTextElement(QStringLiteral("per-minute"), QString::number(tempo));
        m_xml.writeEndElement();
        m_xml.writeEndElement();
        m_xml.writeEmptyElement(QStringLiteral("sound"));
        m_xml.writeAttribute(QStringLiteral("tempo"), QString::number(tempo));
        m_tempo = tempo;
    }
    m_xml.writeEndElement(); // direction
}

// Writes <pitch> and returns the accidental the note shows, if any: one that
// the key and the bar so far do not give it (a tied continuation shows none).
QString ScoreWriter::writePitch(int midi, bool continued) {
    const Pitch p = spell(midi, m_fifths);
    const QString where = QStringLiteral("%1%2").arg(p.step).arg(p.octave);
    const int before = m_altered.value(where, keyAlter(p.step, m_fifths));
    m_altered.insert(where, p.alter);

    m_xml.writeStartElement(QStringLiteral("pitch"));
    m_xml.writeTextElement(QStringLiteral("step"), QString(p.step));
    if (p.alter != 0) {
        m_xml.writeTextElement(QStringLiteral("alter"), QString::number(p.alter));
    }
    m_xml.writeTextElement(QStringLiteral("octave"), QString::number(p.octave));
    m_xml.writeEndElement();

    if (continued || before == p.alter) {
        return QString();
    }
    return p.alter > 0   ? QStringLiteral("sharp")
           : p.alter < 0 ? QStringLiteral("flat")
                         : QStringLiteral("natural");
}

void ScoreWriter::writeGraces(const Note &note, bool after) {
    const QVector<int> &graces = after ? note.gracesAfter : note.gracesBefore;
    if (graces.isEmpty()) {
        return;
    }
    // The share of the main note each ornament takes, in percent: those after
    // it share the span the note gives them, where it states one.
    const int count = note.gracesBefore.size() + note.gracesAfter.size();
    const qint64 each = after && note.graceAfterTicks > 0
                            ? note.graceAfterTicks / graces.size()
                            : std::min(graceTicks, note.duration / (count + 1));
    const double share = note.duration > 0
                             ? std::clamp(100.0 * double(each) / double(note.duration), 0.01, 100.0)
                             : 1.0;
    const QString percent = QString::number(share, 'g', 4);
    for (int midi : graces) {
        if (midi < 0 || midi > 127) {
            continue;
        }
        m_xml.writeStartElement(QStringLiteral("note"));
        m_xml.writeEmptyElement(QStringLiteral("grace"));
        if (after) {
            m_xml.writeAttribute(QStringLiteral("steal-time-previous"), percent);
        } else {
            m_xml.writeAttribute(QStringLiteral("steal-time-following"), percent);
            if (graces.size() == 1) {
                m_xml.writeAttribute(QStringLiteral("slash"), QStringLiteral("yes"));
            }
        }
        const QString accidental = writePitch(midi, false);
        m_xml.writeTextElement(QStringLiteral("voice"), QStringLiteral("1"));
        m_xml.writeTextElement(QStringLiteral("type"), QStringLiteral("16th"));
        if (!accidental.isEmpty()) {
            m_xml.writeTextElement(QStringLiteral("accidental"), accidental);
        }
        m_xml.writeEndElement();
    }
}

void ScoreWriter::writeSegment(const Segment &segment) {
    if (segment.note < 0) {
        writeRest(segment);
        return;
    }
    const Note &note = m_melody.notes.at(segment.note);
    if (segment.first) {
        writeGraces(note, false);
    }
    const QVector<Piece> pieces = piecesOf(segment.to - segment.from, m_grain);
    for (int i = 0; i < pieces.size(); ++i) {
        const bool opens = segment.first && i == 0;
        const bool closes = segment.last && i + 1 == pieces.size();
        writeNotePiece(segment, pieces.at(i), opens, closes);
    }
    if (segment.last) {
        writeGraces(note, true);
    }
}

// A silent segment: a whole-measure rest when it fills its bar, else rests of
// note values.
void ScoreWriter::writeRest(const Segment &segment) {
    const Bar &bar = m_bars.at(segment.bar);
    if (segment.from == bar.from && segment.to == bar.to && !bar.implicit) {
        m_xml.writeStartElement(QStringLiteral("note"));
        m_xml.writeEmptyElement(QStringLiteral("rest"));
        m_xml.writeAttribute(QStringLiteral("measure"), QStringLiteral("yes"));
        m_xml.writeTextElement(QStringLiteral("duration"),
                               QString::number((segment.to - segment.from) / m_grain));
        m_xml.writeTextElement(QStringLiteral("voice"), QStringLiteral("1"));
        m_xml.writeEndElement();
        return;
    }
    for (const Piece &piece : piecesOf(segment.to - segment.from, m_grain)) {
        m_xml.writeStartElement(QStringLiteral("note"));
        m_xml.writeEmptyElement(QStringLiteral("rest"));
        m_xml.writeTextElement(QStringLiteral("duration"), QString::number(piece.ticks / m_grain));
        m_xml.writeTextElement(QStringLiteral("voice"), QStringLiteral("1"));
        writeType(piece);
        m_xml.writeEndElement();
    }
}

void ScoreWriter::writeType(const Piece &piece) {
    if (!piece.type.isEmpty()) {
        m_xml.writeTextElement(QStringLiteral("type"), piece.type);
        for (int d = 0; d < piece.dots; ++d) {
            m_xml.writeEmptyElement(QStringLiteral("dot"));
        }
    }
}

// One piece of a sounding segment: tied to the pieces around it, the first
// of the note's first segment (opens) carrying its lyric and slur start, the
// last of its last segment (closes) its slur stop, breath and fermata.
void ScoreWriter::writeNotePiece(const Segment &segment, const Piece &piece, bool opens,
                                 bool closes) {
    const Note &note = m_melody.notes.at(segment.note);
    const bool tieStop = !opens;
    const bool tieStart = !closes;
    m_xml.writeStartElement(QStringLiteral("note"));
    const QString accidental = writePitch(note.midi, tieStop);
    m_xml.writeTextElement(QStringLiteral("duration"), QString::number(piece.ticks / m_grain));
    if (tieStop) {
        m_xml.writeEmptyElement(QStringLiteral("tie"));
        m_xml.writeAttribute(QStringLiteral("type"), QStringLiteral("stop"));
    }
    if (tieStart) {
        m_xml.writeEmptyElement(QStringLiteral("tie"));
        m_xml.writeAttribute(QStringLiteral("type"), QStringLiteral("start"));
    }
    m_xml.writeTextElement(QStringLiteral("voice"), QStringLiteral("1"));
    writeType(piece);
    if (!accidental.isEmpty()) {
        m_xml.writeTextElement(QStringLiteral("accidental"), accidental);
    }
    Notations marks;
    marks.tieStop = tieStop;
    marks.tieStart = tieStart;
    marks.slurStart = opens && m_slurStart.at(segment.note);
    marks.slurStop = closes && m_slurStop.at(segment.note);
    marks.breath = closes && note.breathAfter;
    marks.fermata = closes && note.fermata;
    writeNotations(marks);
    if (opens && !note.lyric.isEmpty()) {
        m_xml.writeStartElement(QStringLiteral("lyric"));
        m_xml.writeAttribute(QStringLiteral("number"), QStringLiteral("1"));
        m_xml.writeTextElement(QStringLiteral("syllabic"), QStringLiteral("single"));
        m_xml.writeTextElement(QStringLiteral("text"), note.lyric);
        m_xml.writeEndElement();
    }
    m_xml.writeEndElement(); // note
}

void ScoreWriter::writeNotations(const Notations &marks) {
    if (!(marks.tieStop || marks.tieStart || marks.slurStart || marks.slurStop || marks.breath ||
          marks.fermata)) {
        return;
    }
    m_xml.writeStartElement(QStringLiteral("notations"));
    if (marks.tieStop) {
        m_xml.writeEmptyElement(QStringLiteral("tied"));
        m_xml.writeAttribute(QStringLiteral("type"), QStringLiteral("stop"));
    }
    if (marks.tieStart) {
        m_xml.writeEmptyElement(QStringLiteral("tied"));
        m_xml.writeAttribute(QStringLiteral("type"), QStringLiteral("start"));
    }
    if (marks.slurStop) {
        m_xml.writeEmptyElement(QStringLiteral("slur"));
        m_xml.writeAttribute(QStringLiteral("type"), QStringLiteral("stop"));
        m_xml.writeAttribute(QStringLiteral("number"), QStringLiteral("1"));
    }
    if (marks.slurStart) {
        m_xml.writeEmptyElement(QStringLiteral("slur"));
        m_xml.writeAttribute(QStringLiteral("type"), QStringLiteral("start"));
        m_xml.writeAttribute(QStringLiteral("number"), QStringLiteral("1"));
    }
    if (marks.breath) {
        m_xml.writeStartElement(QStringLiteral("articulations"));
        m_xml.writeEmptyElement(QStringLiteral("breath-mark"));
        m_xml.writeEndElement();
    }
    if (marks.fermata) {
        m_xml.writeEmptyElement(QStringLiteral("fermata"));
        m_xml.writeAttribute(QStringLiteral("type"), QStringLiteral("upright"));
    }
    m_xml.writeEndElement(); // notations
}

} // namespace

QByteArray MusicXmlWriter::encode(const Melody &melody, const Options &options) {
    ScoreWriter writer(melody, options);
    return writer.run();
}

Outcome MusicXmlWriter::write(const Melody &melody, const QString &path, const Options &options) {
    return writeFileAtomically(path, encode(melody, options));
}

} // namespace music
