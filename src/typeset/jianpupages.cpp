#include "typeset/jianpupages.h"

#include "model/linegrammar.h"
#include "typeset/pagecanvas.h"
#include "typeset/typesetter.h"

#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

// Vertical proportions of a system, in ems of the note font.
constexpr qreal signRow = 0.95;   // the 板眼 signs
constexpr qreal aboveRow = 1.0;   // high dots, fermatas, breaths, ties and slurs
constexpr qreal lineGap = 0.15;   // between reduction lines
constexpr qreal firstLine = 0.17; // from the baseline to the first reduction line
constexpr qreal dotStep = 0.2;    // between octave dots
constexpr qreal dotRadius = 0.075;
constexpr qreal belowRoom = firstLine + 3 * lineGap + 2 * dotStep + 0.1;
constexpr qreal graceSize = 0.55; // grace digits, of the note font
constexpr qreal graceRaise = 0.5; // their baseline, of the digits' height
constexpr qreal graceGap = 0.2;   // between graces and their note
constexpr int graceLines = 2;     // graces are written as sixteenths
constexpr qreal beatGap = 0.6;    // the least gap between two beats
constexpr qreal barRoom = 0.7;    // the least room on either side of a bar line
constexpr qreal marginArc = 0.9;  // how far an open arc runs into the margin

QString digitText(const JianpuNotation::Glyph &g) {
    return g.kind == JianpuNotation::Glyph::Kind::Rest ? QStringLiteral("0")
                                                       : QString::number(g.digit);
}

} // namespace

JianpuPages::JianpuPages(Typesetter &typesetter, PageCanvas &painter)
    : m_t(typesetter)
    , m_painter(painter)
    , m_noteFont(Typesetter::pageFont(typesetter.m_style.jianpu.noteFont))
    , m_note(m_noteFont)
    , m_small(m_noteFont)
    , m_sign(m_noteFont)
    , m_mark(m_noteFont)
    , m_lyric(m_noteFont)
    , m_grace(m_noteFont)
    , m_free(m_noteFont) {
    m_em = std::max(1, m_noteFont.pixelSize());
    m_smallFont = m_noteFont;
    m_smallFont.setPixelSize(std::max(1, int(std::lround(m_em * 0.6))));
    // 、 is a CJK mark, from the lyric font; the rings and the cross, drawn
    // smaller, from the note font.
    m_signFont = Typesetter::pageFont(typesetter.m_style.lyricFont);
    m_signFont.setPixelSize(std::max(1, int(std::lround(m_em * 1.1))));
    m_markFont = m_noteFont;
    m_markFont.setPixelSize(std::max(1, int(std::lround(m_em * 0.55))));
    m_lyricFont = Typesetter::pageFont(typesetter.m_style.lyricFont);
    m_lyricFont.setPixelSize(std::max(1, int(std::lround(m_em))));
    m_freeFont = Typesetter::pageFont(typesetter.m_style.lyricFont);
    m_freeFont.setPixelSize(std::max(1, int(std::lround(m_em * 0.85))));
    m_free = QFontMetricsF(m_freeFont);
    m_graceFont = m_noteFont;
    m_graceFont.setPixelSize(std::max(1, int(std::lround(m_em * graceSize))));
    m_grace = QFontMetricsF(m_graceFont);
    m_small = QFontMetricsF(m_smallFont);
    m_sign = QFontMetricsF(m_signFont);
    m_mark = QFontMetricsF(m_markFont);
    m_lyric = QFontMetricsF(m_lyricFont);
    m_cap = m_note.tightBoundingRect(QStringLiteral("5")).height();
    const QSize avail = typesetter.availableSize();
    m_width = avail.width();
    m_height = avail.height() - m_em * 1.4; // the page number's line
}

QFont JianpuPages::capped(const QFont &font, qreal ems) const {
    // The gongche pages' fonts are sized for vertical columns; on 简谱 pages
    // they keep their family but stay near the size of the notes.
    QFont f = Typesetter::pageFont(font);
    f.setPixelSize(std::max(1, int(std::lround(std::min<qreal>(f.pixelSize(), m_em * ems)))));
    return f;
}

qreal JianpuPages::systemHeight(qreal below) const {
    const JianpuStyle &s = m_t.m_style.jianpu;
    const qreal signs = s.banYanSigns ? signRow * m_em : 0;
    // The lyrics hang from the top of their ink.
    const qreal lyricInk = -m_lyric.tightBoundingRect(QStringLiteral("国")).top();
    return signs + aboveRow * m_em + m_cap + (below < 0 ? belowRoom * m_em : below) +
           s.lyricDistance + lyricInk + m_lyric.descent() + s.systemSpace;
}

void JianpuPages::newPage() {
    m_t.newPage(m_painter);
    m_painter.translate(-m_width, 0); // from the top-left corner of the printable area
    ++m_page;
    m_y = 0;
    m_systemOnPage = 0;
}

