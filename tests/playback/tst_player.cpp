// The player without a sound card: a clock sink takes the synthesizer's
// frames in real time, and the player tells which note sounds, pauses,
// loops and stops by itself at the end. The stream it reads is the offline
// render, pass after pass.
#include "../music/musicfixture.h"
#include "music/synthesizer.h"
#include "playback/clockaudiosink.h"
#include "playback/deviceaudiosink.h"
#include "playback/player.h"
#include "playback/synthstream.h"

#include <QSignalSpy>
#include <QtTest>

using namespace music;
using namespace musicfixture;

namespace {

// Four quarter notes at 240 beats a minute: a second of music.
Melody shortPiece() {
    return melodyOf(QStringLiteral("; 板式=一板三眼 速度=240\n【测试】\n春"),
                    {QStringLiteral("、上○尺●工○六")});
}

// The event loop runs until condition holds, for twenty seconds at most.
bool waitFor(const std::function<bool()> &condition) {
    return QTest::qWaitFor(condition, 20000);
}

} // namespace

class TestPlayer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void followsEveryNoteAndStopsAtTheEnd();
    void pauseHoldsThePlace();
    void loopComesRound();
    void streamIsTheOfflineRenderPassAfterPass();
    void whatCannotBePlayed();

private:
    Player *newPlayer();
};

void TestPlayer::initTestCase() {
    if (Synthesizer::findSoundFont().isEmpty()) {
        QSKIP("no General MIDI sound font installed (timgm6mb-soundfont)");
    }
    QCOMPARE(shortPiece().notes.size(), 4);
}

Player *TestPlayer::newPlayer() {
    auto *player = new Player(this);
    player->setSinkFactory([](QObject *parent) { return new ClockAudioSink(parent); });
    return player;
}

void TestPlayer::followsEveryNoteAndStopsAtTheEnd() {
    Player *player = newPlayer();
    QSignalSpy notes(player, &Player::soundingNoteChanged);
    QSignalSpy states(player, &Player::stateChanged);
    const Outcome played = player->play(shortPiece(), {}, false);
    QVERIFY2(played.ok(), qPrintable(played.message()));
    QCOMPARE(player->state(), Player::State::Playing);
    QVERIFY(player->startLatencyMicroseconds() >= 0);
    QVERIFY(waitFor([&] { return player->state() == Player::State::Stopped; }));
    QVector<int> heard;
    for (const QList<QVariant> &args : notes) {
        heard.append(args.at(0).toInt());
    }
    QCOMPARE(heard, (QVector<int>{0, 1, 2, 3, -1}));
    QCOMPARE(states.size(), 2); // playing, stopped
    delete player;
}

void TestPlayer::pauseHoldsThePlace() {
    Player *player = newPlayer();
    QVERIFY(player->play(shortPiece(), {}, false).ok());
    QVERIFY(waitFor([&] { return player->soundingNote() >= 1; }));
    player->pause();
    QCOMPARE(player->state(), Player::State::Paused);
    const int note = player->soundingNote();
    QTest::qWait(300); // time passes; the music does not
    QCOMPARE(player->soundingNote(), note);
    player->resume();
    QCOMPARE(player->state(), Player::State::Playing);
    QVERIFY(waitFor([&] { return player->soundingNote() == 3; }));
    player->stop();
    QCOMPARE(player->state(), Player::State::Stopped);
    QCOMPARE(player->soundingNote(), -1);
    delete player;
}

void TestPlayer::loopComesRound() {
    Player *player = newPlayer();
    QVector<int> heard;
    connect(player, &Player::soundingNoteChanged, this, [&](int n) { heard.append(n); });
    QVERIFY(player->play(shortPiece(), {}, true).ok());
    // After the last note, the first again, without stopping.
    QVERIFY(waitFor([&] { return heard.size() >= 5; }));
    QCOMPARE(heard.mid(0, 5), (QVector<int>{0, 1, 2, 3, 0}));
    QCOMPARE(player->state(), Player::State::Playing);
    player->stop();
    QCOMPARE(heard.last(), -1);
    delete player;
}

void TestPlayer::streamIsTheOfflineRenderPassAfterPass() {
    const Melody piece = shortPiece();
    Synthesizer offline;
    QVERIFY(offline.load().ok());
    Synthesizer::Options options;
    options.effects = true;
    const QVector<int16_t> whole = offline.renderAll(piece, options);

    Synthesizer live;
    QVERIFY(live.load().ok());
    SynthStream stream(&live);
    stream.begin(piece, options, false);
    QByteArray got;
    while (got.size() < whole.size() * 2) {
        got += stream.read(4096 * 4); // reads of a device's size
    }
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(whole.constData()), whole.size() * 2),
             got.left(whole.size() * 2));
    QVERIFY(stream.firstReadNanoseconds() >= 0);

    // Looping: each pass ends at the last note and the next one starts
    // afresh, so every pass is the first one again.
    stream.begin(piece, options, true);
    const qint64 pass = live.musicFrames();
    QVERIFY(pass > 0);
    QByteArray looped;
    while (looped.size() < pass * 4 * 3) {
        looped += stream.read(3000 * 4); // not a divisor of the pass
    }
    const QByteArray first = looped.left(int(pass * 4));
    QCOMPARE(first, got.left(int(pass * 4)));
    QCOMPARE(looped.mid(int(pass * 4), int(pass * 4)), first);
    QCOMPARE(stream.passStart(pass - 1), 0);
    QCOMPARE(stream.passStart(pass), pass);
    QCOMPARE(stream.passStart(2 * pass + 5), 2 * pass);
}

void TestPlayer::whatCannotBePlayed() {
    Player *player = newPlayer();
    const Outcome nothing = player->play(Melody(), {}, false);
    QVERIFY(!nothing.ok());
    QCOMPARE(nothing.message(), QStringLiteral("没有可以播放的音符。"));
    QCOMPARE(player->state(), Player::State::Stopped);

    player->setSoundFont(QStringLiteral("/nonexistent/font.sf2"));
    const Outcome noFont = player->play(shortPiece(), {}, false);
    QVERIFY(!noFont.ok());
    QVERIFY(noFont.message().contains(QStringLiteral("/nonexistent/font.sf2")));
    QCOMPARE(player->state(), Player::State::Stopped);

    // The sound card, where there is none (as on a build machine).
    if (!DeviceAudioSink::deviceAvailable()) {
        player->setSoundFont(QString());
        player->setSinkFactory([](QObject *parent) { return new DeviceAudioSink(parent); });
        const Outcome noDevice = player->play(shortPiece(), {}, false);
        QVERIFY(!noDevice.ok());
        QCOMPARE(noDevice.message(), QStringLiteral("没有可用的音频输出设备"));
        QCOMPARE(player->state(), Player::State::Stopped);
    }
    delete player;
}

QTEST_MAIN(TestPlayer)
#include "tst_player.moc"
