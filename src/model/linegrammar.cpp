#include "model/linegrammar.h"

#include <array>

namespace {

// The 46 punctuation characters, in the order of the character class.
constexpr char16_t punctuationChars[] = {
    0x3002, 0xFF0C, 0x002C, 0x3001, 0xFF1B, 0x003B, 0xFF1A, 0x003A, 0xFF1F, 0x003F, 0xFF01, 0x0021,
    0x2018, 0x2019, 0x201C, 0x201D, 0xFF08, 0xFF09, 0x0028, 0x0029, 0x300A, 0x300B, 0x3010, 0x3011,
    0xFF3B, 0xFF3D, 0x005B, 0x005D, 0x2014, 0xFE39, 0xFE3A, 0xFE3D, 0xFE3E, 0xFE41, 0xFE42, 0xFE43,
    0xFE44, 0xFE3B, 0xFE3C, 0xFE17, 0xFE18, 0xFE35, 0xFE36, 0x007C, 0xFF5C, 0x007E,
};

struct PatternEntry {
    LineKind kind;
    const char16_t *pattern;
    const char16_t *label;
};

constexpr PatternEntry patternTable[] = {
    {LineKind::Title, u"^#.*", u"标题"},
    {LineKind::Comment, u"^;.*", u"注释"},
    {LineKind::JiaBai, u"^>.*", u"夹白"},
    {LineKind::LianBai, u"^=.*", u"念白"},
    {LineKind::QuPai, u"^【.+?】([（(].+?[)）])?$", u"曲牌"},
    {LineKind::LineBreak, u"^@换行符", u"换行"},
    {LineKind::PageBreak, u"^@分页符", u"分页"},
    {LineKind::Lyric, u"[一-龥 ]+", u"唱"},
    {LineKind::Punctuation,
     u"[。，,、；;：:？?！!‘’“”（）()《》【】［］\\[\\]—︹︺︽︾﹁﹂﹃﹄︻︼︗︘︵︶|｜~]", u""},
    {LineKind::Other, u".+", u""},
};

const PatternEntry &entryOf(LineKind kind) {
    for (const PatternEntry &e : patternTable) {
        if (e.kind == kind) {
            return e;
        }
    }
    return patternTable[std::size(patternTable) - 1];
}

QString fromU16(const char16_t *s) {
    return QString::fromUtf16(s);
}

} // namespace

QString linePattern(LineKind kind) {
    return fromU16(entryOf(kind).pattern);
}

const QRegularExpression &lineRegex(LineKind kind) {
    static const auto regexes = [] {
        std::array<QRegularExpression, std::size(patternTable)> r;
        for (size_t i = 0; i < std::size(patternTable); ++i) {
            r[i] = QRegularExpression(fromU16(patternTable[i].pattern));
            r[i].optimize();
        }
        return r;
    }();
    for (size_t i = 0; i < std::size(patternTable); ++i) {
        if (patternTable[i].kind == kind) {
            return regexes[i];
        }
    }
    return regexes.back();
}

QString lineKindLabel(LineKind kind) {
    return fromU16(entryOf(kind).label);
}

LineKind lineKindOf(const QString &line) {
    // Equivalent to trying the patterns 0, 1, 2, 3, 4, 6, 7, 8 in order; the
    // anchored single-character patterns are tested directly.
    if (!line.isEmpty()) {
        switch (line.at(0).unicode()) {
        case '#':
            return LineKind::Title;
        case ';':
            return LineKind::Comment;
        case '>':
            return LineKind::JiaBai;
        case '=':
            return LineKind::LianBai;
        default:
            break;
        }
    }
    if (line.startsWith(QChar(0x3010)) && lineRegex(LineKind::QuPai).match(line).hasMatch()) {
        return LineKind::QuPai;
    }
    if (line.startsWith(QStringLiteral("@换行符"))) {
        return LineKind::LineBreak;
    }
    if (line.startsWith(QStringLiteral("@分页符"))) {
        return LineKind::PageBreak;
    }
    for (QChar c : line) {
        if (isSungChar(c)) {
            return LineKind::Lyric;
        }
    }
    return LineKind::Other;
}

bool isDirectiveLine(const QString &line) {
    if (line.isEmpty()) {
        return false;
    }
    switch (line.at(0).unicode()) {
    case '#':
    case ';':
    case '>':
    case '=':
    case 0x3010:
    case '@':
        return true;
    default:
        return false;
    }
}

QString sungText(const QString &s) {
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        if (isSungChar(c)) {
            out.append(c);
        }
    }
    return out;
}

QString withoutControls(const QString &s) {
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
            // Breaks and tabs part words; the rest is nothing to read.
            if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r') ||
                c == QLatin1Char('\v') || c == QLatin1Char('\f') || c.unicode() == 0x85) {
                out.append(QLatin1Char(' '));
            }
            break;
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            out.append(QLatin1Char(' '));
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

QString titleText(const QString &line) {
    return withoutControls(line.startsWith(QLatin1Char('#')) ? line.mid(1) : line);
}

int sungCharCount(const QChar *begin, const QChar *end) {
    int n = 0;
    for (const QChar *p = begin; p < end; ++p) {
        n += isSungChar(*p) ? 1 : 0;
    }
    return n;
}

int sungCharCount(const QString &s) {
    return sungCharCount(s.constData(), s.constData() + s.size());
}

QStringList splitCharacters(const QString &s) {
    QStringList out;
    out.reserve(s.size());
    for (int i = 0; i < s.size(); ++i) {
        if (s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
            out.append(s.mid(i, 2));
            ++i;
        } else {
            out.append(QString(s.at(i)));
        }
    }
    return out;
}

bool isPunctuationChar(QChar c) {
    for (char16_t p : punctuationChars) {
        if (c.unicode() == p) {
            return true;
        }
    }
    return false;
}

bool isPunctuation(const QString &s) {
    for (QChar c : s) {
        if (isPunctuationChar(c)) {
            return true;
        }
    }
    return false;
}

QChar toVerticalForm(QChar c) {
    if (!isPunctuationChar(c)) {
        return c;
    }
    switch (c.unicode()) {
    case 0xFF08:
    case '(':
        return QChar(0xFE35);
    case 0xFF09:
    case ')':
        return QChar(0xFE36);
    case 0x201C:
        return QChar(0xFE43);
    case 0x201D:
        return QChar(0xFE44);
    case 0x2018:
        return QChar(0xFE41);
    case 0x2019:
        return QChar(0xFE42);
    case 0x300A:
        return QChar(0xFE3D);
    case 0x300B:
        return QChar(0xFE3E);
    case 0x3010:
        return QChar(0xFE3B);
    case 0x3011:
        return QChar(0xFE3C);
    case 0xFF3B:
    case '[':
        return QChar(0xFE39);
    case 0xFF3D:
    case ']':
        return QChar(0xFE3A);
    case 0x2014:
        return QChar(0xFF5C);
    default:
        return c;
    }
}
