// The melody of a score: golden examples of the rhythm rules (a pickup, 腰板,
// 底板, 散板, 加赠板), the shared 头眼/末眼 sign, keys, meter detection,
// annotation lines, the checker's problems, ornaments, and building a document
// tune by tune.
#include "model/scorefile.h"
#include "music/melodybuilder.h"
#include "music/musicrules.h"
#include "musicfixture.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace music;
using namespace musicfixture;

namespace {

const QString sanYan = QStringLiteral("; 板式=一板三眼\n");

// The sum of what the tunes give, built one by one as an editor would.
Melody byTunes(const DocumentLines &lines, const MelodyBuilder &builder) {
    Melody out;
    TuneSettings settings = builder.initialSettings();
    for (const MelodyBuilder::Tune &t : MelodyBuilder::tunes(lines)) {
        const DocumentLines part = lines.mid(t.firstLine, t.lineCount);
        MelodyBuilder::append(&out,
                              builder.buildTune(part, t.firstLine, t.firstCharacter, settings));
        settings =
            MelodyBuilder::settingsAfter(part, settings, nullptr, t.firstLine, builder.rules());
    }
    return out;
}

const Problem *problemWith(const Melody &m, const QString &message) {
    for (const Problem &p : m.problems) {
        if (p.message == message) {
            return &p;
        }
    }
    return nullptr;
}

} // namespace

class TestMelody : public QObject {
    Q_OBJECT

private slots:
    // Worked examples.
    void pickup();
    void yaoBanHeldAcrossTheBarLine();
    void diBanEndsItsNote();
    void diBanThenARest();
    void sanBan();
    void jiaZengBan();
    void smallNotesCountHalf();
    void qiKouAndPlaces();
    void headMarkAtTheStartOfALine();
    // Marks and meters.
    void sharedEyeSign_data();
    void sharedEyeSign();
    void everyKey_data();
    void everyKey();
    void octaveSetting();
    void detection_data();
    void detection();
    void statedMeterWins();
    // Annotations.
    void annotationLine();
    void annotationsHoldAcrossHeadings();
    void annotationAfterTheFirstNote();
    void malformedAnnotation();
    void commentWithoutEqualsSign();
    // Checker.
    void markWithoutPitch();
    void markOutsideTheMeter();
    void possiblyMissedBan();
    void outsideTheFluteCompass();
    void characterWithoutPitch();
    void notAGongcheSymbol();
    // Ornaments.
    void ornamentsComeFromTheTable();
    void ornamentTableIsEditable();
    // Tune by tune.
    void adviceSaysWhatToDo_data();
    void adviceSaysWhatToDo();
    void insertingTheSuggestedLineAnswersIt_data();
    void insertingTheSuggestedLineAnswersIt();

    void buildIsTheTunesJoined();
    void sampleDocument();
    void randomScoresKeepTheInvariants();
};

// 一板三眼. Two notes before the first 板 are a pickup of one beat.
//   春 四 上          pickup: ½ ½
//   花 尺、 工○        板 on 尺, 头眼 on 工
//   秋 上● 尺          中眼 on 上: 上 尺 share the beat
//   月 工○            末眼 on 工, held to the end of the measure
void TestMelody::pickup() {
    const Melody m = melodyOf(sanYan + QStringLiteral("【测试】\n春花秋月"),
                              {QStringLiteral("四上"), QStringLiteral("尺、工○"),
                               QStringLiteral("上●尺"), QStringLiteral("工○")});
    QCOMPARE(onsets(m), (QVector<qint64>{0, 240, 480, 960, 1440, 1680, 1920}));
    QCOMPARE(durations(m), (QVector<qint64>{240, 240, 480, 480, 240, 240, 480}));
    QCOMPARE(midis(m), (QVector<int>{71, 74, 76, 78, 74, 76, 78}));
    QCOMPARE(clicks(m), (QStringList{"480:板", "960:眼", "1440:眼", "1920:眼"}));
    QCOMPARE(m.sections.size(), 1);
    const Section &s = m.sections.first();
    QCOMPARE(s.quPai, QStringLiteral("测试"));
    QCOMPARE(s.lyricLine, 1);
    QCOMPARE(s.meter, Meter::YiBanSanYan);
    QVERIFY(!s.meterGuessed);
    QCOMPARE(s.start, qint64(0));
    QCOMPARE(s.firstDownbeat, qint64(480));
    QCOMPARE(s.end, qint64(2400));
    QCOMPARE(s.firstNote, 0);
    QCOMPARE(s.noteCount, 7);
    QCOMPARE(s.beatsPerMeasure(), 4);
    QVERIFY(m.problems.isEmpty());
}

// A 腰板 puts the 板 inside 工: it starts half a beat early and is held
// across the bar line.
//   上、尺 | 工○ | 六●工 | 尺○工Y上 | 尺○
void TestMelody::yaoBanHeldAcrossTheBarLine() {
    const Melody m =
        melodyOf(sanYan + QStringLiteral("【测试】\n春花秋月明"),
                 {QStringLiteral("上、尺"), QStringLiteral("工○"), QStringLiteral("六●工"),
                  QStringLiteral("尺○工Y上"), QStringLiteral("尺○")});
    QCOMPARE(onsets(m), (QVector<qint64>{0, 240, 480, 960, 1200, 1440, 1680, 2160, 2400}));
    QCOMPARE(durations(m), (QVector<qint64>{240, 240, 480, 240, 240, 240, 480, 240, 1440}));
    QCOMPARE(midis(m), (QVector<int>{74, 76, 78, 81, 78, 76, 78, 74, 76}));
    QCOMPARE(clicks(m), (QStringList{"0:板", "480:眼", "960:眼", "1440:眼", "1920:板", "2400:眼"}));
    const Note &held = m.notes.at(6);
    QVERIFY(held.onset < 1920 && held.onset + held.duration > 1920);
    QCOMPARE(m.sections.first().firstDownbeat, qint64(0));
    QCOMPARE(m.sections.first().end, qint64(3840));
}

