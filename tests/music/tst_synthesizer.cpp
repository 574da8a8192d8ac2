// Playback through FluidSynth and the WAV export: the pitch and the onset of
// every note measured in the rendered sound, the clicks found at the beat
// times, the tempo percentage, the WAV file's header as sox reads it.
#include "export/exportformat.h"
#include "music/synthesizer.h"
#include "music/wavwriter.h"
#include "musicfixture.h"
#include "typeset/typesetter.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

using namespace music;
using namespace musicfixture;

namespace {

constexpr double rate = Synthesizer::sampleRate;
const double pi = std::acos(-1.0);

// 一板三眼 at 60: a pickup of two half beats, then notes of a half and a
// whole beat, every note another pitch than the one before.
const QString lyric = QStringLiteral("; 板式=一板三眼 速度=60\n【测试】\n春花秋月");
const QStringList score = {QStringLiteral("四上"), QStringLiteral("尺、工○"),
                           QStringLiteral("上●尺"), QStringLiteral("工○")};
// The same with a 气口 after every note and at 30, so that a silence comes
// before every onset.
const QString slowLyric = QStringLiteral("; 板式=一板三眼 速度=30\n【测试】\n春花秋月");
const QStringList breathing = {QStringLiteral("四k上k"), QStringLiteral("尺k、工k○"),
                               QStringLiteral("上k●尺k"), QStringLiteral("工k○")};

QVector<double> mono(const QVector<int16_t> &frames) {
    QVector<double> out(frames.size() / 2);
    for (int i = 0; i < out.size(); ++i) {
        out[i] = (double(frames.at(2 * i)) + double(frames.at(2 * i + 1))) / 65536.0;
    }
    return out;
}

double seconds(const Melody &m, qint64 tick) {
    // One tune, one tempo: a beat lasts 60 / tempo seconds.
    return double(tick) / ticksPerBeat * 60.0 / m.sections.first().tempo;
}

double hz(int midi) {
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// The magnitude of frequency f in the Hann-windowed samples [from, to).
double magnitude(const QVector<double> &x, int from, int to, double f) {
    const int n = to - from;
    const double w = 2 * pi * f / rate;
    const double c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (int i = 0; i < n; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * pi * i / (n - 1));
        const double s0 = x.at(from + i) * hann + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - c * s1 * s2);
}

// The strongest frequency within a semitone of `expected`, in cents from it.
double centsOff(const QVector<double> &x, int from, int to, double expected) {
    double best = 0, bestMagnitude = -1;
    for (double cents = -100; cents <= 100; cents += 2) {
        const double m = magnitude(x, from, to, expected * std::pow(2.0, cents / 1200));
        if (m > bestMagnitude) {
            bestMagnitude = m;
            best = cents;
        }
    }
    const double coarse = best;
    for (double cents = coarse - 2; cents <= coarse + 2; cents += 0.1) {
        const double m = magnitude(x, from, to, expected * std::pow(2.0, cents / 1200));
        if (m > bestMagnitude) {
            bestMagnitude = m;
            best = cents;
        }
    }
    return best;
}

// The times (seconds) where a sound starts: where the level, in 1 ms blocks,
// jumps to four times what it was 10 ms before and above a twentieth of the
// loudest, taken back to the first sample clearly above the quietest level of
// the 30 ms before that.
QVector<double> onsetsIn(const QVector<double> &x) {
    constexpr int block = 44;
    QVector<double> level;
    double peak = 0;
    for (int i = 0; i + block <= x.size(); i += block) {
        double sum = 0;
        for (int j = i; j < i + block; ++j) {
            sum += x.at(j) * x.at(j);
        }
        level.append(std::sqrt(sum / block));
        peak = std::max(peak, level.last());
    }
    QVector<double> out;
    int last = -1000;
    for (int i = 0; i < level.size(); ++i) {
        const double before = i >= 10 ? level.at(i - 10) : 0.0;
        if (level.at(i) > peak / 20 && level.at(i) > 4 * before && i - last > 50) {
            double background = before;
            for (int j = std::max(0, i - 40); j < i - 10; ++j) {
                background = std::min(background, level.at(j));
            }
            const double floor = std::max(2 * background, peak / 500);
            int start = i;
            while (start > 0 && i - start < 40 && level.at(start - 1) > floor) {
                --start;
            }
            int s = start * block;
            while (s < (start + 1) * block && std::abs(x.at(s)) <= floor) {
                ++s;
            }
            out.append(s / rate);
            last = i;
        }
    }
    return out;
}

quint32 le(const QByteArray &b, int at, int bytes) {
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | quint8(b.at(at + i));
    }
    return v;
}

} // namespace

