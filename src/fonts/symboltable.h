#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

// The notation symbols of the gongche font as a reference table: every beat
// mark, ornament and pitch sign with its name and the abbreviations that type
// it, grouped and ordered as a reader looks them up (beat marks and ornaments
// first, then each series of pitch signs by octave).
struct SymbolEntry {
    uint code = 0;
    QString name;              // the first name the dictionary gives it
    QStringList abbreviations; // the non-empty keys of its rows, in file order, once each
    QString text() const { return QString::fromUcs4(&code, 1); }
};

struct SymbolGroup {
    QString title;
    QVector<QVector<SymbolEntry>> rows;
};

class SymbolTable {
public:
    // Reads an abbreviation dictionary file. A missing file gives a table
    // without names.
    explicit SymbolTable(const QString &dictionaryPath);

    // The symbols of a dictionary text, in the order of their first row.
    static QVector<SymbolEntry> entriesOf(const QString &dictionaryText);

    const QVector<SymbolGroup> &groups() const { return m_groups; }
    // Every code point the dictionary mentions.
    const QSet<uint> &dictionaryCodes() const { return m_dictionaryCodes; }

private:
    QVector<SymbolGroup> m_groups;
    QSet<uint> m_dictionaryCodes;
};
