#include "music/musicxmlwriter.h"

#include "model/atomicfile.h"
#include "music/barredmelody.h"

#include <QHash>
#include <QVector>
#include <QXmlStreamWriter>
#include <algorithm>
#include <climits>

namespace music {

namespace {

using Bar = BarredMelody::Bar;
using Segment = BarredMelody::Segment;
using Piece = BarredMelody::Piece;
using TimeSig = BarredMelody::TimeSig;

// Ornament notes sound for an eighth of a beat each, as in the MIDI file;
// the share of the main note they take is written for players that read it.
constexpr qint64 graceTicks = ticksPerBeat / 8;

class ScoreWriter {
public:
    ScoreWriter(const Melody &melody, const MusicXmlWriter::Options &options)
        : m_melody(melody)
        , m_options(options)
        , m_barred(melody, options.splitZengMeasures)
        , m_bars(m_barred.bars())
        , m_segments(m_barred.segments())
        , m_sections(m_barred.sections())
        , m_grain(m_barred.grain()) {}

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

    const BarredMelody m_barred;
    const QVector<Bar> &m_bars;
    const QVector<Segment> &m_segments;
    const QVector<Section> &m_sections;
    const qint64 m_grain;
    int m_number = 0;
    int m_fifths = INT_MIN;
    int m_tempo = -1;
    TimeSig m_time;
    QHash<QString, int> m_altered; // step and octave -> alter, within the bar
};

QByteArray ScoreWriter::run() {
    writeDocument();
    return m_out;
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
    for (int s = m_barred.barSegment(index); s < m_barred.barSegment(index + 1); ++s) {
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
    const int fifths = BarredMelody::fifthsOf(section);

    // A bar shorter than its meter inside the piece (a later tune's pickup)
    // gets a time signature of its own length, and the meter follows it.
    TimeSig time = bar.meter;
    const qint64 length = bar.to - bar.from;
    if (bar.meter.beats > 0 && length != qint64(bar.meter.beats) * ticksPerBeat && !bar.implicit &&
        index + 1 < m_bars.size()) {
        TimeSig exact;
        if (BarredMelody::exactSignature(length, &exact)) {
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
    const QString name =
        section.quPai.isEmpty()
            ? BarredMelody::meterName(section)
            : QStringLiteral("【%1】%2").arg(section.quPai, BarredMelody::meterName(section));
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
    const BarredMelody::Pitch p = BarredMelody::spell(midi, m_fifths);
    const QString where = QStringLiteral("%1%2").arg(p.step).arg(p.octave);
    const int before = m_altered.value(where, BarredMelody::keyAlter(p.step, m_fifths));
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
    const QVector<Piece> pieces = BarredMelody::piecesOf(segment.to - segment.from, m_grain);
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
    for (const Piece &piece : BarredMelody::piecesOf(segment.to - segment.from, m_grain)) {
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
    marks.slurStart = opens && m_barred.slurStarts(segment.note);
    marks.slurStop = closes && m_barred.slurStops(segment.note);
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
