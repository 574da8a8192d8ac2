#include "typeset/svgpagetext.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <utility>

namespace {

qreal numberAttribute(const QXmlStreamAttributes &a, const char *name, qreal fallback) {
    bool ok = false;
    const qreal v = a.value(QLatin1String(name)).toDouble(&ok);
    return ok ? v : fallback;
}

} // namespace

QTransform SvgPageText::transformOf(const QStringRef &text) {
    static const QRegularExpression item(QStringLiteral(R"((\w+)\s*\(([^)]*)\))"));
    QTransform total;
    auto it = item.globalMatch(text.toString());
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString name = m.captured(1);
        const QVector<qreal> v = numbersOf(m.captured(2));
        QTransform t;
        if (name == QLatin1String("translate") && !v.isEmpty()) {
            t.translate(v.at(0), v.value(1, 0));
        } else if (name == QLatin1String("scale") && !v.isEmpty()) {
            t.scale(v.at(0), v.value(1, v.at(0)));
        } else if (name == QLatin1String("rotate") && !v.isEmpty()) {
            t.translate(v.value(1, 0), v.value(2, 0));
            t.rotate(v.at(0));
            t.translate(-v.value(1, 0), -v.value(2, 0));
        } else if (name == QLatin1String("matrix") && v.size() == 6) {
            t = QTransform(v.at(0), v.at(1), v.at(2), v.at(3), v.at(4), v.at(5));
        }
        total = t * total;
    }
    return total;
}

SvgPageText::SvgPageText(const QByteArray &svg) {
    QXmlStreamReader reader(svg);
    QXmlStreamWriter writer(&m_drawing);
    QVector<QTransform> stack;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QXmlStreamAttributes a = reader.attributes();
            if (stack.isEmpty()) {
                const QVector<qreal> box = numbersOf(a.value(QLatin1String("viewBox")).toString());
                if (box.size() == 4) {
                    m_viewBox = QRectF(box.at(0), box.at(1), box.at(2), box.at(3));
                }
            }
            const QTransform here = transformOf(a.value(QLatin1String("transform"))) *
                                    (stack.isEmpty() ? QTransform() : stack.constLast());
            if (reader.name() == QLatin1String("text")) {
                Item item;
                item.transform = here;
                item.position = QPointF(numberAttribute(a, "x", 0), numberAttribute(a, "y", 0));
                item.family = a.value(QLatin1String("font-family")).toString();
                item.size = numberAttribute(a, "font-size", 1);
                item.bold = a.value(QLatin1String("font-weight")) == QLatin1String("bold");
                item.italic = a.value(QLatin1String("font-style")) == QLatin1String("italic");
                const QStringRef anchor = a.value(QLatin1String("text-anchor"));
                item.anchor = anchor == QLatin1String("middle") ? Qt::AlignHCenter
                              : anchor == QLatin1String("end")  ? Qt::AlignRight
                                                                : Qt::AlignLeft;
                const QString fill = a.value(QLatin1String("fill")).toString();
                item.color = QColor(fill);
                if (!item.color.isValid()) {
                    item.color = Qt::black; // currentColor, or none given
                }
                item.text = reader.readElementText(QXmlStreamReader::IncludeChildElements);
                item.text = item.text.trimmed();
                if (!item.text.isEmpty() && fill != QLatin1String("none")) {
                    m_items.append(item);
                }
                continue; // left out of the drawing, its end read
            }
            stack.append(here);
        } else if (token == QXmlStreamReader::EndElement && !stack.isEmpty()) {
            stack.removeLast();
        }
        if (token != QXmlStreamReader::Invalid) {
            writer.writeCurrentToken(reader);
        }
    }
    sortItems();
}

bool SvgPageText::Item::isSign() const {
    return std::none_of(text.cbegin(), text.cend(),
                        [](QChar c) { return c.isLetterOrNumber() || c.isSurrogate(); });
}

void SvgPageText::sortItems() {
    // In reading order, line by line (by baseline), each left to right: a
    // PDF reader that extracts the text finds the lyrics in order.
    const auto baseline = [](const Item &item) { return item.transform.map(item.position); };
    std::stable_sort(m_items.begin(), m_items.end(), [&](const Item &a, const Item &b) {
        const QPointF pa = baseline(a);
        const QPointF pb = baseline(b);
        return std::make_pair(qRound64(pa.y() * 100), pa.x()) <
               std::make_pair(qRound64(pb.y() * 100), pb.x());
    });
}

void SvgPageText::render(QPainter &painter, const QRectF &target) const {
    {
        QSvgRenderer renderer(m_drawing);
        if (renderer.isValid()) {
            renderer.render(&painter, target);
        }
    }
    if (m_viewBox.isEmpty()) {
        return;
    }
    // Fonts at 100 pixels, scaled to the text's size: a pixel size is whole.
    constexpr qreal pixels = 100;
    for (const Item &item : m_items) {
        QFont font(item.family);
        font.setPixelSize(int(pixels));
        font.setBold(item.bold);
        font.setItalic(item.italic);
        const qreal width = QFontMetricsF(font).horizontalAdvance(item.text);
        QPointF at = item.position * (pixels / item.size);
        if (item.anchor == Qt::AlignHCenter) {
            at.rx() -= width / 2;
        } else if (item.anchor == Qt::AlignRight) {
            at.rx() -= width;
        }
        painter.save();
        painter.translate(target.topLeft());
        painter.scale(target.width() / m_viewBox.width(), target.height() / m_viewBox.height());
        painter.translate(-m_viewBox.topLeft());
        painter.setTransform(item.transform, true);
        painter.scale(item.size / pixels, item.size / pixels);
        if (item.isSign()) {
            // Signs (、○●×) are drawing, not words: as outlines they stay out
            // of the text a reader extracts, where they would break lines.
            QPainterPath path;
            path.addText(at, font, item.text);
            painter.fillPath(path, item.color);
        } else {
            painter.setFont(font);
            painter.setPen(item.color);
            painter.drawText(at, item.text);
        }
        painter.restore();
    }
}

QVector<qreal> SvgPageText::numbersOf(const QString &text) {
    static const QRegularExpression number(
        QStringLiteral(R"([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)"));
    QVector<qreal> numbers;
    auto it = number.globalMatch(text);
    while (it.hasNext()) {
        numbers.append(it.next().captured().toDouble());
    }
    return numbers;
}
