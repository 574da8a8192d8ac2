// Renders a specimen sheet of a gongche font: every beat mark, ornament and
// pitch sign, one cell each, drawn at 14 pt and at 48 pt (at 96 dpi) on a
// common baseline, with its code point, its name and its abbreviations from the
// dictionary. Each glyph shows its em box, the baseline and its ink box.
//
//   fontspecimen [--font FILE.ttf] [--dict FILE.csv] OUT.png
//
// Without --font the embedded font is read straight from the resources (the
// font registry is not involved, so nothing is created on disk). The exit
// status is 1 when the font lacks a glyph for a symbol of the dictionary
// (listed on stderr).
#include "fonts/symboltable.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QStringList>
#include <QtMath>
#include <cstdio>

namespace {

constexpr qreal kDpi = 96;
const qreal kPointSizes[] = {14, 48};

// One glyph with its em box, baseline and ink box; `left` is the start of
// its advance.
void drawGlyph(QPainter &p, const QRawFont &font, quint32 glyph, qreal left, qreal baseline) {
    const qreal em = font.pixelSize();
    p.setPen(QPen(QColor(0xc8, 0xc8, 0xc8), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(left, baseline - font.ascent(), em, font.ascent() + font.descent()));
    p.setPen(QPen(QColor(0x9c, 0xc3, 0xe6), 1));
    p.drawLine(QPointF(left - 2, baseline), QPointF(left + em + 2, baseline));
    p.setPen(QPen(QColor(0xf0, 0x9a, 0x9a), 1, Qt::DashLine));
    p.drawRect(font.boundingRect(glyph).translated(left, baseline));
    QGlyphRun run;
    run.setRawFont(font);
    run.setGlyphIndexes({glyph});
    run.setPositions({QPointF(0, 0)});
    p.setPen(Qt::black);
    p.drawGlyphRun(QPointF(left, baseline), run);
}

} // namespace

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    QString fontPath = QStringLiteral(":/resources/fonts/tolvk.ttf");
    QString dictPath = QStringLiteral(":/resources/wordsdict.csv");
    QString outPath;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--font") && i + 1 < args.size()) {
            fontPath = args[++i];
        } else if (args[i] == QLatin1String("--dict") && i + 1 < args.size()) {
            dictPath = args[++i];
        } else if (outPath.isEmpty() && !args[i].startsWith(QLatin1String("--"))) {
            outPath = args[i];
        } else {
            outPath.clear();
            break;
        }
    }
    if (outPath.isEmpty()) {
        std::fprintf(stderr, "usage: fontspecimen [--font FILE.ttf] [--dict FILE.csv] OUT.png\n");
        return 2;
    }

    QFile fontFile(fontPath);
    const QByteArray fontData =
        fontFile.open(QIODevice::ReadOnly) ? fontFile.readAll() : QByteArray();
    QString family;
    const int id = QFontDatabase::addApplicationFontFromData(fontData);
    if (id >= 0 && !QFontDatabase::applicationFontFamilies(id).isEmpty()) {
        family = QFontDatabase::applicationFontFamilies(id).first();
    }
    QVector<QRawFont> fonts;
    for (qreal points : kPointSizes) {
        fonts.append(QRawFont(fontData, points * kDpi / 72));
    }
    if (family.isEmpty() || !fonts.first().isValid()) {
        std::fprintf(stderr, "fontspecimen: cannot load the font %s\n", qPrintable(fontPath));
        return 1;
    }

    const SymbolTable table(dictPath);

    QFont labelFont(QStringLiteral("AR PL UKai CN"));
    labelFont.setPixelSize(12);
    QFont titleFont(labelFont);
    titleFont.setPixelSize(18);
    titleFont.setBold(true);
    const QFontMetricsF labelMetrics(labelFont);
    const QFontMetricsF titleMetrics(titleFont);

    const QRawFont &large = fonts.last();
    const qreal gap = 12;
    qreal glyphsW = -gap;
    for (const QRawFont &font : fonts) {
        glyphsW += font.pixelSize() + gap;
    }
    const qreal cellW =
        qMax(glyphsW, labelMetrics.horizontalAdvance(QStringLiteral("上高十六度气口小"))) + 16;
    const qreal labelLines = 4; // code, name, abbreviations on up to two lines
    const qreal glyphH = large.ascent() + large.descent() + 8;
    const qreal cellH = glyphH + labelLines * labelMetrics.height() + 12;
    const qreal margin = 20;
    const qreal headerH = titleMetrics.height() + 10;

    int maxColumns = 0;
    qreal height = 2 * margin + headerH;
    for (const SymbolGroup &g : table.groups()) {
        height += titleMetrics.height() + 6 + 10;
        for (const auto &row : g.rows) {
            maxColumns = qMax(maxColumns, row.size());
            height += cellH;
        }
    }
    const qreal width = 2 * margin + maxColumns * cellW;

    QImage image(qCeil(width), qCeil(height), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(titleFont);
    p.setPen(Qt::black);
    QStringList sizes;
    for (qreal points : kPointSizes) {
        sizes.append(QStringLiteral("%1 pt").arg(points));
    }
    p.drawText(QPointF(margin, margin + titleMetrics.ascent()),
               QStringLiteral("%1   %2 (%3 dpi)")
                   .arg(family, sizes.join(QStringLiteral(" / ")))
                   .arg(kDpi));

    QStringList missing;
    qreal y = margin + headerH;
    for (const SymbolGroup &g : table.groups()) {
        p.setFont(titleFont);
        p.setPen(Qt::darkGray);
        p.drawText(QPointF(margin, y + titleMetrics.ascent()), g.title);
        y += titleMetrics.height() + 6;
        for (const auto &row : g.rows) {
            qreal x = margin;
            for (const SymbolEntry &entry : row) {
                const QRectF cell(x + 2, y, cellW - 4, cellH - 4);
                const qreal baseline = cell.top() + 4 + large.ascent();
                const bool present = fonts.first().supportsCharacter(entry.code);
                if (present) {
                    qreal left = cell.center().x() - glyphsW / 2;
                    for (const QRawFont &font : qAsConst(fonts)) {
                        const quint32 glyph = font.glyphIndexesForString(entry.text()).value(0);
                        drawGlyph(p, font, glyph, left, baseline);
                        left += font.pixelSize() + gap;
                    }
                } else if (table.dictionaryCodes().contains(entry.code)) {
                    missing.append(
                        QStringLiteral("U+%1").arg(entry.code, 5, 16, QLatin1Char('0')).toUpper());
                }
                p.setFont(labelFont);
                p.setPen(present ? Qt::black : Qt::red);
                QRectF label(cell.left(), cell.top() + glyphH + 4, cell.width(),
                             labelMetrics.height());
                p.drawText(label, Qt::AlignHCenter | Qt::AlignTop,
                           QString::number(entry.code, 16).toUpper());
                label.translate(0, labelMetrics.height());
                p.drawText(label, Qt::AlignHCenter | Qt::AlignTop, entry.name);
                label.translate(0, labelMetrics.height());
                label.setHeight(2 * labelMetrics.height());
                p.setPen(QColor(0x30, 0x60, 0xa0));
                p.drawText(label, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                           entry.abbreviations.join(QLatin1Char(' ')));
                x += cellW;
            }
            y += cellH;
        }
        y += 10;
    }
    p.end();

    if (!image.save(outPath)) {
        std::fprintf(stderr, "fontspecimen: cannot write %s\n", qPrintable(outPath));
        return 1;
    }
    for (const QString &code : missing) {
        std::fprintf(stderr, "fontspecimen: no glyph for %s\n", qPrintable(code));
    }
    return missing.isEmpty() ? 0 : 1;
}
