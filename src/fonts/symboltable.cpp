#include "fonts/symboltable.h"

#include "inputmethod/dictionaryrow.h"

#include <QFile>
#include <QHash>

namespace {

QVector<uint> codeRange(uint first, int count) {
    QVector<uint> codes;
    for (int i = 0; i < count; ++i) {
        codes.append(first + uint(i));
    }
    return codes;
}

} // namespace

QVector<SymbolEntry> SymbolTable::entriesOf(const QString &dictionaryText) {
    QVector<SymbolEntry> entries;
    QHash<uint, int> indexOf;
    for (const DictionaryRow &row : DictionaryRow::parseAll(dictionaryText)) {
        auto it = indexOf.find(row.code);
        if (it == indexOf.end()) {
            SymbolEntry entry;
            entry.code = row.code;
            it = indexOf.insert(row.code, entries.size());
            entries.append(entry);
        }
        SymbolEntry &entry = entries[*it];
        if (entry.name.isEmpty()) {
            entry.name = row.comment;
        }
        if (!row.key.isEmpty() && !entry.abbreviations.contains(row.key)) {
            entry.abbreviations.append(row.key);
        }
    }
    return entries;
}

SymbolTable::SymbolTable(const QString &dictionaryPath) {
    QHash<uint, SymbolEntry> known;
    QFile file(dictionaryPath);
    if (file.open(QIODevice::ReadOnly)) {
        for (const SymbolEntry &entry : entriesOf(QString::fromUtf8(file.readAll()))) {
            known.insert(entry.code, entry);
            m_dictionaryCodes.insert(entry.code);
        }
    }

    const auto rowOf = [&](const QVector<uint> &codes) {
        QVector<SymbolEntry> row;
        for (uint code : codes) {
            SymbolEntry entry = known.value(code);
            entry.code = code;
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
