#pragma once

#include "typeset/jianpunotation.h"
#include "typeset/sourcearea.h"

#include <QFont>
#include <QFontMetricsF>
#include <QVector>

class PageCanvas;
class Typesetter;

// Sets the blocks of a 简谱 document on the typesetter's pages: systems of
// measures left to right, justified to the printable width, their lyrics
// underneath, the title, tune headings and spoken lines between them, and
// page numbers. The glyphs of a beat stand together as a group; the gaps
// between the groups follow the durations and take what justification adds,
// never narrower than a gap inside a group; a bar line stands in the middle
// of its gap. Lyrics hang a small fixed distance under the lowest ink of
// their system's notes; a measure is never cut between systems unless it
// is wider than one, and a heading is never left at the foot of a page.
class JianpuPages {
public:
    JianpuPages(Typesetter &typesetter, PageCanvas &painter);

    // Sets the blocks, opening pages as needed; with previewOnly it stops
    // once the first page is full.
    void set(const QVector<JianpuNotation::Block> &blocks, bool previewOnly);

private:
    using Glyph = JianpuNotation::Glyph;
    using Block = JianpuNotation::Block;

    // What a system is cut from: a measure, a beat of one too wide for a
    // system, or a note of a 散板 passage.
    struct Unit {
        QVector<JianpuNotation::Beat> beats;
        bool bar = false;       // a bar line after it
        bool dashedBar = false; // a dashed bar line after it (加赠 split at the 赠板)
        bool finalBar = false;  // a double bar after it
        qreal natural = 0;      // width before justification
        qint64 ticks = 0;
    };
    // The ink of a glyph left of its digit (graces before, a sharp) and right
    // of it (the augmentation dot, graces after, a breath, a 底板).
    struct Box {
        qreal before = 0;
        qreal digit = 0;
        qreal after = 0;
    };
    // A beat set as a group: its glyphs close together, the gap between
    // them only as wide as their lyrics need.
    struct BeatLayout {
        QVector<qreal> digitX; // each glyph's digit, from the group's left edge
        qreal width = 0;       // to the right edge of the last glyph's ink
        qreal innerGap = 0;    // the widest gap between two of its glyphs
    };
    enum class Bar { None, Single, Dashed, Final };
    // A beat in a row of beats, and the room after it.
    struct Cell {
        const JianpuNotation::Beat *beat = nullptr;
        BeatLayout layout;
        qint64 ticks = 0;
        Bar bar = Bar::None; // after it, in the middle of the gap
        qreal gap = 0;       // to the next beat's group, or to the end of the row
    };
    enum class Open { None, Left, Right, Both };
    // Where the rows of a system stand: the baseline of the digits, the
    // baseline of the lyrics and the height of their ink above it.
    struct Rows {
        qreal baseline = 0;
        qreal lyricBaseline = 0;
        qreal lyricInk = 0;
    };
    // What a glyph of a beat covers along the row (its digit and dot) and
    // how many reduction lines run under it.
    struct Span {
        qreal left;
        qreal right;
        int lines;
    };
    struct OpenArc;

