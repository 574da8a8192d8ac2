// qorvel --import from the command line, run as the real program: the score
// file it writes, the report on standard error, the exit codes, and an
// import that goes straight to pages.
#include "../music/musicfixture.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "music/melodybuilder.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QStringList errLines;
};

} // namespace

class TestImportCommandLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_tune = m_work.filePath(QStringLiteral("春来.musicxml"));
        QVERIFY(musicfixture::writeTuneXml(m_tune));
    }
    void writesAScoreFile();
    void straightToPages();
    void failures_data();
    void failures();

private:
    Result run(const QStringList &args);
    QTemporaryDir m_work;
    QString m_tune;
};

Result TestImportCommandLine::run(const QStringList &args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the program manages without a display
    env.remove(QStringLiteral("DISPLAY"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(m_work.path());
    p.start(QStringLiteral(QORVEL_BINARY_DIR "/qorvel"), args);
    Result r;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit) {
        r.exitCode = p.exitCode();
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.errLines = QString::fromLocal8Bit(p.readAllStandardError())
                         .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    return r;
}

// The score file holds the lyrics and one score line per sung character;
// every line of the report names the file it comes from.
void TestImportCommandLine::writesAScoreFile() {
    const QString gcp = m_work.filePath(QStringLiteral("春来.gcp"));
    const Result r = run({QStringLiteral("--import"), m_tune, QStringLiteral("--output"), gcp});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, gcp + QLatin1Char('\n'));
    for (const QString &line : r.errLines) {
        QVERIFY2(line.startsWith(QStringLiteral("春来.musicxml: ")), qPrintable(line));
    }
    QString lyric, score;
    QVERIFY(readScoreFile(gcp, &lyric, &score));
    QVERIFY(lyric.startsWith(QStringLiteral("# 春来\n")));
    QCOMPARE(music::MelodyBuilder::sungCharacters(renderModel(lyric, score)),
             score.count(QLatin1Char('\n')) + 1);

    // A second run never writes over the first one's score.
    const QByteArray before = readAll(gcp);
    const Result again = run({QStringLiteral("--import"), m_tune, QStringLiteral("--output"), gcp});
    QCOMPARE(again.exitCode, 1);
    QCOMPARE(readAll(gcp), before);
}

void TestImportCommandLine::straightToPages() {
    const QString pdf = m_work.filePath(QStringLiteral("春来.pdf"));
    const Result r = run({QStringLiteral("--import"), m_tune, QStringLiteral("--export"),
                          QStringLiteral("pdf"), QStringLiteral("--notation"),
                          QStringLiteral("jianpu"), QStringLiteral("--output"), pdf});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(readAll(pdf).startsWith("%PDF-"));
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
        QSKIP("pdftotext (poppler-utils) is not installed");
    }
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(60000));
    const QString pages = QString::fromUtf8(text.readAllStandardOutput());
    for (const QChar c : QStringLiteral("春来花满枝头红")) {
        QVERIFY2(pages.contains(c), qPrintable(QString(c)));
    }
}

void TestImportCommandLine::failures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    const QString out = QStringLiteral("out.gcp");
    const QString in = QStringLiteral("in.musicxml");
    QTest::newRow("malformed") << QStringList{QStringLiteral("--import"), in,
                                              QStringLiteral("--output"), out}
                               << QByteArray("<score-partwise><part") << 1;
    QTest::newRow("no notes") << QStringList{QStringLiteral("--import"), in,
                                             QStringLiteral("--output"), out}
                              << QByteArray("<score-partwise version=\"4.0\"><part-list/>"
                                            "</score-partwise>")
                              << 1;
    QTest::newRow("missing") << QStringList{QStringLiteral("--import"),
                                            QStringLiteral("nowhere.mid"),
                                            QStringLiteral("--output"), out}
                             << QByteArray() << 1;
    QTest::newRow("no output") << QStringList{QStringLiteral("--import"), in} << QByteArray() << 2;
    QTest::newRow("and a score") << QStringList{QStringLiteral("--import"), in,
                                                QStringLiteral("--output"), out,
                                                QStringLiteral("x.gcp")}
                                 << QByteArray() << 2;
}

// Nothing is written, and standard error says why in one line.
void TestImportCommandLine::failures() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    if (!input.isEmpty()) {
        QVERIFY(writeFile(m_work.filePath(QStringLiteral("in.musicxml")), input));
    }
    const Result r = run(args);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.errLines.size(), 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY(!QFileInfo::exists(m_work.filePath(QStringLiteral("out.gcp"))));
}

QTEST_MAIN(TestImportCommandLine)
#include "tst_importcommandline.moc"
