#pragma once

#include <QChar>
#include <QMetaType>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The kinds of lyric lines and the pure text functions that classify them and
// pair sung characters with score lines.
//
// A sung character is a character in U+4E00..U+9FA5 or an ASCII space that
// stands in a line which is not a directive line. Score line i belongs to the
// i-th sung character of the whole lyric text.
enum class LineKind {
    Title = 0,
    Comment = 1,
    JiaBai = 2,
    LianBai = 3,
    QuPai = 4,
    LineBreak = 6,
    PageBreak = 7,
    Lyric = 8,
    Punctuation = 9,
    Other = 10,
};

Q_DECLARE_METATYPE(LineKind)

// The pattern string of a kind, as the highlighter and the classifier use it.
QString linePattern(LineKind kind);

// The compiled pattern of a kind; compiled once, never changed.
const QRegularExpression &lineRegex(LineKind kind);

// Classifies one line: the first of Title, Comment, JiaBai, LianBai, QuPai,
// LineBreak, PageBreak, Lyric whose pattern matches, else Other.
LineKind lineKindOf(const QString &line);

// The gutter label of a kind ("标题", "唱", ...); empty for Other and Punctuation.
QString lineKindLabel(LineKind kind);

// True when the line starts with one of # ; > = 【 @: such a line owns no score lines.
bool isDirectiveLine(const QString &line);

// True for a character in U+4E00..U+9FA5 or an ASCII space.
inline bool isSungChar(QChar c) {
    const ushort u = c.unicode();
    return u == 0x20 || (u >= 0x4E00 && u <= 0x9FA5);
}

// The string with every character removed that is not a sung character.
QString sungText(const QString &s);
// s without control and format characters; tabs and line breaks among them
// become spaces.
QString withoutControls(const QString &s);
// The title a title line ("# 牡丹亭·游园") gives: its text after the "#",
// spaces and punctuation such as "·" as they are, without control characters.
QString titleText(const QString &line);

// The number of sung characters of the string (UTF-16 code units).
int sungCharCount(const QString &s);
int sungCharCount(const QChar *begin, const QChar *end);

// The characters of s one by one: a surrogate pair (a character outside the
// Basic Multilingual Plane) stays whole; a lone surrogate is one character.
QStringList splitCharacters(const QString &s);

// True if any character of s is one of the 46 punctuation characters.
bool isPunctuation(const QString &s);
bool isPunctuationChar(QChar c);

// The vertical form of a punctuation character; every other character unchanged.
QChar toVerticalForm(QChar c);
