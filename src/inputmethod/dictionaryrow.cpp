#include "inputmethod/dictionaryrow.h"

#include <QStringList>
#include <cmath>

namespace {

// A code point that names one Unicode character (no surrogate halves, no
// values past U+10FFFF).
bool isScalarValue(uint code) {
    return code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

} // namespace

std::optional<DictionaryRow> DictionaryRow::parse(const QString &line) {
    const QStringList fields = line.split(QLatin1Char(' '), Qt::KeepEmptyParts);
    if (fields.size() < 3) {
        return std::nullopt;
    }
    QString codeText = fields.at(0);
    codeText.remove(QLatin1Char('U'), Qt::CaseSensitive);
    bool ok = false;
    DictionaryRow row;
    row.code = codeText.toUInt(&ok, 16);
    if (!ok || !isScalarValue(row.code)) {
        return std::nullopt;
    }
    row.key = fields.at(1);
    row.weight = fields.at(2).toFloat(&ok);
    if (!ok || !std::isfinite(row.weight)) {
        row.weight = 0.0f;
    }
    if (fields.size() > 3) {
        row.comment = fields.at(3);
    }
    return row;
}

QVector<DictionaryRow> DictionaryRow::parseAll(const QString &text) {
    QVector<DictionaryRow> rows;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 1; i < lines.size(); ++i) {
        QString line = lines.at(i);
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        if (const auto row = parse(line)) {
            rows.append(*row);
        }
    }
    return rows;
}