void JianpuPages::finishPage() {
    // The page number, centred at the foot (a book sets its own).
    if (m_t.m_style.pageNumbers) {
        m_painter.setFont(m_smallFont);
        m_painter.setPen(m_t.m_style.lyricColor);
        const QString number = QString::number(m_page);
        m_painter.drawText(
            QPointF((m_width - m_small.horizontalAdvance(number)) / 2, m_height + m_em * 1.2),
            number);
    }
    m_t.finishPage(m_painter);
    if (m_previewOnly && m_page >= 1) {
        m_stop = true;
    }
}

void JianpuPages::ensureRoom(qreal height, bool keepWithNext) {
    const qreal need = height + (keepWithNext ? systemHeight() : 0);
    if (m_y > 0 && m_y + need > m_height) {
        finishPage();
        if (!m_stop) {
            newPage();
        }
    }
}

void JianpuPages::set(const QVector<Block> &blocks, bool previewOnly) {
    m_previewOnly = previewOnly;
    newPage();
    for (int i = 0; i < blocks.size() && !m_stop; ++i) {
        const Block &block = blocks.at(i);
        switch (block.kind) {
        case Block::Kind::Title:
            setTitle(block.text);
            break;
        case Block::Kind::Heading:
            setHeading(block);
            break;
        case Block::Kind::Speech:
            setSpeech(block);
            break;
        case Block::Kind::Music:
            setMusic(block);
            break;
        case Block::Kind::SystemBreak:
            break; // every block after music begins a system of its own
        case Block::Kind::PageBreak:
            if (m_y > 0) {
                finishPage();
                if (!m_stop) {
                    newPage();
                }
            }
            break;
        }
        emit m_t.progressUpdate(previewOnly ? Typesetter::Task::Preview : Typesetter::Task::Typeset,
                                Typesetter::Progress::Advanced, i, previewOnly ? 0 : blocks.size());
    }
    if (!m_stop) {
        finishPage();
    }
}

void JianpuPages::setTitle(const QString &text) {
    if (text.isEmpty()) {
        return;
    }
    const QFont font = capped(m_t.m_style.titleFont, 2.4);
    const QFontMetricsF fm(font);
    ensureRoom(fm.height() + m_em * 0.6, true);
    if (m_stop) {
        return;
    }
    if (m_t.m_documentTitle.isEmpty()) {
        m_t.m_documentTitle = titleText(text);
    }
    m_t.setPageTitle(m_t.m_documentTitle);
    const qreal x = (m_width - fm.horizontalAdvance(text)) / 2;
    m_t.recordHeading(Typesetter::Heading::Kind::Title, text,
                      m_t.m_pageOrigin + QPointF(x - m_width, m_y));
    m_painter.setFont(font);
    m_painter.setPen(m_t.m_style.titleColor);
    m_painter.drawText(QPointF(x, m_y + fm.ascent()), text);
    m_y += fm.height() + m_em * 0.6;
}

void JianpuPages::setHeading(const Block &heading) {
    const QFont quPai = capped(m_t.m_style.quPaiFont, 1.5);
    const QFontMetricsF fq(quPai);
    const qreal nameHeight = heading.text.isEmpty() ? 0 : fq.height() + m_em * 0.2;
    const qreal labelHeight = m_lyric.height() + m_em * 0.3;
    ensureRoom(nameHeight + labelHeight, true);
    if (m_stop) {
        return;
    }
    if (!heading.text.isEmpty()) {
        if (m_t.m_documentTitle.isEmpty()) {
            m_t.m_documentTitle = sungText(heading.text.section(QChar(0x3011), 0, 0));
            m_t.setPageTitle(m_t.m_documentTitle);
        }
        const qreal x = (m_width - fq.horizontalAdvance(heading.text)) / 2;
        m_t.recordHeading(Typesetter::Heading::Kind::QuPai, heading.text,
                          m_t.m_pageOrigin + QPointF(x - m_width, m_y));
        m_painter.setFont(quPai);
        m_painter.setPen(m_t.m_style.quPaiColor);
        m_painter.drawText(QPointF(x, m_y + fq.ascent()), heading.text);
        m_y += nameHeight;
    }
    m_painter.setFont(m_lyricFont);
    m_painter.setPen(m_t.m_style.diaoMingColor.isValid() ? m_t.m_style.diaoMingColor
                                                         : m_t.m_style.lyricColor);
    // Key, meter and 板式, then the tempo, its note from the note font.
    QStringList labels{heading.keyLabel, heading.meterLabel, heading.banShiLabel};
    labels.removeAll(QString());
    const QString label = labels.join(QStringLiteral("  "));
    m_painter.drawText(QPointF(0, m_y + m_lyric.ascent()), label);
    if (!heading.tempoLabel.isEmpty()) {
        QFont tempo = m_noteFont;
        tempo.setPixelSize(m_lyricFont.pixelSize());
        m_painter.setFont(tempo);
        m_painter.drawText(
            QPointF(m_lyric.horizontalAdvance(label) + m_em * 1.2, m_y + m_lyric.ascent()),
            heading.tempoLabel);
    }
    m_y += labelHeight;
}

