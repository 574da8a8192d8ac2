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
    , m_lyric(m_noteFont) {
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

qreal JianpuPages::systemHeight() const {
    const JianpuStyle &s = m_t.m_style.jianpu;
    const qreal signs = s.banYanSigns ? signRow * m_em : 0;
    return signs + aboveRow * m_em + m_cap + belowRoom * m_em + s.lyricDistance + m_lyric.height() +
           s.systemSpace;
}

void JianpuPages::newPage() {
    m_t.newPage(m_painter);
    m_painter.translate(-m_width, 0); // from the top-left corner of the printable area
    ++m_page;
    m_y = 0;
    m_systemOnPage = 0;
}

void JianpuPages::finishPage() {
    // The page number, centred at the foot.
    m_painter.setFont(m_smallFont);
    m_painter.setPen(m_t.m_style.lyricColor);
    const QString number = QString::number(m_page);
    m_painter.drawText(
        QPointF((m_width - m_small.horizontalAdvance(number)) / 2, m_height + m_em * 1.2), number);
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
        m_t.m_documentTitle = sungText(text);
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
    m_painter.drawText(QPointF(0, m_y + m_lyric.ascent()),
                       heading.keyLabel + QStringLiteral("  ") + heading.meterLabel);
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

qreal JianpuPages::slotWidth(const Glyph &g) const {
    const JianpuStyle &s = m_t.m_style.jianpu;
    const qreal natural = s.beatWidth * qreal(g.duration) / music::ticksPerBeat;
    qreal least = m_note.horizontalAdvance(QStringLiteral("5")) + s.minNoteSpace;
    if (g.dotted) {
        least += m_em * 0.35;
    }
    if (g.sharp) {
        least += m_small.horizontalAdvance(QChar(0x266F));
    }
    for (int i = 0; i < g.gracesBefore.size() + g.gracesAfter.size(); ++i) {
        least += m_small.horizontalAdvance(QStringLiteral("5"));
    }
    if (!g.lyric.isEmpty()) {
        least = std::max(least, m_lyric.horizontalAdvance(g.lyric) + s.minNoteSpace);
    }
    return std::max(natural, least);
}

QVector<JianpuPages::Unit> JianpuPages::unitsOf(const Block &music) const {
    QVector<Unit> units;
    const qreal barRoom = m_em * 0.6;
    for (const JianpuNotation::Measure &m : music.measures) {
        Unit whole;
        whole.bar = !m.free && !m.open;
        whole.finalBar = m.finalBar;
        for (const JianpuNotation::Beat &b : m.beats) {
            Unit beat;
            beat.beats = {b};
            for (const Glyph &g : b.glyphs) {
                beat.natural += slotWidth(g);
                beat.ticks += g.duration;
            }
            if (m.free) {
                units.append(beat); // a free passage breaks between any two notes
            }
            whole.beats.append(b);
            whole.natural += beat.natural;
            whole.ticks += beat.ticks;
        }
        if (m.free) {
            if (!units.isEmpty()) {
                units.last().finalBar = m.finalBar;
            }
            continue;
        }
        whole.natural += barRoom;
        whole.trailing = barRoom;
        if (whole.natural <= m_width) {
            units.append(whole);
            continue;
        }
        // Wider than a system: cut between its beats.
        for (int i = 0; i < whole.beats.size(); ++i) {
            Unit part;
            part.beats = {whole.beats.at(i)};
            for (const Glyph &g : part.beats.first().glyphs) {
                part.natural += slotWidth(g);
                part.ticks += g.duration;
            }
            const bool last = i + 1 == whole.beats.size();
            part.bar = last && whole.bar;
            part.finalBar = last && whole.finalBar;
            part.trailing = last ? barRoom : 0;
            part.natural += part.trailing;
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

void JianpuPages::setSystem(const QVector<Unit> &units, bool justify) {
    ensureRoom(systemHeight(), false);
    if (m_stop) {
        return;
    }
    const JianpuStyle &s = m_t.m_style.jianpu;
    const qreal top = m_y;
    qreal natural = 0;
    qint64 ticks = 0;
    for (const Unit &u : units) {
        natural += u.natural;
        ticks += u.ticks;
    }
    const qreal extraPerTick =
        justify && ticks > 0 ? std::max<qreal>(0, m_width - natural) / qreal(ticks) : 0;
    const qreal signs = s.banYanSigns ? signRow * m_em : 0;
    const qreal baseline = top + signs + aboveRow * m_em + m_cap;
    const qreal lyricBaseline = baseline + belowRoom * m_em + s.lyricDistance + m_lyric.ascent();

    // A tie or slur left open at the end of the last system goes on here.
    if (m_tie.open) {
        m_tie.x = -m_em * 0.2;
        m_tie.top = top;
    }
    if (m_slur.open) {
        m_slur.x = -m_em * 0.2;
        m_slur.top = top;
    }
    // Ties and slurs clear the octave dots of the notes under them.
    const auto tieY = [&](int octave) {
        return baseline - m_cap - m_em * (0.15 + dotStep * std::max(0, octave));
    };
    const auto slurY = [&](int octave) {
        return baseline - m_cap - m_em * (0.42 + dotStep * std::max(0, octave));
    };

    qreal x = 0;
    for (const Unit &u : units) {
        for (const JianpuNotation::Beat &beat : u.beats) {
            struct Done {
                qreal left, right;
                int lines;
            };
            QVector<Done> done;
            for (const Glyph &g : beat.glyphs) {
                const qreal slot = slotWidth(g) + extraPerTick * qreal(g.duration);
                const qreal graceRoom =
                    m_small.horizontalAdvance(QStringLiteral("5")) * g.gracesBefore.size() +
                    (g.sharp ? m_small.horizontalAdvance(QChar(0x266F)) : 0);
                const qreal digitX = x + graceRoom;
                const qreal digitW = m_note.horizontalAdvance(QStringLiteral("5"));
                drawGlyph(g, digitX, slot - graceRoom, baseline);
                qreal right = digitX + digitW;
                if (g.dotted) {
                    right += m_em * 0.3;
                }
                done.append({digitX, right, g.kind == Glyph::Kind::Dot ? 0 : g.lines});

                const qreal centre = digitX + digitW / 2;
                if (g.kind == Glyph::Kind::Note) {
                    m_tie.octave = std::max(m_tie.octave, g.octave);
                    m_slur.octave = std::max(m_slur.octave, g.octave);
                    if (m_tie.open) {
                        drawArc(m_tie.x, centre, tieY(m_tie.octave), m_em * 0.22);
                        m_tie.open = false;
                    }
                    if (g.tieToNext) {
                        m_tie = {centre, top, true, g.octave};
                    }
                    if (g.slurStart) {
                        m_slur = {centre, top, true, g.octave};
                    }
                    if (g.slurEnd && m_slur.open) {
                        drawArc(m_slur.x, centre, slurY(m_slur.octave), m_em * 0.3);
                        m_slur.open = false;
                    }
                }
                // The lyric under its note, the character centred on the digit.
                if (!g.lyric.isEmpty()) {
                    const QStringList chars = splitCharacters(g.lyric);
                    const QString first = chars.value(0);
                    const qreal lx = centre - m_lyric.horizontalAdvance(first) / 2;
                    m_painter.setFont(m_lyricFont);
                    m_painter.setPen(m_t.m_style.lyricColor);
                    // Punctuation is left out when the style hides it.
                    m_painter.drawText(QPointF(lx, lyricBaseline),
                                       m_t.m_style.hiddenSymbol ? first : g.lyric);
                    if (g.character >= 0) {
                        SourceArea area;
                        area.kind = SourceArea::Character;
                        area.page = m_t.m_pageRecords.size();
                        area.rect = QRectF(lx, lyricBaseline - m_lyric.ascent(),
                                           m_lyric.horizontalAdvance(first), m_lyric.height())
                                        .translated(m_t.m_pageOrigin - QPointF(m_width, 0));
                        area.character = g.character;
                        area.lyricLine = g.lyricLine;
                        area.position = g.lyricColumn;
                        m_t.m_openAreas.append(area);
                    }
                }
                if (g.kind == Glyph::Kind::Note && g.character >= 0) {
                    SourceArea area;
                    area.kind = SourceArea::Symbol;
                    area.page = m_t.m_pageRecords.size();
                    area.rect = QRectF(digitX, baseline - m_cap, digitW, m_cap)
                                    .translated(m_t.m_pageOrigin - QPointF(m_width, 0));
                    area.character = g.character;
                    area.lyricLine = g.lyricLine;
                    area.position = g.lyricColumn;
                    area.symbol = g.symbol;
                    m_t.m_openAreas.append(area);
                }
                x += slot;
            }
            // Reduction lines: joined within the beat, never across it.
            m_painter.setPen(QPen(m_t.m_style.scoreColor, m_em * 0.06));
            for (int level = 1; level <= 4; ++level) {
                int i = 0;
                while (i < done.size()) {
                    if (done.at(i).lines < level) {
                        ++i;
                        continue;
                    }
                    int j = i;
                    while (j + 1 < done.size() && done.at(j + 1).lines >= level) {
                        ++j;
                    }
                    const qreal y = baseline + m_em * (firstLine + (level - 1) * lineGap);
                    m_painter.drawLine(QLineF(done.at(i).left, y, done.at(j).right, y));
                    i = j + 1;
                }
            }
        }
        if (u.bar || u.finalBar) {
            const qreal barX = x + u.trailing * 0.4;
            const qreal y1 = baseline - m_cap - m_em * 0.3;
            const qreal y2 = baseline + m_em * 0.35;
            m_painter.setPen(QPen(m_t.m_style.scoreColor, m_em * 0.05));
            if (u.finalBar) {
                m_painter.drawLine(QLineF(barX - m_em * 0.2, y1, barX - m_em * 0.2, y2));
                m_painter.setPen(QPen(m_t.m_style.scoreColor, m_em * 0.16));
                m_painter.drawLine(QLineF(barX + m_em * 0.02, y1, barX + m_em * 0.02, y2));
            } else {
                m_painter.drawLine(QLineF(barX, y1, barX, y2));
            }
        }
        x += u.trailing;
    }
    // Ties and slurs running on into the next system end at the margin here.
    if (m_tie.open) {
        drawArc(m_tie.x, x + m_em * 0.2, tieY(m_tie.octave), m_em * 0.22);
    }
    if (m_slur.open) {
        drawArc(m_slur.x, x + m_em * 0.2, slurY(m_slur.octave), m_em * 0.3);
    }
    m_y = top + systemHeight();
    ++m_systemOnPage;
}

void JianpuPages::drawDot(qreal x, qreal y, qreal r) {
    m_painter.setPen(QPen(Qt::NoPen));
    m_painter.setBrush(m_t.m_style.scoreColor);
    m_painter.drawEllipse(QPointF(x, y), r, r);
    m_painter.setBrush(QBrush(Qt::NoBrush));
}

void JianpuPages::drawArc(qreal x1, qreal x2, qreal y, qreal rise) {
    if (x2 - x1 < m_em * 0.2) {
        x2 = x1 + m_em * 0.2;
    }
    QPainterPath arc;
    arc.moveTo(x1, y);
    arc.cubicTo(x1 + (x2 - x1) * 0.25, y - rise, x2 - (x2 - x1) * 0.25, y - rise, x2, y);
    m_painter.setBrush(QBrush(Qt::NoBrush));
    m_painter.setPen(QPen(m_t.m_style.scoreColor, m_em * 0.05));
    m_painter.drawPath(arc);
}

void JianpuPages::drawGlyph(const Glyph &g, qreal x, qreal slot, qreal baseline) {
    const JianpuStyle &s = m_t.m_style.jianpu;
    const QColor ink = m_t.m_style.scoreColor;
    const qreal digitW = m_note.horizontalAdvance(QStringLiteral("5"));
    const qreal centre = x + digitW / 2;
    const qreal r = m_em * dotRadius;
    Q_UNUSED(slot);

    if (s.banYanSigns && !g.banYan.isEmpty()) {
        const bool comma = g.banYan == QStringLiteral("、");
        const QFontMetricsF &fm = comma ? m_sign : m_mark;
        m_painter.setFont(comma ? m_signFont : m_markFont);
        m_painter.setPen(m_t.m_style.banColor.isValid() ? m_t.m_style.banColor : ink);
        // The comma's ink sits low in its cell: centred on the digit, it
        // stands where the rings stand.
        const QRectF inkBox = fm.tightBoundingRect(g.banYan);
        const qreal signY = baseline - m_cap - aboveRow * m_em - m_em * 0.35;
        m_painter.drawText(QPointF(centre - inkBox.center().x(), signY - inkBox.center().y()),
                           g.banYan);
    }
    switch (g.kind) {
    case Glyph::Kind::Dash:
        m_painter.setPen(QPen(ink, m_em * 0.08));
        m_painter.drawLine(
            QLineF(x + digitW * 0.1, baseline - m_cap / 2, x + digitW * 0.9, baseline - m_cap / 2));
        return;
    case Glyph::Kind::Dot:
        drawDot(x + digitW * 0.3, baseline - m_cap * 0.45, r);
        return;
    case Glyph::Kind::Note:
    case Glyph::Kind::Rest:
        break;
    }
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
    m_painter.setFont(m_smallFont);
    m_painter.setPen(ink);
    if (g.sharp) {
        const qreal w = m_small.horizontalAdvance(QChar(0x266F));
        m_painter.drawText(QPointF(x - w, baseline - m_cap * 0.45), QString(QChar(0x266F)));
    }
    // Ornaments: small digits before and after, raised.
    const qreal smallW = m_small.horizontalAdvance(QStringLiteral("5"));
    const qreal graceY = baseline - m_cap * 0.5;
    qreal gx = x - smallW * g.gracesBefore.size() -
               (g.sharp ? m_small.horizontalAdvance(QChar(0x266F)) : 0);
    for (const JianpuNotation::Grace &grace : g.gracesBefore) {
        m_painter.drawText(QPointF(gx, graceY), QString::number(grace.digit));
        if (grace.octave != 0) {
            drawDot(gx + smallW / 2, grace.octave > 0 ? graceY - m_cap * 0.75 : graceY + r * 2.5,
                    r * 0.7);
            m_painter.setPen(ink);
        }
        gx += smallW;
    }
    gx = x + digitW + (g.dotted ? m_em * 0.3 : m_em * 0.05);
    for (const JianpuNotation::Grace &grace : g.gracesAfter) {
        m_painter.setFont(m_smallFont);
        m_painter.setPen(ink);
        m_painter.drawText(QPointF(gx, graceY), QString::number(grace.digit));
        if (grace.octave != 0) {
            drawDot(gx + smallW / 2, grace.octave > 0 ? graceY - m_cap * 0.75 : graceY + r * 2.5,
                    r * 0.7);
        }
        gx += smallW;
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
    if (g.breath) {
        m_painter.setFont(m_smallFont);
        m_painter.setPen(ink);
        m_painter.drawText(QPointF(x + digitW + m_em * 0.1, baseline - m_cap - m_em * 0.1),
                           QStringLiteral("V"));
    }
}