// 一板一眼. A 底板 is the 板 at the end of its note: 六 ends on the 板 and 五
// starts there.
//   上、尺 | 工○六D | 五六○
void TestMelody::diBanEndsItsNote() {
    const Melody m =
        melodyOf(QStringLiteral("; 板式=一板一眼\n【测试】\n春花秋"),
                 {QStringLiteral("上、尺"), QStringLiteral("工○六D"), QStringLiteral("五六○")});
    QCOMPARE(onsets(m), (QVector<qint64>{0, 240, 480, 720, 960, 1440}));
    QCOMPARE(durations(m), (QVector<qint64>{240, 240, 240, 240, 480, 480}));
    QCOMPARE(midis(m), (QVector<int>{74, 76, 78, 81, 83, 81}));
    QCOMPARE(clicks(m), (QStringList{"0:板", "480:眼", "960:板", "1440:眼"}));
    QCOMPARE(m.sections.first().end, qint64(1920));
    QCOMPARE(m.sections.first().beatsPerMeasure(), 2);
    QVERIFY(!m.notes.at(3).fermata); // a fermata is for 散板 only
}

// 一板三眼: 尺 ends on the next 板 (k = 4: 上 takes a beat, 尺 the rest); the
// 头眼 on 工 leaves the beat after the 板 silent.
void TestMelody::diBanThenARest() {
    const Melody m = melodyOf(sanYan + QStringLiteral("【测试】\n春花"),
                              {QStringLiteral("上、尺D"), QStringLiteral("工○")});
    QCOMPARE(onsets(m), (QVector<qint64>{0, 480, 2400}));
    QCOMPARE(durations(m), (QVector<qint64>{480, 1440, 1440}));
    QCOMPARE(clicks(m), (QStringList{"0:板", "1920:板", "2400:眼"}));
    QCOMPARE(m.sections.first().end, qint64(3840));
}

// 散板, detected: only 底板 is marked. A beat a note, 1½ for the first note
// of a character, small notes half; 花 ends a sentence (。) and 月 carries a
// 底板: both hold.
void TestMelody::sanBan() {
    const Melody m = melodyOf(QStringLiteral("【引子】\n春花。秋月"),
                              {QStringLiteral("上尺"), QStringLiteral("工"),
                               QStringLiteral("六五s"), QStringLiteral("工D")});
    QCOMPARE(onsets(m), (QVector<qint64>{0, 720, 1200, 1920, 2640, 2880}));
    QCOMPARE(durations(m), (QVector<qint64>{720, 480, 720, 720, 240, 720}));
    QCOMPARE(midis(m), (QVector<int>{74, 76, 78, 81, 83, 78}));
    QVector<bool> fermatas;
    for (const Note &n : m.notes) {
        fermatas.append(n.fermata);
    }
    QCOMPARE(fermatas, (QVector<bool>{false, false, true, false, false, true}));
    QCOMPARE(clicks(m), (QStringList{"3600:板"}));
    const Section &s = m.sections.first();
    QCOMPARE(s.meter, Meter::SanBan);
    QVERIFY(s.meterGuessed);
    QCOMPARE(s.beatsPerMeasure(), 0);
    QCOMPARE(s.end, qint64(3600));
    QCOMPARE(m.problems.size(), 1);
    QCOMPARE(m.problems.first().severity, Problem::Severity::Information);
    QCOMPARE(m.problems.first().message, QStringLiteral("推测板式：散板"));
    QCOMPARE(m.problems.first().place, lyricAt(0));
}

// 加赠一板三眼: eight beats, the 赠板 on the fifth. The 中眼 on 尺 after the 赠板
// takes index 6, so 四 and 上 get a beat each.
//   上、尺 | 工○ | 尺● | 上○ | 四×上 | 尺● | 工○ | 尺、
void TestMelody::jiaZengBan() {
    const QStringList score = {QStringLiteral("上、尺"), QStringLiteral("工○"),
                               QStringLiteral("尺●"),    QStringLiteral("上○"),
                               QStringLiteral("四×上"),  QStringLiteral("尺●"),
                               QStringLiteral("工○"),    QStringLiteral("尺、")};
    const QString lyric = QStringLiteral("【测试】\n春花秋月何时了往");
    const Melody stated = melodyOf(QStringLiteral("; 板式=加赠一板三眼\n") + lyric, score);
    QCOMPARE(onsets(stated),
             (QVector<qint64>{0, 240, 480, 960, 1440, 1920, 2400, 2880, 3360, 3840}));
    QCOMPARE(durations(stated),
             (QVector<qint64>{240, 240, 480, 480, 480, 480, 480, 480, 480, 3840}));
    QCOMPARE(midis(stated), (QVector<int>{74, 76, 78, 76, 74, 71, 74, 76, 78, 76}));
    QCOMPARE(clicks(stated), (QStringList{"0:板", "480:眼", "960:眼", "1440:眼", "1920:板",
                                          "2880:眼", "3360:眼", "3840:板"}));
    const Section &s = stated.sections.first();
    QVERIFY(s.zeng);
    QCOMPARE(s.beatsPerMeasure(), 8);
    QCOMPARE(s.end, qint64(7680));
    QVERIFY(stated.problems.isEmpty());

    // Detected the same from the 赠板 and the 中眼.
    const Melody detected = melodyOf(lyric, score);
    QCOMPARE(detected.notes, stated.notes);
    QCOMPARE(messages(detected), (QStringList{"推测板式：加赠一板三眼"}));
}