    QVector<Unit> unitsOf(const Block &music) const;
    Box boxOf(const Glyph &g) const;
    BeatLayout layOut(const JianpuNotation::Beat &beat) const;
    // The beats of units side by side with their natural gaps: beats never
    // closer than the glyphs inside them, bar lines in the middle of theirs,
    // lyrics apart.
    QVector<Cell> cellsOf(const QVector<Unit> &units) const;
    QString lyricShown(const Glyph &g) const;
    // The lowest ink of a glyph below the baseline of the digits.
    qreal inkBelow(const Glyph &g) const;
    void setMusic(const Block &music);
    void setSystem(const QVector<Unit> &units, bool justify);
    // The lowest ink of the units' glyphs below the baseline of the digits.
    qreal lowestInk(const QVector<Unit> &units) const;
    // Widens the gaps after the beats (not the last one's, unless a bar
    // line stands in it) in proportion to their durations, to fill the row.
    void spreadToWidth(QVector<Cell> &cells) const;
    // The glyphs of a beat whose group begins at x, their ties and slurs,
    // lyrics and reduction lines.
    void setBeat(const Cell &cell, qreal x, const Rows &rows);
    // Ends the tie or slur that the note at centre closes, begins the one it opens.
    void setArcs(const Glyph &g, qreal centre, qreal baseline);
    // The glyph's lyric under it, the first character centred on centre.
    void setLyric(const Glyph &g, qreal centre, const Rows &rows);
    // Where a glyph's character (kind Character) or pitch sign (Symbol)
    // stands on the page, rect being in the coordinates of the system.
    SourceArea areaOf(SourceArea::Kind kind, const Glyph &g, const QRectF &rect) const;
    // Ties clear the octave dots of the notes under them; a slur over a tie
    // goes above it.
    qreal tieY(qreal baseline, int octave) const;
    qreal slurY(qreal baseline, const OpenArc &slur) const;
    static Open openOf(bool left, bool right);
    void setTitle(const QString &text);
    void setHeading(const Block &heading);
    void setSpeech(const Block &speech);
    // Room for height on the page, with a system after it when keepWithNext.
    void ensureRoom(qreal height, bool keepWithNext);
    void newPage();
    void finishPage();
    // The height of a system whose notes reach below down to below (from
    // the baseline); the deepest a system can reach when negative.
    qreal systemHeight(qreal below = -1) const;
    // font in its family, no larger than ems of the note font.
    QFont capped(const QFont &font, qreal ems) const;

    void drawGlyph(const Glyph &g, qreal x, qreal baseline);
    // A 板眼 sign centred on at, in the row of signs.
    void drawSign(const QString &text, qreal at, qreal signY);
    // A note's or rest's digit, with its dot, octave dots, sharp and fermata.
    void drawDigit(const Glyph &g, qreal x, qreal digitW, qreal baseline);
    // The graces before and after a glyph; where the marks after it go on.
    qreal drawGraces(const Glyph &g, qreal x, qreal digitW, qreal after, qreal baseline);
    void drawGraceRow(const QVector<JianpuNotation::Grace> &row, qreal from, qreal baseline);
    // Reduction lines: joined within a beat, never across it.
    void drawReductionLines(const QVector<Span> &spans, qreal baseline);
    // A bar line at barX; last at the end of a system, its ink inside the margin.
    void drawBar(Bar bar, qreal barX, bool last, qreal baseline);
    // A tie or slur; an open end runs level into the margin, where the arc
    // is cut by the end of a system.
    void drawArc(qreal x1, qreal x2, qreal y, qreal rise, Open open = Open::None);
    void drawDot(qreal x, qreal y, qreal r);

    Typesetter &m_t;
    PageCanvas &m_painter;
    QFont m_noteFont;
    QFont m_smallFont;
    QFont m_signFont;
    QFont m_markFont;
    QFont m_lyricFont;
    QFont m_graceFont;
    QFont m_freeFont; // the 散板 sign over a free opening
    QFontMetricsF m_note;
    QFontMetricsF m_small;
    QFontMetricsF m_sign;
    QFontMetricsF m_mark;
    QFontMetricsF m_lyric;
    QFontMetricsF m_grace;
    QFontMetricsF m_free;
    qreal m_em = 13;
    qreal m_cap = 9;
    qreal m_width = 0;  // printable
    qreal m_height = 0; // printable, less the page number's line
    qreal m_y = 0;
    int m_page = 0;
    int m_systemOnPage = 0;
    bool m_stop = false;
    bool m_previewOnly = false;
    // Ties and slurs waiting for their last note: where they began.
    struct OpenArc {
        qreal x = 0;
        bool open = false;
        int octave = 0;         // the highest octave under it so far
        bool continued = false; // begun on an earlier system
        bool overTie = false;   // a slur with a tie under it goes above the tie
    };
    OpenArc m_tie;
    OpenArc m_slur;
};
