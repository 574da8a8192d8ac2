#include "staff/staffpages.h"

#include "typeset/svgpagetext.h"

#include <QHash>
#include <QPainterPath>
#include <QRegularExpression>
#include <QTransform>
#include <QXmlStreamReader>
#include <algorithm>
#include <tuple>

namespace {

QVector<qreal> numbersOf(const QStringRef &text) {
    return SvgPageText::numbersOf(text.toString());
}

// The outline an SVG path's data describes; arcs are taken as lines to
// their end points, enough for a box.
QPainterPath pathOf(const QStringRef &data) {
    static const QRegularExpression token(
        QStringLiteral(R"([MmLlHhVvCcSsQqTtAaZz]|[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)"));
    QPainterPath path;
    QChar command;
    QVector<qreal> args;
    QPointF current, start, lastControl;
    const auto arity = [](QChar c) {
        switch (c.toLower().toLatin1()) {
        case 'm':
        case 'l':
        case 't':
            return 2;
        case 'h':
        case 'v':
            return 1;
        case 'c':
            return 6;
        case 's':
        case 'q':
            return 4;
        case 'a':
            return 7;
        default:
            return 0;
        }
    };
    const auto apply = [&] {
        const bool rel = command.isLower();
        const QPointF base = rel ? current : QPointF();
        const auto pt = [&](int i) { return base + QPointF(args.at(i), args.at(i + 1)); };
        switch (command.toLower().toLatin1()) {
        case 'm':
            current = start = pt(0);
            path.moveTo(current);
            command = rel ? QLatin1Char('l') : QLatin1Char('L'); // further pairs are lines
            break;
        case 'l':
            current = pt(0);
            path.lineTo(current);
            break;
        case 'h':
            current.setX((rel ? current.x() : 0) + args.at(0));
            path.lineTo(current);
            break;
        case 'v':
            current.setY((rel ? current.y() : 0) + args.at(0));
            path.lineTo(current);
            break;
        case 'c':
            lastControl = pt(2);
            path.cubicTo(pt(0), lastControl, pt(4));
            current = pt(4);
            break;
        case 's': {
            const QPointF first = 2 * current - lastControl;
            lastControl = pt(0);
            path.cubicTo(first, lastControl, pt(2));
            current = pt(2);
            break;
        }
        case 'q':
            path.quadTo(pt(0), pt(2));
            current = pt(2);
            break;
        case 't':
            current = pt(0);
            path.lineTo(current);
            break;
        case 'a':
            current = pt(5);
            path.lineTo(current);
            break;
        default:
            break;
        }
        if (command.toLower() != QLatin1Char('c') && command.toLower() != QLatin1Char('s')) {
            lastControl = current;
        }
        args.clear();
    };
    auto it = token.globalMatch(data.toString());
    while (it.hasNext()) {
        const QString t = it.next().captured();
        if (t.at(0).isLetter()) {
            command = t.at(0);
            args.clear();
            if (command.toLower() == QLatin1Char('z')) {
                path.closeSubpath();
                current = lastControl = start;
            }
            continue;
        }
        args.append(t.toDouble());
        if (!command.isNull() && arity(command) > 0 && args.size() == arity(command)) {
            apply();
        }
    }
    return path;
}

qreal attr(const QXmlStreamAttributes &a, const char *name, qreal fallback = 0) {
    const QStringRef v = a.value(QLatin1String(name));
    bool ok = false;
    const qreal n = v.toDouble(&ok);
    return ok ? n : fallback;
}

// The box of one drawing element in its own coordinates; null for those
// that draw nothing. Text is measured as LilyPond's lyrics are set: a CJK
// character an em wide, others about half.
QRectF boxOf(QXmlStreamReader &xml) {
    const QStringRef name = xml.name();
    const QXmlStreamAttributes a = xml.attributes();
    if (name == QLatin1String("path")) {
        return pathOf(a.value(QLatin1String("d"))).boundingRect();
    }
    if (name == QLatin1String("rect")) {
        return QRectF(attr(a, "x"), attr(a, "y"), attr(a, "width"), attr(a, "height"));
    }
    if (name == QLatin1String("line")) {
        const qreal w = attr(a, "stroke-width") / 2;
        return QRectF(QPointF(attr(a, "x1"), attr(a, "y1")), QPointF(attr(a, "x2"), attr(a, "y2")))
            .normalized()
            .adjusted(-w, -w, w, w);
    }
    if (name == QLatin1String("polygon") || name == QLatin1String("polyline")) {
        const QVector<qreal> v = numbersOf(a.value(QLatin1String("points")));
        QPolygonF polygon;
        for (int i = 0; i + 1 < v.size(); i += 2) {
            polygon.append(QPointF(v.at(i), v.at(i + 1)));
        }
        return polygon.boundingRect();
    }
    if (name == QLatin1String("circle") || name == QLatin1String("ellipse")) {
        const qreal rx = attr(a, "rx", attr(a, "r"));
        const qreal ry = attr(a, "ry", attr(a, "r"));
        return QRectF(attr(a, "cx") - rx, attr(a, "cy") - ry, 2 * rx, 2 * ry);
    }
    if (name == QLatin1String("text")) {
        const qreal size = attr(a, "font-size", 1);
        const QStringRef anchor = a.value(QLatin1String("text-anchor"));
        const QPointF at(attr(a, "x"), attr(a, "y"));
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        qreal width = 0;
        for (const QChar c : text) {
            width += c.unicode() >= 0x2E80 ? size : (c.isLowSurrogate() ? 0 : size * 0.55);
        }
        qreal left = at.x();
        if (anchor == QLatin1String("middle")) {
            left -= width / 2;
        } else if (anchor == QLatin1String("end")) {
            left -= width;
        }
        return QRectF(left, at.y() - 0.88 * size, width, size);
    }
    return {};
}

} // namespace