// A small note keeps half the share of a plain note in its place; the other
// half goes to the plain note before it, or after it when none is before.
//   上、尺s | 六s○工 | 五●
void TestMelody::smallNotesCountHalf() {
    const Melody m =
        melodyOf(sanYan + QStringLiteral("【测试】\n春花秋"),
                 {QStringLiteral("上、尺s"), QStringLiteral("六s○工"), QStringLiteral("五●")});
    QCOMPARE(onsets(m), (QVector<qint64>{0, 360, 480, 600, 960}));
    QCOMPARE(durations(m), (QVector<qint64>{360, 120, 120, 360, 960}));
    QVERIFY(m.notes.at(1).small);
    QVERIFY(!m.notes.at(0).small);
}

// 气口 is a breath after the note; a note knows its character, the sung text
// on a character's first note, and the place of its sign.
void TestMelody::qiKouAndPlaces() {
    const Melody m =
        melodyOf(QStringLiteral("# 题\n【测试】\n春 花"),
                 {QStringLiteral("上k尺"), QStringLiteral("工"), QStringLiteral("六、五")});
    QCOMPARE(m.notes.size(), 5);
    QVERIFY(m.notes.at(0).breathAfter);
    QVERIFY(!m.notes.at(1).breathAfter);
    QCOMPARE(m.notes.at(0).lyric, QStringLiteral("春"));
    QCOMPARE(m.notes.at(1).lyric, QString());
    QCOMPARE(m.notes.at(2).lyric, QString()); // the space sings no syllable
    QCOMPARE(m.notes.at(2).character, 1);
    QCOMPARE(m.notes.at(3).lyric, QStringLiteral("花"));
    QCOMPARE(m.notes.at(4).character, 2);
    QCOMPARE(m.notes.at(1).place, scoreAt(0, 2, 2));
    QCOMPARE(m.notes.at(4).place, scoreAt(2, 4, 2));
}

// A 头 mark before any pitch of its line stands between the previous
// character's last pitch and the next: the 板 falls on the next onset. A 腰
// mark there belongs to the previous character's last pitch.
void TestMelody::headMarkAtTheStartOfALine() {
    const Melody m = melodyOf(sanYan + QStringLiteral("【测试】\n春花秋月"),
                              {QStringLiteral("上、尺"), QStringLiteral("○工"),
                               QStringLiteral("y六"), QStringLiteral("○尺")});
    // ○ before 工 falls on its onset (index 1); y holds 工 across the next
    // free 眼 index, 3; ○ before 尺 takes 5, passing the unmarked 板 at 4.
    QCOMPARE(clicks(m), (QStringList{"0:板", "480:眼", "1440:眼", "2400:眼"}));
    QCOMPARE(onsets(m), (QVector<qint64>{0, 240, 480, 1920, 2400}));
    QCOMPARE(durations(m), (QVector<qint64>{240, 240, 1440, 480, 1440}));
    QVERIFY(problemWith(m, QStringLiteral("可能漏板")));
}

void TestMelody::sharedEyeSign_data() {
    QTest::addColumn<QStringList>("score");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("、○●○") << QStringList{"上、", "尺○", "工●", "尺○"}
                           << QStringList{"0:板", "480:眼", "960:眼", "1440:眼"};
    QTest::newRow("、●○") << QStringList{"上、", "工●", "尺○"}
                          << QStringList{"0:板", "960:眼", "1440:眼"};
    QTest::newRow("、○、") << QStringList{"上、", "工○", "尺、"}
                           << QStringList{"0:板", "480:眼", "1920:板"};
}

// 头眼 and 末眼 share a sign: it takes the next free index of {1, 3}.
void TestMelody::sharedEyeSign() {
    QFETCH(QStringList, score);
    QFETCH(QStringList, expected);
    QString lyric = sanYan + QStringLiteral("【测试】\n");
    lyric += QStringLiteral("春花秋月").left(score.size());
    const Melody m = melodyOf(lyric, score);
    QCOMPARE(clicks(m), expected);
    QVERIFY(m.problems.isEmpty());
}

void TestMelody::everyKey_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("variant");
    QTest::addColumn<int>("shang");
    QTest::newRow("小工调") << "小工调" << int(Key::XiaoGong) << false << 74;
    QTest::newRow("凡字调") << "凡字调" << int(Key::FanZi) << false << 75;
    QTest::newRow("凡字调(E♭)") << "凡字调(E♭)" << int(Key::FanZi) << false << 75;
    QTest::newRow("凡字调(E)") << "凡字调(E)" << int(Key::FanZi) << true << 76;
    QTest::newRow("六字调") << "六字调" << int(Key::LiuZi) << false << 77;
    QTest::newRow("正工调") << "正工调" << int(Key::ZhengGong) << false << 79;
    QTest::newRow("五字调") << "五字调" << int(Key::ZhengGong) << false << 79;
    QTest::newRow("乙字调") << "乙字调" << int(Key::YiZi) << false << 69;
    QTest::newRow("上字调") << "上字调" << int(Key::ShangZi) << false << 70;
    QTest::newRow("上字调（B）") << "上字调（B）" << int(Key::ShangZi) << true << 71;
    QTest::newRow("尺字调") << "尺字调" << int(Key::ChiZi) << false << 72;
}

// The 笛色 sets the pitch of 上; 合 is five semitones below.
void TestMelody::everyKey() {
    QFETCH(QString, value);
    QFETCH(int, key);
    QFETCH(bool, variant);
    QFETCH(int, shang);
    const Melody m = melodyOf(QStringLiteral("; 笛色=%1 板式=散板\n【测试】\n春花").arg(value),
                              {QStringLiteral("上"), QStringLiteral("合六")});
    QCOMPARE(midis(m), (QVector<int>{shang, shang - 5, shang + 7}));
    QCOMPARE(int(m.sections.first().key), key);
    QCOMPARE(m.sections.first().keyVariant, variant);
    QCOMPARE(MusicRules().shangMidi(Key(key), variant), shang);
}