class TestSynthesizer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void noSoundFontIsAnError();
    void pitchesAreTheMelodys();
    void onsetsAreTheMelodys();
    void halfTempoDoublesTheLength();
    void clicksAreOnTheBeats();
    void streamingIsTheOfflineRendering();
    void wavHeader();
    void exportWav();

private:
    Synthesizer m_synth;
    Synthesizer::Options dry() const {
        Synthesizer::Options o;
        o.effects = false;
        o.clicks = false;
        return o;
    }
};

void TestSynthesizer::initTestCase() {
    if (Synthesizer::findSoundFont().isEmpty()) {
        QSKIP("No General MIDI sound font (install timgm6mb-soundfont via scripts/setup.sh)");
    }
    const Outcome loaded = m_synth.load();
    QVERIFY2(loaded.ok(), qPrintable(loaded.message()));
    QVERIFY(m_synth.isLoaded());
}

void TestSynthesizer::noSoundFontIsAnError() {
    Synthesizer s;
    const Outcome o = s.load(QStringLiteral("/nonexistent/none.sf2"));
    QVERIFY(!o.ok());
    QVERIFY(o.message().contains(QStringLiteral("/nonexistent/none.sf2")));
    QVERIFY(!s.isLoaded());
    QVERIFY(s.renderAll(melodyOf(lyric, score), {}).isEmpty());
    QFile notAFont(QStringLiteral(QORVEL_SOURCE_DIR "/CMakeLists.txt"));
    QVERIFY(!s.load(notAFont.fileName()).ok());
}

void TestSynthesizer::pitchesAreTheMelodys() {
    const Melody m = melodyOf(lyric, score);
    QCOMPARE(m.notes.size(), 7);
    const QVector<double> x = mono(m_synth.renderAll(m, dry()));
    int measured = 0;
    for (const Note &n : m.notes) {
        const double from = seconds(m, n.onset), length = seconds(m, n.duration);
        if (length < 0.2) {
            continue;
        }
        const int a = int((from + length / 4) * rate), b = int((from + 3 * length / 4) * rate);
        const double cents = centsOff(x, a, b, hz(n.midi));
        QVERIFY2(
            std::abs(cents) <= 20,
            qPrintable(
                QStringLiteral("note %1 at %2 s: %3 cents off").arg(n.midi).arg(from).arg(cents)));
        ++measured;
    }
    QCOMPARE(measured, 7);
}

void TestSynthesizer::onsetsAreTheMelodys() {
    const Melody m = melodyOf(slowLyric, breathing);
    QCOMPARE(m.notes.size(), 7);
    QCOMPARE(m.sections.first().tempo, 30);
    const QVector<double> found = onsetsIn(mono(m_synth.renderAll(m, dry())));
    QCOMPARE(found.size(), m.notes.size());
    for (int i = 0; i < found.size(); ++i) {
        const double expected = seconds(m, m.notes.at(i).onset);
        QVERIFY2(std::abs(found.at(i) - expected) <= 0.010,
                 qPrintable(QStringLiteral("onset %1: %2 s, expected %3 s")
                                .arg(i)
                                .arg(found.at(i))
                                .arg(expected)));
    }
}

