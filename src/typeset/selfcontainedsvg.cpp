#include "typeset/selfcontainedsvg.h"

#include <QFont>
#include <QGlyphRun>
#include <QPainterPath>
#include <QRawFont>
#include <QSet>
#include <QTextLayout>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>

namespace {

// A number as SVG attributes take it: at most three decimals, no trailing
// zeros, no "-0".
QString number(qreal v) {
    QString s = QString::number(v, 'f', 3);
    while (s.endsWith(QLatin1Char('0'))) {
        s.chop(1);
    }
    if (s.endsWith(QLatin1Char('.'))) {
        s.chop(1);
    }
    return s == QLatin1String("-0") ? QStringLiteral("0") : s;
}

// The outline as SVG path data, in whole font units (the path is taken at a
// pixel size of one em, where a unit is far below anything a page shows).
QString pathData(const QPainterPath &path) {
    QString d;
    const auto point = [&d](qreal x, qreal y) {
        const long px = std::lround(x);
        const long py = std::lround(y);
        if (!d.isEmpty() && px >= 0 && !d.endsWith(QLatin1Char('M')) &&
            !d.endsWith(QLatin1Char('L')) && !d.endsWith(QLatin1Char('C'))) {
            d += QLatin1Char(' ');
        }
        d += QString::number(px);
        if (py >= 0) {
            d += QLatin1Char(' ');
        }
        d += QString::number(py);
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element &e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            d += QLatin1Char('M');
            point(e.x, e.y);
            break;
        case QPainterPath::LineToElement:
            d += QLatin1Char('L');
            point(e.x, e.y);
            break;
        case QPainterPath::CurveToElement:
            d += QLatin1Char('C');
            point(e.x, e.y);
            for (int k = 1; k <= 2 && i + 1 < path.elementCount(); ++k) {
                const QPainterPath::Element &c = path.elementAt(++i);
                point(c.x, c.y);
            }
            break;
        case QPainterPath::CurveToDataElement:
            point(e.x, e.y); // only after a curve, handled there
            break;
        }
    }
    return d;
}

// The QFont weight of an SVG font-weight, as QSvgGenerator maps them.
int fontWeight(const QString &svgWeight) {
    if (svgWeight == QLatin1String("bold")) {
        return QFont::Bold;
    }
    bool ok = false;
    const int w = svgWeight.toInt(&ok);
    if (!ok) {
        return QFont::Normal;
    }
    switch (w) {
    case 100:
        return QFont::Light;
    case 400:
        return QFont::Normal;
    case 700:
        return QFont::Bold;
    default:
        return std::clamp(w / 10, 0, 99);
    }
}

struct Edit {
    int start = 0; // in UTF-16 units of the page
    int end = 0;
    QString text;
};

QString attributeValue(const QXmlStreamAttributes &attributes, const char *name) {
    return attributes.value(QLatin1String(name)).toString();
}

// The text itself, still there to be selected and searched, but no longer
// painted: the outlines drawn for it show it.
QString hiddenText(const QXmlStreamAttributes &attributes, const QString &text) {
    QString element = QStringLiteral("<text");
    bool opacitySet = false;
    for (const QXmlStreamAttribute &a : attributes) {
        const bool isOpacity = a.qualifiedName() == QLatin1String("fill-opacity");
        opacitySet = opacitySet || isOpacity;
        element += QStringLiteral(" %1=\"%2\"")
                       .arg(a.qualifiedName().toString(),
                            isOpacity ? QStringLiteral("0") : a.value().toString().toHtmlEscaped());
    }
    if (!opacitySet) {
        element += QStringLiteral(" fill-opacity=\"0\"");
    }
    element += QLatin1Char('>') + text.toHtmlEscaped() + QStringLiteral("</text>");
    return element;
}

// svg with the edits made, in the order of their places, into out; false
// when two of them overlap (not a page as the generator writes them).
bool spliced(const QString &svg, QVector<Edit> edits, QString *out) {
    std::stable_sort(edits.begin(), edits.end(),
                     [](const Edit &a, const Edit &b) { return a.start < b.start; });
    out->reserve(svg.size() * 2);
    int at = 0;
    for (const Edit &e : edits) {
        if (e.start < at) {
            return false;
        }
        *out += svg.midRef(at, e.start - at);
        *out += e.text;
        at = e.end;
    }
    *out += svg.midRef(at);
    return true;
}

} // namespace

