// The stretch of a melody one press of play hears: from a character, to
// another for a loop, moved to tick 0, after a count-in, in another key or
// octave. The notes keep their characters and places for the highlight.
#include "music/musicrules.h"
#include "music/playbackexcerpt.h"
#include "musicfixture.h"

#include <QtTest>

using namespace music;
using namespace musicfixture;

namespace {

// 一板三眼, four characters of a measure each: 上尺工六 on 板 and the 眼.
Melody fourMeasures() {
    return melodyOf(QStringLiteral("; 板式=一板三眼\n【测试】\n春花秋月"),
                    {QStringLiteral("、上○尺●工○六"), QStringLiteral("、尺○工●六○五"),
                     QStringLiteral("、工○六●五○仩"), QStringLiteral("、六H○五●仩○伬")});
}

QVector<int> characters(const Melody &m) {
    QVector<int> out;
    for (const Note &n : m.notes) {
        out.append(n.character);
    }
    return out;
}

} // namespace

class TestPlaybackExcerpt : public QObject {
    Q_OBJECT

private slots:
    void wholePieceIsTheMelody();
    void fromACharacterStartsAtItsFirstNote();
    void loopRangeEndsWithItsLastCharacter();
    void countInIsOneMeasureOfClicks();
    void keyAndOctaveForThisPlaybackOnly();
    void outsideTheNotes();
};

void TestPlaybackExcerpt::wholePieceIsTheMelody() {
    const Melody m = fourMeasures();
    QCOMPARE(m.notes.size(), 16);
    const Melody all = PlaybackExcerpt::cut(m, {});
    QCOMPARE(all.notes, m.notes);
    QCOMPARE(all.clicks, m.clicks);
    QCOMPARE(all.length(), m.length());
}

void TestPlaybackExcerpt::fromACharacterStartsAtItsFirstNote() {
    const Melody m = fourMeasures();
    PlaybackExcerpt::Request r;
    r.fromCharacter = 2;
    const Melody e = PlaybackExcerpt::cut(m, r);
    QCOMPARE(characters(e), (QVector<int>{2, 2, 2, 2, 3, 3, 3, 3}));
    const qint64 from = m.notes.at(8).onset;
    for (int i = 0; i < e.notes.size(); ++i) {
        const Note &was = m.notes.at(8 + i);
        QCOMPARE(e.notes.at(i).onset, was.onset - from);
        QCOMPARE(e.notes.at(i).midi, was.midi);
        QCOMPARE(e.notes.at(i).place, was.place); // the highlight finds the symbol
        QCOMPARE(e.notes.at(i).gracesBefore, was.gracesBefore);
    }
    QCOMPARE(e.notes.first().onset, 0);
    QCOMPARE(e.length(), m.length() - from);
    // The clicks of the two measures, the first a 板 at 0.
    QCOMPARE(e.clicks.size(), 8);
    QCOMPARE(e.clicks.first(), (BeatClick{0, true}));
    // Its bars keep their place: the first 板 at the start.
    QCOMPARE(e.sections.size(), 1);
    QCOMPARE(e.sections.first().start, 0);
    QCOMPARE(e.sections.first().firstDownbeat, 0);
    QCOMPARE(e.sections.first().firstNote, 0);
    QCOMPARE(e.sections.first().noteCount, 8);
}

void TestPlaybackExcerpt::loopRangeEndsWithItsLastCharacter() {
    const Melody m = fourMeasures();
    PlaybackExcerpt::Request r;
    r.fromCharacter = 1;
    r.toCharacter = 2;
    const Melody e = PlaybackExcerpt::cut(m, r);
    QCOMPARE(characters(e), (QVector<int>{1, 1, 1, 1, 2, 2, 2, 2}));
    // Two measures long, so that a loop comes round on its 板.
    QCOMPARE(e.length(), 2 * 4 * ticksPerBeat);
    QCOMPARE(e.clicks.size(), 8);
    QCOMPARE(e.sections.first().end, e.length());
}

