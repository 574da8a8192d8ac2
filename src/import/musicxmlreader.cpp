#include "import/musicxmlreader.h"

#include "import/mxlarchive.h"

#include <QFile>
#include <QFileInfo>
#include <QPair>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>

namespace music {

namespace {

// No single note, rest, backup or forward is longer than a thousand whole
// notes: longer ones are cut there, which keeps every time far inside the
// range of a double's integers.
constexpr double maxStepTicks = 1000.0 * 4 * ticksPerBeat;

struct Lyric {
    QString number; // "1" when the file numbers none
    QString text;
};

// What one <note> element states.
struct NoteElement {
    bool grace = false;
    bool cue = false;
    bool chord = false;
    bool rest = false;
    bool measureRest = false;
    bool pitched = false;
    QString step;
    double alter = 0;
    int octave = 4;
    double duration = 0; // in divisions
    QString voice;
    bool tieStart = false;
    bool tieStop = false;
    bool breath = false;
    bool fermata = false;
    QVector<Lyric> lyrics;
};

// A note or rest of the first voice as the file places it, before ties are
// merged, graces attached and gaps filled.
struct Raw {
    qint64 onset = 0;
    qint64 duration = 0;
    int midi = -1;
    bool grace = false;
    bool tieStart = false;
    bool tieStop = false;
    bool breath = false;
    bool fermata = false;
    int measure = 0;
    QVector<Lyric> lyrics;
};

// A main note (or rest) with the grace notes sung just before it: raw
// indices [from, main).
struct Group {
    int from = 0;
    int main = 0;
};

double number(const QString &text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0;
}

// The leading number of a text such as "60", "c. 72" or "60-66".
double leadingNumber(const QString &text) {
    static const QRegularExpression re(QStringLiteral("(\\d+(?:\\.\\d+)?)"));
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() ? number(m.captured(1)) : 0;
}

// The sum of a count such as "3+2"; 0 when it is not one.
int summedCount(const QString &text) {
    int sum = 0;
    for (const QString &part : text.split(QLatin1Char('+'))) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        if (!ok || n <= 0 || n > 1000) {
            return 0;
        }
        sum += n;
    }
    return sum;
}

// Quarter notes in a metronome's beat unit; 0 for one it does not know.
double quarters(const QString &unit) {
    static const QHash<QString, double> values = {
        {QStringLiteral("maxima"), 32},  {QStringLiteral("long"), 16},
        {QStringLiteral("breve"), 8},    {QStringLiteral("whole"), 4},
        {QStringLiteral("half"), 2},     {QStringLiteral("quarter"), 1},
        {QStringLiteral("eighth"), 0.5}, {QStringLiteral("16th"), 0.25},
        {QStringLiteral("32nd"), 0.125}, {QStringLiteral("64th"), 0.0625}};
    return values.value(unit.trimmed(), 0);
}

bool isDoubleBar(const QString &style) {
    return style == QLatin1String("light-light") || style == QLatin1String("light-heavy") ||
           style == QLatin1String("heavy-light") || style == QLatin1String("heavy-heavy");
}

class ScoreReader {
public:
    explicit ScoreReader(const QByteArray &bytes)
        : m_xml(bytes) {}

    SourceReading run();

private:
    // Token steps that turn an unresolved entity into an error.
    bool nextChild();
    void skip();
    QString text();
    void fail(const QString &why);
    void unresolvedEntity();

    void readRoot();
    void readWork();
    void readCredit();
    void readPart();
    void readMeasure();
    void readAttributes();
    void readKey();
    void readTime();
    void readDirection();
    void readDirectionType();
    void readMetronome();
    void readSound();
    void readBarline();
    void readNote();
    void readPitch(NoteElement *note);
    void readNotations(NoteElement *note);
    void readLyric(NoteElement *note);

    double ticksOf(double divisions, double at);
    Raw rawOf(const NoteElement &note, qint64 onset, qint64 duration);
    void place(const NoteElement &note);
    void report(int measure, qint64 time, const QString &message);