void JianpuPages::setSpeech(const Block &speech) {
    const QFont font =
        capped(speech.jiaBai ? m_t.m_style.jiaBaiFont : m_t.m_style.lianBaiFont, 1.0);
    const QFontMetricsF fm(font);
    const qreal indent = 2 * m_em;
    // Wrapped at the printable width, a character at a time.
    QStringList rows;
    QString row;
    for (const QString &c : splitCharacters(speech.text)) {
        if (!row.isEmpty() && fm.horizontalAdvance(row + c) > m_width - indent) {
            rows.append(row);
            row.clear();
        }
        row += c;
    }
    if (!row.isEmpty()) {
        rows.append(row);
    }
    m_painter.setFont(font);
    for (const QString &r : rows) {
        ensureRoom(fm.height(), false);
        if (m_stop) {
            return;
        }
        m_painter.setFont(font);
        m_painter.setPen(speech.jiaBai ? m_t.m_style.jiaBaiColor : m_t.m_style.lianBaiColor);
        m_painter.drawText(QPointF(indent, m_y + fm.ascent()), r);
        m_y += fm.height();
    }
    m_y += m_em * 0.4;
}

QString JianpuPages::lyricShown(const Glyph &g) const {
    // Punctuation is left out when the style hides it.
    return m_t.m_style.hiddenSymbol ? splitCharacters(g.lyric).value(0) : g.lyric;
}

JianpuPages::Box JianpuPages::boxOf(const Glyph &g) const {
    Box b;
    const qreal graceW = m_grace.horizontalAdvance(QStringLiteral("5"));
    b.digit = m_note.horizontalAdvance(QStringLiteral("5"));
    if (g.kind == Glyph::Kind::Dot) {
        b.digit *= 0.6;
    }
    if (!g.gracesBefore.isEmpty()) {
        b.before += graceW * g.gracesBefore.size() + m_em * graceGap;
    }
    if (g.sharp) {
        b.before += m_small.horizontalAdvance(QChar(0x266F));
    }
    if (g.dotted) {
        b.after += m_em * 0.3;
    }
    if (!g.gracesAfter.isEmpty()) {
        b.after += m_em * graceGap + graceW * g.gracesAfter.size();
    }
    if (g.breath) {
        b.after += m_em * 0.1 + m_small.horizontalAdvance(QStringLiteral("V"));
    }
    if (!g.banYanAfter.isEmpty()) {
        b.after = std::max(b.after, m_em * 0.45);
    }
    return b;
}

JianpuPages::BeatLayout JianpuPages::layOut(const JianpuNotation::Beat &beat) const {
    const JianpuStyle &s = m_t.m_style.jianpu;
    BeatLayout out;
    qreal x = 0;
    qreal prevRight = 0;
    qreal lyricRight = 0;
    bool anyLyric = false;
    for (int i = 0; i < beat.glyphs.size(); ++i) {
        const Glyph &g = beat.glyphs.at(i);
        const Box box = boxOf(g);
        qreal digitX = x + box.before;
        if (!g.lyric.isEmpty()) {
            const QString shown = lyricShown(g);
            const qreal left = digitX + box.digit / 2 -
                               m_lyric.horizontalAdvance(splitCharacters(g.lyric).value(0)) / 2;
            if (anyLyric && left < lyricRight + s.minNoteSpace) {
                digitX += lyricRight + s.minNoteSpace - left;
            }
            lyricRight = digitX + box.digit / 2 -
                         m_lyric.horizontalAdvance(splitCharacters(g.lyric).value(0)) / 2 +
                         m_lyric.horizontalAdvance(shown);
            anyLyric = true;
        }
        if (i > 0) {
            out.innerGap = std::max(out.innerGap, digitX - box.before - prevRight);
        }
        out.digitX.append(digitX);
        prevRight = digitX + box.digit + box.after;
        x = prevRight + s.minNoteSpace;
    }
    out.width = prevRight;
    return out;
}

