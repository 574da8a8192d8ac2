#include "fonts/symboltable.h"

#include "inputmethod/dictionaryrow.h"
#include "model/gongchesymbol.h"

#include <QFile>
#include <QHash>

namespace {

// The code points first .. last.
QVector<uint> codeRange(char32_t first, char32_t last) {
    QVector<uint> codes;
    for (char32_t c = first; c <= last; ++c) {
        codes.append(uint(c));
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
    using S = GongcheSymbol;
    // The beat marks, then the ornaments with 底板 among them, in code order.
    m_groups.append(
        {QStringLiteral("板眼 · 腔格"),
         {rowOf(codeRange(S::TouBan, S::YaoZengBan)), rowOf(codeRange(S::DieQiang, S::SouQiang))}});
    const struct {
        S::Series series;
        const char *title;
    } series[] = {{S::Series::Plain, "工尺"},
                  {S::Series::QiKou, "工尺 · 气口"},
                  {S::Series::Small, "工尺 · 小"},
                  {S::Series::SmallQiKou, "工尺 · 气口小"}};
    for (const auto &s : series) {
        // One row per octave section, low to double high.
        QVector<QVector<SymbolEntry>> rows;
        for (const S::Octave octave :
             {S::Octave::Low, S::Octave::Middle, S::Octave::High, S::Octave::DoubleHigh}) {
            const char32_t first = S::sectionStart(s.series, octave);
            rows.append(rowOf(codeRange(first, first + char32_t(S::sectionLength(octave)) - 1)));
        }
        m_groups.append({QString::fromUtf8(s.title), rows});
    }
}
