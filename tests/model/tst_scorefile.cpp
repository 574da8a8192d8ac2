#include "model/linegrammar.h"
#include "model/scorefile.h"
#include "promptscript.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

class TestScoreFile : public QObject {
    Q_OBJECT

private slots:
    void exampleBytes();
    void surrogatePairBytes();
    void nullStringReadsAsEmpty();
    void extensionAndMissingFile();
    void truncatedFiles();
    void forgedLengthsStayWithinTheFile();
    void randomRoundTrip();
    void failedOpenForWriting();
    void failedWriteKeepsTheOldFile();

private:
    static void writeRaw(const QString &path, const QByteArray &bytes) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

void TestScoreFile::exampleBytes() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.gcp"));
    PromptScript prompts;
    QVERIFY(writeScoreFile(path, QStringLiteral("春"), QString()));
    QCOMPARE(readAll(path), QByteArray::fromHex("00000001"
                                                "00000002"
                                                "6625"
                                                "00000000"
                                                "00000000"));
    QCOMPARE(prompts.count(), 0);
}

void TestScoreFile::surrogatePairBytes() {
    const QString symbol = QString::fromUcs4(U"\U000F0001");
    const QByteArray bytes = encodeScoreFile(QString(), symbol);
    QCOMPARE(bytes, QByteArray::fromHex("00000000"
                                        "00000000"
                                        "00000002"
                                        "00000004"
                                        "DB80DC01"));
}

void TestScoreFile::nullStringReadsAsEmpty() {
    QString lyric = QStringLiteral("x"), score = QStringLiteral("y");
    decodeScoreFile(QByteArray::fromHex("00000000"
                                        "FFFFFFFF"
                                        "00000001"
                                        "00000002"
                                        "0041"),
                    &lyric, &score);
    QVERIFY(lyric.isEmpty());
    QCOMPARE(score, QStringLiteral("A"));
}

void TestScoreFile::extensionAndMissingFile() {
    QTemporaryDir dir;
    const QByteArray bytes = encodeScoreFile(QStringLiteral("春香"), QStringLiteral("\n"));
    const QString upper = dir.filePath(QStringLiteral("NAME.GCP"));
    const QString txt = dir.filePath(QStringLiteral("NAME.txt"));
    writeRaw(upper, bytes);
    writeRaw(txt, bytes);

    PromptScript prompts;
    QString lyric, score;
    QVERIFY(readScoreFile(upper, &lyric, &score));
    QCOMPARE(lyric, QStringLiteral("春香"));
    QCOMPARE(score, QStringLiteral("\n"));
    QCOMPARE(prompts.count(), 0);

    Outcome outcome = readScoreFile(txt, &lyric, &score);
    QVERIFY(!outcome);
    QCOMPARE(outcome.title(), QStringLiteral("文件类型错误"));
    QCOMPARE(outcome.message(), QStringLiteral("请选择工尺谱文件（.gcp）格式！"));

    // A missing file gets the open message, whatever its extension.
    outcome = readScoreFile(dir.filePath(QStringLiteral("missing.txt")), &lyric, &score);
    QVERIFY(!outcome);
    QCOMPARE(outcome.title(), QStringLiteral("错误"));
    QCOMPARE(outcome.message(), QStringLiteral("打开文件时发生错误！"));
    // The reader shows nothing itself: the caller does.
    QCOMPARE(prompts.count(), 0);
}

