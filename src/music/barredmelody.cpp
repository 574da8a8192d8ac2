#include "music/barredmelody.h"

#include "music/musicrules.h"

#include <algorithm>
#include <climits>
#include <numeric>

namespace music {

namespace {

using Bar = BarredMelody::Bar;
using Segment = BarredMelody::Segment;
using TimeSig = BarredMelody::TimeSig;
constexpr qint64 wholeTicks = BarredMelody::wholeTicks;

// A bar of 散板 closes at a character's first note once it holds this much.
constexpr qint64 longFreeBar = 4 * ticksPerBeat;

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

} // namespace

// The 板式 as the score names it.
QString BarredMelody::meterName(const Section &section) {
    const QString name = MusicRules::defaults().meterName(section.meter, section.zeng);
    return name.isEmpty() ? QStringLiteral("散板") : name;
}

// The key signature's sharps (positive) or flats (negative) for the major
// key whose tonic is 上, as the shipped key table pitches it: 小工调 D (2),
// 凡字调 E♭ (-3; E, 4, where the other sources are followed), 六字调 F (-1),
// 正工调 G (1), 乙字调 A (3), 上字调 B♭ (-2; or B, 5), 尺字调 C (0).
int BarredMelody::fifthsOf(const Section &section) {
    static const int byPitchClass[12] = {0, -5, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5};
    const int shang = MusicRules::defaults().shangMidi(section.key, section.keyVariant);
    return byPitchClass[((shang % 12) + 12) % 12];
}

// Sharps in the sharp keys (and C), flats in the flat keys.
BarredMelody::Pitch BarredMelody::spell(int midi, int fifths) {
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
int BarredMelody::keyAlter(QChar step, int fifths) {
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

// The signature n/2^d that a bar of `ticks` fills exactly, if there is one.
bool BarredMelody::exactSignature(qint64 ticks, TimeSig *sig) {
    for (int d = 2; d <= 7; ++d) {
        if (ticks > 0 && (ticks << d) % wholeTicks == 0) {
            sig->beats = int((ticks << d) / wholeTicks);
            sig->beatType = 1 << d;
            return true;
        }
    }
    return false;
}

// A length as note values (at most one dot), largest first, each a whole
// number of divisions (`grain` ticks).
QVector<BarredMelody::Piece> BarredMelody::piecesOf(qint64 length, qint64 grain) {
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

BarredMelody::BarredMelody(const Melody &melody, bool splitZeng)
    : m_melody(melody) {
    m_order.resize(m_melody.notes.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    std::stable_sort(m_order.begin(), m_order.end(), [this](int a, int b) {
        return m_melody.notes.at(a).onset < m_melody.notes.at(b).onset;
    });
    layOut(splitZeng);
    markSlurs();
}

// The sections, their bars and the segments of notes and rests in them, and
// the grain all durations are counted in.
void BarredMelody::layOut(bool splitZeng) {
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
    m_bars = layBars(m_sections, m_melody, m_order, origin, lastEnd, splitZeng);
    if (m_bars.isEmpty()) {
        Bar bar;
        bar.from = origin;
        bar.to = origin + wholeTicks;
        bar.sectionStart = bar.sectionEnd = true;
        bar.meter.beats = 4;
        m_bars.append(bar);
    }
    m_segments = segmentsOf(m_melody, m_order, m_bars);
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

void BarredMelody::markSlurs() {
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

} // namespace music