QVector<JianpuPages::Cell> JianpuPages::cellsOf(const QVector<Unit> &units) const {
    const JianpuStyle &s = m_t.m_style.jianpu;
    QVector<Cell> cells;
    for (const Unit &u : units) {
        for (int i = 0; i < u.beats.size(); ++i) {
            Cell c;
            c.beat = &u.beats.at(i);
            c.layout = layOut(*c.beat);
            for (const Glyph &g : c.beat->glyphs) {
                c.ticks += g.duration;
            }
            if (i + 1 == u.beats.size()) {
                c.bar = u.finalBar    ? Bar::Final
                        : u.dashedBar ? Bar::Dashed
                        : u.bar       ? Bar::Single
                                      : Bar::None;
            }
            cells.append(c);
        }
    }
    for (int k = 0; k < cells.size(); ++k) {
        Cell &c = cells[k];
        const Cell *next = k + 1 < cells.size() ? &cells.at(k + 1) : nullptr;
        // Never closer than the glyphs inside either beat; wider as the
        // duration asks.
        const qreal least =
            std::max({beatGap * m_em, c.layout.innerGap, next ? next->layout.innerGap : 0.0});
        const qreal fill = s.beatWidth * qreal(c.ticks) / music::ticksPerBeat - c.layout.width;
        if (c.bar != Bar::None) {
            const qreal half = std::max({barRoom * m_em, least, fill / 2});
            c.gap = next ? 2 * half : half;
        } else {
            c.gap = next ? std::max(least, fill) : 0;
        }
    }
    // Lyrics wider than their beats push the next beat along.
    qreal x = 0;
    qreal lyricRight = -1e9;
    for (int k = 0; k < cells.size(); ++k) {
        const Cell &c = cells.at(k);
        for (int i = 0; i < c.beat->glyphs.size(); ++i) {
            const Glyph &g = c.beat->glyphs.at(i);
            if (g.lyric.isEmpty()) {
                continue;
            }
            const qreal first = m_lyric.horizontalAdvance(splitCharacters(g.lyric).value(0));
            const qreal centre = x + c.layout.digitX.at(i) + boxOf(g).digit / 2;
            const qreal left = centre - first / 2;
            if (k > 0 && left < lyricRight + s.minNoteSpace) {
                const qreal push = lyricRight + s.minNoteSpace - left;
                cells[k - 1].gap += push;
                x += push;
            }
            lyricRight = x + c.layout.digitX.at(i) + boxOf(g).digit / 2 - first / 2 +
                         m_lyric.horizontalAdvance(lyricShown(g));
        }
        x += c.layout.width + c.gap;
    }
    return cells;
}

QVector<JianpuPages::Unit> JianpuPages::unitsOf(const Block &music) const {
    QVector<Unit> units;
    const auto natural = [this](Unit &u) {
        qreal w = 0;
        for (const Cell &c : cellsOf({u})) {
            w += c.layout.width + c.gap;
        }
        u.natural = w;
        u.ticks = 0;
        for (const JianpuNotation::Beat &b : u.beats) {
            for (const Glyph &g : b.glyphs) {
                u.ticks += g.duration;
            }
        }
    };
    for (const JianpuNotation::Measure &m : music.measures) {
        if (m.free) {
            // A free passage breaks between any two notes.
            for (int i = 0; i < m.beats.size(); ++i) {
                Unit note;
                note.beats = {m.beats.at(i)};
                note.finalBar = m.finalBar && i + 1 == m.beats.size();
                note.bar = m.barAfter && i + 1 == m.beats.size();
                natural(note);
                units.append(note);
            }
            continue;
        }
        Unit whole;
        whole.beats = m.beats;
        whole.bar = !m.open;
        whole.dashedBar = m.dashedBar && !m.open;
        whole.finalBar = m.finalBar;
        natural(whole);
        if (whole.natural <= m_width) {
            units.append(whole);
            continue;
        }
        // Wider than a system: cut between its beats.
        for (int i = 0; i < whole.beats.size(); ++i) {
            const bool last = i + 1 == whole.beats.size();
            Unit part;
            part.beats = {whole.beats.at(i)};
            part.bar = last && whole.bar;
            part.dashedBar = last && whole.dashedBar;
            part.finalBar = last && whole.finalBar;
            natural(part);
            units.append(part);
        }
    }
    return units;
}

void JianpuPages::setMusic(const Block &music) {
    const QVector<Unit> units = unitsOf(music);
    QVector<Unit> system;
    qreal used = 0;
    for (const Unit &u : units) {
        if (!system.isEmpty() && used + u.natural > m_width) {
            setSystem(system, true);
            if (m_stop) {
                return;
            }
            system.clear();
            used = 0;
        }
        system.append(u);
        used += u.natural;
    }
    if (!system.isEmpty()) {
        // The last system of a passage is justified only when it is nearly full.
        setSystem(system, used > m_width * 0.7);
    }
}

qreal JianpuPages::inkBelow(const Glyph &g) const {
    if (g.kind == Glyph::Kind::Dash || g.kind == Glyph::Kind::Dot) {
        return 0;
    }
    qreal below = g.lines > 0 ? m_em * (firstLine + (g.lines - 1) * lineGap + 0.03) : 0;
    if (g.octave < 0) {
        below = m_em * (firstLine + std::max(0, g.lines - 1) * lineGap +
                        (g.lines > 0 ? 0.17 : 0.1) + (-g.octave - 1) * dotStep + dotRadius);
    }
    return below;
}

