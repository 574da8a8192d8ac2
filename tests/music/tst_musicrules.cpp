// The rule tables: pitches, keys, meters (and their 加赠 forms), the scale the
// ornaments step along, meter detection, and reading annotation lines.
#include "music/annotation.h"
#include "music/melody.h"
#include "music/meterdetector.h"
#include "music/musicrules.h"

#include <QtTest>

using namespace music;
using S = GongcheSymbol;

class TestMusicRules : public QObject {
    Q_OBJECT

private slots:
    void pitchesInSemitonesFromShang();
    void keyTableKeepsBothSources();
    void meterTable();
    void zengIsDerivedFromThePlainMeter();
    void zengPlacementIsASetting();
    void beatsPerMeasure();
    void scaleSteps();
    void detectionThresholdsComeFromTheRules();
    void annotationItems_data();
    void annotationItems();
};

void TestMusicRules::pitchesInSemitonesFromShang() {
    const MusicRules rules;
    const int expected[] = {-5, -3, -1, 0, 2, 4, 5, 7, 9, 11};
    for (int i = 0; i < 10; ++i) {
        const S plainSign(S::pitchCode(S::Series::Plain, S::Octave::Middle, S::PitchName(i)));
        QCOMPARE(rules.semitones(plainSign), expected[i]);
        // 气口 and small forms are the same pitch.
        const S small(S::pitchCode(S::Series::SmallQiKou, S::Octave::Middle, S::PitchName(i)));
        QCOMPARE(rules.semitones(small), expected[i]);
    }
    QCOMPARE(rules.semitones(S(S::pitchCode(S::Series::Plain, S::Octave::Low, S::PitchName::He))),
             -17);
    QCOMPARE(
        rules.semitones(S(S::pitchCode(S::Series::Plain, S::Octave::High, S::PitchName::Shang))),
        12);
    QCOMPARE(rules.semitones(
                 S(S::pitchCode(S::Series::Plain, S::Octave::DoubleHigh, S::PitchName::Shang))),
             24);
}

void TestMusicRules::keyTableKeepsBothSources() {
    const MusicRules rules;
    QCOMPARE(rules.keys.size(), 7);
    QCOMPARE(rules.shangMidi(Key::XiaoGong, false), 74);
    QCOMPARE(rules.shangMidi(Key::FanZi, false), 75);
    QCOMPARE(rules.shangMidi(Key::FanZi, true), 76);
    QCOMPARE(rules.shangMidi(Key::LiuZi, false), 77);
    QCOMPARE(rules.shangMidi(Key::ZhengGong, false), 79);
    QCOMPARE(rules.shangMidi(Key::YiZi, false), 69);
    QCOMPARE(rules.shangMidi(Key::ShangZi, false), 70);
    QCOMPARE(rules.shangMidi(Key::ShangZi, true), 71);
    QCOMPARE(rules.shangMidi(Key::ChiZi, false), 72);
    // Where all sources agree the variant is the key itself.
    QCOMPARE(rules.shangMidi(Key::LiuZi, true), 77);
    QCOMPARE(rules.keyName(Key::FanZi, true), QStringLiteral("凡字调(E)"));
    QCOMPARE(rules.keyName(Key::ZhengGong, false), QStringLiteral("正工调"));
    // 小工调's 合 is the flute's lowest note.
    QCOMPARE(rules.midi(-5, Key::XiaoGong, false, 0), rules.fluteLowest);
    QCOMPARE(rules.midi(0, Key::XiaoGong, false, -1), 62);
    QCOMPARE(rules.start.key, Key::XiaoGong);
}

void TestMusicRules::meterTable() {
    const MusicRules rules;
    const MusicRules::MeterRule sanYan = rules.meterRule(Meter::YiBanSanYan, false);
    QCOMPARE(sanYan.beats, 4);
    QCOMPARE(sanYan.indices(S::Beat::Ban), (QVector<int>{0}));
    QCOMPARE(sanYan.indices(S::Beat::XiaoYan), (QVector<int>{1, 3}));
    QCOMPARE(sanYan.indices(S::Beat::ZhongYan), (QVector<int>{2}));
    QVERIFY(sanYan.indices(S::Beat::ZengBan).isEmpty());
    const MusicRules::MeterRule yiYan = rules.meterRule(Meter::YiBanYiYan, false);
    QCOMPARE(yiYan.beats, 2);
    QCOMPARE(yiYan.indices(S::Beat::XiaoYan), (QVector<int>{1}));
    QCOMPARE(yiYan.indices(S::Beat::ZhongYan), (QVector<int>{1}));
    const MusicRules::MeterRule liuShui = rules.meterRule(Meter::LiuShui, false);
    QCOMPARE(liuShui.beats, 1);
    QVERIFY(liuShui.indices(S::Beat::XiaoYan).isEmpty());
    QVERIFY(liuShui.names.contains(QStringLiteral("有板无眼")));
    QCOMPARE(rules.meterRule(Meter::SanBan, false).beats, 0);
    QCOMPARE(rules.meterRule(Meter::LiuShui, true).beats, 0); // no 加赠 form
}

void TestMusicRules::zengIsDerivedFromThePlainMeter() {
    const MusicRules rules;
    const MusicRules::MeterRule zeng = rules.meterRule(Meter::YiBanSanYan, true);
    QCOMPARE(zeng.beats, 8);
    QCOMPARE(zeng.ban, (QVector<int>{0}));
    QCOMPARE(zeng.zengBan, (QVector<int>{4}));
    QCOMPARE(zeng.xiaoYan, (QVector<int>{1, 3, 5, 7}));
    QCOMPARE(zeng.zhongYan, (QVector<int>{2, 6}));
    QCOMPARE(zeng.strongIndices(), (QVector<int>{0, 4}));
    QCOMPARE(rules.meterName(Meter::YiBanSanYan, true), QStringLiteral("加赠一板三眼"));
    const MusicRules::MeterRule zengYiYan = rules.meterRule(Meter::YiBanYiYan, true);
    QCOMPARE(zengYiYan.beats, 4);
    QCOMPARE(zengYiYan.zengBan, (QVector<int>{2}));
    QCOMPARE(zengYiYan.xiaoYan, (QVector<int>{1, 3}));
}

