#pragma once

// Scores written the way a reader of gongche writes them, turned into the
// symbols of the catalogue, and the melodies of small documents.
//
// A score line is written with the ordinary characters for the middle-octave
// pitches 合四一上尺工凡六五乙 and the high ones 仩伬仜, the beat marks as
// editions print them (、 头板, ○ 头眼/末眼, ● 中眼, × 赠板), and letters for
// what has no ordinary character:
//   Y 腰板   y 腰眼 (头/末)   z 腰中眼   X 腰赠板   D 底板
//   H 豁腔   S 擻腔   T 疊腔   Q 疊腔气口   C 带腔撮腔
// and, after a pitch, s (small), k (气口), L (low octave), h (high), w
// (double high) change it.

#include "model/gongchesymbol.h"
#include "model/outcome.h"
#include "model/rendermodel.h"
#include "music/melody.h"
#include "music/melodybuilder.h"
#include "music/musicxmlwriter.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>
#include <QXmlStreamReader>
#include <QtTest>
#include <functional>

namespace musicfixture {

using S = GongcheSymbol;

inline QString gc(const QString &written) {
    static const QHash<QChar, S::PitchName> names = {
        {QChar(0x5408), S::PitchName::He},    {QChar(0x56DB), S::PitchName::Si},
        {QChar(0x4E00), S::PitchName::Yi},    {QChar(0x4E0A), S::PitchName::Shang},
        {QChar(0x5C3A), S::PitchName::Chi},   {QChar(0x5DE5), S::PitchName::Gong},
        {QChar(0x51E1), S::PitchName::Fan},   {QChar(0x516D), S::PitchName::Liu},
        {QChar(0x4E94), S::PitchName::Wu},    {QChar(0x4E59), S::PitchName::YiHigh},
        {QChar(0x4EE9), S::PitchName::Shang}, {QChar(0x4F2C), S::PitchName::Chi},
        {QChar(0x4EDC), S::PitchName::Gong},
    };
    static const QHash<QChar, char32_t> others = {
        {QChar(0x3001), S::TouBan},           {QChar(0x25CB), S::XiaoYan},
        {QChar(0x25CF), S::ZhongYan},         {QChar(0x00D7), S::ZengBan},
        {QLatin1Char('Y'), S::YaoBan},        {QLatin1Char('y'), S::YaoXiaoYan},
        {QLatin1Char('z'), S::YaoZhongYan},   {QLatin1Char('X'), S::YaoZengBan},
        {QLatin1Char('D'), S::DiBan},         {QLatin1Char('H'), S::HuoQiang},
        {QLatin1Char('S'), S::SouQiang},      {QLatin1Char('T'), S::DieQiang},
        {QLatin1Char('Q'), S::DieQiangQiKou}, {QLatin1Char('C'), S::DaiQiangCuoQiang},
    };
    struct Item {
        char32_t code = 0; // a mark or ornament; 0 for a pitch
        S::PitchName name = S::PitchName::Shang;
        S::Octave octave = S::Octave::Middle;
        bool small = false;
        bool qiKou = false;
        QString raw; // text kept as it is
    };
    QVector<Item> items;
    for (QChar c : written) {
        if (names.contains(c)) {
            Item i;
            i.name = names.value(c);
            const bool high = c == QChar(0x4EE9) || c == QChar(0x4F2C) || c == QChar(0x4EDC);
            i.octave = high ? S::Octave::High : S::Octave::Middle;
            items.append(i);
        } else if (others.contains(c)) {
            Item i;
            i.code = others.value(c);
            items.append(i);
        } else if (!items.isEmpty() && items.last().code == 0 && items.last().raw.isEmpty() &&
                   QStringLiteral("skLhw").contains(c)) {
            Item &p = items.last();
            switch (c.toLatin1()) {
            case 's':
                p.small = true;
                break;
            case 'k':
                p.qiKou = true;
                break;
            case 'L':
                p.octave = S::Octave::Low;
                break;
            case 'h':
                p.octave = S::Octave::High;
                break;
            default:
                p.octave = S::Octave::DoubleHigh;
                break;
            }
        } else {
            Item i;
            i.raw = QString(c);
            items.append(i);
        }
    }
    QString out;
    for (const Item &i : items) {
        if (!i.raw.isEmpty()) {
            out += i.raw;
        } else if (i.code != 0) {
            out += sym(i.code);
        } else {
            const S::Series series = i.small ? (i.qiKou ? S::Series::SmallQiKou : S::Series::Small)
                                             : (i.qiKou ? S::Series::QiKou : S::Series::Plain);
            out += sym(S::pitchCode(series, i.octave, i.name));
        }
    }
    return out;
}

// The score text of written score lines.
inline QString scoreText(const QStringList &lines) {
    QStringList out;
    for (const QString &l : lines) {
        out.append(gc(l));
    }
    return out.join(QLatin1Char('\n'));
}

inline DocumentLines document(const QString &lyric, const QStringList &scoreLines) {
    return renderModel(lyric, scoreText(scoreLines));
}

inline music::Melody melodyOf(const QString &lyric, const QStringList &scoreLines,
                              const music::MusicRules &rules = music::MusicRules()) {
    return music::MelodyBuilder(rules).build(document(lyric, scoreLines));
}

// A short tune with its lyrics (春来花满枝头红: a tie over the bar, a small
// note, a breath), written as MusicXML by our writer, titled 春来.
inline bool writeTuneXml(const QString &path) {
    const music::Melody m = melodyOf(QStringLiteral("; 板式=一板一眼\n春来花满枝头红"),
                                     {"上、", "尺○工", "六、", "六○Y", "五s六", "工k○D", "尺、yD"});
    return bool(music::MusicXmlWriter::write(m, path, {QStringLiteral("春来"), false}));
}

inline QVector<qint64> onsets(const music::Melody &m) {
    QVector<qint64> out;
    for (const music::Note &n : m.notes) {
        out.append(n.onset);
    }
    return out;
}

inline QVector<qint64> durations(const music::Melody &m) {
    QVector<qint64> out;
    for (const music::Note &n : m.notes) {
        out.append(n.duration);
    }
    return out;
}

inline QVector<int> midis(const music::Melody &m) {
    QVector<int> out;
    for (const music::Note &n : m.notes) {
        out.append(n.midi);
    }
    return out;
}

// Clicks as "time:板" or "time:眼" for readable comparisons.
inline QStringList clicks(const music::Melody &m) {
    QStringList out;
    for (const music::BeatClick &c : m.clicks) {
        out.append(QStringLiteral("%1:%2").arg(c.time).arg(c.ban ? QStringLiteral("板")
                                                                 : QStringLiteral("眼")));
    }
    return out;
}

// The messages of the problems, in order.
inline QStringList messages(const music::Melody &m) {
    QStringList out;
    for (const music::Problem &p : m.problems) {
        out.append(p.message);
    }
    return out;
}

inline music::Place scoreAt(int character, int column, int length) {
    music::Place p;
    p.pane = music::Place::Pane::Score;
    p.line = character;
    p.column = column;
    p.length = length;
    return p;
}

inline music::Place lyricAt(int line, int column = 0, int length = 0) {
    music::Place p;
    p.pane = music::Place::Pane::Lyric;
    p.line = line;
    p.column = column;
    p.length = length;
    return p;
}

// A note and a tune section made by hand, for the writers' tests.
inline music::Note note(int midi, qint64 onset, qint64 duration, int character,
                        const QString &lyric = {}) {
    music::Note n;
    n.midi = midi;
    n.onset = onset;
    n.duration = duration;
    n.character = character;
    n.lyric = lyric;
    return n;
}

inline music::Section section(music::Meter meter, music::Key key, int tempo, qint64 start,
                              qint64 firstDownbeat, qint64 end, const QString &quPai = {}) {
    music::Section s;
    s.quPai = quPai;
    s.meter = meter;
    s.key = key;
    s.tempo = tempo;
    s.start = start;
    s.firstDownbeat = firstDownbeat;
    s.end = end;
    return s;
}

// The writers' tune: 一板三眼 in 小工调 at 60 with a pickup of one beat, a
// note tied over the bar line, an ornament before a note with a 气口 after
// it, and two ornaments after the last note.
inline music::Melody pickupMelody() {
    music::Melody m;
    m.sections.append(section(music::Meter::YiBanSanYan, music::Key::XiaoGong, 60, 0, 480,
                              480 + 2 * 1920, QStringLiteral("皂罗袍")));
    m.notes.append(note(74, 0, 480, 0, QStringLiteral("原")));
    m.notes.append(note(76, 480, 720, 1, QStringLiteral("来")));
    m.notes.append(note(78, 1200, 240, 1));
    m.notes.append(note(81, 1440, 1440, 2, QStringLiteral("姹")));
    m.notes.append(note(79, 2880, 480, 3, QStringLiteral("紫")));
    m.notes[4].gracesBefore = {81};
    m.notes[4].breathAfter = true;
    m.notes.append(note(78, 3360, 960, 4, QStringLiteral("嫣")));
    m.notes[5].gracesAfter = {79, 78};
    m.notes[5].fermata = true;
    m.sections[0].noteCount = m.notes.size();
    return m;
}

// A note as the score states it.
struct XNote {
    bool grace = false;
    bool graceAfter = false; // steals its time from the note before it
    bool slash = false;
    double steal = 0; // percent of the main note's time
    bool rest = false;
    bool measureRest = false;
    int duration = 0;
    QString step;
    int alter = 0;
    int octave = 0;
    QString type;
    int dots = 0;
    QString accidental;
    QStringList ties;
    QStringList tied;
    QStringList slurs;
    bool breath = false;
    bool fermata = false;
    QString lyric;