void TestMelody::octaveSetting() {
    const Melody down = melodyOf(QStringLiteral("; 八度=-1 板式=散板\n春"), {"上H"});
    QCOMPARE(midis(down), (QVector<int>{62}));
    QCOMPARE(down.notes.first().gracesAfter, (QVector<int>{64}));
    QCOMPARE(down.sections.first().octave, -1);
    QVERIFY(down.problems.isEmpty()); // the compass is the flute's, before the octave
    const Melody up = melodyOf(QStringLiteral("; 八度=1 板式=散板\n春"), {"上"});
    QCOMPARE(midis(up), (QVector<int>{86}));
}

void TestMelody::detection_data() {
    QTest::addColumn<QStringList>("score");
    QTest::addColumn<int>("meter");
    QTest::addColumn<bool>("zeng");
    QTest::addColumn<QString>("message");
    QTest::newRow("引子, 底板 only")
        << QStringList{"上尺D", "工", "六五工D"} << int(Meter::SanBan) << false << "推测板式：散板";
    QTest::newRow("no marks") << QStringList{"上尺", "工"} << int(Meter::SanBan) << false
                              << "推测板式：散板";
    QTest::newRow("、 and ● only") << QStringList{"上、尺", "工●", "六、", "五●尺"}
                                   << int(Meter::YiBanSanYan) << false << "推测板式：一板三眼";
    QTest::newRow("four notes a 板") << QStringList{"上、尺工", "六五", "上、尺工", "六"}
                                     << int(Meter::YiBanSanYan) << false << "推测板式：一板三眼";
    QTest::newRow("two notes a 板") << QStringList{"上、尺", "工、六", "工、尺"}
                                    << int(Meter::YiBanYiYan) << false << "推测板式：一板一眼";
    QTest::newRow("a 板 on every note") << QStringList{"上、", "尺、", "工、", "六、"}
                                        << int(Meter::LiuShui) << false << "推测板式：流水板";
    QTest::newRow("赠板 and 中眼") << QStringList{"上、尺", "工●", "六×", "五●"}
                                   << int(Meter::YiBanSanYan) << true << "推测板式：加赠一板三眼";
    QTest::newRow("赠板, few notes") << QStringList{"上、尺", "工×六", "上、尺"}
                                     << int(Meter::YiBanYiYan) << true << "推测板式：加赠一板一眼";
}

// Each tune's meter is read from its marks when no annotation states it, and
// the guess is reported at its heading.
void TestMelody::detection() {
    QFETCH(QStringList, score);
    QFETCH(int, meter);
    QFETCH(bool, zeng);
    QFETCH(QString, message);
    const QString lyric =
        QStringLiteral("# 题\n【测试】\n") + QStringLiteral("春花秋月").left(score.size());
    const Melody m = melodyOf(lyric, score);
    QCOMPARE(int(m.sections.first().meter), meter);
    QCOMPARE(m.sections.first().zeng, zeng);
    QVERIFY(m.sections.first().meterGuessed);
    QCOMPARE(messages(m), QStringList{message});
    QCOMPARE(m.problems.first().severity, Problem::Severity::Information);
    QCOMPARE(m.problems.first().place, lyricAt(1));
}

// An explicit 板式 wins over what the marks suggest: in 一板一眼 the 中眼 is its
// one 眼.
void TestMelody::statedMeterWins() {
    const Melody m =
        melodyOf(QStringLiteral("; 板式=一板一眼\n【测试】\n春花秋"),
                 {QStringLiteral("上、尺"), QStringLiteral("工●"), QStringLiteral("六、")});
    QCOMPARE(m.sections.first().meter, Meter::YiBanYiYan);
    QVERIFY(!m.sections.first().meterGuessed);
    QCOMPARE(clicks(m), (QStringList{"0:板", "480:眼", "960:板"}));
    QVERIFY(m.problems.isEmpty());
}

void TestMelody::annotationLine() {
    const Melody m =
        melodyOf(QStringLiteral("# 题\n; 笛色=六字调 板式=一板一眼 速度=72 八度=-1\n【测试】\n春"),
                 {QStringLiteral("上、")});
    QVERIFY(m.problems.isEmpty());
    const Section &s = m.sections.first();
    QCOMPARE(s.key, Key::LiuZi);
    QCOMPARE(s.meter, Meter::YiBanYiYan);
    QVERIFY(!s.meterGuessed);
    QCOMPARE(s.tempo, 72);
    QCOMPARE(s.octave, -1);
    QCOMPARE(midis(m), (QVector<int>{65}));

    // Spaces around the sign, a full-width sign, full-width digits.
    const Melody wide =
        melodyOf(QStringLiteral("; 笛色 ＝ 尺字调  速度＝９０ 八度=＋1\n春"), {"上"});
    QVERIFY(wide.problems.size() == 1); // only the guess of the meter
    QCOMPARE(wide.sections.first().key, Key::ChiZi);
    QCOMPARE(wide.sections.first().tempo, 90);
    QCOMPARE(wide.sections.first().octave, 1);
}

