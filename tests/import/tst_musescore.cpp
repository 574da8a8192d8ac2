// A real client of our MusicXML: MuseScore 3. A score MuseScore writes from
// its own file comes in with every mark; our own file, re-saved by
// MuseScore, comes in as the same melody as before.
#include "../music/musicfixture.h"
#include "import/musicimport.h"
#include "model/scorefile.h"
#include "music/musicxmlwriter.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace music;

namespace {

// MuseScore converts by the output's suffix, without a display.
bool museScore(const QString &in, const QString &out) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("mscore3"), {QStringLiteral("-o"), out, in});
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit &&
           p.exitCode() == 0 && QFileInfo::exists(out);
}

Melody melodyOfImport(const ImportedDocument &d) {
    return MelodyBuilder().build(renderModel(d.lyric, d.score));
}

} // namespace

class TestMuseScore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void writtenByMuseScore();
    void resavedByMuseScore_data();
    void resavedByMuseScore();

private:
    QTemporaryDir m_dir;
};

void TestMuseScore::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("mscore3")).isEmpty()) {
        QSKIP("MuseScore 3 (musescore3) is not installed");
    }
}

// A 2/4 tune in D with a tie over the bar line, a grace note, a breath and
// lyrics, then a double bar and G major: two tunes, every beat marked.
void TestMuseScore::writtenByMuseScore() {
    const QString xml = m_dir.filePath(QStringLiteral("chunlai.musicxml"));
    QVERIFY(museScore(QStringLiteral(QORVEL_SOURCE_DIR "/tests/import/data/chunlai.mscx"), xml));
    const ImportedDocument d = MusicImport::importFile(xml);
    QVERIFY2(d.ok(), qPrintable(d.error));
    QCOMPARE(d.lyric, QStringLiteral("# 春来\n【小桃红】\n; 笛色=小工调 板式=一板一眼 速度=66\n"
                                     "春来花满枝头\n红\n【第二支】\n"
                                     "; 笛色=正工调 板式=一板一眼 速度=66\n燕子归来也"));
    QCOMPARE(d.score,
             musicfixture::scoreText({"上、", "尺○工", "六、", "六○Y", "五s六", "工k○D", "尺、yD",
                                      "合、", "上○", "工、尺", "上○", "上、yD"}));
}

void TestMuseScore::resavedByMuseScore_data() {
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QStringList>("score");
    QTest::newRow("一板三眼, small notes, 底板 and a rest")
        << QStringLiteral("; 板式=一板三眼\n原来姹紫嫣红")
        << QStringList{"上、", "尺○工", "六●五s", "六○", "工、尺", "上●yD", "合○"};
    QTest::newRow("加赠 in 凡字调") << QStringLiteral("; 笛色=凡字调 板式=加赠一板三眼\n良辰美景")
                                    << QStringList{"工、尺", "上○z", "四○X上", "合○zyD"};
}

// Our file and MuseScore's re-saved copy of it import as the same document,
// whose melody is the original's.
void TestMuseScore::resavedByMuseScore() {
    QFETCH(QString, lyric);
    QFETCH(QStringList, score);
    const Melody original = musicfixture::melodyOf(lyric, score);
    const QString ours = m_dir.filePath(QStringLiteral("ours.musicxml"));
    const QString resaved = m_dir.filePath(QStringLiteral("resaved.musicxml"));
    QFile::remove(resaved);
    QVERIFY(MusicXmlWriter::write(original, ours, {}));
    QVERIFY(museScore(ours, resaved));
    const ImportedDocument mine = MusicImport::importFile(ours);
    const ImportedDocument theirs = MusicImport::importFile(resaved);
    QVERIFY2(theirs.ok(), qPrintable(theirs.error));
    QCOMPARE(theirs.score, mine.score);
    QCOMPARE(theirs.lyric, mine.lyric);
    const Melody back = melodyOfImport(theirs);
    QCOMPARE(musicfixture::midis(back), musicfixture::midis(original));
    QCOMPARE(musicfixture::onsets(back), musicfixture::onsets(original));
    QCOMPARE(musicfixture::durations(back), musicfixture::durations(original));
}

QTEST_MAIN(TestMuseScore)
#include "tst_musescore.moc"
