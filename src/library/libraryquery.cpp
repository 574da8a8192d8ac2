#include "library/libraryquery.h"

#include <QStringList>

namespace {

struct Prefix {
    const char *name;
    LibraryQuery::Field field;
};
constexpr Prefix prefixes[] = {
    {"标题", LibraryQuery::Field::Title},    {"曲牌", LibraryQuery::Field::QuPai},
    {"宫调", LibraryQuery::Field::GongDiao}, {"笛色", LibraryQuery::Field::DiSe},
    {"板式", LibraryQuery::Field::BanShi},   {"词", LibraryQuery::Field::Lyric},
    {"腔", LibraryQuery::Field::Melody},     {"音程", LibraryQuery::Field::Interval},
};

bool isColon(QChar c) {
    return c == QLatin1Char(':') || c == QChar(0xFF1A);
}

// The words of the text: runs between spaces, or between double quotes
// (straight or curly).
QStringList words(const QString &text) {
    QStringList out;
    QString word;
    bool quoted = false;
    for (const QChar c : text) {
        const bool quote = c == QLatin1Char('"') || c == QChar(0x201C) || c == QChar(0x201D);
        if (quote) {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c.isSpace() || c == QChar(0x3000))) {
            if (!word.isEmpty()) {
                out.append(word);
                word.clear();
            }
            continue;
        }
        word.append(c);
    }
    if (!word.isEmpty()) {
        out.append(word);
    }
    return out;
}

} // namespace

LibraryQuery LibraryQuery::parse(const QString &text) {
    LibraryQuery query;
    Field pending = Field::Any; // a field written alone: "曲牌: 皂罗袍"
    for (const QString &word : words(text)) {
        Term term{pending, word};
        pending = Field::Any;
        for (const Prefix &p : prefixes) {
            const QString name = QString::fromUtf8(p.name);
            if (word.size() > name.size() && word.startsWith(name) &&
                isColon(word.at(name.size()))) {
                term = {p.field, word.mid(name.size() + 1)};
                break;
            }
        }
        if (term.text.isEmpty()) {
            pending = term.field;
            continue;
        }
        query.m_terms.append(term);
    }
    return query;
}

QString LibraryQuery::fieldName(Field field) {
    for (const Prefix &p : prefixes) {
        if (p.field == field) {
            return QString::fromUtf8(p.name);
        }
    }
    return QString();
}

QString LibraryQuery::fieldLabel(Field field) {
    switch (field) {
    case Field::Title:
        return QStringLiteral("标题");
    case Field::Lyric:
        return QStringLiteral("词");
    default:
        return fieldName(field);
    }
}