// Every prefix of a real score file is damaged, and what it yields is a
// prefix of what the whole file holds.
void TestScoreFile::truncatedFiles() {
    QFile real(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"));
    QVERIFY(real.open(QIODevice::ReadOnly));
    const QByteArray full = real.readAll();
    QString lyric, score;
    QCOMPARE(decodeScoreFile(full, &lyric, &score), ScoreFileDamage::None);
    QVERIFY(lyric.size() > 100 && score.size() > 100);
    for (int n = 0; n < full.size(); ++n) {
        QString l, s;
        const ScoreFileDamage damage = decodeScoreFile(full.left(n), &l, &s);
        QVERIFY2(damage != ScoreFileDamage::None, qPrintable(QString::number(n)));
        QVERIFY(lyric.startsWith(l));
        QVERIFY(score.startsWith(s));
        QVERIFY(s.isEmpty() || l == lyric);
        // A text cut inside a surrogate pair ends before the pair.
        QVERIFY(l.isEmpty() || !l.at(l.size() - 1).isHighSurrogate());
        QVERIFY(s.isEmpty() || !s.at(s.size() - 1).isHighSurrogate());
        // Ends inside a text: the characters it holds, not an empty text.
        if (n > 8 + 1) {
            QVERIFY(!l.isEmpty());
        }
    }

    // Through the file reader: a partial outcome that says how much was read.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.gcp"));
    PromptScript prompts;
    const QByteArray small =
        encodeScoreFile(QStringLiteral("春香"), sym(0xF002C) + QStringLiteral("\nb"));
    writeRaw(path, small.left(small.size() - 2));
    ScoreFileDamage damage = ScoreFileDamage::None;
    const Outcome outcome = readScoreFile(path, &lyric, &score, &damage);
    QVERIFY(outcome.ok());
    QVERIFY(outcome.hasWarning());
    QCOMPARE(damage, ScoreFileDamage::LengthBeyondData);
    QCOMPARE(lyric, QStringLiteral("春香"));
    QCOMPARE(score, sym(0xF002C) + QStringLiteral("\n"));
    QCOMPARE(outcome.message(),
             QStringLiteral("文件已损坏，只读出了部分内容。\n已读出 3 个字符。"));
    QCOMPARE(prompts.count(), 0);
    // A sound file has no warning.
    writeRaw(path, small);
    QVERIFY(!readScoreFile(path, &lyric, &score, &damage).hasWarning());
    QCOMPARE(damage, ScoreFileDamage::None);
}

void TestScoreFile::forgedLengthsStayWithinTheFile() {
    // A byte count of nearly 4 GiB in a 12-byte file is not believed: the
    // text holds what is there.
    QString lyric = QStringLiteral("x"), score = QStringLiteral("y");
    QCOMPARE(decodeScoreFile(QByteArray::fromHex("7FFFFFFF"
                                                 "FFFFFFFE"
                                                 "0041"),
                             &lyric, &score),
             ScoreFileDamage::LengthBeyondData);
    QCOMPARE(lyric, QStringLiteral("A"));
    QVERIFY(score.isEmpty());
    // An odd byte count: the whole code units before it, and nothing after,
    // which the broken length no longer locates.
    QCOMPARE(decodeScoreFile(QByteArray::fromHex("00000000"
                                                 "00000003"
                                                 "004100"
                                                 "00000000"
                                                 "00000002"
                                                 "0042"),
                             &lyric, &score),
             ScoreFileDamage::OddLength);
    QCOMPARE(lyric, QStringLiteral("A"));
    QVERIFY(score.isEmpty());
    // Bytes after the score text: both texts, but reported.
    const QByteArray sound = encodeScoreFile(QStringLiteral("春"), QStringLiteral("b"));
    QCOMPARE(decodeScoreFile(sound + QByteArray(1, '\0'), &lyric, &score),
             ScoreFileDamage::TrailingBytes);
    QCOMPARE(lyric, QStringLiteral("春"));
    QCOMPARE(score, QStringLiteral("b"));
    QCOMPARE(decodeScoreFile(sound, &lyric, &score), ScoreFileDamage::None);
    // A short header, and an empty file.
    QCOMPARE(decodeScoreFile(QByteArray::fromHex("000000"), &lyric, &score),
             ScoreFileDamage::Truncated);
    QCOMPARE(decodeScoreFile(QByteArray(), &lyric, &score), ScoreFileDamage::Truncated);
    QVERIFY(lyric.isEmpty() && score.isEmpty());
    for (ScoreFileDamage d : {ScoreFileDamage::Truncated, ScoreFileDamage::LengthBeyondData,
                              ScoreFileDamage::OddLength, ScoreFileDamage::TrailingBytes}) {
        QVERIFY(!scoreFileDamageText(d).isEmpty());
    }
}

void TestScoreFile::randomRoundTrip() {
    QVector<uint> pool;
    for (uint c : {0x6625u,  0x9999u,  0x20u,    0xFF0Cu,  0x3002u,  0x23u,    0x3Bu,   0x3Eu,
                   0x3Du,    0x3010u,  0x3011u,  0x40u,    0x61u,    0x5Au,    0x30u,   0x0Au,
                   0xF0000u, 0xF0001u, 0xF002Cu, 0xF009Bu, 0x1F3B5u, 0x20000u, 0x4E00u, 0x9FA5u}) {
        pool.append(c);
    }
    QRandomGenerator rng(42);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.gcp"));
    PromptScript prompts;
    for (int round = 0; round < 300; ++round) {
        auto randomText = [&] {
            QString s;
            const int n = rng.bounded(200);
            for (int i = 0; i < n; ++i) {
                const uint cp = pool.at(rng.bounded(pool.size()));
                s.append(QString::fromUcs4(&cp, 1));
            }
            return s;
        };
        const QString lyric = randomText();
        const QString score = randomText();
        QVERIFY(writeScoreFile(path, lyric, score));
        QString l2, s2;
        QVERIFY(readScoreFile(path, &l2, &s2));
        QCOMPARE(l2, lyric);
        QCOMPARE(s2, score);
        QCOMPARE(sungCharCount(lyric), sungText(lyric).size());
        QCOMPARE(readAll(path).size(), 16 + 2 * (lyric.size() + score.size()));
    }
    QCOMPARE(prompts.count(), 0);
}

void TestScoreFile::failedOpenForWriting() {
    QTemporaryDir dir;
    PromptScript prompts;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const Outcome outcome =
        writeScoreFile(dir.filePath(QStringLiteral("plain/a.gcp")), QStringLiteral("春"), {});
    QVERIFY(!outcome);
    QCOMPARE(prompts.count(), 0);
    QCOMPARE(outcome.title(), QStringLiteral("错误"));
    QCOMPARE(outcome.message(), QStringLiteral("保存文件时发生错误：文件夹不存在。"));
}

// A write that fails half-way (here: the file-size limit, as a full disk would)
// is reported, and the score saved before stays as it was.
void TestScoreFile::failedWriteKeepsTheOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.gcp"));
    PromptScript prompts;
    QVERIFY(writeScoreFile(path, QStringLiteral("春香"), QStringLiteral("x\ny")));
    const QByteArray before = readAll(path);

    const QString big(100000, QChar(0x6625));
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const Outcome outcome = writeScoreFile(path, big, big);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!outcome);
    QCOMPARE(outcome.message(), QStringLiteral("保存文件时发生错误：文件超过了系统允许的大小。"));
    QCOMPARE(readAll(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.gcp")});
}

QTEST_MAIN(TestScoreFile)
#include "tst_scorefile.moc"