void TestMusicRules::zengPlacementIsASetting() {
    MusicRules rules;
    rules.zengBanAt = 0.75;
    const MusicRules::MeterRule zeng = rules.meterRule(Meter::YiBanSanYan, true);
    QCOMPARE(zeng.zengBan, (QVector<int>{6}));
    QCOMPARE(zeng.zhongYan, (QVector<int>{2}));
}

void TestMusicRules::beatsPerMeasure() {
    Section s;
    QCOMPARE(s.beatsPerMeasure(), 0);
    s.meter = Meter::YiBanSanYan;
    QCOMPARE(s.beatsPerMeasure(), 4);
    s.zeng = true;
    QCOMPARE(s.beatsPerMeasure(), 8);
    s.meter = Meter::YiBanYiYan;
    QCOMPARE(s.beatsPerMeasure(), 4);
    s.zeng = false;
    QCOMPARE(s.beatsPerMeasure(), 2);
    s.meter = Meter::LiuShui;
    QCOMPARE(s.beatsPerMeasure(), 1);
}

// The next pitch name up or down in 合四一上尺工凡六五乙 order, with octaves.
void TestMusicRules::scaleSteps() {
    const MusicRules rules;
    QCOMPARE(rules.scaleStep(0, 1), 2);    // 上 → 尺
    QCOMPARE(rules.scaleStep(4, 1), 5);    // 工 → 凡
    QCOMPARE(rules.scaleStep(5, 1), 7);    // 凡 → 六
    QCOMPARE(rules.scaleStep(11, 1), 12);  // 乙 → 仩
    QCOMPARE(rules.scaleStep(0, -1), -1);  // 上 → 一
    QCOMPARE(rules.scaleStep(-5, -1), -7); // 合 → low 凡
    QCOMPARE(rules.scaleStep(-5, 0), -5);
    QCOMPARE(rules.scaleStep(2, 7), 14);   // an octave up
    QCOMPARE(rules.scaleStep(2, -7), -10); // an octave down
}

void TestMusicRules::detectionThresholdsComeFromTheRules() {
    MusicRules rules;
    MeterDetector::Counts counts;
    counts.ban = 4;
    counts.notes = 12; // three notes a 板
    QCOMPARE(MeterDetector::detect(counts, rules).meter, Meter::YiBanYiYan);
    rules.threeEyesNotesPerBan = 3;
    QCOMPARE(MeterDetector::detect(counts, rules).meter, Meter::YiBanSanYan);
    counts.notes = 4;
    QCOMPARE(MeterDetector::detect(counts, rules).meter, Meter::LiuShui);
    counts.xiaoYan = 1; // 流水板 has no 眼
    QCOMPARE(MeterDetector::detect(counts, rules).meter, Meter::YiBanYiYan);
    MeterDetector::Counts onlyDiBan;
    onlyDiBan.diBan = 3;
    onlyDiBan.notes = 10;
    QCOMPARE(MeterDetector::detect(onlyDiBan, rules).meter, Meter::SanBan);
}

void TestMusicRules::annotationItems_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("meter");
    QTest::addColumn<bool>("zeng");
    QTest::newRow("一板三眼") << "; 板式=一板三眼" << true << int(Meter::YiBanSanYan) << false;
    QTest::newRow("有板无眼") << "; 板式=有板无眼" << true << int(Meter::LiuShui) << false;
    QTest::newRow("散板") << "; 板式=散板" << true << int(Meter::SanBan) << false;
    QTest::newRow("加赠一板一眼") << "; 板式=加赠一板一眼" << true << int(Meter::YiBanYiYan)
                                  << true;
    QTest::newRow("赠板一板三眼") << "; 板式=赠板一板三眼" << true << int(Meter::YiBanSanYan)
                                  << true;
    QTest::newRow("赠板") << "; 板式=赠板" << true << int(Meter::YiBanSanYan) << true;
    QTest::newRow("加赠流水板") << "; 板式=加赠流水板" << false << 0 << false;
    QTest::newRow("no value") << "; 板式=" << false << 0 << false;
    QTest::newRow("no name") << "; =散板" << false << 0 << false;
}

void TestMusicRules::annotationItems() {
    QFETCH(QString, line);
    QFETCH(bool, ok);
    QFETCH(int, meter);
    QFETCH(bool, zeng);
    QVERIFY(Annotation::isAnnotation(line));
    const MusicRules rules;
    TuneSettings settings;
    QVector<Problem> problems;
    Annotation::apply(line, 3, rules, &settings, &problems);
    QCOMPARE(problems.isEmpty(), ok);
    QCOMPARE(settings.meterStated, ok);
    if (ok) {
        QCOMPARE(int(settings.meter), meter);
        QCOMPARE(settings.zeng, zeng);
    } else {
        QCOMPARE(problems.first().place.pane, Place::Pane::Lyric);
        QCOMPARE(problems.first().place.line, 3);
        QCOMPARE(problems.first().place.column, 2);
        QCOMPARE(problems.first().message, QStringLiteral("无法识别的设置：%1").arg(line.mid(2)));
    }
    QVERIFY(!Annotation::isAnnotation(QStringLiteral("; 笛色：小工调")));
}

QTEST_MAIN(TestMusicRules)
#include "tst_musicrules.moc"