    void finish();
    void assembleVoice(const QString &verse);
    SourceNote sourceNote(const Raw &raw, const QString &verse) const;
    bool joinTie(const Raw &main, SourceNote *into, const QString &verse) const;
    QString verse() const;
    QVector<Group> orderedGroups();
    void fill(qint64 from, qint64 to, int *measure);

    QXmlStreamReader m_xml;
    SourceScore m_score;
    QString m_workTitle;
    QString m_movementTitle;
    QString m_creditTitle;
    int m_parts = 0;
    int m_noteElements = 0;
    QSet<QPair<int, QString>> m_reported;

    // In force from measure to measure.
    double m_divisions = 1;
    qint64 m_start = 0; // ticks: where the current measure begins
    int m_beats = 0;
    int m_beatType = 0;
    int m_fifths = 0;
    bool m_minor = false;
    bool m_doubleBarNext = false;
    QString m_voice; // the first voice; null until the first note

    // Within the current measure, in ticks from its start (exact, not yet
    // rounded).
    SourceMeasure m_measure;
    double m_cursor = 0;
    double m_length = 0;
    double m_chordOnset = 0;
    double m_soundTempo = 0;
    double m_metronomeTempo = 0;
    QStringList m_words;
    QStringList m_rehearsals;

    QVector<Raw> m_raw;
    // The raw note the next <chord/> note joins: -1 for none, -2 when the
    // note it follows was left out.
    int m_chordBase = -1;
};

bool ScoreReader::nextChild() {
    while (!m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartElement:
            return true;
        case QXmlStreamReader::EndElement:
            return false;
        case QXmlStreamReader::EntityReference:
            unresolvedEntity();
            return false;
        default:
            break;
        }
    }
    return false;
}

void ScoreReader::skip() {
    int depth = 1;
    while (depth > 0 && !m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::EntityReference:
            unresolvedEntity();
            return;
        default:
            break;
        }
    }
}

// The character data of the current element, its child elements left out.
QString ScoreReader::text() {
    QString out;
    while (!m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::Characters:
            out += m_xml.text();
            break;
        case QXmlStreamReader::StartElement:
            skip();
            break;
        case QXmlStreamReader::EndElement:
            return out;
        case QXmlStreamReader::EntityReference:
            unresolvedEntity();
            return QString();
        default:
            break;
        }
    }
    return out;
}

void ScoreReader::fail(const QString &why) {
    if (!m_xml.hasError()) {
        m_xml.raiseError(why);
    }
}

void ScoreReader::unresolvedEntity() {
    fail(QStringLiteral("XML 中有未声明的实体“&%1;”（第%2行第%3列）")
             .arg(m_xml.name().toString())
             .arg(m_xml.lineNumber())
             .arg(m_xml.columnNumber()));
}

SourceReading ScoreReader::run() {
    // The root element, after the prolog.
    while (!m_xml.atEnd() && m_xml.readNext() != QXmlStreamReader::StartElement) {
        if (m_xml.tokenType() == QXmlStreamReader::EntityReference) {
            unresolvedEntity();
        }
    }
    if (m_xml.tokenType() == QXmlStreamReader::StartElement) {
        if (m_xml.name() == QLatin1String("score-partwise")) {
            readRoot();
        } else if (m_xml.name() == QLatin1String("score-timewise")) {
            return SourceReading::failure(
                QStringLiteral("只能读取按声部排列（score-partwise）的 MusicXML 乐谱，"
                               "这份是按时间排列的（score-timewise）"));
        } else {
            return SourceReading::failure(QStringLiteral("不是 MusicXML 乐谱"));
        }
    }
    // Only comments and processing instructions may follow.
    while (!m_xml.atEnd()) {
        if (m_xml.readNext() == QXmlStreamReader::EntityReference) {
            unresolvedEntity();
        }
    }
    if (m_xml.hasError()) {
        if (m_xml.error() == QXmlStreamReader::CustomError) {
            return SourceReading::failure(m_xml.errorString());
        }
        return SourceReading::failure(QStringLiteral("XML 格式有误（第%1行第%2列）：%3")
                                          .arg(m_xml.lineNumber())
                                          .arg(m_xml.columnNumber())
                                          .arg(m_xml.errorString()));
    }
    if (m_parts == 0) {
        return SourceReading::failure(QStringLiteral("乐谱中没有声部"));
    }
    finish();
    SourceReading reading;
    reading.score = std::move(m_score);
    return reading;
}