void TestPlaybackExcerpt::countInIsOneMeasureOfClicks() {
    const Melody m = fourMeasures();
    PlaybackExcerpt::Request r;
    r.fromCharacter = 3;
    r.countIn = true;
    const Melody e = PlaybackExcerpt::cut(m, r);
    const qint64 measure = 4 * ticksPerBeat;
    QCOMPARE(e.notes.first().onset, measure);
    QCOMPARE(e.clicks.at(0), (BeatClick{0, true}));
    for (int b = 1; b < 4; ++b) {
        QCOMPARE(e.clicks.at(b), (BeatClick{b * ticksPerBeat, false}));
    }
    QCOMPARE(e.clicks.at(4), (BeatClick{measure, true})); // the music's own 板
    QCOMPARE(e.length(), measure + m.length() - m.notes.at(12).onset);
    // 散板 has no measure: four beats.
    Section free;
    free.meter = Meter::SanBan;
    QCOMPARE(PlaybackExcerpt::countInBeats(free), 4);
    Section yiYan;
    yiYan.meter = Meter::YiBanYiYan;
    QCOMPARE(PlaybackExcerpt::countInBeats(yiYan), 2);
}

void TestPlaybackExcerpt::keyAndOctaveForThisPlaybackOnly() {
    const Melody m = fourMeasures();
    const MusicRules &rules = MusicRules::defaults();
    PlaybackExcerpt::Request r;
    r.key = Key::ChiZi; // 1 = C: 上 two semitones below 小工调's D
    const Melody c = PlaybackExcerpt::cut(m, r);
    const int down = rules.shangMidi(Key::ChiZi, false) - rules.shangMidi(Key::XiaoGong, false);
    QCOMPARE(down, -2);
    for (int i = 0; i < m.notes.size(); ++i) {
        QCOMPARE(c.notes.at(i).midi, m.notes.at(i).midi + down);
        for (int g = 0; g < m.notes.at(i).gracesBefore.size(); ++g) {
            QCOMPARE(c.notes.at(i).gracesBefore.at(g), m.notes.at(i).gracesBefore.at(g) + down);
        }
    }
    QCOMPARE(c.sections.first().key, Key::ChiZi);
    QVERIFY(!m.notes.at(12).gracesBefore.isEmpty() || !m.notes.at(12).gracesAfter.isEmpty());

    r.key = Key::FanZi;
    r.keyVariant = true; // E, not E♭
    QCOMPARE(PlaybackExcerpt::cut(m, r).notes.first().midi,
             m.notes.first().midi + rules.shangMidi(Key::FanZi, true) -
                 rules.shangMidi(Key::XiaoGong, false));

    PlaybackExcerpt::Request high;
    high.octave = 1;
    const Melody up = PlaybackExcerpt::cut(m, high);
    QCOMPARE(up.notes.last().midi, m.notes.last().midi + 12);
    QCOMPARE(up.sections.first().octave, 1);
    // The document states 八度=-1: an override of 0 raises it by one octave.
    const Melody low = melodyOf(QStringLiteral("; 八度=-1 板式=散板\n春"), {QStringLiteral("上")});
    PlaybackExcerpt::Request middle;
    middle.octave = 0;
    QCOMPARE(PlaybackExcerpt::cut(low, middle).notes.first().midi, low.notes.first().midi + 12);
}

void TestPlaybackExcerpt::outsideTheNotes() {
    const Melody m = fourMeasures();
    PlaybackExcerpt::Request after;
    after.fromCharacter = 9; // past the last character: from the beginning
    QCOMPARE(PlaybackExcerpt::cut(m, after).notes, m.notes);
    PlaybackExcerpt::Request backwards;
    backwards.fromCharacter = 3;
    backwards.toCharacter = 1;
    QVERIFY(PlaybackExcerpt::cut(m, backwards).notes.isEmpty());
    QVERIFY(PlaybackExcerpt::cut(Melody(), {}).notes.isEmpty());
}

QTEST_MAIN(TestPlaybackExcerpt)
#include "tst_playbackexcerpt.moc"