qreal JianpuPages::lowestInk(const QVector<Unit> &units) const {
    qreal below = 0;
    for (const Unit &u : units) {
        for (const JianpuNotation::Beat &beat : u.beats) {
            for (const Glyph &g : beat.glyphs) {
                below = std::max(below, inkBelow(g));
            }
        }
    }
    return below;
}

void JianpuPages::spreadToWidth(QVector<Cell> &cells) const {
    qreal natural = 0;
    qreal weights = 0;
    for (int k = 0; k < cells.size(); ++k) {
        natural += cells.at(k).layout.width + cells.at(k).gap;
        if (k + 1 < cells.size() || cells.at(k).bar != Bar::None) {
            weights += qreal(cells.at(k).ticks);
        }
    }
    if (weights > 0 && natural < m_width) {
        const qreal perTick = (m_width - natural) / weights;
        for (int k = 0; k < cells.size(); ++k) {
            if (k + 1 < cells.size() || cells.at(k).bar != Bar::None) {
                cells[k].gap += perTick * qreal(cells.at(k).ticks);
            }
        }
    }
}

void JianpuPages::setSystem(const QVector<Unit> &units, bool justify) {
    // The lyrics hang under the lowest ink of this system's notes.
    const qreal below = lowestInk(units);
    ensureRoom(systemHeight(below), false);
    if (m_stop) {
        return;
    }
    const JianpuStyle &s = m_t.m_style.jianpu;
    const qreal top = m_y;
    QVector<Cell> cells = cellsOf(units);
    // Justification widens the gaps between the beats, never inside them.
    if (justify) {
        spreadToWidth(cells);
    }
    const qreal signs = s.banYanSigns ? signRow * m_em : 0;
    Rows rows;
    rows.baseline = top + signs + aboveRow * m_em + m_cap;
    rows.lyricInk = -m_lyric.tightBoundingRect(QStringLiteral("国")).top();
    rows.lyricBaseline = rows.baseline + below + s.lyricDistance + rows.lyricInk;

    // A tie or slur left open at the end of the last system comes in from the margin.
    if (m_tie.open) {
        m_tie.x = -m_em * marginArc;
        m_tie.continued = true;
    }
    if (m_slur.open) {
        m_slur.x = -m_em * marginArc;
        m_slur.continued = true;
    }
    qreal x = 0;
    for (int k = 0; k < cells.size(); ++k) {
        const Cell &cell = cells.at(k);
        setBeat(cell, x, rows);
        x += cell.layout.width;
        if (cell.bar != Bar::None) {
            // In the middle of its gap; at the end of a system, on the margin.
            const bool last = k + 1 == cells.size();
            drawBar(cell.bar, x + (last ? cell.gap : cell.gap / 2), last, rows.baseline);
        }
        x += cell.gap;
    }
    // Ties and slurs running on into the next system leave into the margin.
    const qreal end = std::max(x, m_width) + m_em * marginArc;
    if (m_tie.open) {
        drawArc(m_tie.x, end, tieY(rows.baseline, m_tie.octave), m_em * 0.22,
                openOf(m_tie.continued, true));
    }
    if (m_slur.open) {
        drawArc(m_slur.x, end, slurY(rows.baseline, m_slur), m_em * 0.3,
                openOf(m_slur.continued, true));
    }
    m_y = top + systemHeight(below);
    ++m_systemOnPage;
}

qreal JianpuPages::tieY(qreal baseline, int octave) const {
    return baseline - m_cap - m_em * (0.15 + dotStep * std::max(0, octave));
}

qreal JianpuPages::slurY(qreal baseline, const OpenArc &slur) const {
    return baseline - m_cap -
           m_em * ((slur.overTie ? 0.42 : 0.15) + dotStep * std::max(0, slur.octave));
}

JianpuPages::Open JianpuPages::openOf(bool left, bool right) {
    return left && right ? Open::Both : left ? Open::Left : right ? Open::Right : Open::None;
}

void JianpuPages::setBeat(const Cell &cell, qreal x, const Rows &rows) {
    const JianpuNotation::Beat &beat = *cell.beat;
    QVector<Span> spans;
    for (int i = 0; i < beat.glyphs.size(); ++i) {
        const Glyph &g = beat.glyphs.at(i);
        const Box box = boxOf(g);
        const qreal digitX = x + cell.layout.digitX.at(i);
        const qreal digitW = box.digit;
        drawGlyph(g, digitX, rows.baseline);
        qreal right = digitX + digitW;
        if (g.dotted) {
            right += m_em * 0.3;
        }
        spans.append({digitX, right, g.kind == Glyph::Kind::Dot ? 0 : g.lines});

        const qreal centre = digitX + digitW / 2;
        if (g.kind == Glyph::Kind::Note) {
            setArcs(g, centre, rows.baseline);
        }
        if (!g.lyric.isEmpty()) {
            setLyric(g, centre, rows);
        }
        if (g.kind == Glyph::Kind::Note && g.character >= 0) {
            SourceArea area =
                areaOf(SourceArea::Symbol, g, QRectF(digitX, rows.baseline - m_cap, digitW, m_cap));
            area.symbol = g.symbol;
            m_t.m_openAreas.append(area);
        }
    }
    drawReductionLines(spans, rows.baseline);
}