void ScoreReader::readRoot() {
    while (nextChild()) {
        const QStringRef name = m_xml.name();
        if (name == QLatin1String("work")) {
            readWork();
        } else if (name == QLatin1String("movement-title")) {
            m_movementTitle = text().trimmed();
        } else if (name == QLatin1String("credit")) {
            readCredit();
        } else if (name == QLatin1String("part")) {
            if (++m_parts == 1) {
                readPart();
            } else {
                skip();
            }
        } else {
            skip();
        }
    }
}

void ScoreReader::readWork() {
    while (nextChild()) {
        if (m_xml.name() == QLatin1String("work-title")) {
            m_workTitle = text().trimmed();
        } else {
            skip();
        }
    }
}

void ScoreReader::readCredit() {
    bool title = false;
    while (nextChild()) {
        if (m_xml.name() == QLatin1String("credit-type")) {
            title = title || text().trimmed() == QLatin1String("title");
        } else if (m_xml.name() == QLatin1String("credit-words") && title &&
                   m_creditTitle.isEmpty()) {
            m_creditTitle = text().trimmed();
        } else {
            skip();
        }
    }
}

void ScoreReader::readPart() {
    while (nextChild()) {
        if (m_xml.name() == QLatin1String("measure")) {
            readMeasure();
        } else {
            skip();
        }
    }
}

void ScoreReader::readMeasure() {
    if (m_score.measures.size() >= MusicXmlReader::maxMeasures) {
        fail(QStringLiteral("乐谱太长（超过%1小节）").arg(MusicXmlReader::maxMeasures));
        return;
    }
    m_measure = SourceMeasure();
    m_measure.start = m_start;
    m_measure.number = m_xml.attributes().value(QLatin1String("number")).toString().trimmed();
    if (m_measure.number.isEmpty()) {
        m_measure.number = QString::number(m_score.measures.size() + 1);
    }
    m_measure.doubleBarBefore = m_doubleBarNext;
    m_doubleBarNext = false;
    m_cursor = m_length = m_chordOnset = 0;
    m_soundTempo = m_metronomeTempo = 0;
    m_words.clear();
    m_rehearsals.clear();
    m_chordBase = -1;

    while (nextChild()) {
        const QStringRef name = m_xml.name();
        if (name == QLatin1String("note")) {
            readNote();
        } else if (name == QLatin1String("backup") || name == QLatin1String("forward")) {
            const bool back = name == QLatin1String("backup");
            double steps = 0;
            while (nextChild()) {
                if (m_xml.name() == QLatin1String("duration")) {
                    steps = number(text());
                } else {
                    skip();
                }
            }
            const double ticks = ticksOf(steps, m_cursor);
            m_cursor = back ? std::max(0.0, m_cursor - ticks) : m_cursor + ticks;
            m_length = std::max(m_length, m_cursor);
            m_chordBase = -1;
        } else if (name == QLatin1String("attributes")) {
            readAttributes();
        } else if (name == QLatin1String("direction")) {
            readDirection();
        } else if (name == QLatin1String("sound")) {
            readSound();
        } else if (name == QLatin1String("barline")) {
            readBarline();
        } else {
            skip();
        }
    }

    m_measure.beats = m_beats;
    m_measure.beatType = m_beatType;
    m_measure.fifths = m_fifths;
    m_measure.minor = m_minor;
    m_measure.length = std::llround(m_length);
    const double tempo = m_soundTempo > 0 ? m_soundTempo : m_metronomeTempo;
    m_measure.tempo = tempo > 0 ? int(std::clamp<double>(std::round(tempo), 1, 10000)) : 0;
    m_measure.words = m_words.join(QLatin1Char(' '));
    m_measure.rehearsal = m_rehearsals.join(QLatin1Char(' '));
    m_score.measures.append(m_measure);
    m_start += m_measure.length;
}