// 笛色, 速度 and 八度 hold until changed; a stated 板式 holds for the following
// tunes too, until another (自动 returns to detection). A tune without a stated
// meter detects its own.
void TestMelody::annotationsHoldAcrossHeadings() {
    const Melody m = melodyOf(QStringLiteral("; 笛色=尺字调 速度=50\n【甲】\n春\n"
                                             "; 板式=流水板\n【乙】\n花\n【丙】\n秋\n"
                                             "; 板式=自动 速度=80\n【丁】\n月"),
                              {QStringLiteral("上、尺、"), QStringLiteral("上、尺、"),
                               QStringLiteral("上、尺、"), QStringLiteral("上、尺工")});
    QCOMPARE(m.sections.size(), 4);
    for (const Section &s : m.sections) {
        QCOMPARE(s.key, Key::ChiZi);
    }
    QCOMPARE(m.sections.at(0).tempo, 50);
    QVERIFY(m.sections.at(0).meterGuessed);
    QCOMPARE(m.sections.at(0).meter, Meter::LiuShui);
    QCOMPARE(m.sections.at(1).meter, Meter::LiuShui);
    QVERIFY(!m.sections.at(1).meterGuessed);
    QVERIFY(!m.sections.at(2).meterGuessed);
    QCOMPARE(m.sections.at(3).tempo, 80);
    QVERIFY(m.sections.at(3).meterGuessed);
    QCOMPARE(m.sections.at(3).meter, Meter::YiBanYiYan);
    QCOMPARE(m.sections.at(1).quPai, QStringLiteral("乙"));
    QCOMPARE(m.sections.at(1).lyricLine, 4);
    QCOMPARE(m.sections.at(1).start, m.sections.at(0).end);
    QCOMPARE(m.sections.at(1).firstNote, 2);
}

// A tune takes the settings in force at its first sung line; an annotation
// after that holds from the next tune on.
void TestMelody::annotationAfterTheFirstNote() {
    const Melody m =
        melodyOf(QStringLiteral("【甲】\n; 笛色=正工调\n春\n; 笛色=乙字调\n花\n【乙】\n秋"),
                 {QStringLiteral("上"), QStringLiteral("上"), QStringLiteral("上")});
    QCOMPARE(midis(m), (QVector<int>{79, 79, 69}));
    QCOMPARE(m.sections.at(0).key, Key::ZhengGong);
    QCOMPARE(m.sections.at(1).key, Key::YiZi);
}

void TestMelody::malformedAnnotation() {
    const QString line =
        QStringLiteral("; 板式=快板 速度=abc 八度=2 音量=3 笛色=凡字调(G) 笛色=凡字调");
    const Melody m = melodyOf(QStringLiteral("# 题\n") + line + QStringLiteral("\n春"), {"上"});
    const QStringList bad = {"板式=快板", "速度=abc", "八度=2", "音量=3", "笛色=凡字调(G)"};
    QCOMPARE(m.problems.size(), bad.size() + 1);
    for (int i = 0; i < bad.size(); ++i) {
        const Problem &p = m.problems.at(i);
        QCOMPARE(p.severity, Problem::Severity::Error);
        QCOMPARE(p.message, QStringLiteral("无法识别的设置：%1").arg(bad.at(i)));
        QCOMPARE(p.place, lyricAt(1, line.indexOf(bad.at(i)), bad.at(i).size()));
    }
    // What could be read holds; the rest is ignored.
    QCOMPARE(m.sections.first().key, Key::FanZi);
    QCOMPARE(m.sections.first().tempo, 60);
    QCOMPARE(m.sections.first().octave, 0);
    QVERIFY(m.sections.first().meterGuessed);

    QVector<Problem> problems;
    const TuneSettings after = MelodyBuilder::settingsAfter(
        document(QStringLiteral("春\n; 速度=x 笛色=六字调"), {"上"}), TuneSettings(), &problems, 7);
    QCOMPARE(after.key, Key::LiuZi);
    QCOMPARE(problems.size(), 1);
    QCOMPARE(problems.first().place, lyricAt(8, 2, 4));
}

void TestMelody::commentWithoutEqualsSign() {
    const Melody m = melodyOf(QStringLiteral("; 笛色 小工调，此处不设\n; 板式：散板\n春"),
                              {QStringLiteral("上、尺")});
    QCOMPARE(messages(m), (QStringList{"推测板式：一板一眼"}));
}

void TestMelody::markWithoutPitch() {
    const Melody m =
        melodyOf(sanYan + QStringLiteral("春花"), {QStringLiteral("、上"), QStringLiteral("尺、")});
    const Problem *p = problemWith(m, QStringLiteral("板眼前没有工尺"));
    QVERIFY(p);
    QCOMPARE(p->severity, Problem::Severity::Error);
    QCOMPARE(p->place, scoreAt(0, 0, 2));
    // The mark is not guessed: the one 板 is on 尺, 上 is a pickup.
    QCOMPARE(clicks(m), (QStringList{"480:板"}));
    QCOMPARE(m.problems.size(), 1);

    const Melody ornament = melodyOf(QStringLiteral("; 板式=散板\n春"), {QStringLiteral("H上")});
    QCOMPARE(messages(ornament), (QStringList{"腔格前没有工尺"}));
}

void TestMelody::markOutsideTheMeter() {
    const Melody m =
        melodyOf(QStringLiteral("; 板式=流水板\n春花秋"),
                 {QStringLiteral("上、尺"), QStringLiteral("工●"), QStringLiteral("六×")});
    QCOMPARE(messages(m), (QStringList{"流水板中不应有中眼", "流水板中不应有赠板"}));
    QCOMPARE(m.problems.first().place, scoreAt(1, 2, 2));
    QCOMPARE(m.problems.first().severity, Problem::Severity::Warning);
    QCOMPARE(clicks(m), (QStringList{"0:板"}));

    const Melody san = melodyOf(QStringLiteral("; 板式=散板\n春"), {QStringLiteral("上、尺D")});
    QCOMPARE(messages(san), (QStringList{"散板中不应有头板"}));
}

