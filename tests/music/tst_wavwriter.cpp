// WAV files written block by block: the same bytes as at once, memory that
// does not grow with the length, and no file past the format's 4 GiB.
#include "music/wavwriter.h"
#include "testsupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using music::WavWriter;

class TestWavWriter : public QObject {
    Q_OBJECT

private slots:
    void streamedAsEncoded_data();
    void streamedAsEncoded();
    void longestFileFitsTheFormat();
    void refusedPastTheLimit();
    void memoryIndependentOfLength();
};

namespace {

quint32 le32(const QByteArray &b, int at) {
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8 |
           quint32(quint8(b[at + 2])) << 16 | quint32(quint8(b[at + 3])) << 24;
}

// The peak resident memory of this process so far, in KiB.
qint64 peakKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}

} // namespace

void TestWavWriter::streamedAsEncoded_data() {
    QTest::addColumn<int>("frames");
    QTest::newRow("empty") << 0;
    QTest::newRow("one block less one") << 4095;
    QTest::newRow("several blocks") << 3 * 4096 + 17;
}

void TestWavWriter::streamedAsEncoded() {
    QFETCH(int, frames);
    QRandomGenerator random(20261209);
    QVector<int16_t> samples(frames * WavWriter::channels);
    for (int16_t &s : samples) {
        s = int16_t(random.bounded(-32768, 32768));
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.wav"));
    int at = 0;
    const auto source = [&](int n, int16_t *out) {
        std::copy(samples.constBegin() + at, samples.constBegin() + at + 2 * n, out);
        at += 2 * n;
    };
    QVERIFY(WavWriter::write(path, frames, source).ok());
    QCOMPARE(at, samples.size());
    QCOMPARE(readAll(path), WavWriter::encode(samples));
}

// The sizes in the header are 32-bit: the longest file allowed still fits.
void TestWavWriter::longestFileFitsTheFormat() {
    const QByteArray header = WavWriter::header(WavWriter::maxFrames);
    QCOMPARE(header.size(), 44);
    const quint64 data = quint64(WavWriter::maxFrames) * 4;
    QCOMPARE(quint64(le32(header, 40)), data);
    QCOMPARE(quint64(le32(header, 4)), data + 36);
    QVERIFY(data + 44 <= 0xFFFFFFFFULL);
    QVERIFY(data + 44 + 4 > 0xFFFFFFFFULL); // one frame more would not fit
}

void TestWavWriter::refusedPastTheLimit() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.wav"));
    bool asked = false;
    const Outcome outcome =
        WavWriter::write(path, WavWriter::maxFrames + 1, [&](int, int16_t *) { asked = true; });
    QVERIFY(!outcome.ok());
    QVERIFY2(outcome.message().contains(QStringLiteral("4 GB")), qPrintable(outcome.message()));
    QVERIFY(outcome.message().contains(QStringLiteral("MIDI")));
    QVERIFY(!asked);
    QVERIFY(QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                .isEmpty());
}

// Two minutes of sound (21 MB of file) take no more memory than a block.
void TestWavWriter::memoryIndependentOfLength() {
    QTemporaryDir dir;
    const qint64 before = peakKiB();
    if (before < 0) {
        QSKIP("no /proc/self/status here");
    }
    const qint64 frames = 120LL * WavWriter::sampleRate;
    qint64 given = 0;
    const Outcome outcome = WavWriter::write(dir.filePath(QStringLiteral("two minutes.wav")),
                                             frames, [&](int n, int16_t *out) {
                                                 for (int i = 0; i < 2 * n; ++i) {
                                                     out[i] = int16_t((given + i) & 0x7fff);
                                                 }
                                                 given += n;
                                             });
    QVERIFY(outcome.ok());
    QCOMPARE(given, frames);
    QCOMPARE(QFileInfo(outcome.path()).size(), 44 + frames * 4);
    const qint64 grown = peakKiB() - before;
    QVERIFY2(grown < 4 * 1024, qPrintable(QStringLiteral("peak grew by %1 KiB").arg(grown)));
}

QTEST_GUILESS_MAIN(TestWavWriter)
#include "tst_wavwriter.moc"