void ScoreReader::readAttributes() {
    bool key = false;
    bool time = false;
    while (nextChild()) {
        const QStringRef name = m_xml.name();
        if (name == QLatin1String("divisions")) {
            const double divisions = number(text());
            if (divisions > 0) {
                m_divisions = divisions;
            }
        } else if (name == QLatin1String("key") && !key) {
            key = true;
            readKey();
        } else if (name == QLatin1String("time") && !time) {
            time = true;
            readTime();
        } else {
            skip();
        }
    }
}

// The first key signature (of the first staff, when there are several).
void ScoreReader::readKey() {
    int fifths = 0;
    bool minor = false;
    while (nextChild()) {
        if (m_xml.name() == QLatin1String("fifths")) {
            fifths = std::clamp(int(number(text())), -7, 7);
        } else if (m_xml.name() == QLatin1String("mode")) {
            minor = text().trimmed() == QLatin1String("minor");
        } else {
            skip();
        }
    }
    m_fifths = fifths;
    m_minor = minor;
    m_measure.keyStated = true;
}

// The first beats and beat type of a time signature ("3+2" counts 5), or
// senza misura.
void ScoreReader::readTime() {
    int beats = -1;
    int beatType = -1;
    bool senza = false;
    while (nextChild()) {
        const QStringRef name = m_xml.name();
        if (name == QLatin1String("beats") && beats < 0) {
            beats = summedCount(text());
        } else if (name == QLatin1String("beat-type") && beatType < 0) {
            beatType = summedCount(text().section(QLatin1Char('+'), 0, 0));
        } else if (name == QLatin1String("senza-misura")) {
            senza = true;
            skip();
        } else {
            skip();
        }
    }
    if (senza || beats <= 0 || beatType <= 0) {
        beats = beatType = 0;
    }
    m_beats = beats;
    m_beatType = beatType;
    m_measure.meterStated = true;
}

void ScoreReader::readDirection() {
    while (nextChild()) {
        if (m_xml.name() == QLatin1String("direction-type")) {
            readDirectionType();
        } else if (m_xml.name() == QLatin1String("sound")) {
            readSound();
        } else {
            skip();
        }
    }
}

void ScoreReader::readDirectionType() {
    while (nextChild()) {
        const QStringRef name = m_xml.name();
        if (name == QLatin1String("words")) {
            const QString words = text().simplified();
            if (!words.isEmpty()) {
                m_words.append(words);
            }
        } else if (name == QLatin1String("rehearsal")) {
            const QString mark = text().simplified();
            if (!mark.isEmpty()) {
                m_rehearsals.append(mark);
            }
        } else if (name == QLatin1String("metronome")) {
            readMetronome();
        } else {
            skip();
        }
    }
}

// A metronome mark as quarter notes per minute: the first beat unit, with
// its dots, at the stated rate.
void ScoreReader::readMetronome() {
    QString unit;
    int dots = 0;
    double perMinute = 0;
    while (nextChild()) {
        const QStringRef name = m_xml.name();
        if (name == QLatin1String("beat-unit")) {
            if (unit.isNull()) {
                unit = text();
            } else {
                skip(); // a second unit: an equation such as ♩ = ♪
                unit = QStringLiteral("-");
            }
        } else if (name == QLatin1String("beat-unit-dot") && unit != QLatin1String("-")) {
            ++dots;
            skip();
        } else if (name == QLatin1String("per-minute")) {
            perMinute = leadingNumber(text());
        } else {
            skip();
        }
    }
    const double bpm = perMinute * quarters(unit) * (2 - std::pow(0.5, std::min(dots, 8)));
    if (bpm > 0 && m_metronomeTempo <= 0) {
        m_metronomeTempo = bpm;
    }
}