void JianpuPages::setArcs(const Glyph &g, qreal centre, qreal baseline) {
    m_tie.octave = std::max(m_tie.octave, g.octave);
    m_slur.octave = std::max(m_slur.octave, g.octave);
    if (m_tie.open) {
        drawArc(m_tie.x, centre, tieY(baseline, m_tie.octave), m_em * 0.22,
                openOf(m_tie.continued, false));
        m_tie.open = false;
    }
    if (g.tieToNext && !g.tieUnderSlur) {
        m_tie = {centre, true, g.octave, false, false};
        if (m_slur.open) {
            m_slur.overTie = true;
        }
    }
    if (g.slurStart) {
        m_slur = {centre, true, g.octave, false, g.tieToNext && !g.tieUnderSlur};
    }
    if (g.slurEnd && m_slur.open) {
        drawArc(m_slur.x, centre, slurY(baseline, m_slur), m_em * 0.3,
                openOf(m_slur.continued, false));
        m_slur.open = false;
    }
}

void JianpuPages::setLyric(const Glyph &g, qreal centre, const Rows &rows) {
    // The character centred on the digit.
    const QString first = splitCharacters(g.lyric).value(0);
    const qreal lx = centre - m_lyric.horizontalAdvance(first) / 2;
    m_painter.setFont(m_lyricFont);
    m_painter.setPen(m_t.m_style.lyricColor);
    m_painter.drawText(QPointF(lx, rows.lyricBaseline), lyricShown(g));
    if (g.character >= 0) {
        m_t.m_openAreas.append(
            areaOf(SourceArea::Character, g,
                   QRectF(lx, rows.lyricBaseline - rows.lyricInk, m_lyric.horizontalAdvance(first),
                          rows.lyricInk + m_lyric.descent())));
    }
}

SourceArea JianpuPages::areaOf(SourceArea::Kind kind, const Glyph &g, const QRectF &rect) const {
    SourceArea area;
    area.kind = kind;
    area.page = m_t.m_pageRecords.size();
    area.rect = rect.translated(m_t.m_pageOrigin - QPointF(m_width, 0));
    area.character = g.character;
    area.lyricLine = g.lyricLine;
    area.position = g.lyricColumn;
    return area;
}

void JianpuPages::drawReductionLines(const QVector<Span> &spans, qreal baseline) {
    // Joined within the beat, never across it.
    m_painter.setPen(QPen(m_t.m_style.scoreColor, m_em * 0.06));
    for (int level = 1; level <= 4; ++level) {
        int i = 0;
        while (i < spans.size()) {
            if (spans.at(i).lines < level) {
                ++i;
                continue;
            }
            int j = i;
            while (j + 1 < spans.size() && spans.at(j + 1).lines >= level) {
                ++j;
            }
            const qreal y = baseline + m_em * (firstLine + (level - 1) * lineGap);
            m_painter.drawLine(QLineF(spans.at(i).left, y, spans.at(j).right, y));
            i = j + 1;
        }
    }
}

void JianpuPages::drawBar(Bar bar, qreal barX, bool last, qreal baseline) {
    const qreal y1 = baseline - m_cap - m_em * 0.3;
    const qreal y2 = baseline + m_em * 0.35;
    QPen pen(m_t.m_style.scoreColor, m_em * 0.05);
    if (bar == Bar::Final) {
        const qreal thick = m_em * 0.16;
        const qreal thickX = last ? barX - thick / 2 : barX + m_em * 0.1;
        m_painter.setPen(pen);
        m_painter.drawLine(QLineF(thickX - m_em * 0.22, y1, thickX - m_em * 0.22, y2));
        pen.setWidthF(thick);
        m_painter.setPen(pen);
        m_painter.drawLine(QLineF(thickX, y1, thickX, y2));
    } else {
        const qreal lineX = last ? barX - pen.widthF() / 2 : barX;
        if (bar == Bar::Dashed) {
            pen.setStyle(Qt::DashLine);
        }
        m_painter.setPen(pen);
        m_painter.drawLine(QLineF(lineX, y1, lineX, y2));
    }
}

void JianpuPages::drawDot(qreal x, qreal y, qreal r) {
    m_painter.setPen(QPen(Qt::NoPen));
    m_painter.setBrush(m_t.m_style.scoreColor);
    m_painter.drawEllipse(QPointF(x, y), r, r);
    m_painter.setBrush(QBrush(Qt::NoBrush));
}