void TestSynthesizer::halfTempoDoublesTheLength() {
    const Melody m = melodyOf(slowLyric, breathing);
    Synthesizer::Options half = dry();
    half.tempoPercent = 50;
    const QVector<double> normal = mono(m_synth.renderAll(m, dry()));
    const qint64 normalMusic = m_synth.musicFrames();
    const QVector<double> slow = mono(m_synth.renderAll(m, half));
    const qint64 slowMusic = m_synth.musicFrames();
    QVERIFY(std::abs(slowMusic - 2 * normalMusic) <= 1);
    const qint64 release = qint64(Synthesizer::releaseSeconds * rate);
    QCOMPARE(qint64(normal.size()), normalMusic + release);
    QCOMPARE(qint64(slow.size()), slowMusic + release);
    // The piece ends with the end of its last measure.
    QVERIFY(std::abs(normalMusic / rate - seconds(m, m.length())) < 0.001);

    const QVector<double> a = onsetsIn(normal), b = onsetsIn(slow);
    QCOMPARE(b.size(), a.size());
    for (int i = 0; i < a.size(); ++i) {
        QVERIFY(std::abs(b.at(i) - 2 * a.at(i)) <= 0.010);
    }
    // Beyond the limits, the tempo is held to them.
    Synthesizer::Options tooSlow = dry();
    tooSlow.tempoPercent = 10;
    m_synth.start(m, tooSlow);
    QCOMPARE(m_synth.musicFrames(), slowMusic);
}

void TestSynthesizer::clicksAreOnTheBeats() {
    const Melody m = melodyOf(lyric, score);
    QCOMPARE(clicks(m), (QStringList{"480:板", "960:眼", "1440:眼", "1920:眼"}));
    Synthesizer::Options onlyClicks = dry();
    onlyClicks.clicks = true;
    onlyClicks.melody = false;
    const QVector<double> found = onsetsIn(mono(m_synth.renderAll(m, onlyClicks)));
    QCOMPARE(found.size(), m.clicks.size());
    for (int i = 0; i < found.size(); ++i) {
        const double expected = seconds(m, m.clicks.at(i).time);
        QVERIFY2(std::abs(found.at(i) - expected) <= 0.010,
                 qPrintable(QStringLiteral("click %1: %2 s, expected %3 s")
                                .arg(i)
                                .arg(found.at(i))
                                .arg(expected)));
    }
    // Without clicks and without the melody: silence.
    Synthesizer::Options nothing = onlyClicks;
    nothing.clicks = false;
    const QVector<int16_t> silent = m_synth.renderAll(m, nothing);
    QVERIFY(!silent.isEmpty());
    QVERIFY(std::all_of(silent.cbegin(), silent.cend(), [](int16_t v) { return v == 0; }));
}

void TestSynthesizer::streamingIsTheOfflineRendering() {
    const Melody m = melodyOf(lyric, score);
    Synthesizer::Options options; // clicks and effects, as playback plays
    const QVector<int16_t> offline = m_synth.renderAll(m, options);
    QVERIFY(!offline.isEmpty());

    m_synth.start(m, options);
    QCOMPARE(m_synth.positionTicks(), qint64(0));
    QVector<int16_t> streamed;
    QVector<int16_t> block(2 * 1000);
    qint64 lastTick = -1;
    bool sawMiddle = false;
    while (!m_synth.finished()) {
        const int frames = m_synth.render(1000, block.data());
        QVERIFY(frames > 0 && frames <= 1000);
        for (int i = 0; i < 2 * frames; ++i) {
            streamed.append(block.at(i));
        }
        const qint64 tick = m_synth.positionTicks();
        QVERIFY(tick >= lastTick);
        lastTick = tick;
        // At 60, a second is a beat: the tick follows the frames.
        const double expected = double(m_synth.positionFrames()) / rate * ticksPerBeat;
        QVERIFY(std::abs(double(tick) - expected) <= 1.0);
        sawMiddle = sawMiddle || (tick >= 960 && tick < 1440);
    }
    QVERIFY(sawMiddle);
    QCOMPARE(m_synth.render(1000, block.data()), 0);
    QCOMPARE(streamed.size(), offline.size());
    QVERIFY(streamed == offline);
}