void ScoreReader::readSound() {
    const double tempo = number(m_xml.attributes().value(QLatin1String("tempo")).toString());
    if (tempo > 0 && m_soundTempo <= 0) {
        m_soundTempo = tempo;
    }
    skip();
}

void ScoreReader::readBarline() {
    const QString location = m_xml.attributes().value(QLatin1String("location")).toString();
    QString style;
    while (nextChild()) {
        if (m_xml.name() == QLatin1String("bar-style")) {
            style = text().trimmed();
        } else {
            skip();
        }
    }
    if (!isDoubleBar(style)) {
        return;
    }
    if (location == QLatin1String("left")) {
        m_measure.doubleBarBefore = !m_score.measures.isEmpty();
    } else if (location.isEmpty() || location == QLatin1String("right")) {
        m_doubleBarNext = true;
    }
}

void ScoreReader::readNote() {
    if (++m_noteElements > MusicXmlReader::maxNotes) {
        fail(QStringLiteral("音符太多（超过%1个）").arg(MusicXmlReader::maxNotes));
        return;
    }
    NoteElement note;
    while (nextChild()) {
        const QStringRef name = m_xml.name();
        if (name == QLatin1String("pitch")) {
            readPitch(&note);
        } else if (name == QLatin1String("duration")) {
            note.duration = number(text());
        } else if (name == QLatin1String("voice")) {
            note.voice = text().trimmed();
        } else if (name == QLatin1String("chord")) {
            note.chord = true;
            skip();
        } else if (name == QLatin1String("rest")) {
            note.rest = true;
            note.measureRest =
                m_xml.attributes().value(QLatin1String("measure")) == QLatin1String("yes");
            skip();
        } else if (name == QLatin1String("tie")) {
            const QStringRef type = m_xml.attributes().value(QLatin1String("type"));
            note.tieStart = note.tieStart || type == QLatin1String("start");
            note.tieStop = note.tieStop || type == QLatin1String("stop");
            skip();
        } else if (name == QLatin1String("grace")) {
            note.grace = true;
            skip();
        } else if (name == QLatin1String("cue")) {
            note.cue = true;
            skip();
        } else if (name == QLatin1String("notations")) {
            readNotations(&note);
        } else if (name == QLatin1String("lyric")) {
            readLyric(&note);
        } else {
            skip(); // unpitched notes sound as rests
        }
    }
    if (!m_xml.hasError()) {
        place(note);
    }
}

void ScoreReader::readPitch(NoteElement *note) {
    while (nextChild()) {
        const QStringRef name = m_xml.name();
        if (name == QLatin1String("step")) {
            note->step = text().trimmed();
        } else if (name == QLatin1String("alter")) {
            note->alter = std::clamp(number(text()), -12.0, 12.0);
        } else if (name == QLatin1String("octave")) {
            note->octave = std::clamp(int(number(text())), -1, 10);
        } else {
            skip();
        }
    }
    note->pitched = true;
}

void ScoreReader::readNotations(NoteElement *note) {
    while (nextChild()) {
        const QStringRef name = m_xml.name();
        if (name == QLatin1String("tied")) {
            const QStringRef type = m_xml.attributes().value(QLatin1String("type"));
            note->tieStart = note->tieStart || type == QLatin1String("start");
            note->tieStop = note->tieStop || type == QLatin1String("stop");
            skip();
        } else if (name == QLatin1String("fermata")) {
            note->fermata = true;
            skip();
        } else if (name == QLatin1String("articulations")) {
            while (nextChild()) {
                if (m_xml.name() == QLatin1String("breath-mark") ||
                    m_xml.name() == QLatin1String("caesura")) {
                    note->breath = true;
                }
                skip();
            }
        } else {
            skip();
        }
    }
}

