#include "fonts/symboltable.h"

#include <QFile>
#include <QMap>
#include <QTextStream>

namespace {

QVector<uint> codeRange(uint first, int count) {
    QVector<uint> codes;
    for (int i = 0; i < count; ++i) {
        codes.append(first + uint(i));
    }
    return codes;
}

} // namespace

SymbolTable::SymbolTable(const QString &dictionaryPath) {
    QMap<uint, QString> names;
    QMap<uint, QStringList> keys;
    QFile file(dictionaryPath);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&file);
        in.setCodec("UTF-8");
        in.readLine();
        while (!in.atEnd()) {
            const QStringList fields = in.readLine().split(QLatin1Char(' '));
            if (fields.size() < 2) {
                continue;
            }
            bool ok = false;
            const uint code = QString(fields[0]).remove(QLatin1Char('U')).toUInt(&ok, 16);
            if (!ok) {
                continue;
            }
            m_dictionaryCodes.insert(code);
            if (!keys[code].contains(fields[1])) {
                keys[code].append(fields[1]);
            }
            if (!names.contains(code) && fields.size() > 3) {
                names.insert(code, fields[3]);
            }
        }
    }

    const auto rowOf = [&](const QVector<uint> &codes) {
        QVector<SymbolEntry> row;
        for (uint code : codes) {
            SymbolEntry entry;
            entry.code = code;
            entry.name = names.value(code);
            entry.abbreviations = keys.value(code);
            row.append(entry);
        }
        return row;
    };

    m_groups.append({QStringLiteral("板眼 · 腔格"),
                     {rowOf(codeRange(0xF0000, 8)), rowOf(codeRange(0xF0008, 6))}});
    const struct {
        uint first;
        const char *title;
    } series[] = {{0xF0020, "工尺"},
                  {0xF003F, "工尺 · 气口"},
                  {0xF005E, "工尺 · 小"},
                  {0xF007D, "工尺 · 气口小"}};
    for (const auto &s : series) {
        // low octave 7, middle 10, high 7, double high 7
        m_groups.append({QString::fromUtf8(s.title),
                         {rowOf(codeRange(s.first, 7)), rowOf(codeRange(s.first + 7, 10)),
                          rowOf(codeRange(s.first + 17, 7)), rowOf(codeRange(s.first + 24, 7))}});
    }
}
