// Renders a specimen sheet of a gongche font: every beat mark, ornament and
// pitch sign, one cell each, with its code point, its name from the
// abbreviation dictionary, the em box, the baseline and the ink box.
//
//   fontspecimen [--font FILE.ttf] [--size PIXELS] [--dict FILE.csv] OUT.png
//
// Without --font the embedded font is shown. The exit status is 1 when the
// font lacks a glyph for a symbol of the dictionary (listed on stderr).
#include "fonts/fontregistry.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QPainter>
#include <QRawFont>
#include <QSet>
#include <QStringList>
#include <QTextStream>
#include <QtMath>
#include <cstdio>

namespace {

struct Section {
    QString title;
    QVector<QVector<uint>> rows;
};

QVector<uint> range(uint first, int count) {
    QVector<uint> codes;
    for (int i = 0; i < count; ++i) {
        codes.append(first + uint(i));
    }
    return codes;
}

QVector<Section> sections() {
    QVector<Section> out;
    out.append({QStringLiteral("板眼 · 腔格"), {range(0xF0000, 8), range(0xF0008, 6)}});
    const struct {
        uint first;
        const char *title;
    } series[] = {{0xF0020, "工尺"},
                  {0xF003F, "工尺 · 气口"},
                  {0xF005E, "工尺 · 小"},
                  {0xF007D, "工尺 · 气口小"}};
    for (const auto &s : series) {
        // low octave 7, middle 10, high 7, double high 7
        out.append({QString::fromUtf8(s.title),
                    {range(s.first, 7), range(s.first + 7, 10), range(s.first + 17, 7),
                     range(s.first + 24, 7)}});
    }
    return out;
}

// code point -> first name the dictionary gives it
QMap<uint, QString> dictionaryNames(const QString &path, QSet<uint> *codes) {
    QMap<uint, QString> names;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return names;
    }
    QTextStream in(&file);
    in.setCodec("UTF-8");
    in.readLine();
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(QLatin1Char(' '));
        if (fields.size() < 3) {
            continue;
        }
        bool ok = false;
        const uint code = QString(fields[0]).remove(QLatin1Char('U')).toUInt(&ok, 16);
        if (!ok) {
            continue;
        }
        codes->insert(code);
        if (!names.contains(code) && fields.size() > 3) {
            names.insert(code, fields[3]);
        }
    }
    return names;
}

} // namespace

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    QString fontPath;
    QString dictPath = QStringLiteral(":/resources/wordsdict.csv");
    QString outPath;
    int size = 64;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--font") && i + 1 < args.size()) {
            fontPath = args[++i];
        } else if (args[i] == QLatin1String("--size") && i + 1 < args.size()) {
            size = qBound(16, args[++i].toInt(), 256);
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
        std::fprintf(stderr,
                     "usage: fontspecimen [--font FILE.ttf] [--size PIXELS] [--dict FILE.csv] "
                     "OUT.png\n");
        return 2;
    }

    QString family;
    if (fontPath.isEmpty()) {
        fontPath = FontRegistry::defaultFontPath();
        family = FontRegistry::instance()->defaultFamily();
    } else {
        const int id = QFontDatabase::addApplicationFont(fontPath);
        if (id >= 0 && !QFontDatabase::applicationFontFamilies(id).isEmpty()) {
            family = QFontDatabase::applicationFontFamilies(id).first();
        }
    }
    const QRawFont raw(fontPath, size);
    if (family.isEmpty() || !raw.isValid()) {
        std::fprintf(stderr, "fontspecimen: cannot load the font %s\n", qPrintable(fontPath));
        return 1;
    }

    QSet<uint> dictCodes;
    const QMap<uint, QString> names = dictionaryNames(dictPath, &dictCodes);

    QFont glyphFont(family);
    glyphFont.setPixelSize(size);
    QFont labelFont(QStringLiteral("AR PL UKai CN"));
    labelFont.setPixelSize(qMax(10, size / 6));
    QFont titleFont(labelFont);
    titleFont.setPixelSize(qMax(14, size / 3));
    titleFont.setBold(true);

    const QFontMetricsF labelMetrics(labelFont);
    const QFontMetricsF titleMetrics(titleFont);
    const qreal ascent = raw.ascent();
    const qreal descent = raw.descent();
    const qreal em = size;
    const qreal cellW =
        qMax(em * 1.5, labelMetrics.horizontalAdvance(QStringLiteral("工高十六度气口小")) + 8);
    const qreal cellH = ascent + descent + 2 * labelMetrics.height() + 16;
    const qreal margin = 20;

    const QVector<Section> all = sections();
    int maxColumns = 0;
    qreal height = margin;
    for (const Section &s : all) {
        height += titleMetrics.height() + 6;
        for (const auto &row : s.rows) {
            maxColumns = qMax(maxColumns, row.size());
            height += cellH;
        }
        height += 10;
    }
    const qreal headerH = titleMetrics.height() + 10;
    height += margin + headerH;
    const qreal width = 2 * margin + maxColumns * cellW;

    QImage image(qCeil(width), qCeil(height), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(titleFont);
    p.setPen(Qt::black);
    p.drawText(QPointF(margin, margin + titleMetrics.ascent()),
               QStringLiteral("%1  %2 px").arg(family).arg(size));

    QStringList missing;
    qreal y = margin + headerH;
    for (const Section &s : all) {
        p.setFont(titleFont);
        p.setPen(Qt::darkGray);
        p.drawText(QPointF(margin, y + titleMetrics.ascent()), s.title);
        y += titleMetrics.height() + 6;
        for (const auto &row : s.rows) {
            qreal x = margin;
            for (uint code : row) {
                const QString text = QString::fromUcs4(&code, 1);
                const QRectF cell(x + 2, y, cellW - 4, cellH - 4);
                const qreal left = cell.center().x() - em / 2;
                const qreal baseline = cell.top() + 4 + ascent;
                // em box, baseline and the ink box
                p.setPen(QPen(QColor(0xc8, 0xc8, 0xc8), 1));
                p.setBrush(Qt::NoBrush);
                p.drawRect(QRectF(left, baseline - ascent, em, ascent + descent));
                p.setPen(QPen(QColor(0x9c, 0xc3, 0xe6), 1));
                p.drawLine(QPointF(left, baseline), QPointF(left + em, baseline));
                const bool present = raw.supportsCharacter(code);
                if (present) {
                    const QVector<quint32> glyphs = raw.glyphIndexesForString(text);
                    const QRectF ink = raw.boundingRect(glyphs.value(0));
                    p.setPen(QPen(QColor(0xf0, 0x9a, 0x9a), 1, Qt::DashLine));
                    p.drawRect(ink.translated(left, baseline));
                    p.setFont(glyphFont);
                    p.setPen(Qt::black);
                    p.drawText(QPointF(left, baseline), text);
                } else if (dictCodes.contains(code)) {
                    missing.append(
                        QStringLiteral("U+%1").arg(code, 5, 16, QLatin1Char('0')).toUpper());
                }
                p.setFont(labelFont);
                p.setPen(present ? Qt::black : Qt::red);
                const QRectF label(cell.left(), baseline + descent + 4, cell.width(),
                                   labelMetrics.height());
                p.drawText(label, Qt::AlignHCenter | Qt::AlignTop,
                           QString::number(code, 16).toUpper());
                p.drawText(label.translated(0, labelMetrics.height()),
                           Qt::AlignHCenter | Qt::AlignTop, names.value(code));
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
