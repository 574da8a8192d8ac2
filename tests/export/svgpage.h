#pragma once

// Reads a page written by Typesetter back into text items and rectangles
// with page coordinates, so that tests can check where things were drawn.

#include <QFont>
#include <QFontMetricsF>
#include <QLineF>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <QTransform>
#include <QXmlStreamReader>

struct SvgText {
    QString text;
    QTransform transform; // of the enclosing group
    QPointF origin;       // x, y attributes (baseline start, group coordinates)
    QString fill;
    QString family;
    double fontSize = 0;

    // The metrics of the text's font on a 72-dpi device, as the painter used them.
    QFontMetricsF deviceMetrics() const {
        static QSvgGenerator device;
        device.setResolution(72);
        QFont font(family);
        font.setPointSizeF(fontSize);
        return QFontMetricsF(font, &device);
    }
    // The centre of the text's line box, in group coordinates.
    QPointF localCentre() const {
        const QFontMetricsF fm = deviceMetrics();
        return QPointF(origin.x() + fm.horizontalAdvance(text) / 2,
                       origin.y() - fm.ascent() + fm.height() / 2);
    }
    // The same, on the page.
    QPointF centre() const { return transform.map(localCentre()); }
    // The centre of the text's ink, on the page (gongche symbols are placed by it).
    QPointF inkCentre() const {
        return transform.map(origin + deviceMetrics().tightBoundingRect(text).center());
    }
};

struct SvgRect {
    QRectF rect;
    QString fill;
};

// A line (a polyline of two points) or a dot (a circle or ellipse), on the page.
struct SvgLine {
    QLineF line;
    double width = 0; // the stroke's width on the page
};
struct SvgDot {
    QPointF centre;
    double radius = 0;
};
// A path (an arc), by its points on the page: the first, the last, every one.
struct SvgPath {
    QPointF start, end;
    QList<QPointF> points;
};

struct SvgPage {
    bool ok = false;
    QString width, height, viewBox;
    QStringList titles, descriptions;
    QList<SvgText> texts;
    QList<SvgRect> rects;
    QList<SvgLine> lines;
    QList<SvgDot> dots;
    QList<SvgPath> paths;

    QList<SvgText> textsOf(const QString &s) const {
        QList<SvgText> out;
        for (const SvgText &t : texts) {
            if (t.text == s) {
                out.append(t);
            }
        }
        return out;
    }
    SvgText first(const QString &s) const {
        const QList<SvgText> all = textsOf(s);
        return all.isEmpty() ? SvgText() : all.first();
    }
};

inline QTransform parseMatrix(const QString &attr) {
    static const QRegularExpression re(QStringLiteral("matrix\\(([^)]*)\\)"));
    const QRegularExpressionMatch m = re.match(attr);
    if (!m.hasMatch()) {
        return QTransform();
    }
    const QStringList v = m.captured(1).split(QLatin1Char(','));
    if (v.size() != 6) {
        return QTransform();
    }
    return QTransform(v[0].toDouble(), v[1].toDouble(), v[2].toDouble(), v[3].toDouble(),
                      v[4].toDouble(), v[5].toDouble());
}

inline SvgPage parseSvgPage(const QByteArray &bytes) {
    SvgPage page;
    QXmlStreamReader xml(bytes);
    QList<QTransform> stack{QTransform()};
    QList<QString> fills{QString()};
    QList<double> strokes{0};
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto a = xml.attributes();
            const QStringRef name = xml.name();
            if (name == QLatin1String("svg")) {
                page.width = a.value(QLatin1String("width")).toString();
                page.height = a.value(QLatin1String("height")).toString();
                page.viewBox = a.value(QLatin1String("viewBox")).toString();
            } else if (name == QLatin1String("title")) {
                page.titles << xml.readElementText();
            } else if (name == QLatin1String("desc")) {
                page.descriptions << xml.readElementText();
            } else if (name == QLatin1String("g")) {
                stack.append(a.hasAttribute(QLatin1String("transform"))
                                 ? parseMatrix(a.value(QLatin1String("transform")).toString())
                                 : stack.last());
                fills.append(a.hasAttribute(QLatin1String("fill"))
                                 ? a.value(QLatin1String("fill")).toString()
                                 : fills.last());
                strokes.append(a.hasAttribute(QLatin1String("stroke-width"))
                                   ? a.value(QLatin1String("stroke-width")).toDouble()
                                   : strokes.last());
            } else if (name == QLatin1String("text")) {
                SvgText t;
                t.transform = stack.last();
                t.origin = QPointF(a.value(QLatin1String("x")).toDouble(),
                                   a.value(QLatin1String("y")).toDouble());
                t.fill = a.value(QLatin1String("fill")).toString();
                t.family = a.value(QLatin1String("font-family")).toString();
                t.fontSize = a.value(QLatin1String("font-size")).toDouble();
                t.text = xml.readElementText();
                page.texts.append(t);
            } else if (name == QLatin1String("polyline")) {
                const QStringList points = a.value(QLatin1String("points"))
                                               .toString()
                                               .split(QLatin1Char(' '), Qt::SkipEmptyParts);
                if (points.size() == 2) {
                    const auto point = [](const QString &p) {
                        return QPointF(p.section(QLatin1Char(','), 0, 0).toDouble(),
                                       p.section(QLatin1Char(','), 1, 1).toDouble());
                    };
                    page.lines.append(
                        {stack.last().map(QLineF(point(points.at(0)), point(points.at(1)))),
                         strokes.last() * stack.last().m11()});
                }
            } else if (name == QLatin1String("path")) {
                static const QRegularExpression number(
                    QStringLiteral("-?[0-9]*\\.?[0-9]+(?:[eE][-+]?[0-9]+)?"));
                QList<double> v;
                auto it = number.globalMatch(a.value(QLatin1String("d")).toString());
                while (it.hasNext()) {
                    v.append(it.next().captured(0).toDouble());
                }
                if (v.size() >= 4) {
                    SvgPath path;
                    for (int i = 0; i + 1 < v.size(); i += 2) {
                        path.points.append(stack.last().map(QPointF(v.at(i), v.at(i + 1))));
                    }
                    path.start = path.points.first();
                    path.end = path.points.last();
                    page.paths.append(path);
                }
            } else if (name == QLatin1String("circle") || name == QLatin1String("ellipse")) {
                const QPointF c(a.value(QLatin1String("cx")).toDouble(),
                                a.value(QLatin1String("cy")).toDouble());
                const double r = a.hasAttribute(QLatin1String("r"))
                                     ? a.value(QLatin1String("r")).toDouble()
                                     : a.value(QLatin1String("rx")).toDouble();
                page.dots.append({stack.last().map(c), r * stack.last().m11()});
            } else if (name == QLatin1String("rect")) {
                SvgRect r;
                r.rect = stack.last().mapRect(QRectF(a.value(QLatin1String("x")).toDouble(),
                                                     a.value(QLatin1String("y")).toDouble(),
                                                     a.value(QLatin1String("width")).toDouble(),
                                                     a.value(QLatin1String("height")).toDouble()));
                r.fill = fills.last();
                page.rects.append(r);
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("g")) {
            stack.removeLast();
            fills.removeLast();
            strokes.removeLast();
        }
    }
    page.ok = !xml.hasError();
    return page;
}