void TestSynthesizer::wavHeader() {
    const QVector<int16_t> frames = {1, -1, 256, -256, 32767, -32768};
    const QByteArray wav = WavWriter::encode(frames);
    QCOMPARE(wav.size(), 44 + 12);
    QCOMPARE(wav.left(4), QByteArray("RIFF"));
    QCOMPARE(le(wav, 4, 4), quint32(wav.size() - 8));
    QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(le(wav, 16, 4), 16u);
    QCOMPARE(le(wav, 20, 2), 1u);         // PCM
    QCOMPARE(le(wav, 22, 2), 2u);         // stereo
    QCOMPARE(le(wav, 24, 4), 44100u);     // frames a second
    QCOMPARE(le(wav, 28, 4), 44100u * 4); // bytes a second
    QCOMPARE(le(wav, 32, 2), 4u);         // bytes a frame
    QCOMPARE(le(wav, 34, 2), 16u);        // bits a sample
    QCOMPARE(wav.mid(36, 4), QByteArray("data"));
    QCOMPARE(le(wav, 40, 4), 12u);
    QCOMPARE(le(wav, 44, 2), 1u);
    QCOMPARE(le(wav, 46, 2), 0xffffu);
    QCOMPARE(le(wav, 52, 2), 0x7fffu);
    QCOMPARE(le(wav, 54, 2), 0x8000u);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.wav"));
    QVERIFY(WavWriter::write(frames, path).ok());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), wav);
    QVERIFY(!WavWriter::write(frames, dir.filePath(QStringLiteral("a.wav/b.wav"))).ok());
}

void TestSynthesizer::exportWav() {
    const ExportFormat *format = ExportFormat::find(QStringLiteral("wav"));
    QVERIFY(format);
    QCOMPARE(format->suffix, QStringLiteral(".wav"));
    QVERIFY(!format->needsPages);
    QCOMPARE(format->fileFilter, QStringLiteral("WAV文件 (*.wav)"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("piece.wav"));
    const DocumentLines lines = document(lyric, score);
    Typesetter typesetter;
    const Outcome o = format->write({typesetter, lines, path, 0});
    QVERIFY2(o.ok(), qPrintable(o.message()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray wav = f.readAll();
    QVERIFY(wav.size() > 44);
    QCOMPARE(le(wav, 4, 4), quint32(wav.size() - 8));
    QCOMPARE(le(wav, 40, 4), quint32(wav.size() - 44));
    // What playback plays with its defaults: 2.5 s of music and the release.
    const Melody m = melodyOf(lyric, score);
    const QVector<int16_t> played = m_synth.renderAll(m, {});
    QCOMPARE(wav.mid(44), WavWriter::encode(played).mid(44));

    const QString sox = QStandardPaths::findExecutable(QStringLiteral("sox"));
    if (sox.isEmpty()) {
        QSKIP("sox is not installed: the file is not read back by it");
    }
    const auto info = [&](const QString &flag) {
        QProcess p;
        p.start(sox, {QStringLiteral("--i"), flag, path});
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    };
    QCOMPARE(info(QStringLiteral("-r")), QStringLiteral("44100"));
    QCOMPARE(info(QStringLiteral("-c")), QStringLiteral("2"));
    QCOMPARE(info(QStringLiteral("-b")), QStringLiteral("16"));
    QCOMPARE(info(QStringLiteral("-e")), QStringLiteral("Signed Integer PCM"));
    QCOMPARE(info(QStringLiteral("-s")), QString::number(played.size() / 2));
    const double duration = info(QStringLiteral("-D")).toDouble();
    QVERIFY(std::abs(duration - (seconds(m, m.length()) + Synthesizer::releaseSeconds)) < 0.001);
}

QTEST_MAIN(TestSynthesizer)
#include "tst_synthesizer.moc"
