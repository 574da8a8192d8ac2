#include "staff/lilypondwriter.h"

#include "model/linegrammar.h"
#include "music/barredmelody.h"
#include "music/musicrules.h"
#include "typeset/jianpunotation.h"

#include <QtMath>
#include <algorithm>
#include <climits>
#include <numeric>

using music::BarredMelody;
using music::Note;
using music::Section;
using music::ticksPerBeat;

namespace {

using Bar = BarredMelody::Bar;
using Segment = BarredMelody::Segment;
using Piece = BarredMelody::Piece;
constexpr qint64 wholeTicks = BarredMelody::wholeTicks;

// A length as a fraction of a whole note, "n/d" reduced.
QString fractionOf(qint64 ticks, qint64 unit = wholeTicks) {
    const qint64 g = std::gcd(ticks, unit);
    return QStringLiteral("%1/%2").arg(ticks / g).arg(unit / g);
}

// One note value as LilyPond writes it: "4.", or a quarter scaled ("4*2/3")
// where no note value states the length.
QString durationOf(const Piece &piece) {
    static const QHash<QString, QString> names = {
        {QStringLiteral("breve"), QStringLiteral("\\breve")},
        {QStringLiteral("whole"), QStringLiteral("1")},
        {QStringLiteral("half"), QStringLiteral("2")},
        {QStringLiteral("quarter"), QStringLiteral("4")},
        {QStringLiteral("eighth"), QStringLiteral("8")},
        {QStringLiteral("16th"), QStringLiteral("16")},
        {QStringLiteral("32nd"), QStringLiteral("32")},
        {QStringLiteral("64th"), QStringLiteral("64")},
        {QStringLiteral("128th"), QStringLiteral("128")}};
    if (piece.type.isEmpty()) {
        const qint64 g = std::gcd(piece.ticks, qint64(ticksPerBeat));
        const qint64 n = piece.ticks / g, d = ticksPerBeat / g;
        return d == 1 ? QStringLiteral("4*%1").arg(n) : QStringLiteral("4*%1/%2").arg(n).arg(d);
    }
    return names.value(piece.type) + QString(piece.dots, QLatin1Char('.'));
}

// A length as one duration: a single note value where one fits, else scaled.
QString spanOf(qint64 ticks) {
    const QVector<Piece> pieces = BarredMelody::piecesOf(ticks, 1);
    if (pieces.size() == 1) {
        return durationOf(pieces.first());
    }
    return QStringLiteral("1*") + fractionOf(ticks);
}

// Absolute pitch, c' = middle C (60), spelled as the key signature asks.
QString pitchOf(int midi, int fifths) {
    const BarredMelody::Pitch p = BarredMelody::spell(midi, fifths);
    QString s = QString(p.step.toLower());
    s += p.alter > 0 ? QStringLiteral("is") : p.alter < 0 ? QStringLiteral("es") : QString();
    const int marks = p.octave - 3;
    s += QString(std::abs(marks), marks > 0 ? QLatin1Char('\'') : QLatin1Char(','));
    return s;
}

// The major key with `fifths` sharps (flats when negative).
QString keyOf(int fifths) {
    static const char *const names[] = {"ges", "des", "aes", "ees", "bes", "f",  "c",
                                        "g",   "d",   "a",   "e",   "b",   "fis"};
    return QLatin1String(names[std::clamp(fifths, -6, 6) + 6]);
}

QString quoted(const QString &text) {
    QString s = text;
    s.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// A 板眼 sign as a syllable of the row above the staff. The row is set
// small, for the circles; the 板 and the 赠板, thin strokes, are enlarged to
// read as strongly.
QString signMarkup(const QString &sign) {
    if (sign == QStringLiteral("、")) {
        return QStringLiteral("\\markup \\fontsize #6 \"、\"");
    }
    if (sign == QStringLiteral("×")) {
        return QStringLiteral("\\markup \\fontsize #3 \"×\"");
    }
    return quoted(sign);
}

// A line of the document that is text between the scores: the title or a
// spoken line, standing before sung character `before`.
struct Aside {
    int before = 0;
    bool title = false;
    QString text;
};

// A 换行 or 分页 line of the document, standing before sung character
// `before`: the staff breaks the line or the page there too.
struct Break {
    int before = 0;
    bool page = false;
};

// A stretch of one tune engraved as one \score: [from, to) in time, its
// segments [first, end).
struct Chunk {
    int section = 0;
    qint64 from = 0;
    qint64 to = 0;
    int first = 0;
    int end = 0;
    bool tuneStart = false;
    bool tuneEnd = false;
};

class Writer {
public:
    Writer(const DocumentLines &lines, const music::Melody &melody,
           const LilyPondWriter::Options &options)
        : m_lines(lines)
        , m_melody(melody)
        , m_options(options)
        , m_barred(melody, options.style.jianpu.splitZeng) {
        readLines();
    }

    // The tunes with notes, as sections of the barred melody.
    QVector<int> tunes() const {
        QVector<int> out;
        for (int s = 0; s < m_barred.sections().size(); ++s) {
            if (firstNoteOf(s) >= 0) {
                out.append(s);
            }
        }
        return out;
    }

    LilyPondSource write(const QVector<int> &sections, bool first, bool last);

private:
    void readLines();
    int firstNoteOf(int section) const;
    QVector<Chunk> chunksOf(int section) const;
    void put(const QString &text);
    void newline() { put(QStringLiteral("\n")); }
    void writePreamble(bool withTitle);
    void writeAsides(int from, int to, bool withTitle);
    void writeScore(const Chunk &chunk);
    void writeMusic(const Chunk &chunk);
    void writeNote(const Segment &segment, int fifths);
    void writeGraces(const Note &note, const QVector<int> &graces, int fifths);
    void linkHere(const Note &note);
    void writeBanYan(const Chunk &chunk);
    void writeLyrics(const Chunk &chunk);

    const DocumentLines &m_lines;
    const music::Melody &m_melody;
    const LilyPondWriter::Options &m_options;
    const BarredMelody m_barred;
    // The break between sung characters after and before, if any: a 分页 wins.
    const Break *breakBetween(int after, int before) const;

    QVector<Aside> m_asides;
    QVector<Break> m_breaks;
    QString m_title;

    QString m_text;
    int m_line = 1;
    int m_lineStart = 0;
    QVector<LilyPondLink> m_links;
};

void Writer::readLines() {
    int sung = 0;
    for (int i = 0; i < m_lines.size(); ++i) {
        const DocumentLine &line = m_lines.at(i);
        const QString body = line.text.mid(1).trimmed();
        if (line.kind == LineKind::Title) {
            if (m_title.isEmpty()) {
                m_title = titleText(line.text).trimmed();
            }
        } else if (line.kind == LineKind::LianBai || line.kind == LineKind::JiaBai) {
            m_asides.append(
                {sung, false,
                 body.startsWith(QStringLiteral("白：")) ? body : QStringLiteral("白：") + body});
        } else if (line.kind == LineKind::LineBreak || line.kind == LineKind::PageBreak) {
            m_breaks.append({sung, line.kind == LineKind::PageBreak});
        }
        if (isDirectiveLine(line.text)) {
            continue;
        }
        for (QChar c : line.text) {
            if (isSungChar(c)) {
                ++sung;
            }
        }
    }
    if (!m_options.title.trimmed().isEmpty()) {
        m_title = m_options.title.trimmed();
    }
}

const Break *Writer::breakBetween(int after, int before) const {
    const Break *found = nullptr;
    for (const Break &b : m_breaks) {
        if (after >= 0 && b.before > after && b.before <= before && (!found || b.page)) {
            found = &b;
        }
    }
    return found;
}

int Writer::firstNoteOf(int section) const {
    for (const Segment &s : m_barred.segments()) {
        if (s.note >= 0 && m_barred.bars().at(s.bar).section == section) {
            return s.note;
        }
    }
    return -1;
}

// A tune's bars, cut where a spoken line stands between its characters.
QVector<Chunk> Writer::chunksOf(int section) const {
    const QVector<Bar> &bars = m_barred.bars();
    const QVector<Segment> &segments = m_barred.segments();
    Chunk chunk;
    chunk.section = section;
    chunk.first = -1;
    for (int b = 0; b < bars.size(); ++b) {
        if (bars.at(b).section != section) {
            continue;
        }
        if (chunk.first < 0) {
            chunk.first = m_barred.barSegment(b);
            chunk.from = bars.at(b).from;
        }
        chunk.end = m_barred.barSegment(b + 1);
        chunk.to = bars.at(b).to;
    }
    QVector<Chunk> out;
    if (chunk.first < 0) {
        return out;
    }
    chunk.tuneStart = true;
    int lastCharacter = -1;
    for (int s = chunk.first; s < chunk.end; ++s) {
        const Segment &segment = segments.at(s);
        if (segment.note < 0 || !segment.first) {
            continue;
        }
        const int character = m_melody.notes.at(segment.note).character;
        bool split = false;
        for (const Aside &aside : m_asides) {
            split = split || (lastCharacter >= 0 && character >= 0 &&
                              aside.before > lastCharacter && aside.before <= character);
        }
        if (split && s > chunk.first) {
            Chunk head = chunk;
            head.end = s;
            head.to = segment.from;
            out.append(head);
            chunk.first = s;
            chunk.from = segment.from;
            chunk.tuneStart = false;
        }
        if (character >= 0) {
            lastCharacter = character;
        }
    }
    chunk.tuneEnd = true;
    out.append(chunk);
    return out;
}

void Writer::put(const QString &text) {
    for (QChar c : text) {
        m_text += c;
        if (c == QLatin1Char('\n')) {
            ++m_line;
            m_lineStart = m_text.size();
        }
    }
}

void Writer::writePreamble(bool withTitle) {
    const PageStyle &style = m_options.style;
    const StaffStyle &staff = style.staff;
    const QSize page = style.pageSize();
    const QString lyricFamily = staff.lyricFont.family();
    // LilyPond's text is 11 pt at staff size 20, and scales with the staff;
    // six font-size steps double it.
    const double textPoints = 11.0 * staff.staffSize / 20.0;
    const double lyricPoints =
        staff.lyricFont.pointSizeF() > 0 ? staff.lyricFont.pointSizeF() : textPoints;
    const double lyricStep = 6.0 * std::log2(lyricPoints / textPoints);

    put(QStringLiteral("\\version \"2.24.0\"\n"));
    put(QStringLiteral("#(set-global-staff-size %1)\n\n").arg(staff.staffSize));
    put(QStringLiteral("\\paper {\n"));
    put(QStringLiteral("  #(set-paper-size '(cons (* %1 pt) (* %2 pt)))\n")
            .arg(page.width())
            .arg(page.height()));
    put(QStringLiteral("  top-margin = %1\\pt\n  bottom-margin = %2\\pt\n"
                       "  left-margin = %3\\pt\n  right-margin = %4\\pt\n")
            .arg(style.marginTop)
            .arg(style.marginBottom)
            .arg(style.marginLeft)
            .arg(style.marginRight));
    put(QStringLiteral("  print-page-number = ##f\n"));
    // Systems at their natural distance, as copyists set them, not spread
    // to fill a page that a 分页 or a spoken line ended early.
    put(QStringLiteral("  ragged-bottom = ##t\n"));
    put(QStringLiteral("  #(define fonts (set-global-fonts #:roman %1 #:factor (/ staff-height pt "
                       "20)))\n")
            .arg(quoted(lyricFamily)));
    put(QStringLiteral("}\n\n"));
    put(QStringLiteral("\\header {\n"));
    if (withTitle && !m_title.isEmpty()) {
        put(QStringLiteral("  title = %1\n").arg(quoted(m_title)));
    }
    put(QStringLiteral("  tagline = ##f\n}\n\n"));
    put(QStringLiteral("\\layout {\n  \\context {\n    \\Lyrics\n"
                       "    \\override LyricText.font-name = %1\n"
                       "    \\override LyricText.font-size = #%2\n  }\n}\n\n")
            .arg(quoted(lyricFamily))
            .arg(lyricStep, 0, 'f', 2));
    // Small notes: their heads, stems and flags at cue size.
    put(QStringLiteral("cue = #(define-music-function (note) (ly:music?)\n"
                       "  #{ \\once \\override NoteHead.font-size = #-3\n"
                       "     \\once \\override Stem.font-size = #-3\n"
                       "     \\once \\override Flag.font-size = #-3\n"
                       "     \\once \\override Accidental.font-size = #-3 #note #})\n\n"));
}

// The asides standing before characters [from, to).
void Writer::writeAsides(int from, int to, bool) {
    for (const Aside &aside : m_asides) {
        if (aside.before >= from && aside.before < to) {
            put(QStringLiteral("\\markup { %1 }\n\n").arg(quoted(aside.text)));
        }
    }
}

void Writer::writeScore(const Chunk &chunk) {
    const Section &section = m_barred.sections().at(chunk.section);
    put(QStringLiteral("\\score {\n"));
    if (chunk.tuneStart) {
        QString heading = section.lyricLine >= 0 && section.lyricLine < m_lines.size()
                              ? m_lines.at(section.lyricLine).text.trimmed()
                              : QString();
        if (heading.isEmpty() && !section.quPai.isEmpty()) {
            heading = QStringLiteral("【%1】").arg(section.quPai);
        }
        const QString piece = heading.isEmpty()
                                  ? BarredMelody::meterName(section)
                                  : heading + QLatin1Char(' ') + BarredMelody::meterName(section);
        put(QStringLiteral("  \\header {\n    piece = %1\n    opus = %2\n  }\n")
                .arg(quoted(piece),
                     quoted(JianpuNotation::keyLabel(section.key, section.keyVariant, false))));
    }
    put(QStringLiteral("  <<\n    \\new Staff = \"staff\" {\n      \\new Voice = \"melody\" {\n"));
    writeMusic(chunk);
    put(QStringLiteral("      }\n    }\n"));
    if (m_options.style.staff.banYanSigns) {
        writeBanYan(chunk);
    }
    writeLyrics(chunk);
    put(QStringLiteral("  >>\n  \\layout { }\n"));
    put(QStringLiteral("  \\midi { \\tempo 4 = %1 }\n}\n\n")
            .arg(section.tempo > 0 ? section.tempo : 60));
}

void Writer::writeMusic(const Chunk &chunk) {
    const Section &section = m_barred.sections().at(chunk.section);
    const QVector<Bar> &bars = m_barred.bars();
    const QVector<Segment> &segments = m_barred.segments();
    const int fifths = BarredMelody::fifthsOf(section);
    const int tempo = section.tempo > 0 ? section.tempo : 60;
    const QString indent = QStringLiteral("        ");

    const int firstBar = chunk.first < chunk.end ? segments.at(chunk.first).bar : 0;
    const Bar &opening = bars.at(firstBar);
    const bool free = opening.meter.beats == 0;
    const int measured =
        section.beatsPerMeasure() > 0
            ? (m_options.style.jianpu.splitZeng && section.zeng ? section.beatsPerMeasure() / 2
                                                                : section.beatsPerMeasure())
            : 0;
    put(indent + QStringLiteral("\\clef treble \\key %1 \\major").arg(keyOf(fifths)));
    if (free) {
        put(QStringLiteral(" \\once \\omit Staff.TimeSignature"));
    }
    put(QStringLiteral(" \\time %1/4").arg(measured > 0 ? measured : 4));
    if (chunk.tuneStart) {
        put(QStringLiteral(" \\tempo 4 = %1").arg(tempo));
    }
    newline();

    // Where the first measured bar begins in its measure: a pickup, or a
    // score that begins mid-bar.
    auto startMeasure = [&](int index, qint64 at) {
        const Bar &bar = bars.at(index);
        const qint64 length = qint64(bar.meter.beats) * ticksPerBeat;
        const bool shortFirst =
            bar.to - bar.from < length && (bar.implicit || bar.sectionStart ||
                                           (index > 0 && bars.at(index - 1).meter.beats == 0));
        const qint64 left = shortFirst ? bar.to - at : length - (at - bar.from);
        if (left > 0 && left < length) {
            put(indent + QStringLiteral("\\partial %1\n").arg(spanOf(left)));
        }
    };

    bool cadenza = false;
    if (free) {
        put(indent + QStringLiteral("\\cadenzaOn\n"));
        cadenza = true;
    } else {
        startMeasure(firstBar, chunk.from);
    }
    int bar = firstBar;
    int lastCharacter = -1;
    put(indent);
    for (int s = chunk.first; s < chunk.end; ++s) {
        const Segment &segment = segments.at(s);
        if (segment.bar != bar) {
            // The bar before ends.
            const Bar &done = bars.at(bar);
            const Bar &next = bars.at(segment.bar);
            if (cadenza) {
                put(done.dashedEnd ? QStringLiteral("\\bar \"!\"") : QStringLiteral("\\bar \"|\""));
            } else if (done.dashedEnd) {
                put(QStringLiteral("\\bar \"!\""));
            } else {
                put(QStringLiteral("|"));
            }
            newline();
            put(indent);
            if (cadenza && next.meter.beats > 0) {
                put(QStringLiteral("\\cadenzaOff \\time %1/4\n").arg(next.meter.beats));
                cadenza = false;
                startMeasure(segment.bar, next.from);
                put(indent);
            }
            bar = segment.bar;
        }
        const int character =
            segment.note >= 0 && segment.first ? m_melody.notes.at(segment.note).character : -1;
        const bool inBar = s > chunk.first && segments.at(s - 1).bar == segment.bar;
        const Break *lineBreak = character >= 0 ? breakBetween(lastCharacter, character) : nullptr;
        if (inBar && (lineBreak || (cadenza && segment.first && segment.note >= 0))) {
            // A line may break here, inside a bar, without a bar line.
            put(QStringLiteral("\\bar \"\" "));
        }
        if (lineBreak) {
            put(lineBreak->page ? QStringLiteral("\\pageBreak ") : QStringLiteral("\\break "));
        }
        if (character >= 0) {
            lastCharacter = character;
        }
        writeNote(segment, fifths);
    }
    if (chunk.tuneEnd) {
        put(QStringLiteral("\\bar \"|.\""));
    } else if (cadenza) {
        put(QStringLiteral("\\bar \"!\""));
    }
    newline();
}

// One segment: its note values tied, with its graces, slur, breath, fermata.
void Writer::writeNote(const Segment &segment, int fifths) {
    const QVector<Piece> pieces =
        BarredMelody::piecesOf(segment.to - segment.from, m_barred.grain());
    if (segment.note < 0) {
        for (const Piece &piece : pieces) {
            put(QStringLiteral("r%1 ").arg(durationOf(piece)));
        }
        return;
    }
    const Note &note = m_melody.notes.at(segment.note);
    const QString pitch = pitchOf(note.midi, fifths);
    if (segment.first && !note.gracesBefore.isEmpty()) {
        put(note.gracesBefore.size() == 1 ? QStringLiteral("\\acciaccatura ")
                                          : QStringLiteral("\\grace { "));
        writeGraces(note, note.gracesBefore, fifths);
        put(note.gracesBefore.size() == 1 ? QStringLiteral(" ") : QStringLiteral("} "));
    }
    for (int i = 0; i < pieces.size(); ++i) {
        const bool opens = segment.first && i == 0;
        const bool closes = segment.last && i + 1 == pieces.size();
        const bool after = closes && !note.gracesAfter.isEmpty();
        if (after) {
            put(QStringLiteral("\\afterGrace "));
        }
        if (note.small) {
            put(QStringLiteral("\\cue "));
        }
        linkHere(note);
        put(pitch + durationOf(pieces.at(i)));
        if (closes && note.fermata) {
            put(QStringLiteral("\\fermata"));
        }
        if (!closes) {
            put(QStringLiteral("~"));
        }
        if (opens && m_barred.slurStarts(segment.note)) {
            put(QStringLiteral("("));
        }
        if (closes && m_barred.slurStops(segment.note)) {
            put(QStringLiteral(")"));
        }
        if (after) {
            put(QStringLiteral(" { "));
            writeGraces(note, note.gracesAfter, fifths);
            put(QStringLiteral("}"));
        }
        if (closes && note.breathAfter) {
            put(QStringLiteral(" \\breathe"));
        }
        put(QStringLiteral(" "));
    }
}

// Ornament notes, each linked to the pitch sign they ornament.
void Writer::writeGraces(const Note &note, const QVector<int> &graces, int fifths) {
    for (int midi : graces) {
        linkHere(note);
        put(pitchOf(midi, fifths) + QStringLiteral("16 "));
    }
}

// A link from here in the text to the note's pitch sign.
void Writer::linkHere(const Note &note) {
    LilyPondLink link;
    link.line = m_line;
    link.column = m_text.size() - m_lineStart;
    link.character = note.character;
    link.symbol = note.place.column / 2;
    m_links.append(link);
}

// The 板眼 signs above the staff: a line of lyrics timed to the beats.
void Writer::writeBanYan(const Chunk &chunk) {
    const Section &section = m_barred.sections().at(chunk.section);
    const qint64 from = std::max(chunk.from, section.measuredStart);
    QVector<qint64> times;
    for (const music::BeatClick &click : m_melody.clicks) {
        if (click.time >= from && click.time < chunk.to &&
            (times.isEmpty() || times.last() != click.time)) {
            times.append(click.time);
        }
    }
    if (times.isEmpty() || section.beatsPerMeasure() <= 0) {
        return;
    }
    put(QStringLiteral("    \\new Lyrics \\with { alignAboveContext = \"staff\" "
                       "\\override LyricText.font-size = #-2 } \\lyricmode {\n      "));
    const QVector<Segment> &segments = m_barred.segments();
    if (chunk.first < chunk.end) {
        const Segment &s = segments.at(chunk.first);
        if (s.note >= 0 && s.first && !m_melody.notes.at(s.note).gracesBefore.isEmpty()) {
            put(QStringLiteral("\\grace { \\skip 16 } "));
        }
    }
    if (times.first() > chunk.from) {
        put(QStringLiteral("\\skip %1 ").arg(spanOf(times.first() - chunk.from)));
    }
    for (int i = 0; i < times.size(); ++i) {
        const qint64 end = i + 1 < times.size() ? times.at(i + 1) : chunk.to;
        put(QStringLiteral("%1%2 ").arg(
            signMarkup(JianpuNotation::banYanSign(section, times.at(i))),
            spanOf(end - times.at(i))));
        if ((i + 1) % 8 == 0) {
            put(QStringLiteral("\n      "));
        }
    }
    put(QStringLiteral("\n    }\n"));
}

// One syllable per note that LilyPond gives one: each character's first
// note (the others are under its slur), each tied note's first piece.
void Writer::writeLyrics(const Chunk &chunk) {
    put(QStringLiteral("    \\new Lyrics \\lyricsto \"melody\" {\n      "));
    const QVector<Segment> &segments = m_barred.segments();
    int count = 0;
    bool inSlur = false;
    for (int s = chunk.first; s < chunk.end; ++s) {
        const Segment &segment = segments.at(s);
        if (segment.note < 0 || !segment.first) {
            continue;
        }
        const Note &note = m_melody.notes.at(segment.note);
        if (inSlur) {
            inSlur = !m_barred.slurStops(segment.note);
            continue;
        }
        inSlur = m_barred.slurStarts(segment.note);
        const QString lyric = note.lyric.trimmed();
        if (lyric.isEmpty()) {
            put(QStringLiteral("_ "));
        } else {
            // LilyPond places a quoted syllable at its closing quote.
            LilyPondLink link;
            link.line = m_line;
            link.column = m_text.size() - m_lineStart + 1 + lyric.size();
            link.character = note.character;
            link.symbol = -1;
            m_links.append(link);
            // No extender lines: the slurs show the melismas, as Chinese
            // editions print them.
            put(quoted(lyric) + QLatin1Char(' '));
        }
        if (++count % 8 == 0) {
            put(QStringLiteral("\n      "));
        }
    }
    put(QStringLiteral("\n    }\n"));
}

LilyPondSource Writer::write(const QVector<int> &sections, bool first, bool last) {
    m_text.clear();
    m_links.clear();
    m_line = 1;
    m_lineStart = 0;
    LilyPondSource source;
    writePreamble(first);
    if (first) {
        source.title = m_title;
    }

    int firstCharacter = INT_MAX;
    int endCharacter = 0;
    for (int s : sections) {
        for (const Chunk &chunk : chunksOf(s)) {
            for (int i = chunk.first; i < chunk.end; ++i) {
                const int note = m_barred.segments().at(i).note;
                if (note >= 0 && m_melody.notes.at(note).character >= 0) {
                    firstCharacter = std::min(firstCharacter, m_melody.notes.at(note).character);
                    endCharacter = std::max(endCharacter, m_melody.notes.at(note).character + 1);
                }
            }
        }
    }
    if (firstCharacter == INT_MAX) {
        firstCharacter = 0;
    }
    if (first) {
        firstCharacter = 0;
    }

    int written = first ? INT_MIN : firstCharacter;
    for (int s : sections) {
        const Section &section = m_barred.sections().at(s);
        QString heading = section.lyricLine >= 0 && section.lyricLine < m_lines.size()
                              ? m_lines.at(section.lyricLine).text.trimmed()
                              : QString();
        if (heading.isEmpty() && !section.quPai.isEmpty()) {
            heading = QStringLiteral("【%1】").arg(section.quPai);
        }
        if (!heading.isEmpty()) {
            source.headings.append(heading);
        }
        for (const Chunk &chunk : chunksOf(s)) {
            int character = INT_MAX;
            for (int i = chunk.first; i < chunk.end && character == INT_MAX; ++i) {
                const int note = m_barred.segments().at(i).note;
                if (note >= 0 && m_melody.notes.at(note).character >= 0) {
                    character = m_melody.notes.at(note).character;
                }
            }
            if (character != INT_MAX) {
                writeAsides(written, character + 1, false);
                written = character + 1;
            }
            writeScore(chunk);
        }
    }
    if (last) {
        writeAsides(written, INT_MAX, false);
        endCharacter = std::max(endCharacter, firstCharacter);
    }
    source.text = m_text;
    source.links = m_links;
    source.firstCharacter = firstCharacter;
    source.endCharacter = std::max(endCharacter, firstCharacter);
    return source;
}

} // namespace

LilyPondSource LilyPondWriter::document(const DocumentLines &lines, const music::Melody &melody,
                                        const Options &options) {
    Writer writer(lines, melody, options);
    return writer.write(writer.tunes(), true, true);
}

QVector<LilyPondSource> LilyPondWriter::tunes(const DocumentLines &lines,
                                              const music::Melody &melody, const Options &options) {
    Writer writer(lines, melody, options);
    const QVector<int> tunes = writer.tunes();
    QVector<LilyPondSource> out;
    for (int i = 0; i < tunes.size(); ++i) {
        out.append(writer.write({tunes.at(i)}, i == 0, i + 1 == tunes.size()));
    }
    return out;
}