QVector<StaffPages::PageLink> StaffPages::linksOf(const QByteArray &svg, const QSizeF &pageSize) {
    static const QRegularExpression textedit(QStringLiteral(R"(^textedit://.*:(\d+):(\d+):\d+$)"));
    QVector<PageLink> links;
    QXmlStreamReader xml(svg);
    QTransform toPage;
    QVector<QTransform> stack; // the transform in force inside each open element
    int linkDepth = -1;        // the depth of the open link, -1 outside links
    PageLink open;
    QRectF openBox;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (int(stack.size()) - 1 == linkDepth) {
                if (!openBox.isNull()) {
                    open.rect = toPage.mapRect(openBox);
                    links.append(open);
                }
                linkDepth = -1;
            }
            if (!stack.isEmpty()) {
                stack.removeLast();
            }
            continue;
        }
        if (token != QXmlStreamReader::StartElement) {
            continue;
        }
        const QXmlStreamAttributes a = xml.attributes();
        if (stack.isEmpty() && xml.name() == QLatin1String("svg")) {
            const QVector<qreal> box = numbersOf(a.value(QLatin1String("viewBox")));
            if (box.size() == 4 && box.at(2) > 0 && box.at(3) > 0) {
                toPage.scale(pageSize.width() / box.at(2), pageSize.height() / box.at(3));
                toPage.translate(-box.at(0), -box.at(1));
            }
        }
        const QTransform parent = stack.isEmpty() ? QTransform() : stack.constLast();
        const QTransform here =
            SvgPageText::transformOf(a.value(QLatin1String("transform"))) * parent;
        if (xml.name() == QLatin1String("a")) {
            const QString href = a.value(QLatin1String("xlink:href")).toString();
            const QRegularExpressionMatch m = textedit.match(href);
            if (m.hasMatch() && linkDepth < 0) {
                linkDepth = stack.size();
                open = PageLink();
                open.line = m.captured(1).toInt();
                open.column = m.captured(2).toInt();
                openBox = QRectF();
            }
        } else if (linkDepth >= 0) {
            const QRectF box = boxOf(xml); // a text element is read to its end here
            if (!box.isNull()) {
                const QRectF onPage = here.mapRect(box);
                openBox = openBox.isNull() ? onPage : openBox.united(onPage);
            }
            if (xml.isEndElement()) {
                continue; // its end is read: nothing was pushed
            }
        }
        stack.append(here);
    }
    return links;
}

QVector<Typesetter::DrawnPage> StaffPages::pages(const QVector<LilyPondSource> &sources,
                                                 const QVector<StaffEngraver::Tune> &tunes,
                                                 const QSizeF &pageSize) {
    QVector<Typesetter::DrawnPage> pages;
    for (int s = 0; s < sources.size() && s < tunes.size(); ++s) {
        const LilyPondSource &source = sources.at(s);
        QHash<QPair<int, int>, LilyPondLink> table;
        for (const LilyPondLink &link : source.links) {
            table.insert({link.line, link.column}, link);
        }
        const QVector<QByteArray> &svgs = tunes.at(s).pages;
        for (int p = 0; p < svgs.size(); ++p) {
            Typesetter::DrawnPage page;
            page.svg = svgs.at(p);
            for (const PageLink &found : linksOf(page.svg, pageSize)) {
                const auto it = table.constFind({found.line, found.column});
                if (it == table.constEnd() || it->character < 0) {
                    continue;
                }
                SourceArea area;
                area.kind = it->symbol >= 0 ? SourceArea::Symbol : SourceArea::Character;
                area.rect = found.rect;
                area.character = it->character;
                area.symbol = it->symbol;
                page.areas.append(area);
            }
            // As the typesetter keeps them: by character, its own area first.
            std::stable_sort(page.areas.begin(), page.areas.end(),
                             [](const SourceArea &a, const SourceArea &b) {
                                 return std::make_tuple(a.character, a.symbol) <
                                        std::make_tuple(b.character, b.symbol);
                             });
            if (p == 0) {
                const auto heading = [&page](Typesetter::Heading::Kind kind, const QString &text) {
                    Typesetter::Heading h;
                    h.kind = kind;
                    h.text = text;
                    page.headings.append(h);
                };
                if (!source.title.isEmpty()) {
                    heading(Typesetter::Heading::Kind::Title, source.title);
                }
                for (const QString &text : source.headings) {
                    heading(Typesetter::Heading::Kind::QuPai, text);
                }
            }
            pages.append(page);
        }
    }
    return pages;
}
