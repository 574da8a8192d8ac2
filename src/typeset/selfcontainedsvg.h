#pragma once

#include <QByteArray>
#include <QHash>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QVector>

class QXmlStreamAttributes;

// Makes an SVG page of the typesetter readable without its fonts: a browser,
// a mail program or librsvg on a machine that has neither the gongche font
// nor the lyric font shows it as the program does.
//
// Every <text> of the page is laid out again with the font its attributes
// name, in this process, so with the same fonts, fallbacks and substitutions
// the page was drawn with. Each glyph it takes becomes one outline in the
// page's <defs>, drawn where the text stood by a <use> in the text's colour.
// The <text> itself stays in place with its fill made fully transparent, so
// the words can still be selected, searched and read out; the drawn glyphs
// are hidden from screen readers (aria-hidden), which read the text instead.
// Everything else of the page is left byte for byte as it was.
//
// One converter keeps the layouts and outlines it has made, so that the
// pages of a document share the work. It assumes pages as QSvgGenerator
// writes them: each <text> one run of text at a baseline origin x, y, with
// font-family, font-size (pixels), font-weight and font-style attributes.
class SelfContainedSvg {
public:
    // page with its text drawn from outlines; page itself when it holds no
    // text or cannot be read as XML.
    QByteArray convert(const QByteArray &page);

    // The number of distinct glyph outlines made so far.
    int glyphCount() const { return m_outlines.size(); }

private:
    // One glyph of a laid-out text: which outline, at what scale, where its
    // origin lies relative to the text's baseline origin.
    struct Placed {
        int outline = 0;
        qreal scale = 1;
        QPointF origin;
    };
    const QVector<Placed> &layout(const QString &family, int pixelSize, int weight, bool italic,
                                  const QString &text);
    // The outlines of a <text> with these attributes, as a group of <use>s
    // in its colour; each outline it uses for the first time (not in seen)
    // is added to used, for the page's <defs>. Empty when nothing shows.
    QString outlinesOf(const QXmlStreamAttributes &attributes, const QString &text,
                       QVector<int> &used, QSet<int> &seen);

    QHash<QString, QVector<Placed>> m_layouts;
    QHash<QString, int> m_outlineIds; // font and glyph index → index into m_outlines
    QVector<QString> m_outlines;      // path data, in font units; empty for a blank glyph
};
