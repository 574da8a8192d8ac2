#pragma once

#include "typeset/jianpunotation.h"

#include <QFont>
#include <QFontMetricsF>
#include <QVector>

class PageCanvas;
class Typesetter;

// Sets the blocks of a 简谱 document on the typesetter's pages: systems of
// measures left to right, justified to the printable width, their lyrics
// underneath, the title, tune headings and spoken lines between them, and
// page numbers. Spacing follows the durations, with a minimum that keeps
// digits and lyrics apart; a measure is never cut between systems unless it
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
        bool bar = false;      // a bar line after it
        bool finalBar = false; // a double bar after it
        qreal natural = 0;     // width before justification
        qreal trailing = 0;    // of it, the room of the bar line at its end
        qint64 ticks = 0;
    };
    struct Placed {
        qreal x = 0;     // the digit's left edge
        qreal width = 0; // the digit's advance
        int system = 0;
    };

    QVector<Unit> unitsOf(const Block &music) const;
    qreal slotWidth(const Glyph &g) const;
    void setMusic(const Block &music);
    void setSystem(const QVector<Unit> &units, bool justify);
    void setTitle(const QString &text);
    void setHeading(const Block &heading);
    void setSpeech(const Block &speech);
    // Room for height on the page, with a system after it when keepWithNext.
    void ensureRoom(qreal height, bool keepWithNext);
    void newPage();
    void finishPage();
    qreal systemHeight() const;
    // font in its family, no larger than ems of the note font.
    QFont capped(const QFont &font, qreal ems) const;

    void drawGlyph(const Glyph &g, qreal x, qreal slot, qreal top);
    void drawArc(qreal x1, qreal x2, qreal y, qreal rise);
    void drawDot(qreal x, qreal y, qreal r);

    Typesetter &m_t;
    PageCanvas &m_painter;
    QFont m_noteFont;
    QFont m_smallFont;
    QFont m_signFont;
    QFont m_markFont;
    QFont m_lyricFont;
    QFontMetricsF m_note;
    QFontMetricsF m_small;
    QFontMetricsF m_sign;
    QFontMetricsF m_mark;
    QFontMetricsF m_lyric;
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
        qreal top = 0; // the system's top
        bool open = false;
        int octave = 0; // the highest octave under it so far
    };
    OpenArc m_tie;
    OpenArc m_slur;
};
