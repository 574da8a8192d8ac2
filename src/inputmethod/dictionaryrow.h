#pragma once

#include <QString>
#include <QVector>
#include <optional>

// One row of the abbreviation dictionary "wordsdict.csv":
//
//     U<hex code> <key> <weight> <comment>
//
// with the fields separated by single spaces. The input method, the help
// page's symbol table and the font specimen all read rows through this, so
// they never disagree about what a row is.
struct DictionaryRow {
    uint code = 0;
    QString key;      // the abbreviation; may be empty
    float weight = 0; // finite; 0 where the field does not parse
    QString comment;  // the symbol's name, when the row gives one

    QString symbol() const { return QString::fromUcs4(&code, 1); }

    // The row on one line, or nothing for a line to skip: fewer than three
    // fields, or a code that is not a Unicode scalar value. "U" is dropped
    // from the code wherever it stands. A weight that does not parse, an
    // infinity or NaN, counts as 0 (they would break the ranking).
    static std::optional<DictionaryRow> parse(const QString &line);

    // The rows of a whole dictionary text, after its header line, in file
    // order; lines end in CR LF or LF.
    static QVector<DictionaryRow> parseAll(const QString &text);
};
