// Sharing the time between two beat marks among the notes that sound there.
#include "music/beatsplitter.h"
#include "music/musicrules.h"

#include <QRandomGenerator>
#include <QtTest>
#include <numeric>

using namespace music;

namespace {

QVector<bool> plain(int n) {
    return QVector<bool>(n, false);
}

qint64 sum(const QVector<qint64> &v) {
    return std::accumulate(v.begin(), v.end(), qint64(0));
}

} // namespace

class TestBeatSplitter : public QObject {
    Q_OBJECT

private slots:
    void oneBeatTable();
    void oneBeatEqualShares();
    void smallNotesTakeAQuarterFromThePlainNoteBefore();
    void fewerNotesThanBeats();
    void moreNotesThanBeats();
    void groupsAreTheEvenSplitForPlainNotes();
    void tableComesFromTheRules();
    void spansAlwaysAddUp();
};

void TestBeatSplitter::oneBeatTable() {
    const MusicRules rules;
    const BeatSplitter s(rules);
    QCOMPARE(s.oneBeat(plain(1)), (QVector<qint64>{480}));
    QCOMPARE(s.oneBeat(plain(2)), (QVector<qint64>{240, 240}));
    QCOMPARE(s.oneBeat(plain(3)), (QVector<qint64>{240, 120, 120}));
    QCOMPARE(s.oneBeat(plain(4)), (QVector<qint64>{120, 120, 120, 120}));
}

// Beyond the table: equal shares on the ⅛ grid, earlier notes taking the
// remainder; beyond eight notes, the latest become grace notes (0 ticks).
void TestBeatSplitter::oneBeatEqualShares() {
    const MusicRules rules;
    const BeatSplitter s(rules);
    QCOMPARE(s.oneBeat(plain(5)), (QVector<qint64>{120, 120, 120, 60, 60}));
    QCOMPARE(s.oneBeat(plain(6)), (QVector<qint64>{120, 120, 60, 60, 60, 60}));
    QCOMPARE(s.oneBeat(plain(8)), QVector<qint64>(8, 60));
    QCOMPARE(s.oneBeat(plain(9)), (QVector<qint64>{60, 60, 60, 60, 60, 60, 60, 60, 0}));
}

void TestBeatSplitter::smallNotesTakeAQuarterFromThePlainNoteBefore() {
    const MusicRules rules;
    const BeatSplitter s(rules);
    QCOMPARE(s.oneBeat({false, true}), (QVector<qint64>{360, 120}));
    QCOMPARE(s.oneBeat({true, false}), (QVector<qint64>{120, 360}));
    QCOMPARE(s.oneBeat({false, true, true}), (QVector<qint64>{240, 120, 120}));
    QCOMPARE(s.oneBeat({false, false, true}), (QVector<qint64>{240, 120, 120}));
    QCOMPARE(s.oneBeat({true, true}), (QVector<qint64>{240, 240}));
    // Spans of more beats: the small note keeps the last quarter of its beat.
    QCOMPARE(s.span(3, {false, true, false}), (QVector<qint64>{840, 120, 480}));
    QCOMPARE(s.span(2, {false, true}), (QVector<qint64>{840, 120}));
    QCOMPARE(s.span(2, {true, false}), (QVector<qint64>{120, 840}));
    // The notes after a tune's last mark: a beat for each plain note.
    QCOMPARE(s.eachABeat({false, true, false}), (QVector<qint64>{360, 120, 480}));
    QCOMPARE(s.eachABeat({true, true}), (QVector<qint64>{240, 240}));
}

// k > 1: one beat a note, the last taking what is left.
void TestBeatSplitter::fewerNotesThanBeats() {
    const MusicRules rules;
    const BeatSplitter s(rules);
    QCOMPARE(s.span(1, plain(1)), (QVector<qint64>{480}));
    QCOMPARE(s.span(3, plain(1)), (QVector<qint64>{1440}));
    QCOMPARE(s.span(3, plain(2)), (QVector<qint64>{480, 960}));
    QCOMPARE(s.span(4, plain(4)), (QVector<qint64>{480, 480, 480, 480}));
    QVERIFY(s.span(2, {}).isEmpty());
}

// n > k: the notes grouped into the beats, earlier beats taking the extra.
void TestBeatSplitter::moreNotesThanBeats() {
    const MusicRules rules;
    const BeatSplitter s(rules);
    QCOMPARE(BeatSplitter::groups(2, plain(3)), (QVector<int>{2, 1}));
    QCOMPARE(BeatSplitter::groups(4, plain(6)), (QVector<int>{2, 2, 1, 1}));
    QCOMPARE(BeatSplitter::groups(3, plain(7)), (QVector<int>{3, 2, 2}));
    QCOMPARE(s.span(2, plain(3)), (QVector<qint64>{240, 240, 480}));
    QCOMPARE(s.span(2, plain(5)), (QVector<qint64>{240, 120, 120, 240, 240}));
    // Small notes weigh half: 上 尺s 工s | 六.
    QCOMPARE(BeatSplitter::groups(2, {false, true, true, false}), (QVector<int>{2, 2}));
    QCOMPARE(BeatSplitter::groups(2, {false, true, true, false, false}), (QVector<int>{3, 2}));
    // Every beat gets a note, however the weights fall.
    QCOMPARE(BeatSplitter::groups(3, {true, true, true, false}), (QVector<int>{2, 1, 1}));
}

void TestBeatSplitter::groupsAreTheEvenSplitForPlainNotes() {
    for (int k = 1; k <= 8; ++k) {
        for (int n = k + 1; n <= 4 * k; ++n) {
            QVector<int> even;
            for (int b = 0; b < k; ++b) {
                even.append(n / k + (b < n % k ? 1 : 0));
            }
            QCOMPARE(BeatSplitter::groups(k, plain(n)), even);
        }
    }
}

void TestBeatSplitter::tableComesFromTheRules() {
    MusicRules rules;
    rules.oneBeatShares[2] = {2, 2, 4}; // three notes: ¼ ¼ ½
    const BeatSplitter s(rules);
    QCOMPARE(s.oneBeat(plain(3)), (QVector<qint64>{120, 120, 240}));
    rules.beatGrid = 4; // a ¼ grid holds four notes a beat, the fifth is a grace
    QCOMPARE(BeatSplitter(rules).oneBeat(plain(5)), (QVector<qint64>{120, 120, 120, 120, 0}));
}

void TestBeatSplitter::spansAlwaysAddUp() {
    const MusicRules rules;
    const BeatSplitter s(rules);
    QRandomGenerator random(7);
    for (int round = 0; round < 2000; ++round) {
        const int beats = 1 + int(random.bounded(8));
        QVector<bool> small;
        const int n = 1 + int(random.bounded(20));
        for (int i = 0; i < n; ++i) {
            small.append(random.bounded(3) == 0);
        }
        const QVector<qint64> d = s.span(beats, small);
        QCOMPARE(d.size(), n);
        QCOMPARE(sum(d), qint64(beats) * ticksPerBeat);
        for (qint64 x : d) {
            QVERIFY(x == 0 || x >= ticksPerBeat / 8); // a grace, or at least ⅛ beat
        }
    }
}

QTEST_MAIN(TestBeatSplitter)
#include "tst_beatsplitter.moc"
