#pragma once

#include <QString>
#include <QVector>

// A search of the score library as typed into one field. Terms are separated
// by spaces; a term may start with a field and a colon (either ":" or "："):
//
//   标题:牡丹亭   the title
//   曲牌:皂罗袍   a tune name
//   宫调:仙吕     the mode of a tune heading, 【皂罗袍】(仙吕)
//   笛色:小工调   the key of a tune
//   板式:一板三眼 the meter of a tune
//   词:良辰美景   a run of the words, punctuation left out
//   腔:工尺上     a melody phrase, in any octave, form or with marks between
//   音程:工尺上   the same turn in any key (五六凡 is found too)
//
// A term without a field looks in titles, tune names and words. Text in
// double quotes is one term, spaces and all. A file is found when every term
// finds something in it; what each term found is listed.
class LibraryQuery {
public:
    enum class Field { Any, Title, QuPai, GongDiao, DiSe, BanShi, Lyric, Melody, Interval };
    struct Term {
        Field field = Field::Any;
        QString text;
        bool operator==(const Term &o) const { return field == o.field && text == o.text; }
    };

    static LibraryQuery parse(const QString &text);

    const QVector<Term> &terms() const { return m_terms; }
    bool isEmpty() const { return m_terms.isEmpty(); }

    // The prefix of a field ("曲牌"); empty for Any.
    static QString fieldName(Field field);
    // The field as a hit names it: its first prefix, 标题 and 词 for the title
    // and the words.
    static QString fieldLabel(Field field);

private:
    QVector<Term> m_terms;
};