void TestMelody::possiblyMissedBan() {
    const Melody m = melodyOf(sanYan + QStringLiteral("春花秋月明"),
                              {QStringLiteral("上、"), QStringLiteral("尺○"), QStringLiteral("工●"),
                               QStringLiteral("尺○"), QStringLiteral("工○")});
    QCOMPARE(messages(m), (QStringList{"可能漏板"}));
    QCOMPARE(m.problems.first().severity, Problem::Severity::Warning);
    QCOMPARE(m.problems.first().place, scoreAt(4, 2, 2));
    QCOMPARE(clicks(m).last(), QStringLiteral("2400:眼")); // index 1 of the next measure
}

void TestMelody::outsideTheFluteCompass() {
    const Melody m = melodyOf(QStringLiteral("; 板式=散板\n春花"),
                              {QStringLiteral("合L合"), QStringLiteral("上w")});
    QCOMPARE(midis(m), (QVector<int>{57, 69, 98}));
    QCOMPARE(messages(m), (QStringList{"超出笛子音域", "超出笛子音域"}));
    QCOMPARE(m.problems.at(0).place, scoreAt(0, 0, 2));
    QCOMPARE(m.problems.at(1).place, scoreAt(1, 0, 2));
    // 尺字调: 合 is below the flute's A4.
    const Melody chi = melodyOf(QStringLiteral("; 笛色=尺字调 板式=散板\n春"), {"合"});
    QCOMPARE(messages(chi), (QStringList{"超出笛子音域"}));
}

void TestMelody::characterWithoutPitch() {
    const Melody m = melodyOf(sanYan + QStringLiteral("春花，秋 月"),
                              {QStringLiteral("上、尺"), QString(), QStringLiteral("○"), QString(),
                               QStringLiteral("工、")});
    // 花 has an empty line, 秋 marks only; the space is not a character.
    QCOMPARE(messages(m), (QStringList{"此字没有工尺", "此字没有工尺"}));
    QCOMPARE(m.problems.at(0).place, scoreAt(1, 0, 0));
    QCOMPARE(m.problems.at(1).place, scoreAt(2, 0, 0));
    // A tune with no pitch at all is not checked character by character.
    const Melody empty = melodyOf(QStringLiteral("【测试】\n春花"), {QString(), QString()});
    QVERIFY(empty.problems.isEmpty());
    QCOMPARE(empty.sections.size(), 1);
    QCOMPARE(empty.sections.first().noteCount, 0);
}

void TestMelody::notAGongcheSymbol() {
    const Melody m = melodyOf(QStringLiteral("; 板式=散板\n春"), {QStringLiteral("上ab 尺x")});
    QCOMPARE(messages(m), (QStringList{"不是工尺符号", "不是工尺符号"}));
    QCOMPARE(m.problems.at(0).place, scoreAt(0, 2, 2));
    QCOMPARE(m.problems.at(0).severity, Problem::Severity::Error);
    QCOMPARE(m.problems.at(1).place, scoreAt(0, 7, 1));
    QCOMPARE(m.notes.size(), 2);
}

// Each ornament sign gives the grace notes of its row of the table, as scale
// steps from its note.
void TestMelody::ornamentsComeFromTheTable() {
    const MusicRules rules;
    const QMap<GongcheSymbol::Ornament, QString> written = {
        {GongcheSymbol::Ornament::HuoQiang, "H"},
        {GongcheSymbol::Ornament::SouQiang, "S"},
        {GongcheSymbol::Ornament::DieQiang, "T"},
        {GongcheSymbol::Ornament::DieQiangQiKou, "Q"},
        {GongcheSymbol::Ornament::DaiQiangCuoQiang, "C"},
    };
    QCOMPARE(rules.ornaments.size(), written.size());
    for (const MusicRules::OrnamentRule &row : rules.ornaments) {
        for (const QString &pitch :
             {QStringLiteral("工"), QStringLiteral("乙"), QStringLiteral("合")}) {
            const Melody m =
                melodyOf(QStringLiteral("; 板式=散板\n春"), {pitch + written.value(row.ornament)});
            QCOMPARE(m.notes.size(), 1);
            const int from = m.notes.first().midi - 74;
            QVector<int> before, after;
            for (int step : row.before) {
                before.append(74 + rules.scaleStep(from, step));
            }
            for (int step : row.after) {
                after.append(74 + rules.scaleStep(from, step));
            }
            QCOMPARE(m.notes.first().gracesBefore, before);
            QCOMPARE(m.notes.first().gracesAfter, after);
            QCOMPARE(m.notes.first().breathAfter, row.breathAfter);
        }
    }
}

void TestMelody::ornamentTableIsEditable() {
    MusicRules rules;
    for (MusicRules::OrnamentRule &row : rules.ornaments) {
        if (row.ornament == GongcheSymbol::Ornament::HuoQiang) {
            row.before = {-2};
            row.after = {3, 0};
        }
    }
    const Melody m = melodyOf(QStringLiteral("; 板式=散板\n春"), {QStringLiteral("工H")}, rules);
    const int gong = 78;
    QCOMPARE(m.notes.first().midi, gong);
    QCOMPARE(m.notes.first().gracesBefore, (QVector<int>{74 + rules.scaleStep(4, -2)}));
    QCOMPARE(m.notes.first().gracesAfter, (QVector<int>{74 + rules.scaleStep(4, 3), gong}));
}