void JianpuPages::drawArc(qreal x1, qreal x2, qreal y, qreal rise, Open open) {
    if (x2 - x1 < m_em * 0.2) {
        x2 = x1 + m_em * 0.2;
    }
    const qreal dx = x2 - x1;
    QPainterPath arc;
    switch (open) {
    case Open::None:
        arc.moveTo(x1, y);
        arc.cubicTo(x1 + dx * 0.25, y - rise, x2 - dx * 0.25, y - rise, x2, y);
        break;
    case Open::Right: // from the note up, and level into the right margin
        arc.moveTo(x1, y);
        arc.cubicTo(x1 + dx * 0.2, y - rise * 0.8, x2 - dx * 0.5, y - rise, x2, y - rise);
        break;
    case Open::Left: // level out of the left margin, down to the note
        arc.moveTo(x1, y - rise);
        arc.cubicTo(x1 + dx * 0.5, y - rise, x2 - dx * 0.2, y - rise * 0.8, x2, y);
        break;
    case Open::Both:
        arc.moveTo(x1, y - rise);
        arc.lineTo(x2, y - rise);
        break;
    }
    m_painter.setBrush(QBrush(Qt::NoBrush));
    m_painter.setPen(QPen(m_t.m_style.scoreColor, m_em * 0.05));
    m_painter.drawPath(arc);
}

void JianpuPages::drawGlyph(const Glyph &g, qreal x, qreal baseline) {
    const JianpuStyle &s = m_t.m_style.jianpu;
    const QColor ink = m_t.m_style.scoreColor;
    const Box box = boxOf(g);
    const qreal digitW = box.digit;
    const qreal centre = x + digitW / 2;
    const qreal signY = baseline - m_cap - aboveRow * m_em - m_em * 0.35;

    if (s.banYanSigns && !g.banYan.isEmpty()) {
        drawSign(g.banYan, centre, signY);
    }
    if (!g.freeSign.isEmpty()) {
        // The 散板 sign over a free opening, from its first note on.
        m_painter.setFont(m_freeFont);
        m_painter.setPen(ink);
        const QRectF inkBox = m_free.tightBoundingRect(g.freeSign);
        m_painter.drawText(QPointF(x - inkBox.left(), signY - inkBox.center().y()), g.freeSign);
    }
    // Where the marks after the note begin: after its digit and dot.
    qreal after = x + digitW + (g.dotted ? m_em * 0.3 : 0);
    switch (g.kind) {
    case Glyph::Kind::Dash:
        m_painter.setPen(QPen(ink, m_em * 0.08));
        m_painter.drawLine(
            QLineF(x + digitW * 0.1, baseline - m_cap / 2, x + digitW * 0.9, baseline - m_cap / 2));
        break;
    case Glyph::Kind::Dot:
        drawDot(x + digitW * 0.5, baseline - m_cap * 0.45, m_em * dotRadius);
        break;
    case Glyph::Kind::Note:
    case Glyph::Kind::Rest:
        drawDigit(g, x, digitW, baseline);
        break;
    }
    after = drawGraces(g, x, digitW, after, baseline);
    // The breath, and a 底板 at the end of the note: after everything else it has.
    if (g.breath) {
        m_painter.setFont(m_smallFont);
        m_painter.setPen(ink);
        m_painter.drawText(QPointF(after + m_em * 0.1, baseline - m_cap - m_em * 0.1),
                           QStringLiteral("V"));
        after += m_em * 0.1 + m_small.horizontalAdvance(QStringLiteral("V"));
    }
    if (s.banYanSigns && !g.banYanAfter.isEmpty()) {
        drawSign(g.banYanAfter, x + digitW + box.after, signY);
    }
}

void JianpuPages::drawSign(const QString &text, qreal at, qreal signY) {
    const bool comma = text == QStringLiteral("、");
    const QFontMetricsF &fm = comma ? m_sign : m_mark;
    m_painter.setFont(comma ? m_signFont : m_markFont);
    m_painter.setPen(m_t.m_style.banColor.isValid() ? m_t.m_style.banColor
                                                    : m_t.m_style.scoreColor);
    // The comma's ink sits low in its cell: centred on the digit, it
    // stands where the rings stand.
    const QRectF inkBox = fm.tightBoundingRect(text);
    m_painter.drawText(QPointF(at - inkBox.center().x(), signY - inkBox.center().y()), text);
}