// A syllable: its <text> elements joined (they are several where an elision
// links them); a lyric with no text (an extender alone) adds none.
void ScoreReader::readLyric(NoteElement *note) {
    Lyric lyric;
    lyric.number = m_xml.attributes().value(QLatin1String("number")).toString().trimmed();
    if (lyric.number.isEmpty()) {
        lyric.number = QStringLiteral("1");
    }
    while (nextChild()) {
        if (m_xml.name() == QLatin1String("text")) {
            lyric.text += text().trimmed();
        } else {
            skip();
        }
    }
    if (!lyric.text.isEmpty()) {
        note->lyrics.append(lyric);
    }
}

// Divisions as ticks, reported when they are not a whole number of ticks
// (at: the place in the measure, for the report).
double ScoreReader::ticksOf(double divisions, double at) {
    double ticks = divisions * ticksPerBeat / m_divisions;
    if (!std::isfinite(ticks) || ticks <= 0) {
        return 0;
    }
    ticks = std::min(ticks, maxStepTicks);
    if (std::abs(ticks - std::round(ticks)) > 1e-6) {
        report(m_score.measures.size(), m_start + std::llround(at),
               QStringLiteral("时值不能整除，已就近取整"));
    }
    return ticks;
}

// Times the note and keeps it when it belongs to the first voice.
void ScoreReader::place(const NoteElement &note) {
    const bool chord = note.chord && m_chordBase != -1;
    double ticks = ticksOf(note.duration, m_cursor);
    if (note.measureRest && ticks <= 0 && m_beats > 0) {
        ticks = 4.0 * ticksPerBeat * m_beats / m_beatType;
    }
    double at = m_cursor;
    if (chord) {
        at = m_chordOnset;
    } else if (!note.grace) {
        m_chordOnset = at;
        m_cursor += ticks;
        m_length = std::max(m_length, m_cursor);
    }
    const qint64 onset = m_start + std::llround(at);
    const qint64 duration = note.grace ? 0 : m_start + std::llround(at + ticks) - onset;

    const QString voice = note.voice.isEmpty() ? QStringLiteral("1") : note.voice;
    if (!note.cue && m_voice.isNull()) {
        m_voice = voice;
    }
    const bool kept = !note.cue && voice == m_voice && (note.grace || duration > 0);
    if (!note.cue && voice != m_voice) {
        report(m_score.measures.size(), onset, QStringLiteral("只取第一层，其他层的音已略去"));
    }
    if (chord) {
        // A chord keeps its highest pitch.
        if (m_chordBase >= 0 && kept) {
            Raw &base = m_raw[m_chordBase];
            const Raw other = rawOf(note, onset, duration);
            if (base.midi >= 0 && other.midi >= 0 && base.grace == other.grace) {
                report(base.measure, base.onset, QStringLiteral("和弦只取最高音"));
                if (other.midi > base.midi) {
                    base.midi = other.midi;
                    base.tieStart = other.tieStart;
                    base.tieStop = other.tieStop;
                }
                base.breath = base.breath || other.breath;
                base.fermata = base.fermata || other.fermata;
                if (base.lyrics.isEmpty()) {
                    base.lyrics = other.lyrics;
                }
            }
        }
        return;
    }
    if (!kept) {
        m_chordBase = -2;
        return;
    }
    m_raw.append(rawOf(note, onset, duration));
    m_chordBase = m_raw.size() - 1;
}

Raw ScoreReader::rawOf(const NoteElement &note, qint64 onset, qint64 duration) {
    static const QHash<QString, int> steps = {{QStringLiteral("C"), 0}, {QStringLiteral("D"), 2},
                                              {QStringLiteral("E"), 4}, {QStringLiteral("F"), 5},
                                              {QStringLiteral("G"), 7}, {QStringLiteral("A"), 9},
                                              {QStringLiteral("B"), 11}};
    Raw raw;
    raw.onset = onset;
    raw.duration = duration;
    raw.grace = note.grace;
    raw.tieStart = note.tieStart;
    raw.tieStop = note.tieStop;
    raw.breath = note.breath;
    raw.fermata = note.fermata;
    raw.measure = m_score.measures.size();
    raw.lyrics = note.lyrics;
    if (!note.rest && note.pitched && steps.contains(note.step)) {
        const double alter = std::round(note.alter);
        if (alter != note.alter) {
            report(raw.measure, onset, QStringLiteral("微分音已归入最近的半音"));
        }
        const int midi = (note.octave + 1) * 12 + steps.value(note.step) + int(alter);
        if (midi < 0 || midi > 127) {
            report(raw.measure, onset, QStringLiteral("音高超出范围，已按休止处理"));
        } else {
            raw.midi = midi;
        }
    }
    return raw;
}