    QString pitch() const {
        return step +
               (alter > 0   ? QStringLiteral("#")
                : alter < 0 ? QStringLiteral("b")
                            : QString()) +
               QString::number(octave);
    }
};

struct XMeasure {
    QString number;
    bool implicit = false;
    int divisions = 0;
    bool hasKey = false;
    int fifths = 0;
    bool hasTime = false;
    bool senza = false;
    int beats = 0;
    int beatType = 0;
    bool hasClef = false;
    QStringList words;
    int tempo = 0;
    QVector<XNote> notes;
    QString barStyle;

    int length() const {
        int sum = 0;
        for (const XNote &n : notes) {
            sum += n.grace ? 0 : n.duration;
        }
        return sum;
    }
};

struct XScore {
    QString doctype; // the document type's name and public identifier
    QString publicId;
    QString version;
    QString workTitle;
    QString partName;
    int midiProgram = 0;
    QVector<XMeasure> measures;
    QString error;

    QVector<XNote> notes() const {
        QVector<XNote> out;
        for (const XMeasure &m : measures) {
            out += m.notes;
        }
        return out;
    }
};

// A MusicXML score read back: its header, and every measure with what the
// tests look at.
inline XScore parseMusicXml(const QByteArray &xml) {
    XScore score;
    QXmlStreamReader r(xml);
    XMeasure *measure = nullptr;
    XNote *n = nullptr;
    while (!r.atEnd()) {
        r.readNext();
        if (r.tokenType() == QXmlStreamReader::DTD) {
            score.doctype = r.dtdName().toString();
            score.publicId = r.dtdPublicId().toString();
        }
        if (r.isEndElement() && r.name() == QLatin1String("note")) {
            n = nullptr;
        }
        if (!r.isStartElement()) {
            continue;
        }
        const QStringRef name = r.name();
        const QXmlStreamAttributes a = r.attributes();
        if (name == QLatin1String("score-partwise")) {
            score.version = a.value(QLatin1String("version")).toString();
        } else if (name == QLatin1String("work-title")) {
            score.workTitle = r.readElementText();
        } else if (name == QLatin1String("part-name")) {
            score.partName = r.readElementText();
        } else if (name == QLatin1String("midi-program")) {
            score.midiProgram = r.readElementText().toInt();
        } else if (name == QLatin1String("measure")) {
            score.measures.append(XMeasure());
            measure = &score.measures.last();
            measure->number = a.value(QLatin1String("number")).toString();
            measure->implicit = a.value(QLatin1String("implicit")) == QLatin1String("yes");
        } else if (!measure) {
            continue;
        } else if (name == QLatin1String("divisions")) {
            measure->divisions = r.readElementText().toInt();
        } else if (name == QLatin1String("fifths")) {
            measure->hasKey = true;
            measure->fifths = r.readElementText().toInt();
        } else if (name == QLatin1String("time")) {
            measure->hasTime = true;
        } else if (name == QLatin1String("senza-misura")) {
            measure->senza = true;
        } else if (name == QLatin1String("beats")) {
            measure->beats = r.readElementText().toInt();
        } else if (name == QLatin1String("beat-type")) {
            measure->beatType = r.readElementText().toInt();
        } else if (name == QLatin1String("clef")) {
            measure->hasClef = true;
        } else if (name == QLatin1String("words")) {
            measure->words.append(r.readElementText());
        } else if (name == QLatin1String("sound")) {
            measure->tempo = a.value(QLatin1String("tempo")).toInt();
        } else if (name == QLatin1String("bar-style")) {
            measure->barStyle = r.readElementText();
        } else if (name == QLatin1String("note")) {
            measure->notes.append(XNote());
            n = &measure->notes.last();
        } else if (!n) {
            continue;
        } else if (name == QLatin1String("grace")) {
            n->grace = true;
            n->graceAfter = a.hasAttribute(QLatin1String("steal-time-previous"));
            n->slash = a.value(QLatin1String("slash")) == QLatin1String("yes");
            n->steal = (n->graceAfter ? a.value(QLatin1String("steal-time-previous"))
                                      : a.value(QLatin1String("steal-time-following")))
                           .toDouble();
        } else if (name == QLatin1String("rest")) {
            n->rest = true;
            n->measureRest = a.value(QLatin1String("measure")) == QLatin1String("yes");
        } else if (name == QLatin1String("duration")) {
            n->duration = r.readElementText().toInt();
        } else if (name == QLatin1String("step")) {
            n->step = r.readElementText();
        } else if (name == QLatin1String("alter")) {
            n->alter = r.readElementText().toInt();
        } else if (name == QLatin1String("octave")) {
            n->octave = r.readElementText().toInt();
        } else if (name == QLatin1String("type")) {
            n->type = r.readElementText();
        } else if (name == QLatin1String("dot")) {
            ++n->dots;
        } else if (name == QLatin1String("accidental")) {
            n->accidental = r.readElementText();
        } else if (name == QLatin1String("tie")) {
            n->ties.append(a.value(QLatin1String("type")).toString());
        } else if (name == QLatin1String("tied")) {
            n->tied.append(a.value(QLatin1String("type")).toString());
        } else if (name == QLatin1String("slur")) {
            n->slurs.append(a.value(QLatin1String("type")).toString());
        } else if (name == QLatin1String("breath-mark")) {
            n->breath = true;
        } else if (name == QLatin1String("fermata")) {
            n->fermata = true;
        } else if (name == QLatin1String("text")) {
            n->lyric = r.readElementText();
        }
    }
    if (r.hasError()) {
        score.error = r.errorString();
    }
    return score;
}

// A writer of melodies to files, asked for path.
using WriteTo = std::function<Outcome(const QString &path)>;

// write over an older file called name: the file holds expected, and
// nothing else (no temporary file) is left in its folder.
inline void checkWritesOver(const QString &name, const WriteTo &write, const QByteArray &expected) {
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older file");
    old.close();
    const Outcome outcome = write(path);
    QVERIFY(outcome.ok());
    QCOMPARE(outcome.path(), path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), expected);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({name}));
}

// write into a "folder" that is a plain file: refused, naming the file
// called name; into folders that are only missing: made, and written.
inline void checkFolders(const QString &name, const WriteTo &write) {
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString path = dir.filePath(QStringLiteral("plain/") + name);
    const Outcome outcome = write(path);
    QVERIFY(!outcome.ok());
    QCOMPARE(outcome.title(), QStringLiteral("错误"));
    QCOMPARE(outcome.message(), QStringLiteral("无法写入“%1”：文件夹不存在。").arg(name));
    QVERIFY(!QFileInfo::exists(path));
    const QString inNew = dir.filePath(QStringLiteral("new/folder/") + name);
    QVERIFY(write(inNew).ok());
    QVERIFY(QFileInfo(inNew).isFile());
}

// Both of the above for a writer of files with that extension, whose file
// holds expected.
inline void checkWriter(const QString &extension, const WriteTo &write,
                        const QByteArray &expected) {
    checkWritesOver(QStringLiteral("牡丹亭.") + extension, write, expected);
    if (!QTest::currentTestFailed()) {
        checkFolders(QStringLiteral("x.") + extension, write);
    }
}

} // namespace musicfixture