void JianpuPages::drawDigit(const Glyph &g, qreal x, qreal digitW, qreal baseline) {
    const QColor ink = m_t.m_style.scoreColor;
    const qreal centre = x + digitW / 2;
    const qreal r = m_em * dotRadius;
    m_painter.setFont(m_noteFont);
    m_painter.setPen(ink);
    m_painter.drawText(QPointF(x, baseline), digitText(g));
    if (g.dotted) {
        drawDot(x + digitW + m_em * 0.15, baseline - m_cap * 0.45, r);
    }
    // Octave dots: above for high notes, below the reduction lines for low ones.
    for (int i = 0; i < std::abs(g.octave); ++i) {
        const qreal y = g.octave > 0
                            ? baseline - m_cap - m_em * (0.16 + i * dotStep)
                            : baseline + m_em * (firstLine + std::max(0, g.lines - 1) * lineGap +
                                                 (g.lines > 0 ? 0.17 : 0.1) + i * dotStep);
        drawDot(centre, y, r);
    }
    if (g.sharp) {
        m_painter.setFont(m_smallFont);
        m_painter.setPen(ink);
        const qreal w = m_small.horizontalAdvance(QChar(0x266F));
        m_painter.drawText(QPointF(x - w, baseline - m_cap * 0.45), QString(QChar(0x266F)));
    }
    const qreal aboveDots = g.octave > 0 ? g.octave * dotStep * m_em : 0;
    if (g.fermata) {
        // A fermata: a half ring over a dot.
        const qreal cy = baseline - m_cap - m_em * 0.3 - aboveDots;
        const qreal rx = m_em * 0.32;
        QPainterPath ring;
        ring.moveTo(centre - rx, cy);
        ring.cubicTo(centre - rx, cy - rx * 1.1, centre + rx, cy - rx * 1.1, centre + rx, cy);
        m_painter.setBrush(QBrush(Qt::NoBrush));
        m_painter.setPen(QPen(ink, m_em * 0.06));
        m_painter.drawPath(ring);
        drawDot(centre, cy - r * 0.5, r);
    }
}

qreal JianpuPages::drawGraces(const Glyph &g, qreal x, qreal digitW, qreal after, qreal baseline) {
    if (g.gracesBefore.isEmpty() && g.gracesAfter.isEmpty()) {
        return after;
    }
    // Joined to their note by a short slur, before or after it as they sound.
    const qreal graceW = m_grace.horizontalAdvance(QStringLiteral("5"));
    const qreal graceBase = baseline - m_cap * graceRaise;
    const qreal graceTop = graceBase + m_grace.tightBoundingRect(QStringLiteral("5")).top();
    const qreal highDots = g.kind == Glyph::Kind::Note ? std::max(0, g.octave) * dotStep * m_em : 0;
    const qreal graceArcY = std::min(graceTop - m_em * 0.12, baseline - m_cap - m_em * 0.05);
    if (!g.gracesBefore.isEmpty()) {
        const qreal from = x - (g.sharp ? m_small.horizontalAdvance(QChar(0x266F)) : 0) -
                           m_em * graceGap - graceW * g.gracesBefore.size();
        drawGraceRow(g.gracesBefore, from, baseline);
        drawArc(from + graceW * 0.3, x + digitW * (highDots > 0 ? 0.15 : 0.35), graceArcY,
                m_em * 0.14);
    }
    if (!g.gracesAfter.isEmpty()) {
        const qreal from = after + m_em * graceGap;
        drawGraceRow(g.gracesAfter, from, baseline);
        drawArc(x + digitW * (highDots > 0 || g.kind == Glyph::Kind::Dash ? 0.9 : 0.5),
                from + graceW * (g.gracesAfter.size() - 0.3), graceArcY, m_em * 0.14);
        after = from + graceW * g.gracesAfter.size();
    }
    return after;
}

void JianpuPages::drawGraceRow(const QVector<JianpuNotation::Grace> &row, qreal from,
                               qreal baseline) {
    // Small sixteenths on the upper half of the digits' height, their
    // reduction lines under them, a clear gap from their note.
    const QColor ink = m_t.m_style.scoreColor;
    const qreal r = m_em * dotRadius;
    const qreal graceW = m_grace.horizontalAdvance(QStringLiteral("5"));
    const qreal graceBase = baseline - m_cap * graceRaise;
    const QRectF graceInk = m_grace.tightBoundingRect(QStringLiteral("5"));
    const qreal graceTop = graceBase + graceInk.top();
    qreal gx = from;
    for (const JianpuNotation::Grace &grace : row) {
        m_painter.setFont(m_graceFont);
        m_painter.setPen(ink);
        m_painter.drawText(QPointF(gx, graceBase), QString::number(grace.digit));
        for (int i = 0; i < std::abs(grace.octave); ++i) {
            drawDot(gx + graceW / 2,
                    grace.octave > 0 ? graceTop - m_em * graceSize * (0.16 + i * dotStep)
                                     : graceBase + m_em * graceSize *
                                                       (firstLine + (graceLines - 1) * lineGap +
                                                        0.17 + i * dotStep),
                    r * 0.7);
        }
        gx += graceW;
    }
    // The lines span the ink of the digits, joined as in a beat.
    m_painter.setPen(QPen(ink, m_em * 0.045));
    const qreal left = from + graceInk.left() - m_em * 0.02;
    const qreal right = gx - graceW + graceInk.right() + m_em * 0.02;
    for (int level = 0; level < graceLines; ++level) {
        const qreal y = graceBase + m_em * graceSize * (firstLine + level * lineGap);
        m_painter.drawLine(QLineF(left, y, right, y));
    }
}
