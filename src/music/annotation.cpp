#include "music/annotation.h"

#include <QRegularExpression>

namespace music {

namespace {

const QChar equalsSign = QLatin1Char('=');
const QChar wideEqualsSign = QChar(0xFF1D); // ＝

// Full-width digits and signs as ASCII, for the numbers of 速度 and 八度.
QString asciiNumber(const QString &text) {
    QString out;
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u >= 0xFF10 && u <= 0xFF19) {
            out.append(QChar(u - 0xFF10 + '0'));
        } else if (u == 0x2212 || u == 0xFF0D) { // − －
            out.append(QLatin1Char('-'));
        } else if (u == 0xFF0B) { // ＋
            out.append(QLatin1Char('+'));
        } else {
            out.append(c);
        }
    }
    return out;
}

bool readInt(const QString &value, int lowest, int highest, int *out) {
    bool ok = false;
    const int v = asciiNumber(value).toInt(&ok);
    if (!ok || v < lowest || v > highest) {
        return false;
    }
    *out = v;
    return true;
}

bool readKey(const QString &value, const MusicRules &rules, TuneSettings *settings) {
    static const QRegularExpression withLetter(
        QStringLiteral("^(.+?)\\s*[(（]\\s*([^)）]*?)\\s*[)）]$"));
    QString name = value;
    QString letter;
    bool lettered = false;
    const QRegularExpressionMatch m = withLetter.match(value);
    if (m.hasMatch()) {
        name = m.captured(1);
        letter = m.captured(2);
        lettered = true;
    }
    for (const MusicRules::KeyRule &k : rules.keys) {
        if (!k.names.contains(name)) {
            continue;
        }
        bool variant = false;
        if (lettered) {
            if (k.variantLetters.contains(letter, Qt::CaseInsensitive) &&
                !k.letters.contains(letter, Qt::CaseSensitive)) {
                variant = true;
            } else if (!k.letters.contains(letter, Qt::CaseInsensitive)) {
                return false;
            }
        }
        settings->key = k.key;
        settings->keyVariant = variant;
        return true;
    }
    return false;
}

bool readMeter(const QString &value, const MusicRules &rules, TuneSettings *settings) {
    if (rules.automaticMeterNames.contains(value)) {
        settings->meterStated = false;
        return true;
    }
    for (const MusicRules::MeterRule &m : rules.meters) {
        if (m.names.contains(value)) {
            settings->meterStated = true;
            settings->meter = m.meter;
            settings->zeng = false;
            return true;
        }
    }
    for (const QString &prefix : rules.zengPrefixes) {
        if (!value.startsWith(prefix)) {
            continue;
        }
        const QString rest = value.mid(prefix.size());
        if (rest.isEmpty()) {
            settings->meterStated = true;
            settings->meter = rules.zengAlone;
            settings->zeng = true;
            return true;
        }
        for (const MusicRules::MeterRule &m : rules.meters) {
            if (m.doublable && m.names.contains(rest)) {
                settings->meterStated = true;
                settings->meter = m.meter;
                settings->zeng = true;
                return true;
            }
        }
    }
    return false;
}

bool readSetting(const QString &key, const QString &value, const MusicRules &rules,
                 TuneSettings *settings) {
    if (value.isEmpty()) {
        return false;
    }
    if (key == QStringLiteral("笛色")) {
        return readKey(value, rules, settings);
    }
    if (key == QStringLiteral("板式")) {
        return readMeter(value, rules, settings);
    }
    if (key == QStringLiteral("速度")) {
        return readInt(value, rules.minTempo, rules.maxTempo, &settings->tempo);
    }
    if (key == QStringLiteral("八度")) {
        return readInt(value, rules.minOctave, rules.maxOctave, &settings->octave);
    }
    return false;
}

} // namespace

bool Annotation::isAnnotation(const QString &commentLine) {
    return commentLine.contains(equalsSign) || commentLine.contains(wideEqualsSign);
}

void Annotation::apply(const QString &line, int lyricLine, const MusicRules &rules,
                       TuneSettings *settings, QVector<Problem> *problems) {
    // A setting (name = value, either side possibly missing) or a stray word.
    static const QRegularExpression item(
        QStringLiteral("(?:([^\\s=＝]+)\\s*)?[=＝](?:\\s*([^\\s=＝]+))?|[^\\s=＝]+"),
        QRegularExpression::UseUnicodePropertiesOption);
    const int from = line.startsWith(QLatin1Char(';')) ? 1 : 0;
    auto it = item.globalMatch(line, from);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString text = m.captured(0);
        const bool setting = text.contains(equalsSign) || text.contains(wideEqualsSign);
        TuneSettings read = *settings;
        if (setting && !m.captured(1).isEmpty() &&
            readSetting(m.captured(1), m.captured(2), rules, &read)) {
            *settings = read;
            continue;
        }
        if (problems) {
            Problem p;
            p.severity = Problem::Severity::Error;
            p.place.pane = Place::Pane::Lyric;
            p.place.line = lyricLine;
            p.place.column = m.capturedStart(0);
            p.place.length = m.capturedLength(0);
            p.message = QStringLiteral("无法识别的设置：%1").arg(text);
            p.advice = QStringLiteral(
                "设置行可写笛色、板式、速度、八度，如“; 笛色=小工调 板式=一板三眼 速度=60 八度=0”");
            problems->append(p);
        }
    }
}

} // namespace music