const QVector<SelfContainedSvg::Placed> &SelfContainedSvg::layout(const QString &family,
                                                                  int pixelSize, int weight,
                                                                  bool italic,
                                                                  const QString &text) {
    const QString key = family + QLatin1Char('\n') + QString::number(pixelSize) +
                        QLatin1Char('\n') + QString::number(weight) +
                        (italic ? QStringLiteral("i\n") : QStringLiteral("\n")) + text;
    const auto known = m_layouts.constFind(key);
    if (known != m_layouts.constEnd()) {
        return *known;
    }
    // Laid out as QPainter::drawText lays out one run: the same shaping,
    // fallback fonts and advances.
    QFont font(family);
    font.setPixelSize(std::max(1, pixelSize));
    font.setWeight(weight);
    font.setItalic(italic);
    QTextLayout textLayout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    textLayout.setTextOption(option);
    textLayout.beginLayout();
    QTextLine line = textLayout.createLine();
    if (line.isValid()) {
        line.setPosition(QPointF(0, 0));
    }
    textLayout.endLayout();

    QVector<Placed> placed;
    if (line.isValid()) {
        for (const QGlyphRun &run : line.glyphRuns()) {
            const QRawFont raw = run.rawFont();
            const qreal em = raw.unitsPerEm();
            if (!raw.isValid() || em <= 0) {
                continue;
            }
            QRawFont unit = raw;
            unit.setPixelSize(em);
            const QString fontKey = raw.familyName() + QLatin1Char('\n') + raw.styleName() +
                                    QLatin1Char('\n') + QString::number(raw.weight()) +
                                    QLatin1Char('\n') + QString::number(int(raw.style())) +
                                    QLatin1Char('\n');
            const QVector<quint32> indexes = run.glyphIndexes();
            const QVector<QPointF> positions = run.positions();
            for (int i = 0; i < indexes.size() && i < positions.size(); ++i) {
                const QString glyphKey = fontKey + QString::number(indexes.at(i));
                int id = m_outlineIds.value(glyphKey, -1);
                if (id < 0) {
                    id = m_outlines.size();
                    m_outlines.append(pathData(unit.pathForGlyph(indexes.at(i))));
                    m_outlineIds.insert(glyphKey, id);
                }
                if (m_outlines.at(id).isEmpty()) {
                    continue; // a space
                }
                // The line's glyphs stand on its baseline, one ascent down.
                placed.append({id, raw.pixelSize() / em,
                               positions.at(i) - QPointF(line.x(), line.y() + line.ascent())});
            }
        }
    }
    return *m_layouts.insert(key, placed);
}

QByteArray SelfContainedSvg::convert(const QByteArray &page) {
    if (!page.contains("<text")) {
        return page;
    }
    const QString svg = QString::fromUtf8(page);
    QXmlStreamReader xml(svg);
    QVector<Edit> edits;
    int svgAt = -1;  // just after the <svg> start tag
    int defsAt = -1; // just after the first <defs> start tag
    QVector<int> used;
    QSet<int> seen;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        const QStringRef name = xml.name();
        const int tagEnd = int(xml.characterOffset());
        if (name == QLatin1String("svg")) {
            if (svgAt < 0) {
                svgAt = tagEnd;
            }
            continue;
        }
        if (name == QLatin1String("defs")) {
            if (defsAt < 0) {
                defsAt = tagEnd;
            }
            continue;
        }
        if (name != QLatin1String("text")) {
            continue;
        }
        // No attribute value holds a "<": the last one before the end of the
        // start tag opens it.
        const int start = svg.lastIndexOf(QLatin1Char('<'), tagEnd - 1);
        const QXmlStreamAttributes attributes = xml.attributes();
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        if (xml.hasError() || start < 0) {
            break;
        }
        const int end = int(xml.characterOffset());
        QString replacement = outlinesOf(attributes, text, used, seen);
        replacement += hiddenText(attributes, text);
        edits.append({start, end, replacement});
    }
    if (xml.hasError() || edits.isEmpty() || svgAt < 0) {
        return page;
    }

    QString defs;
    for (int id : used) {
        defs += QStringLiteral("<path id=\"qg%1\" d=\"%2\"/>\n")
                    .arg(QString::number(id), m_outlines.at(id));
    }
    if (!defs.isEmpty()) {
        if (defsAt >= 0) {
            edits.append({defsAt, defsAt, QLatin1Char('\n') + defs});
        } else {
            edits.append(
                {svgAt, svgAt, QStringLiteral("\n<defs>\n") + defs + QStringLiteral("</defs>")});
        }
    }
    QString out;
    return spliced(svg, std::move(edits), &out) ? out.toUtf8() : page;
}

QString SelfContainedSvg::outlinesOf(const QXmlStreamAttributes &attributes, const QString &text,
                                     QVector<int> &used, QSet<int> &seen) {
    const auto value = [&attributes](const char *name) { return attributeValue(attributes, name); };
    const QVector<Placed> &glyphs = layout(
        value("font-family"), int(std::lround(value("font-size").toDouble())),
        fontWeight(value("font-weight")), value("font-style") == QLatin1String("italic"), text);
    if (glyphs.isEmpty()) {
        return QString();
    }
    const QString fill = value("fill").isEmpty() ? QStringLiteral("#000000") : value("fill");
    const QString opacity =
        value("fill-opacity").isEmpty() ? QStringLiteral("1") : value("fill-opacity");
    // Glyph outlines overlap where strokes cross: they are filled by
    // winding, whatever the enclosing groups say.
    QString group = QStringLiteral("<g fill=\"%1\" fill-opacity=\"%2\" stroke=\"none\" "
                                   "fill-rule=\"nonzero\" aria-hidden=\"true\"")
                        .arg(fill.toHtmlEscaped(), opacity.toHtmlEscaped());
    if (attributes.hasAttribute(QLatin1String("transform"))) {
        group += QStringLiteral(" transform=\"%1\"").arg(value("transform").toHtmlEscaped());
    }
    group += QLatin1Char('>');
    const qreal x = value("x").toDouble();
    const qreal y = value("y").toDouble();
    for (const Placed &g : glyphs) {
        group += QStringLiteral("<use xlink:href=\"#qg%1\" "
                                "transform=\"matrix(%2,0,0,%2,%3,%4)\"/>")
                     .arg(QString::number(g.outline), number(g.scale), number(x + g.origin.x()),
                          number(y + g.origin.y()));
        if (!seen.contains(g.outline)) {
            seen.insert(g.outline);
            used.append(g.outline);
        }
    }
    group += QStringLiteral("</g>\n");
    return group;
}