void ScoreReader::report(int measure, qint64 time, const QString &message) {
    if (m_reported.contains(qMakePair(measure, message))) {
        return;
    }
    m_reported.insert(qMakePair(measure, message));
    m_score.problems.append({measure, time, message});
}

// The verse whose syllables are read: the first, else the first one found.
QString ScoreReader::verse() const {
    QString first;
    for (const Raw &raw : m_raw) {
        for (const Lyric &lyric : raw.lyrics) {
            if (lyric.number == QLatin1String("1")) {
                return lyric.number;
            }
            if (first.isNull()) {
                first = lyric.number;
            }
        }
    }
    return first;
}

// The main notes with their graces, in time order. Graces after the last
// note, with no note to lead into, are left to finish().
QVector<Group> ScoreReader::orderedGroups() {
    QVector<Group> out;
    int from = 0;
    for (int i = 0; i < m_raw.size(); ++i) {
        if (!m_raw.at(i).grace) {
            out.append({from, i});
            from = i + 1;
        }
    }
    const auto earlier = [this](const Group &a, const Group &b) {
        return m_raw.at(a.main).onset < m_raw.at(b.main).onset;
    };
    if (!std::is_sorted(out.begin(), out.end(), earlier)) {
        std::stable_sort(out.begin(), out.end(), earlier);
    }
    return out;
}

// Rests over [from, to), one for each measure they cross.
void ScoreReader::fill(qint64 from, qint64 to, int *measure) {
    const QVector<SourceMeasure> &measures = m_score.measures;
    while (from < to) {
        while (*measure + 1 < measures.size() &&
               measures.at(*measure).start + measures.at(*measure).length <= from) {
            ++*measure;
        }
        const SourceMeasure &m = measures.at(*measure);
        const qint64 end = *measure + 1 < measures.size() ? std::min(to, m.start + m.length) : to;
        SourceNote rest;
        rest.onset = from;
        rest.duration = std::max(end, from + 1) - from;
        rest.measure = *measure;
        m_score.notes.append(rest);
        from += rest.duration;
    }
}

// The raw notes as the score's line of notes: graces at the onset of the
// note they lead into, tied notes merged, gaps filled with rests and
// overlaps cut.
void ScoreReader::finish() {
    m_score.title = !m_workTitle.isEmpty()       ? m_workTitle
                    : !m_movementTitle.isEmpty() ? m_movementTitle
                                                 : m_creditTitle;
    if (m_parts > 1) {
        m_score.problems.prepend(
            {-1, -1, QStringLiteral("只读第一声部（共%1个声部）").arg(m_parts)});
    }
    if (m_score.measures.isEmpty()) {
        return;
    }
    assembleVoice(verse());
    std::stable_sort(
        m_score.problems.begin(), m_score.problems.end(),
        [](const SourceProblem &a, const SourceProblem &b) { return a.measure < b.measure; });
    m_raw.clear();
}

// A raw note as the score states it, with its syllable of the verse.
SourceNote ScoreReader::sourceNote(const Raw &raw, const QString &verse) const {
    SourceNote n;
    n.onset = raw.onset;
    n.duration = raw.duration;
    n.midi = raw.midi;
    n.grace = raw.grace;
    n.breathAfter = raw.breath;
    n.fermata = raw.fermata;
    for (const Lyric &lyric : raw.lyrics) {
        if (lyric.number == verse) {
            n.lyric = lyric.text;
            break;
        }
    }
    n.measure = raw.measure;
    return n;
}