// build() is the tunes built one by one and joined; places are absolute.
// Every problem says what is wrong and what to do; those a settings line
// answers carry it, to be inserted before the tune's first sung line.
void TestMelody::adviceSaysWhatToDo_data() {
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QStringList>("score");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("advice"); // a part of it
    QTest::addColumn<QString>("fix");
    QTest::addColumn<int>("fixLine");
    QTest::newRow("detected, and why")
        << QStringLiteral("【测试】\n春花") << QStringList{"上、尺", "工●"} << "推测板式：一板三眼"
        << "依据：有中眼"
        << "; 板式=一板三眼" << 1;
    QTest::newRow("detected from notes per 板")
        << QStringLiteral("【测试】\n春花秋") << QStringList{"上、", "尺、", "工、"}
        << "推测板式：流水板"
        << "依据：没有眼，每板约 1.0 个音"
        << "; 板式=流水板" << 1;
    QTest::newRow("detected from 底板 alone") << QStringLiteral("; 速度=60\n【引子】\n春花")
                                              << QStringList{"上尺", "工D"} << "推测板式：散板"
                                              << "依据：只有底板"
                                              << "; 板式=散板" << 2;
    QTest::newRow("which 板 is missing")
        << sanYan + QStringLiteral("春花秋月明") << QStringList{"上、", "尺○", "工●", "尺○", "工○"}
        << "可能漏板"
        << "第2小节的板没有标出。若那里有板，请补上头板或腰板" << QString() << -1;
    QTest::newRow("which 赠板 is missing")
        << QStringLiteral("; 板式=加赠一板三眼\n春花秋月明日")
        << QStringList{"上、", "尺○", "工●", "尺○", "工○", "六、"} << "可能漏板"
        << "第1小节的赠板没有标出。若那里有板，请补上赠板或腰赠板" << QString() << -1;
    QTest::newRow("a mark the stated meter has not")
        << QStringLiteral("; 板式=流水板\n春花") << QStringList{"上、尺", "工●"}
        << "流水板中不应有中眼"
        << "请删去这个记号，或写明这些记号所合的板式“; 板式=一板三眼”"
        << "; 板式=一板三眼" << 1;
    QTest::newRow("mark before a pitch")
        << QStringLiteral("; 板式=散板\n春") << QStringList{"D上"} << "板眼前没有工尺"
        << "移到工尺后面" << QString() << -1;
    QTest::newRow("beyond the flute")
        << QStringLiteral("; 板式=散板\n春") << QStringList{"合L"} << "超出笛子音域"
        << "A4–A6" << QString() << -1;
    QTest::newRow("character without pitch")
        << QStringLiteral("; 板式=散板\n春花") << QStringList{"上", ""} << "此字没有工尺"
        << "写上它的工尺" << QString() << -1;
    QTest::newRow("not a symbol") << QStringLiteral("; 板式=散板\n春") << QStringList{"上abc"}
                                  << "不是工尺符号"
                                  << "输入法" << QString() << -1;
    QTest::newRow("unreadable setting")
        << QStringLiteral("; 板式=快板\n春") << QStringList{"上"} << "无法识别的设置：板式=快板"
        << "; 笛色=小工调 板式=一板三眼" << QString() << -1;
}

void TestMelody::adviceSaysWhatToDo() {
    QFETCH(QString, lyric);
    QFETCH(QStringList, score);
    QFETCH(QString, message);
    QFETCH(QString, advice);
    const Melody m = melodyOf(lyric, score);
    const Problem *p = problemWith(m, message);
    QVERIFY2(p, qPrintable(messages(m).join(QLatin1Char('|'))));
    QVERIFY2(p->advice.contains(advice), qPrintable(p->advice));
    QCOMPARE(p->text(), p->message + QStringLiteral("。") + p->advice);
    QTEST(p->fix, "fix");
    QTEST(p->fixLine, "fixLine");
    for (const Problem &other : m.problems) {
        QVERIFY2(!other.advice.isEmpty(), qPrintable(other.message));
    }
}

// The settings line a problem offers, inserted where it says, states what
// the check assumed or suggested: the problem is gone, the times unchanged
// (detected) or the marks now counted (suggested).
void TestMelody::insertingTheSuggestedLineAnswersIt_data() {
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QStringList>("score");
    QTest::addColumn<QString>("message");
    QTest::newRow("detected") << QStringLiteral("# 题\n【测试】\n春花")
                              << QStringList{"上、尺", "工●"} << "推测板式：一板三眼";
    QTest::newRow("suggested") << QStringLiteral("; 板式=流水板\n【测试】\n春花")
                               << QStringList{"上、尺", "工●"} << "流水板中不应有中眼";
}

void TestMelody::insertingTheSuggestedLineAnswersIt() {
    QFETCH(QString, lyric);
    QFETCH(QStringList, score);
    QFETCH(QString, message);
    const Melody before = melodyOf(lyric, score);
    const Problem *p = problemWith(before, message);
    QVERIFY(p && !p->fix.isEmpty());
    QStringList lines = lyric.split(QLatin1Char('\n'));
    lines.insert(p->fixLine, p->fix);
    const Melody after = melodyOf(lines.join(QLatin1Char('\n')), score);
    QCOMPARE(messages(after), QStringList());
    QVERIFY(!after.sections.first().meterGuessed);
    QCOMPARE(after.sections.first().meter, Meter::YiBanSanYan);
    QCOMPARE(clicks(after), (QStringList{"0:板", "960:眼"}));
}

