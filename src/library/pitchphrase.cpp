#include "library/pitchphrase.h"

#include "model/ordinarygongche.h"
#include "music/musicrules.h"

namespace {

int folded(int semitones) {
    return ((semitones % 12) + 12) % 12;
}

// Characters a typed phrase may hold between its pitches.
bool isPassedOver(QChar c) {
    if (c.isSpace() || c.isPunct() || c.isSymbol()) {
        return true;
    }
    const char32_t code = OrdinaryGongche::symbolFor(c);
    return code != 0 && !GongcheSymbol(code).isPitch();
}

QChar letter(int value) {
    return QLatin1Char(char('a' + value));
}

} // namespace

int PitchPhrase::pitchClass(const GongcheSymbol &symbol) {
    if (!symbol.isPitch()) {
        return -1;
    }
    return folded(music::MusicRules::defaults().semitones(symbol));
}

int PitchPhrase::pitchClassOfName(QChar c) {
    const char32_t code = OrdinaryGongche::symbolFor(c);
    return code ? pitchClass(GongcheSymbol(code)) : -1;
}

QVector<int> PitchPhrase::parse(const QString &text, QString *bad) {
    QVector<int> classes;
    const QVector<uint> codes = text.toUcs4();
    for (const uint code : codes) {
        const GongcheSymbol symbol(code);
        if (symbol.isPitch()) {
            classes.append(pitchClass(symbol));
            continue;
        }
        if (symbol.isValid()) {
            continue; // a beat mark or an ornament
        }
        const QString character = QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        if (character.size() == 1) {
            const int pc = pitchClassOfName(character.at(0));
            if (pc >= 0) {
                classes.append(pc);
                continue;
            }
            if (isPassedOver(character.at(0))) {
                continue;
            }
        }
        if (bad) {
            *bad = character;
        }
        return {};
    }
    return classes;
}

QString PitchPhrase::pitchKey(const QVector<int> &classes) {
    QString key;
    key.reserve(classes.size());
    for (const int pc : classes) {
        key.append(letter(pc));
    }
    return key;
}

QString PitchPhrase::stepKey(const QVector<int> &classes) {
    QString key;
    for (int i = 1; i < classes.size(); ++i) {
        key.append(letter(folded(classes.at(i) - classes.at(i - 1))));
    }
    return key;
}

QString PitchPhrase::stepsOfPitchKey(const QString &pitchKey) {
    QString steps(pitchKey.size(), Separator);
    for (int i = 0; i + 1 < pitchKey.size(); ++i) {
        const QChar a = pitchKey.at(i);
        const QChar b = pitchKey.at(i + 1);
        if (a != Separator && b != Separator) {
            steps[i] = letter(folded(b.unicode() - a.unicode()));
        }
    }
    return steps;
}

QString PitchPhrase::names(const QString &pitchKey) {
    // The middle-octave name of each class; classes off the scale (sharps)
    // take the name below them.
    static const char16_t byClass[12] = {u'上', u'上', u'尺', u'尺', u'工', u'凡',
                                         u'凡', u'六', u'六', u'五', u'五', u'乙'};
    QString text;
    for (const QChar c : pitchKey) {
        const int pc = c.unicode() - 'a';
        if (pc >= 0 && pc < 12) {
            text.append(QChar(byClass[pc]));
        }
    }
    return text;
}

QVector<int> PitchPhrase::occurrences(const QString &haystack, const QString &needle) {
    QVector<int> found;
    if (needle.isEmpty()) {
        return found;
    }
    for (int at = haystack.indexOf(needle); at >= 0; at = haystack.indexOf(needle, at + 1)) {
        found.append(at);
    }
    return found;
}