// The voice in time order: tied notes merged, gaps filled with rests,
// overlaps trimmed, graces just before their note, and the graces after
// the last note at the piece's end.
void ScoreReader::assembleVoice(const QString &verse) {
    QVector<SourceNote> &out = m_score.notes;
    out.reserve(m_raw.size());
    qint64 t = 0;
    int fillMeasure = 0;
    int last = -1; // the last main note in out
    bool tieOpen = false;
    for (const Group &group : orderedGroups()) {
        const Raw &main = m_raw.at(group.main);
        if (tieOpen && group.from == group.main && last == out.size() - 1 &&
            joinTie(main, &out[last], verse)) {
            tieOpen = main.tieStart;
            t = out.at(last).onset + out.at(last).duration;
            continue;
        }
        if (main.onset < t) {
            if (last >= 0 && out.at(last).onset < main.onset) {
                out[last].duration = main.onset - out.at(last).onset;
                report(out.at(last).measure, main.onset, QStringLiteral("重叠的音已截短"));
            } else {
                report(main.measure, main.onset, QStringLiteral("同时开始的音只取第一个"));
                continue;
            }
        } else if (main.onset > t) {
            fill(t, main.onset, &fillMeasure);
        }
        for (int g = group.from; g < group.main; ++g) {
            SourceNote grace = sourceNote(m_raw.at(g), verse);
            grace.onset = main.onset;
            grace.measure = main.measure;
            out.append(grace);
        }
        out.append(sourceNote(main, verse));
        last = out.size() - 1;
        tieOpen = main.tieStart;
        t = main.onset + main.duration;
    }
    fill(t, m_start, &fillMeasure);
    int tail = m_raw.size();
    while (tail > 0 && m_raw.at(tail - 1).grace) {
        --tail;
    }
    for (int g = tail; g < m_raw.size(); ++g) {
        SourceNote grace = sourceNote(m_raw.at(g), verse);
        grace.onset = std::max(t, m_start);
        out.append(grace);
    }
}

// Adds a note that ends a tie to the note it is tied from (same pitch, right
// after it); false when they do not join.
bool ScoreReader::joinTie(const Raw &main, SourceNote *into, const QString &verse) const {
    if (!main.tieStop || main.midi < 0 || into->midi != main.midi ||
        into->onset + into->duration != main.onset) {
        return false;
    }
    into->duration += main.duration;
    into->breathAfter = main.breath;
    into->fermata = main.fermata;
    if (into->lyric.isEmpty()) {
        into->lyric = sourceNote(main, verse).lyric;
    }
    return true;
}

} // namespace

SourceReading MusicXmlReader::read(const QByteArray &bytes) {
    if (bytes.trimmed().isEmpty()) {
        return SourceReading::failure(QStringLiteral("文件是空的"));
    }
    ScoreReader reader(bytes);
    return reader.run();
}

SourceReading MusicXmlReader::readFile(const QString &path) {
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return SourceReading::failure(
            QStringLiteral("无法打开“%1”：%2").arg(name, file.errorString()));
    }
    if (file.size() > maxFileBytes) {
        return SourceReading::failure(QStringLiteral("“%1”太大（超过%2 MB），无法导入")
                                          .arg(name)
                                          .arg(maxFileBytes / (1024 * 1024)));
    }
    // Read up to one byte past the limit: a file that grew meanwhile is
    // refused all the same.
    const QByteArray bytes = file.read(maxFileBytes + 1);
    if (bytes.size() > maxFileBytes) {
        return SourceReading::failure(QStringLiteral("“%1”太大（超过%2 MB），无法导入")
                                          .arg(name)
                                          .arg(maxFileBytes / (1024 * 1024)));
    }
    if (MxlArchive::looksLikeZip(bytes)) {
        const MxlArchive::Extraction archive = MxlArchive::extract(bytes);
        if (!archive.ok()) {
            return SourceReading::failure(archive.error);
        }
        return read(archive.score);
    }
    return read(bytes);
}

} // namespace music