void TestMelody::buildIsTheTunesJoined() {
    const DocumentLines lines = document(
        QStringLiteral("# 题\n; 笛色=凡字调(E)\n春花\n【甲】\n; 板式=一板三眼 速度=66\n秋月，"
                       "\n= 白\n【乙】(仙吕)\n何时了。\n; 八度=1 板式=自动\n【丙】\n往事"),
        {QStringLiteral("上尺"), QStringLiteral("工D"), QStringLiteral("四上"),
         QStringLiteral("尺、工○"), QStringLiteral("上、尺工"), QStringLiteral("六○五"),
         QStringLiteral("上●"), QStringLiteral("工、"), QStringLiteral("尺、")});
    const MelodyBuilder builder;
    const Melody whole = builder.build(lines);
    QCOMPARE(whole, byTunes(lines, builder));
    QCOMPARE(whole.sections.size(), 4);
    QCOMPARE(whole.sections.at(0).quPai, QString());
    QCOMPARE(whole.sections.at(0).lyricLine, -1);
    QCOMPARE(whole.sections.at(2).quPai, QStringLiteral("乙"));
    QCOMPARE(whole.sections.at(2).lyricLine, 7);
    QCOMPARE(whole.sections.at(2).meter, Meter::YiBanSanYan);
    QCOMPARE(whole.sections.at(3).octave, 1);
    QCOMPARE(whole.notes.last().place, scoreAt(8, 0, 2));
    QCOMPARE(whole.notes.last().lyric, QStringLiteral("事"));
    for (int i = 1; i < whole.sections.size(); ++i) {
        QCOMPARE(whole.sections.at(i).start, whole.sections.at(i - 1).end);
        QCOMPARE(whole.sections.at(i).firstNote,
                 whole.sections.at(i - 1).firstNote + whole.sections.at(i - 1).noteCount);
    }

    // One tune rebuilt on its own gives its part of the whole.
    const QVector<MelodyBuilder::Tune> tunes = MelodyBuilder::tunes(lines);
    QCOMPARE(tunes.size(), 4);
    QCOMPARE(tunes.at(2).firstLine, 7);
    QCOMPARE(tunes.at(2).firstCharacter, 4);
    TuneSettings settings = builder.initialSettings();
    for (int i = 0; i < 2; ++i) {
        settings = MelodyBuilder::settingsAfter(
            lines.mid(tunes.at(i).firstLine, tunes.at(i).lineCount), settings);
    }
    const Melody third =
        builder.buildTune(lines.mid(tunes.at(2).firstLine, tunes.at(2).lineCount), 7, 4, settings);
    const Section &s = whole.sections.at(2);
    QCOMPARE(third.notes.size(), s.noteCount);
    for (int i = 0; i < third.notes.size(); ++i) {
        Note shifted = third.notes.at(i);
        shifted.onset += s.start;
        QCOMPARE(shifted, whole.notes.at(s.firstNote + i));
    }
}

// The sample piece builds whole; the tunes joined give the same.
void TestMelody::sampleDocument() {
    QString lyric, score;
    QVERIFY(readScoreFile(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"),
                          &lyric, &score)
                .ok());
    const DocumentLines lines = renderModel(lyric, score);
    const MelodyBuilder builder;
    const Melody m = builder.build(lines);
    QCOMPARE(m, byTunes(lines, builder));
    QCOMPARE(m.sections.size(), 1);
    QCOMPARE(m.sections.first().quPai, QStringLiteral("皂罗袍"));
    QVERIFY(m.notes.size() > 100);
    // The sample states its meter, and its marks agree with it.
    QVERIFY(!m.sections.first().meterGuessed);
    QVERIFY(m.sections.first().zeng);
    QStringList texts;
    for (const Problem &p : m.problems) {
        texts.append(p.text());
    }
    QCOMPARE(texts, QStringList());
}

// Scores of random symbols and stray text: whatever they hold, notes follow
// one another, every note lasts, the sections tile the time, and build() is
// the tunes joined.
void TestMelody::randomScoresKeepTheInvariants() {
    QRandomGenerator random(20240521);
    const QVector<char32_t> &codes = GongcheSymbol::all();
    const QStringList lyrics = {
        QStringLiteral("春花秋月，"),      QStringLiteral("【甲】"),
        QStringLiteral("; 板式=一板三眼"), QStringLiteral("; 板式=自动"),
        QStringLiteral("何时了。"),        QStringLiteral("; 板式=加赠一板一眼"),
        QStringLiteral("往事 知多少"),     QStringLiteral("; 板式=散板")};
    const MelodyBuilder builder;
    for (int round = 0; round < 200; ++round) {
        QStringList lyric;
        const int lineCount = 1 + int(random.bounded(10));
        for (int i = 0; i < lineCount; ++i) {
            lyric.append(lyrics.at(int(random.bounded(lyrics.size()))));
        }
        QStringList score;
        for (int i = 0; i < 60; ++i) {
            QString line;
            const int count = int(random.bounded(7));
            for (int k = 0; k < count; ++k) {
                // Pitches more often than the rest, now and then stray text.
                const quint32 r = random.bounded(20);
                if (r == 0) {
                    line += QLatin1Char('x');
                } else if (r < 8) {
                    line += sym(codes.at(int(random.bounded(14))));
                } else {
                    line += sym(codes.at(14 + int(random.bounded(codes.size() - 14))));
                }
            }
            score.append(line);
        }
        const DocumentLines lines = renderModel(lyric, score);
        const Melody m = builder.build(lines);
        QCOMPARE(m, byTunes(lines, builder));
        qint64 previous = 0;
        for (const Note &n : m.notes) {
            QVERIFY(n.onset >= previous);
            QVERIFY(n.duration > 0);
            previous = n.onset;
        }
        qint64 time = 0;
        for (const Section &s : m.sections) {
            QCOMPARE(s.start, time);
            QVERIFY(s.firstDownbeat >= s.start);
            QVERIFY(s.end >= s.start);
            for (int j = s.firstNote; j < s.firstNote + s.noteCount; ++j) {
                QVERIFY(m.notes.at(j).onset + m.notes.at(j).duration <= s.end);
            }
            time = s.end;
        }
        for (const BeatClick &c : m.clicks) {
            QVERIFY(c.time >= 0 && c.time <= m.length());
        }
    }
}

QTEST_MAIN(TestMelody)
#include "tst_melody.moc"
